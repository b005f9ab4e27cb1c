#include "platform/safe_save.h"

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <mutex>
#include <set>
#include <string>
#include <utility>

#include "platform/file_api.h"

namespace {

constexpr int kStages = 5;
int failAt[kStages] = {};
int calls[kStages] = {};

// An injected failure reports an input-output error, as a failing disk
// would, whatever an earlier call left in errno.
bool Injected(platform::SaveStage stage) {
  int i = static_cast<int>(stage);
  if (failAt[i] == 0) return false;
  if (++calls[i] != failAt[i]) return false;
  errno = EIO;
  return true;
}

std::string FolderOf(const std::string& path) {
  auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// The only way to learn the umask is to set it and put it back; done once,
// since between the two calls a save on another thread would take the
// umask 0 (a file anyone may write) or the mode computed from it.
mode_t DefaultMode() {
  static const mode_t mode = [] {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
  }();
  return mode;
}

// The folders a GroupedFolderSyncs will sync; null while none lives.
std::mutex groupLock;
std::set<std::string>* groupedFolders = nullptr;

int SyncFolder(const std::string& folder) {
  const int dfd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd < 0) return errno;
  const int error = ::fsync(dfd) == 0 ? 0 : errno;
  ::close(dfd);
  return error;
}

// Makes the rename into folder durable, now or at the group's Finish.
void SyncAfterRename(const std::string& folder) {
  {
    std::lock_guard<std::mutex> hold(groupLock);
    if (groupedFolders != nullptr) {
      groupedFolders->insert(folder);
      return;
    }
  }
  SyncFolder(folder);
}

}  // namespace

namespace platform {

void FailSaveStageForTesting(SaveStage stage, int nth) {
  int i = static_cast<int>(stage);
  failAt[i] = nth;
  calls[i] = 0;
}

GroupedFolderSyncs::GroupedFolderSyncs() {
  std::lock_guard<std::mutex> hold(groupLock);
  if (groupedFolders == nullptr) groupedFolders = new std::set<std::string>;
}

GroupedFolderSyncs::~GroupedFolderSyncs() { Finish(); }

int GroupedFolderSyncs::Finish() {
  std::set<std::string>* folders = nullptr;
  {
    std::lock_guard<std::mutex> hold(groupLock);
    std::swap(folders, groupedFolders);
  }
  if (folders == nullptr) return 0;
  int first = 0;
  for (const std::string& folder : *folders)
    if (const int error = SyncFolder(folder); error != 0 && first == 0) first = error;
  delete folders;
  return first;
}

}  // namespace platform

SafeSave::SafeSave(const std::string& fileName) : fileName_(fileName), targetPath_(fileName) {
  // Saving through a symbolic link replaces the file it points to, not
  // the link.
  struct stat lst {};
  if (!fileName.empty() && ::lstat(fileName.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
    char resolved[PATH_MAX];
    if (::realpath(fileName.c_str(), resolved) != nullptr) targetPath_ = resolved;
  }

  struct stat st {};
  const bool existed = !targetPath_.empty() && ::stat(targetPath_.c_str(), &st) == 0;
  if (Injected(platform::SaveStage::Open)) {
    error_ = EIO;
  } else if (fileName.empty()) {
    error_ = ENOENT;
  } else {
    // The target is opened, not created: write access is checked as a
    // plain open would check it, and its shared lock keeps out a program
    // that writes the file in place, while readers and other saves go on.
    // A target that does not exist yet is made by the rename alone, so a
    // failed save leaves nothing, and never removes what another save of
    // the same file put there.
    int fd = -1;
    if (existed) {
      fd = ::open(targetPath_.c_str(), O_RDWR | O_CLOEXEC);
      if (fd < 0) {
        error_ = errno;
      } else if (struct stat fst {}; ::fstat(fd, &fst) != 0 || !S_ISREG(fst.st_mode)) {
        error_ = EISDIR;
      } else if (const int held = platform::LockShared(fd); held != 0) {
        error_ = EBUSY;  // another program writes it
      } else {
        target_ = platform::HandleFromDescriptor(fd);
      }
      if (target_ == INVALID_HANDLE_VALUE && fd >= 0) ::close(fd);
    }
    if (error_ == 0) {
      // A short name of its own, so that a target whose name is near the
      // system's limit still gets a temporary beside it.
      std::string pattern = FolderOf(targetPath_) + "/.libmorph-save-XXXXXX";
      int tfd = ::mkstemp(pattern.data());
      if (tfd < 0) error_ = errno;
      if (tfd >= 0) {
        ::fcntl(tfd, F_SETFD, FD_CLOEXEC);
        ::fchmod(tfd, existed ? (st.st_mode & 07777) : DefaultMode());
        tempName_ = pattern;
        temp_ = platform::HandleFromDescriptor(tfd);
      }
    }
  }
  if (temp_ == INVALID_HANDLE_VALUE) {
    if (error_ == 0) error_ = EIO;
    Abandon();
  }
}

SafeSave::~SafeSave() {
  if (!done_) Abandon();
}

bool SafeSave::Write(const void* data, std::uint32_t size) {
  if (failed_ || !IsOpen()) return false;
  DWORD written = 0;
  errno = 0;
  if (Injected(platform::SaveStage::Write) || !WriteFile(temp_, data, size, &written, nullptr) ||
      written != size) {
    failed_ = true;
    error_ = WriteError();
  }
  return !failed_;
}

bool SafeSave::Seek(std::uint32_t position) {
  if (failed_ || !IsOpen()) return false;
  errno = 0;
  if (Injected(platform::SaveStage::Seek) || position > 0x7FFFFFFFu ||
      SetFilePointer(temp_, static_cast<LONG>(position), nullptr, FILE_BEGIN) != position) {
    failed_ = true;
    error_ = WriteError();
  }
  return !failed_;
}

bool SafeSave::Commit() {
  if (!IsOpen() || done_) return false;
  if (failed_) return Failed();
  errno = 0;
  if (Injected(platform::SaveStage::Flush) || !platform::FlushToDisk(temp_)) return Failed();
  HANDLE temp = temp_;
  temp_ = INVALID_HANDLE_VALUE;
  errno = 0;
  if (!CloseHandle(temp)) return Failed();
  errno = 0;
  if (Injected(platform::SaveStage::Rename) ||
      ::rename(tempName_.c_str(), targetPath_.c_str()) != 0)
    return Failed();
  SyncAfterRename(FolderOf(targetPath_));
  tempName_.clear();
  if (target_ != INVALID_HANDLE_VALUE) CloseHandle(target_);
  target_ = INVALID_HANDLE_VALUE;
  done_ = true;
  return true;
}

bool SafeSave::Failed() {
  if (error_ == 0) error_ = WriteError();
  Abandon();
  return false;
}

int SafeSave::WriteError() {
  const int system = errno != 0 ? errno : static_cast<int>(GetLastError());
  return system != 0 ? system : EIO;
}

void SafeSave::Abandon() {
  done_ = true;
  if (temp_ != INVALID_HANDLE_VALUE) {
    CloseHandle(temp_);
    temp_ = INVALID_HANDLE_VALUE;
  }
  if (!tempName_.empty()) {
    ::unlink(tempName_.c_str());
    tempName_.clear();
  }
  if (target_ != INVALID_HANDLE_VALUE) {
    CloseHandle(target_);
    target_ = INVALID_HANDLE_VALUE;
  }
}
