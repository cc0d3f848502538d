// The whole job on real files through the real file operations, with a
// scripted user interface that runs each copy on a worker thread.
#include "CopyTestSupport.h"

#include "copy/FileOperations.h"
#include "settings/Settings.h"

#include <gtest/gtest.h>

#include <thread>

using namespace copytest;

namespace {

class CScriptedUi final : public copyjob::ICopyUi
{
public:
    CScriptedReporter reporter;
    std::vector<std::string> titles;
    std::vector<std::string> errors;

    bool RunCopy(const std::string& title, const std::function<bool(copyops::ICopyReporter&)>& work) override
    {
        titles.push_back(title);
        bool result = false;
        std::thread worker([&] { result = work(reporter); });
        worker.join();
        return result;
    }
    void ShowError(const std::string& message) override { errors.push_back(message); }
};

class CopyBookFiles : public testing::Test
{
protected:
    CopyBookFiles()
    {
        Write(s / "disc/ncc.html", "ncc");
        Write(s / "disc/audio/01.mp3", Pattern(300000));
        fs::create_directories(s / "cache");
        settings.TempPath = s / "cache/";
        settings.ConfirmOverwrite = 0;
        settings.CopyViaTemp = 1;
    }
    bool Copy(const std::string& dest)
    {
        copyjob::CFileOperations ops(ui);
        return CopyBook(s / "disc/", dest, settings, ops, [this](const std::string& t) { lines.push_back(t); });
    }
    std::string Temp() const { return s / "cache/_TalvoraTmp_"; }

    CScratch s;
    CSettings settings;
    CScriptedUi ui;
    std::vector<std::string> lines;
};

TEST_F(CopyBookFiles, ViaTempArrivesAndTempIsRemoved)
{
    EXPECT_TRUE(Copy(s / "out/Boek"));
    EXPECT_EQ(Listing(s / "out/Boek"), Listing(s / "disc"));
    EXPECT_FALSE(fs::exists(fs::symlink_status(Temp())));
    EXPECT_EQ(ui.titles.size(), 2u);
}

TEST_F(CopyBookFiles, SecondCopyIsNumbered)
{
    ASSERT_TRUE(Copy(s / "out/Boek"));
    ASSERT_TRUE(Copy(s / "out/Boek"));
    Write(s / "out/Boek_002", "a file takes the name");
    ASSERT_TRUE(Copy(s / "out/Boek"));
    const std::vector<std::string> want = {s / "out/Boek", s / "out/Boek_001", s / "out/Boek_003"};
    EXPECT_EQ(lines, want);
    EXPECT_EQ(Read(s / "out/Boek_003/ncc.html"), "ncc");
    EXPECT_EQ(Read(s / "out/Boek_002"), "a file takes the name");
}

TEST_F(CopyBookFiles, LeftoverTempFolderIsMergedThenRemoved)
{
    Write(Temp() + "/left-over.txt", "from an interrupted run");
    Write(Temp() + "/.talvora-00000000abcd.part", "half a file");
    EXPECT_TRUE(Copy(s / "out/Boek"));
    EXPECT_EQ(Read(s / "out/Boek/left-over.txt"), "from an interrupted run");
    EXPECT_FALSE(HasPartialFiles(s / "out"));
    EXPECT_FALSE(fs::exists(fs::symlink_status(Temp())));
}

TEST_F(CopyBookFiles, TempNameThatIsALinkIsRefusedAndKept)
{
    Write(s / "precious/data.txt", "do not lose");
    fs::create_directory_symlink(s / "precious", Temp());
    EXPECT_FALSE(Copy(s / "out/Boek"));
    EXPECT_EQ(ui.errors.size(), 1u);
    EXPECT_TRUE(ui.titles.empty());
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(Temp())));
    EXPECT_EQ(Listing(s / "precious"), std::vector<std::string>{"data.txt"});
    EXPECT_FALSE(fs::exists(s / "out/Boek"));
}

TEST_F(CopyBookFiles, TempNameThatIsAFileIsRefusedAndKept)
{
    Write(Temp(), "a file of the user");
    EXPECT_FALSE(Copy(s / "out/Boek"));
    EXPECT_EQ(ui.errors.size(), 1u);
    EXPECT_EQ(Read(Temp()), "a file of the user");
}

TEST_F(CopyBookFiles, UnreadableDiscViaTempLeavesNothing)
{
    fs::remove_all(s / "disc");
    ui.reporter.errorAnswers = {copyops::ErrorAnswer::Skip};
    EXPECT_FALSE(Copy(s / "out/Boek"));
    EXPECT_FALSE(fs::exists(s / "out/Boek"));
    EXPECT_FALSE(fs::exists(fs::symlink_status(Temp())));
}

TEST_F(CopyBookFiles, OverwriteModeAsksAndKeepsOtherFiles)
{
    settings.ConfirmOverwrite = 1;
    settings.CopyViaTemp = 0;
    Write(s / "out/Boek/ncc.html", "old ncc");
    Write(s / "out/Boek/notes.txt", "mine");
    ui.reporter.replaceAnswers = {copyops::ReplaceAnswer::No};
    EXPECT_TRUE(Copy(s / "out/Boek"));
    EXPECT_TRUE(lines.empty());
    EXPECT_EQ(ui.reporter.replaceQuestions, std::vector<std::string>{s / "out/Boek/ncc.html"});
    EXPECT_EQ(Read(s / "out/Boek/ncc.html"), "old ncc");
    EXPECT_EQ(Read(s / "out/Boek/notes.txt"), "mine");
    EXPECT_EQ(Read(s / "out/Boek/audio/01.mp3"), Pattern(300000));
}

TEST(FileOperationsInspect, KindsOfPath)
{
    CScratch s;
    Write(s / "file", "x");
    fs::create_directories(s / "dir");
    fs::create_directory_symlink(s / "dir", s / "link");
    CScriptedUi ui;
    copyjob::CFileOperations ops(ui);
    EXPECT_EQ(ops.Inspect(s / "dir"), copyjob::PathState::OwnFolder);
    EXPECT_EQ(ops.Inspect(s / "file"), copyjob::PathState::Other);
    EXPECT_EQ(ops.Inspect(s / "link"), copyjob::PathState::Other);
    EXPECT_EQ(ops.Inspect(s / "none"), copyjob::PathState::Missing);
}

} // namespace
