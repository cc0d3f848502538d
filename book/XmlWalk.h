// Every element of a parsed document in document order, without
// recursion: the shape scan lets a document nest up to kMaxXmlDepth deep,
// and a recursive walk would spend the stack on that.
#pragma once

#include <tinyxml.h>

template <class Visit> void ForEachElement(const TiXmlDocument& document, Visit visit)
{
    const TiXmlNode* node = document.FirstChild();
    while (node != nullptr) {
        if (const TiXmlElement* element = node->ToElement())
            visit(*element);
        if (node->FirstChild() != nullptr) {
            node = node->FirstChild();
            continue;
        }
        while (node != nullptr && node->NextSibling() == nullptr)
            node = node->Parent();
        if (node != nullptr)
            node = node->NextSibling();
    }
}
