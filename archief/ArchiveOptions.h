// The station's command line.
#pragma once

#include <optional>
#include <string>
#include <vector>

struct ArchiveOptions
{
    bool headless = false;       // --zonder-venster
    bool once = false;           // --eenmalig
    bool bagit = false;          // --bagit
    std::string outputDir;       // --map PAD; "" for Talvora's output folder
    std::string error;           // Dutch, when the line is not understood
};

ArchiveOptions ParseArchiveOptions(const std::vector<std::string>& arguments);
