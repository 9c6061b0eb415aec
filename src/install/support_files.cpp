// Per-release support files.
#include "install/support_files.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "records/install_texts.h"
#include "platform/path_limits.h"
#include "install/payload.h"
#include "platform/text.h"
#include "platform/utf8_text.h"

namespace {

// The names of the files in the payload folder, read once per AutoCAD folder: of the fifty-odd
// copies tried there, most are of module years the payload does not ship, and each of those
// would otherwise be a failed open (a round trip when the installer runs from a network share).
// Nothing when the folder cannot be listed: then every copy is tried, as if all were shipped.
class ShippedFiles {
 public:
  ShippedFiles(const std::string& payload, platform::Machine& machine) {
    platform::FindEntry entry;
    std::unique_ptr<platform::Listing> listing;
    if (!ListFolder(payload, entry, listing, machine)) return;
    m_listed = true;
    do {
      if ((entry.attributes & platform::kAttrDirectory) == 0) m_names.push_back(entry.name);
    } while (listing->Next(entry));
  }

  // False only for a name the listing was read without.
  bool MayHave(const std::string& name) const {
    if (!m_listed) return true;
    return std::any_of(m_names.begin(), m_names.end(),
                       [&name](const std::string& listed) { return text::EqualsNoCase(listed, name); });
  }

 private:
  bool m_listed = false;
  std::vector<std::string> m_names;
};

// The size and digest of a file just placed, for the journal: the uninstaller removes it only while
// it is still this file. An empty digest when it cannot be read back.
void RecordPlaced(platform::Machine& machine, const std::string& path, install::InstallRecord& record) {
  std::u8string content;
  const bool read = machine.logging.files.ReadWhole(text::FromAnsi(path), content) == platform::kSuccess;
  record.SupportFilePlaced(path, content.size(), read ? install::ContentDigest(content) : std::u8string());
}

// Keeps the file about to be replaced at `target` when it is AutoCAD's own (the first time only:
// a later installation finds the add-on's file there). False when it is there, wanted and could
// not be kept: then it must not be replaced, or it would be lost for good.
bool KeepOriginal(platform::Machine& machine, const std::string& target, install::InstallRecord* record) {
  if (record == nullptr || !record->WantsBackup(target)) return true;
  if (GetPathKind(target, machine) != kPathFile) return true;  // nothing there to keep
  const std::string backup = record->BackupPathFor(target);
  const std::size_t slash = text::ReverseFind(backup, '\\');
  if (backup.empty() || slash == std::string::npos || !FitsMaxPath(backup)) {
    record->Issue(target, install::kIssueNoBackup);
    return false;
  }
  // The backup folder and its numbered folder inside the install folder, which is protected.
  const std::string folder = backup.substr(0, slash);
  machine.files.CreateDirectory(folder.substr(0, text::ReverseFind(folder, '\\')));
  machine.files.CreateDirectory(folder);
  const platform::Status copied = machine.files.CopyFile(target, backup, true);
  if (copied != platform::kSuccess) {
    record->Failed(target, copied, install::kIssueNoBackup);
    return false;
  }
  record->OriginalBackedUp(target, backup);
  return true;
}

// A copy of a payload file into an AutoCAD folder. A path the file API would refuse is not handed
// to it at all. A failure counts only when the payload has the file: most of the module years
// tried are not shipped, and their absence is no fault. The source is looked at only after a
// failed copy.
void CopyNoting(platform::Machine& machine, const ShippedFiles& shipped, const std::string& payload,
                const std::string& name, const std::string& target, install::InstallRecord* record) {
  if (!shipped.MayHave(name)) return;
  const std::string source = payload + "\\" + name;
  if (FitsMaxPath(source) && FitsMaxPath(target) && GetPathKind(source, machine) == kPathFile &&
      !KeepOriginal(machine, target, record)) {
    return;
  }
  platform::Status status = platform::kFilenameTooLong;
  if (FitsMaxPath(source) && FitsMaxPath(target)) {
    status = machine.files.CopyFile(source, target, false);
    if (status == platform::kSuccess) {
      if (record != nullptr) RecordPlaced(machine, target, *record);
      return;
    }
  }
  if (GetPathKind(source, machine) != kPathFile) return;
  if (record == nullptr) return;
  if (FitsMaxPath(target)) {
    record->Failed(target, status);
  } else {
    record->Issue(target, install::kIssueTooLong);
  }
}

}  // namespace

void DeploySupportFiles(const CAcadCatalog& catalog, const ReleaseFlags& flags, platform::Machine& machine,
                        install::InstallRecord* record) {
  for (int year = kFirstYear; year <= kLastYear; ++year) {
    if (flags[YearIndex(year)] == 0) continue;
    for (const std::string& folder : catalog.m_arrLocations[YearIndex(year)]) {
      CopySupportFiles(folder, year == kPlotterDriverYear, machine, record);
    }
  }
}

void CopySupportFiles(const std::string& acadFolder, bool withPlotterDriver, platform::Machine& machine,
                      install::InstallRecord* record) {
  // The lookup shows its own message when the payload has gone; every copy from it would fail.
  std::string payload;
  if (!FindPayloadFolder(payload, machine)) {
    install::Report(record, acadFolder, install::kIssueNoPayload);
    return;
  }

  const ShippedFiles shipped(payload, machine);
  const std::string folder = acadFolder + "\\";
  CopyNoting(machine, shipped, payload, "Vornex_EN.shx", folder + kSupportFontEn, record);
  CopyNoting(machine, shipped, payload, "Vornex_HZ.shx", folder + kSupportFontHz, record);
  CopyNoting(machine, shipped, payload, "itextsharp.dll", folder + kSupportPdfLibrary, record);
  for (int year = kFirstModuleYear; year <= kLastModuleYear; ++year) {
    const std::string module = "VXCAD" + std::to_string(year) + "P.dll";
    CopyNoting(machine, shipped, payload, module, folder + module, record);
  }
  if (withPlotterDriver) {
    // The add-on's driver takes the name of AutoCAD's own PDF plotter driver.
    CopyNoting(machine, shipped, payload, "Vornex.prt5", folder + kSupportPlotterDriver, record);
  }
}
