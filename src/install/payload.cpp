// Payload deployment: the payload folder lookup and the flat copy into the install folder.
#include "install/payload.h"

#include <memory>
#include <utility>

#include "discovery/acad_catalog.h"
#include "records/install_texts.h"
#include "records/install_log.h"
#include "platform/text.h"
#include "platform/utf8_text.h"

namespace {

using platform::FindEntry;
using platform::Listing;
using platform::Machine;

// Files of the payload that the copy passes over: the installer itself (present in the flat
// layout) and the files that go into each AutoCAD folder instead.
constexpr const char* kPassedOverNames[] = {"SetUp.EXE", "Vornex_EN.shx", "Vornex_HZ.shx", "Vornex.prt5"};

bool IsPassedOver(const FindEntry& entry) {
  if (entry.name == "." || entry.name == "..") return true;
  // Sub-folders of the payload are not entered: the copy is flat.
  if ((entry.attributes & platform::kAttrDirectory) != 0) return true;
  return !PayloadCopyTakes(entry.name);
}

}  // namespace

bool PayloadCopyTakes(std::string_view name) {
  for (const char* passedOver : kPassedOverNames) {
    if (text::EqualsNoCase(name, passedOver)) return false;
  }
  return true;
}

bool FindPayloadFolder(std::string& folder, Machine& machine) {
  std::string program;
  // Read whole, however deep the program lies; whether each path formed from it fits the file
  // API is checked where it is used.
  if (machine.system.ModulePath(platform::kLongestPathChars, program) == platform::kSuccess) {
    const std::size_t slash = text::ReverseFind(program, '\\');
    const std::string programFolder = slash == std::string::npos ? std::string() : program.substr(0, slash);

    folder = programFolder + "\\" + kPayloadFolderName;
    if (GetPathKind(folder, machine) == kPathFolder) return true;

    folder = programFolder + "\\" + kFlatLayoutMarker;
    if (GetPathKind(folder, machine) == kPathFile) {
      folder = programFolder;
      return true;
    }
  } else {
    // No path of our own means no place to look; nothing half-read is put into `folder`.
    folder.clear();
  }
  machine.prompts.MessageBox(0, install::kPayloadMissingText, install::kCaption, platform::kMbOk);
  return false;
}

CPayloadCopier::CPayloadCopier(std::string targetFolder, platform::ProgressBar& progress, Machine& machine,
                               install::InstallRecord* record, install::CheckedPayload* checked)
    : m_strTarget(std::move(targetFolder)), m_progress(progress), m_machine(machine), m_pRecord(record),
      m_pChecked(checked) {
  StripTrailingBackslash(m_strTarget);
}

bool CPayloadCopier::CopyPayload() {
  m_strPayload.clear();
  m_bAltered = false;
  std::string payload;
  if (!FindPayloadFolder(payload, m_machine)) return false;
  m_strPayload = payload;
  // Looked up once: a payload on a volume without named streams (FAT, many shares) has no download
  // marks to remove, and each try per file would cost a look for a name that is not there.
  m_bZoneMarks = m_machine.files.HasNamedStreams(payload);

  // A failure here shows up as copy failures below, each with its own message.
  if (FitsMaxPath(m_strTarget)) m_machine.files.CreateDirectory(m_strTarget);

  FindEntry entry;
  std::unique_ptr<Listing> listing;
  if (!ListFolder(payload, entry, listing, m_machine)) {
    // The folder was there a moment ago but cannot be read: without its files there is nothing
    // to install, so this ends the installation like a missing payload.
    m_machine.prompts.MessageBox(0, install::WithPath(install::kPayloadUnreadableText, payload),
                                 install::kCaption, platform::kMbOk);
    return false;
  }

  // Every entry of the listing is worked through, however many there are; the bar takes one step
  // per entry and one for the end of the listing, and wraps round when it passes its maximum.
  for (bool first = true;; first = false) {
    m_progress.StepIt();
    if (!first && !listing->Next(entry)) break;
    if (IsPassedOver(entry)) continue;
    // Not in the manifest: named in the log by the check, and not installed.
    if (m_pChecked != nullptr && !m_pChecked->MayInstall(entry.name)) continue;
    if (CopyOne(payload, entry) == Outcome::Aborted) return false;
  }
  return true;
}

CPayloadCopier::Outcome CPayloadCopier::CopyOne(const std::string& payloadFolder, const FindEntry& entry) {
  const std::string& name = entry.name;
  const std::string source = payloadFolder + "\\" + name;
  std::string destination;
  std::u8string failure;
  Outcome outcome = Outcome::Copied;
  const bool sourceReadOnly = (entry.attributes & platform::kAttrReadOnly) != 0;
  while (!TryCopy(source, name, sourceReadOnly, destination, failure)) {
    // Said and logged already; no retry reads other bytes, and nothing of it may stay.
    if (m_bAltered) return Outcome::Aborted;
    // A missing folder, or the file copied onto itself (the placed uninstaller's own folder taken
    // for a payload): no wait mends these, so the copy ends at once with what the system says.
    if (m_bOntoItself || m_lastFailure == platform::kPathNotFound) {
      m_machine.prompts.MessageBox(0,
                                   install::WithPath(install::kCopyFailedNamedText, destination) +
                                       install::DescribeError(m_machine.logging.errors, m_lastFailure),
                                   install::kCaption, platform::kMbOk | platform::kMbIconExclamation);
      return Outcome::Aborted;
    }
    const int answer = m_machine.prompts.MessageBox(0, failure, install::kCaption, platform::kMbAbortRetryIgnore);
    if (answer == platform::kIdAbort) return Outcome::Aborted;
    if (answer == platform::kIdIgnore) {
      outcome = Outcome::Skipped;
      break;
    }
    // Retry, or any other answer: the whole attempt once more.
  }
  // A copy carries its source's attributes: it can be read-only only when the payload's file was
  // (and kept the bit). After Ignore, an older copy left in place should not stay read-only either.
  if (!destination.empty() && (outcome != Outcome::Copied || sourceReadOnly)) ClearReadOnly(destination, m_machine);
  if (outcome == Outcome::Copied && m_pRecord != nullptr) m_pRecord->FileCopied(destination, entry.size);
  return outcome;
}

bool CPayloadCopier::TryCopy(const std::string& source, const std::string& name, bool sourceReadOnly,
                             std::string& destination, std::u8string& failureText) {
  m_lastFailure = platform::kSuccess;
  if (text::EqualsNoCase(name, kSettingsFileName)) {
    std::string folder;
    if (!SettingsFolder(folder)) {
      destination.clear();
      failureText = install::WithPath(install::kNoAppDataText, name);
      return false;
    }
    destination = folder + "\\" + name;
  } else {
    destination = m_strTarget + "\\" + name;
  }

  // The payload's own file loses its read-only bit and download mark too, so that the copy
  // carries neither and a read-only destination can be replaced. The listing told whether the
  // source is read-only: one look at the file system less per file.
  // Under Wine each look for a name that is not there reads the whole folder, so per file the
  // copy asks only what it must: a file kept aside is renamed whatever its bit, and the checked
  // copy writes the file's data alone, no download mark with it.
  if (sourceReadOnly) ClearReadOnly(source, m_machine);
  const bool checkedCopy = m_pChecked != nullptr && m_pChecked->ChecksWhileCopying(name);
  if (!checkedCopy && m_bZoneMarks) RemoveZoneMark(source, m_machine);
  if (m_pRecord == nullptr || !m_pRecord->KeepsFiles()) ClearReadOnly(destination, m_machine);

  for (const std::string_view path : {std::string_view(source), std::string_view(destination)}) {
    if (!FitsMaxPath(path)) {
      failureText = install::WithPath(install::kPathTooLongText, path);
      return false;
    }
  }
  // A file onto itself fails as the system's CopyFile does (it is open for reading as it would be
  // written), before anything could move it aside.
  m_bOntoItself = text::EqualsNoCase(source, destination);
  if (m_bOntoItself) {
    m_lastFailure = platform::kSharingViolation;
    return false;
  }
  // The user's own settings, when the new file would change them, are kept beside it first.
  if (text::EqualsNoCase(name, kSettingsFileName) && !KeepSettings(source, destination)) {
    failureText = install::WithPath(install::kSettingsNotKeptText, destination);
    return false;
  }
  // What is there goes aside first (a file held open cannot be moved, and fails as its copy would).
  platform::Status copied = m_pRecord != nullptr ? m_pRecord->BeforeFile(destination) : platform::kSuccess;
  if (copied == platform::kSuccess) {
    if (checkedCopy) {
      copied = m_pChecked->CopyChecked(name, destination, m_bAltered, m_machine, m_pRecord);
    } else {
      copied = m_machine.files.CopyFile(source, destination, false);
    }
  }
  if (copied == platform::kSuccess && !m_bAltered) return true;
  if (m_bAltered) {
    ClearReadOnly(destination, m_machine);
    (void)m_machine.files.DeleteFile(destination);
  }
  if (m_pRecord != nullptr) m_pRecord->Unwritten(destination);
  if (m_bAltered) return false;
  m_lastFailure = copied;
  failureText = install::WithPath(install::kCopyFailedText, destination);
  // The message names the likely causes; the log keeps what the system said.
  if (m_pRecord != nullptr) m_pRecord->Note(u8"拷贝 " + text::FromAnsi(source) + u8" 失败：" + install::DescribeError(m_machine.logging.errors, copied));
  return false;
}

bool CPayloadCopier::SettingsFolder(std::string& folder) {
  std::string appData;
  if (m_machine.system.EnvironmentVariable("APPDATA", platform::kLongestPathChars, appData) != platform::kSuccess ||
      appData.empty()) {
    // Unset: the settings file would otherwise land in "\Vornex" on whatever the current drive is.
    return false;
  }
  folder = appData + "\\" + kSettingsFolderName;
  // A failure shows up as the copy's failure.
  if (FitsMaxPath(folder) && GetPathKind(folder, m_machine) == kPathNone &&
      (m_pRecord == nullptr || m_pRecord->BeforeFolders(folder) == platform::kSuccess)) {
    m_machine.files.CreateDirectory(folder);
  }
  return true;
}

bool CPayloadCopier::KeepSettings(const std::string& source, const std::string& destination) {
  if (!m_strSettingsBackup.empty()) return true;  // kept by an earlier attempt of this run
  std::uint32_t attributes = 0;
  // Nothing there, or something the copy refuses anyway (a folder).
  if (m_machine.files.GetAttributes(destination, attributes) != platform::kSuccess ||
      (attributes & platform::kAttrDirectory) != 0) {
    return true;
  }
  // A link is moved aside as it is, never read through: it may lead to a file nobody meant to copy.
  if ((attributes & platform::kAttrReparsePoint) != 0) return true;
  std::u8string now;
  std::u8string coming;
  platform::AppendFiles& files = m_machine.logging.files;
  if (files.ReadWhole(text::FromAnsi(destination), now) == platform::kSuccess &&
      files.ReadWhole(text::FromAnsi(source), coming) == platform::kSuccess && now == coming) {
    return true;
  }
  // "Vornex.Ini.20250428-093015.bak", local time; a name taken already (two runs in one second)
  // gets a number, since nothing of the user's is ever written over.
  std::string stamped = destination + ".";
  stamped += text::Utf8Bytes(install::FormatFileStamp(m_machine.logging.clock.Now()));
  for (int n = 1; n <= 9; ++n) {
    std::string backup = stamped;
    if (n > 1) backup += "-" + std::to_string(n);
    backup += ".bak";
    if (!FitsMaxPath(backup)) return false;
    if (GetPathKind(backup, m_machine) != kPathNone) continue;
    // Recorded as made first: a rollback deletes it again.
    if (m_pRecord != nullptr && m_pRecord->BeforeFile(backup) != platform::kSuccess) return false;
    const platform::Status copied = m_machine.files.CopyFile(destination, backup, true);
    if (copied != platform::kSuccess) {
      if (m_pRecord != nullptr) m_pRecord->Note(u8"无法保留原设置文件 " + text::FromAnsi(destination) + u8"：" + install::DescribeError(m_machine.logging.errors, copied));
      return false;
    }
    m_strSettingsBackup = backup;
    if (m_pRecord != nullptr) m_pRecord->Note(install::WithPath(install::kSettingsKeptLog, backup));
    return true;
  }
  return false;
}
