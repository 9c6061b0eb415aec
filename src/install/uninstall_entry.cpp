// The Apps & features entry and the uninstaller it names.
#include "install/uninstall_entry.h"

#include <memory>

#include "install/install_texts.h"
#include "install/path_limits.h"
#include "install/payload.h"
#include "platform/text.h"
#include "platform/utf8_text.h"

namespace install {
namespace {

constexpr std::uint32_t kKiloByte = 1024;

std::string TwoDigits(int value) { return (value < 10 ? "0" : "") + std::to_string(value); }

// Copies the running program to `target`; false (said in `record`) when it is not there after.
bool PlaceProgram(platform::Machine& machine, const std::string& target, InstallRecord& record) {
  std::string program;
  platform::Status status = machine.system.ModulePath(platform::kLongestPathChars, program);
  // Run from the install folder (the placed copy started as an installer), it is there already.
  if (status == platform::kSuccess && !text::EqualsNoCase(program, target)) {
    status = platform::kFilenameTooLong;
    if (FitsMaxPath(program) && FitsMaxPath(target)) {
      ClearReadOnly(target, machine);
      status = machine.files.CopyFile(program, target, false);
    }
  }
  platform::FindEntry entry;
  std::unique_ptr<platform::Listing> listing;
  if (status == platform::kSuccess) status = machine.files.FindFirst(target, entry, listing);
  if (status != platform::kSuccess) {
    record.Failed(target, status, kIssueNoUninstaller);
    return false;
  }
  // A downloaded installer's copy would carry the download's mark, and Windows would ask before
  // starting the uninstall; read-only, it could not be replaced by the next installation.
  ClearReadOnly(target, machine);
  RemoveZoneMark(target, machine);
  record.FileCopied(target, entry.size);
  return true;
}

}  // namespace

std::string VersionText(int version) {
  return std::to_string(version / 10000) + "." + TwoDigits(version % 10000 / 100) + "." + TwoDigits(version % 100);
}

void RegisterUninstaller(platform::Machine& machine, const std::string& installFolder, int version,
                         InstallRecord& record) {
  const std::string program = installFolder + "\\" + kUninstallerName;
  if (!PlaceProgram(machine, program, record)) return;

  const platform::LocalTime today = machine.logging.clock.Now();
  const std::string command = "\"" + program + "\"" + kUninstallSwitch;
  // What the program copied, rounded up to whole kilobytes as Apps & features counts them.
  const auto size = static_cast<std::uint32_t>((record.CopiedBytes() + kKiloByte - 1) / kKiloByte);
  const struct {
    const char* name;
    std::string text;
  } texts[] = {
      {"DisplayVersion", VersionText(version)},
      {"Publisher", kPublisher},
      {kInstallLocationValue, installFolder},
      {"DisplayIcon", program + ",0"},
      {"InstallDate", std::to_string(today.year * 10000 + today.month * 100 + today.day)},
      {"UninstallString", command},
      {"QuietUninstallString", command + kQuietSwitch},
  };
  const struct {
    const char* name;
    std::uint32_t number;
  } numbers[] = {{"EstimatedSize", size}, {"NoModify", 1}, {"NoRepair", 1}};

  const std::string keyName = std::string("HKEY_LOCAL_MACHINE\\") + kUninstallKeyPath;
  platform::Registry& registry = machine.registry;
  platform::UniqueKey root;
  platform::UniqueKey key;
  if (registry.OpenRoot(platform::RootKey::LocalMachine, root) != platform::kSuccess ||
      registry.CreateKey(root.get(), kUninstallKeyPath, key) != platform::kSuccess) {
    Report(&record, keyName);
    return;
  }
  // Every value is still tried, as for the load keys; what failed is named once, by its key.
  bool allSet = true;
  const auto noted = [&](platform::Status status, const char* name, std::uint32_t type, std::u8string_view shown) {
    if (status != platform::kSuccess) {
      allSet = false;
    } else {
      record.ValueWritten(platform::RootKey::LocalMachine, kUninstallKeyPath, name, type, shown);
    }
  };
  // The name is Chinese: set through the wide function, it reads right whatever the code page.
  noted(registry.SetTextW(key.get(), u8"DisplayName", platform::kRegSz, kProductName), "DisplayName",
        platform::kRegSz, kProductName);
  for (const auto& value : texts) {
    noted(registry.SetValue(key.get(), value.name, platform::kRegSz, platform::SzData(value.text)), value.name,
          platform::kRegSz, text::FromAnsi(value.text));
  }
  for (const auto& value : numbers) {
    noted(registry.SetValue(key.get(), value.name, platform::kRegDword, platform::DwordData(value.number)),
          value.name, platform::kRegDword, text::AsUtf8(std::to_string(value.number)));
  }
  if (!allSet) Report(&record, keyName);
}

}  // namespace install
