#include "book/NccReader.h"

#include "book/BookText.h"
#include "book/SafeXml.h"

#include <tinyxml.h>

#include <cstring>

const char* DescribeNccFailure(NccFailure failure)
{
    switch (failure) {
    case NccFailure::None:
        return "geen fout";
    case NccFailure::CannotOpen:
        return "het bestand bestaat niet, is niet leesbaar of is geen gewoon bestand";
    case NccFailure::Empty:
        return "het bestand is leeg";
    case NccFailure::TooLarge:
        return "het bestand is groter dan 32 MiB";
    case NccFailure::TooComplex:
        return "het document is te diep genest of te ingewikkeld om veilig te lezen";
    case NccFailure::NotXml:
        return "het bestand is geen geldige XML";
    case NccFailure::NoTitle:
        return "er is geen element html/head/title";
    }
    return "onbekende fout";
}

std::string NccFailureReasonLine(NccFailure failure)
{
    return std::string("Reden: ") + DescribeNccFailure(failure) + ".";
}

bool CNccReader::ReadNcc(const std::string& path)
{
    TiXmlDocument document;
    const NccFailure failure = LoadSafeXml(path, document);
    return failure == NccFailure::None ? ReadDocument(document) : Fail(failure);
}

bool CNccReader::ReadNccBytes(std::string_view fileBytes)
{
    TiXmlDocument document;
    const NccFailure failure = ParseSafeXml(fileBytes, document);
    return failure == NccFailure::None ? ReadDocument(document) : Fail(failure);
}

bool CNccReader::ReadDocument(TiXmlDocument& document)
{
    TiXmlHandle head = TiXmlHandle(&document).FirstChild("html").FirstChild("head");
    const TiXmlElement* title = head.FirstChild("title").ToElement();
    if (title == nullptr)
        return Fail(NccFailure::NoTitle);

    const char* titleText = title->GetText();
    m_strBookTitle = DecodeBookText(titleText != nullptr ? titleText : "");
    for (const TiXmlNode* child = head.ToNode()->FirstChild(); child != nullptr; child = child->NextSibling()) {
        if (child->Type() == TiXmlNode::TINYXML_ELEMENT && std::strcmp(child->Value(), "meta") == 0)
            AddMetaFromElement(*child->ToElement());
    }
    m_lastFailure = NccFailure::None;
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
