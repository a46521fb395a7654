// Guarded: the one way an exported call runs its work. Nothing may be thrown
// across the C interface, and every failure publishes why it failed.
#pragma once

#include <new>
#include <type_traits>

#include "backend/Failure.h"
#include "kivfs.h"

namespace kivfs {

// Runs `body` inside a CallScope and gives its result. When the result is
// `failure`, the cause noted below (or `fallback` when nothing deeper said why)
// becomes the thread's last error; any other result publishes nothing. A
// fallback of KIVFS_OK marks a call whose results are all normal outcomes
// too (0 from a read at the end of a file, false at the end of a listing, -1
// from a read that also noted why): it failed exactly when a cause was noted,
// whatever it returned. An exception becomes `failure`:
// std::bad_alloc as NO_MEMORY, anything else as its noted cause or IO. Bodies
// hold what they make in owners until it is handed out, so unwinding releases
// it.
template <typename Body>
std::invoke_result_t<Body&> Guarded(std::invoke_result_t<Body&> failure, int fallback,
                                    Body body) noexcept {
    CallScope scope;
    try {
        auto result = body();
        if (result == failure || fallback == KIVFS_OK) scope.Fail(fallback);
        return result;
    } catch (const std::bad_alloc&) {
        scope.Publish(KIVFS_ERR_NO_MEMORY);
    } catch (...) {
        scope.Fail(KIVFS_ERR_IO);
    }
    return failure;
}

// For a body's argument checks: notes ARGUMENT and gives `failure`.
template <typename Result>
Result Refuse(Result failure) {
    NoteFailure(KIVFS_ERR_ARGUMENT);
    return failure;
}

}  // namespace kivfs
