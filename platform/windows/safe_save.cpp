// The safe save on Windows: the bytes in a new file beside the target, and
// MoveFileExW replacing the target with it, written through, once every
// byte has reached the disk. The target is never held open: readers (of
// this process, or other runs of a parallel build) go on reading the old
// file meanwhile, and two saves of one file each replace it whole.
#include "platform/safe_save.h"

#include "platform/file_api.h"
#include "platform/windows/system.h"

namespace win = platform::windows;

namespace {

constexpr int kStages = 5;
int failAt[kStages] = {};
int calls[kStages] = {};

bool Injected(platform::SaveStage stage) {
  const int i = static_cast<int>(stage);
  if (failAt[i] == 0) return false;
  return ++calls[i] == failAt[i];
}

}  // namespace

namespace platform {

// MoveFileEx writes each rename through: there is nothing left to group.
GroupedFolderSyncs::GroupedFolderSyncs() = default;
GroupedFolderSyncs::~GroupedFolderSyncs() = default;
int GroupedFolderSyncs::Finish() { return 0; }

void FailSaveStageForTesting(SaveStage stage, int nth) {
  const int i = static_cast<int>(stage);
  failAt[i] = nth;
  calls[i] = 0;
}

}  // namespace platform

SafeSave::SafeSave(const std::string& fileName) : fileName_(fileName), targetPath_(fileName) {
  if (fileName.empty()) {
    error_ = static_cast<int>(win::kFileNotFound);
  } else if (!Injected(platform::SaveStage::Open)) {
    // A folder or a read-only file is refused before anything is written,
    // as a plain open for writing would refuse it.
    bool exists = false;
    if (!win::WritableFile(targetPath_, &exists)) {
      error_ = static_cast<int>(win::LastError());
    } else {
      tempName_ = win::NewFileBeside(targetPath_);
      win::Native temp = nullptr;
      if (!tempName_.empty())
        temp = win::Open(tempName_, GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS);
      if (temp == nullptr) error_ = static_cast<int>(win::LastError());
      else temp_ = win::Adopt(temp, true);
    }
  }
  if (temp_ == INVALID_HANDLE_VALUE) {
    if (error_ == 0) error_ = static_cast<int>(win::kWriteFault);
    Abandon();
  }
}

SafeSave::~SafeSave() {
  if (!done_) Abandon();
}

bool SafeSave::Write(const void* data, std::uint32_t size) {
  if (failed_ || !IsOpen()) return false;
  DWORD written = 0;
  if (Injected(platform::SaveStage::Write) || !WriteFile(temp_, data, size, &written, nullptr) ||
      written != size) {
    failed_ = true;
    error_ = WriteError();
  }
  return !failed_;
}

bool SafeSave::Seek(std::uint32_t position) {
  if (failed_ || !IsOpen()) return false;
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
  if (Injected(platform::SaveStage::Flush) || !platform::FlushToDisk(temp_)) return Failed();
  HANDLE temp = temp_;
  temp_ = INVALID_HANDLE_VALUE;
  if (!CloseHandle(temp)) return Failed();
  if (Injected(platform::SaveStage::Rename) || !win::ReplaceWith(tempName_, targetPath_)) {
    error_ = static_cast<int>(win::LastError());
    return Failed();
  }
  tempName_.clear();
  done_ = true;
  return true;
}

bool SafeSave::Failed() {
  if (error_ == 0) error_ = WriteError();
  Abandon();
  return false;
}

int SafeSave::WriteError() {
  const DWORD system = GetLastError();
  return static_cast<int>(system != 0 ? system : win::kWriteFault);
}

void SafeSave::Abandon() {
  done_ = true;
  if (temp_ != INVALID_HANDLE_VALUE) {
    CloseHandle(temp_);
    temp_ = INVALID_HANDLE_VALUE;
  }
  if (!tempName_.empty()) {
    win::Remove(tempName_);
    tempName_.clear();
  }
}
