// ASCII letter case, the same in every locale: in a Turkish one the C
// library's tolower makes "I" no "i", so "NCC.HTML" would not be "ncc.html".
#pragma once

#include <algorithm>
#include <string_view>

inline char AsciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// a and b equal when the ASCII letters A to Z count as a to z; every other
// byte compares exactly.
inline bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b)
{
    return std::ranges::equal(a, b, [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
}
