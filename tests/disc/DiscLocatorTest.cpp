#include "disc/DiscLocator.h"
#include "support/TempDir.h"
#include "support/TableCases.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using CScratch = CTempDir;

void Touch(const fs::path& p)
{
    fs::create_directories(p.parent_path());
    std::ofstream(p) << "<html/>";
}

class CFakePlatform final : public disc::IDiscPlatform
{
public:
    std::vector<disc::OpticalDrive> drives;
    std::vector<disc::MountEntry> mounts;
    std::vector<disc::OpticalDrive> OpticalDrives() const override { return drives; }
    std::vector<disc::MountEntry> Mounts() const override { return mounts; }
};

// Drives with data discs that nobody mounted; mounting one puts its root at
// its mount point, unless it is set to fail. Every mount and unmount is
// logged.
class CFakeVolumePlatform final : public disc::IDiscPlatform
{
public:
    std::vector<disc::OpticalDrive> drives;
    mutable std::vector<disc::MountEntry> mounts;
    mutable std::vector<disc::UnmountedDisc> unmounted;
    std::map<std::string, std::string> mountPoints; // device -> where mounting puts it
    bool mountFails = false;
    mutable std::vector<std::string> calls;

    std::vector<disc::OpticalDrive> OpticalDrives() const override { return drives; }
    std::vector<disc::MountEntry> Mounts() const override { return mounts; }
    std::vector<disc::UnmountedDisc> UnmountedDiscs() const override { return unmounted; }
    posix::Failure Mount(const disc::UnmountedDisc& disc) const override
    {
        calls.push_back("mount " + disc.devNode);
        if (mountFails)
            return posix::OnDisc(ETIMEDOUT, disc.devNode);
        const unsigned minor = static_cast<unsigned>(disc.devNode.back() - '0');
        mounts.push_back({disc.devNode, mountPoints.at(disc.devNode), "udf", "/", 11, minor});
        std::erase_if(unmounted, [&](const disc::UnmountedDisc& u) { return u.devNode == disc.devNode; });
        return {};
    }
    posix::Failure Unmount(const disc::UnmountedDisc& disc) const override
    {
        calls.push_back("unmount " + disc.devNode);
        return {};
    }
};

// A mount of one of the scratch folders. Device numbers as the kernel gives
// them: 11 SCSI CD-ROM, 8 SCSI disk, 7 loop.
struct Mount
{
    const char* source;
    unsigned major, minor;
    const char* fsType;
    const char* folder;        // mount point inside the scratch folder
    const char* fsRoot = "/";
};

struct Case
{
    const char* name;
    std::vector<disc::OpticalDrive> drives;
    std::vector<Mount> mounts;
    std::vector<std::string> files;   // relative to the scratch folder; a trailing '/' makes a folder
    const char* expectedFolder;       // nullptr: nothing found
    const char* expectedNccName = "ncc.html";
};

PRINT_CASE_AS(Case, name)

const disc::OpticalDrive sr0{"/dev/sr0", 11, 0};
const disc::OpticalDrive sr1{"/dev/sr1", 11, 1};
const disc::OpticalDrive sr2{"/dev/sr2", 11, 2};
const disc::OpticalDrive sr10{"/dev/sr10", 11, 10};

const std::vector<Case> kCases = {
    {"TwoDrivesBothWithBookLastWins", {sr0, sr1},
     {{"/dev/sr0", 11, 0, "iso9660", "d"}, {"/dev/sr1", 11, 1, "iso9660", "f"}},
     {"d/ncc.html", "f/ncc.html"}, "f"},
    {"DeviceOrderIsNaturalNotAlphabetic", {sr10, sr2},
     {{"/dev/sr10", 11, 10, "udf", "ten"}, {"/dev/sr2", 11, 2, "udf", "two"}},
     {"ten/ncc.html", "two/ncc.html"}, "ten"},
    {"OnlyDriveWithBookIsTaken", {sr0, sr1},
     {{"/dev/sr0", 11, 0, "iso9660", "d"}, {"/dev/sr1", 11, 1, "iso9660", "f"}},
     {"d/ncc.html", "f/other.html"}, "d"},
    {"NccInSubfolderOnlyIsPassedOver", {sr0},
     {{"/dev/sr0", 11, 0, "iso9660", "d"}}, {"d/book/ncc.html"}, nullptr},
    {"HardDiskWithNccIsPassedOver", {sr0},
     {{"/dev/sda1", 8, 1, "ext4", "disk"}, {"/dev/sr0", 11, 0, "iso9660", "d"}},
     {"disk/ncc.html", "d/readme.txt"}, nullptr},
    {"UsbStickWithNccIsPassedOver", {},
     {{"/dev/sdb1", 8, 17, "vfat", "stick"}}, {"stick/ncc.html"}, nullptr},
    {"FolderNamedNccCounts", {sr0},
     {{"/dev/sr0", 11, 0, "iso9660", "d"}}, {"d/ncc.html/"}, "d"},
    {"CapitalNameIsFoundAndNamedAsStored", {sr0},
     {{"/dev/sr0", 11, 0, "iso9660", "d"}}, {"d/NCC.HTML"}, "d", "NCC.HTML"},
    {"MixedCaseNameIsFound", {sr0},
     {{"/dev/sr0", 11, 0, "iso9660", "d"}}, {"d/Ncc.Html"}, "d", "Ncc.Html"},
    {"SmallLettersPreferredWhenBothExist", {sr0},
     {{"/dev/sr0", 11, 0, "iso9660", "d"}}, {"d/NCC.HTML", "d/ncc.html"}, "d"},
    {"DriveWithoutDiscIsPassedOver", {sr0, sr1},
     {{"/dev/sr1", 11, 1, "iso9660", "f"}}, {"f/readme.txt"}, nullptr},
    {"DiscImageCountsAfterPhysicalDrives", {sr1},
     {{"/dev/loop3", 7, 3, "iso9660", "image"}, {"/dev/sr1", 11, 1, "iso9660", "f"}},
     {"image/ncc.html", "f/ncc.html"}, "image"},
    {"ImagesInNaturalOrder", {},
     {{"/dev/loop10", 7, 10, "udf", "ten"}, {"/dev/loop2", 7, 2, "iso9660", "two"}},
     {"ten/ncc.html", "two/ncc.html"}, "ten"},
    {"LoopWithOrdinaryFileSystemIsNoDisc", {},
     {{"/dev/loop0", 7, 0, "ext4", "img"}}, {"img/ncc.html"}, nullptr},
    {"UnlistedScsiCdromStillCounts", {},
     {{"/dev/sr0", 11, 0, "iso9660", "d"}}, {"d/ncc.html"}, "d"},
    {"DriveMatchedByDeviceNumberNotName", {{"/dev/sr0", 11, 0}},
     {{"/dev/cdrom", 11, 0, "iso9660", "d"}}, {"d/ncc.html"}, "d"},
    {"BindMountOfSubfolderIsNoRoot", {sr0},
     {{"/dev/sr0", 11, 0, "iso9660", "sub", "/book"}}, {"sub/ncc.html"}, nullptr},
    {"PackageFileWhenNoNcc", {sr0},
     {{"/dev/sr0", 11, 0, "udf", "d"}}, {"d/speechgen.opf"}, "d", "speechgen.opf"},
    {"NccWinsOverPackageAndIndex", {sr0},
     {{"/dev/sr0", 11, 0, "iso9660", "d"}}, {"d/discinfo.html", "d/book.opf", "d/NCC.html"}, "d", "NCC.html"},
    {"PackageWinsOverIndexAnyCase", {sr0},
     {{"/dev/sr0", 11, 0, "iso9660", "d"}}, {"d/DISCINFO.HTML", "d/Book.OPF"}, "d", "Book.OPF"},
    {"SmallestPackageNameWins", {sr0},
     {{"/dev/sr0", 11, 0, "iso9660", "d"}}, {"d/b.opf", "d/a.opf"}, "d", "a.opf"},
    {"IndexInCapitals", {sr0},
     {{"/dev/sr0", 11, 0, "iso9660", "d"}}, {"d/DiscInfo.HTML"}, "d", "DiscInfo.HTML"},
    {"BareExtensionIsNoPackage", {sr0},
     {{"/dev/sr0", 11, 0, "iso9660", "d"}}, {"d/.opf", "d/ncc.html.bak"}, nullptr},
    {"NccDiscInEarlierDriveWinsOverLaterPackage", {sr0, sr1},
     {{"/dev/sr0", 11, 0, "iso9660", "d"}, {"/dev/sr1", 11, 1, "udf", "f"}},
     {"d/ncc.html", "f/book.opf"}, "d"},
    {"NccDiscInEarlierDriveWinsOverLaterIndex", {sr0, sr1},
     {{"/dev/sr0", 11, 0, "iso9660", "d"}, {"/dev/sr1", 11, 1, "udf", "f"}},
     {"d/ncc.html", "f/discinfo.html"}, "d"},
    {"SpaceInMountPoint", {sr0},
     {{"/dev/sr0", 11, 0, "iso9660", "My Book Disc"}}, {"My Book Disc/ncc.html"}, "My Book Disc"},
};

class FindDaisyDiscTable : public testing::TestWithParam<Case>
{
};

TEST_P(FindDaisyDiscTable, ChoosesTheRightRoot)
{
    const Case& c = GetParam();
    CScratch scratch;
    CFakePlatform platform;
    platform.drives = c.drives;
    for (const Mount& m : c.mounts)
        platform.mounts.push_back({m.source, scratch.Dir(m.folder), m.fsType, m.fsRoot, m.major, m.minor});
    for (const std::string& f : c.files) {
        if (f.back() == '/')
            fs::create_directories(scratch.path() / f);
        else
            Touch(scratch.path() / f);
    }

    const disc::FoundDisc found = FindDaisyDisc(platform);
    if (c.expectedFolder == nullptr) {
        EXPECT_FALSE(found);
    } else {
        const std::string want = (scratch.path() / c.expectedFolder).string() + "/";
        EXPECT_EQ(found.root, want);
        EXPECT_EQ(found.bookFile, want + c.expectedNccName);
        EXPECT_EQ(found.kind, KindOfBookFile(c.expectedNccName));
    }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, FindDaisyDiscTable, testing::ValuesIn(kCases),
                         CaseName());

// The real mount table format, with the kernel's escapes, read through libmount.
TEST(MountTable, ParsesMountInfoWithEscapedSpaces)
{
    CScratch scratch;
    const std::string table = (scratch.path() / "mountinfo").string();
    std::ofstream(table)
        << "22 27 0:21 / /proc rw,relatime - proc proc rw\n"
           "27 1 8:1 / / rw,relatime - ext4 /dev/sda1 rw\n"
           "90 27 11:0 / /media/anna/DAISY\\040BOEK ro,nosuid - iso9660 /dev/sr0 ro\n"
           "91 27 7:4 / /mnt/image ro - udf /dev/loop4 ro\n"
           "92 27 11:1 /sub /mnt/bound ro - iso9660 /dev/sr1 ro\n";
    const auto entries = disc::ReadMountTable(table);
    ASSERT_EQ(entries.size(), 5u);
    EXPECT_EQ(entries[2].target, "/media/anna/DAISY BOEK");
    EXPECT_EQ(entries[2].source, "/dev/sr0");
    EXPECT_EQ(entries[2].fsType, "iso9660");
    EXPECT_EQ(entries[2].major, 11u);
    EXPECT_EQ(entries[2].minor, 0u);
    EXPECT_EQ(entries[3].major, 7u);
    EXPECT_EQ(entries[4].fsRoot, "/sub");

    CFakePlatform platform;
    platform.drives = {sr0};
    platform.mounts = entries;
    const std::vector<std::string> want = {"/media/anna/DAISY BOEK/", "/mnt/image/"};
    EXPECT_EQ(disc::CandidateRoots(platform), want);
}

TEST(MountTable, MissingTableIsEmpty)
{
    EXPECT_TRUE(disc::ReadMountTable("/nonexistent/mountinfo").empty());
}

TEST(MountTable, RunningSystemAnswersWithoutDrives)
{
    // Whatever this machine has, asking must work and every candidate must
    // be a root.
    for (const std::string& root : disc::CandidateRoots(disc::CSystemDiscPlatform()))
        EXPECT_EQ(root.back(), '/');
}

// sr0 is mounted before the search at "d"; sr1 and sr2 are discs nobody
// mounted, which mounting puts at "one" and "two".
struct SearchMountCase
{
    const char* name;
    std::vector<disc::UnmountedDisc> unmounted;
    std::vector<std::string> files;   // relative to the scratch folder
    bool mountFails;
    std::vector<std::string> calls;
    const char* expectedFolder;       // nullptr: nothing found
};

PRINT_CASE_AS(SearchMountCase, name)

class SearchMounts : public testing::TestWithParam<SearchMountCase>
{};

// Only DAISY discs stay mounted: a disc the search mounted and found no
// book on is unmounted again, and a disc mounted before is never touched.
TEST_P(SearchMounts, MountsUnmountedDiscsAndUnmountsThoseWithoutBook)
{
    const SearchMountCase& c = GetParam();
    CScratch scratch;
    CFakeVolumePlatform platform;
    platform.drives = {sr0, sr1, sr2};
    platform.mounts = {{"/dev/sr0", scratch.Dir("d"), "iso9660", "/", 11, 0}};
    platform.unmounted = c.unmounted;
    platform.mountPoints = {{"/dev/sr1", scratch.Dir("one")}, {"/dev/sr2", scratch.Dir("two")}};
    platform.mountFails = c.mountFails;
    for (const std::string& f : c.files)
        Touch(scratch.path() / f);
    const disc::FoundDisc found = FindDaisyDisc(platform);
    EXPECT_EQ(c.calls, platform.calls);
    EXPECT_EQ(c.expectedFolder == nullptr ? "" : scratch / c.expectedFolder + "/", found.root);
}

const disc::UnmountedDisc kDisc1{"/dev/sr1", "DAISY"}, kDisc2{"/dev/sr2", "FOTOS"};

INSTANTIATE_TEST_SUITE_P(
    Fakes, SearchMounts,
    testing::ValuesIn(std::vector<SearchMountCase>{
        {"MountedBookIsFoundAndStaysMounted", {kDisc1}, {"one/ncc.html"}, false, {"mount /dev/sr1"}, "one"},
        {"FailedMountFindsNothingAndUnmountsNothing", {kDisc1}, {"one/ncc.html"}, true, {"mount /dev/sr1"}, nullptr},
        {"MountedDiscWithoutBookIsUnmountedAgain", {kDisc1, kDisc2}, {"one/ncc.html", "two/foto.jpg"}, false,
         {"mount /dev/sr1", "mount /dev/sr2", "unmount /dev/sr2"}, "one"},
        {"DiscMountedBeforeIsLeftAloneWithoutBook", {kDisc2}, {"d/readme.txt", "two/foto.jpg"}, false,
         {"mount /dev/sr2", "unmount /dev/sr2"}, nullptr},
        {"EveryDaisyDiscStaysMountedNotOnlyTheOneFound", {kDisc1, kDisc2}, {"one/book.opf", "two/ncc.html"}, false,
         {"mount /dev/sr1", "mount /dev/sr2"}, "two"},
    }),
    CaseName());

TEST(RunningSystem, ListingUnmountedDiscsAnswersWithoutUdisks)
{
    // Without udisks (as in CI) the volume monitor lists nothing; either
    // way every entry names a device.
    for (const disc::UnmountedDisc& d : disc::CSystemDiscPlatform().UnmountedDiscs())
        EXPECT_FALSE(d.devNode.empty());
}

// glibc's tolower in a Turkish 8-bit locale lowers 'I' to a dotless i, so a
// locale-following comparison never matched "NCC.HTML" to "ncc.html".
TEST(BookFileName, CapitalsMatchInATurkishLocale)
{
    CScratch scratch;
    const std::string locales = scratch.Dir("locales");
    const std::string make = "localedef -i tr_TR -f ISO-8859-9 '" + locales + "/tr_TR.ISO-8859-9' >/dev/null 2>&1";
    if (std::system(make.c_str()) != 0)
        GTEST_SKIP() << "localedef cannot make a Turkish locale here";
    CScopedEnv locpath("LOCPATH", locales.c_str());
    const std::string old = std::setlocale(LC_ALL, nullptr);
    ASSERT_NE(nullptr, std::setlocale(LC_ALL, "tr_TR.ISO-8859-9"));
    Touch(scratch.path() / "disc/NCC.HTML");
    Touch(scratch.path() / "index/DISCINFO.HTML");
    const std::string ncc = disc::FindBookFileName(scratch / "disc/");
    const std::string index = disc::FindBookFileName(scratch / "index/");
    std::setlocale(LC_ALL, old.c_str());
    EXPECT_EQ("NCC.HTML", ncc);
    EXPECT_EQ("DISCINFO.HTML", index);
}

struct ListCase
{
    const char* list;
    std::vector<std::string> roots;
};

TEST(DriveList, SplitsOnColonsAndEndsRootsInSlash)
{
    const std::vector<ListCase> cases = {
        {"", {}},
        {"/a", {"/a/"}},
        {"/a/:/b", {"/a/", "/b/"}},
        {"::/a::/b/c:", {"/a/", "/b/c/"}},
        {"/with space", {"/with space/"}},
    };
    for (const ListCase& c : cases)
        EXPECT_EQ(disc::RootsFromDriveList(c.list), c.roots) << '"' << c.list << '"';
}

class ScopedDrives
{
public:
    explicit ScopedDrives(const std::string& value) { ::setenv("TALVORA_DRIVES", value.c_str(), 1); }
    ~ScopedDrives() { ::unsetenv("TALVORA_DRIVES"); }
};

TEST(DriveList, VariableReplacesTheDrivesLastHitWins)
{
    CScratch scratch;
    const std::string a = scratch.Dir("a"), b = scratch.Dir("b"), c = scratch.Dir("c");
    Touch(fs::path(a) / "ncc.html");
    Touch(fs::path(b) / "NCC.HTML");
    ScopedDrives drives(a + ":" + b + ":" + c);
    const disc::FoundDisc found = FindDaisyDisc();
    EXPECT_EQ(found.root, b + "/");
    EXPECT_EQ(found.bookFile, b + "/NCC.HTML");
}

TEST(DriveList, VariableWithoutBookFindsNothing)
{
    CScratch scratch;
    ScopedDrives drives(scratch.Dir("empty") + ":/nonexistent/folder");
    EXPECT_FALSE(FindDaisyDisc());
}

} // namespace
