// The Windows calls behind platform/ on Windows, with plain C++ types, so
// that the files which implement the core's file calls never see
// <windows.h> (whose HANDLE, std::uint32_t and TRUE are not the core's).
#pragma once

#include <chrono>

#include <cstdint>
#include <string>
#include <string_view>

struct FileObject;  // the core's HANDLE points to one

namespace platform::windows {

using Native = void*;  // a Windows file handle; nullptr for none

// Error codes of GetLastError used where the core finds a fault itself.
constexpr std::uint32_t kFileNotFound = 2;      // ERROR_FILE_NOT_FOUND
constexpr std::uint32_t kInvalidHandle = 6;     // ERROR_INVALID_HANDLE
constexpr std::uint32_t kWriteFault = 29;       // ERROR_WRITE_FAULT
constexpr std::uint32_t kInvalidParameter = 87; // ERROR_INVALID_PARAMETER

constexpr std::uint32_t kOpenAlways = 4;  // OPEN_ALWAYS, beside the core's dispositions

// CreateFileW on the UTF-8 path. created tells, when not null, whether
// the call made the file. A read-only open that shares reading waits a
// little for a program that holds the file without sharing.
Native Open(const std::string& path, std::uint32_t access, std::uint32_t share, std::uint32_t disposition,
            bool* created = nullptr);
bool Read(Native file, void* buffer, std::uint32_t size, std::uint32_t* got);
bool WriteAll(Native file, const void* data, std::size_t size);
bool SeekTo(Native file, std::int64_t position, std::int64_t* now = nullptr);
bool SeekBy(Native file, std::int64_t distance);
bool Close(Native file);
bool FlushToDisk(Native file);
// A new empty file of a unique name in the folder of target; its name, or
// empty (with the reason in LastError) when none could be made.
std::string NewFileBeside(const std::string& target);
// False, with the reason in LastError, when path is a folder or a
// read-only file; exists tells whether there is anything at path.
bool WritableFile(const std::string& path, bool* exists);
// Moves from over to, replacing it, the move written through to disk;
// waits a little for readers that have the old file open.
bool ReplaceWith(const std::string& from, const std::string& to);
bool Remove(const std::string& path);

std::uint32_t LastError();

// How long a shared open or a save waits for another program that holds the
// file (10 seconds unless a test asks for less).
void SetPatience(std::chrono::milliseconds patience);

// The core's handle over a Windows one (taking it over).
FileObject* Adopt(Native file, bool writable);

// The 256 characters of Windows-1252 as the system's converter gives
// them; bytes it leaves undefined keep their own value.
std::u16string Cp1252Table();
// UTF-8 to UTF-16 and back; an invalid sequence becomes U+FFFD.
std::u16string Utf16(std::string_view utf8);
std::string Utf8(std::u16string_view utf16);

}  // namespace platform::windows
