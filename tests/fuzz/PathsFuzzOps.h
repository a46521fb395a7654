// The encoding of paths_fuzz inputs, shared with the seed generator.
//
// An input is a run of steps; each step is one op byte (taken modulo
// kPathsOpCount) followed by its arguments. A text argument is a kind byte
// and, for the last two kinds, bytes up to a zero byte:
//   kind % 4 == 0  a null pointer
//   kind % 4 == 1  the empty text
//   kind % 4 == 2  the text that follows, repeated to 64 KiB
//   kind % 4 == 3  the text that follows
// The ops and their arguments:
//   OpenDir     path, then up to 3 sub-steps each: sub-op byte, text(s)
//   CreateFile  path, mode byte          CreateEnum  path
//   Mount       name, system path        Unmount     name
//   Translate   virtual path, buffer size byte
//   CreateDir   path                     Stub        path, mode byte
#pragma once

#include <cstdint>

namespace kivfs_fuzz {

enum PathsOp : uint8_t {
    kOpenDirOp,
    kCreateFileOp,
    kCreateEnumOp,
    kMountOp,
    kUnmountOp,
    kTranslateOp,
    kCreateDirOp,
    kStubOp,
    kPathsOpCount
};

// The sub-steps run inside a container opened by OpenDir; each takes the
// texts it names.
enum ContainerOp : uint8_t {
    kFileExistsIn,   // name
    kDirExistsIn,    // name
    kListIn,         // name
    kOpenFileIn,     // name, mode byte
    kDeleteFileIn,   // name
    kDeleteDirIn,    // name
    kRenameIn,       // name, name
    kCopyIn,         // name, name
    kMoveIn,         // name, name
    kTransactionIn,  // none: begin, then commit
    kContainerOpCount
};

enum TextKind : uint8_t { kNullText, kEmptyText, kLongText, kPlainText };

}  // namespace kivfs_fuzz
