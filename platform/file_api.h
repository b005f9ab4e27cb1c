// File calls with the Windows meanings the readers and writers rely on.
//
// On Windows these are the real calls underneath (platform/windows/). On
// Linux, share mode 0 (no other opener) has no POSIX twin; every open takes an
// exclusive advisory lock (flock LOCK_EX | LOCK_NB) and fails when another
// opener, in this process or another, holds the file. An open for writing
// takes the lock before it empties the file, so a file somebody else holds
// is never truncated.
//
// Reads and writes are buffered underneath: the readers' one-byte reads
// cost no system call each. A write error may therefore surface at a later
// WriteFile, SetFilePointer or at CloseHandle, which then answers FALSE.
#pragma once

#include <string>
#include <string_view>

#include "platform/windows_types.h"

HANDLE CreateFileA(const std::string& fileName, DWORD desiredAccess, DWORD shareMode,
                   void* securityAttributes, DWORD creationDisposition,
                   DWORD flagsAndAttributes, HANDLE templateFile);

// A read at the end of the file delivers fewer bytes (possibly none) and
// still answers TRUE.
BOOL ReadFile(HANDLE file, void* buffer, DWORD bytesToRead, DWORD* bytesRead,
              void* overlapped);
BOOL WriteFile(HANDLE file, const void* buffer, DWORD bytesToWrite, DWORD* bytesWritten,
               void* overlapped);
// Only FILE_BEGIN is supported; distanceHigh must be null. Answers the new
// position, or INVALID_SET_FILE_POINTER on failure.
DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distanceHigh, DWORD moveMethod);
BOOL CloseHandle(HANDLE file);

// The system's code for the last failing call on this thread: errno on
// Linux, the code of Windows' GetLastError on Windows.
DWORD GetLastError();

// Closes a handle however the scope that opened it ends, a raised error
// included.
class FileCloser {
 public:
  explicit FileCloser(HANDLE file) : file_(file) {}
  ~FileCloser() { CloseHandle(file_); }
  FileCloser(const FileCloser&) = delete;
  FileCloser& operator=(const FileCloser&) = delete;

 private:
  HANDLE file_;
};

// Reads up to and including the next zero byte; answers the bytes before
// it (all read bytes when the file ends first).
std::string ReadZString(HANDLE file);

// Reads one line without its line feed and without any carriage return.
// False at the end of the file when no character was pending.
bool ReadLine(HANDLE file, std::string& line);

// The same for text held in memory: takes the next line off the front of
// rest. False when rest is empty.
bool NextLine(std::string_view& rest, std::string& line);

namespace platform {

// Opens an already created descriptor as a handle (used by the safe save
// for its temporary file). Takes ownership of fd.
HANDLE HandleFromDescriptor(int fd);

// Flushes pending writes and forces them to disk.
BOOL FlushToDisk(HANDLE file);

}  // namespace platform
