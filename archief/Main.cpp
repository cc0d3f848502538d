// talvora-archief: the archive station. Without --zonder-venster it will
// open its window; the headless mode runs the same station.
#include "archief/ArchiveOptions.h"
#include "archief/Headless.h"
#include "settings/ProfilePaths.h"
#include "settings/Settings.h"
#include "settings/SettingsFile.h"

#include <wx/fileconf.h>
#include <wx/init.h>

#include <cstdio>

int main(int argc, char** argv)
{
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    if (arguments.size() == 1 && (arguments[0] == "--help" || arguments[0] == "-h")) {
        std::fputs(ArchiveUsage(), stdout);
        return 0;
    }
    const ArchiveOptions options = ParseArchiveOptions(arguments);
    if (!options.error.empty()) {
        std::fprintf(stderr, "%s\n%s", options.error.c_str(), ArchiveUsage());
        return 3;
    }
    wxInitializer wx;
    const std::unique_ptr<wxFileConfig> profile = OpenSettingsFile(profile_paths::SettingsFile());
    station::StationSetup setup;
    setup.settings = CSettings(*profile);
    setup.outputDir = options.outputDir.empty() ? setup.settings.OutputDir : options.outputDir;
    long bagit = 0;
    profile->Read("/Archief/BagIt", &bagit, 0L);
    setup.bagit = options.bagit || bagit != 0;
    if (setup.outputDir.empty() || setup.outputDir.front() != '/') {
        std::fputs("Er is geen uitvoermap: stel die in Talvora in, of geef --map PAD.\n", stderr);
        return 3;
    }
    if (!options.headless) {
        std::fputs("Het venster van het archiefstation is er nog niet; start met --zonder-venster.\n", stderr);
        return 3;
    }
    return RunHeadless(setup, options.once);
}
