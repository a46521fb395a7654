// Why a call failed: the per-thread record behind kivfsLastError.
//
// Every exported call opens a CallScope. Code below it that finds the cause of
// a failure notes it with NoteFailure (a SQLite result, an errno, a check of
// the library's own); when the call then returns its failure value, the scope
// publishes the noted cause, or the call's own fallback when nothing deeper
// said why. A call that succeeds publishes nothing, so the last error stays
// what the thread's latest failing call set.
#pragma once

namespace kivfs {

// Notes `code` (a KIVFS_ERR_* value) as the cause of the failure under way in
// the calling thread's current call. A failure is noted once, where it is
// found; code that tries several ways (the kinds of container) weighs their
// causes as plain values and notes only the one it settles on. Should a call
// note twice all the same, the later note stands: it is what finally stood
// in the way.
void NoteFailure(int code);

// Notes `code` only when nothing was noted in the current call yet: the
// fallback of a caller told of a failure (a -1) by code that may or may not
// have said why. Never a second opinion on a cause already noted.
void NoteFallback(int code);

// Notes the cause a C runtime errno value names (see ErrnoToCode in
// platform/SystemError.h).
void NoteErrno(int err);

// The thread's last published code (KIVFS_OK before its first failure).
int LastErrorCode();

// Every exported call reads and writes the record, so it takes the
// initial-exec model where the compiler offers it: an access is then one load
// relative to the thread pointer instead of a call to __tls_get_addr.
#if defined(__GNUC__) && !defined(_WIN32)
#define KIVFS_FAST_TLS __attribute__((tls_model("initial-exec")))
#else
#define KIVFS_FAST_TLS
#endif

namespace detail {

// The calling thread's record, per thread so that one thread's failure never
// explains another's, and plain ints so that it needs no construction at
// thread start. `noted`: the cause found so far in the current call (0: none
// yet); `published`: what kivfsLastError reports (0 before any failure).
struct FailureRecord {
    int noted;
    int published;
};
inline KIVFS_FAST_TLS thread_local FailureRecord failureRecord = {0, 0};

}  // namespace detail

// One exported call's view of the record: construction forgets what an
// earlier call noted; Fail publishes this call's cause. Inline: every call
// passes through here.
class CallScope {
  public:
    CallScope() { detail::failureRecord.noted = 0; }
    CallScope(const CallScope&) = delete;
    CallScope& operator=(const CallScope&) = delete;
    // Publishes the cause noted during this call, or `fallback` when none was
    // (a fallback of 0, KIVFS_OK, publishes only a noted cause).
    void Fail(int fallback) {
        const int noted = detail::failureRecord.noted;
        if (noted != 0 || fallback != 0) Publish(noted != 0 ? noted : fallback);
    }
    // Publishes `code` whatever was noted (an allocation failure outranks the
    // causes found before it).
    void Publish(int code);
};

}  // namespace kivfs
