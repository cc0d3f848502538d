// The copy job's decisions against a fake file system: which folder, which
// operations in which order, and what is refused.
#include "copy/CopyJob.h"
#include "settings/Settings.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

using copyjob::PathState;

namespace {

const std::string kDisc = "/media/anna/BOEK/";
const std::string kDest = "/home/anna/Boeken/Jansen - Het boek";
const std::string kTemp = "/home/anna/.cache/";
const std::string kTempFolder = "/home/anna/.cache/_TalvoraTmp_";

std::string Title(const std::string& dest)
{
    return "Bestanden worden gekopi\xC3\xAB" "erd naar " + dest;
}

class CFakeOps final : public copyjob::IFileOperations
{
public:
    std::map<std::string, PathState> existing;
    std::vector<bool> copyResults; // per Copy call; true when not listed
    std::vector<std::string> log;
    int inspections = 0;

    PathState Inspect(const std::string& path) override
    {
        ++inspections;
        const auto it = existing.find(path);
        return it == existing.end() ? PathState::Missing : it->second;
    }
    bool Copy(const std::string& from, const std::string& to, const std::string& title, bool ask) override
    {
        const std::size_t index = copies++;
        log.push_back("copy " + from + " -> " + to + (ask ? " ask" : " silent"));
        titles.push_back(title);
        return index < copyResults.size() ? copyResults[index] : true;
    }
    bool Delete(const std::string& folder) override
    {
        log.push_back("delete " + folder);
        return false; // its result must not matter
    }
    void Refuse(const std::string& message) override { log.push_back("refuse " + message.substr(0, 20)); }

    std::vector<std::string> titles;

private:
    std::size_t copies = 0;
};

CSettings MakeSettings(int confirmOverwrite, int copyViaTemp)
{
    CSettings s;
    s.ConfirmOverwrite = confirmOverwrite;
    s.CopyViaTemp = copyViaTemp;
    s.TempPath = kTemp;
    return s;
}

struct RunResult
{
    bool ok;
    std::vector<std::string> lines; // destination-line updates
};

RunResult RunJob(CFakeOps& ops, const CSettings& settings, const std::string& dest = kDest)
{
    RunResult r;
    r.ok = CopyBook(kDisc, dest, settings, ops, [&](const std::string& t) {
        // The line must show the target before anything is copied.
        EXPECT_TRUE(ops.log.empty()) << "destination line updated after a file operation";
        r.lines.push_back(t);
    });
    return r;
}

struct ComboCase
{
    const char* name;
    int confirmOverwrite;
    int copyViaTemp;
    std::vector<bool> copyResults;
    bool destExists;
    bool expected;
    std::vector<std::string> log;
    std::vector<std::string> lines;
};

void PrintTo(const ComboCase& c, std::ostream* out)
{
    *out << c.name;
}

const std::string kToDest = kDisc + " -> " + kDest;
const std::string kToTemp = kDisc + " -> " + kTempFolder;
const std::string kTempToDest = kTempFolder + "/ -> " + kDest;
const std::string kTempTo001 = kTempFolder + "/ -> " + kDest + "_001";

const std::vector<ComboCase> kCombos = {
    {"AskDirect", 1, 0, {}, false, true, {"copy " + kToDest + " ask"}, {}},
    {"AskDirectIntoExistingFolder", 1, 0, {}, true, true, {"copy " + kToDest + " ask"}, {}},
    {"AskDirectFails", 1, 0, {false}, false, false, {"copy " + kToDest + " ask"}, {}},
    {"AskViaTemp", 1, 1, {}, false, true,
     {"copy " + kToTemp + " ask", "copy " + kTempToDest + " ask", "delete " + kTempFolder}, {}},
    {"AskViaTempFirstFails", 1, 1, {false}, false, false, {"copy " + kToTemp + " ask", "delete " + kTempFolder}, {}},
    {"AskViaTempSecondFails", 1, 1, {true, false}, false, false,
     {"copy " + kToTemp + " ask", "copy " + kTempToDest + " ask", "delete " + kTempFolder}, {}},
    {"NumberDirect", 0, 0, {}, false, true, {"copy " + kToDest + " silent"}, {kDest}},
    {"NumberDirectTaken", 0, 0, {}, true, true, {"copy " + kDisc + " -> " + kDest + "_001 silent"}, {kDest + "_001"}},
    {"NumberDirectFails", 0, 0, {false}, false, false, {"copy " + kToDest + " silent"}, {kDest}},
    {"NumberViaTemp", 0, 1, {}, true, true,
     {"copy " + kToTemp + " silent", "copy " + kTempTo001 + " silent", "delete " + kTempFolder}, {kDest + "_001"}},
    {"NumberViaTempFirstFails", 0, 1, {false}, false, false,
     {"copy " + kToTemp + " silent", "delete " + kTempFolder}, {kDest}},
};

class CopyBookCombinations : public testing::TestWithParam<ComboCase>
{
};

TEST_P(CopyBookCombinations, OperationsInOrder)
{
    const ComboCase& c = GetParam();
    CFakeOps ops;
    ops.copyResults = c.copyResults;
    if (c.destExists)
        ops.existing[kDest] = PathState::OwnFolder;
    const RunResult r = RunJob(ops, MakeSettings(c.confirmOverwrite, c.copyViaTemp));
    EXPECT_EQ(r.ok, c.expected);
    EXPECT_EQ(ops.log, c.log);
    EXPECT_EQ(r.lines, c.lines);
}

INSTANTIATE_TEST_SUITE_P(Settings, CopyBookCombinations, testing::ValuesIn(kCombos),
                         [](const testing::TestParamInfo<ComboCase>& i) { return std::string(i.param.name); });

TEST(CopyBookTitles, EachCopyNamesItsDestination)
{
    CFakeOps ops;
    RunJob(ops, MakeSettings(1, 1));
    const std::vector<std::string> want = {Title(kTempFolder), Title(kDest)};
    EXPECT_EQ(ops.titles, want);
}

struct NumberCase
{
    const char* name;
    std::vector<std::string> taken; // suffixes; "" is the unnumbered path
    PathState how;
    std::string expected;           // suffix of the target
};

void PrintTo(const NumberCase& c, std::ostream* out)
{
    *out << c.name;
}

const std::vector<NumberCase> kNumbers = {
    {"FreeNameNotNumbered", {}, PathState::OwnFolder, ""},
    {"SecondCopyGets001", {""}, PathState::OwnFolder, "_001"},
    {"ThirdCopyGets002", {"", "_001"}, PathState::OwnFolder, "_002"},
    {"GapIsFilledFirst", {"", "_002"}, PathState::OwnFolder, "_001"},
    {"FileCountsAsTaken", {""}, PathState::Other, "_001"},
    {"NumberedNameNotTakenWhenBaseFree", {"_001"}, PathState::OwnFolder, ""},
};

class CopyBookNumbering : public testing::TestWithParam<NumberCase>
{
};

TEST_P(CopyBookNumbering, PicksFirstFreeName)
{
    const NumberCase& c = GetParam();
    CFakeOps ops;
    for (const std::string& s : c.taken)
        ops.existing[kDest + s] = c.how;
    const RunResult r = RunJob(ops, MakeSettings(0, 0));
    EXPECT_TRUE(r.ok);
    ASSERT_EQ(r.lines.size(), 1u);
    EXPECT_EQ(r.lines[0], kDest + c.expected);
    ASSERT_EQ(ops.log.size(), 1u);
    EXPECT_EQ(ops.log[0], "copy " + kDisc + " -> " + kDest + c.expected + " silent");
}

INSTANTIATE_TEST_SUITE_P(Names, CopyBookNumbering, testing::ValuesIn(kNumbers),
                         [](const testing::TestParamInfo<NumberCase>& i) { return std::string(i.param.name); });

void TakeUpTo(CFakeOps& ops, int last)
{
    ops.existing[kDest] = PathState::OwnFolder;
    for (int n = 1; n <= last; ++n) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, "_%03d", n);
        ops.existing[kDest + suffix] = PathState::OwnFolder;
    }
}

TEST(CopyBookNumberingLimit, LastFreeNumberIs998)
{
    CFakeOps ops;
    TakeUpTo(ops, 997);
    const RunResult r = RunJob(ops, MakeSettings(0, 1));
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.lines, std::vector<std::string>{kDest + "_998"});
}

TEST(CopyBookNumberingLimit, AllNamesTakenGivesUpWithoutTouchingAnything)
{
    for (const int last : {998, 999}) { // _999 free or not: never used
        CFakeOps ops;
        TakeUpTo(ops, last);
        const RunResult r = RunJob(ops, MakeSettings(0, 1));
        EXPECT_FALSE(r.ok) << last;
        ASSERT_EQ(1u, ops.log.size()) << last;
        EXPECT_EQ(0u, ops.log[0].rfind("refuse ", 0)) << "told, and no file operation";
        EXPECT_TRUE(r.lines.empty()) << "destination line must keep the unnumbered path";
    }
}

TEST(CopyBookTempFolder, SomethingElseUnderTheNameIsRefusedAndKept)
{
    CFakeOps ops;
    ops.existing[kTempFolder] = PathState::Other; // a link, a file, another user's folder
    const RunResult r = RunJob(ops, MakeSettings(1, 1));
    EXPECT_FALSE(r.ok);
    ASSERT_EQ(ops.log.size(), 1u);
    EXPECT_EQ(ops.log[0].rfind("refuse ", 0), 0u) << "no copy and above all no delete";
}

TEST(CopyBookTempFolder, LeftoverOwnFolderIsUsedAndRemoved)
{
    CFakeOps ops;
    ops.existing[kTempFolder] = PathState::OwnFolder;
    EXPECT_TRUE(RunJob(ops, MakeSettings(1, 1)).ok);
    EXPECT_EQ(ops.log.back(), "delete " + kTempFolder);
}

TEST(CopyBookTempFolder, MissingOrRelativeTempPathIsRefused)
{
    for (const char* temp : {"", "relative/"}) {
        CFakeOps ops;
        CSettings s = MakeSettings(1, 1);
        s.TempPath = temp;
        EXPECT_FALSE(RunJob(ops, s).ok);
        ASSERT_EQ(ops.log.size(), 1u) << temp;
        EXPECT_EQ(ops.log[0].rfind("refuse ", 0), 0u);
    }
}

TEST(CopyBookTempFolder, TempPathWithoutSlashStillNamesTheFolderInside)
{
    CFakeOps ops;
    CSettings s = MakeSettings(1, 1);
    s.TempPath = "/home/anna/.cache";
    RunJob(ops, s);
    ASSERT_FALSE(ops.log.empty());
    EXPECT_EQ(ops.log[0], "copy " + kToTemp + " ask");
}

struct LongCase
{
    const char* name;
    std::string dest;
    int confirmOverwrite;
    bool destTaken;
};

void PrintTo(const LongCase& c, std::ostream* out)
{
    *out << c.name;
}

const std::string kLongName(255, 'x');
const std::vector<LongCase> kLong = {
    {"ComponentTooLong", "/out/" + std::string(256, 'x'), 1, false},
    {"PathTooLong", "/out" + [] { std::string s; for (int i = 0; i < 20; ++i) s += "/" + std::string(250, 'y'); return s; }(), 0, false},
    {"NumberMakesNameTooLong", "/out/" + std::string(253, 'z'), 0, true},
};

class CopyBookPathLimits : public testing::TestWithParam<LongCase>
{
};

TEST_P(CopyBookPathLimits, RefusedBeforeAnythingIsTouched)
{
    const LongCase& c = GetParam();
    CFakeOps ops;
    if (c.destTaken)
        ops.existing[c.dest] = PathState::OwnFolder;
    const RunResult r = RunJob(ops, MakeSettings(c.confirmOverwrite, 1), c.dest);
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.lines.empty());
    ASSERT_EQ(ops.log.size(), 1u);
    EXPECT_EQ(ops.log[0].rfind("refuse ", 0), 0u);
}

INSTANTIATE_TEST_SUITE_P(Paths, CopyBookPathLimits, testing::ValuesIn(kLong),
                         [](const testing::TestParamInfo<LongCase>& i) { return std::string(i.param.name); });

TEST(PathFits, Limits)
{
    EXPECT_TRUE(copyjob::PathFits("/out/" + kLongName));
    EXPECT_FALSE(copyjob::PathFits("/out/" + kLongName + "x"));
    EXPECT_FALSE(copyjob::PathFits(""));
    std::string deep;
    while (deep.size() < 4200)
        deep += "/" + std::string(199, 'a');
    EXPECT_TRUE(copyjob::PathFits(deep.substr(0, 4095)));
    EXPECT_FALSE(copyjob::PathFits(deep.substr(0, 4096)));
}

} // namespace
