// The encoding of store_fuzz inputs, shared with the seed generator.
//
// An input is a run of steps; each step is one op byte (taken modulo
// kStoreOpCount) followed by that op's arguments:
//   Open      slot, name, mode          Close     slot
//   Write     slot, length, [bytes]     Read      slot, length
//   Seek      slot, origin, offset16    Tell      slot
//   Error     slot                      Resize    slot, size16
//   FileExists name                     DirExists dir
//   DeleteFile name                     DeleteDir dir
//   Rename    name, name                Copy/Move name, name, failIfExists
//   Begin, Commit, Reopen, Check        List      dir
// A length byte below 0x80 is a count of bytes that follow in the input; from
// 0x80 up, (byte & 0x7f) * 64 bytes of a fixed pattern, none taken from the
// input. Names and directories are indexes into the tables below.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kivfs_fuzz {

enum StoreOp : uint8_t {
    kOpen,
    kClose,
    kWrite,
    kRead,
    kSeek,
    kTell,
    kError,
    kResize,
    kFileExists,
    kDirExists,
    kDeleteFile,
    kDeleteDir,
    kRename,
    kCopy,
    kMove,
    kBegin,
    kCommit,
    kList,
    kReopen,
    kCheck,
    kStoreOpCount
};

// File names: top-level and nested files, names that differ only in case or
// hold SQL LIKE's wildcards (which must match only themselves), a quote, a name whose FileName is
// empty, and the empty name (which no open accepts).
inline constexpr const char* kStoreNames[] = {"a",     "b",   "d/a", "d/b", "d/e/a", "D/a",
                                              "d_x/c", "e/a", "o'k", "d/",  "",      "d/e/"};
inline constexpr size_t kStoreNameCount = sizeof(kStoreNames) / sizeof(kStoreNames[0]);

// Directory names, with and without their "/", the top, a wildcard.
inline constexpr const char* kStoreDirs[] = {"", "d", "d/", "D", "d/e", "e", "d_", "x", "d/e/a"};
inline constexpr size_t kStoreDirCount = sizeof(kStoreDirs) / sizeof(kStoreDirs[0]);

// How many files may be open at once.
inline constexpr int kStoreSlots = 3;

}  // namespace kivfs_fuzz
