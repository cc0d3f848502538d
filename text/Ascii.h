// ASCII letter case, the same in every locale: in a Turkish one the C
// library's tolower makes "I" no "i", so "NCC.HTML" would not be "ncc.html".
#pragma once

#include <string_view>

inline char AsciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// a and b equal when the ASCII letters A to Z count as a to z; every other
// byte compares exactly.
inline bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (AsciiLower(a[i]) != AsciiLower(b[i]))
            return false;
    return true;
}
