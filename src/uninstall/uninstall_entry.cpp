// The Apps & features entry and the uninstaller it names.
#include "uninstall/uninstall_entry.h"

#include <memory>

#include "records/install_texts.h"
#include "platform/path_limits.h"
#include "platform/file_queries.h"
#include "platform/text.h"
#include "platform/utf8_text.h"

namespace install {
namespace {

constexpr std::uint32_t kKiloByte = 1024;

std::u8string TwoDigits(int value) { return (value < 10 ? u8"0" : u8"") + text::Decimal(value); }

// Copies the running program to `target`; false (said in `record`) when it is not there after.
bool PlaceProgram(platform::Machine& machine, const std::string& target, InstallRecord& record) {
  std::string program;
  platform::Status status = machine.system.ModulePath(platform::kLongestPathChars, program);
  // Run from the install folder (the placed copy started as an installer), it is there already.
  if (status == platform::kSuccess && !text::EqualsNoCase(program, target)) {
    status = platform::kFilenameTooLong;
    if (FitsMaxPath(program) && FitsMaxPath(target)) {
      ClearReadOnly(target, machine);
      status = record.BeforeFile(target);
      if (status == platform::kSuccess) status = machine.files.CopyFile(program, target, false);
      if (status != platform::kSuccess) record.Unwritten(target);
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

std::u8string VersionText(int version) {
  return text::Decimal(version / 10000) + u8"." + TwoDigits(version % 10000 / 100) + u8"." + TwoDigits(version % 100);
}

void RegisterUninstaller(platform::Machine& machine, const std::string& installFolder, int version,
                         InstallRecord& record, bool systemComponent) {
  const std::string program = installFolder + "\\" + kUninstallerName;
  if (!PlaceProgram(machine, program, record)) return;

  const platform::LocalTime today = machine.logging.clock.Now();
  const std::u8string command = u8"\"" + text::FromAnsi(program) + u8"\"" + kUninstallSwitch;
  // What the program copied, rounded up to whole kilobytes as Apps & features counts them.
  const auto size = static_cast<std::uint32_t>((record.CopiedBytes() + kKiloByte - 1) / kKiloByte);
  // Set through the wide function, the Chinese name reads right whatever the code page; the rest
  // goes the same way.
  const struct {
    const char8_t* name;
    std::u8string text;
  } texts[] = {
      {u8"DisplayName", kProductName},
      {u8"DisplayVersion", VersionText(version)},
      {u8"Publisher", kPublisher},
      {u8"InstallLocation", text::FromAnsi(installFolder)},
      {u8"DisplayIcon", text::FromAnsi(program) + u8",0"},
      {u8"InstallDate", text::Decimal(today.year * 10000 + today.month * 100 + today.day)},
      {u8"UninstallString", command},
      {u8"QuietUninstallString", command + kQuietSwitch},
  };
  const struct {
    const char* name;
    std::uint32_t number;
  } numbers[] = {{"EstimatedSize", size},
                 {"NoModify", 1},
                 {"NoRepair", 1},
                 // Inventory tools read the version from these rather than parse DisplayVersion.
                 {"VersionMajor", static_cast<std::uint32_t>(version / 10000)},
                 {"VersionMinor", static_cast<std::uint32_t>(version % 10000 / 100)},
                 {"SystemComponent", 1}};

  platform::Registry& registry = machine.registry;
  platform::UniqueKey root;
  platform::UniqueKey key;
  // The entry as it was (an earlier installation's, or none) is kept first, for a rollback.
  std::vector<std::u8string> names;
  for (const auto& value : texts) names.emplace_back(value.name);
  for (const auto& value : numbers) names.push_back(text::FromAnsi(value.name));
  bool allSet = registry.OpenRoot(platform::RootKey::LocalMachine, root) == platform::kSuccess &&
                record.BeforeKeyWrite(root.get(), kHiveLocalMachine, text::FromAnsi(kUninstallKeyPath), names) ==
                    platform::kSuccess &&
                registry.CreateKey(root.get(), kUninstallKeyPath, key) == platform::kSuccess;
  // Every value is still tried, as for the load keys; what failed is named once, by its key.
  for (const auto& value : texts) {
    if (!key || registry.SetTextW(key.get(), value.name, platform::kRegSz, value.text) != platform::kSuccess) {
      allSet = false;
    } else {
      record.ValueWritten(platform::RootKey::LocalMachine, kUninstallKeyPath, text::Utf8Bytes(value.name),
                          platform::kRegSz, value.text);
    }
  }
  for (const auto& value : numbers) {
    if (!systemComponent && std::string_view(value.name) == "SystemComponent") continue;
    if (!key || registry.SetValue(key.get(), value.name, platform::kRegDword, platform::DwordData(value.number)) !=
                    platform::kSuccess) {
      allSet = false;
    } else {
      record.ValueWritten(platform::RootKey::LocalMachine, kUninstallKeyPath, value.name, platform::kRegDword,
                          text::Decimal(value.number));
    }
  }
  if (!allSet) Report(&record, std::string("HKEY_LOCAL_MACHINE\\") + kUninstallKeyPath);
}

}  // namespace install
