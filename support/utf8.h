// UTF-8 to code points and back, for names that come from file systems and
// project files: a byte that starts no valid sequence becomes U+FFFD and
// decoding goes on after it, so that one bad byte costs one character, never
// the rest of the text.
#pragma once

#include <string>
#include <string_view>

namespace vcdalbum::utf8 {

inline constexpr char32_t kReplacement = 0xFFFD;

inline std::u32string Decode(std::string_view s) {
    static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    std::u32string out;
    size_t i = 0;
    while (i < s.size()) {
        const auto b = static_cast<unsigned char>(s[i]);
        const size_t len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
        char32_t c = len == 1 ? b : len == 2 ? (b & 0x1Fu) : len == 3 ? (b & 0x0Fu) : (b & 0x07u);
        bool ok = len > 0 && i + len <= s.size();
        for (size_t k = 1; ok && k < len; ++k) {
            const auto next = static_cast<unsigned char>(s[i + k]);
            ok = (next & 0xC0) == 0x80;
            c = (c << 6) | (next & 0x3Fu);
        }
        ok = ok && c >= kSmallest[len] && c <= 0x10FFFF && !(c >= 0xD800 && c <= 0xDFFF);
        out.push_back(ok ? c : kReplacement);
        i += ok ? len : 1;
    }
    return out;
}

inline std::string Encode(std::u32string_view text) {
    std::string out;
    for (const char32_t c : text) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// `text` shortened at a character boundary to at most `bytes` bytes.
inline std::string Truncate(std::string_view text, size_t bytes) {
    if (text.size() <= bytes) return std::string(text);
    size_t end = bytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return std::string(text.substr(0, end));
}

// The text as valid UTF-8.
inline std::string Valid(std::string_view s) { return Encode(Decode(s)); }

// The plain letter a Latin letter with marks is written with when only
// A-Z will do ('e' for "é", 'O' for "Ø"); 0 for anything else.
inline char LatinBase(char32_t c) {
    // U+00C0..U+00FF, then U+0100..U+017F, one letter each ('\0': none).
    static constexpr std::string_view kLatin1 = "AAAAAAACEEEEIIIIDNOOOOO\0OUUUUYTsaaaaaaaceeeeiiiidnooooo\0ouuuuyty";
    static constexpr std::string_view kExtendedA =
        "AaAaAaCcCcCcCcDdDdEeEeEeEeEeGgGgGgGgHhHhIiIiIiIiIiIiJjKkkLlLlLlLlLlNnNnNnnNnOoOoOoOoRrRrRrSsSsSsSsTtTtTtUuUuUuUuUuUuWwYyYZzZzZzs";
    if (c < 0x80) return static_cast<char>(c);
    if (c >= 0xC0 && c <= 0xFF) return kLatin1[c - 0xC0];
    if (c >= 0x100 && c <= 0x17F) return kExtendedA[c - 0x100];
    return 0;
}

}  // namespace vcdalbum::utf8
