// The Dutch words of talvora-archief: its command line, its terminal
// lines and its window. Made here, last, from the values the station
// hands up.
#pragma once

#include "station/Station.h"

#include <string>

namespace archief::text {

// The command line.
std::string UnknownOption(const std::string& option);
inline constexpr const char* kMapWithoutFolder = "Na --map hoort een map.";
inline constexpr const char* kOnceNeedsHeadless = "--eenmalig werkt alleen samen met --zonder-venster.";
inline constexpr const char* kMapNotAbsolute = "De map na --map moet een volledig pad zijn (beginnend met /).";
const char* Usage();
inline constexpr const char* kAlreadyRunning = "Er draait al een archiefstation voor deze gebruiker.";
inline constexpr const char* kNoOutputFolder = "Er is geen uitvoermap: stel die in Talvora in, of geef --map PAD.";

// The terminal, one line for each event.
std::string ArchivingTo(const std::string& folder, bool bagit);
std::string DriveLine(const station::Drive& drive, station::DriveState state);
std::string BookLine(const station::LogRow& row);
inline constexpr const char* kStopping = "Stoppen: lopende kopie\xC3\xABn worden afgebroken.";
inline constexpr const char* kStopped = "Gestopt.";

// The window.
inline constexpr const char* kTitle = "Talvora Archief";
inline constexpr const char* kOutputLabel = "&Uitvoermap:";
inline constexpr const char* kChangeButton = "Map &wijzigen...";
inline constexpr const char* kDrivesLabel = "S&tations:";
inline constexpr const char* kBooksLabel = "&Boeken:";
inline constexpr const char* kDriveColumn = "Station";
inline constexpr const char* kTitleColumn = "Titel";
inline constexpr const char* kOutcomeColumn = "Resultaat";
inline constexpr const char* kTimeColumn = "Tijd";
inline constexpr const char* kReasonColumn = "Reden";
inline constexpr const char* kChosenLabel = "&Gekozen boek:";
// The widest texts of their columns; a column is made wide enough for them.
inline constexpr const char* kWidestDrive = "/dev/sr00";
inline constexpr const char* kWidestTime = "0000-00-00 00:00:00";
inline constexpr const char* kLastLabel = "Laatste melding:";
inline constexpr const char* kStopButton = "&Stoppen";
inline constexpr const char* kNoFolder = "Er is nog geen uitvoermap. Kies er een met Map wijzigen.";
inline constexpr const char* kPickTitle = "Kies de map waarin de boeken komen";
inline constexpr const char* kNotAFolder = "Dit is geen map op de schijf. Kies een andere map.";
inline constexpr const char* kLater = "De nieuwe uitvoermap geldt zodra de lopende kopie\xC3\xABn klaar zijn.";
inline constexpr const char* kQuestion =
    "Er wordt nog gekopieerd. Wilt u de lopende kopie\xC3\xABn laten afmaken of ze afbreken? "
    "Van een afgebroken kopie blijft niets achter; die schijf moet later opnieuw.";
// The question's buttons get their access keys from DialogServices().Ask.
inline constexpr const char* kFinishButton = "Afmaken";
inline constexpr const char* kCancelButton = "Afbreken";
inline constexpr const char* kKeepButton = "Niet stoppen";
inline constexpr const char* kFinishing = "Bezig met stoppen: de lopende kopie\xC3\xABn worden afgemaakt...";
inline constexpr const char* kCancelling = "Bezig met stoppen: de lopende kopie\xC3\xABn worden afgebroken...";
inline constexpr const char* kStationStopped = "Het archiefstation is gestopt.";
std::string Archiving(const std::string& folder);
std::string DriveText(const station::Drive& drive, station::DriveState state);
std::string BookTitle(const station::LogRow& row);
// Why a book is not whole, on one line; "" for a whole one.
std::string BookReason(const station::LogRow& row);
// What is said when a book is done: its title and outcome, and why for
// anything but a whole copy.
std::string BookAnnouncement(const station::LogRow& row);

} // namespace archief::text
