#include "FuzzInput.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "support/TempDir.h"

namespace kivfs_fuzz {

// TempDir honours TMPDIR; it is pointed at the memory file system unless the
// person running the fuzzer chose a folder.
const std::string& SandboxPath() {
    static const std::unique_ptr<kivfs_test::TempDir> sandbox = [] {
        std::error_code error;
        if (!std::getenv("TMPDIR") && std::filesystem::is_directory("/dev/shm", error)) {
            setenv("TMPDIR", "/dev/shm", 0);
        }
        return std::make_unique<kivfs_test::TempDir>();
    }();
    return sandbox->path();
}

std::string Normalized(std::string text) {
    std::replace(text.begin(), text.end(), '\\', '/');
    return text;
}

bool Tracing() {
    static const bool tracing = std::getenv("KIVFS_FUZZ_TRACE") != nullptr;
    return tracing;
}

void Fail(const std::string& what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what.c_str());
    std::abort();
}

}  // namespace kivfs_fuzz
