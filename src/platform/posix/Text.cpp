// POSIX conversions between UTF-8 and UTF-16, written out here because the
// C library has no UTF-16 conversion; they give what the UTF-8 code page
// conversion of other systems gives with no flags.
#include "platform/Text.h"

namespace kivfs {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

// Decodes one UTF-8 sequence starting at s[i]. Returns the code point, or -1
// for an ill-formed sequence; `used` receives the bytes consumed, which for an
// ill-formed sequence is its maximal subpart (at least one byte), so that the
// caller emits exactly one replacement character for it.
long DecodeOne(const unsigned char* s, size_t n, size_t i, size_t& used) {
    const unsigned char lead = s[i];
    used = 1;
    if (lead < 0x80) return lead;
    size_t length;
    unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
    long value;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = lead & 0x0F;
        if (lead == 0xE0) low = 0xA0;   // overlong
        if (lead == 0xED) high = 0x9F;  // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        value = lead & 0x07;
        if (lead == 0xF0) low = 0x90;   // overlong
        if (lead == 0xF4) high = 0x8F;  // above U+10FFFF
    } else {
        return -1;
    }
    for (size_t k = 1; k < length; ++k) {
        if (i + k >= n) return -1;
        const unsigned char c = s[i + k];
        const unsigned char lo = k == 1 ? low : 0x80;
        const unsigned char hi = k == 1 ? high : 0xBF;
        if (c < lo || c > hi) return -1;
        value = (value << 6) | (c & 0x3F);
        used = k + 1;
    }
    return value;
}

void AppendUtf8(std::string& out, unsigned long cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

}  // namespace

// Walks the input once; one UTF-16 unit per code point below U+10000 and a
// surrogate pair above, so the result never has more units than input bytes.
std::u16string ToUtf16(const char* text) {
    std::u16string out;
    if (!text) return out;
    const auto* s = reinterpret_cast<const unsigned char*>(text);
    const size_t n = std::char_traits<char>::length(text);
    out.reserve(n);
    for (size_t i = 0; i < n;) {
        size_t used;
        const long cp = DecodeOne(s, n, i, used);
        i += used;
        if (cp < 0) {
            out += kReplacement;
        } else if (cp < 0x10000) {
            out += static_cast<char16_t>(cp);
        } else {
            out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        }
    }
    return out;
}

// Pairs surrogates where they are well formed; a lone one is replaced.
std::string ToUtf8(const char16_t* text) {
    std::string out;
    if (!text) return out;
    const size_t n = std::char_traits<char16_t>::length(text);
    out.reserve(n * 3);
    for (size_t i = 0; i < n; ++i) {
        unsigned long unit = text[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < n && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            unit = 0x10000 + ((unit - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            unit = kReplacement;
        }
        AppendUtf8(out, unit);
    }
    return out;
}

}  // namespace kivfs
