// The archive station's window: where the books go, what each drive is
// doing, every book handled so far in a table a screen reader reads row by
// row, each finished book announced, and a way to stop that lets running
// copies finish or cancels them.
#pragma once

#include "archief/StationRunner.h"
#include "ui/Dialog.h"

#include <wx/timer.h>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

class wxButton;
class wxDataViewListCtrl;
class wxListBox;
class wxStaticText;
class wxTextCtrl;

class CArchiveDlg : public CDialog
{
public:
    // outputDir: Talvora's output folder, or the one the command line gave;
    // "" leaves the station idle until one is chosen.
    CArchiveDlg(IStationRunner& runner, const std::string& outputDir);
    ~CArchiveDlg() override;

    // The worst outcome of the books handled, as talvora's exit status; 2
    // when running copies were cancelled.
    int ExitStatus() const;

    // The station's events, from any thread; each reaches the window on its
    // own thread, in order, and none after the window is gone.
    station::IStationEvents& Events();

    // What the window shows, for its tests.
    std::string OutputDir() const { return m_outputDir; }
    wxTextCtrl* OutputLine() const { return m_outputLine; }
    wxListBox* DriveList() const { return m_drives; }
    wxDataViewListCtrl* BookTable() const { return m_books; }
    wxStaticText* AnnouncementLine() const { return m_announcement; }
    wxTextCtrl* ChosenBookLine() const { return m_chosen; }
    wxButton* StopButton() const { return m_stop; }
    wxButton* ChangeButton() const { return m_change; }
    bool IsStopping() const { return m_stopping; }
    bool IsAsking() const { return m_asking; }
    // Every text the announcement line said, in order.
    const std::vector<std::string>& Said() const { return m_said; }
    // How long a screen reader takes for each character it says; tests
    // that need not wait set none.
    void SetSpeechPace(std::chrono::milliseconds perCharacter) { m_speechPace = perCharacter; }

    // Handlers, reached from the buttons and from tests.
    void OnChangeFolder();
    void OnCancel() override;

    // The events themselves, on the window's thread.
    void ShowDrive(const station::Drive& drive, station::DriveState state);
    void ShowBook(const station::LogRow& row);

private:
    class CEvents;
    struct Sink;

    void OnShownOnScreen() override;
    void StartStation();
    // Stoppen while the station runs: the question when a copy is running,
    // then the stop.
    void AskAndStop();
    // Stops the station on a thread of its own, so the window stays live;
    // Stopped follows on the window's thread, and ends the window or starts
    // the station on the new folder.
    void StopThen(bool cancelRunning);
    void Stopped();
    void ShowChosenBook();
    std::size_t BusyDrives() const;
    void SetStatus(const wxString& text);
    // The announcement line, and how long saying a text takes.
    void Say(const wxString& text);
    std::chrono::milliseconds SayingTime(const wxString& text) const;
    // Runs `then` once what was said last has been said.
    void AfterSaying(std::function<void()> then);

    IStationRunner& m_runner;
    std::string m_outputDir;
    std::shared_ptr<Sink> m_sink;
    std::unique_ptr<CEvents> m_events;
    std::thread m_stopper;
    bool m_running = false;
    bool m_stopping = false;
    bool m_endWhenStopped = false;
    bool m_cancelled = false;
    bool m_asking = false;
    std::vector<std::string> m_driveRoots;  // in the list's order
    std::map<std::string, station::DriveState> m_driveStates;
    std::vector<station::Outcome> m_outcomes;
    std::vector<std::string> m_bookTexts;  // each row's outcome, whole
    std::vector<std::string> m_said;
    wxString m_lastSaid;
    std::chrono::steady_clock::time_point m_lastSaidAt;
    std::chrono::milliseconds m_speechPace{0};
    wxTimer m_pause;
    std::function<void()> m_afterPause;

    wxTextCtrl* m_outputLine = nullptr;
    wxButton* m_change = nullptr;
    wxListBox* m_drives = nullptr;
    wxDataViewListCtrl* m_books = nullptr;
    wxTextCtrl* m_chosen = nullptr;
    wxStaticText* m_announcement = nullptr;
    wxButton* m_stop = nullptr;
};
