// The application object: one start handles one book, or one visit to the
// settings window.
#pragma once

#include "ui/ExitStatus.h"

#include <wx/app.h>

#include <memory>

class CInstanceMarker;
class wxFileConfig;

class CBookCopyApp : public wxApp
{
public:
    CBookCopyApp();
    ~CBookCopyApp() override;

    // Sets the environment up for Dutch GTK texts, then starts GTK.
    bool Initialize(int& argc, wxChar** argv) override;
    bool OnInit() override;
    int OnRun() override;
    int OnExit() override;

private:
    // Runs the start-up steps and one run of the settings window; how the
    // run ended.
    ExitStatus InitInstance();

    std::unique_ptr<CInstanceMarker> m_marker;
};
