// The core's file calls on Windows: the real ones underneath (CreateFileW
// with the caller's share mode, so that share mode 0 refuses a file that
// another program holds), with the same buffering as on Linux, since the
// readers read a byte at a time.
#include "platform/file_api.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/windows/system.h"

namespace win = platform::windows;

struct FileObject {
  win::Native native = nullptr;
  bool writable = false;
  // As on Linux: bytes [readPos, readEnd) of readBuffer are the next bytes
  // of the file; writeBuffer holds bytes not yet handed to the system.
  std::vector<unsigned char> readBuffer;
  std::size_t readPos = 0;
  std::size_t readEnd = 0;
  std::vector<unsigned char> writeBuffer;
  bool failed = false;  // a buffered write was lost
};

namespace {

constexpr std::size_t kBufferSize = 64 * 1024;
thread_local DWORD lastError = 0;

BOOL Fail(DWORD error) {
  lastError = error;
  return FALSE;
}

BOOL FailFromSystem() { return Fail(win::LastError()); }

bool FlushWrites(FileObject* f) {
  if (f->writeBuffer.empty()) return !f->failed;
  const bool ok = win::WriteAll(f->native, f->writeBuffer.data(), f->writeBuffer.size());
  f->writeBuffer.clear();
  if (!ok) {
    lastError = win::LastError();
    f->failed = true;
  }
  return !f->failed;
}

bool DropReadAhead(FileObject* f) {
  const std::size_t unread = f->readEnd - f->readPos;
  f->readPos = f->readEnd = 0;
  if (unread == 0) return true;
  return win::SeekBy(f->native, -static_cast<std::int64_t>(unread));
}

bool Valid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE && h->native != nullptr; }

}  // namespace

HANDLE CreateFileA(const std::string& fileName, DWORD desiredAccess, DWORD shareMode,
                   void* /*securityAttributes*/, DWORD creationDisposition,
                   DWORD /*flagsAndAttributes*/, HANDLE /*templateFile*/) {
  if (fileName.empty()) {
    Fail(win::kFileNotFound);
    return INVALID_HANDLE_VALUE;
  }
  win::Native native = win::Open(fileName, desiredAccess, shareMode, creationDisposition);
  if (native == nullptr) {
    FailFromSystem();
    return INVALID_HANDLE_VALUE;
  }
  return win::Adopt(native, (desiredAccess & GENERIC_WRITE) != 0);
}

BOOL ReadFile(HANDLE file, void* buffer, DWORD bytesToRead, DWORD* bytesRead, void*) {
  if (bytesRead) *bytesRead = 0;
  if (!Valid(file)) return Fail(win::kInvalidHandle);
  if (!FlushWrites(file)) return FALSE;
  auto* out = static_cast<unsigned char*>(buffer);
  DWORD done = 0;
  while (done < bytesToRead) {
    const std::size_t available = file->readEnd - file->readPos;
    if (available > 0) {
      const std::size_t n = std::min<std::size_t>(available, bytesToRead - done);
      std::memcpy(out + done, file->readBuffer.data() + file->readPos, n);
      file->readPos += n;
      done += static_cast<DWORD>(n);
      continue;
    }
    const DWORD wanted = bytesToRead - done;
    std::uint32_t got = 0;
    if (wanted >= kBufferSize) {
      // Large reads go straight into the caller's memory.
      if (!win::Read(file->native, out + done, wanted, &got)) {
        if (bytesRead) *bytesRead = done;
        return FailFromSystem();
      }
      if (got == 0) break;
      done += got;
      continue;
    }
    if (file->readBuffer.size() != kBufferSize) file->readBuffer.resize(kBufferSize);
    if (!win::Read(file->native, file->readBuffer.data(), kBufferSize, &got)) {
      if (bytesRead) *bytesRead = done;
      return FailFromSystem();
    }
    if (got == 0) break;
    file->readPos = 0;
    file->readEnd = got;
  }
  if (bytesRead) *bytesRead = done;
  return TRUE;
}

BOOL WriteFile(HANDLE file, const void* buffer, DWORD bytesToWrite, DWORD* bytesWritten, void*) {
  if (bytesWritten) *bytesWritten = 0;
  if (!Valid(file) || !file->writable) return Fail(win::kInvalidHandle);
  if (file->failed) return FALSE;
  if (!DropReadAhead(file)) return FailFromSystem();
  const auto* data = static_cast<const unsigned char*>(buffer);
  if (file->writeBuffer.size() + bytesToWrite > kBufferSize) {
    if (!FlushWrites(file)) return FALSE;
    if (bytesToWrite >= kBufferSize) {
      if (!win::WriteAll(file->native, data, bytesToWrite)) {
        file->failed = true;
        return FailFromSystem();
      }
      if (bytesWritten) *bytesWritten = bytesToWrite;
      return TRUE;
    }
  }
  if (file->writeBuffer.capacity() < kBufferSize) file->writeBuffer.reserve(kBufferSize);
  file->writeBuffer.insert(file->writeBuffer.end(), data, data + bytesToWrite);
  if (bytesWritten) *bytesWritten = bytesToWrite;
  return TRUE;
}

DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distanceHigh, DWORD moveMethod) {
  if (!Valid(file) || moveMethod != FILE_BEGIN || distanceHigh != nullptr || distance < 0) {
    Fail(win::kInvalidParameter);
    return INVALID_SET_FILE_POINTER;
  }
  if (!FlushWrites(file)) return INVALID_SET_FILE_POINTER;
  file->readPos = file->readEnd = 0;
  std::int64_t now = 0;
  if (!win::SeekTo(file->native, distance, &now)) {
    FailFromSystem();
    return INVALID_SET_FILE_POINTER;
  }
  return static_cast<DWORD>(now);
}

BOOL CloseHandle(HANDLE file) {
  if (!Valid(file)) return Fail(win::kInvalidHandle);
  bool ok = FlushWrites(file);
  if (!win::Close(file->native)) {
    if (ok) lastError = win::LastError();
    ok = false;
  }
  delete file;
  return ok ? TRUE : FALSE;
}

DWORD GetLastError() { return lastError; }

namespace platform {

BOOL FlushToDisk(HANDLE file) {
  if (!Valid(file)) return Fail(windows::kInvalidHandle);
  if (!FlushWrites(file)) return FALSE;
  if (!windows::FlushToDisk(file->native)) return FailFromSystem();
  return TRUE;
}

namespace windows {

FileObject* Adopt(Native native, bool writable) {
  auto* f = new FileObject;
  f->native = native;
  f->writable = writable;
  return f;
}

}  // namespace windows

}  // namespace platform

void platform::SetLockPatienceForTesting(std::chrono::milliseconds patience) { win::SetPatience(patience); }
