// Reads the book title and the meta list from a DAISY 2.02 ncc.html.
//
// The file comes from a disc that anybody can burn, so the reader reads it
// itself, pads the text with NUL bytes, measures the shape TinyXML would
// build (book/NccShape.h) and refuses an absurd file before TinyXML sees
// it. A refused file is a failed read.
#pragma once

#include "book/MetaList.h"
#include "book/NccShape.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

class TiXmlDocument;
class TiXmlElement;

enum class NccFailure
{
    None,
    CannotOpen,      // missing, unreadable, or not a regular file
    Empty,
    TooLarge,        // more than kMaxNccBytes
    TooComplex,      // nesting, node count, attributes or parser work over the limits
    NotXml,          // TinyXML reports an error
    NoTitle,         // no html/head/title path, or title is not an element
};

// A short Dutch description, starting in lower case.
const char* DescribeNccFailure(NccFailure failure);

// The line that tells a user why a file was refused, the same in the copy
// window and in the inspector: "Reden: " and the description, with a full
// stop.
std::string NccFailureReasonLine(NccFailure failure);

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
    NccFailure LastFailure() const { return m_lastFailure; }

private:
    bool Fail(NccFailure failure)
    {
        m_lastFailure = failure;
        return false;
    }
    bool ReadDocument(TiXmlDocument& document);
    void AddMetaFromElement(const TiXmlElement& element);

    std::string m_strBookTitle;
    CMetaList m_metaList;
    NccFailure m_lastFailure = NccFailure::None;
};
