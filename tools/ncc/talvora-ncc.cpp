// talvora-ncc PATH
//
// Shows the book title, the meta list and the folder name that the default
// settings (identifier, title and author) give, so that library staff can
// see why a disc gets the name it gets. Exit status: 0 read and named,
// 1 the reader refuses the file, 2 wrong use, 3 read but no name possible.
#include "book/NccReader.h"
#include "naming/FolderName.h"

#include <cstdio>
#include <string>

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

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2 || argv[1][0] == '\0') {
        std::fprintf(stderr, "Gebruik: talvora-ncc PAD-NAAR-ncc.html\n");
        return 2;
    }
    CNccReader reader;
    if (!reader.ReadNcc(argv[1])) {
        std::fprintf(stderr,
                     "talvora-ncc: %s\n"
                     "NCC document op Daisy-CD kon niet worden gelezen of heeft een onbekende structuur.\n"
                     "Reden: %s.\n",
                     argv[1], DescribeNccFailure(reader.LastFailure()));
        return 1;
    }

    std::printf("Titel: \"%s\"\n", Shown(reader.BookTitle()).c_str());
    std::printf("Metagegevens (%zu):\n", reader.MetaList().size());
    for (const CMetaItem& item : reader.MetaList())
        std::printf("  \"%s\" = \"%s\"\n", Shown(item.m_strName).c_str(), Shown(item.m_strContent).c_str());

    std::string name = MakeFolderName(1, 1, 1, reader.MetaList());
    if (name.empty()) {
        std::printf("Mapnaam: geen. Kan de naam voor de nieuwe map niet bepalen.\n");
        return 3;
    }
    MakeValidFolderName(name);
    std::printf("Mapnaam: \"%s\"\n", Shown(name).c_str());
    return 0;
}
