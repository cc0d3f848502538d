// The shape TinyXML 2.6 would build from a text, measured without building
// it, and the limits a document must stay within before TinyXML sees it.
//
// Debian's TinyXML 2.6.2 is not safe on every input: it reads past the end
// of its buffer when the text ends inside a UTF-8 character, its recursion
// overflows the stack on deep nesting, and some of its work grows with the
// square of the nesting depth or of the number of attributes on one
// element. Every reader of a disc's XML files measures first (ScanXmlShape)
// and refuses an absurd file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Limits far above any real NCC (a 5 MB NCC of 40,000 entries has depth 4,
// about 240,000 nodes and attributes together, and needs about 1.4 million
// units of parser work; one of 32 MiB would need some 10 million), and low
// enough that TinyXML stays well within a thread's stack and a second of
// time on the worst document they let through.
inline constexpr std::size_t kMaxXmlBytes = 32u * 1024 * 1024;
inline constexpr std::size_t kMaxXmlDepth = 1000;
inline constexpr std::size_t kMaxXmlNodes = 2'000'000;
inline constexpr std::size_t kMaxXmlAttributesPerElement = 256;
inline constexpr std::uint64_t kMaxXmlWork = 32'000'000;

// TinyXML may step up to three bytes past the terminating NUL when the text
// ends inside a multi-byte UTF-8 character; these NUL bytes absorb that.
inline constexpr std::size_t kXmlPadding = 8;

// What TinyXML 2.6 would build from text, measured without building it.
struct XmlShape
{
    bool withinLimits = true;
    std::size_t maxDepth = 0;       // deepest element nesting reached
    std::size_t nodes = 0;          // nodes and attributes created, blank text included
    std::size_t maxAttributes = 0;  // most attributes parsed on one element
    std::uint64_t work = 0;         // parent-chain and attribute-list steps
    bool utf8 = false;              // TinyXML would read the text as UTF-8
};

// The text TinyXML's own LoadFile would parse (line ends made LF, cut at the
// first NUL byte), followed by kXmlPadding NUL bytes.
std::string PrepareXmlText(std::string fileBytes);

// text must be followed by at least kXmlPadding NUL bytes. The scan follows
// TinyXML's own parsing path byte for byte (encoding detection, UTF-8 step
// lengths, entities, where it stops), so its figures are never below what
// TinyXML reaches; it stops as soon as a limit is passed.
XmlShape ScanXmlShape(const char* text);
