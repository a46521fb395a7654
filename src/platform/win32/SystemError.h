// The Windows side of the system's error values (SystemErrorToCode and
// ErrnoToCode of platform/SystemError.h are defined with this file), the
// limits of the paths the library hands to the system, and the device names
// Windows resolves in every folder.
#pragma once

#include <string>

#include "platform/SystemError.h"

namespace kivfs {

// The longest path, in UTF-16 units, that the wide file calls of this
// process take: 32767 where the system and the host program have long paths
// enabled, MAX_PATH - 1 (259) otherwise. Longer paths are refused before
// the system sees them: most would fail there anyway, and some (thousands of
// ".." components) would cost the system's path normalisation a long time.
size_t MaxPathUnits();

// 2 when `path` holds a drive (an ASCII letter and ":") at `at`, else 0; for
// UTF-8 and UTF-16 texts alike.
template <class Text>
size_t DriveLengthAt(const Text& path, size_t at) {
    if (path.size() < at + 2 || path[at + 1] != ':') return 0;
    const auto c = path[at];
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ? 2 : 0;
}

// True when `path` is one the library hands to the system: not empty, not
// longer than MaxPathUnits, without the characters Windows forbids in names
// (control characters and < > : " | ? *, a drive's ":" and a leading "\\?\"
// apart) and without a reserved device name (NamesReservedDevice).
bool IsUsablePath(const std::u16string& path);

// True when some component of `path` (UTF-16, "/" or "\" separated) is a
// name Windows reserves for a device: CON, PRN, AUX, NUL, COM0-9, LPT0-9
// (and the superscript-digit forms), in any case, with or without an
// extension and trailing dots or spaces. Windows opens the device for such
// a name in any folder, so the library never hands one to an open call.
bool NamesReservedDevice(const std::u16string& path);

}  // namespace kivfs
