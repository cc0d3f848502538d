#include "archief/ArchiveOptions.h"

ArchiveOptions ParseArchiveOptions(const std::vector<std::string>& arguments)
{
    ArchiveOptions options;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& a = arguments[i];
        if (a == "--zonder-venster")
            options.headless = true;
        else if (a == "--eenmalig")
            options.once = true;
        else if (a == "--bagit")
            options.bagit = true;
        else if (a == "--map" && i + 1 < arguments.size())
            options.outputDir = arguments[++i];
        else if (a.rfind("--map=", 0) == 0)
            options.outputDir = a.substr(6);
        else
            options.error = "Onbekende keuze: " + a;
        if (!options.error.empty())
            break;
    }
    if (options.error.empty() && options.outputDir.empty() && !arguments.empty() && arguments.back() == "--map")
        options.error = "Na --map hoort een map.";
    // The window watches until Stoppen; a run that ends by itself is the
    // headless mode's.
    if (options.error.empty() && options.once && !options.headless)
        options.error = "--eenmalig werkt alleen samen met --zonder-venster.";
    if (!options.outputDir.empty() && options.outputDir.front() != '/')
        options.error = "De map na --map moet een volledig pad zijn (beginnend met /).";
    if (!options.outputDir.empty() && options.outputDir.back() != '/')
        options.outputDir += '/';
    return options;
}

const char* ArchiveUsage()
{
    return "Gebruik: talvora-archief [--zonder-venster] [--eenmalig] [--map PAD] [--bagit]\n"
           "  --zonder-venster  zonder venster; een regel per gebeurtenis\n"
           "  --eenmalig        met --zonder-venster: de schijven die er nu in zitten, daarna stoppen\n"
           "  --map PAD         naar deze map in plaats van de uitvoermap van Talvora\n"
           "  --bagit           elk boek als BagIt-tas\n";
}
