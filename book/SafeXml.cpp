#include "book/SafeXml.h"

#include "text/BookText.h"

#include <tinyxml.h>

#include <cerrno>
#include <cstdint>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

XmlFailure ReadWholeFile(const std::string& path, std::string& bytes)
{
    // O_NONBLOCK: a disc may carry a named pipe under the expected name, and
    // opening one for reading would otherwise wait for a writer for ever.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return XmlFailure::CannotOpen;
    XmlFailure failure = XmlFailure::None;
    struct stat info = {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
        failure = XmlFailure::CannotOpen;
    else if (info.st_size <= 0)
        failure = XmlFailure::Empty;
    else if (static_cast<std::uint64_t>(info.st_size) > kMaxXmlBytes)
        failure = XmlFailure::TooLarge;
    if (failure == XmlFailure::None) {
        bytes.reserve(static_cast<std::size_t>(info.st_size) + kXmlPadding);
        bytes.resize(static_cast<std::size_t>(info.st_size));
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t got = ::read(fd, bytes.data() + done, bytes.size() - done);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                break;
            done += static_cast<std::size_t>(got);
        }
        // The size seen at the start is read whole, or the read fails.
        if (done != bytes.size())
            failure = XmlFailure::CannotOpen;
    }
    ::close(fd);
    return failure;
}

bool IsNameByte(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-' ||
           c == '.' || c == ':' || static_cast<unsigned char>(c) >= 0x80;
}

std::string_view NameAt(std::string_view text, std::size_t at)
{
    std::size_t end = at;
    while (end < text.size() && IsNameByte(text[end]))
        ++end;
    return text.substr(at, end - at);
}

// The text up to the first end tag named stopAfter (any prefix), then the
// root's end tag and the padding; "" when there is no such end tag or no
// plain root start tag before it.
std::string CutAfter(std::string_view text, std::string_view stopAfter)
{
    std::string_view root;
    for (std::size_t lt = text.find('<'); lt != std::string_view::npos; lt = text.find('<', lt + 1)) {
        if (lt + 1 < text.size() && text[lt + 1] != '?' && text[lt + 1] != '!' && text[lt + 1] != '/') {
            root = NameAt(text, lt + 1);
            break;
        }
    }
    if (root.empty())
        return {};
    for (std::size_t end = text.find("</"); end != std::string_view::npos; end = text.find("</", end + 2)) {
        const std::string_view name = NameAt(text, end + 2);
        if (LocalName(name) != stopAfter)
            continue;
        std::size_t close = end + 2 + name.size();
        while (close < text.size() && (text[close] == ' ' || text[close] == '\t' || text[close] == '\n'))
            ++close;
        if (close >= text.size() || text[close] != '>')
            return {};
        std::string cut(text.substr(0, close + 1));
        cut.append("</").append(root).append(">\n");
        cut.append(kXmlPadding, '\0');
        return cut;
    }
    return {};
}

// The text as UTF-8: every well-formed UTF-8 character as it is, every
// other byte read as Windows-1252. A value that was valid UTF-8 reads as
// before, and so does one in Windows-1252; only a mix of both in one value
// now keeps its UTF-8 part.
std::string ToUtf8(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + text.size() / 2 + kXmlPadding + 3);
    out = "\xEF\xBB\xBF";
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = Utf8CharLength(text.substr(i));
        if (length != 0) {
            out.append(text.substr(i, length));
            i += length;
        } else {
            out += DecodeBookText(text.substr(i, 1));
            ++i;
        }
    }
    out.append(kXmlPadding, '\0');
    return out;
}

XmlFailure ParseWhole(const std::string& prepared, TiXmlDocument& document)
{
    XmlShape shape = ScanXmlShape(prepared.c_str());
    if (!shape.withinLimits)
        return XmlFailure::TooComplex;
    // TinyXML reads a text declared in an 8-bit encoding (or in none) byte
    // by byte and cuts every character reference above 255 to one byte
    // ("&#8364;" became "\xAC"). Such a text is made UTF-8 first and marked so with a byte order mark, which
    // TinyXML and the shape scan both obey before any declaration.
    std::string converted;
    if (!shape.utf8) {
        converted = ToUtf8(prepared.c_str());
        shape = ScanXmlShape(converted.c_str());
        if (!shape.withinLimits)
            return XmlFailure::TooComplex;
    }
    const std::string& text = converted.empty() ? prepared : converted;
    // A global of TinyXML's: set once, not by every parse, since the
    // station's workers parse at the same time.
    static const bool kept = (TiXmlBase::SetCondenseWhiteSpace(false), true);
    (void)kept;
    document.SetTabSize(0);
    document.Parse(text.c_str(), nullptr, TIXML_ENCODING_UNKNOWN);
    return document.Error() ? XmlFailure::NotXml : XmlFailure::None;
}

XmlFailure ParsePrepared(const std::string& text, TiXmlDocument& document, std::string_view stopAfter)
{
    if (!stopAfter.empty()) {
        // The prepared text ends at its first NUL, before the padding.
        const std::string cut = CutAfter(std::string_view(text.c_str()), stopAfter);
        if (!cut.empty() && ParseWhole(cut, document) == XmlFailure::None)
            return XmlFailure::None;
        document.Clear();
        document.ClearError();
    }
    return ParseWhole(text, document);
}

} // namespace

XmlFailure LoadSafeXml(const std::string& path, TiXmlDocument& document, std::string_view stopAfter)
{
    std::string bytes;
    const XmlFailure failure = ReadWholeFile(path, bytes);
    if (failure != XmlFailure::None)
        return failure;
    return ParsePrepared(PrepareXmlText(std::move(bytes)), document, stopAfter);
}

XmlFailure ParseSafeXml(std::string_view fileBytes, TiXmlDocument& document, std::string_view stopAfter)
{
    if (fileBytes.empty())
        return XmlFailure::Empty;
    if (fileBytes.size() > kMaxXmlBytes)
        return XmlFailure::TooLarge;
    return ParsePrepared(PrepareXmlText(std::string(fileBytes)), document, stopAfter);
}

std::string_view LocalName(std::string_view name)
{
    const auto colon = name.rfind(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

namespace {

void CollectText(const TiXmlNode& node, std::string& text)
{
    for (const TiXmlNode* child = node.FirstChild(); child != nullptr; child = child->NextSibling()) {
        if (const TiXmlText* piece = child->ToText())
            text += piece->ValueStr();
        else if (child->ToElement() != nullptr)
            CollectText(*child, text);
    }
}

} // namespace

std::string CondensedText(const TiXmlNode& node)
{
    std::string raw;
    CollectText(node, raw);
    std::string out;
    bool blank = false;
    for (char c : raw) {
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            blank = !out.empty();
            continue;
        }
        if (blank)
            out.push_back(' ');
        blank = false;
        out.push_back(c);
    }
    return out;
}
