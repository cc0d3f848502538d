#include "book/DiscBooks.h"

#include "book/BookFile.h"
#include "book/DiscInfoReader.h"
#include "book/NccReader.h"
#include "book/PackageReader.h"
#include "text/Ascii.h"

#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <string_view>
#include <sys/stat.h>

namespace {

std::string RealPath(const std::string& path)
{
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : std::string();
}

// The name under which folder holds file, whatever its letter case: the
// index may say ncc.html where the disc says NCC.HTML.
std::string StoredName(const std::string& folder, const std::string& file)
{
    struct stat st;
    if (::lstat((folder + file).c_str(), &st) == 0)
        return file;
    std::string found;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* e = ::readdir(dir)) {
            if (EqualIgnoringAsciiCase(e->d_name, file) && (found.empty() || found > e->d_name))
                found = e->d_name;
        }
        ::closedir(dir);
    }
    return found;
}

// True when path, with every link followed, is a file (or a folder) that
// still lies inside realRoot.
bool InsideDisc(const std::string& realRoot, const std::string& path, bool folder)
{
    const std::string real = RealPath(path);
    const std::string prefix = realRoot == "/" ? realRoot : realRoot + "/";
    struct stat st;
    return !real.empty() && !realRoot.empty() && real.size() > prefix.size() && real.compare(0, prefix.size(), prefix) == 0 &&
           ::stat(real.c_str(), &st) == 0 && (folder ? S_ISDIR(st.st_mode) : S_ISREG(st.st_mode));
}

} // namespace

bool ReadBookFile(const std::string& path, CBookInfo& info, std::string* reason)
{
    if (KindOfBookFile(path) == BookFileKind::Package) {
        CPackageReader reader;
        if (!reader.ReadPackage(path)) {
            if (reason != nullptr)
                *reason = ReasonLine(reader.DescribeFailure());
            return false;
        }
        info.title = reader.BookTitle();
        info.metaList = reader.MetaList();
        return true;
    }
    CNccReader reader;
    if (!reader.ReadNcc(path)) {
        if (reason != nullptr)
            *reason = XmlFailureReasonLine(reader.LastFailure());
        return false;
    }
    info.title = reader.BookTitle();
    info.metaList = reader.MetaList();
    return true;
}

bool ListDiscBooks(const std::string& root, const std::string& discInfoPath, std::vector<CDiscBook>& books)
{
    CDiscInfoReader reader;
    if (!reader.ReadDiscInfo(discInfoPath))
        return false;
    const std::string realRoot = RealPath(root);
    books.clear();
    for (const CListedBook& listed : reader.Books()) {
        CDiscBook book;
        book.folder = root + listed.folder;
        const std::string stored = StoredName(book.folder, listed.file);
        book.bookFile = book.folder + (stored.empty() ? listed.file : stored);
        book.name = listed.label.empty() ? listed.folder.substr(0, listed.folder.size() - 1) : listed.label;
        book.found = !stored.empty() && InsideDisc(realRoot, book.folder, true) &&
                     InsideDisc(realRoot, book.bookFile, false);
        books.push_back(std::move(book));
    }
    return true;
}
