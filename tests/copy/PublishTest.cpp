// Giving a staged book its name on a real file system: every way a name can
// be taken, the incomplete name at the length limit, and a bag's layout.
#include "copy/FileOperations.h"
#include "copy/Publish.h"
#include "support/CopyTestSupport.h"
#include "support/TableCases.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const std::string a237(237, 'a');
const std::string kLong = a237 + "\xC3\xA9" + std::string(15, 'b'); // 255 bytes, é across the cut

struct NameCase
{
    const char* name;
    std::vector<std::string> there; // "d:", "f:" or "l:" (a dangling link) and a name in the output folder
    std::string book;               // the book's own name
    bool incomplete = false;
    int publishes = 1;              // the same book published this often, one after the other
    std::string takenMeanwhile;     // made after the free number was chosen, before the rename
    bool bag = false;               // under data/, with a tag file beside it
    int tagError = 0;               // what writing the tag file gives
    std::string expected;           // the last published name; "" for none
};

PRINT_CASE_AS(NameCase, name)

std::vector<std::string> Numbers(int from, int to)
{
    std::vector<std::string> names;
    for (int n = from; n <= to; ++n)
        names.push_back("d:" + copy::publish::NameWith("Boek", n));
    return names;
}

const std::vector<NameCase> kNames = {
    {"Free", {}, "Boek", false, 1, "", false, 0, "Boek"},
    {"TakenByFolder", {"d:Boek"}, "Boek", false, 1, "", false, 0, "Boek_001"},
    {"TakenByFile", {"f:Boek"}, "Boek", false, 1, "", false, 0, "Boek_001"},
    {"TakenByLink", {"l:Boek"}, "Boek", false, 1, "", false, 0, "Boek_001"},
    {"GapFilled", {"d:Boek", "d:Boek_001", "f:Boek_003"}, "Boek", false, 1, "", false, 0, "Boek_002"},
    {"All998Taken", Numbers(0, 998), "Boek", false, 1, "", false, 0, ""},
    {"TakenMeanwhileGoesToTheNextNumber", {"d:Boek"}, "Boek", false, 1, "Boek_001", false, 0, "Boek_002"},
    {"IncompleteName", {}, "Boek", true, 1, "", false, 0, "Boek (onvolledig)"},
    {"IncompleteNameNearTheLimitIsCutAtACharacter", {}, kLong, true, 1, "", false, 0, a237 + " (onvolledig)"},
    {"IncompletePublishedTwice", {}, kLong, true, 2, "", false, 0, a237 + " (onvolledig)_001"},
    {"IncompleteBesideTheWholeBook", {"d:Boek"}, "Boek", true, 1, "", false, 0, "Boek (onvolledig)"},
    {"BagIsOneMoreLayout", {}, "Boek", false, 1, "", true, 0, "Boek"},
    {"IncompleteBagNearTheLimit", {}, kLong, true, 2, "", true, 0, a237 + " (onvolledig)_001"},
    {"BagWhoseTagsFailIsNotPublished", {}, "Boek", false, 1, "", true, EIO, ""},
};

class PublishNames : public testing::TestWithParam<NameCase>
{
protected:
    CTempDir tmp;
};

TEST_P(PublishNames, NeverReplacesAndSaysWhatItIs)
{
    const NameCase& c = GetParam();
    const std::string out = tmp / "out";
    fs::create_directories(out);
    for (const std::string& entry : c.there) {
        const std::string path = out + "/" + entry.substr(2);
        if (entry[0] == 'd')
            fs::create_directory(path);
        else if (entry[0] == 'f')
            tmp.Write("out/" + entry.substr(2), "x");
        else
            fs::create_symlink(tmp / "nowhere", path);
    }
    copy::CFileOperations ops([](const std::string&, const std::function<void(copy::ICopyReporter&)>&) {});
    copy::publish::Layout layout;
    if (c.bag) {
        layout = {"/tas", "/data", [&](const std::string& bag) {
                      if (c.tagError == 0)
                          tmp.Write(fs::relative(bag, tmp.path()).string() + "/bagit.txt", "tag");
                      return posix::OnOutput(c.tagError, bag);
                  }, false};
    }
    std::string published;
    posix::Failure failure;
    for (int round = 0; round < c.publishes; ++round) {
        copy::publish::CStage stage(ops, layout);
        ASSERT_FALSE(stage.Open(out));
        fs::create_directories(stage.Book());
        tmp.Write(fs::relative(stage.Book(), tmp.path()).string() + "/ncc.html", "ncc");
        if (c.incomplete) {
            failure = stage.PublishIncomplete(out + "/" + c.book, {"audio/01.mp3"}, published);
        } else {
            const int number = copy::publish::FreeNumber(out + "/" + c.book, ops);
            if (!c.takenMeanwhile.empty())
                fs::create_directory(out + "/" + c.takenMeanwhile);
            failure = stage.PublishWhole(out + "/" + c.book, std::max(number, 0), published);
        }
    }
    if (c.expected.empty()) {
        EXPECT_TRUE(failure);
        EXPECT_EQ("", published);
    } else {
        ASSERT_FALSE(failure) << failure.error;
        EXPECT_EQ(out + "/" + c.expected, published);
        const std::string book = published + (c.bag ? "/data" : "");
        EXPECT_TRUE(fs::is_regular_file(book + "/ncc.html"));
        EXPECT_EQ(c.bag, fs::exists(published + "/bagit.txt"));
        EXPECT_EQ(c.incomplete && !c.bag, fs::exists(book + "/" + copy::kNeededNote));
        EXPECT_FALSE(fs::exists(published + "/.talvora-werkmap"));
    }
    // Nothing but the names is left: the work folders are gone.
    for (const auto& entry : fs::directory_iterator(out))
        EXPECT_NE(0u, entry.path().filename().string().rfind(".talvora-", 0)) << entry.path();
}

INSTANTIATE_TEST_SUITE_P(Taken, PublishNames, testing::ValuesIn(kNames), CaseName());

} // namespace

namespace {

// The note is read only from a regular file: a FIFO in its place once
// held the second chance for good.
TEST(PublishNote, OnlyARegularFileIsRead)
{
    CTempDir tmp;
    copy::CFileOperations ops([](const std::string&, const std::function<void(copy::ICopyReporter&)>&) {});
    const std::string noted = tmp / "noted", fifo = tmp / "fifo";
    fs::create_directories(noted);
    fs::create_directories(fifo);
    ASSERT_FALSE(ops.Remember(noted, {"audio/01.mp3", "smil/\n2.smil"}));
    EXPECT_EQ(ops.Remembered(noted), (std::vector<std::string>{"audio/01.mp3", "smil/\n2.smil"}));
    ASSERT_EQ(0, ::mkfifo((fifo + "/" + copy::kNeededNote).c_str(), 0600));
    EXPECT_TRUE(ops.Remembered(fifo).empty());
}

} // namespace

namespace {

// Completing proves each kept file against what the disc gave when it was
// first copied, as the engine noted it: a file changed in any way is not
// kept.
struct ProveCase
{
    const char* name;
    std::function<void(const std::string& file)> meanwhile; // done to the copy of 01.mp3 after the copy
    bool changed;
    std::uint64_t cancelAfter = 0; // the user stops the proof once this many bytes were read; 0: never
};

PRINT_CASE_AS(ProveCase, name)

using copytest::Write;

const std::string kAudio = std::string(3000, 'a') + "end";

const std::vector<ProveCase> kProve = {
    {"Unchanged", [](const std::string&) {}, false},
    {"StoppedByTheUser", [](const std::string&) {}, false, 1},
    {"SameSizeOtherBytes", [](const std::string& f) { Write(f, std::string(3000, 'a') + "END"); }, true},
    {"Truncated", [](const std::string& f) { fs::resize_file(f, 1000); }, true},
    {"Longer", [](const std::string& f) { Write(f, kAudio + "x"); }, true},
    {"Gone", [](const std::string& f) { fs::remove(f); }, true},
    {"ALinkInItsPlace",
     [](const std::string& f) {
         fs::rename(f, f + ".real");
         fs::create_symlink(f + ".real", f);
     },
     true},
    {"AFolderInItsPlace",
     [](const std::string& f) {
         fs::remove(f);
         fs::create_directory(f);
     },
     true},
};

class ProveKept : public testing::TestWithParam<ProveCase>
{
};

TEST_P(ProveKept, ChangedFilesAreNamed)
{
    const ProveCase& c = GetParam();
    CTempDir tmp;
    const std::string disc = tmp / "disc", copy = tmp / "copy";
    fs::create_directories(disc + "/audio");
    Write(disc + "/audio/01.mp3", kAudio);
    Write(disc + "/ncc.html", "<html/>");
    copy::CCopyEngine engine;
    copytest::CScriptedReporter reporter;
    copy::CopyScope scope;
    scope.verify = true;
    const copy::CopyOutcome outcome = engine.CopyContent(disc + "/", copy, false, reporter, {}, scope);
    ASSERT_TRUE(outcome);
    ASSERT_EQ(outcome.seen.size(), 2u);
    c.meanwhile(copy + "/audio/01.mp3");
    // Under a progress window of its own, which counts the noted bytes.
    copytest::CScriptedReporter proving;
    proving.cancelAfterBytes = c.cancelAfter;
    std::vector<std::string> titles;
    copy::CFileOperations ops([&](const std::string& title, const std::function<void(copy::ICopyReporter&)>& work) {
        titles.push_back(title);
        work(proving);
    });
    const copy::KeptProof proof = ops.ChangedSince(copy, outcome.seen, "T");
    EXPECT_EQ(titles, std::vector<std::string>{"T"});
    EXPECT_EQ(proof.cancelled, c.cancelAfter != 0);
    if (proof.cancelled)
        return;
    EXPECT_EQ(proof.changed, c.changed ? std::vector<std::string>{"audio/01.mp3"} : std::vector<std::string>{});
    EXPECT_EQ(proving.lastTotal, kAudio.size() + 7);
    EXPECT_EQ(proving.lastDone, proving.lastTotal);
}

INSTANTIATE_TEST_SUITE_P(Note, ProveKept, testing::ValuesIn(kProve), CaseName());

// A runner that never runs the work proves nothing kept.
TEST(ProveKeptUnrun, EveryFileCountsAsChanged)
{
    copy::CFileOperations ops([](const std::string&, const std::function<void(copy::ICopyReporter&)>&) {});
    const copy::KeptProof proof = ops.ChangedSince("/nonexistent", {{"a", 1, std::string(32, '0')}}, "T");
    EXPECT_FALSE(proof.cancelled);
    EXPECT_EQ(proof.changed, std::vector<std::string>{"a"});
}

} // namespace
