#include "text/Utf8.h"

#include "text/Ascii.h"

#include <clocale>
#include <cstdio>
#include <cwctype>
#include <locale.h>
#include <wctype.h>

std::size_t Utf8CharLength(std::string_view text)
{
    if (text.empty())
        return 0;
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const unsigned char lead = p[0];
    if (lead < 0x80)
        return 1;
    std::size_t length = 0;
    // The allowed range of the second byte rules out overlong forms,
    // surrogate halves and code points above U+10FFFF.
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0;
        else if (lead == 0xED)
            high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90;
        else if (lead == 0xF4)
            high = 0x8F;
    } else {
        return 0;
    }
    if (text.size() < length || p[1] < low || p[1] > high)
        return 0;
    for (std::size_t k = 2; k < length; ++k)
        if ((p[k] & 0xC0) != 0x80)
            return 0;
    return length;
}

std::string_view CutAtCharacter(std::string_view text, std::size_t maxBytes)
{
    if (text.size() <= maxBytes)
        return text;
    std::size_t cut = maxBytes;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
        --cut;
    text = text.substr(0, cut);
    const std::size_t last = text.find_last_not_of(' ');
    return text.substr(0, last == std::string_view::npos ? 0 : last + 1);
}

bool IsValidUtf8(std::string_view text)
{
    while (!text.empty()) {
        const std::size_t n = Utf8CharLength(text);
        if (n == 0)
            return false;
        text.remove_prefix(n);
    }
    return true;
}

std::string ShownText(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    while (!text.empty()) {
        const std::size_t n = Utf8CharLength(text);
        if (n > 0) {
            out.append(text.substr(0, n));
            text.remove_prefix(n);
            continue;
        }
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned char>(text.front()));
        out += escaped;
        text.remove_prefix(1);
    }
    return out;
}

namespace {

char32_t DecodeCharacter(std::string_view text, std::size_t length)
{
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    if (length == 1)
        return p[0];
    char32_t c = p[0] & (0xFF >> (length + 1));
    for (std::size_t k = 1; k < length; ++k)
        c = (c << 6) | (p[k] & 0x3F);
    return c;
}

void AppendCharacter(std::string& out, char32_t c)
{
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

} // namespace

std::string FoldLetterCase(std::string_view text)
{
    // The C library's own UTF-8 locale, whatever the user's: its tables
    // know every script's letters, and a Turkish locale cannot change them.
    static const locale_t utf8 = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    std::string out;
    out.reserve(text.size());
    while (!text.empty()) {
        const std::size_t n = Utf8CharLength(text);
        if (n == 0) {
            out += text.front();
            text.remove_prefix(1);
            continue;
        }
        char32_t c = DecodeCharacter(text, n);
        if (c < 0x80)
            c = static_cast<unsigned char>(AsciiLower(static_cast<char>(c)));
        else if (utf8 != static_cast<locale_t>(nullptr))
            c = static_cast<char32_t>(::towlower_l(static_cast<wint_t>(c), utf8));
        AppendCharacter(out, c);
        text.remove_prefix(n);
    }
    return out;
}
