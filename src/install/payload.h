// Payload deployment: finding the add-on's files beside the installer and copying them into the install folder.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/file_queries.h"
#include "records/addon_names.h"
#include "records/install_record.h"
#include "install/payload_manifest.h"
#include "platform/path_limits.h"
#include "platform/machine.h"
#include "platform/prompts.h"


// The payload folder: "<program folder>\Data" when that is a folder, else the program folder
// itself when "VX_ZurezUvad2010.arx" lies there as a file. When neither, shows the "not found"
// message, leaves the last path tried in `folder` and returns false.
bool FindPayloadFolder(std::string& folder, platform::Machine& machine);

// Whether the payload copy takes a file of this name into the install folder (or the settings
// folder): not the installer itself, nor the files placed in AutoCAD's folders only.
bool PayloadCopyTakes(std::string_view name);

// One run of the payload copy into the install folder, advancing the dialog's progress bar one
// step per listing entry (and one for the end of the listing).
class CPayloadCopier {
 public:
  // Each file copied, and each failure with the system's code, goes into `record` when given. With
  // `checked`, only the files it may install are copied.
  CPayloadCopier(std::string targetFolder, platform::ProgressBar& progress, platform::Machine& machine,
                 install::InstallRecord* record = nullptr, install::CheckedPayload* checked = nullptr);

  // True when the whole listing was worked through (files the user chose to ignore included);
  // false when the payload is missing or unreadable or the user chose Abort. Shows its own messages.
  bool CopyPayload();
  // After CopyPayload: the payload folder it copied from (empty when it found none).
  const std::string& PayloadFolder() const { return m_strPayload; }
  // After CopyPayload: where the running account's own settings file, replaced with other content,
  // was kept ("<folder>\Vornex.Ini.<yyyymmdd-hhmmss>.bak"); empty when none was.
  const std::string& SettingsBackup() const { return m_strSettingsBackup; }
  // After CopyPayload returned false: whether it stopped at a file that is not what the manifest lists.
  bool FoundAltered() const { return m_bAltered; }

 private:
  enum class Outcome { Copied, Skipped, Aborted };

  Outcome CopyOne(const std::string& payloadFolder, const platform::FindEntry& entry);
  // One attempt; on failure `failureText` is the message to show.
  bool TryCopy(const std::string& source, const std::string& name, bool sourceReadOnly, std::string& destination,
               std::u8string& failureText);
  // The settings file's folder under APPDATA, created if missing; false when APPDATA is unset.
  bool SettingsFolder(std::string& folder);
  // Before the settings file at `destination` is replaced with `source`: a copy of it kept beside it
  // when its content differs, once a run; false when one was needed and could not be made.
  bool KeepSettings(const std::string& source, const std::string& destination);

  std::string m_strTarget;
  std::string m_strPayload;
  std::string m_strSettingsBackup;
  platform::ProgressBar& m_progress;
  platform::Machine& m_machine;
  install::InstallRecord* m_pRecord;
  install::CheckedPayload* m_pChecked;  // its copy marks what it checked
  platform::Status m_lastFailure = platform::kSuccess;  // the system's code for the last failed copy
  bool m_bOntoItself = false;                           // the last copy named the same file twice
  bool m_bAltered = false;                              // a file's copy read other bytes than the manifest lists
  bool m_bZoneMarks = true;                             // the payload's volume keeps named streams
};
