#include "copy/Publish.h"

#include "text/Utf8.h"

#include <climits>
#include <cstdio>
#include <cstring>

namespace copy::publish {

namespace {

const char kIncomplete[] = " (onvolledig)";

} // namespace

std::string Numbered(const std::string& path, int n)
{
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "_%03d", n);
    return path + suffix;
}

std::string NameWith(const std::string& path, int n)
{
    return n == 0 ? path : Numbered(path, n);
}

int FreeNumber(const std::string& path, IFileOperations& ops, int first)
{
    for (int n = first; n < kLastNumber; ++n)
        if (ops.Inspect(NameWith(path, n)) == copy::PathState::Missing)
            return n;
    return -1;
}

std::string FreeName(const std::string& path, IFileOperations& ops)
{
    const int n = FreeNumber(path, ops);
    return n < 0 ? std::string() : NameWith(path, n);
}

std::string IncompleteName(const std::string& target)
{
    const std::size_t leafStart = target.rfind('/') + 1;
    const std::size_t room = NAME_MAX - (sizeof kIncomplete - 1) - Numbered("", 0).size();
    return target.substr(0, leafStart) + std::string(CutAtCharacter(std::string_view(target).substr(leafStart), room)) +
           kIncomplete;
}

Failure PublishAs(const std::string& from, const std::string& name, IFileOperations& ops, std::string& published,
                  int first)
{
    Failure failure = posix::OnOutput(EEXIST, name);
    for (int n = first; n < kLastNumber; ++n) {
        const std::string to = NameWith(name, n);
        failure = ops.Publish(from, to);
        if (!failure)
            published = to;
        if (failure.error != EEXIST)
            return failure;
    }
    return failure;
}

CStage::CStage(IFileOperations& ops, Layout layout) : m_ops(ops), m_layout(std::move(layout)) {}

CStage::~CStage()
{
    Discard();
}

void CStage::Discard()
{
    // What cannot be removed now is a work folder the next run removes.
    if (!m_work.empty())
        m_ops.Delete(m_work);
    m_work.clear();
}

Failure CStage::Open(const std::string& outputDir)
{
    m_ops.RemoveLeftovers(outputDir);
    const Failure failure = m_ops.MakeWorkFolder(outputDir, m_work);
    if (failure)
        m_work.clear();
    return failure;
}

std::string CStage::Book() const
{
    return m_work + m_layout.published + m_layout.book;
}

Failure CStage::Prepared()
{
    return m_layout.beforePublish ? m_layout.beforePublish(m_work + m_layout.published) : Failure{};
}

Failure CStage::PublishWhole(const std::string& name, int number, std::string& published)
{
    if (const Failure failure = Prepared())
        return failure;
    return PublishAs(m_work + m_layout.published, name, m_ops, published, number);
}

Failure CStage::PublishIncomplete(const std::string& name, const std::vector<std::string>& needed,
                                  std::string& published)
{
    // Without its note the kept part is still worth its name; completing
    // it then fills in what is missing.
    if (m_layout.completes)
        m_ops.Remember(Book(), needed);
    if (const Failure failure = Prepared())
        return failure;
    return PublishAs(m_work + m_layout.published, IncompleteName(name), m_ops, published);
}

} // namespace copy::publish
