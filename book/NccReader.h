// Reads the book title and the meta list from a DAISY 2.02 ncc.html.
//
// The file comes from a disc that anybody can burn, so the reader reads it
// itself, pads the text with NUL bytes, measures the shape TinyXML would
// build (book/XmlShape.h) and refuses an absurd file before TinyXML sees
// it. A refused file is a failed read.
#pragma once

#include "text/MetaList.h"
#include "book/SafeXml.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

class TiXmlDocument;
class TiXmlElement;

class CNccReader
{
public:
    // True when the file was read, accepted and has html/head/title; the
    // title is then replaced and the usable meta entries are appended, all
    // text decoded to UTF-8 (DecodeBookText). False leaves both untouched.
    bool ReadNcc(const std::string& path);

    // The same, on the bytes of a file already in memory.
    bool ReadNccBytes(std::string_view fileBytes);

    std::string GetMeta(std::string_view name, bool ignoreCase) const
    {
        return m_metaList.GetMeta(name, ignoreCase);
    }

    const std::string& BookTitle() const { return m_strBookTitle; }
    const CMetaList& MetaList() const { return m_metaList; }
    XmlFailure LastFailure() const { return m_lastFailure; }

private:
    bool Fail(XmlFailure failure)
    {
        m_lastFailure = failure;
        return false;
    }
    bool ReadDocument(TiXmlDocument& document);
    void AddMetaFromElement(const TiXmlElement& element);

    std::string m_strBookTitle;
    CMetaList m_metaList;
    XmlFailure m_lastFailure = XmlFailure::None;
};
