// OpenedBackend: what opening a container as one kind gives back.
//
// Opening a path as a kind either serves it or says why not, as a plain value
// the caller weighs against the other kinds' answers; nothing is noted in the
// thread's failure record on the way, so that only the cause finally chosen
// is.
#pragma once

#include <memory>
#include <utility>

#include "backend/FsBackend.h"
#include "kivfs.h"

namespace kivfs {

struct OpenedBackend {
    // Set exactly when the open succeeded; `cause` is then KIVFS_OK.
    std::unique_ptr<FsBackend> backend;
    // Why the path was not served (a KIVFS_ERR_* code), or KIVFS_OK when it
    // was, or when it is simply not of this kind and the kind has nothing
    // more telling to say about it.
    int cause = KIVFS_OK;
    // Whether the path holds a container of this kind: always when served;
    // when refused, only for a container of this kind that cannot be served
    // (a damaged or zip64 archive, a locked store), not for a file that is
    // none, whatever `cause` says about the file.
    bool ofThisKind = false;

    // A path served as this kind.
    static OpenedBackend Served(std::unique_ptr<FsBackend> backend) {
        return OpenedBackend{std::move(backend), KIVFS_OK, true};
    }
    // A path that is no container of this kind, for `cause` (KIVFS_OK: no
    // more said).
    static OpenedBackend Refused(int cause) { return OpenedBackend{nullptr, cause, false}; }
    // A container of this kind that cannot be served, for `cause`.
    static OpenedBackend RefusedAsOwn(int cause) { return OpenedBackend{nullptr, cause, true}; }
};

}  // namespace kivfs
