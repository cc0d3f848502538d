// The name/content pairs of an NCC's meta elements, in document order.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// One meta entry. Both strings are UTF-8 (see text/BookText.h); either may
// be empty.
struct CMetaItem
{
    std::string m_strName;
    std::string m_strContent;
};

// Append-only: entries are never sorted, merged or removed, so the first
// of two entries with the same name always wins a lookup.
class CMetaList
{
public:
    void Append(CMetaItem item) { m_items.push_back(std::move(item)); }

    // Content of the first entry whose name equals name, or "" when none
    // does. With ignoreCase only the ASCII letters A-Z and a-z match their
    // other case; every other byte must be equal.
    std::string GetMeta(std::string_view name, bool ignoreCase) const;

    std::size_t size() const { return m_items.size(); }
    bool empty() const { return m_items.empty(); }
    const CMetaItem& operator[](std::size_t index) const { return m_items[index]; }
    auto begin() const { return m_items.begin(); }
    auto end() const { return m_items.end(); }

private:
    std::vector<CMetaItem> m_items;
};

