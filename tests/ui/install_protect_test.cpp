// The folder checks and protected access lists, through the install button on the simulated
// machine: set on the folders SetUp.exe creates and on all an existing install folder holds, before
// the first file goes into it; a failure stops the installation with a message; a folder others
// could replace is asked about, a link refused.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "install/install_sequence.h"
#include "records/install_texts.h"
#include "platform/machine.h"
#include "platform/sim/sim_machine.h"
#include "platform/text.h"
#include "platform/utf8_text.h"
#include "support/fixtures.h"
#include "ui/dlg_setup.h"
#include "ui/fake_dialog_view.h"
#include "ui/setup_ids.h"

namespace {

using platform::RootKey;
using platform::Status;
using sim::Acl;

constexpr const char* kData = "C:\\Setup\\Data";
constexpr const char* kSettings = "C:\\Users\\User\\AppData\\Roaming\\Vornex\\Vornex.Ini";
constexpr const char* kDemandLoadKey =
    "SOFTWARE\\Autodesk\\AutoCAD\\R18.0\\ACAD-8001:804\\Applications\\VX_ZurezUvad2010";

// Lets the simulated file system answer and writes down the calls that change the disk, in order.
class RecordingFiles final : public platform::FileSystem {
 public:
  explicit RecordingFiles(platform::FileSystem& inner) : inner_(inner) {}
  std::vector<std::string> log;

  Status FindFirst(const std::string& pattern, platform::FindEntry& first,
                   std::unique_ptr<platform::Listing>& listing) override {
    return inner_.FindFirst(pattern, first, listing);
  }
  Status CreateDirectory(const std::string& path) override {
    log.push_back("mkdir " + path);
    return inner_.CreateDirectory(path);
  }
  Status CopyFile(const std::string& source, const std::string& destination, bool failIfExists) override {
    log.push_back("copy " + destination);
    return inner_.CopyFile(source, destination, failIfExists);
  }
  Status GetAttributes(const std::string& path, std::uint32_t& attributes) override {
    return inner_.GetAttributes(path, attributes);
  }
  Status SetAttributes(const std::string& path, std::uint32_t attributes) override {
    return inner_.SetAttributes(path, attributes);
  }
  Status DeleteFile(const std::string& path) override { return inner_.DeleteFile(path); }
  Status MoveFile(const std::string& source, const std::string& destination) override {
    return inner_.MoveFile(source, destination);
  }
  Status RemoveDirectory(const std::string& path) override {
    log.push_back("rmdir " + path);
    return inner_.RemoveDirectory(path);
  }
  Status DeleteLater(const std::string& path) override {
    log.push_back("delete later " + path);
    return inner_.DeleteLater(path);
  }
  Status ProtectFolder(const std::string& path) override {
    log.push_back("protect " + path);
    return inner_.ProtectFolder(path);
  }
  Status FlushFile(const std::string& path) override { return inner_.FlushFile(path); }
  Status ReadSecurity(const std::string& path, platform::FileSecurity& security) override {
    return inner_.ReadSecurity(path, security);
  }
  Status CancelDeleteLater(const std::string& path) override { return inner_.CancelDeleteLater(path); }
  Status ProtectPrivateFolder(const std::string& path) override { return inner_.ProtectPrivateFolder(path); }
  Status SetOwner(const std::string& path, const std::string& sid) override { return inner_.SetOwner(path, sid); }

 private:
  platform::FileSystem& inner_;
};

// The two-release machine with the payload beside the installer and the setup dialog open on it,
// its file system recorded.
struct Rig {
  Rig() : files(sim.files()), machine{sim.registry(), files, sim.system(), sim.prompts(), sim.logging().support(), sim.integrity()}, view(gdi), dlg(catalog, machine) {
    g_bCheckAcadRunning = true;
    const sim::RegFileResult loaded = support::LoadRegistryFixture(sim, "registry/two-releases.reg");
    EXPECT_TRUE(loaded) << loaded.Describe();
    catalog.Scan(sim.registry());
    for (const char* name : {"VX_ZurezUvad2010.arx", "VXCAD2010P.dll", "itextsharp.dll", "Vornex.Ini"}) {
      EXPECT_TRUE(sim.files().WriteFile(std::string(kData) + "\\" + name, name));
    }
    // The AutoCAD folders the registry names, so that the support files have somewhere to go.
    for (const char* acad : {"C:\\Program Files\\Autodesk\\AutoCAD 2010", "C:\\Program Files\\Autodesk\\AutoCAD 2022"}) {
      EXPECT_TRUE(sim.files().MakeDirectories(std::string(acad) + "\\Fonts"));
    }
    // Only administrators may change C:\Program Files, as Windows sets it up.
    EXPECT_EQ(sim.files().ProtectFolder("C:\\Program Files"), platform::kSuccess);
    sim.files().AddDrive('D');
    sim.prompts().OnUnscripted([](const sim::SimPrompts::Box& box) {
      ADD_FAILURE() << "unexpected box: " << text::Utf8Bytes(box.text);
    });
    for (int id : {IDC_FINISH, IDC_PROGRESS, IDC_MENU_PICTURE, IDC_DONE_NOTE}) view.At(id).visible = false;
    dlg.AttachView(&view);
    dlg.OnInitDialog();
  }

  void Press(const std::string& folder) {
    view.At(IDC_PATH).text = folder;
    EXPECT_TRUE(dlg.RouteCommand(ui::kBnClicked, IDC_INSTALL));
  }
  bool Finished() { return view.At(IDC_DONE_NOTE).visible && view.At(IDC_FINISH).visible; }
  // Still choosing, nothing copied or registered: the folder controls are there with the text as
  // typed, no progress, the dialog open.
  void ExpectStillChoosing(const std::string& typed) {
    EXPECT_TRUE(Logged("copy").empty());
    EXPECT_FALSE(sim.files().Exists(kSettings));
    EXPECT_FALSE(sim.registry().KeyExists(RootKey::LocalMachine, kDemandLoadKey));
    EXPECT_TRUE(catalog.m_strInstallFolder.empty());
    EXPECT_TRUE(view.At(IDC_PATH).visible);
    EXPECT_EQ(view.At(IDC_PATH).text, typed);
    EXPECT_FALSE(view.At(IDC_PROGRESS).visible);
    EXPECT_TRUE(view.progress[IDC_PROGRESS].calls.empty());
    EXPECT_TRUE(view.endResults.empty());
    EXPECT_FALSE(Finished());
  }
  // The paths of the recorded calls of one kind ("mkdir", "copy", "protect"), in order.
  std::vector<std::string> Logged(const std::string& verb) const {
    std::vector<std::string> found;
    for (const std::string& entry : files.log) {
      if (entry.rfind(verb + " ", 0) == 0) found.push_back(entry.substr(verb.size() + 1));
    }
    return found;
  }

  sim::SimMachine sim;
  RecordingFiles files;
  platform::Machine machine;
  CAcadCatalog catalog;
  uitest::FakeGdi gdi;
  uitest::FakeDialogView view;
  Dlg_Setup dlg;
};

// The folders SetUp.exe creates are locked down before anything is copied into them: the install
// folder always, the chosen folder when it was not there before; a chosen folder that was there
// keeps what it had, and so does what it held. What the payload copy puts into the install folder
// inherits the protected list.
TEST(InstallProtect, ProtectsTheFoldersItCreatesBeforeTheFirstCopy) {
  const struct {
    const char* typed;
    const char* chosen;  // made and locked down by an administrator before, unless empty
    std::vector<std::string> protectedFolders;
  } cases[] = {
      {"C:\\Vornex", "", {"C:\\Vornex", "C:\\Vornex\\V-ZurezUvad"}},
      {"C:\\Tools\\", "C:\\Tools", {"C:\\Tools\\V-ZurezUvad"}},
      {"D:\\", "D:\\", {"D:\\V-ZurezUvad"}},
      {"C:\\Program Files\\Vornex", "", {"C:\\Program Files\\Vornex", "C:\\Program Files\\Vornex\\V-ZurezUvad"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed);
    Rig rig;
    const std::string chosen = c.chosen;
    const std::string neighbour = chosen + (chosen.size() > 3 ? "\\" : "") + "notes.txt";
    if (!chosen.empty()) {
      ASSERT_TRUE(rig.sim.files().WriteFile(neighbour, "mine"));
      if (chosen.size() > 3) {
        ASSERT_EQ(rig.sim.files().ProtectFolder(chosen), platform::kSuccess);
      }
    }
    const std::optional<sim::SimSecurity> chosenBefore = rig.sim.files().SecurityOf(chosen);
    const std::optional<sim::SimSecurity> neighbourBefore = rig.sim.files().SecurityOf(neighbour);
    rig.Press(c.typed);
    EXPECT_TRUE(rig.Finished());

    EXPECT_EQ(rig.Logged("protect"), c.protectedFolders);
    const std::string installFolder = c.protectedFolders.back();
    // Nothing lands in a created folder before it is protected.
    bool protectedYet = false;
    std::size_t copiedInside = 0;
    for (const std::string& entry : rig.files.log) {
      if (entry == "protect " + installFolder) protectedYet = true;
      if (entry.rfind("copy " + installFolder + "\\", 0) == 0) {
        ++copiedInside;
        EXPECT_TRUE(protectedYet) << entry;
      }
    }
    EXPECT_EQ(copiedInside, 5u);  // the payload but the settings file, the uninstaller, the settings kept for later users
    for (const std::string& folder : c.protectedFolders) {
      EXPECT_EQ(rig.sim.files().AclOf(folder), Acl::kProtected) << folder;
      EXPECT_EQ(rig.sim.files().SecurityOf(folder)->owner, platform::kSidAdministrators) << folder;
    }
    if (!chosen.empty()) {
      EXPECT_EQ(rig.sim.files().SecurityOf(chosen)->explicitEntries, chosenBefore->explicitEntries);
      EXPECT_EQ(rig.sim.files().SecurityOf(neighbour)->inherited, neighbourBefore->inherited);
    }
    for (const std::string& file : rig.sim.files().Tree(installFolder)) {
      EXPECT_EQ(rig.sim.files().AclOf(file), Acl::kInheritsProtected) << file;
    }
    // The settings file goes to the user's own folder, which the install folder's list does not reach.
    EXPECT_EQ(rig.sim.files().AclOf(kSettings), Acl::kOrdinary);
  }
}

// A standard user made C:\Vornex and C:\Vornex\V-ZurezUvad before, and set entries of their own on
// a file and a folder inside. Asked about C:\Vornex, the user answers Yes: everything in the
// install folder then belongs to Administrators and inherits the protected list alone; the chosen
// folder keeps what it had.
TEST(InstallProtect, ExistingInstallFolderIsResetThroughout) {
  Rig rig;
  constexpr const char* kUser = "S-1-5-21-1-2-3-1001";
  const std::vector<sim::SimAce> usersOwn{{kUser, true, platform::kFileAllAccess, sim::kObjectInherit}};
  ASSERT_TRUE(rig.sim.files().MakeFolderAs("C:\\Vornex", kUser));
  ASSERT_TRUE(rig.sim.files().MakeFolderAs("C:\\Vornex\\V-ZurezUvad\\sub", kUser));
  ASSERT_TRUE(rig.sim.files().WriteFile("C:\\Vornex\\V-ZurezUvad\\planted.arx", "someone else's"));
  ASSERT_TRUE(rig.sim.files().SetSecurity("C:\\Vornex\\V-ZurezUvad\\planted.arx", kUser, usersOwn));
  ASSERT_TRUE(rig.sim.files().SetSecurity("C:\\Vornex\\V-ZurezUvad\\sub", kUser, usersOwn, true));
  rig.sim.prompts().Answer(platform::kIdYes);
  rig.Press("C:\\Vornex");
  ASSERT_EQ(rig.sim.prompts().Boxes().size(), 1u);
  EXPECT_EQ(rig.sim.prompts().Boxes()[0].text, install::WithPath(install::kReplaceableFolderText, "C:\\Vornex"));
  EXPECT_TRUE(rig.Finished());
  EXPECT_EQ(rig.sim.files().AclOf("C:\\Vornex\\V-ZurezUvad"), Acl::kProtected);
  for (const char* inside : {"C:\\Vornex\\V-ZurezUvad\\planted.arx", "C:\\Vornex\\V-ZurezUvad\\sub"}) {
    EXPECT_EQ(rig.sim.files().AclOf(inside), Acl::kInheritsProtected) << inside;
    EXPECT_EQ(rig.sim.files().SecurityOf(inside)->owner, platform::kSidAdministrators) << inside;
  }
  EXPECT_EQ(rig.sim.files().SecurityOf("C:\\Vornex")->owner, kUser);
}

// Refused or declined before anything is created, the dialog left as it was: a link as the chosen
// or the install folder is refused by name; a folder others could replace is named in a question
// whose default is No, and No declines.
TEST(InstallProtect, StopsBeforeAnythingIsCreated) {
  const std::uint32_t question = platform::kMbYesNo | platform::kMbIconExclamation | platform::kMbDefButton2;
  const struct {
    const char* junction;
    const char8_t* text;
    const char* named;
    std::uint32_t flags;
  } cases[] = {
      {"C:\\Vornex", install::kReparseFolderText, "C:\\Vornex", platform::kMbOk},
      {"C:\\Vornex\\V-ZurezUvad", install::kReparseFolderText, "C:\\Vornex\\V-ZurezUvad", platform::kMbOk},
      {nullptr, install::kReplaceableFolderText, "C:\\Vornex", question},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.named);
    Rig rig;
    const std::vector<sim::SimAce> openToAll{{platform::kSidUsers, true, platform::kFileAllAccess, 0}};
    ASSERT_TRUE(rig.sim.files().MakeFolderAs("C:\\Vornex", platform::kSidAdministrators, openToAll));
    ASSERT_TRUE(c.junction == nullptr || rig.sim.files().MakeJunction(c.junction));
    const std::vector<std::string> treeBefore = rig.sim.files().Tree();
    rig.sim.prompts().Answer(sim::SimPrompts::StopAnswer(c.flags));  // OK, or No
    rig.Press("C:\\Vornex");
    ASSERT_EQ(rig.sim.prompts().Boxes().size(), 1u);
    const sim::SimPrompts::Box& box = rig.sim.prompts().Boxes()[0];
    EXPECT_EQ(box.text, install::WithPath(c.text, c.named));
    EXPECT_EQ(box.caption, u8"V-软件安装");
    EXPECT_EQ(box.flags, c.flags);
    EXPECT_TRUE(rig.files.log.empty());
    EXPECT_EQ(rig.sim.files().Tree(), treeBefore);
    rig.ExpectStillChoosing("C:\\Vornex");
  }
}

// When a list cannot be set, the user is told, nothing is copied or registered, and the dialog
// stays as it was so that another folder can be chosen; the next press tries again. A chosen
// folder left unprotected by the failure is then one that others could replace, and is asked about.
TEST(InstallProtect, FailureStopsBeforeAnythingIsCopied) {
  const struct {
    const char* folder;
    Status status;
    const char8_t* code;
  } cases[] = {
      {"C:\\Vornex\\V-ZurezUvad", platform::kAccessDenied, u8"5"},
      {"C:\\Vornex\\V-ZurezUvad", 50, u8"50"},  // ERROR_NOT_SUPPORTED: a volume that keeps no access lists
      {"C:\\Vornex\\V-ZurezUvad", platform::kInvalidParameter, u8"87"},
      {"C:\\Vornex", platform::kAccessDenied, u8"5"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.folder);
    Rig rig;
    rig.sim.files().FailOn(sim::FileOp::ProtectFolder, c.folder, c.status, 1);
    rig.sim.prompts().Answer(platform::kIdOk);
    rig.Press("C:\\Vornex");

    ASSERT_EQ(rig.sim.prompts().Boxes().size(), 1u);
    const sim::SimPrompts::Box& box = rig.sim.prompts().Boxes()[0];
    EXPECT_EQ(box.text, u8"无法设置安装文件夹 " + text::FromAnsi(c.folder) +
                            u8" 的访问权限 !\n\n"
                            u8"AutoCAD会以每位用户的身份加载此文件夹中的程序，普通用户不应能修改它们，因此安装已停止。\n\n"
                            u8"请选择NTFS磁盘上的其他安装路径后重新安装。\n\n错误代码：" +
                            c.code);
    EXPECT_EQ(box.caption, u8"V-软件安装");
    EXPECT_EQ(box.flags, platform::kMbOk);
    EXPECT_EQ(box.owner, 0u);
    EXPECT_TRUE(rig.sim.files().Tree("C:\\Vornex\\V-ZurezUvad").empty());
    rig.ExpectStillChoosing("C:\\Vornex");

    // The stop took away the folders it had made, the chosen one too: the second press finds
    // nothing left open to ask about.
    EXPECT_FALSE(rig.sim.files().Exists("C:\\Vornex"));
    rig.Press("C:\\Vornex");
    EXPECT_TRUE(rig.Finished());
    EXPECT_EQ(rig.sim.files().AclOf("C:\\Vornex\\V-ZurezUvad"), Acl::kProtected);
    EXPECT_TRUE(rig.sim.files().Exists(kSettings));
    EXPECT_EQ(rig.sim.prompts().Boxes().size(), 1u);
  }
}

// A folder that could not be created has nothing to protect and nothing can be copied into it: the
// payload copy reports that, with its own message, and no word about access lists.
TEST(InstallProtect, MissingFolderIsLeftToThePayloadCopy) {
  Rig rig;
  rig.sim.prompts().Answer(platform::kIdOk);
  rig.sim.prompts().Answer(platform::kIdOk);
  rig.Press("C:\\No\\Such");
  EXPECT_EQ(rig.Logged("protect"), std::vector<std::string>{"C:\\No\\Such\\V-ZurezUvad"});
  ASSERT_EQ(rig.sim.prompts().Boxes().size(), 2u);
  EXPECT_EQ(rig.sim.prompts().Boxes()[1].text, install::kRolledBackText);
  EXPECT_EQ(rig.sim.prompts().Boxes()[0].flags, platform::kMbOk | platform::kMbIconExclamation);
  EXPECT_EQ(rig.sim.prompts().Boxes()[0].text.find(u8"访问权限"), std::u8string::npos);
  EXPECT_EQ(rig.view.endResults, std::vector<int>{platform::kIdCancel});
}

}  // namespace
