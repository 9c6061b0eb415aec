// A machine for dialog tests that must not reach the registry, the disk, processes or message
// boxes: every use fails the test.
#pragma once
#include <gtest/gtest.h>

#include "platform/machine.h"
#include "platform/utf8_text.h"

namespace uitest {

class UntouchedRegistry final : public platform::Registry {
 public:
  platform::Status OpenRoot(platform::RootKey, platform::UniqueKey&) override { return Touched(); }
  platform::Status OpenKey(platform::KeyHandle, const std::string&, platform::Access, platform::UniqueKey&) override {
    return Touched();
  }
  platform::Status CountSubKeys(platform::KeyHandle, std::uint32_t&) override { return Touched(); }
  platform::Status CountValues(platform::KeyHandle, std::uint32_t&) override { return Touched(); }
  platform::Status EnumValue(platform::KeyHandle, std::uint32_t, std::string&, platform::RegValue&) override {
    return Touched();
  }
  platform::Status EnumSubKey(platform::KeyHandle, std::uint32_t, std::size_t, std::string&) override {
    return Touched();
  }
  platform::Status QueryValue(platform::KeyHandle, const std::string&, std::size_t, platform::RegValue&,
                              std::size_t&) override {
    return Touched();
  }
  platform::Status CreateKey(platform::KeyHandle, const std::string&, platform::UniqueKey&) override {
    return Touched();
  }
  platform::Status DeleteKey(platform::KeyHandle, const std::string&) override { return Touched(); }
  platform::Status SetValue(platform::KeyHandle, const std::string&, std::uint32_t,
                            const std::vector<std::uint8_t>&) override {
    return Touched();
  }
  platform::Status DeleteValue(platform::KeyHandle, const std::string&) override { return Touched(); }
  void CloseKey(platform::KeyHandle) override { Touched(); }
  platform::Status OpenKeyW(platform::KeyHandle, std::u8string_view, platform::Access, platform::UniqueKey&) override {
    return Touched();
  }
  platform::Status EnumSubKeyW(platform::KeyHandle, std::uint32_t, std::u8string&) override { return Touched(); }
  platform::Status QueryTextW(platform::KeyHandle, std::u8string_view, std::uint32_t&, std::u8string&) override {
    return Touched();
  }
  platform::Status CreateKeyW(platform::KeyHandle, std::u8string_view, platform::UniqueKey&) override {
    return Touched();
  }
  platform::Status SetTextW(platform::KeyHandle, std::u8string_view, std::uint32_t, std::u8string_view) override {
    return Touched();
  }
  platform::Status OpenUsersRoot(platform::UniqueKey&) override { return Touched(); }
  platform::Status LoadHive(std::u8string_view, std::u8string_view) override { return Touched(); }
  platform::Status UnloadHive(std::u8string_view) override { return Touched(); }

 private:
  static platform::Status Touched() {
    ADD_FAILURE() << "the registry was used";
    return platform::kAccessDenied;
  }
};

class UntouchedFiles final : public platform::FileSystem {
 public:
  platform::Status FindFirst(const std::string&, platform::FindEntry&, std::unique_ptr<platform::Listing>&) override {
    return Touched();
  }
  platform::Status CreateDirectory(const std::string&) override { return Touched(); }
  platform::Status CopyFile(const std::string&, const std::string&, bool) override { return Touched(); }
  platform::Status GetAttributes(const std::string&, std::uint32_t&) override { return Touched(); }
  platform::Status SetAttributes(const std::string&, std::uint32_t) override { return Touched(); }
  platform::Status DeleteFile(const std::string&) override { return Touched(); }
  platform::Status MoveFile(const std::string&, const std::string&) override { return Touched(); }
  platform::Status RemoveDirectory(const std::string&) override { return Touched(); }
  platform::Status DeleteLater(const std::string&) override { return Touched(); }
  platform::Status ProtectFolder(const std::string&) override { return Touched(); }
  platform::Status ReadSecurity(const std::string&, platform::FileSecurity&) override { return Touched(); }
  platform::Status FlushFile(const std::string&) override { return Touched(); }
  platform::Status CancelDeleteLater(const std::string&) override { return Touched(); }
  platform::Status ProtectPrivateFolder(const std::string&) override { return Touched(); }
  platform::Status SetOwner(const std::string&, const std::string&) override { return Touched(); }

 private:
  static platform::Status Touched() {
    ADD_FAILURE() << "the file system was used";
    return platform::kAccessDenied;
  }
};

class UntouchedSystem final : public platform::SystemInfo {
 public:
  platform::Status ModulePath(std::size_t, std::string&) override { return Touched(); }
  platform::Status CurrentDirectory(std::string&) override { return Touched(); }
  platform::Status EnvironmentVariable(const std::string&, std::size_t, std::string&) override { return Touched(); }
  bool ProcessNames(std::vector<std::string>&) override {
    Touched();
    return false;
  }
  platform::Status AccountSid(std::string&) override { return Touched(); }
  platform::Status EnvironmentVariableW(std::u8string_view, std::u8string&) override { return Touched(); }
  platform::Status AccountName(const std::string&, std::u8string&) override { return Touched(); }
  platform::Status HoldMachineLock(std::u8string_view, std::unique_ptr<platform::HeldLock>&) override {
    return Touched();
  }

 private:
  static platform::Status Touched() {
    ADD_FAILURE() << "process facts were read";
    return platform::kAccessDenied;
  }
};

class UntouchedPrompts final : public platform::Prompts {
 public:
  int MessageBox(platform::WindowRef, std::u8string_view text, std::u8string_view, std::uint32_t) override {
    ADD_FAILURE() << "a message box was shown: " << text::Utf8Bytes(text);
    return platform::kIdCancel;
  }
};

class UntouchedAppendFiles final : public platform::AppendFiles {
 public:
  platform::Status OpenForAppend(std::u8string_view, platform::Durability, std::unique_ptr<platform::AppendedFile>&,
                                 std::uint64_t&) override {
    ADD_FAILURE() << "a log or journal was opened";
    return platform::kAccessDenied;
  }
  platform::Status ReadWhole(std::u8string_view, std::u8string&) override {
    ADD_FAILURE() << "a journal was read";
    return platform::kAccessDenied;
  }
  platform::Status Truncate(std::u8string_view, std::uint64_t) override {
    ADD_FAILURE() << "a journal was cut back";
    return platform::kAccessDenied;
  }
  platform::Status Replace(std::u8string_view, std::u8string_view) override {
    ADD_FAILURE() << "a journal was replaced";
    return platform::kAccessDenied;
  }
};

class UntouchedIntegrity final : public platform::PayloadIntegrity {
 public:
  platform::Status Manifest(std::string&) override {
    ADD_FAILURE() << "the payload manifest was asked for";
    return platform::kFileNotFound;
  }
  platform::Status HashFile(const std::string& path, std::uint64_t&, platform::Sha256Digest&,
                            std::unique_ptr<platform::HeldFile>&) override {
    ADD_FAILURE() << "a payload file was hashed: " << path;
    return platform::kAccessDenied;
  }
  platform::Status HoldFile(const std::string& path, std::uint64_t&, std::unique_ptr<platform::HeldFile>&) override {
    ADD_FAILURE() << "a payload file was opened: " << path;
    return platform::kAccessDenied;
  }
};

class UntouchedClock final : public platform::Clock {
 public:
  platform::LocalTime Now() override { return {}; }
  void Wait(unsigned) override { ADD_FAILURE() << "the program waited"; }
};

class UntouchedErrorTexts final : public platform::ErrorTexts {
 public:
  std::u8string Describe(platform::Status) override { return {}; }
};

struct UntouchedMachine {
  UntouchedRegistry registry;
  UntouchedFiles files;
  UntouchedSystem system;
  UntouchedPrompts prompts;
  UntouchedAppendFiles appendFiles;
  UntouchedClock clock;
  UntouchedErrorTexts errors;
  UntouchedIntegrity integrity;
  platform::LogSupport logging{appendFiles, clock, errors};
  platform::Machine machine{registry, files, system, prompts, logging, integrity};
};

}  // namespace uitest
