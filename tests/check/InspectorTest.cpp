// talvora-ncc --controleer as library staff use it: on a book's folder or
// its book file, and what it does with a path that is wrong.
#include "support/TableCases.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sys/wait.h>

namespace {

struct InspectorCase
{
    const char* name;
    std::string path;  // below the scratch folder
    int status;
    std::string says;  // a part of what it prints
};
PRINT_CASE_AS(InspectorCase, name)

class Inspector : public testing::TestWithParam<InspectorCase>
{
protected:
    static void SetUpTestSuite()
    {
        s_dir = new CTempDir;
        const std::string make = "python3 " TALVORA_SOURCE_DIR "/sample/make_sample_book.py ";
        ASSERT_EQ(0, std::system((make + (*s_dir / "cd") + " >/dev/null").c_str()));
        ASSERT_EQ(0, std::system((make + (*s_dir / "bad") + " --fault truncated-audio >/dev/null").c_str()));
        std::filesystem::create_directories(*s_dir / "empty");
    }
    static void TearDownTestSuite()
    {
        delete s_dir;
        s_dir = nullptr;
    }
    static CTempDir* s_dir;
};

CTempDir* Inspector::s_dir = nullptr;

TEST_P(Inspector, TakesABooksFolderOrFileAndRefusesWrongPaths)
{
    const InspectorCase& c = GetParam();
    const std::string command = std::string(TALVORA_NCC) + " --controleer '" + (*s_dir / c.path) + "' 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(nullptr, pipe);
    std::string output;
    std::array<char, 4096> buffer;
    while (const std::size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe))
        output.append(buffer.data(), n);
    const int status = ::pclose(pipe);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(c.status, WEXITSTATUS(status)) << output;
    EXPECT_NE(std::string::npos, output.find(c.says)) << output;
}

INSTANTIATE_TEST_SUITE_P(
    Controleer, Inspector,
    testing::Values(
        InspectorCase{"book_folder", "cd", 0, "Het boek is compleet."},
        InspectorCase{"book_folder_with_slash", "cd/", 0, "Elk geluidsbestand wordt helemaal gelezen"},
        InspectorCase{"book_file", "cd/ncc.html", 0, "Het boek is compleet."},
        InspectorCase{"folder_of_a_cut_book", "bad", 1, "fout: "},
        InspectorCase{"path_not_there", "nergens", 2, "bestaat niet"},
        InspectorCase{"folder_without_a_book", "empty", 2, "geen ncc.html"},
        InspectorCase{"a_file_that_is_no_book_file", "cd/smil0001.smil", 2, "geen ncc.html"}),
    CaseName());

} // namespace
