// File-system behaviour the program relies on, checked the same way against the simulation and Windows.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "contract/contract_env.h"
#include "platform/files.h"

namespace {

using platform::FindEntry;
using platform::Listing;
using platform::Status;

class FilesContract : public ::testing::Test {
 protected:
  void SetUp() override {
    env_ = contract::MakeEnv();
    dir_ = env_->ScratchDir();
    // The running program is the one file every machine has; it is the source of all copies.
    std::string program;
    ASSERT_EQ(env_->System().ModulePath(1024, program), platform::kSuccess);
    program_ = program;
  }

  platform::FileSystem& fs() { return env_->Files(); }
  std::string At(const std::string& name) const { return dir_ + "\\" + name; }

  void MakeFile(const std::string& name) {
    ASSERT_EQ(fs().CopyFile(program_, At(name), false), platform::kSuccess) << name;
  }

  // Every entry of a listing, first one included; the listing is closed before returning.
  std::vector<FindEntry> List(const std::string& pattern, Status* status = nullptr) {
    std::vector<FindEntry> entries;
    FindEntry entry;
    std::unique_ptr<Listing> listing;
    const Status st = fs().FindFirst(pattern, entry, listing);
    if (status != nullptr) *status = st;
    if (st != platform::kSuccess) return entries;
    entries.push_back(entry);
    while (listing->Next(entry)) entries.push_back(entry);
    return entries;
  }

  std::uint32_t Attributes(const std::string& path) {
    std::uint32_t attributes = 0;
    EXPECT_EQ(fs().GetAttributes(path, attributes), platform::kSuccess) << path;
    return attributes;
  }

  std::unique_ptr<contract::Env> env_;
  std::string dir_;
  std::string program_;
};

// ---- folders ----

TEST_F(FilesContract, CreateDirectoryMakesOneLevel) {
  struct Case {
    const char* path;
    Status status;
  };
  MakeFile("file.bin");
  for (const Case c : {Case{"new", platform::kSuccess}, Case{"new", platform::kAlreadyExists},
                       Case{"NEW", platform::kAlreadyExists}, Case{"file.bin", platform::kAlreadyExists},
                       Case{"missing\\child", platform::kPathNotFound}, Case{"new\\child", platform::kSuccess}}) {
    EXPECT_EQ(fs().CreateDirectory(At(c.path)), c.status) << c.path;
  }
  EXPECT_NE(Attributes(At("new\\child")) & platform::kAttrDirectory, 0u);
  std::uint32_t attributes = 0;
  EXPECT_NE(fs().GetAttributes(At("missing"), attributes), platform::kSuccess);
}

// ---- copies ----

TEST_F(FilesContract, CopyCreatesAndReplacesUnlessAskedNotTo) {
  EXPECT_EQ(fs().CopyFile(program_, At("copy.bin"), true), platform::kSuccess);
  EXPECT_EQ(fs().CopyFile(program_, At("copy.bin"), false), platform::kSuccess);
  EXPECT_EQ(fs().CopyFile(program_, At("copy.bin"), true), platform::kFileExists);
  EXPECT_EQ(fs().CopyFile(At("copy.bin"), At("second.bin"), false), platform::kSuccess);
  EXPECT_EQ(Attributes(At("second.bin")) & platform::kAttrDirectory, 0u);
}

TEST_F(FilesContract, CopyFailsForAMissingSourceOrDestinationFolder) {
  EXPECT_EQ(fs().CopyFile(At("absent.bin"), At("x.bin"), false), platform::kFileNotFound);
  EXPECT_EQ(fs().CopyFile(program_, At("nofolder\\x.bin"), false), platform::kPathNotFound);
  std::uint32_t attributes = 0;
  EXPECT_EQ(fs().GetAttributes(At("x.bin"), attributes), platform::kFileNotFound);
}

TEST_F(FilesContract, CopyCarriesTheSourcesReadOnlyBit) {
  MakeFile("source.bin");
  ASSERT_EQ(fs().SetAttributes(At("source.bin"), platform::kAttrReadOnly), platform::kSuccess);
  ASSERT_EQ(fs().CopyFile(At("source.bin"), At("copy.bin"), false), platform::kSuccess);
  EXPECT_NE(Attributes(At("copy.bin")) & platform::kAttrReadOnly, 0u);
  // Leave both writable so that the scratch folder can be removed.
  EXPECT_EQ(fs().SetAttributes(At("copy.bin"), platform::kAttrNormal), platform::kSuccess);
  EXPECT_EQ(fs().SetAttributes(At("source.bin"), platform::kAttrNormal), platform::kSuccess);
}

TEST_F(FilesContract, CopyOntoAReadOnlyFileIsRefused) {
  if (env_->IsWine()) {
    GTEST_SKIP() << "Wine keeps read-only as Unix write permission, which root writes through";
  }
  MakeFile("locked.bin");
  ASSERT_EQ(fs().SetAttributes(At("locked.bin"), platform::kAttrReadOnly), platform::kSuccess);
  EXPECT_EQ(fs().CopyFile(program_, At("locked.bin"), false), platform::kAccessDenied);
  ASSERT_EQ(fs().SetAttributes(At("locked.bin"), platform::kAttrNormal), platform::kSuccess);
  EXPECT_EQ(fs().CopyFile(program_, At("locked.bin"), false), platform::kSuccess);
}

// ---- attributes ----

TEST_F(FilesContract, ReadOnlyBitRoundTrips) {
  MakeFile("file.bin");
  ASSERT_EQ(fs().SetAttributes(At("file.bin"), platform::kAttrReadOnly), platform::kSuccess);
  EXPECT_NE(Attributes(At("file.bin")) & platform::kAttrReadOnly, 0u);
  ASSERT_EQ(fs().SetAttributes(At("file.bin"), platform::kAttrNormal), platform::kSuccess);
  const std::uint32_t cleared = Attributes(At("file.bin"));
  EXPECT_EQ(cleared & (platform::kAttrReadOnly | platform::kAttrDirectory), 0u);
  EXPECT_NE(cleared, 0u) << "a file without attributes reports FILE_ATTRIBUTE_NORMAL";
  EXPECT_NE(Attributes(dir_) & platform::kAttrDirectory, 0u);
  std::uint32_t attributes = 0;
  EXPECT_EQ(fs().SetAttributes(At("absent.bin"), platform::kAttrNormal), platform::kFileNotFound);
  EXPECT_EQ(fs().GetAttributes(At("absent.bin"), attributes), platform::kFileNotFound);
  EXPECT_EQ(fs().GetAttributes(At("absent\\x.bin"), attributes), platform::kPathNotFound);
}

TEST_F(FilesContract, NamesMatchWithoutRegardToCaseAndKeepTheirCase) {
  MakeFile("MiXed.BIN");
  EXPECT_EQ(Attributes(At("mixed.bin")) & platform::kAttrDirectory, 0u);
  EXPECT_EQ(fs().CopyFile(program_, At("MIXED.bin"), false), platform::kSuccess);
  const std::vector<FindEntry> one = List(At("mixed.BIN"));
  ASSERT_EQ(one.size(), 1u);
  EXPECT_EQ(one[0].name, "MiXed.BIN");
}

// ---- listings ----

TEST_F(FilesContract, ListingStartsWithDotsAndHoldsEveryEntry) {
  ASSERT_EQ(fs().CreateDirectory(At("list")), platform::kSuccess);
  ASSERT_EQ(fs().CreateDirectory(At("list\\Sub")), platform::kSuccess);
  MakeFile("list\\b.arx");
  MakeFile("list\\A.dll");
  MakeFile("list\\c");
  for (const char* mask : {"\\*.*", "\\*"}) {
    const std::vector<FindEntry> entries = List(At("list") + mask);
    ASSERT_EQ(entries.size(), 6u) << mask;
    EXPECT_EQ(entries[0].name, ".");
    EXPECT_EQ(entries[1].name, "..");
    EXPECT_NE(entries[0].attributes & platform::kAttrDirectory, 0u);
    EXPECT_NE(entries[1].attributes & platform::kAttrDirectory, 0u);
    std::vector<std::string> names;
    for (std::size_t i = 2; i < entries.size(); ++i) {
      names.push_back(entries[i].name);
      const bool folder = (entries[i].attributes & platform::kAttrDirectory) != 0;
      EXPECT_EQ(folder, entries[i].name == "Sub") << entries[i].name;
    }
    // NTFS returns names in case-insensitive order; Wine returns the Unix directory's order.
    if (!env_->IsWine()) {
      EXPECT_EQ(names, (std::vector<std::string>{"A.dll", "b.arx", "c", "Sub"})) << mask;
    }
  }
}

TEST_F(FilesContract, ListingOfAnEmptyFolderHasOnlyTheDots) {
  ASSERT_EQ(fs().CreateDirectory(At("empty")), platform::kSuccess);
  const std::vector<FindEntry> entries = List(At("empty\\*.*"));
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].name, ".");
  EXPECT_EQ(entries[1].name, "..");
}

TEST_F(FilesContract, PlainPathListsThatOneEntry) {
  MakeFile("one.bin");
  ASSERT_EQ(fs().CreateDirectory(At("folder")), platform::kSuccess);
  const std::vector<FindEntry> file = List(At("one.bin"));
  ASSERT_EQ(file.size(), 1u);
  EXPECT_EQ(file[0].name, "one.bin");
  EXPECT_EQ(file[0].attributes & platform::kAttrDirectory, 0u);
  const std::vector<FindEntry> folder = List(At("folder"));
  ASSERT_EQ(folder.size(), 1u);
  EXPECT_EQ(folder[0].name, "folder");
  EXPECT_NE(folder[0].attributes & platform::kAttrDirectory, 0u);

  Status status = platform::kSuccess;
  EXPECT_TRUE(List(At("none.bin"), &status).empty());
  EXPECT_EQ(status, platform::kFileNotFound);
  EXPECT_TRUE(List(At("none\\none.bin"), &status).empty());
  EXPECT_EQ(status, platform::kPathNotFound);
}

// ---- deletion ----

TEST_F(FilesContract, DeleteRemovesAFile) {
  MakeFile("gone.bin");
  EXPECT_EQ(fs().DeleteFile(At("gone.bin")), platform::kSuccess);
  std::uint32_t attributes = 0;
  EXPECT_EQ(fs().GetAttributes(At("gone.bin"), attributes), platform::kFileNotFound);
  EXPECT_EQ(fs().DeleteFile(At("gone.bin")), platform::kFileNotFound);
}

TEST_F(FilesContract, RemoveDirectoryTakesOnlyAnEmptyFolder) {
  ASSERT_EQ(fs().CreateDirectory(At("full")), platform::kSuccess);
  MakeFile("full\\kept.bin");
  MakeFile("file.bin");
  ASSERT_EQ(fs().CreateDirectory(At("empty")), platform::kSuccess);
  struct Case {
    const char* path;
    Status status;
  };
  for (const Case c : {Case{"full", platform::kDirNotEmpty}, Case{"file.bin", platform::kDirectory},
                       Case{"absent", platform::kFileNotFound}, Case{"absent\\child", platform::kPathNotFound},
                       Case{"EMPTY", platform::kSuccess}, Case{"empty", platform::kFileNotFound}}) {
    EXPECT_EQ(fs().RemoveDirectory(At(c.path)), c.status) << c.path;
  }
  EXPECT_NE(Attributes(At("full")) & platform::kAttrDirectory, 0u);
  EXPECT_EQ(Attributes(At("full\\kept.bin")) & platform::kAttrDirectory, 0u);
}

// The installation flushes each backup before it replaces AutoCAD's file; the simulation refuses
// what FlushFileBuffers' open for writing refuses.
TEST_F(FilesContract, FlushOpensTheFileForWriting) {
  MakeFile("copied.bin");
  MakeFile("locked.bin");
  ASSERT_EQ(fs().SetAttributes(At("locked.bin"), platform::kAttrReadOnly), platform::kSuccess);
  ASSERT_EQ(fs().CreateDirectory(At("folder")), platform::kSuccess);
  struct Case {
    const char* path;
    Status status;
  };
  for (const Case c : {Case{"copied.bin", platform::kSuccess}, Case{"folder", platform::kAccessDenied},
                       Case{"absent", platform::kFileNotFound}, Case{"absent\\child", platform::kPathNotFound},
                       Case{"locked.bin", platform::kAccessDenied}}) {
    // Wine keeps read-only as Unix write permission, which root writes through.
    if (std::string_view(c.path) == "locked.bin" && env_->IsWine()) continue;
    EXPECT_EQ(fs().FlushFile(At(c.path)), c.status) << c.path;
  }
  ASSERT_EQ(fs().SetAttributes(At("locked.bin"), platform::kAttrNormal), platform::kSuccess);
}

TEST_F(FilesContract, DeleteLaterLeavesTheFileUntilWindowsStartsAgain) {
  MakeFile("in use.bin");
  ASSERT_EQ(fs().CreateDirectory(At("folder")), platform::kSuccess);
  EXPECT_EQ(fs().DeleteLater(At("in use.bin")), platform::kSuccess);
  EXPECT_EQ(fs().DeleteLater(At("folder")), platform::kSuccess);
  EXPECT_EQ(Attributes(At("in use.bin")) & platform::kAttrDirectory, 0u);
  EXPECT_NE(Attributes(At("folder")) & platform::kAttrDirectory, 0u);
}

TEST_F(FilesContract, DeletingAnAbsentZoneIdentifierStreamIsFileNotFound) {
  if (env_->IsWine()) GTEST_SKIP() << "Wine 8 keeps no alternate data streams on a Unix file system";
  MakeFile("download.bin");
  EXPECT_EQ(fs().DeleteFile(At("download.bin:Zone.Identifier")), platform::kFileNotFound);
  EXPECT_EQ(Attributes(At("download.bin")) & platform::kAttrDirectory, 0u) << "the file itself stays";
}

// A rollback keeps a replaced file by renaming it aside, and puts it back the same way: a rename
// that never replaces, keeps the file's read-only bit, and says why it could not.
TEST_F(FilesContract, MoveRenamesWithoutReplacing) {
  ASSERT_EQ(fs().CreateDirectory(At("aside")), platform::kSuccess);
  struct Case {
    const char* source;
    const char* destination;
    std::uint32_t readOnly;  // the source's read-only bit, which the destination keeps
    Status status;
    const char* after;       // what is at the destination afterwards; the source is gone on success
  };
  const Case cases[] = {
      {"held.dll", "aside\\1", platform::kAttrReadOnly, platform::kSuccess, "aside\\1"},
      {"twin.dll", "TAKEN.DLL", 0, platform::kAlreadyExists, "taken.dll"},
      {"lost.dll", "missing\\lost.dll", 0, platform::kPathNotFound, nullptr},
  };
  MakeFile("taken.dll");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source);
    MakeFile(c.source);
    if (c.readOnly != 0) {
      ASSERT_EQ(fs().SetAttributes(At(c.source), c.readOnly), platform::kSuccess);
    }
    EXPECT_EQ(fs().MoveFile(At(c.source), At(c.destination)), c.status);
    std::uint32_t attributes = 0;
    if (c.after != nullptr) {
      const std::vector<FindEntry> found = List(At(c.after));
      ASSERT_EQ(found.size(), 1u);
      EXPECT_EQ(found[0].attributes & platform::kAttrReadOnly, c.readOnly);
    }
    // The source is gone exactly when the rename went through.
    EXPECT_EQ(fs().GetAttributes(At(c.source), attributes) == platform::kSuccess, c.status != platform::kSuccess);
    if (c.readOnly != 0) (void)fs().SetAttributes(At(c.after), platform::kAttrNormal);
  }
}

}  // namespace
