#include "station/StationTexts.h"

#include "copy/CopyTexts.h"
#include "station/ArchiveLog.h"
#include "text/Utf8.h"

#include <cerrno>
#include <cstdio>

namespace station {

const char* OutcomeWord(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Copied:
        return "gekopieerd";
    case Outcome::AlreadyThere:
        return "al aanwezig";
    case Outcome::ArchiveDamaged:
        return "archief beschadigd";
    case Outcome::Incomplete:
        return "onvolledig";
    case Outcome::Refused:
        return "geweigerd";
    case Outcome::Stopped:
        return "gestopt";
    case Outcome::Failed:
        break;
    }
    return "mislukt";
}

} // namespace station

namespace station::text {

namespace {

// "a, b en 3 andere": enough to find them, short enough for a row.
std::string FileList(const std::vector<std::string>& files)
{
    std::string text;
    const std::size_t shown = files.size() > 5 ? 4 : files.size();
    for (std::size_t i = 0; i < shown; ++i) {
        if (i > 0)
            text += i + 1 == shown && shown == files.size() ? " en " : ", ";
        text += ShownText(files[i]);
    }
    if (shown < files.size())
        text += " en " + std::to_string(files.size() - shown) + " andere";
    return text;
}

// "650,0 MB": bytes as staff read them, with a Dutch decimal comma.
std::string Megabytes(std::uint64_t bytes)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
    for (char* c = text; *c; ++c)
        if (*c == '.')
            *c = ',';
    return text;
}

} // namespace

std::string DriveFailed(const std::string& outputDir, int error, std::uint64_t bytes, std::uint64_t free,
                        const std::string& folder)
{
    std::string text = (error == ENOSPC || error == EDQUOT ? "De schijf van de uitvoermap " + ShownText(outputDir) +
                                                                 " raakte vol tijdens het kopi\xC3\xABren"
                                                           : "Schrijven naar de uitvoermap " + ShownText(outputDir) +
                                                                 " mislukte tijdens het kopi\xC3\xABren (" +
                                                                 copy::text::DescribeError(error) + ")") +
                       ": het boek vraagt " + Megabytes(bytes) + ", er was " + Megabytes(free) +
                       " vrij toen het begon. Dit ligt aan die schijf, niet aan de CD. ";
    text += folder.empty() ? "Er is niets van dit boek bewaard."
                           : "Wat er al stond, staat in " + ShownText(folder) + ".";
    return text;
}

std::string BookNotOnDisc(const std::string& name)
{
    return "Het boek " + name + " staat niet op de CD.";
}

std::string BookFileUnreadable(const std::string& reason)
{
    return "Het boekbestand kon niet worden gelezen. " + reason;
}

std::string NameTooLong()
{
    return "De mapnaam voor dit boek wordt te lang.";
}

std::string NoName()
{
    return "Uit de gegevens van dit boek kan geen mapnaam worden gemaakt.";
}

std::string SameFolder()
{
    return "Dit boek zou in dezelfde map komen als een ander boek van deze CD, en is daarom niet gekopieerd.";
}

std::string CannotList()
{
    return "De bestanden op de CD konden niet worden opgesomd.";
}

std::string DiscInfoUnreadable()
{
    return "De inhoudsopgave (discinfo.html) kon niet worden gelezen of noemt geen Daisy-boeken.";
}

std::string LogNotUpdated(int error)
{
    return "Het logboek kon niet worden bijgewerkt: " + copy::text::DescribeError(error);
}

std::string AlreadyThere(const std::string& folder)
{
    return "Dit boek staat al in de uitvoermap, in " + ShownText(folder) +
           ": elk bestand van de CD is gelezen en heeft dezelfde SHA-256-controlegetallen als de kopie daar.";
}

std::string OtherEdition(const std::string& folder)
{
    return "In " + ShownText(folder) +
           " staat een andere uitgave van dit boek: dezelfde bestandsnamen en groottes, maar andere inhoud. "
           "Deze CD staat daarom in een eigen map.";
}

std::string ArchiveReplaced(const std::string& folder, const std::vector<std::string>& files)
{
    return "De kopie in het archief (" + ShownText(folder) +
           ") was beschadigd: deze bestanden kloppen niet meer met de controlegetallen: " + FileList(files) +
           ". De kopie van deze CD heeft haar vervangen.";
}

std::string ArchiveNotReplaced(const std::string& folder, const std::vector<std::string>& files,
                               const std::string& why)
{
    return "De kopie in het archief (" + ShownText(folder) +
           ") is beschadigd: deze bestanden kloppen niet meer met de controlegetallen: " + FileList(files) +
           ". Zij is niet vervangen. " + why;
}

std::string ManifestNotWritten(const std::string& folder, int error)
{
    return "De lijst met controlegetallen bij " + ShownText(folder) +
           " kon niet worden geschreven: " + copy::text::DescribeError(error);
}

std::string BagNotWritten(const std::string& folder, int error)
{
    return "De tas kon niet worden afgemaakt in " + ShownText(folder) + ": " + copy::text::DescribeError(error);
}

std::string BagNameNotUtf8(const std::string& folder, const std::string& path)
{
    return "De bestandsnaam " + ShownText(path) +
           " is geen UTF-8 en past daarom niet in een tas. Het boek is als gewone kopie bewaard in " +
           ShownText(folder) + ".";
}

std::string BagDiscDefect(const std::vector<std::string>& faults)
{
    std::string text = "Het boek is zo gekopieerd als het op de CD staat; de CD zelf heeft deze gebreken:";
    for (const std::string& fault : faults)
        text += " " + fault;
    return text;
}

std::string BagIncomplete(const std::string& folder, const std::vector<std::string>& missing)
{
    return "Niet elk bestand kon van de CD worden gelezen. Wat gelezen is, staat als tas in " + ShownText(folder) +
           ", met de controlegetallen van wat er is; talvora-ontbreekt.txt noemt wat ontbreekt: " +
           FileList(missing) + ".";
}

std::string LinksTaken(const std::vector<std::string>& resolved, const std::vector<std::string>& leftOut)
{
    std::string text;
    if (!resolved.empty())
        text += "Een koppeling op de CD naar een bestand van het boek is als kopie van dat bestand bewaard: " +
                FileList(resolved) + ".";
    if (!leftOut.empty())
        text += std::string(text.empty() ? "" : " ") +
                "Een koppeling op de CD die buiten het boek wijst, is weggelaten: " + FileList(leftOut) + ".";
    return text;
}

} // namespace station::text
