#include "book/PackageReader.h"

#include "text/BookText.h"
#include "book/SafeXml.h"
#include "text/Ascii.h"

#include <tinyxml.h>

#include <cstring>

namespace {

// Everything the reader needs comes before the manifest, which holds most
// of a large package file; only the part up to the metadata is parsed.
constexpr std::string_view kMetadataEnd = "metadata";

// "dc:Title", "dc:title", "DC:TITLE": generators disagree on the case.
bool IsDc(const TiXmlElement& element, std::string_view term)
{
    const std::string_view name = element.ValueStr();
    return name.size() == term.size() + 3 && EqualIgnoringAsciiCase(name.substr(0, 3), "dc:") &&
           EqualIgnoringAsciiCase(name.substr(3), term);
}

const TiXmlElement* ChildByLocalName(const TiXmlNode& parent, std::string_view name)
{
    for (const TiXmlElement* e = parent.FirstChildElement(); e != nullptr; e = e->NextSiblingElement()) {
        if (LocalName(e->ValueStr()) == name)
            return e;
    }
    return nullptr;
}

std::string TextOf(const TiXmlElement& element)
{
    const char* text = element.GetText();
    return DecodeBookText(text != nullptr ? text : "");
}

} // namespace

bool CPackageReader::ReadPackage(const std::string& path)
{
    TiXmlDocument document;
    const XmlFailure loaded = LoadSafeXml(path, document, kMetadataEnd);
    return Read(loaded, document);
}

bool CPackageReader::ReadPackageBytes(std::string_view fileBytes)
{
    TiXmlDocument document;
    const XmlFailure loaded = ParseSafeXml(fileBytes, document, kMetadataEnd);
    return Read(loaded, document);
}

bool CPackageReader::Read(XmlFailure loaded, const TiXmlDocument& document)
{
    m_fileFailure = loaded;
    if (loaded != XmlFailure::None) {
        m_lastFailure = PackageFailure::File;
        return false;
    }
    const TiXmlElement* package = document.RootElement();
    if (package == nullptr || LocalName(package->ValueStr()) != "package") {
        m_lastFailure = PackageFailure::NoPackage;
        return false;
    }
    const TiXmlElement* metadata = ChildByLocalName(*package, "metadata");
    const TiXmlElement* dcMetadata = metadata != nullptr ? ChildByLocalName(*metadata, "dc-metadata") : nullptr;
    const TiXmlElement* block = dcMetadata != nullptr ? dcMetadata : metadata;
    if (block == nullptr) {
        m_lastFailure = PackageFailure::NoMetadata;
        return false;
    }

    const char* uniqueId = package->Attribute("unique-identifier");
    const TiXmlElement* identifier = nullptr;
    const TiXmlElement* named = nullptr;
    const TiXmlElement* title = nullptr;
    const TiXmlElement* creator = nullptr;
    for (const TiXmlElement* e = block->FirstChildElement(); e != nullptr; e = e->NextSiblingElement()) {
        if (IsDc(*e, "identifier")) {
            if (identifier == nullptr)
                identifier = e;
            const char* id = e->Attribute("id");
            if (named == nullptr && uniqueId != nullptr && id != nullptr && std::strcmp(id, uniqueId) == 0)
                named = e;
        } else if (title == nullptr && IsDc(*e, "title")) {
            title = e;
        } else if (creator == nullptr && IsDc(*e, "creator")) {
            creator = e;
        }
    }
    if (named != nullptr)
        identifier = named;
    if (identifier == nullptr && title == nullptr && creator == nullptr) {
        m_lastFailure = PackageFailure::NoMetadata;
        return false;
    }

    m_strBookTitle = title != nullptr ? TextOf(*title) : "";
    if (identifier != nullptr)
        m_metaList.Append({"dc:identifier", TextOf(*identifier)});
    if (title != nullptr)
        m_metaList.Append({"dc:title", TextOf(*title)});
    if (creator != nullptr)
        m_metaList.Append({"dc:creator", TextOf(*creator)});
    m_lastFailure = PackageFailure::None;
    return true;
}
