#include "book/NccReader.h"

#include "text/BookText.h"
#include "book/SafeXml.h"

#include <tinyxml.h>

#include <cstring>

bool CNccReader::ReadNcc(const std::string& path)
{
    TiXmlDocument document;
    const XmlFailure failure = LoadSafeXml(path, document);
    return failure == XmlFailure::None ? ReadDocument(document) : Fail(failure);
}

bool CNccReader::ReadNccBytes(std::string_view fileBytes)
{
    TiXmlDocument document;
    const XmlFailure failure = ParseSafeXml(fileBytes, document);
    return failure == XmlFailure::None ? ReadDocument(document) : Fail(failure);
}

bool CNccReader::ReadDocument(TiXmlDocument& document)
{
    TiXmlHandle head = TiXmlHandle(&document).FirstChild("html").FirstChild("head");
    const TiXmlElement* title = head.FirstChild("title").ToElement();
    if (title == nullptr)
        return Fail(XmlFailure::NoTitle);

    const char* titleText = title->GetText();
    m_strBookTitle = DecodeBookText(titleText != nullptr ? titleText : "");
    for (const TiXmlNode* child = head.ToNode()->FirstChild(); child != nullptr; child = child->NextSibling()) {
        if (child->Type() == TiXmlNode::TINYXML_ELEMENT && std::strcmp(child->Value(), "meta") == 0)
            AddMetaFromElement(*child->ToElement());
    }
    m_lastFailure = XmlFailure::None;
    return true;
}

void CNccReader::AddMetaFromElement(const TiXmlElement& element)
{
    const TiXmlAttribute* first = element.FirstAttribute();
    if (first == nullptr)
        return;
    const TiXmlAttribute* second = first->Next();
    if (second == nullptr)
        return;
    const TiXmlAttribute* name = nullptr;
    const TiXmlAttribute* content = nullptr;
    if (std::strcmp(first->Name(), "name") == 0) {
        if (std::strcmp(second->Name(), "content") != 0)
            return;
        name = first;
        content = second;
    } else {
        if (std::strcmp(second->Name(), "name") != 0 || std::strcmp(first->Name(), "content") != 0)
            return;
        name = second;
        content = first;
    }
    m_metaList.Append(CMetaItem{DecodeBookText(name->Value()), DecodeBookText(content->Value())});
}
