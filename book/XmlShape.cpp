#include "book/XmlShapeScanner.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace book::xml_shape {

const char* ShapeScanner::DeclarationParse(const char* p, std::string* encodingValue)
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

const char* ShapeScanner::CommentParse(const char* p) const
{
    p = SkipWhiteSpace(p);
    if (!StringEqual(p, "<!--"))
        return nullptr;
    p += 4;
    while (*p != '\0' && !StringEqual(p, "-->"))
        ++p;
    return *p != '\0' ? p + 3 : p;
}

const char* ShapeScanner::UnknownParse(const char* p) const
{
    p = SkipWhiteSpace(p);
    if (p == nullptr || *p != '<')
        return nullptr;
    ++p;
    while (*p != '\0' && *p != '>')
        ++p;
    return *p == '>' ? p + 1 : p;
}

const char* ShapeScanner::CDataParse(const char* p) const
{
    if (!StringEqual(p, "<![CDATA["))
        return nullptr;
    p += 9;
    while (*p != '\0' && !StringEqual(p, "]]>"))
        ++p;
    return ReadText(p, "]]>");
}

const char* ShapeScanner::TextParse(const char* p) const
{
    p = ReadText(p, "<");
    return (p != nullptr && *p != '\0') ? p - 1 : nullptr;
}

ShapeScanner::NodeKind ShapeScanner::Identify(const char* p) const
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

const char* ShapeScanner::NodeParse(NodeKind kind, const char* p, std::size_t depth, std::string* encodingValue)
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

const char* ShapeScanner::ElementParse(const char* p, std::size_t depth)
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

const char* ShapeScanner::ElementReadValue(const char* p, std::size_t depth)
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

void ShapeScanner::DocumentParse(const char* p)
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

} // namespace book::xml_shape


XmlShape ScanXmlShape(const char* text)
{
    return book::xml_shape::ShapeScanner().Run(text);
}

// What TinyXML's LoadFile hands to its parser: CR LF and lone CR become LF,
// and the text ends at the first NUL byte. LoadFile leaves the bytes after
// that NUL in its buffer, where a multi-byte step can reach them; here they
// are gone, and padding follows instead.
std::string PrepareXmlText(std::string bytes)
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
    bytes.append(kXmlPadding, '\0');
    return bytes;
}
