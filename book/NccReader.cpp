#include "book/NccReader.h"

#include "book/BookText.h"

#include <tinyxml.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// ---------------------------------------------------------------------------
// Reading the file.

bool ReadWholeFile(const std::string& path, std::string& bytes, NccFailure& failure)
{
    // O_NONBLOCK: a disc may carry a named pipe called ncc.html, and opening
    // one for reading would otherwise wait for a writer for ever.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        failure = NccFailure::CannotOpen;
        return false;
    }
    struct stat info = {};
    bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    if (!ok) {
        failure = NccFailure::CannotOpen;
    } else if (info.st_size <= 0) {
        failure = NccFailure::Empty;
        ok = false;
    } else if (static_cast<std::uint64_t>(info.st_size) > kMaxNccBytes) {
        failure = NccFailure::TooLarge;
        ok = false;
    }
    if (ok) {
        // Like TinyXML's own LoadFile: the size seen at the start is read
        // whole, or the read fails.
        // Room for the padding, so that preparing the text needs no copy.
        bytes.reserve(static_cast<std::size_t>(info.st_size) + kNccPadding);
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
        if (done != bytes.size()) {
            failure = NccFailure::CannotOpen;
            ok = false;
        }
    }
    ::close(fd);
    return ok;
}

} // namespace

const char* DescribeNccFailure(NccFailure failure)
{
    switch (failure) {
    case NccFailure::None:
        return "geen fout";
    case NccFailure::CannotOpen:
        return "het bestand bestaat niet, is niet leesbaar of is geen gewoon bestand";
    case NccFailure::Empty:
        return "het bestand is leeg";
    case NccFailure::TooLarge:
        return "het bestand is groter dan 32 MiB";
    case NccFailure::TooComplex:
        return "het document is te diep genest of te ingewikkeld om veilig te lezen";
    case NccFailure::NotXml:
        return "het bestand is geen geldige XML";
    case NccFailure::NoTitle:
        return "er is geen element html/head/title";
    }
    return "onbekende fout";
}

std::string NccFailureReasonLine(NccFailure failure)
{
    return std::string("Reden: ") + DescribeNccFailure(failure) + ".";
}

bool CNccReader::ReadNcc(const std::string& path)
{
    std::string bytes;
    NccFailure failure = NccFailure::None;
    if (!ReadWholeFile(path, bytes, failure))
        return Fail(failure);
    return ReadPrepared(PrepareNccText(std::move(bytes)));
}

bool CNccReader::ReadNccBytes(std::string_view fileBytes)
{
    if (fileBytes.empty())
        return Fail(NccFailure::Empty);
    if (fileBytes.size() > kMaxNccBytes)
        return Fail(NccFailure::TooLarge);
    return ReadPrepared(PrepareNccText(std::string(fileBytes)));
}

bool CNccReader::ReadPrepared(const std::string& text)
{
    if (!ScanNccShape(text.c_str()).withinLimits)
        return Fail(NccFailure::TooComplex);

    // Process-wide and never switched back on: the title keeps its blanks
    // and line breaks as written.
    TiXmlBase::SetCondenseWhiteSpace(false);
    TiXmlDocument document;
    // Row and column are only used in error texts, which are never shown;
    // a tab size of 0 turns their bookkeeping off.
    document.SetTabSize(0);
    document.Parse(text.c_str(), nullptr, TIXML_ENCODING_UNKNOWN);
    if (document.Error())
        return Fail(NccFailure::NotXml);

    TiXmlHandle head = TiXmlHandle(&document).FirstChild("html").FirstChild("head");
    const TiXmlElement* title = head.FirstChild("title").ToElement();
    if (title == nullptr)
        return Fail(NccFailure::NoTitle);

    const char* titleText = title->GetText();
    m_strBookTitle = DecodeBookText(titleText != nullptr ? titleText : "");
    for (const TiXmlNode* child = head.ToNode()->FirstChild(); child != nullptr; child = child->NextSibling()) {
        if (child->Type() == TiXmlNode::TINYXML_ELEMENT && std::strcmp(child->Value(), "meta") == 0)
            AddMetaFromElement(*child->ToElement());
    }
    m_lastFailure = NccFailure::None;
    return true;
}

void CNccReader::AddMetaFromElement(const TiXmlElement& element)
{
    const TiXmlAttribute* first = element.FirstAttribute();
    if (first == nullptr)
        return;
    const TiXmlAttribute* second = first->Next();
    if (second == nullptr)
        return;
    const TiXmlAttribute* name = nullptr;
    const TiXmlAttribute* content = nullptr;
    if (std::strcmp(first->Name(), "name") == 0) {
        if (std::strcmp(second->Name(), "content") != 0)
            return;
        name = first;
        content = second;
    } else {
        if (std::strcmp(second->Name(), "name") != 0 || std::strcmp(first->Name(), "content") != 0)
            return;
        name = second;
        content = first;
    }
    m_metaList.Append(CMetaItem{DecodeBookText(name->Value()), DecodeBookText(content->Value())});
}
