// Payload deployment: finding the add-on's files beside the installer and copying them into the install folder.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "install/install_record.h"
#include "install/path_limits.h"
#include "platform/machine.h"
#include "platform/prompts.h"

// What GetPathKind finds at a path.
inline constexpr int kPathNone = 0;
inline constexpr int kPathFile = 1;
inline constexpr int kPathFolder = 2;

// The payload's fixed names.
inline constexpr const char* kPayloadFolderName = "Data";
inline constexpr const char* kFlatLayoutMarker = "VX_ZurezUvad2010.arx";
inline constexpr const char* kSettingsFileName = "Vornex.Ini";
inline constexpr const char* kSettingsFolderName = "Vornex";

// The payload folder: "<program folder>\Data" when that is a folder, else the program folder
// itself when "VX_ZurezUvad2010.arx" lies there as a file. When neither, shows the "not found"
// message, leaves the last path tried in `folder` and returns false.
bool FindPayloadFolder(std::string& folder, platform::Machine& machine);

// kPathNone, kPathFile or kPathFolder. A path too long for the file API finds nothing.
int GetPathKind(const std::string& path, platform::Machine& machine);

// FindFirst over every entry of a folder ("<folder>\*.*"). False, with no listing open, when that
// pattern is too long for the file API or the folder cannot be listed.
bool ListFolder(const std::string& folder, platform::FindEntry& first, std::unique_ptr<platform::Listing>& listing,
                platform::Machine& machine);

// Drops the read-only bit of an existing file; anything else is left alone.
void ClearReadOnly(const std::string& path, platform::Machine& machine);

// Deletes the "downloaded from the internet" mark (the ":Zone.Identifier" stream); true when deleted.
bool RemoveZoneMark(const std::string& path, platform::Machine& machine);

// One run of the payload copy into the install folder, advancing the dialog's progress bar one
// step per listing entry (and one for the end of the listing).
class CPayloadCopier {
 public:
  // Each file copied, and each failure with the system's code, goes into `record` when given.
  CPayloadCopier(std::string targetFolder, platform::ProgressBar& progress, platform::Machine& machine,
                 install::InstallRecord* record = nullptr);

  // True when the whole listing was worked through (files the user chose to ignore included);
  // false when the payload is missing or unreadable or the user chose Abort. Shows its own messages.
  bool CopyPayload();

 private:
  enum class Outcome { Copied, Skipped, Aborted };

  Outcome CopyOne(const std::string& payloadFolder, const platform::FindEntry& entry);
  // One attempt; on failure `failureText` is the message to show.
  bool TryCopy(const std::string& source, const std::string& name, bool sourceReadOnly, std::string& destination,
               std::u8string& failureText);
  // The settings file's folder under APPDATA, created if missing; false when APPDATA is unset.
  bool SettingsFolder(std::string& folder);

  std::string m_strTarget;
  platform::ProgressBar& m_progress;
  platform::Machine& m_machine;
  install::InstallRecord* m_pRecord;
};
