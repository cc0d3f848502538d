#include "ui/WindowTexts.h"

#include "ui/CopyProgress.h"

#include "text/BookText.h"
#include "text/Utf8.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include <wx/wxcrt.h>

namespace ui::text {

namespace {

wxString U(const std::string& utf8)
{
    return wxString::FromUTF8(utf8.c_str());
}

// ‘…’ around a title or a folder's name.
wxString Quote(const wxString& text)
{
    return wxString::FromUTF8("\xE2\x80\x98") + text + wxString::FromUTF8("\xE2\x80\x99");
}

wxString Leaf(const std::string& folder)
{
    return U(ShownText(folder.substr(folder.rfind('/') + 1)));
}

} // namespace

const char* const kNotSaved = "De instellingen konden niet worden opgeslagen.";
const char* const kFirstRunSaved =
    "De instellingen zijn opgeslagen. Start Talvora opnieuw om een Daisy-CD te kopi\xC3\xAB" "ren.";
const char* const kNotAbsolute =
    "Vul bij de locatie een volledige map in die met / begint, bijvoorbeeld /home/anna/Boeken/. "
    "Een map met ~ of zonder / vooraan zou terechtkomen op een plek die afhangt van hoe Talvora wordt gestart.";

const char* const kUnreadablePackage =
    "Pakketbestand (.opf) op Daisy-CD kon niet worden gelezen of heeft een onbekende structuur.";
const char* const kUnreadableIndex =
    "Inhoudsopgave (discinfo.html) op Daisy-CD kon niet worden gelezen of noemt geen Daisy-boeken.";
const char* const kNameTooLong =
    "De naam voor de nieuwe map wordt te lang, ook zonder de titel.\n"
    "Kies in Talvora Instellingen een map met een korter pad om naartoe te kopi\xC3\xAB" "ren, of zet Identifier of "
    "Auteur uit.";

const char* const kNotFound = "staat niet op de CD";
const char* const kUnreadable = "kon niet worden gelezen of krijgt geen eigen mapnaam";
const char* const kSameFolder = "zou in dezelfde map komen als een ander boek van deze CD";

wxString BookCount(std::size_t count)
{
    return count == 1 ? U("Deze Daisy-CD bevat 1 Daisy-boek.")
                      : U("Deze Daisy-CD bevat " + std::to_string(count) + " Daisy-boeken.");
}

wxString BookName(const std::string& name)
{
    return U("\"") + U(DecodeBookText(name)) + U("\"");
}

wxString RefusedBooks(const std::vector<std::string>& names)
{
    wxString text = U("Deze Daisy-boeken zijn niet gekopieerd, omdat ze niet gelezen konden worden of geen "
                      "eigen mapnaam krijgen:");
    for (const std::string& name : names)
        text += U("\n") + BookName(name);
    return text;
}

wxString Position(std::size_t index, std::size_t count)
{
    return U("Boek " + std::to_string(index) + " van " + std::to_string(count));
}

wxString Verdict(const copy::CopyReport& report)
{
    switch (report.ending) {
    case copy::Ending::Whole:
        return U("gekopieerd");
    case copy::Ending::Cancelled:
        return U("geannuleerd");
    case copy::Ending::Refused:
        return U("niet gekopieerd");
    case copy::Ending::DiscLacks:
        return U("gekopieerd zoals de CD het bevat, maar de CD mist delen; het boek staat in ") + U(report.folder);
    case copy::Ending::CopyLacks:
    case copy::Ending::Failed:
        break;
    }
    if (report.folder.empty())
        return U("niet gekopieerd");
    return U("niet volledig gekopieerd; wat wel is gekopieerd, staat in ") + U(report.folder);
}

wxString CheckVerdict(const copy::CopyReport& report)
{
    // A file the check found at fault on the disc and in the copy is one
    // fault.
    const std::size_t faults = copy::FaultCount(report);
    if (faults > 0)
        return U(" (de controle vond " + std::to_string(faults) + (faults == 1 ? " fout)" : " fouten)"));
    return report.readBack.state == copy::ReadBackState::FromDevice && !report.keptUnproven ? U(" en teruggelezen")
                                                                                             : wxString();
}

wxString NotTried()
{
    return U("niet geprobeerd");
}

wxString NotAllCopied()
{
    return U("Niet alle Daisy-boeken van deze CD zijn gekopieerd:");
}

wxString StartDescription(const wxString& title, const wxString& destination, std::size_t books)
{
    if (destination.empty())
        return {};
    // The line then says how many books there are; that is no title.
    if (books > 0)
        return U("Kopieert " + std::to_string(books) + (books == 1 ? " Daisy-boek" : " Daisy-boeken") + " naar ") +
               destination;
    if (title.empty())
        return "Kopieert naar " + destination;
    return U("Kopieert ") + Quote(title) + U(" naar ") + destination;
}

wxString CheckSummary(const std::vector<check::CheckReport>& checks, const std::vector<std::string>& titles)
{
    constexpr std::size_t kSaid = 3;
    const bool several = checks.size() > 1;
    std::vector<wxString> faults;
    std::size_t incomplete = 0;
    bool unmeasured = false;
    for (std::size_t i = 0; i < checks.size(); ++i) {
        incomplete += checks[i].HasFatal() ? 1 : 0;
        unmeasured = unmeasured || !checks[i].unmeasured.empty();
        // On a disc of several books a finding says which book it is in.
        const wxString in = several && i < titles.size() ? U("In ") + Quote(U(titles[i])) + U(": ") : wxString();
        for (const check::Finding& f : checks[i].findings)
            if (f.grade == check::Grade::Fatal)
                faults.push_back(in + U(check::DescribeFinding(f, check::Place::Disc)));
    }
    if (faults.empty())
        return U(check::NothingMissingSentence(checks.size(), unmeasured));
    const std::string kept = " niet volledig; wat er is, wordt gekopieerd naar een map met \"(onvolledig)\" achter "
                             "de naam.";
    wxString text = several ? U("Van de boeken op de CD " +
                                (incomplete == 1 ? std::string("is er 1") : "zijn er " + std::to_string(incomplete)) +
                                kept)
                            : U("Het boek op de CD is" + kept);
    for (std::size_t i = 0; i < faults.size() && i < kSaid; ++i)
        text += U(" ") + faults[i];
    if (faults.size() > kSaid)
        text += U(" En nog " + std::to_string(faults.size() - kSaid) + " andere fouten.");
    return text;
}

wxString Checking()
{
    return U("Bezig met de controle van de CD...");
}

wxString CheckedDuringCopy()
{
    return U("De CD wordt tijdens het kopi\xC3\xAB" "ren gecontroleerd.");
}

wxString Completes(const std::string& folder, std::size_t missing)
{
    const wxString start = U("Een eerdere kopie van dit boek is onvolledig: ") + Quote(Leaf(folder)) +
                           U(". Deze kopie vult die aan en leest van de CD alleen ");
    if (missing == 0)
        return start + U("wat daar ontbreekt.");
    return start + U(missing == 1 ? std::string("het 1 bestand dat ontbreekt.")
                                  : "de " + std::to_string(missing) + " bestanden die ontbreken.");
}

wxString NowWhole(const std::string& folder)
{
    return U("Het boek is nu volledig en heet weer ") + Quote(Leaf(folder)) + U(".");
}

} // namespace ui::text

// The progress window's words.
namespace ui::progresstext {

namespace {

// Paths may hold bytes that are no UTF-8; shown escaped, never as nothing.
wxString Utf8(const std::string& s)
{
    return wxString::FromUTF8(ShownText(s));
}

wxString DutchNumber(double value)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.1f", value);
    for (char* p = text; *p; ++p)
        if (*p == '.')
            *p = ',';
    return text;
}

} // namespace

wxString Bytes(std::uint64_t bytes)
{
    const double kb = 1024.0, mb = kb * 1024.0, gb = mb * 1024.0;
    if (bytes >= gb)
        return DutchNumber(bytes / gb) + " GB";
    if (bytes >= mb)
        return DutchNumber(bytes / mb) + " MB";
    return DutchNumber(bytes / kb) + " kB";
}

wxString Done(std::uint64_t done, std::uint64_t total)
{
    return Bytes(done) + " van " + Bytes(total);
}

wxString TimeLeft(double seconds)
{
    if (!(seconds >= 0) || std::isinf(seconds))
        return wxString::FromUTF8("Resterende tijd wordt berekend...");
    if (seconds < 60) {
        const int s = std::max(1, static_cast<int>(std::ceil(seconds)));
        return wxString::Format("Nog ongeveer %d %s", s, s == 1 ? "seconde" : "seconden");
    }
    const int m = static_cast<int>(std::ceil(seconds / 60));
    return wxString::Format("Nog ongeveer %d %s", m, m == 1 ? "minuut" : "minuten");
}

int Percent(std::uint64_t done, std::uint64_t total)
{
    if (total == 0)
        return 0;
    if (done >= total)
        return 100;
    // Rounded down: "100 %" only once everything is there.
    return static_cast<int>(100.0L * static_cast<long double>(done) / static_cast<long double>(total));
}

wxString Summary(std::uint64_t done, std::uint64_t total, const wxString& state)
{
    // Mid-sentence the state starts in lower case.
    wxString tail = state;
    if (!tail.empty())
        tail[0] = wxTolower(tail[0]);
    const wxString dash = wxString::FromUTF8(" \xE2\x80\x93 ");
    return wxString::Format("%d %%", Percent(done, total)) + dash + Done(done, total) + dash + tail;
}

wxString ReplaceQuestion(const std::string& path)
{
    return "Het bestand\n" + Utf8(path) + "\nbestaat al. Wilt u het vervangen?";
}

wxString ErrorMessage(const std::string& path, const std::string& reason)
{
    return wxString::FromUTF8("Kan niet kopiëren:\n") + Utf8(path) + "\n\n" + Utf8(reason);
}

} // namespace ui::progresstext
