// talvora-ncc PATH
//
// Shows the book title, the meta list and the folder name that the default
// settings (identifier, title and author) give, so that library staff can
// see why a disc gets the name it gets. PATH is an ncc.html, a DAISY 3
// package file (*.opf) or a discinfo.html, whose listed books are each
// shown the same way. Exit status: 0 read and named, 1 the reader refuses
// the file, 2 wrong use, 3 read but no name possible (for a discinfo.html:
// for at least one of its books).
#include "book/DiscBooks.h"
#include "book/DiscInfoReader.h"
#include "book/NccReader.h"
#include "book/PackageReader.h"
#include "naming/FolderName.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

// Text from a disc is shown as UTF-8 with control characters written out,
// so a hostile title cannot send escape sequences to the terminal.
std::string Shown(const std::string& ansi)
{
    std::string out;
    for (char c : ansi) {
        const auto byte = static_cast<unsigned char>(c);
        const bool c1 = byte == 0x81 || byte == 0x8D || byte == 0x8F || byte == 0x90 || byte == 0x9D;
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\\') {
            out += "\\\\";
        } else if (byte < 0x20 || byte == 0x7F || c1) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            out += escaped;
        } else {
            out += AnsiToUtf8(std::string(1, c));
        }
    }
    return out;
}

// UTF-8 text (a link's text, a folder on the disc) with control characters
// written out; anything not UTF-8 is shown byte by byte as 8-bit text.
std::string ShownUtf8(const std::string& utf8)
{
    std::string out;
    for (char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F || c == '\\') {
            out += Shown(std::string(1, c));
        } else {
            out.push_back(c);
        }
    }
    return out;
}

void PrintBook(const std::string& title, const CMetaList& metaList, const char* indent)
{
    std::printf("%sTitel: \"%s\"\n", indent, Shown(title).c_str());
    std::printf("%sMetagegevens (%zu):\n", indent, metaList.size());
    for (const CMetaItem& item : metaList)
        std::printf("%s  \"%s\" = \"%s\"\n", indent, Shown(item.m_strName).c_str(), Shown(item.m_strContent).c_str());
}

// Prints the folder name; false when none can be made.
bool PrintFolderName(const CMetaList& metaList, const char* indent)
{
    std::string name = MakeFolderName(1, 1, 1, metaList);
    if (name.empty()) {
        std::printf("%sMapnaam: geen. Kan de naam voor de nieuwe map niet bepalen.\n", indent);
        return false;
    }
    MakeValidFolderName(name);
    std::printf("%sMapnaam: \"%s\"\n", indent, Shown(name).c_str());
    return true;
}

int ShowNcc(const char* path)
{
    CNccReader reader;
    if (!reader.ReadNcc(path)) {
        std::fprintf(stderr,
                     "talvora-ncc: %s\n"
                     "NCC document op Daisy-CD kon niet worden gelezen of heeft een onbekende structuur.\n"
                     "Reden: %s.\n",
                     path, DescribeNccFailure(reader.LastFailure()));
        return 1;
    }
    PrintBook(reader.BookTitle(), reader.MetaList(), "");
    return PrintFolderName(reader.MetaList(), "") ? 0 : 3;
}

int ShowPackage(const char* path)
{
    CPackageReader reader;
    CBookInfo book;
    if (!reader.ReadPackage(path) || !ReadBookFile(path, book)) {
        std::fprintf(stderr,
                     "talvora-ncc: %s\n"
                     "Pakketbestand (.opf) op Daisy-CD kon niet worden gelezen of heeft een onbekende structuur.\n"
                     "Reden: %s.\n",
                     path, reader.DescribeFailure());
        return 1;
    }
    PrintBook(book.title, book.metaList, "");
    return PrintFolderName(book.metaList, "") ? 0 : 3;
}

int ShowDiscInfo(const std::string& path)
{
    const auto slash = path.rfind('/');
    const std::string root = slash == std::string::npos ? "./" : path.substr(0, slash + 1);
    CDiscInfoReader reader;
    std::vector<CDiscBook> books;
    if (!reader.ReadDiscInfo(path) || !ListDiscBooks(root, path, books)) {
        std::fprintf(stderr,
                     "talvora-ncc: %s\n"
                     "Inhoudsopgave (discinfo.html) op Daisy-CD kon niet worden gelezen of noemt geen Daisy-boeken.\n"
                     "Reden: %s.\n",
                     path.c_str(), reader.DescribeFailure());
        return 1;
    }
    for (const std::string& link : reader.Skipped())
        std::printf("Overgeslagen verwijzing: \"%s\"\n", ShownUtf8(link).c_str());
    std::printf("Boeken (%zu):\n", books.size());
    bool allNamed = true;
    for (std::size_t i = 0; i < books.size(); ++i) {
        const CDiscBook& book = books[i];
        std::printf("%zu. \"%s\" in \"%s\"\n", i + 1, ShownUtf8(book.name).c_str(), ShownUtf8(book.bookFile).c_str());
        CBookInfo info;
        if (!book.found) {
            std::printf("   Niet gevonden op de CD, of de verwijzing leidt buiten de CD.\n");
            allNamed = false;
        } else if (!ReadBookFile(book.bookFile, info)) {
            std::printf("   Kon niet worden gelezen of heeft een onbekende structuur.\n");
            allNamed = false;
        } else {
            PrintBook(info.title, info.metaList, "   ");
            allNamed = PrintFolderName(info.metaList, "   ") && allNamed;
        }
    }
    return allNamed ? 0 : 3;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2 || argv[1][0] == '\0') {
        std::fprintf(stderr, "Gebruik: talvora-ncc PAD-NAAR-ncc.html, -.opf of -discinfo.html\n");
        return 2;
    }
    switch (KindOfBookFile(argv[1])) {
    case BookFileKind::Package:
        return ShowPackage(argv[1]);
    case BookFileKind::DiscInfo:
        return ShowDiscInfo(argv[1]);
    case BookFileKind::Ncc:
        break;
    }
    return ShowNcc(argv[1]);
}
