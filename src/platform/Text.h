// Text helpers at the operating-system boundary.
//
// Inside the library every path is an owned UTF-8 std::string with "/" as
// separator; UTF-16 appears only where a system call wants it. The two
// conversions behave as the system's UTF-8 code page conversion with no
// flags: ill-formed input becomes U+FFFD replacement characters, never a
// failure or a crash.
#pragma once

#include <string>

namespace kivfs {

// Replaces every "\" byte by "/" in place; nothing else changes (no
// collapsing, no trimming). Safe on UTF-8: no multi-byte sequence holds 0x5C.
void NormalizeSlashes(std::string& text);

// Returns a normalised copy of a caller's zero-terminated text; the form in
// which every exported call takes its path and name arguments.
std::string NormalizedCopy(const char* text);

// UTF-8 to UTF-16. Each maximal ill-formed subsequence (a stray continuation
// byte, a truncated sequence, an overlong form, an encoded surrogate, a value
// above U+10FFFF) gives one U+FFFD. On Windows the system's conversion does
// the work, and for an encoded surrogate or a value above U+10FFFF its own
// rules decide how many U+FFFD come out (Wine's differ from Windows').
std::u16string ToUtf16(const char* text);

// UTF-16 to UTF-8. An unpaired surrogate gives U+FFFD (EF BF BD).
std::string ToUtf8(const char16_t* text);

}  // namespace kivfs
