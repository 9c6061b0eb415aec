// Win32 status codes the program tests for, so that logic compiled on Linux speaks the same values.
#pragma once
#include <cstdint>

namespace platform {

using Status = std::int32_t;

inline constexpr Status kSuccess = 0;               // ERROR_SUCCESS
inline constexpr Status kFileNotFound = 2;          // ERROR_FILE_NOT_FOUND
inline constexpr Status kPathNotFound = 3;          // ERROR_PATH_NOT_FOUND
inline constexpr Status kAccessDenied = 5;          // ERROR_ACCESS_DENIED
inline constexpr Status kInvalidHandle = 6;         // ERROR_INVALID_HANDLE
inline constexpr Status kNotEnoughMemory = 8;       // ERROR_NOT_ENOUGH_MEMORY
inline constexpr Status kInvalidData = 13;          // ERROR_INVALID_DATA
inline constexpr Status kNoMoreFiles = 18;          // ERROR_NO_MORE_FILES
inline constexpr Status kDirNotEmpty = 145;         // ERROR_DIR_NOT_EMPTY
inline constexpr Status kSharingViolation = 32;     // ERROR_SHARING_VIOLATION
inline constexpr Status kFileExists = 80;           // ERROR_FILE_EXISTS
inline constexpr Status kInvalidParameter = 87;     // ERROR_INVALID_PARAMETER
inline constexpr Status kInvalidName = 123;         // ERROR_INVALID_NAME
inline constexpr Status kAlreadyExists = 183;       // ERROR_ALREADY_EXISTS
inline constexpr Status kFilenameTooLong = 206;     // ERROR_FILENAME_EXCED_RANGE
inline constexpr Status kMoreData = 234;            // ERROR_MORE_DATA
inline constexpr Status kNoMoreItems = 259;         // ERROR_NO_MORE_ITEMS
inline constexpr Status kDirectory = 267;           // ERROR_DIRECTORY: a file where a folder was named
inline constexpr Status kKeyDeleted = 1018;         // ERROR_KEY_DELETED
inline constexpr Status kNoUnicodeTranslation = 1113;  // ERROR_NO_UNICODE_TRANSLATION
inline constexpr Status kCancelled = 1223;          // ERROR_CANCELLED: the user declined
inline constexpr Status kBadPathName = 161;         // ERROR_BAD_PATHNAME
inline constexpr Status kEnvVarNotFound = 203;      // ERROR_ENVVAR_NOT_FOUND
inline constexpr Status kNotRegistryFile = 1017;    // ERROR_NOT_REGISTRY_FILE
inline constexpr Status kPrivilegeNotHeld = 1314;   // ERROR_PRIVILEGE_NOT_HELD
inline constexpr Status kNoneMapped = 1332;         // ERROR_NONE_MAPPED
inline constexpr Status kInvalidSid = 1337;         // ERROR_INVALID_SID
inline constexpr Status kModNotFound = 126;         // ERROR_MOD_NOT_FOUND
inline constexpr Status kFunctionFailed = 1627;     // ERROR_FUNCTION_FAILED

}  // namespace platform
