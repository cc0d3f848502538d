#include "copy/DiscPlan.h"

#include "naming/FolderName.h"
#include "posix/Posix.h"
#include "text/Utf8.h"

#include <algorithm>

namespace copy {

namespace {

void PlanBook(PlannedBook& book, const CSettings& naming, const std::string& outputDir)
{
    if (!ReadBookFile(book.bookFile, book.info, &book.reason)) {
        book.refusal = PlanRefusal::Unreadable;
        return;
    }
    const FittedFolderName fitted = FitFolderName(
        ComposeFolderNameParts(naming.UseIdentifier, naming.UseTitle, naming.UseCreator, book.info.metaList),
        outputDir);
    book.dest = fitted.path;
    if (book.dest.empty())
        book.refusal = fitted.fit == FolderNameFit::TooLong ? PlanRefusal::NameTooLong : PlanRefusal::NoName;
}

} // namespace

DiscPlan PlanDisc(const std::string& root, const std::string& bookFile, const CSettings& naming,
                  const std::string& outputDir)
{
    DiscPlan plan;
    if (KindOfBookFile(bookFile) != BookFileKind::DiscInfo) {
        PlannedBook book;
        book.folder = root;
        book.bookFile = bookFile;
        const std::string drive = posix::ParentFolder(root + "x");
        book.name = drive.substr(drive.rfind('/') + 1);
        PlanBook(book, naming, outputDir);
        plan.books.push_back(std::move(book));
        return plan;
    }
    plan.listed = true;
    std::vector<CDiscBook> listed;
    if (!ListDiscBooks(root, bookFile, listed)) {
        plan.indexUnreadable = true;
        return plan;
    }
    std::vector<std::string> taken;
    for (const CDiscBook& entry : listed) {
        PlannedBook book;
        book.folder = entry.folder;
        book.bookFile = entry.bookFile;
        book.name = entry.name;
        if (!entry.found) {
            book.refusal = PlanRefusal::NotOnDisc;
        } else {
            PlanBook(book, naming, outputDir);
            const std::string folded = FoldLetterCase(book.dest);
            if (book.refusal == PlanRefusal::None) {
                if (std::find(taken.begin(), taken.end(), folded) != taken.end()) {
                    book.refusal = PlanRefusal::SameFolder;
                    book.dest.clear();
                } else {
                    taken.push_back(folded);
                }
            }
        }
        plan.books.push_back(std::move(book));
    }
    return plan;
}

} // namespace copy
