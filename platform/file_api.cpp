#include "platform/file_api.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

struct FileObject {
  int fd = -1;
  bool writable = false;
  // Read side: bytes [readPos, readEnd) of readBuffer are the next bytes of
  // the file. Write side: writeBuffer holds bytes not yet handed to the
  // system. At most one of the two is in use at a time.
  std::vector<unsigned char> readBuffer;
  std::size_t readPos = 0;
  std::size_t readEnd = 0;
  std::vector<unsigned char> writeBuffer;
  bool failed = false;  // a buffered write was lost
};

namespace {

constexpr std::size_t kBufferSize = 64 * 1024;
thread_local DWORD lastError = 0;

BOOL Fail(int err) {
  lastError = static_cast<DWORD>(err);
  return FALSE;
}

bool WriteAll(int fd, const unsigned char* data, std::size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) {
      errno = EIO;
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool FlushWrites(FileObject* f) {
  if (f->writeBuffer.empty()) return !f->failed;
  bool ok = WriteAll(f->fd, f->writeBuffer.data(), f->writeBuffer.size());
  f->writeBuffer.clear();
  if (!ok) {
    lastError = static_cast<DWORD>(errno);
    f->failed = true;
  }
  return !f->failed;
}

// Drops read-ahead and moves the descriptor back to the logical position.
bool DropReadAhead(FileObject* f) {
  std::size_t unread = f->readEnd - f->readPos;
  f->readPos = f->readEnd = 0;
  if (unread == 0) return true;
  return ::lseek(f->fd, -static_cast<off_t>(unread), SEEK_CUR) >= 0;
}

bool Valid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE && h->fd >= 0; }

// How long a shared lock waits for an exclusive holder: a save or a
// conversion of the same file in a parallel build lets go in moments, a
// program that keeps the file open for writing does not.
std::chrono::milliseconds sharedLockPatience = std::chrono::seconds(10);

// flock, waiting up to sharedLockPatience for a shared lock; an exclusive
// one is had at once or not at all. 0, or the errno of the refusal.
int Lock(int fd, bool shared) {
  if (!shared) return ::flock(fd, LOCK_EX | LOCK_NB) == 0 ? 0 : errno;
  const auto giveUp = std::chrono::steady_clock::now() + sharedLockPatience;
  auto pause = std::chrono::milliseconds(1);
  for (;;) {
    if (::flock(fd, LOCK_SH | LOCK_NB) == 0) return 0;
    const int err = errno;
    if (err != EWOULDBLOCK && err != EINTR) return err;
    if (std::chrono::steady_clock::now() >= giveUp) return err;
    std::this_thread::sleep_for(pause);
    pause = std::min(pause * 2, std::chrono::milliseconds(50));
  }
}

}  // namespace

HANDLE CreateFileA(const std::string& fileName, DWORD desiredAccess, DWORD shareMode,
                   void* /*securityAttributes*/, DWORD creationDisposition,
                   DWORD /*flagsAndAttributes*/, HANDLE /*templateFile*/) {
  const bool write = (desiredAccess & GENERIC_WRITE) != 0;
  int flags = O_CLOEXEC | (write ? O_RDWR : O_RDONLY);
  if (creationDisposition == CREATE_ALWAYS) flags |= O_CREAT;
  // Never O_TRUNC here: the file is emptied only once the lock is ours.
  int fd = ::open(fileName.c_str(), flags, 0666);
  if (fd < 0) {
    Fail(errno);
    return INVALID_HANDLE_VALUE;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    int err = S_ISDIR(st.st_mode) ? EISDIR : errno;
    ::close(fd);
    Fail(err);
    return INVALID_HANDLE_VALUE;
  }
  const bool shared = !write && (shareMode & FILE_SHARE_READ) != 0;
  if (const int err = Lock(fd, shared); err != 0) {
    ::close(fd);
    Fail(err);
    return INVALID_HANDLE_VALUE;
  }
  if (creationDisposition == CREATE_ALWAYS && ::ftruncate(fd, 0) != 0) {
    int err = errno;
    ::close(fd);
    Fail(err);
    return INVALID_HANDLE_VALUE;
  }
  auto* f = new FileObject;
  f->fd = fd;
  f->writable = write;
  return f;
}

BOOL ReadFile(HANDLE file, void* buffer, DWORD bytesToRead, DWORD* bytesRead, void*) {
  if (bytesRead) *bytesRead = 0;
  if (!Valid(file)) return Fail(EBADF);
  if (!FlushWrites(file)) return FALSE;
  auto* out = static_cast<unsigned char*>(buffer);
  DWORD done = 0;
  while (done < bytesToRead) {
    std::size_t available = file->readEnd - file->readPos;
    if (available > 0) {
      std::size_t n = std::min<std::size_t>(available, bytesToRead - done);
      std::memcpy(out + done, file->readBuffer.data() + file->readPos, n);
      file->readPos += n;
      done += static_cast<DWORD>(n);
      continue;
    }
    std::size_t wanted = bytesToRead - done;
    if (wanted >= kBufferSize) {
      // Large reads go straight into the caller's memory.
      ssize_t n = ::read(file->fd, out + done, wanted);
      if (n < 0) {
        if (errno == EINTR) continue;
        if (bytesRead) *bytesRead = done;
        return Fail(errno);
      }
      if (n == 0) break;
      done += static_cast<DWORD>(n);
      continue;
    }
    if (file->readBuffer.size() != kBufferSize) file->readBuffer.resize(kBufferSize);
    ssize_t n = ::read(file->fd, file->readBuffer.data(), kBufferSize);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (bytesRead) *bytesRead = done;
      return Fail(errno);
    }
    if (n == 0) break;
    file->readPos = 0;
    file->readEnd = static_cast<std::size_t>(n);
  }
  if (bytesRead) *bytesRead = done;
  return TRUE;
}

BOOL WriteFile(HANDLE file, const void* buffer, DWORD bytesToWrite, DWORD* bytesWritten, void*) {
  if (bytesWritten) *bytesWritten = 0;
  if (!Valid(file)) return Fail(EBADF);
  if (!file->writable) return Fail(EBADF);
  if (file->failed) return FALSE;
  if (!DropReadAhead(file)) return Fail(errno);
  const auto* data = static_cast<const unsigned char*>(buffer);
  if (file->writeBuffer.size() + bytesToWrite > kBufferSize) {
    if (!FlushWrites(file)) return FALSE;
    if (bytesToWrite >= kBufferSize) {
      if (!WriteAll(file->fd, data, bytesToWrite)) {
        file->failed = true;
        return Fail(errno);
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
    Fail(EINVAL);
    return INVALID_SET_FILE_POINTER;
  }
  if (!FlushWrites(file)) return INVALID_SET_FILE_POINTER;
  file->readPos = file->readEnd = 0;
  off_t pos = ::lseek(file->fd, distance, SEEK_SET);
  if (pos < 0) {
    Fail(errno);
    return INVALID_SET_FILE_POINTER;
  }
  return static_cast<DWORD>(pos);
}

BOOL CloseHandle(HANDLE file) {
  if (!Valid(file)) return Fail(EBADF);
  bool ok = FlushWrites(file);
  if (::close(file->fd) != 0) ok = false;
  delete file;
  return ok ? TRUE : FALSE;
}

DWORD GetLastError() { return lastError; }

namespace platform {

int LockShared(int fd) { return Lock(fd, true); }

void SetLockPatienceForTesting(std::chrono::milliseconds patience) { sharedLockPatience = patience; }

HANDLE HandleFromDescriptor(int fd) {
  auto* f = new FileObject;
  f->fd = fd;
  f->writable = true;
  return f;
}

BOOL FlushToDisk(HANDLE file) {
  if (!Valid(file)) return Fail(EBADF);
  if (!FlushWrites(file)) return FALSE;
  if (::fsync(file->fd) != 0) return Fail(errno);
  return TRUE;
}

}  // namespace platform
