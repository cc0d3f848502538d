// What TinyXML really built from a document, to hold the reader's shape
// scan to its promise of never counting less. Shared by the reader's tests
// and its fuzz target.
#pragma once

#include <tinyxml.h>

#include <algorithm>
#include <cstddef>

struct TreeSize
{
    std::size_t depth = 0;
    std::size_t nodes = 0; // nodes and attributes
};

inline void Measure(const TiXmlNode& node, std::size_t depth, TreeSize& size)
{
    for (const TiXmlNode* child = node.FirstChild(); child != nullptr; child = child->NextSibling()) {
        ++size.nodes;
        if (const TiXmlElement* element = child->ToElement()) {
            size.depth = std::max(size.depth, depth + 1);
            for (const TiXmlAttribute* a = element->FirstAttribute(); a != nullptr; a = a->Next())
                ++size.nodes;
            Measure(*child, depth + 1, size);
        }
    }
}
