// talvora-ncc PATH [DOELMAP]
//
// Shows the book title, the meta list and the folder name that the default
// settings (identifier, title and author) give, so that library staff can
// see why a disc gets the name it gets. The name is fitted exactly as the
// copy window fits it: to the name limit, and with an output folder also to
// the path limit. Exit status: 0 read and named, 1 the reader refuses the
// file, 2 wrong use, 3 read but no name possible.
#include "book/NccReader.h"
#include "naming/FolderName.h"

#include <cstdio>
#include <string>

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

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 3 || argv[1][0] == '\0' || (argc == 3 && argv[2][0] != '/')) {
        std::fprintf(stderr, "Gebruik: talvora-ncc PAD-NAAR-ncc.html [DOELMAP]\n");
        return 2;
    }
    CNccReader reader;
    if (!reader.ReadNcc(argv[1])) {
        std::fprintf(stderr,
                     "talvora-ncc: %s\n"
                     "NCC document op Daisy-CD kon niet worden gelezen of heeft een onbekende structuur.\n"
                     "%s\n",
                     argv[1], NccFailureReasonLine(reader.LastFailure()).c_str());
        return 1;
    }

    std::printf("Titel: \"%s\"\n", Shown(reader.BookTitle()).c_str());
    std::printf("Metagegevens (%zu):\n", reader.MetaList().size());
    for (const CMetaItem& item : reader.MetaList())
        std::printf("  \"%s\" = \"%s\"\n", Shown(item.m_strName).c_str(), Shown(item.m_strContent).c_str());

    // Without an output folder only the name limit can bite; the root adds
    // nothing to the path that matters.
    const std::string outputDir = argc == 3 ? argv[2] : "/";
    const FittedFolderName fitted = FitFolderName(ComposeFolderNameParts(1, 1, 1, reader.MetaList()), outputDir);
    switch (fitted.fit) {
    case FolderNameFit::NoName:
        std::printf("Mapnaam: geen. Kan de naam voor de nieuwe map niet bepalen.\n");
        return 3;
    case FolderNameFit::TooLong:
        std::printf("Mapnaam: geen. De naam voor de nieuwe map wordt te lang, ook zonder de titel.\n");
        return 3;
    case FolderNameFit::Fits:
    case FolderNameFit::Shortened:
        break;
    }
    std::printf("Mapnaam: \"%s\"%s\n", Shown(fitted.name).c_str(),
                fitted.fit == FolderNameFit::Shortened ? " (titel ingekort)" : "");
    if (argc == 3)
        std::printf("Map: \"%s\"\n", Shown(fitted.path).c_str());
    return 0;
}
