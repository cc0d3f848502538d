#include "book/NccShape.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string_view>
#include <utility>

namespace {

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
int Utf8ByteTable(unsigned char lead)
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

char AsciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Prefix test; false on an empty or missing p, like TinyXML's StringEqual.
bool StringEqual(const char* p, std::string_view tag, bool ignoreCase = false)
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

    NccShape Run(const char* p)
    {
        DocumentParse(p);
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
        if (m_shape.nodes > kMaxNccNodes || m_shape.work > kMaxNccWork || m_shape.maxDepth > kMaxNccDepth ||
            m_shape.maxAttributes > kMaxNccAttributesPerElement)
            m_shape.withinLimits = false;
    }

    const char* SkipWhiteSpace(const char* p) const
    {
        if (p == nullptr || *p == '\0')
            return nullptr;
        if (Utf8()) {
            while (*p != '\0') {
                const auto* u = reinterpret_cast<const unsigned char*>(p);
                // TinyXML skips byte-order marks and the two UTF-8
                // non-characters U+FFFE and U+FFFF as if they were blanks.
                if (u[0] == 0xEF &&
                    ((u[1] == 0xBB && u[2] == 0xBF) || (u[1] == 0xBF && (u[2] == 0xBE || u[2] == 0xBF)))) {
                    p += 3;
                    continue;
                }
                if (!IsWhiteSpace(*p))
                    break;
                ++p;
            }
        } else {
            while (*p != '\0' && IsWhiteSpace(*p))
                ++p;
        }
        return p;
    }

    const char* ReadName(const char* p) const
    {
        if (p == nullptr || *p == '\0' || !IsNameStart(*p))
            return nullptr;
        while (*p != '\0' && IsNameChar(*p))
            ++p;
        return p;
    }

    // A character reference may run to the next ';' as long as the bytes
    // just before that ';' are digits back to a '#' (or an 'x'): TinyXML
    // checks them from the end, so whatever lies before an inner '#' or 'x'
    // is swallowed unread, '<' and quotes included.
    static const char* GetEntity(const char* p)
    {
        if (p[1] == '#' && p[2] != '\0') {
            const bool hex = p[2] == 'x';
            if (hex && p[3] == '\0')
                return nullptr;
            const char* semicolon = std::strchr(p + (hex ? 3 : 2), ';');
            if (semicolon == nullptr)
                return nullptr;
            for (const char* q = semicolon - 1; *q != (hex ? 'x' : '#'); --q) {
                const bool digit = (*q >= '0' && *q <= '9') ||
                                   (hex && ((*q >= 'a' && *q <= 'f') || (*q >= 'A' && *q <= 'F')));
                if (!digit)
                    return nullptr;
            }
            return semicolon + 1;
        }
        for (std::string_view named : {"&amp;", "&lt;", "&gt;", "&quot;", "&apos;"}) {
            if (std::strncmp(named.data(), p, named.size()) == 0)
                return p + named.size();
        }
        return p + 1;
    }

    // One character as TinyXML's GetChar takes it. A multi-byte step may
    // jump over the terminating NUL; the caller's padding absorbs that.
    const char* GetChar(const char* p) const
    {
        const int length = Utf8() ? Utf8ByteTable(static_cast<unsigned char>(*p)) : 1;
        if (length == 1)
            return *p == '&' ? GetEntity(p) : p + 1;
        return p + length;
    }

    const char* ReadText(const char* p, std::string_view endTag, std::string* value = nullptr) const
    {
        if (endTag.size() == 1 && value == nullptr)
            return ReadTextTo(p, endTag[0]);
        while (p != nullptr && *p != '\0' && !StringEqual(p, endTag)) {
            const char* next = GetChar(p);
            if (value != nullptr && next != nullptr)
                AppendDecoded(p, next, *value);
            p = next;
        }
        if (p != nullptr && *p != '\0')
            p += endTag.size();
        return p;
    }

    // ReadText for the common one-character end (text up to '<', attribute
    // values up to their quote), which is most of the bytes of an NCC.
    const char* ReadTextTo(const char* p, char end) const
    {
        if (p == nullptr)
            return nullptr;
        unsigned char mask = CharClasses::kStopAlways | (Utf8() ? CharClasses::kStopUtf8Lead : 0);
        mask |= end == '<' ? CharClasses::kStopLess : end == '"' ? CharClasses::kStopDoubleQuote : CharClasses::kStopSingleQuote;
        for (;;) {
            while ((m_classes.textStop[static_cast<unsigned char>(*p)] & mask) == 0)
                ++p;
            const auto c = static_cast<unsigned char>(*p);
            if (c == '\0')
                return p;
            if (c == static_cast<unsigned char>(end))
                return p + 1;
            if (c == '&') {
                p = GetEntity(p);
                if (p == nullptr)
                    return nullptr;
            } else {
                p += Utf8ByteTable(c);
            }
        }
    }

    // Only the XML declaration's encoding value is needed as text, and it
    // is read before any encoding is known, when every character is a byte.
    static void AppendDecoded(const char* from, const char* to, std::string& value)
    {
        if (*from != '&') {
            value.append(from, to);
            return;
        }
        // TinyXML drops an '&' that starts no reference it knows.
        if (to - from == 1)
            return;
        if (from[1] == '#') {
            const bool hex = from[2] == 'x';
            unsigned long code = 0;
            unsigned long scale = 1;
            for (const char* q = to - 2; *q != (hex ? 'x' : '#'); --q) {
                const int digit = (*q <= '9') ? *q - '0' : (AsciiLower(*q) - 'a' + 10);
                code += scale * static_cast<unsigned long>(digit);
                scale *= hex ? 16 : 10;
            }
            value.push_back(static_cast<char>(code));
            return;
        }
        static constexpr std::pair<std::string_view, char> kNamed[] = {
            {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
        for (const auto& [name, c] : kNamed) {
            if (std::string_view(from, static_cast<std::size_t>(to - from)) == name)
                value.push_back(c);
        }
    }

    const char* AttributeParse(const char* p, std::string* value = nullptr) const
    {
        p = SkipWhiteSpace(p);
        if (p == nullptr || *p == '\0')
            return nullptr;
        p = ReadName(p);
        if (p == nullptr || *p == '\0')
            return nullptr;
        p = SkipWhiteSpace(p);
        if (p == nullptr || *p == '\0' || *p != '=')
            return nullptr;
        p = SkipWhiteSpace(p + 1);
        if (p == nullptr || *p == '\0')
            return nullptr;
        if (*p == '\'' || *p == '"') {
            const char quote[] = {*p, '\0'};
            return ReadText(p + 1, quote, value);
        }
        while (*p != '\0' && !IsWhiteSpace(*p) && *p != '/' && *p != '>') {
            if (*p == '\'' || *p == '"')
                return nullptr;
            if (value != nullptr)
                value->push_back(*p);
            ++p;
        }
        return p;
    }

    const char* DeclarationParse(const char* p, std::string* encodingValue)
    {
        p = SkipWhiteSpace(p);
        if (!StringEqual(p, "<?xml", true))
            return nullptr;
        p += 5;
        while (p != nullptr && *p != '\0') {
            if (*p == '>')
                return p + 1;
            p = SkipWhiteSpace(p);
            if (p == nullptr)
                break;
            if (StringEqual(p, "version", true) || StringEqual(p, "standalone", true)) {
                p = AttributeParse(p);
            } else if (StringEqual(p, "encoding", true)) {
                encodingValue->clear();
                p = AttributeParse(p, encodingValue);
            } else {
                while (*p != '\0' && *p != '>' && !IsWhiteSpace(*p))
                    ++p;
            }
        }
        return nullptr;
    }

    const char* CommentParse(const char* p) const
    {
        p = SkipWhiteSpace(p);
        if (!StringEqual(p, "<!--"))
            return nullptr;
        p += 4;
        while (*p != '\0' && !StringEqual(p, "-->"))
            ++p;
        return *p != '\0' ? p + 3 : p;
    }

    const char* UnknownParse(const char* p) const
    {
        p = SkipWhiteSpace(p);
        if (p == nullptr || *p != '<')
            return nullptr;
        ++p;
        while (*p != '\0' && *p != '>')
            ++p;
        return *p == '>' ? p + 1 : p;
    }

    // TiXmlText::Parse for a CDATA section.
    const char* CDataParse(const char* p) const
    {
        if (!StringEqual(p, "<![CDATA["))
            return nullptr;
        p += 9;
        while (*p != '\0' && !StringEqual(p, "]]>"))
            ++p;
        return ReadText(p, "]]>");
    }

    // TiXmlText::Parse: text inside an element, up to and not including the
    // next '<'.
    const char* TextParse(const char* p) const
    {
        p = ReadText(p, "<");
        return (p != nullptr && *p != '\0') ? p - 1 : nullptr;
    }

    enum class NodeKind
    {
        None,
        Declaration,
        Comment,
        CData,
        Unknown,
        Element
    };

    NodeKind Identify(const char* p) const
    {
        p = SkipWhiteSpace(p);
        if (p == nullptr || *p != '<')
            return NodeKind::None;
        if (StringEqual(p, "<?xml", true))
            return NodeKind::Declaration;
        if (StringEqual(p, "<!--"))
            return NodeKind::Comment;
        if (StringEqual(p, "<![CDATA["))
            return NodeKind::CData;
        if (StringEqual(p, "<!"))
            return NodeKind::Unknown;
        if (IsNameStart(p[1]))
            return NodeKind::Element;
        return NodeKind::Unknown;
    }

    // The Parse of the node that Identify made. depth: the nesting depth of
    // the node being parsed (1 for the root).
    const char* NodeParse(NodeKind kind, const char* p, std::size_t depth, std::string* encodingValue)
    {
        std::string ignored;
        switch (kind) {
        case NodeKind::Declaration:
            return DeclarationParse(p, encodingValue != nullptr ? encodingValue : &ignored);
        case NodeKind::Comment:
            return CommentParse(p);
        case NodeKind::CData:
            return CDataParse(p);
        case NodeKind::Unknown:
            return UnknownParse(p);
        case NodeKind::Element:
            return ElementParse(p, depth);
        case NodeKind::None:
            break;
        }
        return nullptr;
    }

    const char* ElementParse(const char* p, std::size_t depth)
    {
        if (depth > m_shape.maxDepth) {
            m_shape.maxDepth = depth;
            CheckLimits();
            if (Stopped())
                return nullptr;
        }
        p = SkipWhiteSpace(p);
        if (p == nullptr || *p != '<')
            return nullptr;
        p = SkipWhiteSpace(p + 1);
        const char* name = p;
        p = ReadName(p);
        if (p == nullptr || *p == '\0')
            return nullptr;
        const std::string_view nameText(name, static_cast<std::size_t>(p - name));

        std::size_t attributes = 0;
        while (p != nullptr && *p != '\0') {
            p = SkipWhiteSpace(p);
            if (p == nullptr || *p == '\0')
                return nullptr;
            if (*p == '/') {
                ++p;
                return *p == '>' ? p + 1 : nullptr;
            }
            if (*p == '>') {
                p = ElementReadValue(p + 1, depth);
                if (p == nullptr || *p == '\0' || !StringEqual(p, "</") || !StringEqual(p + 2, nameText))
                    return nullptr;
                p = SkipWhiteSpace(p + 2 + nameText.size());
                return (p != nullptr && *p == '>') ? p + 1 : nullptr;
            }
            p = AttributeParse(p);
            if (p == nullptr || *p == '\0')
                return nullptr;
            // A repeated attribute name ends TinyXML's parse; counting on
            // past it only makes the figures larger.
            ++attributes;
            m_shape.maxAttributes = std::max(m_shape.maxAttributes, attributes);
            ++m_shape.nodes;
            m_shape.work += 2 * attributes; // the duplicate check, done twice
            CheckLimits();
            if (Stopped())
                return nullptr;
        }
        return p;
    }

    // The children of an element at depth; returns at its "</".
    const char* ElementReadValue(const char* p, std::size_t depth)
    {
        m_shape.work += depth;
        const char* withWhiteSpace = p;
        p = SkipWhiteSpace(p);
        while (p != nullptr && *p != '\0') {
            CountNode(depth);
            if (Stopped())
                return nullptr;
            if (*p != '<') {
                // Whitespace is kept, so the text starts where the blanks do.
                p = TextParse(withWhiteSpace);
            } else if (StringEqual(p, "</")) {
                --m_shape.nodes; // an end tag is no node
                return p;
            } else {
                p = NodeParse(Identify(p), p, depth + 1, nullptr);
                if (Stopped())
                    return nullptr;
            }
            withWhiteSpace = p;
            p = SkipWhiteSpace(p);
        }
        return p;
    }

    void DocumentParse(const char* p)
    {
        if (p == nullptr || *p == '\0')
            return;
        const auto* u = reinterpret_cast<const unsigned char*>(p);
        if (u[0] == 0xEF && u[1] == 0xBB && u[2] == 0xBF)
            m_encoding = Encoding::Utf8;
        p = SkipWhiteSpace(p);
        while (p != nullptr && *p != '\0') {
            const NodeKind kind = Identify(p);
            if (kind == NodeKind::None)
                break;
            CountNode(0);
            if (Stopped())
                return;
            std::string encodingValue;
            p = NodeParse(kind, p, 1, &encodingValue);
            if (Stopped())
                return;
            if (m_encoding == Encoding::Unknown && kind == NodeKind::Declaration) {
                // TinyXML takes the value as a C string and compares a prefix.
                const char* value = encodingValue.c_str();
                m_encoding = (*value == '\0' || StringEqual(value, "UTF-8", true) || StringEqual(value, "UTF8", true))
                                 ? Encoding::Utf8
                                 : Encoding::Legacy;
            }
            p = SkipWhiteSpace(p);
        }
    }

    const CharClasses m_classes;
    Encoding m_encoding = Encoding::Unknown;
    NccShape m_shape;
};

} // namespace

NccShape ScanNccShape(const char* text)
{
    return ShapeScanner().Run(text);
}

// What TinyXML's LoadFile hands to its parser: CR LF and lone CR become LF,
// and the text ends at the first NUL byte. LoadFile leaves the bytes after
// that NUL in its buffer, where a multi-byte step can reach them; here they
// are gone, and padding follows instead.
std::string PrepareNccText(std::string bytes)
{
    const char* data = bytes.data();
    const auto* nul = static_cast<const char*>(std::memchr(data, '\0', bytes.size()));
    std::size_t length = nul != nullptr ? static_cast<std::size_t>(nul - data) : bytes.size();
    if (std::memchr(data, '\r', length) != nullptr) {
        // In place: the write position never passes the read position.
        std::size_t out = 0;
        for (std::size_t i = 0; i < length; ++i) {
            if (bytes[i] == '\r') {
                bytes[out++] = '\n';
                if (i + 1 < length && bytes[i + 1] == '\n')
                    ++i;
            } else {
                bytes[out++] = bytes[i];
            }
        }
        length = out;
    }
    bytes.resize(length);
    bytes.append(kNccPadding, '\0');
    return bytes;
}
