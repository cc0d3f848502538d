// talvora-archief: the archive station. Its window by default; the
// headless mode runs the same station for servers and scripts.
#include "archief/ArchiveApp.h"
#include "archief/ArchiveOptions.h"
#include "archief/ArchiveTexts.h"
#include "archief/Headless.h"
#include "settings/ProfilePaths.h"
#include "settings/Settings.h"
#include "settings/SettingsFile.h"
#include "startup/InstanceMarker.h"
#include "startup/NativeStart.h"

#include <wx/fileconf.h>
#include <wx/init.h>

#include <cstdio>

namespace {

// Talvora's settings and the command line; reads the settings file, so
// wxWidgets must run. An output folder that is no full path is none.
station::StationSetup SetupFrom(const ArchiveOptions& options)
{
    const std::unique_ptr<wxFileConfig> profile = OpenSettingsFile(settings::profile_paths::SettingsFile());
    station::StationSetup setup;
    setup.settings = CSettings(*profile);
    setup.outputDir = options.outputDir.empty() ? setup.settings.OutputDir : options.outputDir;
    if (!setup.outputDir.empty() && setup.outputDir.front() != '/')
        setup.outputDir.clear();
    if (!setup.outputDir.empty() && setup.outputDir.back() != '/')
        setup.outputDir += '/';
    long bagit = 0;
    profile->Read("/Archief/BagIt", &bagit, 0L);
    setup.bagit = options.bagit || bagit != 0;
    return setup;
}

} // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    if (arguments.size() == 1 && (arguments[0] == "--help" || arguments[0] == "-h")) {
        std::fputs(archief::text::Usage(), stdout);
        return 0;
    }
    const ArchiveOptions options = ParseArchiveOptions(arguments);
    if (!options.error.empty()) {
        std::fprintf(stderr, "%s\n%s", options.error.c_str(), archief::text::Usage());
        return 3;
    }
    // Two stations on the same drives would both archive every disc.
    const CInstanceMarker marker(settings::profile_paths::RuntimeFolder(), "TalvoraArchiefMutex");
    if (marker.GetState() == CInstanceMarker::State::AlreadyRunning) {
        std::fprintf(stderr, "%s\n", archief::text::kAlreadyRunning);
        return 4;
    }
    if (!options.headless) {
        // GTK reads its environment when it starts.
        BeforeGtkStarts();
        // GTK sees no arguments: ours are no GTK options.
        char* programOnly[] = {argv[0], nullptr};
        return RunArchiveWindow(1, programOnly, [&options] { return SetupFrom(options); });
    }
    wxInitializer wx;
    const station::StationSetup setup = SetupFrom(options);
    if (setup.outputDir.empty()) {
        std::fprintf(stderr, "%s\n", archief::text::kNoOutputFolder);
        return 3;
    }
    return RunHeadless(setup, options.once);
}
