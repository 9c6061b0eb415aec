// The install folder's protected access list, through the install button on the simulated
// machine: set on exactly the folder SetUp.exe creates, before the first file goes into it, and a
// failure stops the installation with a message.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "install/install_sequence.h"
#include "platform/machine.h"
#include "platform/sim/sim_machine.h"
#include "platform/text.h"
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
  Status ProtectFolder(const std::string& path) override {
    log.push_back("protect " + path);
    return inner_.ProtectFolder(path);
  }

 private:
  platform::FileSystem& inner_;
};

// The two-release machine with the payload beside the installer and the setup dialog open on it,
// its file system recorded.
struct Rig {
  Rig() : files(sim.files()), machine{sim.registry(), files, sim.system(), sim.prompts()}, view(gdi), dlg(catalog, machine) {
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
    sim.files().AddDrive('D');
    sim.prompts().OnUnscripted([](const sim::SimPrompts::Box& box) { ADD_FAILURE() << "unexpected box: " << box.text; });
    for (int id : {IDC_FINISH, IDC_PROGRESS, IDC_MENU_PICTURE, IDC_DONE_NOTE}) view.At(id).visible = false;
    dlg.AttachView(&view);
    dlg.OnInitDialog();
  }

  void Press(const std::string& folder) {
    view.At(IDC_PATH).text = folder;
    EXPECT_TRUE(dlg.RouteCommand(ui::kBnClicked, IDC_INSTALL));
  }
  bool Finished() { return view.At(IDC_DONE_NOTE).visible && view.At(IDC_FINISH).visible; }
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

// Whatever the user chose, only the folder SetUp.exe creates inside it is locked down, and it is
// locked down before anything is copied into it; what was already in the chosen folder keeps what
// it had, and what the payload copy puts into the install folder inherits the protected list.
TEST(InstallProtect, ProtectsExactlyTheInstallFolderBeforeTheFirstCopy) {
  const struct {
    const char* typed;
    const char* chosen;
    const char* installFolder;
  } cases[] = {
      {"C:\\Vornex", "C:\\Vornex", "C:\\Vornex\\V-ZurezUvad"},
      {"C:\\Tools\\", "C:\\Tools", "C:\\Tools\\V-ZurezUvad"},
      {"D:\\", "D:\\", "D:\\V-ZurezUvad"},
      {"C:\\Program Files\\Vornex", "C:\\Program Files\\Vornex", "C:\\Program Files\\Vornex\\V-ZurezUvad"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed);
    Rig rig;
    // A file of the user's own in the chosen folder.
    const std::string chosen = c.chosen;
    const std::string neighbour = chosen + (chosen.back() == '\\' ? "" : "\\") + "notes.txt";
    ASSERT_TRUE(rig.sim.files().WriteFile(neighbour, "mine"));
    rig.Press(c.typed);
    EXPECT_TRUE(rig.Finished());

    EXPECT_EQ(rig.Logged("protect"), std::vector<std::string>{c.installFolder});
    // Nothing lands in the install folder before it is protected.
    const std::string inside = std::string(c.installFolder) + "\\";
    bool protectedYet = false;
    std::size_t copiedInside = 0;
    for (const std::string& entry : rig.files.log) {
      if (entry == std::string("protect ") + c.installFolder) protectedYet = true;
      if (entry.rfind("copy " + inside, 0) == 0) {
        ++copiedInside;
        EXPECT_TRUE(protectedYet) << entry;
      }
    }
    EXPECT_EQ(copiedInside, 3u);  // the payload but the settings file
    EXPECT_EQ(rig.sim.files().AclOf(c.installFolder), Acl::kProtected);
    EXPECT_EQ(rig.sim.files().AclOf(c.chosen), Acl::kOrdinary);
    EXPECT_EQ(rig.sim.files().AclOf(neighbour), Acl::kOrdinary);
    for (const std::string& file : rig.sim.files().Tree(c.installFolder)) {
      EXPECT_EQ(rig.sim.files().AclOf(file), Acl::kInheritsProtected) << file;
    }
    // The settings file goes to the user's own folder, which the install folder's list does not reach.
    EXPECT_EQ(rig.sim.files().AclOf(kSettings), Acl::kOrdinary);
  }
}

// A second installation over the first: the existing folder is protected again, and what it holds
// comes under the protected list, a file left there by someone else included.
TEST(InstallProtect, ReinstallBringsExistingContentUnderTheList) {
  Rig rig;
  ASSERT_TRUE(rig.sim.files().WriteFile("C:\\Vornex\\V-ZurezUvad\\planted.arx", "someone else's"));
  ASSERT_EQ(rig.sim.files().AclOf("C:\\Vornex\\V-ZurezUvad"), Acl::kOrdinary);
  rig.Press("C:\\Vornex");
  EXPECT_TRUE(rig.Finished());
  EXPECT_EQ(rig.sim.files().AclOf("C:\\Vornex\\V-ZurezUvad"), Acl::kProtected);
  EXPECT_EQ(rig.sim.files().AclOf("C:\\Vornex\\V-ZurezUvad\\planted.arx"), Acl::kInheritsProtected);
  EXPECT_EQ(rig.sim.files().AclOf("C:\\Vornex"), Acl::kOrdinary);
}

// When the list cannot be set, the user is told, nothing is copied or registered, and the dialog
// stays as it was so that another folder can be chosen; the next press tries again.
TEST(InstallProtect, FailureStopsBeforeAnythingIsCopied) {
  const struct {
    Status status;
    const char* code;
  } cases[] = {
      {platform::kAccessDenied, "5"},
      {50, "50"},  // ERROR_NOT_SUPPORTED: a volume that keeps no access lists
      {platform::kInvalidParameter, "87"},
  };
  const std::string folder = "C:\\Vornex\\V-ZurezUvad";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    Rig rig;
    rig.sim.files().FailOn(sim::FileOp::ProtectFolder, folder, c.status, 1);
    rig.sim.prompts().Answer(platform::kIdOk);
    rig.Press("C:\\Vornex");

    ASSERT_EQ(rig.sim.prompts().Boxes().size(), 1u);
    const sim::SimPrompts::Box& box = rig.sim.prompts().Boxes()[0];
    EXPECT_EQ(box.text,
              "无法设置安装文件夹 C:\\Vornex\\V-ZurezUvad 的访问权限 !\n\n"
              "AutoCAD会以每位用户的身份加载此文件夹中的程序，普通用户不应能修改它们，因此安装已停止。\n\n"
              "请选择NTFS磁盘上的其他安装路径后重新安装。\n\n错误代码：" +
                  std::string(c.code));
    EXPECT_EQ(box.caption, "V-软件安装");
    EXPECT_EQ(box.flags, platform::kMbOk);
    EXPECT_EQ(box.owner, 0u);

    EXPECT_TRUE(rig.Logged("copy").empty());
    EXPECT_TRUE(rig.sim.files().Tree(folder).empty());
    EXPECT_FALSE(rig.sim.files().Exists(kSettings));
    EXPECT_FALSE(rig.sim.registry().KeyExists(RootKey::LocalMachine, kDemandLoadKey));
    EXPECT_TRUE(rig.catalog.m_strInstallFolder.empty());
    // Still choosing: the folder controls are there, no progress, the dialog open.
    EXPECT_TRUE(rig.view.At(IDC_PATH).visible);
    EXPECT_EQ(rig.view.At(IDC_PATH).text, "C:\\Vornex");
    EXPECT_FALSE(rig.view.At(IDC_PROGRESS).visible);
    EXPECT_TRUE(rig.view.progress[IDC_PROGRESS].calls.empty());
    EXPECT_TRUE(rig.view.endResults.empty());
    EXPECT_FALSE(rig.Finished());

    // The failure was for one try only: the same press now installs.
    rig.Press("C:\\Vornex");
    EXPECT_TRUE(rig.Finished());
    EXPECT_EQ(rig.sim.files().AclOf(folder), Acl::kProtected);
    EXPECT_TRUE(rig.sim.files().Exists(kSettings));
    EXPECT_EQ(rig.sim.prompts().Boxes().size(), 1u);
  }
}

// A folder that could not be created has nothing to protect and nothing can be copied into it: the
// payload copy reports that as before, with its own message, and no word about access lists.
TEST(InstallProtect, MissingFolderIsLeftToThePayloadCopy) {
  Rig rig;
  rig.sim.prompts().Answer(platform::kIdAbort);
  rig.Press("C:\\No\\Such");
  EXPECT_EQ(rig.Logged("protect"), std::vector<std::string>{"C:\\No\\Such\\V-ZurezUvad"});
  ASSERT_EQ(rig.sim.prompts().Boxes().size(), 1u);
  EXPECT_EQ(rig.sim.prompts().Boxes()[0].flags, platform::kMbAbortRetryIgnore);
  EXPECT_EQ(rig.sim.prompts().Boxes()[0].text.find("访问权限"), std::string::npos);
  EXPECT_EQ(rig.view.endResults, std::vector<int>{platform::kIdCancel});
}

}  // namespace
