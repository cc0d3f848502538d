// Reads the list of books from a distribution disc's discinfo.html.
//
// Every link (an a element with href) whose target is a book's ncc.html or
// package file inside a folder of the disc names one book, in document
// order. The check is on the text alone: a link that leaves the disc
// ("../", an absolute path, another scheme), that names no book file, or
// that names a folder already listed, is skipped. Whether the target
// exists is for the caller to check against the disc.
#pragma once

#include "book/NccReader.h"

#include <string>
#include <string_view>
#include <vector>

class TiXmlDocument;

struct CListedBook
{
    std::string folder;  // relative to the disc's root, ending in '/'
    std::string file;    // the book's ncc.html or package file in that folder
    std::string label;   // the link's text, UTF-8 (DecodeBookText); may be empty
};

// The folder and file a link names, or false when it names no book on the
// disc. Fragments are dropped and %XX escapes decoded before the check.
bool ParseBookLink(std::string_view href, std::string& folder, std::string& file);

class CDiscInfoReader
{
public:
    // True when the file was read and lists at least one book.
    bool ReadDiscInfo(const std::string& path);
    bool ReadDiscInfoBytes(std::string_view fileBytes);

    const std::vector<CListedBook>& Books() const { return m_books; }
    // Links that were skipped, as written.
    const std::vector<std::string>& Skipped() const { return m_skipped; }
    XmlFailure FileFailure() const { return m_fileFailure; }

    // A short Dutch description of why the last read failed.
    const char* DescribeFailure() const;

private:
    bool Read(XmlFailure loaded, const TiXmlDocument& document);

    std::vector<CListedBook> m_books;
    std::vector<std::string> m_skipped;
    XmlFailure m_fileFailure = XmlFailure::None;
};
