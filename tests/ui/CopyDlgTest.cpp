// The copy window's whole run, from the search to its end, with scripted
// drives, copies and answers: what the user sees at each step and what
// reaches the copy and the tray.
#include "support/Controls.h"
#include "support/ModalDriver.h"
#include "support/ScriptedCopy.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"
#include "ui/Accessibility.h"
#include "ui/CopyDlg.h"
#include "ui/CopyServices.h"
#include "ui/Ids.h"
#include "settings/Settings.h"
#include "support/TableCases.h"

#include <gtest/gtest.h>

#include <wx/evtloop.h>
#include <wx/timer.h>

#include <chrono>
#include <deque>
#include <fstream>

namespace {

using namespace ui::ids;

const std::string kSearching = "Bezig met zoeken naar Daisy-CD...";
const std::string kNoDisc = "Geen Daisy-CD gevonden. Plaats een CD en klik op OK.";
const std::string kChecking = "Bezig met de controle van de CD...";
const std::string kUnreadableNcc =
    "NCC document op Daisy-CD kon niet worden gelezen of heeft een onbekende structuur.";

std::string Ncc(const std::string& title, const std::vector<std::pair<std::string, std::string>>& metas)
{
    std::string text = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<html><head><title>" + title + "</title>\n";
    for (const auto& [name, content] : metas)
        text += "<meta name=\"" + name + "\" content=\"" + content + "\" />\n";
    return text + "</head><body><h1 class=\"title\">" + title + "</h1></body></html>\n";
}

std::string Repeated(const std::string& part, std::size_t times)
{
    std::string out;
    for (std::size_t i = 0; i < times; ++i)
        out += part;
    return out;
}

const std::vector<std::pair<std::string, std::string>> kBookMetas = {
    {"dc:identifier", "133869"}, {"dc:title", "Het raadsel van de blauwe sluis"}, {"dc:creator", "Hoogmeer, TW"}};

// A disc in a temporary folder and everything the copy window runs with.
struct CopyWindowRun
{
    CTempDir dir;
    CScriptedDialogs dialogs;
    CScriptedCopy copy;
    CSettings settings{Profile()};
    std::string root;

    explicit CopyWindowRun(const std::string& ncc = Ncc("Het raadsel", kBookMetas))
    {
        root = dir / "disc/";
        std::filesystem::create_directories(root);
        std::ofstream(root + "ncc.html") << ncc;
        settings.OutputDir = dir / "boeken/";
        settings.EjectWhenDone = 1;
        settings.MessageWhenDone = 1;
        copy.DiscAnswers({root});
        dialogs.onShow = [this](const ShownMessage& m) { copy.log.push_back("message " + m.text); };
    }

    std::string Dest(const std::string& name) const { return settings.OutputDir + name; }

    // Runs the window; `whenReady` runs once the start button is enabled
    // (or never, when the window ends first).
    int Run(const std::function<void(CCopyDlg&)>& whenReady = {})
    {
        CCopyDlg dlg;
        dlg.m_pSettings = &settings;
        WhenModalRuns([&] {
            auto& start = Control<wxButton>(dlg, kStartCopy);
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
            // Ready: the start button is enabled and the check has spoken.
            while (!dlg.IsEnding() && (!start.IsEnabled() || TextOf(dlg, kCheckLine) == kChecking) &&
                   std::chrono::steady_clock::now() < deadline)
                wxYield();
            if (dlg.IsEnding())
                return;
            titleWhenReady = TextOf(dlg, kTitleLine);
            destWhenReady = TextOf(dlg, kDestLine);
            checkWhenReady = TextOf(dlg, kCheckLine);
            focusOnStart = wxWindow::FindFocus() == &start;
            startDescription = AccessibleDescription(&start).utf8_string();
            if (whenReady)
                whenReady(dlg);
            else
                dlg.EndDialog(IDCANCEL);
        });
        const int result = dlg.ShowModal();
        outcome = dlg.Outcome();
        return result;
    }

    std::string titleWhenReady, destWhenReady, checkWhenReady, startDescription;
    ExitStatus outcome = ExitStatus::Done;
    bool focusOnStart = false;
};

const std::string kBookFolder = "133869 - Het raadsel van de blauwe sluis - Hoogmeer, TW";

TEST(CopyWindow, ReadyShowsTitleAndDestinationThenStartCopiesEjectsAndTells)
{
    CopyWindowRun run;
    const int result = run.Run([](CCopyDlg& dlg) { Click(dlg, kStartCopy); });
    EXPECT_EQ(IDOK, result);
    EXPECT_EQ("Het raadsel", run.titleWhenReady);
    EXPECT_EQ(run.Dest(kBookFolder), run.destWhenReady);
    EXPECT_TRUE(run.focusOnStart) << "Enter starts the copy once it is ready";
    EXPECT_EQ("Kopieert \xE2\x80\x98Het raadsel\xE2\x80\x99 naar " + run.Dest(kBookFolder) +
                  ". Het boek op de CD is volledig.",
              run.startDescription);
    const std::vector<std::string> expected = {"scan", "copy " + run.root + " -> " + run.Dest(kBookFolder),
                                               "eject " + run.root, "message Daisy-CD is gekopieerd."};
    EXPECT_EQ(expected, run.copy.log);
    EXPECT_EQ(MB_OK | MB_ICONASTERISK, run.dialogs.shown.at(0).type);
}

TEST(CopyWindow, SearchesOnceOnScreenWithTheSearchTextShownAndStartDisabled)
{
    CopyWindowRun run;
    std::vector<std::pair<std::string, bool>> seenAtScan;
    run.copy.duringScan = [&] {
        if (auto* dlg = FindShownWindow<CCopyDlg>())
            seenAtScan.emplace_back(TextOf(*dlg, kTitleLine), Control<wxButton>(*dlg, kStartCopy).IsEnabled());
    };
    run.Run();
    ASSERT_EQ(1u, seenAtScan.size());
    EXPECT_EQ(kSearching, seenAtScan[0].first);
    EXPECT_FALSE(seenAtScan[0].second);
}

TEST(CopyWindow, AutoStartCopiesWithoutEverEnablingStart)
{
    CopyWindowRun run;
    run.settings.AutoStart = 1;
    run.settings.MessageWhenDone = 0;
    bool startEnabledDuringCopy = true;
    wxString destDuringCopy;
    run.copy.duringCopy = [&](wxWindow& dlg, const auto&) {
        startEnabledDuringCopy = Control<wxButton>(dlg, kStartCopy).IsEnabled();
        destDuringCopy = TextOf(dlg, kDestLine);
    };
    EXPECT_EQ(IDOK, run.Run([](CCopyDlg&) { ADD_FAILURE() << "start was enabled"; }));
    EXPECT_FALSE(startEnabledDuringCopy);
    EXPECT_EQ(run.Dest(kBookFolder), destDuringCopy.utf8_string());
    EXPECT_EQ((std::vector<std::string>{"scan", "copy " + run.root + " -> " + run.Dest(kBookFolder),
                                        "eject " + run.root}),
              run.copy.log);
}

// The search lets the window's events run (a disc being mounted); an
// Escape pressed meanwhile ends the window, and the copy must not start.
TEST(CopyWindow, EscapeDuringTheSearchWinsOverAutoStart)
{
    CopyWindowRun run;
    run.settings.AutoStart = 1;
    run.copy.duringScan = [] {
        for (wxWindow* window : wxTopLevelWindows)
            if (dynamic_cast<CCopyDlg*>(window) != nullptr) {
                wxKeyEvent escape(wxEVT_CHAR_HOOK);
                escape.m_keyCode = WXK_ESCAPE;
                window->ProcessWindowEvent(escape);
            }
    };
    EXPECT_EQ(IDCANCEL, run.Run([](CCopyDlg&) { ADD_FAILURE() << "start was enabled"; }));
    EXPECT_EQ(std::vector<std::string>{"scan"}, run.copy.log);
}

// A search that takes its time (discs being mounted) runs while the
// window's own loop goes on: the window repaints and ends at Escape at once,
// and a disc that turns up after the window ended starts no copy.
TEST(CopyWindow, StaysLiveDuringALongSearchAndEscapeWinsOverALateDisc)
{
    CopyWindowRun run;
    run.settings.AutoStart = 1;
    run.copy.holdAnswers = true;
    int result = 0;
    ExitStatus outcome = ExitStatus::Done;
    bool refreshed = false, repainted = false, searchingAtEscape = false;
    {
        CCopyDlg dlg;
        dlg.m_pSettings = &run.settings;
        dlg.Bind(wxEVT_PAINT, [&](wxPaintEvent& event) {
            repainted = repainted || refreshed;
            event.Skip();
        });
        // Steps on a timer: between them only the window's own loop runs.
        wxTimer steps;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        steps.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
            const bool late = std::chrono::steady_clock::now() > deadline;
            if (!refreshed && (run.copy.AnswerHeld() || late)) {
                dlg.Refresh();
                refreshed = true;
            } else if (refreshed && (repainted || late)) {
                steps.Stop();
                searchingAtEscape = run.copy.AnswerHeld();
                wxKeyEvent escape(wxEVT_CHAR_HOOK);
                escape.m_keyCode = WXK_ESCAPE;
                dlg.ProcessWindowEvent(escape);
            }
        });
        steps.Start(20);
        result = dlg.ShowModal();
        outcome = dlg.Outcome();
    }
    run.copy.ReleaseAnswer();
    wxTheApp->ProcessPendingEvents();
    EXPECT_TRUE(repainted);
    EXPECT_TRUE(searchingAtEscape);
    EXPECT_EQ(IDCANCEL, result);
    EXPECT_EQ(ExitStatus::Cancelled, outcome);
    EXPECT_EQ(std::vector<std::string>{"scan"}, run.copy.log);
}

// The machine's search reads the drives on a thread of its own and answers
// through the window's loop, never from within the call.
TEST(CopyServicesOfTheMachine, SearchAnswersThroughTheLoop)
{
    CTempDir dir;
    const std::string root = dir / "disc/";
    std::filesystem::create_directories(root);
    std::ofstream(root + "ncc.html") << Ncc("Boek", kBookMetas);
    CScopedEnv drives("TALVORA_DRIVES", root.c_str());
    std::vector<std::string> answers;
    wxEventLoop loop;
    NativeCopyServices().FindDaisyDisc([&](const disc::FoundDisc& found) {
        answers.push_back(found.bookFile);
        loop.Exit();
    });
    EXPECT_TRUE(answers.empty()) << "answered within the call";
    wxTimer giveUp;
    giveUp.Bind(wxEVT_TIMER, [&](wxTimerEvent&) { loop.Exit(); });
    giveUp.StartOnce(10000);
    loop.Run();
    EXPECT_EQ(std::vector<std::string>{root + "ncc.html"}, answers);
}

TEST(CopyWindow, NoDiscAsksUntilOneIsFoundAndOkScansAgainAtOnce)
{
    CopyWindowRun run;
    run.copy.DiscAnswers({"", "", run.root});
    run.dialogs.Answer(IDOK);
    run.dialogs.Answer(IDOK);
    run.settings.AutoStart = 1;
    run.settings.EjectWhenDone = 0;
    run.settings.MessageWhenDone = 0;
    std::vector<std::string> titlesBehindPrompt;
    run.dialogs.onShow = [&](const ShownMessage&) { titlesBehindPrompt.push_back("shown"); };
    EXPECT_EQ(IDOK, run.Run());
    ASSERT_EQ(2u, run.dialogs.shown.size());
    for (const ShownMessage& m : run.dialogs.shown) {
        EXPECT_EQ(kNoDisc, m.text);
        EXPECT_EQ(MB_OKCANCEL | MB_ICONASTERISK, m.type);
    }
    EXPECT_EQ((std::vector<std::string>{"scan", "scan", "scan", "copy " + run.root + " -> " + run.Dest(kBookFolder)}),
              run.copy.log);
}

TEST(CopyWindow, CancelOnTheNoDiscPromptEndsWithoutTouchingAnything)
{
    CopyWindowRun run;
    run.copy.DiscAnswers({""});
    run.dialogs.Answer(IDCANCEL);
    EXPECT_EQ(IDCANCEL, run.Run());
    EXPECT_EQ((std::vector<std::string>{"scan", "message " + kNoDisc}), run.copy.log);
}

struct RefusedCase
{
    const char* what;
    std::string ncc;
    std::string message;
};

PRINT_CASE_AS(RefusedCase, what)

class RefusedBook : public testing::TestWithParam<RefusedCase>
{};

TEST_P(RefusedBook, IsReportedWhileTheSearchTextShowsAndEndsTheWindow)
{
    CopyWindowRun run(GetParam().ncc);
    std::string titleBehindMessage;
    CCopyDlg* window = nullptr;
    run.dialogs.onShow = [&](const ShownMessage&) {
        window = FindShownWindow<CCopyDlg>();
        titleBehindMessage = window != nullptr ? TextOf(*window, kTitleLine) : "";
    };
    EXPECT_EQ(IDCANCEL, run.Run());
    ASSERT_EQ(1u, run.dialogs.shown.size());
    EXPECT_EQ(GetParam().message, run.dialogs.shown[0].text);
    EXPECT_EQ(MB_OK | MB_ICONHAND, run.dialogs.shown[0].type);
    EXPECT_EQ(kSearching, titleBehindMessage);
    EXPECT_EQ(std::vector<std::string>{"scan"}, run.copy.log) << "nothing copied, tray untouched";
}

INSTANTIATE_TEST_SUITE_P(
    Books, RefusedBook,
    testing::Values(
        RefusedCase{"not XML", "<html><head><title>x</title>",
                    kUnreadableNcc + "\nReden: het bestand is geen geldige XML."},
        RefusedCase{"no title", "<html><head></head></html>",
                    kUnreadableNcc + "\nReden: er is geen element html/head/title."},
        RefusedCase{"empty file", "", kUnreadableNcc + "\nReden: het bestand is leeg."},
        RefusedCase{"no name part", Ncc("Boek", {{"dc:format", "Daisy 2.02"}}),
                    "Kan de naam voor de nieuwe map niet bepalen."},
        RefusedCase{"only one of one", Ncc("Boek", {{"ncc:setInfo", "1 of 1"}}),
                    "Kan de naam voor de nieuwe map niet bepalen."},
        RefusedCase{"too long without its title",
                    Ncc("Boek", {{"dc:identifier", std::string(200, 'i')}, {"dc:creator", std::string(60, 'a')}}),
                    "De naam voor de nieuwe map wordt te lang, ook zonder de titel.\n"
                    "Kies in Talvora Instellingen een map met een korter pad om naartoe te kopi\xC3\xABren, of "
                    "zet Identifier of Auteur uit."}), [](const testing::TestParamInfo<RefusedCase>& row) { return RowName(row.param.what); });

TEST(CopyWindow, FailedCopyEndsWithOkAndNeitherTrayNorMessage)
{
    CopyWindowRun run;
    run.copy.copyResult = copy::CopyResult::Failed;
    EXPECT_EQ(IDOK, run.Run([](CCopyDlg& dlg) { Click(dlg, kStartCopy); }));
    EXPECT_EQ((std::vector<std::string>{"scan", "copy " + run.root + " -> " + run.Dest(kBookFolder)}), run.copy.log);
    EXPECT_TRUE(run.dialogs.shown.empty());
}

TEST(CopyWindow, FindingsAreSaidBeforeStartAndHandedToTheCopy)
{
    CopyWindowRun run;
    run.copy.logChecks = true;
    check::Finding missing;
    missing.grade = check::Grade::Fatal;
    missing.role = check::Role::Smil;
    missing.chapter = "Hoofdstuk 12";
    missing.file = "s12.smil";
    run.copy.checks[run.root].findings = {missing};
    run.copy.copyResult = copy::CopyResult::Failed;
    run.Run([](CCopyDlg& dlg) { Click(dlg, kStartCopy); });
    const std::string said = "Het boek op de CD is niet volledig; wat er is, wordt gekopieerd naar een map met "
                             "\"(onvolledig)\" achter de naam. Hoofdstuk 12 ontbreekt op de CD (s12.smil).";
    EXPECT_EQ(said, run.checkWhenReady);
    EXPECT_NE(run.startDescription.find(". " + said), std::string::npos) << run.startDescription;
    EXPECT_EQ(run.copy.log.at(1), "check " + run.root);
    ASSERT_EQ(run.copy.handedChecks.size(), 1u) << "the copy reads the disc once, not twice";
    EXPECT_EQ(run.copy.handedChecks[0].findings.size(), 1u);
    EXPECT_EQ(run.outcome, ExitStatus::Failed);
}

TEST(CopyWindow, WholeBookReadBackAddsOneLineToTheDoneMessage)
{
    CopyWindowRun run;
    run.copy.readBackLine = "Alle bestanden zijn teruggelezen.";
    run.Run([](CCopyDlg& dlg) { Click(dlg, kStartCopy); });
    EXPECT_EQ(run.copy.log.back(), "message Daisy-CD is gekopieerd.\nAlle bestanden zijn teruggelezen.");
}

TEST(CopyWindow, SuccessWithTrayAndMessageOffEndsWithoutAnyMessage)
{
    CopyWindowRun run;
    run.settings.EjectWhenDone = 0;
    run.settings.MessageWhenDone = 0;
    EXPECT_EQ(IDOK, run.Run([](CCopyDlg& dlg) { Click(dlg, kStartCopy); }));
    EXPECT_EQ(2u, run.copy.log.size());
    EXPECT_TRUE(run.dialogs.shown.empty());
    EXPECT_TRUE(run.dialogs.announced.empty()) << "a desktop notification is a message too";
}

TEST(CopyWindow, CancelIsIgnoredWhileCopyingAndEndsTheWindowWhenReady)
{
    {
        CopyWindowRun run;
        bool openAfterClose = false;
        run.copy.duringCopy = [&](wxWindow& dlg, const auto&) {
            dlg.Close();
            openAfterClose = !static_cast<CCopyDlg&>(dlg).IsEnding();
        };
        EXPECT_EQ(IDOK, run.Run([](CCopyDlg& dlg) { Click(dlg, kStartCopy); }));
        EXPECT_TRUE(openAfterClose);
    }
    {
        CopyWindowRun run;
        EXPECT_EQ(IDCANCEL, run.Run([](CCopyDlg& dlg) { dlg.Close(); }));
        EXPECT_EQ(std::vector<std::string>{"scan"}, run.copy.log);
    }
}

TEST(CopyWindow, EnterOutsideTheStartButtonDoesNothing)
{
    CopyWindowRun run;
    bool stillOpen = false;
    run.Run([&](CCopyDlg& dlg) {
        wxCommandEvent enter(wxEVT_BUTTON, wxID_OK);
        dlg.GetEventHandler()->ProcessEvent(enter);
        stillOpen = !dlg.IsEnding();
        dlg.EndDialog(IDCANCEL);
    });
    EXPECT_TRUE(stillOpen);
}

TEST(CopyWindow, NumberedFolderReplacesTheDestinationLine)
{
    CopyWindowRun run;
    run.settings.ConfirmOverwrite = 0;
    std::string lineAfterwards, descriptionAfterwards;
    run.copy.duringCopy = [&](wxWindow& dlg, const std::function<void(const std::string&)>& show) {
        show(run.Dest(kBookFolder) + "_001");
        lineAfterwards = TextOf(dlg, kDestLine);
        descriptionAfterwards = AccessibleDescription(dlg.FindWindow(kStartCopy)).utf8_string();
    };
    run.Run([](CCopyDlg& dlg) { Click(dlg, kStartCopy); });
    EXPECT_EQ(run.Dest(kBookFolder) + "_001", lineAfterwards);
    EXPECT_NE(std::string::npos, descriptionAfterwards.find(run.Dest(kBookFolder) + "_001"));
}

struct NameCase
{
    const char* what;
    std::string title;
    std::vector<std::pair<std::string, std::string>> metas;
    std::string shownTitle;
    std::string folder;
};

PRINT_CASE_AS(NameCase, what)

class BookNames : public testing::TestWithParam<NameCase>
{};

TEST_P(BookNames, AreShownAsTheyAreAndMadeIntoOneFolder)
{
    const NameCase& c = GetParam();
    CopyWindowRun run(Ncc(c.title, c.metas));
    run.Run();
    EXPECT_EQ(c.shownTitle, run.titleWhenReady);
    EXPECT_EQ(run.Dest(c.folder), run.destWhenReady);
}

INSTANTIATE_TEST_SUITE_P(
    Names, BookNames,
    testing::Values(
        NameCase{"ampersand shown as itself", "Kat &amp; Muis",
                 {{"dc:identifier", "1"}, {"dc:title", "Kat &amp; Muis"}, {"dc:creator", "A &amp; B"}},
                 "Kat & Muis", "1 - Kat & Muis - A & B"},
        NameCase{"second disc of three", "Boek",
                 {{"dc:identifier", "7"}, {"dc:title", "Boek"}, {"dc:creator", "X"}, {"ncc:setInfo", "2 of 3"}},
                 "Boek", "7 - Boek - X - 2 of 3"},
        NameCase{"accents", "Caf\xC3\xA9",
                 {{"dc:identifier", "9"}, {"dc:title", "Caf\xC3\xA9"}, {"dc:creator", "\xC3\x89\xC3\xA9n"}},
                 "Caf\xC3\xA9", "9 - Caf\xC3\xA9 - \xC3\x89\xC3\xA9n"},
        NameCase{"empty title element", "",
                 {{"dc:identifier", "5"}, {"dc:title", "T"}, {"dc:creator", "C"}}, "", "5 - T - C"},
        NameCase{"path characters in the name", "Boek",
                 {{"dc:identifier", "../.."}, {"dc:title", "a/b"}, {"dc:creator", "c:d"}}, "Boek",
                 "_____ - a_b - c_d"},
        NameCase{"beyond Latin-1", "\xC5\x81\xC3\xB3" "d\xC5\xBA \xE2\x82\xAC \xCE\x91\xCE\x92\xCE\x93",
                 {{"dc:identifier", "3"}, {"dc:title", "\xC5\x81\xC3\xB3" "d\xC5\xBA \xE2\x82\xAC"}, {"dc:creator", "&#x81;C"}},
                 "\xC5\x81\xC3\xB3" "d\xC5\xBA \xE2\x82\xAC \xCE\x91\xCE\x92\xCE\x93",
                 "3 - \xC5\x81\xC3\xB3" "d\xC5\xBA \xE2\x82\xAC - _C"},
        NameCase{"long title shortened", "Boek",
                 {{"dc:identifier", "4"}, {"dc:title", Repeated("\xC3\xA9", 200)}, {"dc:creator", "X"}}, "Boek",
                 "4 - " + Repeated("\xC3\xA9", 121) + " - X"}), [](const testing::TestParamInfo<NameCase>& row) { return RowName(row.param.what); });

// A script around an automatic start tells the endings apart by the exit
// status.
struct OutcomeCase
{
    const char* name;
    std::string ncc;
    std::deque<std::string> discs; // "disc": the test's disc; "": an empty drive
    copy::CopyResult copy;
    ExitStatus expected;
};

PRINT_CASE_AS(OutcomeCase, name)

class CopyWindowOutcome : public testing::TestWithParam<OutcomeCase>
{
};

TEST_P(CopyWindowOutcome, TellsHowTheRunEnded)
{
    const OutcomeCase& c = GetParam();
    CopyWindowRun run(c.ncc.empty() ? Ncc("Het raadsel", kBookMetas) : c.ncc);
    std::deque<std::string> discs;
    for (const std::string& d : c.discs)
        discs.push_back(d.empty() ? d : run.root);
    run.copy.DiscAnswers(discs);
    run.copy.copyResult = c.copy;
    run.Run([](CCopyDlg& dlg) { Click(dlg, kStartCopy); });
    EXPECT_EQ(run.outcome, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Endings, CopyWindowOutcome,
    testing::Values(OutcomeCase{"Copied", "", {"disc"}, copy::CopyResult::Copied, ExitStatus::Done},
                    OutcomeCase{"CopyFailed", "", {"disc"}, copy::CopyResult::Failed, ExitStatus::Failed},
                    OutcomeCase{"CopyCancelled", "", {"disc"}, copy::CopyResult::Cancelled, ExitStatus::Cancelled},
                    OutcomeCase{"CopyRefused", "", {"disc"}, copy::CopyResult::Refused, ExitStatus::Refused},
                    OutcomeCase{"NoDiscAndCancel", "", {""}, copy::CopyResult::Copied, ExitStatus::Cancelled},
                    OutcomeCase{"UnreadableNcc", "<html>", {"disc"}, copy::CopyResult::Copied, ExitStatus::Refused},
                    OutcomeCase{"NoName", Ncc("Boek", {}), {"disc"}, copy::CopyResult::Copied,
                                ExitStatus::Refused}),
    CaseName());

// ---------------------------------------------------------------------------
// Discs of other kinds: a DAISY 3 book, several books listed by discinfo.html.

std::string Opf(const std::string& id, const std::string& title, const std::string& creator)
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?><package unique-identifier=\"uid\"><metadata><dc-metadata>"
           "<dc:Identifier id=\"uid\">" + id + "</dc:Identifier><dc:Title>" + title +
           "</dc:Title><dc:Creator>" + creator + "</dc:Creator></dc-metadata></metadata></package>";
}

std::string DiscInfo(const std::vector<std::string>& folders)
{
    std::string text = "<html><head><title>Schijf</title></head><body>";
    for (const std::string& folder : folders)
        text += "<p><a href=\"" + folder + "\">" + folder.substr(0, folder.find('/')) + "</a></p>";
    return text + "</body></html>";
}

// A disc whose root holds the given files instead of an ncc.html; the
// drive reports bookFile.
void MakeDisc(CopyWindowRun& run, const std::vector<std::pair<std::string, std::string>>& files,
              const std::string& bookFile)
{
    std::filesystem::remove(run.root + "ncc.html");
    for (const auto& [name, bytes] : files) {
        std::filesystem::create_directories(std::filesystem::path(run.root + name).parent_path());
        std::ofstream(run.root + name) << bytes;
    }
    run.copy.bookFile = bookFile;
}

TEST(CopyWindow, PackageFileBookIsNamedFromItsMetadata)
{
    CopyWindowRun run;
    MakeDisc(run, {{"speechgen.opf", Opf("NL-3", "De sluis", "Smit, A")}}, "speechgen.opf");
    EXPECT_EQ(IDOK, run.Run([](CCopyDlg& dlg) { Click(dlg, kStartCopy); }));
    EXPECT_EQ("De sluis", run.titleWhenReady);
    EXPECT_EQ((std::vector<std::string>{"scan", "copy " + run.root + " -> " + run.Dest("NL-3 - De sluis - Smit, A"),
                                        "eject " + run.root, "message Daisy-CD is gekopieerd."}),
              run.copy.log);
}

TEST(CopyWindow, UnreadablePackageFileIsReportedAsSuch)
{
    CopyWindowRun run;
    MakeDisc(run, {{"boek.opf", "<package><metadata>"}}, "boek.opf");
    EXPECT_EQ(IDCANCEL, run.Run());
    ASSERT_EQ(1u, run.dialogs.shown.size());
    EXPECT_EQ("Pakketbestand (.opf) op Daisy-CD kon niet worden gelezen of heeft een onbekende structuur.\n"
              "Reden: het bestand is geen geldige XML.",
              run.dialogs.shown[0].text);
    EXPECT_EQ(ExitStatus::Refused, run.outcome);
}

TEST(CopyWindow, SeveralBooksAreCopiedInListedOrderThenTrayAndMessageOnce)
{
    CopyWindowRun run;
    MakeDisc(run,
             {{"discinfo.html", DiscInfo({"b2/ncc.html", "b1/boek.opf"})},
              {"b1/boek.opf", Opf("1", "Een", "A")},
              {"b2/ncc.html", Ncc("Twee", {{"dc:identifier", "2"}, {"dc:title", "Twee"}, {"dc:creator", "B"}})},
              {"los.txt", "belongs to no book"}},
             "discinfo.html");
    std::vector<std::string> titlesDuringCopy;
    run.copy.duringCopy = [&](wxWindow& dlg, const auto&) {
        titlesDuringCopy.push_back(TextOf(dlg, kTitleLine) + " | " + TextOf(dlg, kDestLine));
    };
    EXPECT_EQ(IDOK, run.Run([](CCopyDlg& dlg) { Click(dlg, kStartCopy); }));
    EXPECT_EQ("Deze Daisy-CD bevat 2 Daisy-boeken.", run.titleWhenReady);
    EXPECT_EQ(run.settings.OutputDir, run.destWhenReady);
    // The count is no title; each book is announced as its copy starts.
    EXPECT_EQ("Kopieert 2 Daisy-boeken naar " + run.settings.OutputDir + ". Alle boeken op de CD zijn volledig.",
              run.startDescription);
    // Each heading once: the first on the start button, which has the
    // focus as the copy starts; the next by its progress window.
    EXPECT_EQ((std::vector<std::string>{"", "Boek 2 van 2: Een"}), run.copy.headings);
    EXPECT_EQ((std::vector<std::string>{"Boek 1 van 2: Twee | " + run.Dest("2 - Twee - B"),
                                        "Boek 2 van 2: Een | " + run.Dest("1 - Een - A")}),
              titlesDuringCopy);
    EXPECT_EQ((std::vector<std::string>{"scan", "copy " + run.root + "b2/ -> " + run.Dest("2 - Twee - B"),
                                        "copy " + run.root + "b1/ -> " + run.Dest("1 - Een - A"),
                                        "eject " + run.root, "message Daisy-CD is gekopieerd."}),
              run.copy.log);
    EXPECT_EQ(ExitStatus::Done, run.outcome);
}

check::Finding MissingChapter(const std::string& chapter, const std::string& file)
{
    check::Finding missing;
    missing.grade = check::Grade::Fatal;
    missing.role = check::Role::Smil;
    missing.chapter = chapter;
    missing.file = file;
    return missing;
}

TEST(CopyWindow, TwoBookDiscNamesTheBookOfAFindingAndHeadingsAreSaidOnce)
{
    CopyWindowRun run;
    MakeDisc(run,
             {{"discinfo.html", DiscInfo({"b2/ncc.html", "b1/boek.opf"})},
              {"b1/boek.opf", Opf("1", "Een", "A")},
              {"b2/ncc.html", Ncc("Twee", {{"dc:identifier", "2"}, {"dc:title", "Twee"}, {"dc:creator", "B"}})}},
             "discinfo.html");
    run.copy.checks[run.root + "b1/"].findings = {MissingChapter("Hoofdstuk 2", "s2.smil")};
    std::vector<std::string> descriptionsDuringCopy;
    run.copy.duringCopy = [&](wxWindow& dlg, const auto&) {
        descriptionsDuringCopy.push_back(AccessibleDescription(dlg.FindWindow(kStartCopy)).utf8_string());
    };
    run.Run([](CCopyDlg& dlg) { Click(dlg, kStartCopy); });
    EXPECT_EQ("Van de boeken op de CD is er 1 niet volledig; wat er is, wordt gekopieerd naar een map met "
              "\"(onvolledig)\" achter de naam. In \xE2\x80\x98" "Een\xE2\x80\x99: Hoofdstuk 2 ontbreekt op de CD "
              "(s2.smil).",
              run.checkWhenReady);
    // Which book is on its way is said once, by the start button or by the
    // progress window, never by both.
    ASSERT_EQ(2u, descriptionsDuringCopy.size());
    EXPECT_EQ("Boek 1 van 2: Twee", descriptionsDuringCopy[0]);
    EXPECT_EQ(std::string::npos, descriptionsDuringCopy[1].find("Boek 2")) << descriptionsDuringCopy[1];
    EXPECT_EQ((std::vector<std::string>{"", "Boek 2 van 2: Een"}), run.copy.headings);
}

TEST(CopyWindow, LongFindingsAreShownWholeOverSeveralLines)
{
    CopyWindowRun run;
    run.copy.checks[run.root].findings = {MissingChapter(Repeated("Een heel lang hoofdstuk ", 8), "s12.smil")};
    int lineHeight = 0, shownHeight = 0;
    std::string shown;
    run.Run([&](CCopyDlg& dlg) {
        auto* line = static_cast<wxStaticText*>(dlg.FindWindow(kCheckLine));
        lineHeight = line->GetCharHeight();
        shownHeight = line->GetSize().y;
        shown = line->GetLabelText().utf8_string();
        dlg.EndDialog(IDCANCEL);
    });
    EXPECT_NE(std::string::npos, shown.find("(s12.smil)")) << "the whole text, no ellipsis";
    EXPECT_EQ(std::string::npos, shown.find('\n')) << "a screen reader reads it as one text";
    EXPECT_GE(shownHeight, 3 * lineHeight) << "wrapped over the lines it needs";
}

TEST(CopyWindow, ASecondChanceSaysWhatItReadsAndThatTheBookIsWholeAfterwards)
{
    CopyWindowRun run;
    const std::string incomplete = run.Dest(kBookFolder + " (onvolledig)");
    run.copy.completions[run.Dest(kBookFolder)] = {incomplete, {"aud0002.wav", "s2.smil"}};
    run.Run([](CCopyDlg& dlg) { Click(dlg, kStartCopy); });
    const std::string completes = "Een eerdere kopie van dit boek is onvolledig: \xE2\x80\x98" + kBookFolder +
                                  " (onvolledig)\xE2\x80\x99. Deze kopie vult die aan en leest van de CD alleen de 2 "
                                  "bestanden die ontbreken.";
    EXPECT_EQ("Het boek op de CD is volledig. " + completes, run.checkWhenReady);
    EXPECT_NE(std::string::npos, run.startDescription.find(completes)) << run.startDescription;
    EXPECT_EQ("message Daisy-CD is gekopieerd.\nHet boek is nu volledig en heet weer \xE2\x80\x98" + kBookFolder +
                  "\xE2\x80\x99.",
              run.copy.log.back());
}

// A disc whose check takes long (hundreds of files, each slow to open):
// the window is ready and answers meanwhile.
TEST(CopyWindow, TheCheckRunsOffTheWindowsThread)
{
    struct Case
    {
        const char* name;
        bool pressStart; // else Escape while the check runs
    };
    for (const Case c : {Case{"Escape", false}, Case{"StartWaitsForTheFindings", true}}) {
        SCOPED_TRACE(c.name);
        CopyWindowRun run;
        run.copy.holdChecks = true;
        run.copy.checks[run.root].findings = {MissingChapter("Hoofdstuk 2", "s2.smil")};
        std::string checkWhileReading, logWhileReading;
        CCopyDlg dlg;
        dlg.m_pSettings = &run.settings;
        WhenModalRuns([&] {
            auto& start = Control<wxButton>(dlg, kStartCopy);
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
            while ((!start.IsEnabled() || run.copy.checksStarted == 0) && std::chrono::steady_clock::now() < deadline)
                wxYield();
            checkWhileReading = TextOf(dlg, kCheckLine);
            EXPECT_EQ("Het raadsel", TextOf(dlg, kTitleLine));
            if (c.pressStart) {
                Click(dlg, kStartCopy);
                for (int i = 0; i < 20; ++i)
                    wxYield();
                logWhileReading = run.copy.log.back();
            } else {
                dlg.Close();
                EXPECT_TRUE(dlg.IsEnding()) << "Escape ends the window while the check reads";
            }
            run.copy.ReleaseChecks();
        });
        const int result = dlg.ShowModal();
        EXPECT_EQ(kChecking, checkWhileReading);
        if (c.pressStart) {
            EXPECT_EQ(IDOK, result);
            EXPECT_EQ("scan", logWhileReading) << "no copy before the findings";
            ASSERT_EQ(1u, run.copy.handedChecks.size()) << "the copy takes the findings over";
            EXPECT_EQ(1u, run.copy.handedChecks[0].findings.size());
        } else {
            EXPECT_EQ(IDCANCEL, result);
            EXPECT_EQ(std::vector<std::string>{"scan"}, run.copy.log);
        }
    }
}

// Closed during a slow check, the window stops it: the program does not
// linger, invisible, while a disc is read for nobody.
TEST(CopyWindow, EscapeStopsTheCheckOfASlowDisc)
{
    CopyWindowRun run;
    run.copy.holdChecks = true;
    {
        CCopyDlg dlg;
        dlg.m_pSettings = &run.settings;
        WhenModalRuns([&] {
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
            while (run.copy.checksStarted == 0 && std::chrono::steady_clock::now() < deadline)
                wxYield();
            dlg.Close();
        });
        EXPECT_EQ(IDCANCEL, dlg.ShowModal());
    }
    EXPECT_EQ(1, run.copy.checksStopped.load()) << "the check was still waiting for the disc";
}

TEST(CopyWindow, AutoStartCopiesAtOnceAndTheCopyChecksTheDiscOnce)
{
    CopyWindowRun run;
    run.settings.AutoStart = 1;
    EXPECT_EQ(IDOK, run.Run());
    EXPECT_EQ(0, run.copy.checksStarted.load()) << "no second reading of the disc beside the copy's";
    EXPECT_EQ(1, run.copy.copiesThatCheck);
}

const std::string kRefusedIntro = "Deze Daisy-boeken zijn niet gekopieerd, omdat ze niet gelezen konden worden of "
                                  "geen eigen mapnaam krijgen:";
const std::string kNotAll = "Niet alle Daisy-boeken van deze CD zijn gekopieerd:\n";

TEST(CopyWindow, RefusedBooksAreNamedTheOthersCopiedAndTheRunFails)
{
    CopyWindowRun run;
    run.settings.AutoStart = 1;
    // "Het Boek" and "het boek" are one folder on a stick that ignores
    // letter case.
    MakeDisc(run,
             {{"discinfo.html", DiscInfo({"goed/ncc.html", "kapot/ncc.html", "zelfde/ncc.html", "weg/ncc.html",
                                          "hoofd/ncc.html", "klein/ncc.html"})},
              {"goed/ncc.html", Ncc("Goed", kBookMetas)},
              {"kapot/ncc.html", "<html><head>"},
              {"zelfde/ncc.html", Ncc("Zelfde naam", kBookMetas)},
              {"hoofd/ncc.html", Ncc("Het Boek", {{"dc:identifier", "7"}, {"dc:title", "Het Boek"}, {"dc:creator", "A"}})},
              {"klein/ncc.html", Ncc("het boek", {{"dc:identifier", "7"}, {"dc:title", "het boek"}, {"dc:creator", "A"}})}},
             "discinfo.html");
    EXPECT_EQ(IDOK, run.Run());
    EXPECT_EQ((std::vector<std::string>{"scan", "copy " + run.root + "goed/ -> " + run.Dest(kBookFolder),
                                        "copy " + run.root + "hoofd/ -> " + run.Dest("7 - Het Boek - A"),
                                        "message " + kNotAll + "\nBoek 1 van 2, \"Goed\": gekopieerd." +
                                            "\nBoek 2 van 2, \"Het Boek\": gekopieerd." +
                                            "\n\"kapot\": kon niet worden gelezen of krijgt geen eigen mapnaam." +
                                            "\n\"zelfde\": zou in dezelfde map komen als een ander boek van deze CD." +
                                            "\n\"weg\": staat niet op de CD." +
                                            "\n\"klein\": zou in dezelfde map komen als een ander boek van deze CD."}),
              run.copy.log)
        << "no tray and no done message after a failed run";
    EXPECT_EQ(ExitStatus::Failed, run.outcome);
    EXPECT_EQ(MB_OK | MB_ICONHAND, run.dialogs.shown.at(0).type);
}

TEST(CopyWindow, DiscWithoutAnyUsableBookEndsAfterNamingThem)
{
    CopyWindowRun run;
    MakeDisc(run,
             {{"discinfo.html", "<?xml version=\"1.0\" encoding=\"windows-1252\"?><html><body>"
                                "<a href=\"kapot/ncc.html\">Caf\xE9</a></body></html>"},
              {"kapot/ncc.html", "geen xml"}},
             "discinfo.html");
    EXPECT_EQ(IDCANCEL, run.Run());
    EXPECT_EQ((std::vector<std::string>{"scan", "message " + kRefusedIntro + "\n\"Caf\xC3\xA9\""}), run.copy.log)
        << "an 8-bit link text is shown as Windows-1252";
    EXPECT_EQ(ExitStatus::Refused, run.outcome);

    CopyWindowRun noBooks;
    MakeDisc(noBooks, {{"discinfo.html", DiscInfo({"../buiten/ncc.html"})}}, "discinfo.html");
    EXPECT_EQ(IDCANCEL, noBooks.Run());
    EXPECT_EQ((std::vector<std::string>{"scan", "message Inhoudsopgave (discinfo.html) op Daisy-CD kon niet worden "
                                                "gelezen of noemt geen Daisy-boeken."}),
              noBooks.copy.log);
}

// Every book of a disc gets its own verdict: a refused, failed or
// incomplete one does not stop the others, a cancel does; the run ends as
// the worst of them.
struct VerdictCase
{
    const char* name;
    std::deque<copy::CopyResult> results; // of books a and b
    std::vector<std::string> copies;         // the books copied
    std::string verdicts;                    // the closing message's lines
    ExitStatus outcome;
};

PRINT_CASE_AS(VerdictCase, name)

class BookVerdicts : public testing::TestWithParam<VerdictCase>
{
};

TEST_P(BookVerdicts, EachBookIsTriedAndNamed)
{
    const VerdictCase& c = GetParam();
    CopyWindowRun run;
    run.copy.copyResults = c.results;
    run.copy.message = "uitleg";
    MakeDisc(run,
             {{"discinfo.html", DiscInfo({"a/ncc.html", "b/ncc.html"})},
              {"a/ncc.html", Ncc("A", {{"dc:identifier", "a"}, {"dc:title", "A"}, {"dc:creator", "X"}})},
              {"b/ncc.html", Ncc("B", {{"dc:identifier", "b"}, {"dc:title", "B"}, {"dc:creator", "X"}})}},
             "discinfo.html");
    EXPECT_EQ(IDOK, run.Run([](CCopyDlg& dlg) { Click(dlg, kStartCopy); }));
    std::vector<std::string> copies;
    for (const std::string& line : run.copy.log)
        if (line.rfind("copy ", 0) == 0)
            copies.push_back(line.substr(line.find(" -> ") - 2, 1));
    EXPECT_EQ(c.copies, copies);
    ASSERT_FALSE(run.dialogs.shown.empty());
    EXPECT_EQ("Boek 1 van 2, \"A\":\nuitleg", run.dialogs.shown.front().text) << "each message names its book";
    std::string verdicts = c.verdicts;
    if (const auto at = verdicts.find("DEST/"); at != std::string::npos)
        verdicts.replace(at, 5, run.Dest(""));
    EXPECT_EQ(kNotAll + verdicts, run.dialogs.shown.back().text);
    EXPECT_EQ(c.outcome, run.outcome);
}

const copy::CopyResult kCopied = copy::CopyResult::Copied, kFailed = copy::CopyResult::Failed,
                          kCancelled = copy::CopyResult::Cancelled, kRefused = copy::CopyResult::Refused;

INSTANTIATE_TEST_SUITE_P(
    Outcomes, BookVerdicts,
    testing::Values(VerdictCase{"IncompleteThenCopied", {kFailed, kCopied}, {"a", "b"},
                                "\nBoek 1 van 2, \"A\": niet volledig gekopieerd; wat wel is gekopieerd, staat in " +
                                    std::string("DEST/a - A - X.\nBoek 2 van 2, \"B\": gekopieerd."),
                                ExitStatus::Failed},
                    VerdictCase{"RefusedThenCopied", {kRefused, kCopied}, {"a", "b"},
                                "\nBoek 1 van 2, \"A\": niet gekopieerd.\nBoek 2 van 2, \"B\": gekopieerd.",
                                ExitStatus::Failed},
                    VerdictCase{"EveryBookRefused", {kRefused, kRefused}, {"a", "b"},
                                "\nBoek 1 van 2, \"A\": niet gekopieerd.\nBoek 2 van 2, \"B\": niet gekopieerd.",
                                ExitStatus::Refused},
                    VerdictCase{"CancelStopsTheRest", {kCancelled, kCopied}, {"a"},
                                "\nBoek 1 van 2, \"A\": geannuleerd.\nBoek 2 van 2, \"B\": niet geprobeerd.",
                                ExitStatus::Cancelled}),
    CaseName());

} // namespace
