// The platform a contract test runs against: the simulated machine (host) or the Win32 adapter (under Wine).
#pragma once
#include <memory>
#include <string>
#include <string_view>

#include "platform/files.h"
#include "platform/payload_integrity.h"
#include "platform/registry.h"
#include "platform/system.h"

namespace contract {

class Env {
 public:
  virtual ~Env() = default;  // removes the scratch key and folder
  virtual platform::Registry& Registry() = 0;
  virtual platform::FileSystem& Files() = 0;
  virtual platform::SystemInfo& System() = 0;
  virtual platform::PayloadIntegrity& Integrity() = 0;
  // Writes a new file of exactly these bytes at `path` (ANSI): a source of a chosen length.
  virtual platform::Status WriteBytes(const std::string& path, std::string_view bytes) = 0;
  // A key path under HKEY_CURRENT_USER that exists, is empty and belongs to this test alone.
  virtual std::string ScratchKey() = 0;
  // Makes a link key at `path` leading to the key at `targetPath` (both under HKEY_CURRENT_USER,
  // ANSI), as RegCreateKeyExW with REG_OPTION_CREATE_LINK and a "SymbolicLinkValue" do. The
  // program never makes one; the tests make sure that walking through one works as on Windows.
  virtual platform::Status CreateLink(const std::string& path, const std::string& targetPath) = 0;
  // Writes the key at `path` under HKEY_CURRENT_USER and everything below it into the hive file
  // `file` (a new file), as RegSaveKeyW with the backup privilege does: a hive to load, made by the
  // test, since the program never writes one.
  virtual platform::Status SaveHive(const std::string& path, const std::u8string& file) = 0;
  // How many of the backup and restore privileges the process token has enabled right now.
  virtual int EnabledHivePrivileges() = 0;
  // Hive names under HKEY_USERS that belong to this test alone: "<prefix><unique>".
  virtual std::u8string UniqueHiveName(std::u8string_view prefix) = 0;
  // A symbolic link to a file at `path` leading to `target` (CreateSymbolicLinkW), and a second name
  // `path` for the file at `existing` (CreateHardLinkW): what someone may plant where the program
  // writes. The program makes neither.
  virtual platform::Status MakeFileLink(const std::string& path, const std::string& target) = 0;
  virtual platform::Status MakeHardLink(const std::string& existing, const std::string& path) = 0;
  // An existing, empty folder on a drive letter (no trailing backslash) that belongs to this test alone.
  virtual std::string ScratchDir() = 0;
  // Where Wine departs from Windows' documented behaviour the test follows Windows and skips
  // the check on Wine, saying why. False on the simulated machine and on real Windows.
  virtual bool IsWine() = 0;
};

// A fresh environment for one test.
std::unique_ptr<Env> MakeEnv();

}  // namespace contract
