#include "copy/CopyTexts.h"

#include "check/BookCheck.h"
#include "copy/CopyJob.h"

#include "text/Utf8.h"

#include <algorithm>
#include <cerrno>
#include <set>

namespace copy::text {

namespace {

const char* const kNothingCopied = "Er is niets gekopieerd.";

std::string Quoted(const std::string& path)
{
    return "\n" + ShownText(path) + "\n";
}

// Bytes as whole megabytes, rounded up: a book of 1 byte more than there
// is room for must not read as one that fits.
std::string Megabytes(std::uint64_t bytes)
{
    return std::to_string((bytes + (1u << 20) - 1) >> 20) + " MB";
}

} // namespace

namespace {

const char* Words(int error)
{
    switch (error) {
    case ENOSPC:
    case EDQUOT:
        return "Er is niet genoeg ruimte op de schijf.";
    case EACCES:
    case EPERM:
        return "U heeft geen toestemming.";
    case EIO:
        return "Het bestand kan niet worden gelezen of geschreven (invoer-/uitvoerfout).";
    case EROFS:
        return "Op deze schijf kan niet worden geschreven.";
    case ENAMETOOLONG:
        return "De naam of het pad is te lang.";
    case ENOENT:
        return "Het bestand of de map bestaat niet (meer).";
    case EISDIR:
        return "Er staat al een map met deze naam.";
    case ENOTDIR:
    case EEXIST:
        return "Er staat al iets anders met deze naam.";
    case ELOOP:
        return "Er staat een snelkoppeling (symbolische koppeling) met deze naam.";
    case ENOTSUP:
        return "Dit is geen gewoon bestand of gewone map.";
    case EMFILE:
    case ENFILE:
        return "Er zijn te veel bestanden tegelijk geopend.";
    case EBUSY:
    case ETXTBSY:
        return "Het bestand of de map is in gebruik.";
    case EFBIG:
        return "Het bestand is te groot voor de schijf waarop wordt gekopieerd (FAT32 neemt geen bestanden van "
               "4 GB of groter).";
    case ENOMEM:
        return "Er is niet genoeg werkgeheugen.";
    case ENXIO:
    case ENODEV:
    case ENOMEDIUM:
        return "Het station is niet (meer) bereikbaar. Is de schijf eruit gehaald of losgekoppeld?";
    case ETIMEDOUT:
        return "Het station reageert niet op tijd.";
    case ESTALE:
        return "De schijf is intussen losgekoppeld of vervangen.";
    case EXDEV:
        return "Dit kan niet tussen twee verschillende schijven.";
    case EMLINK:
        return "Er staan te veel bestanden of mappen in deze map.";
    case ENOTEMPTY:
        return "De map is niet leeg.";
    case EINVAL:
        return "De schijf neemt deze naam of bewerking niet aan.";
    case EAGAIN:
        return "Het bestand is tijdelijk niet beschikbaar.";
    default:
        return "Er is een onbekende systeemfout opgetreden.";
    }
}

} // namespace

std::string DescribeError(int error)
{
    return std::string(Words(error)) + " (foutnummer " + std::to_string(error) + ")";
}

std::string ReadError(int error)
{
    std::string text = "Fout bij het lezen van de CD: " + DescribeError(error);
    if (error == EIO)
        text += " De CD is misschien beschadigd of vuil.";
    return text;
}

std::string WriteError(int error, const std::string& drive)
{
    std::string text = "Fout bij het schrijven naar " + ShownText(drive) + ": " + DescribeError(error);
    if (error == EIO)
        text += " Is de schijf losgeraakt of beschadigd?";
    return text;
}

std::string Reason(const posix::Failure& failure, const std::string& drive)
{
    if (failure.side == posix::Side::Disc)
        return ReadError(failure.error);
    if (failure.error == posix::kNameClash)
        return NameClash(failure.path);
    return WriteError(failure.error, drive.empty() ? failure.path : drive);
}

std::string NotFlushed(const std::string& drive, const std::string& existingFolder)
{
    std::string text = "De bestanden konden niet veilig naar " + ShownText(drive) +
                       " worden weggeschreven; de schijf is misschien losgeraakt of beschadigd. ";
    if (existingFolder.empty())
        return text + "Er is geen map voor dit boek gemaakt. Controleer de schijf en kopieer de CD opnieuw.";
    return text + "Wat in de map" + Quoted(existingFolder) + "is gekopieerd, is misschien niet volledig. "
                  "Controleer de schijf en kopieer de CD opnieuw.";
}

std::string FileTooLargeForDrive(const std::string& file, const std::string& outputFolder)
{
    return "Het bestand" + Quoted(file) + "is 4 GB of groter, en de schijf van" + Quoted(outputFolder) +
           "kan zulke bestanden niet bevatten (FAT32). Kopieer naar een andere schijf, of een die met exFAT of "
           "NTFS is geformatteerd. " + kNothingCopied;
}

std::string NameClash(const std::string& writtenName)
{
    return "Dit bestand zou terechtkomen op\n" + ShownText(writtenName) +
           "\ndat al van deze CD is gekopieerd: de schijf waarop wordt gekopieerd maakt geen onderscheid tussen "
           "hoofdletters en kleine letters. Kies Overslaan om dit bestand over te slaan, of Annuleren.";
}

std::string PathTooLong(const std::string& path)
{
    return "Het pad is te lang om te kunnen kopi\xC3\xAB" "ren:\n" + ShownText(path);
}

std::string NotAbsolute(const std::string& outputFolder)
{
    return "De map waar de Daisy-boeken naartoe gaan," + Quoted(outputFolder) +
           "is geen volledig pad. Kies in de instellingen (talvora /setup) een map die met / begint. " +
           kNothingCopied;
}

std::string OutputNotFolder(const std::string& outputFolder)
{
    return "De map waar de Daisy-boeken naartoe gaan," + Quoted(outputFolder) + "is geen map. " + kNothingCopied;
}

std::string OutputParentMissing(const std::string& outputFolder)
{
    return "De map waar de Daisy-boeken naartoe gaan," + Quoted(outputFolder) +
           "bestaat niet. Staat hij op een USB-stick of een andere schijf, sluit die dan aan en probeer het "
           "opnieuw. " +
           kNothingCopied;
}

std::string OutputOnEmptyMountPoint(const std::string& outputFolder)
{
    return "De map waar de Daisy-boeken naartoe gaan," + Quoted(outputFolder) +
           "is leeg en staat op de systeemschijf, op de plek van een USB-stick of andere schijf die nu niet is "
           "aangesloten. Sluit die aan en probeer het opnieuw. " +
           kNothingCopied;
}

std::string OutputMissingOnEmptyMountPoint(const std::string& outputFolder, const std::string& parent)
{
    return "De map waar de Daisy-boeken naartoe gaan," + Quoted(outputFolder) + "bestaat niet, en de map" +
           Quoted(parent) +
           "waarin hij hoort, is leeg en staat op de systeemschijf, op de plek van een USB-stick of andere schijf "
           "die nu niet is aangesloten. Sluit die aan en probeer het opnieuw. " +
           kNothingCopied;
}

std::string OutputMissingOffDrive(const std::string& outputFolder)
{
    return "De map waar de Daisy-boeken naartoe gaan," + Quoted(outputFolder) +
           "bestaat niet. Talvora maakt hem hier niet zelf aan, omdat hij dan op de systeemschijf komt in plaats "
           "van op een schijf die hier wordt aangekoppeld. Staat hij op een USB-stick of een andere schijf, sluit "
           "die dan aan en probeer het opnieuw. " +
           kNothingCopied;
}

std::string CannotPrepare(const std::string& folder, int error)
{
    return "Kan niet schrijven in de map" + Quoted(folder) + DescribeError(error) + " " + kNothingCopied;
}

std::string AllNumbersTaken(const std::string& destPath)
{
    return "Er is niets gekopieerd: de map" + Quoted(destPath) + "en alle genummerde mappen tot en met _998 bestaan al.";
}

std::string TargetNotFolder(const std::string& target)
{
    return "Er staat al iets met de naam" + Quoted(target) +
           "dat geen gewone map is (bijvoorbeeld een koppeling naar een andere plek). Verwijder of hernoem het en "
           "probeer het opnieuw. " +
           kNothingCopied;
}

std::string TempNotSet()
{
    return "De tijdelijke map is niet ingesteld; er is niets gekopieerd.";
}

std::string TempNotOwnFolder(const std::string& tempFolder)
{
    return "Er is niets gekopieerd: \"" + ShownText(tempFolder) +
           "\" is geen map die Talvora zelf heeft gemaakt (het is bijvoorbeeld een map of bestand van u, of een "
           "koppeling), en Talvora maakt het niet leeg. Verwijder of hernoem het en probeer het opnieuw.";
}

std::string TempBusy(const std::string& tempFolder)
{
    return "Er wordt al een andere CD via de harde schijf gekopieerd (de tijdelijke map" + Quoted(tempFolder) +
           "is in gebruik). Wacht tot dat klaar is en probeer het dan opnieuw. " + kNothingCopied;
}

std::string TempRefused(const posix::Failure& failure)
{
    switch (failure.error) {
    case EBUSY:
        return TempBusy(failure.path);
    case ENOTDIR:
    case ELOOP:
    case EPERM:
    case EXDEV:
        // Deleting it afterwards would destroy what it is or points to.
        return TempNotOwnFolder(failure.path);
    default:
        return CannotPrepare(failure.path, failure.error);
    }
}

std::string NotPublished(const std::string& target, const std::string& reason)
{
    return "Het Daisy-boek is gekopieerd, maar kon daarna niet de naam" + Quoted(target) + "krijgen. " + reason +
           "\n\nEr is geen map voor dit boek gemaakt. Controleer de schijf en kopieer de CD opnieuw.";
}

std::string OutputInsideTemp(const std::string& outputFolder, const std::string& tempFolder)
{
    return "De map waar de Daisy-boeken naartoe gaan," + Quoted(outputFolder) + "ligt in de tijdelijke map" +
           Quoted(tempFolder) + "die na het kopi\xC3\xAB" "ren wordt verwijderd. Kies een andere map. " +
           kNothingCopied;
}

std::string TempInsideTarget(const std::string& tempFolder, const std::string& target)
{
    return "De tijdelijke map" + Quoted(tempFolder) + "ligt in de map van het boek" + Quoted(target) +
           "Kies een andere map voor de boeken of zet kopi\xC3\xAB" "ren via de harde schijf uit. " + kNothingCopied;
}

std::string ProvingKept(const std::string& folder)
{
    return "Controleren wat er al in " + ShownText(folder) + " staat";
}

std::string Remounting(const std::string& drive)
{
    return ShownText(drive) + " opnieuw aankoppelen om de kopie terug te lezen";
}

std::string ReadingBack(const std::string& drive)
{
    return "De kopie teruglezen van " + ShownText(drive);
}

namespace {

// Why a stick could not be unmounted and mounted again.
std::string RemountReason(const posix::Failure& failure)
{
    switch (failure.error) {
    case ENODEV:
    case ENOTSUP:
        return "het systeem kan deze stick niet zelf afkoppelen en opnieuw aankoppelen";
    case EBUSY:
        return "er zijn nog bestanden op de stick geopend door een ander programma";
    case ETIMEDOUT:
        return "het systeem antwoordde niet op tijd";
    case EPERM:
    case EACCES:
        return "dat mag deze gebruiker niet";
    default:
        return DescribeError(failure.error);
    }
}

} // namespace

std::string DriveGone(const std::string& drive, const std::string& existingFolder, const std::string& reason)
{
    std::string text = "Om de kopie van de stick zelf terug te lezen, is " + ShownText(drive) +
                       " afgekoppeld, maar daarna kon de stick niet opnieuw worden aangekoppeld: " + reason + ". ";
    if (existingFolder.empty())
        text += "Het boek heeft op de stick nog geen naam gekregen.";
    else
        text += "Wat in de map" + Quoted(existingFolder) + "is gekopieerd, is niet teruggelezen.";
    return text + " Koppel de stick opnieuw aan en kopieer de CD opnieuw.";
}

std::string Cancelled(const std::string& existingFolder)
{
    if (existingFolder.empty())
        return "Het kopi\xC3\xAB" "ren is geannuleerd. Er is geen map voor dit boek gemaakt.";
    return "Het kopi\xC3\xAB" "ren is geannuleerd. De map" + Quoted(existingFolder) +
           "bestond al en blijft staan; de bestanden die al waren gekopieerd, staan erin, de rest van de CD niet.";
}

namespace {

constexpr std::size_t kShown = 20;

// At most kShown lines, and how many more there are.
std::string Lines(const std::vector<std::string>& lines, bool paths)
{
    std::string text;
    for (std::size_t i = 0; i < lines.size() && i < kShown; ++i)
        text += "\n" + (paths ? ShownText(lines[i]) : lines[i]);
    if (lines.size() > kShown)
        text += "\n... en nog " + std::to_string(lines.size() - kShown) + " andere";
    return text;
}

} // namespace

std::string NotWhole(const std::vector<std::string>& faults, const std::vector<std::string>& skipped,
                     const std::vector<std::string>& different, const std::string& drive, const std::string& keptIn,
                     bool secondChance)
{
    return NotWhole(faults, skipped, different, {}, 0, 0, drive, keptIn, secondChance);
}

std::string NotWhole(const std::vector<std::string>& faults, const std::vector<std::string>& skipped,
                     const std::vector<std::string>& different, const std::vector<std::string>& noRoom,
                     std::uint64_t need, std::uint64_t room, const std::string& drive, const std::string& keptIn,
                     bool secondChance)
{
    std::vector<std::string> unread;
    for (const std::string& file : skipped)
        if (std::find(noRoom.begin(), noRoom.end(), file) == noRoom.end())
            unread.push_back(file);
    std::string text = "Het Daisy-boek is niet volledig gekopieerd.";
    if (!faults.empty())
        text += "\n" + Lines(faults, false);
    if (!unread.empty())
        text += "\n\nDeze bestanden konden niet van de CD worden gelezen:" + Lines(unread, true);
    if (!noRoom.empty()) {
        text += "\n\nDeze bestanden pasten niet meer op " + ShownText(drive);
        if (need != 0)
            text += " (het boek neemt daar " + Megabytes(need) + " in, en er is nog " + Megabytes(room) + " vrij)";
        text += ":" + Lines(noRoom, true);
    }
    if (!different.empty())
        text += "\n\nDeze bestanden zijn na het kopi\xC3\xAB" "ren teruggelezen van " + ShownText(drive) +
                " en waren niet gelijk aan die op de CD; de schijf is misschien beschadigd of kleiner dan hij "
                "aangeeft:" +
                Lines(different, true);
    if (keptIn.empty())
        return text + "\n\nEr is geen map voor dit boek gemaakt.";
    text += "\n\nWat wel is gekopieerd, staat in" + Quoted(keptIn);
    // A full drive, or one that gave back other bytes than it was given,
    // is no reason to clean the disc.
    const bool onlyRoom = !noRoom.empty() && faults.empty() && unread.empty() && different.empty();
    const bool onlyDrive = !different.empty() && faults.empty() && unread.empty() && noRoom.empty();
    if (secondChance && onlyRoom)
        text += "\nMaak ruimte op " + ShownText(drive) +
                " en kopieer de CD opnieuw naar dezelfde map: dan wordt alleen gekopieerd wat nog ontbreekt.";
    else if (secondChance && onlyDrive)
        text += "\nControleer " + ShownText(drive) +
                " en kopieer de CD opnieuw naar dezelfde map: dan wordt alleen gekopieerd wat nog ontbreekt.";
    else if (secondChance)
        text += "\nMaak de CD schoon of gebruik een ander station, en kopieer de CD opnieuw naar dezelfde map: dan "
                "wordt alleen gelezen wat nog ontbreekt.";
    return text;
}

std::string ReadBackEqual(const std::string& drive)
{
    // "/" names no drive a user knows.
    const std::string from = drive == "/" ? std::string("de systeemschijf") : ShownText(drive);
    return "Alle bestanden zijn na het kopi\xC3\xAB" "ren teruggelezen van " + from + " en gelijk aan die op de CD.";
}

std::string ReadBackNotFromDevice(const std::string& drive, const copy::ReadBackResult& readBack)
{
    std::string text = "De kopie kon niet van de stick zelf worden teruggelezen.";
    switch (readBack.why) {
    case copy::NotFromDeviceReason::FuseCache:
    case copy::NotFromDeviceReason::None:
        text += " De stick " + ShownText(drive) + " wordt gelezen via een apart programma (FUSE" +
                (readBack.fsType.empty() ? std::string() : ", " + ShownText(readBack.fsType)) +
                "), zoals bij veel exFAT- en NTFS-sticks. Dat programma kan de bestanden uit zijn eigen geheugen "
                "teruggeven in plaats van ze opnieuw van de stick te lezen.";
        break;
    case copy::NotFromDeviceReason::RemountFailed:
        text += " De stick " + ShownText(drive) + " wordt gelezen via een apart programma (FUSE" +
                (readBack.fsType.empty() ? std::string() : ", " + ShownText(readBack.fsType)) +
                "), dat de bestanden uit zijn eigen geheugen kan teruggeven. Om dat geheugen te legen moest de stick "
                "opnieuw worden aangekoppeld, en dat lukte niet: " + RemountReason(readBack.remount) + ".";
        break;
    }
    return text + " Of de stick alles goed heeft bewaard, is dus niet gecontroleerd.";
}

std::string ReadBackCopiedOnly(const std::string& drive)
{
    return "De bestanden die nu zijn gekopieerd, zijn teruggelezen van " + ShownText(drive) +
           " en gelijk aan die op de CD. De bestanden die er van een eerdere keer al stonden, zijn niet opnieuw "
           "vergeleken.";
}

std::string DiscLacks(const std::vector<std::string>& faults, const std::string& keptIn)
{
    return "Alle bestanden die op de CD staan, zijn gekopieerd, maar de CD zelf mist delen van het boek:\n" +
           Lines(faults, false) + "\n\nHet boek staat in" + Quoted(keptIn) +
           "Schoonmaken of een ander station helpt hier niet: vraag de bibliotheek om een nieuwe CD van dit boek.";
}

std::string NoRoom(const std::string& folder, std::uint64_t need, std::uint64_t room)
{
    return "Het Daisy-boek past niet op de schijf van" + Quoted(folder) + "Het boek neemt daar " + Megabytes(need) +
           " in, en er is nog " + Megabytes(room) + " vrij. Maak ruimte of kies een andere schijf. " + kNothingCopied;
}

std::string Refused(const copy::Refusal& refusal)
{
    using copy::RefusalReason;
    switch (refusal.reason) {
    case RefusalReason::NotAbsolute:
        return NotAbsolute(refusal.path);
    case RefusalReason::PathTooLong:
        return PathTooLong(refusal.path);
    case RefusalReason::OutputNotFolder:
        return OutputNotFolder(refusal.path);
    case RefusalReason::OutputParentMissing:
        return OutputParentMissing(refusal.path);
    case RefusalReason::OutputOnEmptyMountPoint:
        return OutputOnEmptyMountPoint(refusal.path);
    case RefusalReason::OutputMissingOnEmptyMountPoint:
        return OutputMissingOnEmptyMountPoint(refusal.path, refusal.other);
    case RefusalReason::OutputMissingOffDrive:
        return OutputMissingOffDrive(refusal.path);
    case RefusalReason::AllNumbersTaken:
        return AllNumbersTaken(refusal.path);
    case RefusalReason::TargetNotFolder:
        return TargetNotFolder(refusal.path);
    case RefusalReason::FileTooLarge:
        return FileTooLargeForDrive(refusal.path, refusal.other);
    case RefusalReason::TempNotSet:
        return TempNotSet();
    case RefusalReason::OutputInsideTemp:
        return OutputInsideTemp(refusal.path, refusal.other);
    case RefusalReason::TempInsideTarget:
        return TempInsideTarget(refusal.path, refusal.other);
    case RefusalReason::TempRefused:
        return TempRefused(refusal.failure);
    case RefusalReason::CannotPrepare:
        return CannotPrepare(refusal.path, refusal.failure.error);
    case RefusalReason::NoRoom:
        return NoRoom(refusal.path, refusal.need, refusal.room);
    }
    return CannotPrepare(refusal.path, refusal.failure.error);
}

namespace {

// The check's fatal findings as sentences: the disc's, then those only the
// copy shows.
std::vector<std::string> Faults(const copy::CopyReport& report, bool discOnly)
{
    std::vector<std::string> lines;
    std::set<std::string> onDisc;
    for (const check::Finding& f : report.discCheck.findings)
        if (f.grade == check::Grade::Fatal) {
            lines.push_back(check::DescribeFinding(f, check::Place::Disc));
            onDisc.insert(f.file);
        }
    // A fault judged from the bytes the copy read from the disc is the
    // disc's, though only the copy's check could see it.
    for (const check::Finding& f : report.copyCheck.findings)
        if (f.grade == check::Grade::Fatal && f.fromSource && onDisc.insert(f.file).second)
            lines.push_back(check::DescribeFinding(f, check::Place::Disc));
    if (discOnly)
        return lines;
    for (const check::Finding& f : report.copyCheck.findings)
        if (f.grade == check::Grade::Fatal && !onDisc.count(f.file))
            lines.push_back(check::DescribeFinding(f, check::Place::Copy));
    return lines;
}

} // namespace

std::string Told(const copy::CopyReport& report)
{
    using copy::Ending;
    switch (report.ending) {
    case Ending::Whole:
        return {};
    case Ending::Refused:
        return Refused(report.refusal);
    case Ending::Cancelled:
        return Cancelled(report.folder);
    case Ending::DiscLacks:
        return DiscLacks(Faults(report, true), report.folder);
    case Ending::CopyLacks:
        return NotWhole(Faults(report, false), report.missing, report.different, report.noRoom, report.need,
                        report.room, report.drive, report.folder, report.secondChance);
    case Ending::Failed:
        break;
    }
    if (report.unflushed)
        return NotFlushed(report.drive, report.folder);
    if (report.driveGone)
        return DriveGone(report.drive, report.folder, RemountReason(report.failure));
    if (report.failure)
        return NotPublished(report.target, Reason(report.failure, report.drive));
    if (!report.missing.empty() || !report.different.empty() || report.discCheck.HasFatal() ||
        report.copyCheck.HasFatal())
        return NotWhole(Faults(report, false), report.missing, report.different, report.noRoom, report.need,
                        report.room, report.drive, report.folder, report.secondChance);
    return {};
}

std::string ReadBackLine(const copy::CopyReport& report)
{
    switch (report.readBack.state) {
    case copy::ReadBackState::FromDevice:
        return report.keptUnproven ? ReadBackCopiedOnly(report.drive) : ReadBackEqual(report.drive);
    case copy::ReadBackState::NotFromDevice:
        return ReadBackNotFromDevice(report.drive, report.readBack);
    case copy::ReadBackState::Off:
        break;
    }
    return {};
}

} // namespace copy::text
