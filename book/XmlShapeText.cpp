// The scanner's reading of names, text, entities and attributes.
#include "book/XmlShapeScanner.h"

#include <cstring>

namespace book::xml_shape {

const char* ShapeScanner::SkipWhiteSpace(const char* p) const
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

const char* ShapeScanner::ReadName(const char* p) const
{
    if (p == nullptr || *p == '\0' || !IsNameStart(*p))
        return nullptr;
    while (*p != '\0' && IsNameChar(*p))
        ++p;
    return p;
}

const char* ShapeScanner::GetEntity(const char* p)
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

const char* ShapeScanner::GetChar(const char* p) const
{
    const int length = Utf8() ? Utf8ByteTable(static_cast<unsigned char>(*p)) : 1;
    if (length == 1)
        return *p == '&' ? GetEntity(p) : p + 1;
    return p + length;
}

const char* ShapeScanner::ReadText(const char* p, std::string_view endTag, std::string* value) const
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

const char* ShapeScanner::ReadTextTo(const char* p, char end) const
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

void ShapeScanner::AppendDecoded(const char* from, const char* to, std::string& value)
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

const char* ShapeScanner::AttributeParse(const char* p, std::string* value) const
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

} // namespace book::xml_shape
