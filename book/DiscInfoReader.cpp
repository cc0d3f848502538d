#include "book/DiscInfoReader.h"

#include "book/BookFile.h"

#include "text/BookText.h"
#include "book/SafeXml.h"
#include "book/XmlWalk.h"
#include "text/Ascii.h"

#include <tinyxml.h>

#include <algorithm>

namespace {

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool PercentDecode(std::string_view in, std::string& out)
{
    out.clear();
    for (std::size_t i = 0; i < in.size(); ++i) {
        if (in[i] != '%') {
            out.push_back(in[i]);
            continue;
        }
        if (i + 2 >= in.size())
            return false;
        const int high = HexValue(in[i + 1]);
        const int low = HexValue(in[i + 2]);
        if (high < 0 || low < 0)
            return false;
        out.push_back(static_cast<char>(high * 16 + low));
        i += 2;
    }
    return true;
}

// A listed book is one book: its NCC or package file, never another index.
bool IsBookFileName(std::string_view name)
{
    const auto kind = BookFileKindOfName(name);
    return kind && *kind != BookFileKind::DiscInfo;
}


} // namespace

bool ParseBookLink(std::string_view href, std::string& folder, std::string& file)
{
    const auto hash = href.find('#');
    if (hash != std::string_view::npos)
        href = href.substr(0, hash);
    std::string path;
    if (href.empty() || !PercentDecode(href, path))
        return false;
    // Anything that is not a plain relative path inside the disc: absolute
    // paths, other schemes or drives ("http:", "file:", "C:"), Windows
    // separators, queries, control bytes.
    if (path.front() == '/' || path.find_first_of(":\\?") != std::string::npos ||
        std::any_of(path.begin(), path.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; }))
        return false;

    std::vector<std::string_view> parts;
    std::string_view rest = path;
    while (!rest.empty()) {
        const auto slash = rest.find('/');
        const std::string_view part = rest.substr(0, slash);
        if (part.empty() || part == "..")
            return false;
        if (part != ".")
            parts.push_back(part);
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
        if (slash != std::string_view::npos && rest.empty())
            return false; // a folder, not a file
    }
    // A book lives in a folder of its own; the root's own book file is the
    // disc's, not one of the listed books.
    if (parts.size() < 2 || !IsBookFileName(parts.back()))
        return false;
    std::string joined;
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
        joined += parts[i];
        joined += '/';
    }
    folder = std::move(joined);
    file = std::string(parts.back());
    return true;
}

bool CDiscInfoReader::ReadDiscInfo(const std::string& path)
{
    TiXmlDocument document;
    const XmlFailure loaded = LoadSafeXml(path, document);
    return Read(loaded, document);
}

bool CDiscInfoReader::ReadDiscInfoBytes(std::string_view fileBytes)
{
    TiXmlDocument document;
    const XmlFailure loaded = ParseSafeXml(fileBytes, document);
    return Read(loaded, document);
}

bool CDiscInfoReader::Read(XmlFailure loaded, const TiXmlDocument& document)
{
    m_books.clear();
    m_skipped.clear();
    m_fileFailure = loaded;
    if (loaded != XmlFailure::None)
        return false;

    // Every element in document order, links inside lists and tables too.
    ForEachElement(document, [&](const TiXmlElement& element) {
        const char* href = LocalName(element.ValueStr()) == "a" ? element.Attribute("href") : nullptr;
        if (href == nullptr)
            return;
        CListedBook book;
        const bool parsed = ParseBookLink(href, book.folder, book.file);
        const bool twice = std::any_of(m_books.begin(), m_books.end(),
                                       [&](const CListedBook& b) { return b.folder == book.folder; });
        if (parsed && !twice) {
            book.label = DecodeBookText(CondensedText(element));
            m_books.push_back(std::move(book));
        } else {
            m_skipped.emplace_back(href);
        }
    });
    return !m_books.empty();
}
