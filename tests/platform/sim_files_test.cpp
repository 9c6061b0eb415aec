// The simulated file system beyond the contract suite: streams, read-only rules, path forms,
// wildcards, listing accounting and failure injection.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/sim/sim_files.h"

namespace {

using platform::FindEntry;
using platform::Listing;
using platform::Status;

class SimFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs_.AddDrive('C');
    fs_.AddDrive('d');
    ASSERT_TRUE(fs_.WriteFile("C:\\Setup\\Data\\Vornex.arx", "arx"));
    ASSERT_TRUE(fs_.WriteFile("C:\\Setup\\Data\\Vornex.Ini", "ini"));
    ASSERT_TRUE(fs_.AddStream("C:\\Setup\\Data\\Vornex.arx", "Zone.Identifier", "[ZoneTransfer]\r\nZoneId=3\r\n"));
  }
  void TearDown() override { EXPECT_EQ(fs_.OpenListingCount(), 0u); }

  std::vector<std::string> Names(const std::string& pattern, Status* status = nullptr) {
    std::vector<std::string> names;
    FindEntry entry;
    std::unique_ptr<Listing> listing;
    const Status st = fs_.FindFirst(pattern, entry, listing);
    if (status != nullptr) *status = st;
    if (st != platform::kSuccess) return names;
    do {
      names.push_back(entry.name);
    } while (listing->Next(entry));
    return names;
  }

  sim::SimFileSystem fs_;
};

TEST_F(SimFilesTest, ZoneIdentifierStreamDeletesOnceAndTravelsWithCopies) {
  ASSERT_EQ(fs_.CopyFile("C:\\Setup\\Data\\Vornex.arx", "D:\\Vornex.arx", false), platform::kSuccess);
  EXPECT_TRUE(fs_.HasStream("D:\\Vornex.arx", "zone.identifier")) << "CopyFile copies named streams";
  struct Case {
    const char* path;
    Status status;
  };
  for (const Case c : {Case{"C:\\Setup\\Data\\Vornex.arx:Zone.Identifier", platform::kSuccess},
                       Case{"C:\\Setup\\Data\\Vornex.arx:Zone.Identifier", platform::kFileNotFound},
                       Case{"C:\\Setup\\Data\\Absent.arx:Zone.Identifier", platform::kFileNotFound},
                       Case{"D:\\Vornex.arx:ZONE.IDENTIFIER:$DATA", platform::kSuccess},
                       Case{"D:\\Vornex.arx:", platform::kInvalidName},
                       Case{"D:\\Vornex.arx:s:$BITMAP", platform::kInvalidName}}) {
    EXPECT_EQ(fs_.DeleteFile(c.path), c.status) << c.path;
  }
  EXPECT_EQ(fs_.ReadFile("C:\\Setup\\Data\\Vornex.arx"), "arx") << "the file itself stays";
  EXPECT_FALSE(fs_.HasStream("D:\\Vornex.arx", "Zone.Identifier"));
}

TEST_F(SimFilesTest, ReadOnlyFilesRefuseChangesUntilTheBitIsCleared) {
  const std::string file = "C:\\Setup\\Data\\Vornex.arx";
  ASSERT_EQ(fs_.SetAttributes(file, platform::kAttrReadOnly | platform::kAttrArchive), platform::kSuccess);
  EXPECT_EQ(fs_.DeleteFile(file + ":Zone.Identifier"), platform::kAccessDenied);
  EXPECT_EQ(fs_.DeleteFile(file), platform::kAccessDenied);
  EXPECT_EQ(fs_.CopyFile("C:\\Setup\\Data\\Vornex.Ini", file, false), platform::kAccessDenied);
  EXPECT_EQ(fs_.ReadFile(file), "arx");
  ASSERT_EQ(fs_.SetAttributes(file, platform::kAttrNormal), platform::kSuccess);
  EXPECT_EQ(fs_.Attributes(file), 0u);
  std::uint32_t reported = 0;
  ASSERT_EQ(fs_.GetAttributes(file, reported), platform::kSuccess);
  EXPECT_EQ(reported, platform::kAttrNormal);
  EXPECT_EQ(fs_.CopyFile("C:\\Setup\\Data\\Vornex.Ini", file, false), platform::kSuccess);
  EXPECT_EQ(fs_.ReadFile(file), "ini");
  EXPECT_EQ(fs_.StoredName(file), "Vornex.arx") << "a replaced file keeps its listed name";
}

TEST_F(SimFilesTest, CopyRules) {
  ASSERT_TRUE(fs_.WriteFile("C:\\Hidden.bin", "h", platform::kAttrHidden));
  ASSERT_TRUE(fs_.MakeDirectories("C:\\Folder"));
  struct Case {
    const char* from;
    const char* to;
    Status status;
  };
  for (const Case c : {Case{"C:\\Setup\\Data", "C:\\x", platform::kAccessDenied},           // a folder
                       Case{"C:\\Setup\\Data\\Vornex.Ini", "C:\\Folder", platform::kAccessDenied},
                       Case{"C:\\Setup\\Data\\Vornex.Ini", "C:\\Hidden.bin", platform::kAccessDenied},
                       Case{"C:\\Setup\\Data\\Vornex.Ini", "c:\\setup\\data\\VORNEX.ini", platform::kAccessDenied},
                       Case{"C:\\Setup\\Data\\Vornex.Ini", "E:\\x", platform::kPathNotFound},  // no drive E:
                       Case{"C:\\Setup\\Data\\Vornex.Ini", "C:\\Setup\\Data\\Vornex.Ini\\x", platform::kPathNotFound},
                       Case{"C:\\Setup\\Data\\Vornex.Ini", "C:\\a|b", platform::kInvalidName},
                       Case{"C:\\Hidden.bin", "C:\\Folder\\Hidden.bin", platform::kSuccess}}) {
    EXPECT_EQ(fs_.CopyFile(c.from, c.to, false), c.status) << c.from << " -> " << c.to;
  }
  EXPECT_EQ(fs_.Attributes("C:\\Folder\\Hidden.bin"), platform::kAttrHidden);
}

TEST_F(SimFilesTest, PathForms) {
  ASSERT_TRUE(fs_.SetCurrentDirectory("c:\\setup"));
  EXPECT_EQ(fs_.CurrentDirectory(), "C:\\setup") << "kept as given, as Windows does";
  struct Case {
    const char* path;
    bool found;
  };
  for (const Case c : {Case{"C:\\Setup\\Data\\Vornex.Ini", true}, Case{"C:/Setup/Data/Vornex.Ini", true},
                       Case{"c:\\SETUP\\\\data\\.\\vornex.ini", true}, Case{"C:\\Setup\\Data\\..\\Data\\Vornex.Ini", true},
                       Case{"C:\\Setup\\Data\\Vornex.Ini. ", true},  // trailing dots and spaces drop
                       Case{"Data\\Vornex.Ini", true}, Case{"C:Data\\Vornex.Ini", true},
                       Case{"\\Setup\\Data\\Vornex.Ini", true}, Case{"D:Data\\Vornex.Ini", false},
                       Case{"\\\\server\\share\\Vornex.Ini", false}, Case{"", false}}) {
    std::uint32_t attributes = 0;
    EXPECT_EQ(fs_.GetAttributes(c.path, attributes) == platform::kSuccess, c.found) << c.path;
  }
  EXPECT_FALSE(fs_.SetCurrentDirectory("C:\\Setup\\Data\\Vornex.Ini"));
  EXPECT_EQ(fs_.CurrentDirectory(), "C:\\setup");
}

TEST_F(SimFilesTest, TrailByte5CInANameIsNoSeparator) {
  const std::string folder = "C:\\\xD5\x5C";  // C:\誠
  ASSERT_EQ(fs_.CreateDirectory(folder), platform::kSuccess);
  ASSERT_EQ(fs_.CopyFile("C:\\Setup\\Data\\Vornex.Ini", folder + "\\\xDF\x5C.ini", false), platform::kSuccess);
  EXPECT_EQ(Names(folder + "\\*"), (std::vector<std::string>{".", "..", "\xDF\x5C.ini"}));
  EXPECT_EQ(fs_.Tree(folder), std::vector<std::string>{folder + "\\\xDF\x5C.ini"});
}

TEST_F(SimFilesTest, LongPathsAreRefusedNotTruncated) {
  const std::string deep = "C:\\" + std::string(240, 'd');
  EXPECT_EQ(fs_.CreateDirectory(deep), platform::kSuccess);
  EXPECT_EQ(fs_.CreateDirectory(deep + "\\abcdefghij"), platform::kFilenameTooLong) << "CreateDirectoryA stops at 248";
  EXPECT_EQ(fs_.CopyFile("C:\\Setup\\Data\\Vornex.Ini", deep + "\\" + std::string(20, 'f'), false),
            platform::kFilenameTooLong);
  EXPECT_EQ(fs_.CopyFile("C:\\Setup\\Data\\Vornex.Ini", deep + "\\" + std::string(15, 'f'), false), platform::kSuccess);
}

TEST_F(SimFilesTest, WildcardsAndListingShapes) {
  for (const char* name : {"b.txt", "A.TXT", "readme", "x.arx", "long.name.txt"}) {
    ASSERT_TRUE(fs_.WriteFile(std::string("D:\\L\\") + name, name));
  }
  ASSERT_TRUE(fs_.MakeDirectories("D:\\L\\Sub"));
  struct Case {
    const char* pattern;
    std::vector<std::string> names;
    Status status;
  };
  const Case cases[] = {
      {"D:\\L\\*.*", {".", "..", "A.TXT", "b.txt", "long.name.txt", "readme", "Sub", "x.arx"}, platform::kSuccess},
      {"D:\\L\\*.txt", {"A.TXT", "b.txt", "long.name.txt"}, platform::kSuccess},
      {"D:\\L\\?.txt", {"A.TXT", "b.txt"}, platform::kSuccess},
      {"D:\\L\\readme.*", {"readme"}, platform::kSuccess},
      {"D:\\L\\*.dll", {}, platform::kFileNotFound},
      {"D:\\*", {"L"}, platform::kSuccess},  // a drive root has no dot entries
      {"D:\\L\\", {}, platform::kFileNotFound},
      {"D:\\L\\SUB", {"Sub"}, platform::kSuccess},
      {"D:\\Missing\\*", {}, platform::kPathNotFound},
      {"D:\\L\\b.txt\\*", {}, platform::kPathNotFound},
      {"D:\\*\\b.txt", {}, platform::kInvalidName},
  };
  for (const Case& c : cases) {
    Status status = platform::kSuccess;
    EXPECT_EQ(Names(c.pattern, &status), c.names) << c.pattern;
    EXPECT_EQ(status, c.status) << c.pattern;
  }
}

TEST_F(SimFilesTest, ListingsAreCountedUntilDestroyed) {
  FindEntry entry;
  std::unique_ptr<Listing> a;
  std::unique_ptr<Listing> b;
  ASSERT_EQ(fs_.FindFirst("C:\\Setup\\Data\\*", entry, a), platform::kSuccess);
  ASSERT_EQ(fs_.FindFirst("C:\\Setup\\Data\\Vornex.Ini", entry, b), platform::kSuccess);
  EXPECT_EQ(fs_.OpenListingCount(), 2u);
  EXPECT_FALSE(b->Next(entry));
  b.reset();
  EXPECT_EQ(fs_.OpenListingCount(), 1u);
  std::unique_ptr<Listing> none;
  EXPECT_EQ(fs_.FindFirst("C:\\Nothing\\*", entry, none), platform::kPathNotFound);
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(fs_.OpenListingCount(), 1u);
  a.reset();
}

TEST_F(SimFilesTest, InjectedCopyFailuresCountDownOrStay) {
  const std::string source = "C:\\Setup\\Data\\Vornex.arx";
  fs_.FailOn(sim::FileOp::Copy, "c:\\target\\VORNEX.arx", platform::kAccessDenied, 2);
  fs_.FailOn(sim::FileOp::Copy, "C:\\Setup\\Data\\Vornex.Ini", platform::kAccessDenied);
  ASSERT_TRUE(fs_.MakeDirectories("C:\\Target"));
  EXPECT_EQ(fs_.CopyFile(source, "C:\\Target\\Vornex.arx", false), platform::kAccessDenied);
  EXPECT_EQ(fs_.CopyFile(source, "C:\\Target\\Vornex.arx", false), platform::kAccessDenied);
  EXPECT_EQ(fs_.CopyFile(source, "C:\\Target\\Vornex.arx", false), platform::kSuccess);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(fs_.CopyFile("C:\\Setup\\Data\\Vornex.Ini", "C:\\Target\\Vornex.Ini", false), platform::kAccessDenied);
  }
  EXPECT_EQ(fs_.InjectedFailureCount(), 7u);
  EXPECT_FALSE(fs_.Exists("C:\\Target\\Vornex.Ini"));
  fs_.FailOn(sim::FileOp::CreateDirectory, "C:\\Target\\New", platform::kAccessDenied, 1);
  EXPECT_EQ(fs_.CreateDirectory("C:\\Target\\New"), platform::kAccessDenied);
  EXPECT_EQ(fs_.CreateDirectory("C:\\Target\\New"), platform::kSuccess);
  fs_.ClearFailures();
  EXPECT_EQ(fs_.CopyFile("C:\\Setup\\Data\\Vornex.Ini", "C:\\Target\\Vornex.Ini", false), platform::kSuccess);
}

TEST_F(SimFilesTest, TreeListsEverythingInListingOrder) {
  EXPECT_EQ(fs_.Tree(), (std::vector<std::string>{"C:\\Setup\\", "C:\\Setup\\Data\\", "C:\\Setup\\Data\\Vornex.arx",
                                                  "C:\\Setup\\Data\\Vornex.Ini"}));
  EXPECT_TRUE(fs_.Remove("C:\\Setup\\Data"));
  EXPECT_EQ(fs_.Tree(), std::vector<std::string>{"C:\\Setup\\"});
  EXPECT_FALSE(fs_.WriteFile("C:\\Setup", "a file where a folder is"));
  EXPECT_FALSE(fs_.MakeDirectories("Q:\\x"));
}

}  // namespace
