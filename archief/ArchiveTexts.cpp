#include "archief/ArchiveTexts.h"

#include <algorithm>

namespace archief::text {

namespace {

std::string OneLine(std::string text)
{
    std::replace(text.begin(), text.end(), '\n', ' ');
    return text;
}

} // namespace

std::string UnknownOption(const std::string& option)
{
    return "Onbekende keuze: " + option;
}

const char* Usage()
{
    return "Gebruik: talvora-archief [--zonder-venster] [--eenmalig] [--map PAD] [--bagit]\n"
           "  --zonder-venster  zonder venster; een regel per gebeurtenis\n"
           "  --eenmalig        met --zonder-venster: de schijven die er nu in zitten, daarna stoppen\n"
           "  --map PAD         naar deze map in plaats van de uitvoermap van Talvora\n"
           "  --bagit           elk boek als BagIt-tas\n";
}

std::string ArchivingTo(const std::string& folder, bool bagit)
{
    return "Archiveren naar " + folder + (bagit ? " (als BagIt-tassen)." : ".");
}

std::string DriveLine(const station::Drive& drive, station::DriveState state)
{
    switch (state) {
    case station::DriveState::Busy:
        return drive.name + ": schijf gevonden, bezig.";
    case station::DriveState::Gone:
        return drive.name + ": station niet meer aanwezig.";
    case station::DriveState::Waiting:
        break;
    }
    return drive.name + ": wacht op een schijf.";
}

std::string BookTitle(const station::LogRow& row)
{
    return row.title.empty() ? std::string("(geen titel)") : row.title;
}

std::string BookLine(const station::LogRow& row)
{
    std::string line = row.drive + ": " + BookTitle(row) + ": " + station::OutcomeWord(row.outcome);
    if (!row.folder.empty())
        line += " (map: " + row.folder + ")";
    line += ".";
    if (!row.message.empty())
        line += " " + OneLine(row.message);
    return line;
}

std::string Archiving(const std::string& folder)
{
    return "Archiveren naar " + folder + ". Plaats schijven in de stations.";
}

std::string DriveText(const station::Drive& drive, station::DriveState state)
{
    return drive.name + (state == station::DriveState::Busy ? ": bezig met archiveren" : ": wacht op een schijf");
}

std::string BookReason(const station::LogRow& row)
{
    if (row.outcome == station::Outcome::Copied || row.outcome == station::Outcome::AlreadyThere)
        return {};
    return OneLine(row.message);
}

std::string BookAnnouncement(const station::LogRow& row)
{
    std::string text = BookTitle(row) + ": " + station::OutcomeWord(row.outcome) + ".";
    if (const std::string reason = BookReason(row); !reason.empty())
        text += " " + reason;
    return text;
}

} // namespace archief::text
