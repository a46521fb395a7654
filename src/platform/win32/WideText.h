// Windows' wide-character view of the library's UTF-16 texts: wchar_t is a
// 16-bit UTF-16 unit there, so the two are the same bytes.
#pragma once

#include <string>

namespace kivfs {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "wchar_t is a UTF-16 unit on Windows");

// The zero-terminated wide form of `text`, valid while `text` lives.
inline const wchar_t* Wide(const std::u16string& text) {
    return reinterpret_cast<const wchar_t*>(text.c_str());
}

// The UTF-16 text of a zero-terminated wide string.
inline const char16_t* Utf16(const wchar_t* text) {
    return reinterpret_cast<const char16_t*>(text);
}

}  // namespace kivfs
