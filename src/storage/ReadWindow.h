// ReadWindow: bytes of one file's Content read ahead of its position, kept
// for the file's next reads outside an explicit transaction.
//
// A fresh blob handle reaches offset N of a long Content only by walking the
// row's chain of overflow pages up to N, so reading a long file in small
// pieces, each call with a handle of its own, would cost time proportional
// to the offset on every call. A read therefore takes a window ahead, and
// later reads are served from it for as long as the store's content version
// shows that nothing changed: equal versions mean that no row changed since
// the window was read, so its bytes, the row and its size are all still as
// they were. A window that cannot be allocated is done without.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace kivfs {

class StoreConnection;

class ReadWindow {
  public:
    // How far a read reads ahead: enough that walking to the window's start
    // is rare next to the calls the window serves (64 reads of 4 KiB),
    // small enough to keep per open file.
    static constexpr uint32_t kSize = 256 * 1024;

    // A window on the files of `store`, whose content version it follows.
    explicit ReadWindow(StoreConnection& store) : store_(store) {}

    // Copies up to `length` bytes at `position` into `buffer` when the
    // window holds that position and nothing changed since it was read;
    // gives how many. None otherwise, and a stale window is forgotten. A
    // read that runs past the window's end where the file (`fileSize`
    // bytes) goes on is left to the caller, which reads it whole: every read
    // gives min(length, bytes left in the file), whatever the window holds.
    std::optional<uint32_t> Serve(uint32_t position, void* buffer, uint32_t length,
                                  uint32_t fileSize);
    // Keeps `count` bytes of Content from offset `from`, copied now.
    void Keep(const unsigned char* bytes, uint32_t count, uint32_t from);
    // Room for `count` bytes of Content from offset `from`, to be read into
    // it and then sealed; null (and nothing kept) when it cannot be
    // allocated.
    unsigned char* Reserve(uint32_t count, uint32_t from);
    // The bytes reserved are read: the window is valid from now on.
    void Seal();
    void Clear() { bytes_.clear(); }

  private:
    StoreConnection& store_;  // borrowed: tells the content version
    // Bytes of Content from offset from_, read when the store's content
    // version was version_; valid only while it still is. Empty: no window.
    std::vector<unsigned char> bytes_;
    uint32_t from_ = 0;
    uint64_t version_ = 0;
};

}  // namespace kivfs
