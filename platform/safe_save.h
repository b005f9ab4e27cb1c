// Saving a file so that a failed save never costs the file that was there.
//
// The bytes go to a temporary file in the target's folder; only when every
// byte has reached it is it renamed over the target (on Windows, moved
// over it by MoveFileEx, written through). Readers of the old file, in
// this process or in other runs of a parallel build, read it whole to its
// end; two saves of one file each put a whole file in place, the later one
// last. A target that does not exist is made by that rename alone.
//
// Nothing is shown to the user here: a failure leaves its system error
// code in Error() for the caller to report.
#pragma once

#include <cstdint>
#include <string>

#include "platform/windows_types.h"

class SafeSave {
 public:
  explicit SafeSave(const std::string& fileName);
  ~SafeSave();  // an uncommitted save is abandoned: the temporary goes
  SafeSave(const SafeSave&) = delete;
  SafeSave& operator=(const SafeSave&) = delete;

  // False when the target could not be opened (Error() says why).
  bool IsOpen() const { return temp_ != INVALID_HANDLE_VALUE; }

  // Each records a failure; after one, the rest do nothing and Commit fails.
  bool Write(const void* data, std::uint32_t size);
  bool Seek(std::uint32_t position);

  // Flushes, renames over the target and releases it. On any failure the
  // old file stays as it was, the temporary is removed and the answer is
  // false.
  bool Commit();

  // The system's error code of the failure (errno, or GetLastError's on
  // Windows), 0 while none.
  int Error() const { return error_; }

  const std::string& TemporaryName() const { return tempName_; }

 private:
  void Abandon();
  bool Failed();
  static int WriteError();

  std::string fileName_;
  std::string targetPath_;  // fileName_ with a symbolic link resolved
  std::string tempName_;
  // On Linux, the old file under a shared lock, which keeps out a program
  // that writes it in place; unused on Windows.
  HANDLE target_ = INVALID_HANDLE_VALUE;
  HANDLE temp_ = INVALID_HANDLE_VALUE;
  bool failed_ = false;
  bool done_ = false;
  int error_ = 0;
};

namespace platform {

// Stages at which tests can make a save fail, to check that nothing is
// lost at any of them.
enum class SaveStage { Open, Write, Seek, Flush, Rename };

// Makes the nth call (counted from 1) of the stage fail from now on; 0
// switches it off. Process-wide; for tests.
void FailSaveStageForTesting(SaveStage stage, int nth);

// While one lives, saves leave the sync that makes their rename durable to
// it: many files saved into one folder then cost one sync of the folder,
// at Finish, rather than one each. Each file's bytes still reach the disk
// before its rename, so a file in place is always whole; until Finish, a
// crash may only undo renames. One at a time, process-wide.
class GroupedFolderSyncs {
 public:
  GroupedFolderSyncs();
  ~GroupedFolderSyncs();  // finishes, if Finish was not called
  GroupedFolderSyncs(const GroupedFolderSyncs&) = delete;
  GroupedFolderSyncs& operator=(const GroupedFolderSyncs&) = delete;

  // Syncs every folder saved into; 0, or the system's error code of the
  // first sync that failed.
  int Finish();
};

}  // namespace platform
