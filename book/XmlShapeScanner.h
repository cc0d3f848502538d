// The shape scan's machinery, private to book/XmlShape.cpp and
// book/XmlShapeText.cpp: one scanner whose steps follow TinyXML 2.6's
// parser.
#pragma once

#include "book/XmlShape.h"
#include "text/Ascii.h"

#include <cctype>
#include <string>
#include <string_view>

namespace book::xml_shape {


// Each step below carries the name of the TinyXML 2.6 function whose work
// it measures (TiXmlBase::SkipWhiteSpace, TiXmlElement::Parse as
// ElementParse, TiXmlElement::ReadValue as ElementReadValue, ...) and
// returns what that one returns (a position, or nullptr where TinyXML gives
// up), so the scan walks exactly the path the parser will walk. It only
// counts; it keeps no text.

enum class Encoding
{
    Unknown,
    Utf8,
    Legacy
};

// TinyXML's step lengths for UTF-8 lead bytes, including its leniency:
// 0xC0, 0xC1 and 0xF5 to 0xFF count as one byte, continuation bytes too.
inline int Utf8ByteTable(unsigned char lead)
{
    if (lead < 0xC2)
        return 1;
    if (lead < 0xE0)
        return 2;
    if (lead < 0xF0)
        return 3;
    if (lead < 0xF5)
        return 4;
    return 1;
}

// TinyXML classifies bytes with the C library's isspace, isalpha and
// isalnum, so under the user's locale; the scan asks the same functions,
// once per byte value.
struct CharClasses
{
    CharClasses()
    {
        for (int b = 0; b < 256; ++b) {
            const auto byte = static_cast<unsigned char>(b);
            space[b] = std::isspace(byte) || b == '\n' || b == '\r';
            nameStart[b] = b >= 127 || std::isalpha(byte) || b == '_';
            nameChar[b] = b >= 127 || std::isalnum(byte) || b == '_' || b == '-' || b == '.' || b == ':';
        }
        textStop['<'] |= kStopLess;
        textStop['"'] |= kStopDoubleQuote;
        textStop['\''] |= kStopSingleQuote;
        textStop['\0'] |= kStopAlways;
        textStop['&'] |= kStopAlways;
        for (int b = 0xC2; b < 256; ++b)
            textStop[b] |= kStopUtf8Lead;
    }

    // Bytes at which a run of text needs a closer look, by end character.
    static constexpr unsigned char kStopLess = 1;
    static constexpr unsigned char kStopDoubleQuote = 2;
    static constexpr unsigned char kStopSingleQuote = 4;
    static constexpr unsigned char kStopAlways = 8;
    static constexpr unsigned char kStopUtf8Lead = 16;

    bool space[256];
    bool nameStart[256];
    bool nameChar[256];
    unsigned char textStop[256] = {};
};

// Prefix test; false on an empty or missing p, like TinyXML's StringEqual.
inline bool StringEqual(const char* p, std::string_view tag, bool ignoreCase = false)
{
    if (p == nullptr || *p == '\0')
        return false;
    for (char t : tag) {
        if (*p == '\0')
            return false;
        if (ignoreCase ? AsciiLower(*p) != AsciiLower(t) : *p != t)
            return false;
        ++p;
    }
    return true;
}

class ShapeScanner
{
public:
    bool IsWhiteSpace(char c) const { return m_classes.space[static_cast<unsigned char>(c)]; }
    bool IsNameStart(char c) const { return m_classes.nameStart[static_cast<unsigned char>(c)]; }
    bool IsNameChar(char c) const { return m_classes.nameChar[static_cast<unsigned char>(c)]; }

    XmlShape Run(const char* p)
    {
        DocumentParse(p);
        m_shape.utf8 = Utf8();
        return m_shape;
    }

private:
    bool Utf8() const { return m_encoding == Encoding::Utf8; }

    bool Stopped() const { return !m_shape.withinLimits; }

    // Called for every node TinyXML creates; depth is that of its parent
    // chain, which TinyXML walks to find the document.
    void CountNode(std::size_t depth)
    {
        ++m_shape.nodes;
        m_shape.work += depth + 1;
        CheckLimits();
    }

    void CheckLimits()
    {
        if (m_shape.nodes > kMaxXmlNodes || m_shape.work > kMaxXmlWork || m_shape.maxDepth > kMaxXmlDepth ||
            m_shape.maxAttributes > kMaxXmlAttributesPerElement)
            m_shape.withinLimits = false;
    }

    const char* SkipWhiteSpace(const char* p) const;

    const char* ReadName(const char* p) const;

    // A character reference may run to the next ';' as long as the bytes
    // just before that ';' are digits back to a '#' (or an 'x'): TinyXML
    // checks them from the end, so whatever lies before an inner '#' or 'x'
    // is swallowed unread, '<' and quotes included.
    static const char* GetEntity(const char* p);

    // One character as TinyXML's GetChar takes it. A multi-byte step may
    // jump over the terminating NUL; the caller's padding absorbs that.
    const char* GetChar(const char* p) const;

    const char* ReadText(const char* p, std::string_view endTag, std::string* value = nullptr) const;

    // ReadText for the common one-character end (text up to '<', attribute
    // values up to their quote), which is most of the bytes of an NCC.
    const char* ReadTextTo(const char* p, char end) const;

    // Only the XML declaration's encoding value is needed as text, and it
    // is read before any encoding is known, when every character is a byte.
    static void AppendDecoded(const char* from, const char* to, std::string& value);

    const char* AttributeParse(const char* p, std::string* value = nullptr) const;

    const char* DeclarationParse(const char* p, std::string* encodingValue);

    const char* CommentParse(const char* p) const;

    const char* UnknownParse(const char* p) const;

    // TiXmlText::Parse for a CDATA section.
    const char* CDataParse(const char* p) const;

    // TiXmlText::Parse: text inside an element, up to and not including the
    // next '<'.
    const char* TextParse(const char* p) const;

    enum class NodeKind
    {
        None,
        Declaration,
        Comment,
        CData,
        Unknown,
        Element
    };

    NodeKind Identify(const char* p) const;

    // The Parse of the node that Identify made. depth: the nesting depth of
    // the node being parsed (1 for the root).
    const char* NodeParse(NodeKind kind, const char* p, std::size_t depth, std::string* encodingValue);

    const char* ElementParse(const char* p, std::size_t depth);

    // The children of an element at depth; returns at its "</".
    const char* ElementReadValue(const char* p, std::size_t depth);

    void DocumentParse(const char* p);

    const CharClasses m_classes;
    Encoding m_encoding = Encoding::Unknown;
    XmlShape m_shape;
};

} // namespace book::xml_shape
