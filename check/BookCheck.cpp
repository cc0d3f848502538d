#include "check/BookCheck.h"

#include "text/BookText.h"
#include "book/DiscBooks.h"
#include "book/DiscInfoReader.h"
#include "book/SafeXml.h"
#include "book/XmlWalk.h"
#include "check/AudioLength.h"
#include "check/SmilReader.h"
#include "text/Ascii.h"

#include <tinyxml.h>

#include <algorithm>
#include <cerrno>
#include <unordered_map>
#include <unordered_set>

namespace check {

namespace {

std::string FolderOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string Lowered(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        c = AsciiLower(c);
    return out;
}

bool EndsWithIgnoringCase(std::string_view text, std::string_view end)
{
    return text.size() >= end.size() && EqualIgnoringAsciiCase(text.substr(text.size() - end.size()), end);
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = AsciiLower(c);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// %XX escapes decoded; a broken escape stays as written.
std::string PercentDecoded(std::string_view in)
{
    std::string out;
    for (std::size_t i = 0; i < in.size(); ++i) {
        if (in[i] == '%' && i + 2 < in.size() && HexValue(in[i + 1]) >= 0 && HexValue(in[i + 2]) >= 0) {
            out.push_back(static_cast<char>(HexValue(in[i + 1]) * 16 + HexValue(in[i + 2])));
            i += 2;
        } else {
            out.push_back(in[i]);
        }
    }
    return out;
}

// The path a reference names inside the book, or false when it leaves the
// book: "..", an absolute path, another scheme or drive, a Windows
// separator, control bytes.
bool ResolveInside(const std::string& from, const std::string& decoded, std::string& resolved)
{
    if (decoded.empty() || decoded.front() == '/' || decoded.find_first_of(":\\") != std::string::npos ||
        std::any_of(decoded.begin(), decoded.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; }))
        return false;
    resolved = from;
    std::string_view rest = decoded;
    while (!rest.empty()) {
        const auto slash = rest.find('/');
        const std::string_view part = rest.substr(0, slash);
        if (part == "..")
            return false;
        if (!part.empty() && part != ".") {
            resolved.append(part);
            if (slash != std::string_view::npos)
                resolved.push_back('/');
        }
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
    }
    return !resolved.empty() && resolved.back() != '/';
}

// Like ResolveInside, but ".." steps up a folder while it stays in the
// book: style sheets name their images "../images/x.png". For marking
// files referenced only, never for a finding.
bool ResolveUpwards(const std::string& from, const std::string& decoded, std::string& resolved)
{
    if (decoded.empty() || decoded.front() == '/' || decoded.find_first_of(":\\") != std::string::npos)
        return false;
    std::vector<std::string_view> parts;
    const std::string whole = from + decoded;
    std::string_view rest = whole;
    while (!rest.empty()) {
        const auto slash = rest.find('/');
        const std::string_view part = rest.substr(0, slash);
        if (part == "..") {
            if (parts.empty())
                return false;
            parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
    }
    resolved.clear();
    for (const std::string_view part : parts) {
        if (!resolved.empty())
            resolved.push_back('/');
        resolved.append(part);
    }
    return !resolved.empty();
}

std::string HeadingText(const TiXmlNode& node)
{
    return DecodeBookText(CondensedText(node));
}

bool IsHeading(std::string_view name)
{
    return name.size() == 2 && (name[0] == 'h' || name[0] == 'H') && name[1] >= '1' && name[1] <= '6';
}

// Books whose text is a main part: a missing text document is fatal there.
bool TextIsPartOfBook(std::string_view multimediaType)
{
    for (std::string_view type : {"audioFullText", "audioPartText", "textPartAudio", "textNcc", "textNCX"})
        if (EqualIgnoringAsciiCase(multimediaType, type))
            return true;
    return false;
}

struct Target
{
    Role role = Role::Other;
    std::string chapter;
    double needed = -1;  // the latest clip end, audio only
};

class CBookCheck
{
public:
    CBookCheck(IBookFileAccess& files, std::string bookName, const CheckOptions& options)
        : m_files(files), m_bookName(std::move(bookName)), m_options(options)
    {}

    CheckReport Run(const std::string& bookFile);

private:
    Grade GradeOf(Role role) const
    {
        switch (role) {
        case Role::BookFile:
        case Role::Smil:
        case Role::Audio:
            return Grade::Fatal;
        case Role::Text:
            return m_textIsPart ? Grade::Fatal : Grade::Warning;
        case Role::Other:
            break;
        }
        return Grade::Warning;
    }

    Finding& Add(Kind kind, Role role, const std::string& chapter, const std::string& file, Grade grade)
    {
        Finding f;
        f.grade = grade;
        f.kind = kind;
        f.role = role;
        f.book = m_bookName;
        f.chapter = chapter;
        f.file = file;
        m_report.findings.push_back(std::move(f));
        return m_report.findings.back();
    }

    Finding& Add(Kind kind, Role role, const std::string& chapter, const std::string& file)
    {
        return Add(kind, role, chapter, file, GradeOf(role));
    }

    // The entry stored under path, or under a name that differs only in
    // letter case (then caseOnly).
    const FileEntry* Find(const std::string& path, bool& caseOnly) const
    {
        caseOnly = false;
        if (const auto exact = m_exact.find(path); exact != m_exact.end())
            return &m_entries[exact->second];
        if (const auto folded = m_folded.find(Lowered(path)); folded != m_folded.end()) {
            caseOnly = true;
            return &m_entries[folded->second];
        }
        return nullptr;
    }

    void Refer(const std::string& from, std::string_view src, Role role, const std::string& chapter, double clipEnd = -1);
    bool ReadText(const FileEntry& entry, Role role, const std::string& chapter, TiXmlDocument& document);
    const FileEntry* Present(const std::string& path, Role role, const std::string& chapter);
    void ReadNcc(const FileEntry& ncc);
    void ReadPackage(const FileEntry& package);
    void CheckTarget(const std::string& path, const Target& target);
    void CheckAudio(const FileEntry& entry, const std::string& path, const Target& target);
    void JudgeWalk(const AudioWalk& walk, const std::string& path, const Target& target);
    void FollowTextReferences();
    bool AllReferenced() const;

    IBookFileAccess& m_files;
    std::string m_bookName;
    const CheckOptions& m_options;
    std::string m_bookFile;
    bool m_textIsPart = false;
    CheckReport m_report;
    std::vector<FileEntry> m_entries;
    std::unordered_map<std::string, std::size_t> m_exact;
    std::unordered_map<std::string, std::size_t> m_folded;
    std::unordered_map<std::string, Target> m_targets;
    std::vector<std::string> m_order;  // targets in the order first referred to
    std::unordered_set<std::string> m_outside;
    std::unordered_set<std::string> m_referenced;  // stored paths
    // A SMIL names the same audio file in clip after clip.
    std::string m_lastFrom, m_lastSrc, m_lastResolved;
};

void CBookCheck::Refer(const std::string& from, std::string_view src, Role role, const std::string& chapter, double clipEnd)
{
    const auto hash = src.find('#');
    if (hash != std::string_view::npos)
        src = src.substr(0, hash);
    if (src.empty())
        return;  // a place in the same document
    std::string resolved;
    if (from == m_lastFrom && src == m_lastSrc) {
        resolved = m_lastResolved;
    } else {
        const std::string decoded = PercentDecoded(src);
        if (!ResolveInside(from, decoded, resolved)) {
            if (m_outside.insert(decoded).second)
                Add(Kind::OutsideBook, role, chapter, decoded);
            return;
        }
        m_lastFrom = from;
        m_lastSrc = std::string(src);
        m_lastResolved = resolved;
    }
    if (resolved == m_bookFile)
        return;
    auto [it, added] = m_targets.try_emplace(resolved);
    Target& target = it->second;
    if (added) {
        target.role = role;
        target.chapter = chapter;
        m_order.push_back(resolved);
    } else if (target.role == Role::Text || target.role == Role::Other) {
        if (role != Role::Text && role != Role::Other)
            target.role = role;
    }
    if (target.chapter.empty())
        target.chapter = chapter;
    target.needed = std::max(target.needed, clipEnd);
}

const FileEntry* CBookCheck::Present(const std::string& path, Role role, const std::string& chapter)
{
    bool caseOnly = false;
    const FileEntry* entry = Find(path, caseOnly);
    if (entry == nullptr) {
        Add(Kind::Missing, role, chapter, path);
        return nullptr;
    }
    m_referenced.insert(entry->path);
    if (caseOnly)
        Add(Kind::CaseOnly, role, chapter, path, Grade::Warning).actual = entry->path;
    if (entry->type != EntryType::File) {
        Add(Kind::NotAFile, role, chapter, path);
        return nullptr;
    }
    if (entry->size == 0) {
        Add(Kind::Empty, role, chapter, path);
        return nullptr;
    }
    m_report.files.push_back(entry->path);
    return entry;
}

bool CBookCheck::ReadText(const FileEntry& entry, Role role, const std::string& chapter, TiXmlDocument& document)
{
    std::string bytes;
    const std::size_t most = static_cast<std::size_t>(std::min<std::uint64_t>(entry.size, kMaxXmlBytes + 1));
    if (const int error = m_files.Read(entry.path, 0, most, bytes); error != 0) {
        Add(Kind::Unreadable, role, chapter, entry.path).error = error;
        return false;
    }
    if (ParseSafeXml(bytes, document) != XmlFailure::None) {
        Add(Kind::Damaged, role, chapter, entry.path);
        return false;
    }
    return true;
}

void CBookCheck::ReadNcc(const FileEntry& ncc)
{
    TiXmlDocument document;
    if (!ReadText(ncc, Role::BookFile, {}, document))
        return;
    const std::string from = FolderOf(ncc.path);
    std::string chapter;
    ForEachElement(document, [&](const TiXmlElement& element) {
        const std::string_view name = LocalName(element.ValueStr());
        if (IsHeading(name)) {
            chapter = HeadingText(element);
        } else if (name == "meta") {
            const char* metaName = element.Attribute("name");
            const char* content = element.Attribute("content");
            if (metaName != nullptr && content != nullptr && EqualIgnoringAsciiCase(metaName, "ncc:multimediaType"))
                m_textIsPart = TextIsPartOfBook(content);
        } else if (name == "a") {
            if (const char* href = element.Attribute("href")) {
                std::string_view path(href);
                path = path.substr(0, path.find('#'));
                Refer(from, href, EndsWithIgnoringCase(path, ".smil") ? Role::Smil : Role::Text, chapter);
            }
        } else if (name == "link" || name == "img") {
            if (const char* src = element.Attribute(name == "link" ? "href" : "src"))
                Refer(from, src, Role::Other, chapter);
        }
    });
}

void CBookCheck::ReadPackage(const FileEntry& package)
{
    TiXmlDocument document;
    if (!ReadText(package, Role::BookFile, {}, document))
        return;
    const std::string from = FolderOf(package.path);
    struct Item
    {
        std::string href;
        Role role;
    };
    std::vector<Item> items;
    std::string navigation;
    ForEachElement(document, [&](const TiXmlElement& element) {
        const std::string_view name = LocalName(element.ValueStr());
        if (name == "item") {
            const char* href = element.Attribute("href");
            const std::string type = element.Attribute("media-type") != nullptr ? element.Attribute("media-type") : "";
            if (href == nullptr)
                return;
            Role role = Role::Other;
            if (type == "application/smil" || type == "application/smil+xml")
                role = Role::Smil;
            else if (type.compare(0, 6, "audio/") == 0)
                role = Role::Audio;
            else if (type == "application/x-dtbncx+xml")
                navigation = href;
            else if (type == "application/x-dtbook+xml")
                role = Role::Text;
            items.push_back({href, role});
        } else if (name == "meta") {
            const char* metaName = element.Attribute("name");
            const char* content = element.Attribute("content");
            if (metaName != nullptr && content != nullptr && EqualIgnoringAsciiCase(metaName, "dtb:multimediaType"))
                m_textIsPart = TextIsPartOfBook(content);
        }
    });
    // The chapter names come from the navigation file: each navPoint's
    // label, for the SMIL file its content points into.
    std::unordered_map<std::string, std::string> chapters;
    std::string resolved;
    if (!navigation.empty() && ResolveInside(from, PercentDecoded(navigation), resolved)) {
        m_targets.try_emplace(resolved, Target{Role::BookFile, {}, -1});
        if (const FileEntry* ncx = Present(resolved, Role::BookFile, {})) {
            TiXmlDocument nav;
            if (ReadText(*ncx, Role::BookFile, {}, nav)) {
                const std::string navFrom = FolderOf(ncx->path);
                std::string label;
                ForEachElement(nav, [&](const TiXmlElement& element) {
                    const std::string_view name = LocalName(element.ValueStr());
                    if (name == "navLabel") {
                        label = HeadingText(element);
                    } else if (name == "content") {
                        std::string smil;
                        const char* src = element.Attribute("src");
                        if (src != nullptr) {
                            std::string_view path(src);
                            path = path.substr(0, path.find('#'));
                            if (ResolveInside(navFrom, PercentDecoded(path), smil))
                                chapters.try_emplace(smil, label);
                        }
                    }
                });
            }
        }
    }
    for (const Item& item : items) {
        std::string path;
        const std::string chapter =
            ResolveInside(from, PercentDecoded(item.href), path) && chapters.count(path) ? chapters[path] : std::string();
        if (path != resolved || navigation.empty())
            Refer(from, item.href, item.role, chapter);
    }
}

void CBookCheck::CheckTarget(const std::string& path, const Target& target)
{
    const FileEntry* entry = Present(path, target.role, target.chapter);
    if (entry == nullptr)
        return;
    if (target.role == Role::Smil) {
        std::string bytes;
        const std::size_t most = static_cast<std::size_t>(std::min<std::uint64_t>(entry->size, kMaxXmlBytes + 1));
        if (const int error = m_files.Read(entry->path, 0, most, bytes); error != 0) {
            Add(Kind::Unreadable, Role::Smil, target.chapter, path).error = error;
            return;
        }
        std::vector<SmilReference> refs;
        if (ReadSmilBytes(bytes, refs) != XmlFailure::None) {
            Add(Kind::Damaged, Role::Smil, target.chapter, path);
            return;
        }
        const std::string from = FolderOf(entry->path);
        for (const SmilReference& ref : refs) {
            const Role role = ref.type == SmilReference::Type::Audio  ? Role::Audio
                              : ref.type == SmilReference::Type::Text ? Role::Text
                                                                      : Role::Other;
            Refer(from, ref.src, role, target.chapter, ref.clipEnd);
        }
    } else if (target.role == Role::Audio && target.needed > 0) {
        CheckAudio(*entry, path, target);
    }
}

void CBookCheck::CheckAudio(const FileEntry& entry, const std::string& path, const Target& target)
{
    if (!IsWalkedAudioName(entry.path)) {
        Add(Kind::UnknownLength, Role::Audio, target.chapter, path, Grade::Warning);
        return;
    }
    if (m_options.audio == AudioReading::Head) {
        const AudioLength length = DeclaredAudioLength(m_files, entry.path, entry.size);
        if (length.error != 0) {
            Add(Kind::Unreadable, Role::Audio, target.chapter, path).error = length.error;
        } else if (!length.known) {
            m_report.unmeasured.push_back(entry.path);
        } else if (length.seconds + kClipEndTolerance < target.needed) {
            Finding& f = Add(Kind::Truncated, Role::Audio, target.chapter, path);
            f.seconds = length.seconds;
            f.neededSeconds = target.needed;
        }
        return;
    }
    AudioWalk walk;
    bool fromSource = false;
    const auto walked = m_options.walked != nullptr ? m_options.walked->find(entry.path) : WalkedAudio::const_iterator();
    if (m_options.walked != nullptr && walked != m_options.walked->end()) {
        walk = walked->second;
        fromSource = true;
    } else if (const int error = WalkAudioFile(m_files, entry.path, walk); error != 0) {
        Add(Kind::Unreadable, Role::Audio, target.chapter, path).error = error;
        return;
    }
    const std::size_t before = m_report.findings.size();
    JudgeWalk(walk, path, target);
    for (std::size_t i = before; i < m_report.findings.size(); ++i)
        m_report.findings[i].fromSource = fromSource;
}

void CBookCheck::JudgeWalk(const AudioWalk& walk, const std::string& path, const Target& target)
{
    if (walk.format == AudioFormat::Unknown) {
        Add(Kind::Damaged, Role::Audio, target.chapter, path);
        return;
    }
    // A stretch at the end shortens what plays; one with sound after it
    // shifts every clip after it, and plays nothing itself.
    for (const AudioGap& gap : walk.gaps) {
        const bool atEnd = gap.offset + gap.bytes >= walk.bytes;
        if (!atEnd && gap.at + kClipEndTolerance < target.needed && gap.seconds >= kClipEndTolerance) {
            Finding& f = Add(Kind::Unplayable, Role::Audio, target.chapter, path);
            f.seconds = gap.at;
            f.neededSeconds = gap.seconds;
            return;
        }
    }
    if (walk.seconds + kClipEndTolerance < target.needed) {
        Finding& f = Add(Kind::Truncated, Role::Audio, target.chapter, path);
        f.seconds = walk.seconds;
        f.neededSeconds = target.needed;
    }
}

bool CBookCheck::AllReferenced() const
{
    return std::all_of(m_entries.begin(), m_entries.end(), [&](const FileEntry& e) {
        return e.type == EntryType::Folder || m_referenced.count(e.path) != 0;
    });
}

// The references a text file makes, found in its bytes whatever its shape
// (HTML that is no XML too): href and src attributes, CSS url() and
// @import, and the system identifiers of a DOCTYPE or a DTD's entities.
std::vector<std::string> ReferencesIn(std::string_view text)
{
    std::vector<std::string> found;
    const auto quoted = [&](std::size_t at) -> std::size_t {
        while (at < text.size() && (text[at] == ' ' || text[at] == '\t' || text[at] == '\r' || text[at] == '\n'))
            ++at;
        if (at >= text.size() || (text[at] != '"' && text[at] != '\''))
            return std::string_view::npos;
        const auto end = text.find(text[at], at + 1);
        if (end == std::string_view::npos)
            return std::string_view::npos;
        found.emplace_back(text.substr(at + 1, end - at - 1));
        return end + 1;
    };
    const std::string lowered = Lowered(text);
    for (const std::string_view word : {"href", "src"}) {
        for (auto at = lowered.find(word); at != std::string::npos; at = lowered.find(word, at + 1)) {
            std::size_t eq = at + word.size();
            while (eq < lowered.size() && lowered[eq] == ' ')
                ++eq;
            const bool startsName = at == 0 || !((lowered[at - 1] >= 'a' && lowered[at - 1] <= 'z') || lowered[at - 1] == '-');
            if (startsName && eq < lowered.size() && lowered[eq] == '=')
                quoted(eq + 1);
        }
    }
    for (auto at = lowered.find("system"); at != std::string::npos; at = lowered.find("system", at + 1))
        quoted(at + 6);
    for (auto at = lowered.find("public"); at != std::string::npos; at = lowered.find("public", at + 1)) {
        const std::size_t second = quoted(at + 6);
        if (second != std::string_view::npos) {
            found.pop_back();  // the public identifier names no file
            quoted(second);
        }
    }
    for (auto at = lowered.find("url("); at != std::string::npos; at = lowered.find("url(", at + 1)) {
        const auto end = lowered.find(')', at);
        if (end == std::string::npos)
            break;
        std::string_view inside = text.substr(at + 4, end - at - 4);
        while (!inside.empty() && (inside.front() == ' ' || inside.front() == '"' || inside.front() == '\''))
            inside.remove_prefix(1);
        while (!inside.empty() && (inside.back() == ' ' || inside.back() == '"' || inside.back() == '\''))
            inside.remove_suffix(1);
        found.emplace_back(inside);
    }
    for (auto at = lowered.find("@import"); at != std::string::npos; at = lowered.find("@import", at + 1))
        quoted(at + 7);
    return found;
}

bool IsTextFileName(std::string_view path)
{
    for (const std::string_view ext : {".html", ".htm", ".xhtml", ".xml", ".smil", ".opf", ".ncx", ".css", ".dtd", ".ent",
                                       ".mod", ".res"})
        if (EndsWithIgnoringCase(path, ext))
            return true;
    return false;
}

// Files that only the book's text files refer to (images in the text, style
// sheets, DTDs) are part of the book too: before a file is called
// unreferenced, the references of every text file of the book are
// followed, and of the files those lead to.
void CBookCheck::FollowTextReferences()
{
    std::vector<std::string> work;
    std::unordered_set<std::string> seen;
    for (const std::string& path : m_report.files)
        if (IsTextFileName(path) && seen.insert(path).second)
            work.push_back(path);
    while (!work.empty() && !AllReferenced()) {
        const std::string path = work.back();
        work.pop_back();
        bool caseOnly = false;
        const FileEntry* entry = Find(path, caseOnly);
        if (entry == nullptr || entry->type != EntryType::File)
            continue;
        std::string bytes;
        const std::size_t most = static_cast<std::size_t>(std::min<std::uint64_t>(entry->size, kMaxXmlBytes));
        if (m_files.Read(entry->path, 0, most, bytes) != 0)
            continue;
        const std::string from = FolderOf(entry->path);
        for (std::string ref : ReferencesIn(bytes)) {
            ref = ref.substr(0, ref.find('#'));
            std::string resolved;
            if (ref.empty() || !ResolveUpwards(from, PercentDecoded(ref), resolved))
                continue;
            const FileEntry* target = Find(resolved, caseOnly);
            if (target == nullptr)
                continue;
            m_referenced.insert(target->path);
            if (IsTextFileName(target->path) && seen.insert(target->path).second)
                work.push_back(target->path);
        }
    }
}

CheckReport CBookCheck::Run(const std::string& bookFile)
{
    const std::string folder = FolderOf(bookFile);
    if (const int error = m_files.ListTree(folder, m_entries); error != 0) {
        Add(error == ENOENT || error == ENOTDIR ? Kind::Missing : Kind::Unreadable, Role::BookFile, {}, bookFile).error =
            error;
        return std::move(m_report);
    }
    // The first of several names that differ only in letter case, in
    // byte order, as the disc finder takes it.
    std::sort(m_entries.begin(), m_entries.end(), [](const FileEntry& a, const FileEntry& b) { return a.path < b.path; });
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        m_exact.emplace(m_entries[i].path, i);
        m_folded.emplace(Lowered(m_entries[i].path), i);
    }
    bool caseOnly = false;
    const FileEntry* book = Find(bookFile, caseOnly);
    m_bookFile = book != nullptr ? book->path : bookFile;
    if (const FileEntry* present = Present(bookFile, Role::BookFile, {})) {
        if (KindOfBookFile(present->path) == BookFileKind::Package)
            ReadPackage(*present);
        else
            ReadNcc(*present);
    }
    // SMIL files add audio and text as they are read; the list grows.
    // Audio waits until every SMIL file has told its last clip: a
    // package's manifest may list the audio first.
    for (const bool audio : {false, true}) {
        for (std::size_t i = 0; i < m_order.size(); ++i) {
            const std::string path = m_order[i];
            const Target target = m_targets[path];
            if (target.role != Role::BookFile && (target.role == Role::Audio) == audio)
                CheckTarget(path, target);
        }
    }
    if (!AllReferenced())
        FollowTextReferences();
    for (const FileEntry& entry : m_entries) {
        if (entry.type == EntryType::Folder || m_referenced.count(entry.path) != 0)
            continue;
        // A master.smil joins the SMIL files for players that want one.
        if (entry.path.size() > folder.size() && EqualIgnoringAsciiCase(entry.path.substr(folder.size()), "master.smil"))
            continue;
        Add(Kind::Unreferenced, Role::Other, {}, entry.path, Grade::Note);
    }
    std::stable_sort(m_report.findings.begin(), m_report.findings.end(),
                     [](const Finding& a, const Finding& b) { return a.grade < b.grade; });
    return std::move(m_report);
}

} // namespace

bool CheckReport::HasFatal() const
{
    return std::any_of(findings.begin(), findings.end(), [](const Finding& f) { return f.grade == Grade::Fatal; });
}

CheckReport CheckBook(IBookFileAccess& files, const std::string& bookFile, const std::string& bookName,
                      const CheckOptions& options)
{
    return CBookCheck(files, bookName, options).Run(bookFile);
}

CheckReport CheckDisc(IBookFileAccess& files, const std::string& rootBookFile, const CheckOptions& options)
{
    if (KindOfBookFile(rootBookFile) != BookFileKind::DiscInfo)
        return CheckBook(files, rootBookFile, {}, options);
    CheckReport report;
    std::string bytes;
    int error = files.Read(rootBookFile, 0, kMaxXmlBytes + 1, bytes);
    CDiscInfoReader reader;
    if (error != 0 || !reader.ReadDiscInfoBytes(bytes)) {
        Finding f;
        f.grade = Grade::Fatal;
        f.kind = error != 0 ? Kind::Unreadable : Kind::Damaged;
        f.role = Role::BookFile;
        f.file = rootBookFile;
        f.error = error;
        report.findings.push_back(std::move(f));
        return report;
    }
    report.files.push_back(rootBookFile);
    for (const std::string& link : reader.Skipped()) {
        Finding f;
        f.grade = Grade::Note;
        f.kind = Kind::OutsideBook;
        f.role = Role::BookFile;
        f.file = link;
        report.findings.push_back(std::move(f));
    }
    for (const CListedBook& listed : reader.Books()) {
        const std::string name = listed.label.empty() ? listed.folder.substr(0, listed.folder.size() - 1) : listed.label;
        CheckReport book = CheckBook(files, listed.folder + listed.file, name, options);
        report.findings.insert(report.findings.end(), book.findings.begin(), book.findings.end());
        report.files.insert(report.files.end(), book.files.begin(), book.files.end());
        report.unmeasured.insert(report.unmeasured.end(), book.unmeasured.begin(), book.unmeasured.end());
    }
    std::stable_sort(report.findings.begin(), report.findings.end(),
                     [](const Finding& a, const Finding& b) { return a.grade < b.grade; });
    return report;
}

} // namespace check
