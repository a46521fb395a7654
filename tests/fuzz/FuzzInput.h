// FuzzInput: a fuzzer's bytes read front to back as small integers and byte
// runs, and the sandbox folder every target works in.
//
// Past the end every read gives zeros, so any input, however short, decodes
// to some complete sequence of steps, and a seed written by hand (see
// make_seeds.cpp) reads exactly as it was written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kivfs_fuzz {

class FuzzInput {
  public:
    FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    bool Done() const { return at_ >= size_; }
    // The next bytes in hex, without reading them: what a trace shows.
    std::string Upcoming(size_t count) const {
        static const char kDigits[] = "0123456789abcdef";
        std::string hex;
        for (size_t i = at_; i < size_ && i < at_ + count; ++i) {
            hex += kDigits[data_[i] >> 4];
            hex += kDigits[data_[i] & 15];
            hex += ' ';
        }
        return hex;
    }
    uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
    // Little-endian, as the seeds write them.
    uint16_t U16() {
        const uint16_t low = Byte();
        return static_cast<uint16_t>(low | Byte() << 8);
    }
    int16_t S16() { return static_cast<int16_t>(U16()); }
    // The next `count` bytes; zeros for those past the end.
    std::string Bytes(size_t count) {
        std::string bytes(count, '\0');
        for (char& byte : bytes) byte = static_cast<char>(Byte());
        return bytes;
    }
    // The bytes up to (not including) the next `stop` byte, which is skipped;
    // the rest of the input when there is none.
    std::string Until(uint8_t stop) {
        std::string bytes;
        while (!Done()) {
            const uint8_t byte = Byte();
            if (byte == stop) break;
            bytes += static_cast<char>(byte);
        }
        return bytes;
    }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

// The folder a target may write in, made once per process (in /dev/shm when
// there is one, so that SQLite's syncs cost nothing) and removed at exit.
const std::string& SandboxPath();

// `text` with every "\" read as "/", as the exported calls read paths.
std::string Normalized(std::string text);

// True when KIVFS_FUZZ_TRACE is set: the targets then print each step as
// they run it, to follow a failing input by hand.
bool Tracing();

// Reports a difference from what the target expected and stops the run, so
// that libFuzzer keeps the input as a crash.
[[noreturn]] void Fail(const std::string& what);

}  // namespace kivfs_fuzz
