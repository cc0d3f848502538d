#include "archief/ArchiveOptions.h"

#include "archief/ArchiveTexts.h"

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
            options.error = archief::text::UnknownOption(a);
        if (!options.error.empty())
            break;
    }
    if (options.error.empty() && options.outputDir.empty() && !arguments.empty() && arguments.back() == "--map")
        options.error = archief::text::kMapWithoutFolder;
    // The window watches until Stoppen; a run that ends by itself is the
    // headless mode's.
    if (options.error.empty() && options.once && !options.headless)
        options.error = archief::text::kOnceNeedsHeadless;
    if (!options.outputDir.empty() && options.outputDir.front() != '/')
        options.error = archief::text::kMapNotAbsolute;
    if (!options.outputDir.empty() && options.outputDir.back() != '/')
        options.outputDir += '/';
    return options;
}
