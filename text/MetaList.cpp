#include "text/MetaList.h"

#include "text/Ascii.h"

std::string CMetaList::GetMeta(std::string_view name, bool ignoreCase) const
{
    for (const CMetaItem& item : m_items) {
        const bool equal = ignoreCase ? EqualIgnoringAsciiCase(item.m_strName, name) : item.m_strName == name;
        if (equal)
            return item.m_strContent;
    }
    return std::string();
}
