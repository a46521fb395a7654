// Windows conversions between UTF-8 and UTF-16: the system's own
// MultiByteToWideChar and WideCharToMultiByte on code page 65001 with no
// flags, which replace ill-formed input with U+FFFD instead of failing.
#include <windows.h>

#include "platform/Text.h"
#include "platform/win32/WideText.h"

namespace kivfs {

// UTF-8 never needs more UTF-16 units than it has bytes, so a buffer of the
// input's length always holds the result; a failed conversion gives the
// empty text.
std::u16string ToUtf16(const char* text) {
    if (!text || !*text) return std::u16string();
    const size_t length = std::char_traits<char>::length(text);
    if (length > 0x7FFFFFFF) return std::u16string();
    std::u16string out(length, u'\0');
    const int units =
        MultiByteToWideChar(CP_UTF8, 0, text, static_cast<int>(length),
                            reinterpret_cast<wchar_t*>(&out[0]), static_cast<int>(length));
    out.resize(units > 0 ? static_cast<size_t>(units) : 0);
    return out;
}

// Three bytes per unit cover every unit and every surrogate pair (four
// bytes for two units); a lone surrogate becomes U+FFFD, three bytes.
std::string ToUtf8(const char16_t* text) {
    if (!text || !*text) return std::string();
    const size_t units = std::char_traits<char16_t>::length(text);
    if (units > 0x7FFFFFFF / 3) return std::string();
    std::string out(units * 3, '\0');
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, reinterpret_cast<const wchar_t*>(text),
                                          static_cast<int>(units), &out[0],
                                          static_cast<int>(out.size()), nullptr, nullptr);
    out.resize(bytes > 0 ? static_cast<size_t>(bytes) : 0);
    return out;
}

}  // namespace kivfs
