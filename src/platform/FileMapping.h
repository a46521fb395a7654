// A read-only memory mapping of one whole file.
//
// Archives are read as copies out of such a view. Another process may cut the
// file short while it is mapped; a read of a page that no longer exists then
// faults. CopyOut catches exactly that fault for its own copy and reports it
// as a failed read, so the process lives on. Implemented once per platform
// (platform/posix/FileMapping.cpp here).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace kivfs {

class FileMapping {
  public:
    // The largest file that is mapped: sizes and offsets stay within 32 bits.
    static constexpr std::uint64_t kMaxSize = 0x80000000u;

    // Maps the regular file at `path` (UTF-8) read-only, whole. Null when it
    // cannot be opened, is not a regular file, is empty (an empty file cannot
    // be mapped) or is larger than kMaxSize. When the system refused to open
    // or map it, or it is larger than kMaxSize (UNSUPPORTED), *cause (if
    // `cause` is not null) receives why, a KIVFS_ERR_* code; it is left as it
    // was for a file that is not a regular one or is empty.
    static std::unique_ptr<FileMapping> Open(const char* path, int* cause = nullptr);

    // Unmaps the view and closes the file.
    ~FileMapping();
    FileMapping(const FileMapping&) = delete;
    FileMapping& operator=(const FileMapping&) = delete;

    // The file's size when it was mapped; never 0.
    std::uint32_t size() const { return size_; }

    // Copies `length` bytes from `offset` of the view into `buffer`; the caller
    // keeps offset + length within size(). False, with `buffer` partly
    // written, when a page of the file can no longer be read.
    bool CopyOut(std::uint32_t offset, void* buffer, std::size_t length) const;

    // The same copy for large ranges, by the platform's cheapest route: a
    // positioned read of the open file where there is one (POSIX pread),
    // which copies in the kernel whatever size of pages the file's cache
    // holds, where a fresh view would fault and miss the TLB page by page;
    // CopyOut elsewhere. False, with `buffer` partly written, when the file
    // can no longer supply the whole range (cut short, or a read error).
    bool ReadAt(std::uint32_t offset, void* buffer, std::size_t length) const;

  private:
    FileMapping(std::intptr_t file, const unsigned char* view, std::uint32_t size)
        : file_(file), view_(view), size_(size) {}

    // The open file, kept open as long as the view: a descriptor here.
    std::intptr_t file_;
    // The first byte of the whole-file view; never null.
    const unsigned char* view_;
    std::uint32_t size_;
};

}  // namespace kivfs
