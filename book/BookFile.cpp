#include "book/BookFile.h"

#include "text/Ascii.h"

std::optional<BookFileKind> BookFileKindOfName(std::string_view name)
{
    if (EqualIgnoringAsciiCase(name, "ncc.html"))
        return BookFileKind::Ncc;
    if (EqualIgnoringAsciiCase(name, "discinfo.html"))
        return BookFileKind::DiscInfo;
    constexpr std::string_view kPackage = ".opf";
    if (name.size() > kPackage.size() && EqualIgnoringAsciiCase(name.substr(name.size() - kPackage.size()), kPackage))
        return BookFileKind::Package;
    return std::nullopt;
}

BookFileKind KindOfBookFile(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return BookFileKindOfName(slash == std::string::npos ? std::string_view(path)
                                                         : std::string_view(path).substr(slash + 1))
        .value_or(BookFileKind::Ncc);
}
