// ProtectFolder against the simulation and against Windows: the answers for missing paths, and the
// access list read back afterwards. On Windows (and Wine) the list is read with GetFileSecurityW and
// checked entry by entry; the simulation's record of it must say the same.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "contract/contract_env.h"
#include "platform/files.h"

#ifdef SETUP_CONTRACT_WIN32
#include <vector>

#include "platform/win32/wide_text.h"
#include "platform/win32/win32_files.h"
#include "platform/win32/windows_api.h"
// sddl.h needs windows.h before it.
#include <sddl.h>
#else
#include "platform/sim/sim_files.h"
#endif

namespace {

// What the read-back shows, in the simulation's terms.
enum class Seen {
  kOrdinary,           // not protected: whatever the folders above pass down
  kProtected,          // exactly the protected list, set on this entry
  kInheritsProtected,  // exactly the protected list's entries, inherited from a folder above
  kOther,              // protected, but not with that list; or unreadable
};

const char* Name(Seen seen) {
  switch (seen) {
    case Seen::kOrdinary: return "ordinary";
    case Seen::kProtected: return "protected";
    case Seen::kInheritsProtected: return "inherits protected";
    case Seen::kOther: return "other";
  }
  return "?";
}

#ifdef SETUP_CONTRACT_WIN32

bool IsWellKnown(PSID sid, WELL_KNOWN_SID_TYPE type) {
  BYTE buffer[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof(buffer);
  if (!::CreateWellKnownSid(type, nullptr, buffer, &size)) return false;
  return ::EqualSid(sid, buffer) != FALSE;
}

// Classifies a descriptor's DACL.
Seen Classify(PSECURITY_DESCRIPTOR descriptor) {
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  PACL dacl = nullptr;
  if (!::GetSecurityDescriptorControl(descriptor, &control, &revision) ||
      !::GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted)) {
    return Seen::kOther;
  }
  const bool isProtected = (control & SE_DACL_PROTECTED) != 0;

  // The three entries of the protected list, in its order.
  const struct {
    WELL_KNOWN_SID_TYPE sid;
    DWORD mask;
  } expected[] = {{WinBuiltinAdministratorsSid, FILE_ALL_ACCESS},
                  {WinLocalSystemSid, FILE_ALL_ACCESS},
                  {WinBuiltinUsersSid, FILE_GENERIC_READ | FILE_GENERIC_EXECUTE}};
  bool exact = present && dacl != nullptr && dacl->AceCount == 3;
  bool allOwn = true;        // OI and CI, set on this entry
  bool allInherited = true;  // marked inherited, nothing else but OI and CI
  for (WORD i = 0; exact && i < 3; ++i) {
    void* raw = nullptr;
    if (!::GetAce(dacl, i, &raw)) return Seen::kOther;
    const auto* ace = static_cast<const ACCESS_ALLOWED_ACE*>(raw);
    if (ace->Header.AceType != ACCESS_ALLOWED_ACE_TYPE || ace->Mask != expected[i].mask ||
        !IsWellKnown(const_cast<DWORD*>(&ace->SidStart), expected[i].sid)) {
      exact = false;
      break;
    }
    const BYTE flags = ace->Header.AceFlags;
    allOwn = allOwn && flags == (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
    allInherited = allInherited && (flags & INHERITED_ACE) != 0 &&
                   (flags & ~(OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE | INHERITED_ACE)) == 0;
  }
  if (isProtected) return exact && allOwn ? Seen::kProtected : Seen::kOther;
  if (exact && allInherited) return Seen::kInheritsProtected;
  return Seen::kOrdinary;
}

// Reads the entry's DACL and classifies it; `sddl` gets the list as text for the failure messages.
Seen ReadBack(const std::string& path, std::string& sddl) {
  const std::wstring wide = platform::win32::AnsiToWide(path);
  DWORD needed = 0;
  ::GetFileSecurityW(wide.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &needed);
  std::vector<BYTE> buffer(needed);
  const auto descriptor = static_cast<PSECURITY_DESCRIPTOR>(buffer.data());
  if (needed == 0 || !::GetFileSecurityW(wide.c_str(), DACL_SECURITY_INFORMATION, descriptor, needed, &needed)) {
    sddl = "(GetFileSecurityW failed, error " + std::to_string(::GetLastError()) + ")";
    return Seen::kOther;
  }
  LPWSTR text = nullptr;
  if (::ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION,
                                                            &text, nullptr)) {
    for (const wchar_t* c = text; *c != L'\0'; ++c) sddl += *c < 0x80 ? static_cast<char>(*c) : '?';
    ::LocalFree(text);
  }
  return Classify(descriptor);
}

// The reader itself, on descriptors made from text, the program's own list among them: were it
// wrong, the read-back below would prove nothing (and under Wine it is all there is to run).
TEST(ProtectedListReader, ClassifiesDescriptors) {
  const struct {
    const wchar_t* sddl;
    Seen seen;
  } cases[] = {
      {platform::win32::kProtectedFolderSddl, Seen::kProtected},
      {L"D:PAI(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;FRFX;;;BU)", Seen::kProtected},
      {L"D:AI(A;OICIID;FA;;;BA)(A;OICIID;FA;;;SY)(A;OICIID;0x1200a9;;;BU)", Seen::kInheritsProtected},
      {L"D:AI(A;ID;FA;;;BA)(A;ID;FA;;;SY)(A;ID;0x1200a9;;;BU)", Seen::kInheritsProtected},
      {L"D:(A;OICI;FA;;;SY)(A;OICI;FA;;;S-1-5-21-0-0-0-1000)(A;OICI;0x1200a9;;;WD)", Seen::kOrdinary},
      {L"D:AI(A;OICIID;FA;;;BA)(A;OICIID;FA;;;SY)(A;OICIID;0x1301bf;;;AU)", Seen::kOrdinary},
      {L"D:PAI(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;FA;;;BU)", Seen::kOther},       // users may write
      {L"D:PAI(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)", Seen::kOther},                      // users left out
      {L"D:PAI(A;CI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)", Seen::kOther},  // files not covered
      {L"D:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)", Seen::kOther},  // another order
      {L"D:PAI(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)(A;OICI;FA;;;WD)", Seen::kOther},
      {L"D:P", Seen::kOther},
  };
  for (const auto& c : cases) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(c.sddl, SDDL_REVISION_1, &descriptor, nullptr));
    EXPECT_EQ(Name(Classify(descriptor)), std::string(Name(c.seen)));
    ::LocalFree(descriptor);
  }
}

#else

Seen ReadBack(platform::FileSystem& files, const std::string& path, std::string& description) {
  const auto* sim = dynamic_cast<const sim::SimFileSystem*>(&files);
  const std::optional<sim::Acl> acl = sim != nullptr ? sim->AclOf(path) : std::nullopt;
  description = acl ? "simulated" : "nothing there";
  if (!acl) return Seen::kOther;
  switch (*acl) {
    case sim::Acl::kOrdinary: return Seen::kOrdinary;
    case sim::Acl::kProtected: return Seen::kProtected;
    case sim::Acl::kInheritsProtected: return Seen::kInheritsProtected;
    case sim::Acl::kOther: return Seen::kOther;
  }
  return Seen::kOther;
}

#endif

class ProtectFolderContract : public ::testing::Test {
 protected:
  void SetUp() override {
    env_ = contract::MakeEnv();
    dir_ = env_->ScratchDir();
    ASSERT_EQ(env_->System().ModulePath(1024, program_), platform::kSuccess);
  }

  platform::FileSystem& fs() { return env_->Files(); }
  std::string At(const std::string& name) const { return dir_ + "\\" + name; }

  Seen Read(const std::string& path, std::string& description) {
#ifdef SETUP_CONTRACT_WIN32
    return ReadBack(path, description);
#else
    return ReadBack(fs(), path, description);
#endif
  }

  // Wine 8 keeps no security descriptor for a file: it reads back one made from the Unix
  // permission bits (the running account as owner and with full control, SYSTEM full control,
  // Everyone read and execute), and its TreeResetNamedSecurityInfoW answers success and leaves the
  // files as they were, so the owner, the protected flag and the entries are never seen. Builds that keep descriptors in the "user.wine.sd" extended
  // attribute (wine-staging's stored-ACL patches, on a file system with user attributes) pass
  // the whole test.
  bool WineKeepsNoDescriptor(const std::string& protectedFolder, std::string& sddl) {
    if (!env_->IsWine()) return false;
    return Read(protectedFolder, sddl) == Seen::kOrdinary;
  }

  std::unique_ptr<contract::Env> env_;
  std::string dir_;
  std::string program_;
};

TEST_F(ProtectFolderContract, AnswersForWhatIsAtThePath) {
  ASSERT_EQ(fs().CreateDirectory(At("folder")), platform::kSuccess);
  const struct {
    const char* name;
    platform::Status status;
  } cases[] = {
      {"folder", platform::kSuccess},
      {"FOLDER", platform::kSuccess},  // names compare without regard to case
      {"missing", platform::kFileNotFound},
      {"missing\\child", platform::kPathNotFound},
  };
  for (const auto& c : cases) EXPECT_EQ(fs().ProtectFolder(At(c.name)), c.status) << c.name;
  std::uint32_t attributes = 0;
  EXPECT_NE(fs().GetAttributes(At("missing"), attributes), platform::kSuccess) << "protecting created something";
}

// The list on the folder itself, on what it already held, on what is created in it afterwards,
// and not on the folder above; a protected folder inside keeps its own.
TEST_F(ProtectFolderContract, ReadsBackAsTheProtectedList) {
  ASSERT_EQ(fs().CreateDirectory(At("app")), platform::kSuccess);
  ASSERT_EQ(fs().CreateDirectory(At("app\\inner")), platform::kSuccess);
  ASSERT_EQ(fs().CopyFile(program_, At("app\\before.bin"), false), platform::kSuccess);
  ASSERT_EQ(fs().ProtectFolder(At("app")), platform::kSuccess);
  if (std::string sddl; WineKeepsNoDescriptor(At("app"), sddl)) {
    GTEST_SKIP() << "this Wine keeps no security descriptor for files (it reads back one made from the Unix "
                    "permission bits and keeps no user.wine.sd attribute), so the protected list cannot be read "
                    "back; it reads "
                 << sddl;
  }
  // Owned by Administrators, with exactly the three entries as ReadSecurity reports them.
  platform::FileSecurity security;
  ASSERT_EQ(fs().ReadSecurity(At("app"), security), platform::kSuccess);
  EXPECT_EQ(security.owner, platform::kSidAdministrators);
  std::string entries;  // sid:mask, '-' before a denial, '*' after an inherit-only entry
  for (const platform::AccessEntry& entry : security.entries) {
    entries += (entry.allow ? "" : "-") + entry.sid + ":" + std::to_string(entry.mask);
    entries += entry.inheritOnly ? "* " : " ";
  }
  EXPECT_EQ(entries, "S-1-5-32-544:2032127 S-1-5-18:2032127 S-1-5-32-545:1179817 ");
  ASSERT_EQ(fs().CreateDirectory(At("app\\sub")), platform::kSuccess);
  ASSERT_EQ(fs().CopyFile(program_, At("app\\sub\\after.bin"), false), platform::kSuccess);
  ASSERT_EQ(fs().CopyFile(program_, At("app\\after.bin"), false), platform::kSuccess);
  ASSERT_EQ(fs().CopyFile(program_, At("beside.bin"), false), platform::kSuccess);

  const struct {
    std::string path;
    Seen seen;
    bool wineDeparts;  // a check Wine is known not to honour; see the note below
  } cases[] = {
      {At("app"), Seen::kProtected, false},
      {dir_, Seen::kOrdinary, false},
      {At("beside.bin"), Seen::kOrdinary, false},
      {At("app\\sub"), Seen::kInheritsProtected, false},
      {At("app\\sub\\after.bin"), Seen::kInheritsProtected, false},
      {At("app\\after.bin"), Seen::kInheritsProtected, false},
      // What the folder held before: TreeResetNamedSecurityInfoW brings it under the new list.
      {At("app\\inner"), Seen::kInheritsProtected, true},
      {At("app\\before.bin"), Seen::kInheritsProtected, true},
  };
  for (const auto& c : cases) {
    std::string description;
    const Seen seen = Read(c.path, description);
    if (c.wineDeparts && env_->IsWine() && seen != c.seen) {
      std::printf("  note: Wine does not carry the new list to what %s already held (%s: %s)\n", At("app").c_str(),
                  c.path.c_str(), description.c_str());
      continue;
    }
    EXPECT_EQ(Name(seen), std::string(Name(c.seen))) << c.path << ": " << description;
  }

  // A folder protected on its own inside loses its list when the outer one is set again: whoever
  // set it could have kept a grip on what is inside.
  ASSERT_EQ(fs().ProtectFolder(At("app\\sub")), platform::kSuccess);
  ASSERT_EQ(fs().ProtectFolder(At("app")), platform::kSuccess);
  for (const char* inside : {"app\\sub", "app\\sub\\after.bin"}) {
    std::string description;
    EXPECT_EQ(Name(Read(At(inside), description)), std::string(Name(Seen::kInheritsProtected))) << description;
    ASSERT_EQ(fs().ReadSecurity(At(inside), security), platform::kSuccess);
    EXPECT_EQ(security.owner, platform::kSidAdministrators) << inside;
  }
}

// What the program creates belongs to the account it runs as, or, run elevated by an
// administrator, to Administrators; the account reads as a SID string of its own.
TEST_F(ProtectFolderContract, NewFolderBelongsToTheRunningAccount) {
  std::string account;
  ASSERT_EQ(env_->System().AccountSid(account), platform::kSuccess);
  EXPECT_EQ(account.rfind("S-1-5-", 0), 0u) << account;
  ASSERT_EQ(fs().CreateDirectory(At("mine")), platform::kSuccess);
  platform::FileSecurity security;
  ASSERT_EQ(fs().ReadSecurity(At("mine"), security), platform::kSuccess);
  EXPECT_TRUE(security.owner == account || security.owner == platform::kSidAdministrators) << security.owner;
  EXPECT_FALSE(security.entries.empty());
  EXPECT_EQ(fs().ReadSecurity(At("missing"), security), platform::kFileNotFound);
}

}  // namespace
