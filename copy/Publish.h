// Giving a copied book its name. A new book is laid out in a hidden work
// folder of this run's own (made with its mark, so only this program's
// leftovers are ever removed), and renamed into place only once it is
// written and flushed: a name never replaces anything, a name taken is
// passed for the next free number, and a copy that is not the whole book
// gets a name that says so, cut to fit, with a note of what it still
// needs. The copy job's plain folder and the archive station's bag are two
// layouts of the same staged book.
#pragma once

#include "copy/CopyJob.h"

#include <functional>
#include <string>
#include <vector>

namespace copy::publish {

using copy::IFileOperations;
using posix::Failure;

// Numbers tried after a name: _001 ... _998.
inline constexpr int kLastNumber = 999;

// path with its number n ("<path>_007").
std::string Numbered(const std::string& path, int n);

// path itself for 0, else path with its number n.
std::string NameWith(const std::string& path, int n);

// The first n from first on for which NameWith(path, n) is carried by
// nothing; -1 when all are taken. A link counts as taken: the book never
// goes through one.
int FreeNumber(const std::string& path, IFileOperations& ops, int first = 0);

// NameWith(path, FreeNumber(path, ops)); "" when all are taken.
std::string FreeName(const std::string& path, IFileOperations& ops);

// "<name> (onvolledig)" beside target, its last name cut at a character
// boundary so that it still fits the platform's name limit with a number
// after it: a name too long to make would throw the kept part away.
std::string IncompleteName(const std::string& target);

// Renames from to NameWith(name, first), or to the next free number should
// something have taken it meanwhile; never replaces anything. The name
// used goes to published.
Failure PublishAs(const std::string& from, const std::string& name, IFileOperations& ops, std::string& published,
                  int first = 0);

// How a book lies in its work folder before it is published.
struct Layout
{
    // The folder that gets the book's name, inside the work folder (never
    // the work folder itself: its mark stays behind).
    std::string published = "/boek";
    // Where the book's own files go, inside published ("" for published
    // itself; a bag's "/data").
    std::string book;
    // Runs on the published folder once the copy ended and before it gets
    // its name, whole or not (a bag's tag files); a failure keeps it from
    // being published.
    std::function<Failure(const std::string& folder)> beforePublish;
    // Whether a later copy may complete an incomplete one in place: only a
    // plain folder, where the book's files lie at the top.
    bool completes = true;
};

// One book staged in this run's work folder; the work folder and whatever
// was not published are removed when it ends.
class CStage
{
public:
    CStage(IFileOperations& ops, Layout layout);
    ~CStage();
    CStage(const CStage&) = delete;
    CStage& operator=(const CStage&) = delete;

    // Removes what ended runs left in outputDir and makes this run's work
    // folder there.
    Failure Open(const std::string& outputDir);
    // Where the copy writes the book's files.
    std::string Book() const;
    // The work folder itself, where partial files may lie.
    const std::string& Work() const { return m_work; }
    // Removes the work folder with whatever was not published, now.
    void Discard();
    // The work folder is now at work, its drive mounted anew; "": the
    // drive is gone, and nothing is left to remove.
    void MovedTo(std::string work) { m_work = std::move(work); }

    // Publishes the whole book under NameWith(name, number) or the next
    // free number.
    Failure PublishWhole(const std::string& name, int number, std::string& published);
    // Publishes what was copied of an incomplete book under the incomplete
    // name of name, the book's own (or its next free number), noting needed
    // inside where the layout can be completed later.
    Failure PublishIncomplete(const std::string& name, const std::vector<std::string>& needed,
                              std::string& published);

private:
    Failure Prepared();

    IFileOperations& m_ops;
    Layout m_layout;
    std::string m_work;
};

} // namespace copy::publish
