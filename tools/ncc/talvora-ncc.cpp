// talvora-ncc PATH [DOELMAP]
//
// Shows the book title, the meta list and the folder name that the default
// settings (identifier, title and author) give, so that library staff can
// see why a disc gets the name it gets. The name is fitted exactly as the
// copy window fits it: to the name limit, and with an output folder also to
// the path limit. PATH is an ncc.html, a DAISY 3 package file (*.opf) or a
// discinfo.html, whose listed books are each shown the same way. Exit
// status: 0 read and named, 1 the reader refuses the file, 2 wrong use,
// 3 read but no name possible (for a discinfo.html: for at least one of
// its books).
//
// talvora-ncc --controleer PATH checks the book (or every book of a disc
// with several) as the copy checks its copy, reading every byte of the
// audio: one Dutch line a finding, with its grade. PATH is the book file
// or the folder that holds it. Exit status: 0 whole (warnings and notes
// allowed), 1 at least one fatal finding, 2 wrong use (also a path that is
// not there, or a folder without a book file).
#include "text/BookText.h"
#include "book/BookFile.h"
#include "book/DiscBooks.h"
#include "book/DiscInfoReader.h"
#include "book/NccReader.h"
#include "book/PackageReader.h"
#include "check/BookCheck.h"
#include "naming/FolderName.h"
#include "tools/ncc/InspectorTexts.h"

#include <algorithm>
#include <cstdio>
#include <dirent.h>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

// Text from a disc is shown as UTF-8 with control characters written out,
// so a hostile title cannot send escape sequences to the terminal.
std::string Shown(const std::string& utf8)
{
    std::string out;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const char c = utf8[i];
        const auto byte = static_cast<unsigned char>(c);
        const auto next = i + 1 < utf8.size() ? static_cast<unsigned char>(utf8[i + 1]) : 0;
        char escaped[8];
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\\') {
            out += "\\\\";
        } else if (byte < 0x20 || byte == 0x7F) {
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            out += escaped;
        } else if (byte == 0xC2 && next >= 0x80 && next <= 0x9F) {
            // C1 controls, U+0080 to U+009F.
            std::snprintf(escaped, sizeof escaped, "\\u%04X", next);
            out += escaped;
            ++i;
        } else {
            out += c;
        }
    }
    return out;
}

void Line(const char* indent, const std::string& text)
{
    std::printf("%s%s\n", indent, text.c_str());
}

// Why the file named could not be shown, on standard error.
void Refusal(const std::string& path, const std::string& why)
{
    std::fprintf(stderr, "talvora-ncc: %s\n%s\n", path.c_str(), why.c_str());
}

void PrintBook(const std::string& title, const CMetaList& metaList, const char* indent)
{
    Line(indent, ncc::text::Title(Shown(title)));
    Line(indent, ncc::text::MetaCount(metaList.size()));
    for (const CMetaItem& item : metaList)
        Line(indent, ncc::text::Meta(Shown(item.m_strName), Shown(item.m_strContent)));
}

// Prints the fitted folder name; false when none can be made. Without an
// output folder only the name limit can bite; the root adds nothing to the
// path that matters.
bool PrintFolderName(const CMetaList& metaList, const char* outputDir, const char* indent)
{
    const FittedFolderName fitted =
        FitFolderName(ComposeFolderNameParts(1, 1, 1, metaList), outputDir != nullptr ? outputDir : "/");
    switch (fitted.fit) {
    case FolderNameFit::NoName:
        Line(indent, ncc::text::NoFolderName());
        return false;
    case FolderNameFit::TooLong:
        Line(indent, ncc::text::FolderNameTooLong());
        return false;
    case FolderNameFit::Fits:
    case FolderNameFit::Shortened:
        break;
    }
    Line(indent, ncc::text::FolderName(Shown(fitted.name), fitted.fit == FolderNameFit::Shortened));
    if (outputDir != nullptr)
        Line(indent, ncc::text::Folder(Shown(fitted.path)));
    return true;
}

int ShowNcc(const char* path, const char* outputDir)
{
    CNccReader reader;
    if (!reader.ReadNcc(path)) {
        Refusal(path, ncc::text::NccUnreadable() + "\n" + XmlFailureReasonLine(reader.LastFailure()));
        return 1;
    }
    PrintBook(reader.BookTitle(), reader.MetaList(), "");
    return PrintFolderName(reader.MetaList(), outputDir, "") ? 0 : 3;
}

int ShowPackage(const char* path, const char* outputDir)
{
    CPackageReader reader;
    CBookInfo book;
    if (!reader.ReadPackage(path) || !ReadBookFile(path, book)) {
        Refusal(path, ncc::text::PackageUnreadable(reader.DescribeFailure()));
        return 1;
    }
    PrintBook(book.title, book.metaList, "");
    return PrintFolderName(book.metaList, outputDir, "") ? 0 : 3;
}

int ShowDiscInfo(const std::string& path, const char* outputDir)
{
    const auto slash = path.rfind('/');
    const std::string root = slash == std::string::npos ? "./" : path.substr(0, slash + 1);
    CDiscInfoReader reader;
    std::vector<CDiscBook> books;
    if (!reader.ReadDiscInfo(path) || !ListDiscBooks(root, path, books)) {
        Refusal(path, ncc::text::DiscInfoUnreadable(reader.DescribeFailure()));
        return 1;
    }
    for (const std::string& link : reader.Skipped())
        Line("", ncc::text::SkippedLink(Shown(DecodeBookText(link))));
    Line("", ncc::text::BookCount(books.size()));
    bool allNamed = true;
    for (std::size_t i = 0; i < books.size(); ++i) {
        const CDiscBook& book = books[i];
        Line("", ncc::text::ListedBook(i + 1, Shown(book.name), Shown(DecodeBookText(book.bookFile))));
        CBookInfo info;
        if (!book.found) {
            Line("   ", ncc::text::ListedBookNotFound());
            allNamed = false;
        } else if (!ReadBookFile(book.bookFile, info)) {
            Line("   ", ncc::text::ListedBookUnreadable());
            allNamed = false;
        } else {
            PrintBook(info.title, info.metaList, "   ");
            allNamed = PrintFolderName(info.metaList, outputDir, "   ") && allNamed;
        }
    }
    return allNamed ? 0 : 3;
}

// The book file in folder: an NCC before a package file before a disc
// index, as the disc search ranks them; "" when there is none.
std::string BookFileIn(const std::string& folder)
{
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* entry = ::readdir(dir))
            names.emplace_back(entry->d_name);
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    for (const BookFileKind wanted : {BookFileKind::Ncc, BookFileKind::Package, BookFileKind::DiscInfo})
        for (const std::string& name : names)
            if (BookFileKindOfName(name) == wanted)
                return name;
    return {};
}

int CheckPath(const std::string& path)
{
    struct stat st;
    std::string root;
    std::string bookFile;
    if (::stat(path.c_str(), &st) != 0) {
        Refusal(Shown(path), check::PathNotThereLine());
        return 2;
    }
    if (S_ISDIR(st.st_mode)) {
        root = path.back() == '/' ? path : path + "/";
        bookFile = BookFileIn(root);
    } else {
        const auto slash = path.rfind('/');
        root = slash == std::string::npos ? "./" : path.substr(0, slash + 1);
        bookFile = slash == std::string::npos ? path : path.substr(slash + 1);
        if (!BookFileKindOfName(bookFile))
            bookFile.clear();
    }
    if (bookFile.empty()) {
        Refusal(Shown(path), check::NoBookFileLine());
        return 2;
    }
    std::printf("%s\n", check::WholeAudioReadLine().c_str());
    check::CPosixBookFiles files(root);
    check::CheckOptions options;
    options.audio = check::AudioReading::Whole;
    const check::CheckReport report = check::CheckDisc(files, bookFile, options);
    for (const check::Finding& finding : report.findings)
        std::printf("%s: %s\n", check::GradeWord(finding.grade),
                    Shown(check::DescribeFinding(finding, check::Place::Disc)).c_str());
    if (report.findings.empty())
        Line("", ncc::text::BookWhole());
    return report.HasFatal() ? 1 : 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::string(argv[1]) == "--controleer" && argv[2][0] != '\0')
        return CheckPath(argv[2]);
    if (argc < 2 || argc > 3 || argv[1][0] == '\0' || (argc == 3 && argv[2][0] != '/')) {
        std::fprintf(stderr, "%s\n", ncc::text::Usage().c_str());
        return 2;
    }
    const char* outputDir = argc == 3 ? argv[2] : nullptr;
    switch (KindOfBookFile(argv[1])) {
    case BookFileKind::Package:
        return ShowPackage(argv[1], outputDir);
    case BookFileKind::DiscInfo:
        return ShowDiscInfo(argv[1], outputDir);
    case BookFileKind::Ncc:
        break;
    }
    return ShowNcc(argv[1], outputDir);
}
