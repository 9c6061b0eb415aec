// Which folder on the way to the install folder someone other than the administrators could
// replace, on simulated machines whose folders were made by various people with various lists.
#include "platform/folder_safety.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/sim/sim_machine.h"

namespace {

using platform::kSidAdministrators;
using platform::kSidAuthenticatedUsers;
using sim::SimAce;

constexpr const char* kUser = "S-1-5-21-1-2-3-1001";  // a standard user
constexpr std::uint8_t kBoth = sim::kObjectInherit | sim::kContainerInherit;
constexpr std::uint32_t kReplacing = platform::kRightDelete | platform::kRightDeleteChild | platform::kRightWriteDac |
                                     platform::kRightWriteOwner;

// The protected list with `extra` entries after it.
std::vector<SimAce> Protected(std::vector<SimAce> extra = {}) {
  std::vector<SimAce> entries = sim::ProtectedEntries();
  entries.insert(entries.end(), extra.begin(), extra.end());
  return entries;
}

struct Made {
  std::string path;
  std::string owner;
  std::vector<SimAce> entries;
  bool isProtected = true;
};

// D:\Safe, made and protected by an administrator, with `extra` entries after the protected ones.
Made Safe(std::vector<SimAce> extra) { return {"D:\\Safe", kSidAdministrators, Protected(std::move(extra))}; }

TEST(FolderSafety, NamesTheNearestFolderOthersCouldReplace) {
  const SimAce auAll{kSidAuthenticatedUsers, true, platform::kFileAllAccess, 0};
  const SimAce auDenied{kSidAuthenticatedUsers, false, kReplacing, 0};
  const auto au = [](std::uint32_t mask, std::uint8_t flags = 0) {
    return SimAce{kSidAuthenticatedUsers, true, mask, flags};
  };
  const auto root = [](SimAce extra) {
    std::vector<SimAce> entries = sim::UsualRootEntries();
    entries.push_back(extra);
    return Made{"D:\\", platform::kSidSystem, entries};
  };
  const struct {
    const char* what;
    std::vector<Made> made;
    const char* chosen;
    const char* replaceable;
  } cases[] = {
      {"the root's usual list", {}, "D:\\", ""},
      {"a new folder on the root", {}, "D:\\Vornex", ""},
      {"made by an administrator, open", {{"C:\\Vornex", kSidAdministrators, {}, false}}, "C:\\Vornex", "C:\\Vornex"},
      {"made and protected by an administrator", {{"C:\\Vornex", kSidAdministrators, Protected()}}, "C:\\Vornex", ""},
      {"owned by a standard user", {{"C:\\Vornex", kUser, Protected()}}, "C:\\Vornex", "C:\\Vornex"},
      {"a safe folder in an open one", {Safe({auAll}), {"D:\\Safe\\Vornex", kSidAdministrators, Protected()}},
       "D:\\Safe\\Vornex\\New", "D:\\Safe"},
      {"inherit-only entries", {Safe({au(platform::kGenericAll, kBoth | sim::kInheritOnly)})}, "D:\\Safe", ""},
      {"denied before granted", {Safe({auDenied, auAll})}, "D:\\Safe", ""},
      {"granted before denied", {Safe({auAll, auDenied})}, "D:\\Safe", "D:\\Safe"},
      {"a denial grants nothing", {Safe({{platform::kSidEveryone, false, platform::kFileAllAccess, 0}})}, "D:\\Safe",
       ""},
      {"generic all", {Safe({au(platform::kGenericAll)})}, "D:\\Safe", "D:\\Safe"},
      {"generic read and execute", {Safe({au(platform::kGenericRead | platform::kGenericExecute)})}, "D:\\Safe", ""},
      {"deleting what is inside", {Safe({au(platform::kRightDeleteChild)})}, "D:\\Safe", "D:\\Safe"},
      {"delete on a root", {root(au(platform::kRightDelete))}, "D:\\", ""},
      {"list changes on a root", {root(au(platform::kRightWriteDac))}, "D:\\Vornex", "D:\\"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    sim::SimMachine sim;
    sim.files().AddDrive('D');
    for (const Made& made : c.made) {
      ASSERT_TRUE(sim.files().MakeDirectories(made.path));
      ASSERT_TRUE(sim.files().SetSecurity(made.path, made.owner, made.entries, made.isProtected));
    }
    EXPECT_EQ(install::FindReplaceableFolder(sim.machine(), c.chosen), c.replaceable);
  }
}

// The account running the installer counts among the trusted: a folder only it and the
// administrators may change is as safe as theirs.
TEST(FolderSafety, TheInstallingAccountIsTrusted) {
  sim::SimMachine sim;
  const std::vector<SimAce> own = Protected({{kUser, true, platform::kFileAllAccess, kBoth}});
  ASSERT_TRUE(sim.files().MakeDirectories("C:\\Mine"));
  ASSERT_TRUE(sim.files().SetSecurity("C:\\Mine", kUser, own, true));
  EXPECT_EQ(install::FindReplaceableFolder(sim.machine(), "C:\\Mine"), "C:\\Mine");
  sim.system().SetAccountSid(kUser);
  EXPECT_EQ(install::FindReplaceableFolder(sim.machine(), "C:\\Mine"), "");
}

// A folder whose security cannot be read is not vouched for; one that is not there is passed over.
TEST(FolderSafety, UnreadableFolderCounts) {
  sim::SimMachine sim;
  ASSERT_TRUE(sim.files().MakeDirectories("C:\\Safe"));
  ASSERT_EQ(sim.files().ProtectFolder("C:\\Safe"), platform::kSuccess);
  EXPECT_EQ(install::FindReplaceableFolder(sim.machine(), "C:\\Safe\\No\\Such"), "");
  sim.files().FailOn(sim::FileOp::ReadSecurity, "C:\\Safe", platform::kAccessDenied);
  EXPECT_EQ(install::FindReplaceableFolder(sim.machine(), "C:\\Safe\\No\\Such"), "C:\\Safe");
}

}  // namespace
