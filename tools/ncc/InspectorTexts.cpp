#include "tools/ncc/InspectorTexts.h"

namespace ncc::text {

std::string Title(const std::string& title)
{
    return "Titel: \"" + title + "\"";
}

std::string MetaCount(std::size_t count)
{
    return "Metagegevens (" + std::to_string(count) + "):";
}

std::string Meta(const std::string& name, const std::string& content)
{
    return "  \"" + name + "\" = \"" + content + "\"";
}

std::string NoFolderName()
{
    return "Mapnaam: geen. Kan de naam voor de nieuwe map niet bepalen.";
}

std::string FolderNameTooLong()
{
    return "Mapnaam: geen. De naam voor de nieuwe map wordt te lang, ook zonder de titel.";
}

std::string FolderName(const std::string& name, bool shortened)
{
    return "Mapnaam: \"" + name + "\"" + (shortened ? " (titel ingekort)" : "");
}

std::string Folder(const std::string& path)
{
    return "Map: \"" + path + "\"";
}

std::string NccUnreadable()
{
    return "NCC document op Daisy-CD kon niet worden gelezen of heeft een onbekende structuur.";
}

std::string PackageUnreadable(const std::string& reason)
{
    return "Pakketbestand (.opf) op Daisy-CD kon niet worden gelezen of heeft een onbekende structuur.\nReden: " +
           reason + ".";
}

std::string DiscInfoUnreadable(const std::string& reason)
{
    return "Inhoudsopgave (discinfo.html) op Daisy-CD kon niet worden gelezen of noemt geen Daisy-boeken.\nReden: " +
           reason + ".";
}

std::string SkippedLink(const std::string& link)
{
    return "Overgeslagen verwijzing: \"" + link + "\"";
}

std::string BookCount(std::size_t count)
{
    return "Boeken (" + std::to_string(count) + "):";
}

std::string ListedBook(std::size_t number, const std::string& name, const std::string& bookFile)
{
    return std::to_string(number) + ". \"" + name + "\" in \"" + bookFile + "\"";
}

std::string ListedBookNotFound()
{
    return "Niet gevonden op de CD, of de verwijzing leidt buiten de CD.";
}

std::string ListedBookUnreadable()
{
    return "Kon niet worden gelezen of heeft een onbekende structuur.";
}

std::string BookWhole()
{
    return "Het boek is compleet.";
}

std::string Usage()
{
    return "Gebruik: talvora-ncc PAD-NAAR-ncc.html, -.opf of -discinfo.html [DOELMAP]\n"
           "       talvora-ncc --controleer PAD-NAAR-ncc.html, -.opf, -discinfo.html of de map van het boek";
}

} // namespace ncc::text
