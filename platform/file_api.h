// File calls with the Windows meanings the readers and writers rely on.
//
// On Windows these are the real calls underneath (platform/windows/). On
// Linux the share mode becomes an advisory lock (flock), held until the
// handle is closed: a read-only open that shares reading takes a shared
// lock, so that any number of readers, in this process or others, read
// one file at once; any other open takes an exclusive lock and fails when
// another opener holds the file. An open for writing takes its lock before
// it empties the file, so a file somebody else holds is never truncated.
// A reader waits a little for an exclusive holder to let go (a parallel
// build's writer is done in moments) before it gives up.
//
// Reads and writes are buffered underneath: the readers' one-byte reads
// cost no system call each. A write error may therefore surface at a later
// WriteFile, SetFilePointer or at CloseHandle, which then answers FALSE.
#pragma once

#include <chrono>
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

// How long a shared open waits for an exclusive holder (10 seconds unless
// a test asks for less).
void SetLockPatienceForTesting(std::chrono::milliseconds patience);

// Takes a shared advisory lock on fd, waiting a little for an exclusive
// holder as a shared open does: 0, or the errno of the refusal.
int LockShared(int fd);

// Flushes pending writes and forces them to disk.
BOOL FlushToDisk(HANDLE file);

}  // namespace platform
