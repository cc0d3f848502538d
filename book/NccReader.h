// Reads the book title and the meta list from a DAISY 2.02 ncc.html.
//
// The file comes from a disc that anybody can burn, and Debian's TinyXML
// 2.6.2 is not safe on every input: it reads past the end of its buffer
// when the text ends inside a UTF-8 character, its recursion overflows the
// stack on deep nesting, and some of its work grows with the square of the
// nesting depth or of the number of attributes on one element. So the
// reader reads the file itself, pads the text with NUL bytes, measures the
// shape TinyXML would build (ScanNccShape) and refuses an absurd file
// before TinyXML sees it. A refused file is a failed read.
#pragma once

#include "book/MetaList.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

class TiXmlElement;

// Limits far above any real NCC (a 5 MB NCC of 40,000 entries has depth 4,
// about 240,000 nodes and attributes together, and needs about 1.4 million
// units of parser work; one of 32 MiB would need some 10 million), and low
// enough that TinyXML stays well within a thread's stack and a second of
// time on the worst document they let through.
inline constexpr std::size_t kMaxNccBytes = 32u * 1024 * 1024;
inline constexpr std::size_t kMaxNccDepth = 1000;
inline constexpr std::size_t kMaxNccNodes = 2'000'000;
inline constexpr std::size_t kMaxNccAttributesPerElement = 256;
inline constexpr std::uint64_t kMaxNccWork = 32'000'000;

// TinyXML may step up to three bytes past the terminating NUL when the text
// ends inside a multi-byte UTF-8 character; these NUL bytes absorb that.
inline constexpr std::size_t kNccPadding = 8;

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

// A short Dutch description, for the command-line inspector.
const char* DescribeNccFailure(NccFailure failure);

// What TinyXML 2.6 would build from text, measured without building it.
struct NccShape
{
    bool withinLimits = true;
    std::size_t maxDepth = 0;       // deepest element nesting reached
    std::size_t nodes = 0;          // nodes and attributes created, blank text included
    std::size_t maxAttributes = 0;  // most attributes parsed on one element
    std::uint64_t work = 0;         // parent-chain and attribute-list steps
};

// The text TinyXML's own LoadFile would parse (line ends made LF, cut at the
// first NUL byte), followed by kNccPadding NUL bytes.
std::string PrepareNccText(std::string fileBytes);

// text must be followed by at least kNccPadding NUL bytes. The scan follows
// TinyXML's own parsing path byte for byte (encoding detection, UTF-8 step
// lengths, entities, where it stops), so its figures are never below what
// TinyXML reaches; it stops as soon as a limit is passed.
NccShape ScanNccShape(const char* text);

// Folds each two-byte UTF-8 sequence into one byte (the low eight bits of
// its code point) and copies every other byte unchanged. Never fails.
std::string Utf8ToAnsi(std::string_view text);

class CNccReader
{
public:
    // True when the file was read, accepted and has html/head/title; the
    // title is then replaced and the usable meta entries are appended.
    // False leaves both untouched.
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
    bool ReadPrepared(const std::string& text);
    void AddMetaFromElement(const TiXmlElement& element);

    std::string m_strBookTitle;
    CMetaList m_metaList;
    NccFailure m_lastFailure = NccFailure::None;
};
