#include "book/MetaList.h"

namespace {

char AsciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i]))
            return false;
    }
    return true;
}

std::string CMetaList::GetMeta(std::string_view name, bool ignoreCase) const
{
    for (const CMetaItem& item : m_items) {
        const bool equal = ignoreCase ? EqualIgnoringAsciiCase(item.m_strName, name) : item.m_strName == name;
        if (equal)
            return item.m_strContent;
    }
    return std::string();
}
