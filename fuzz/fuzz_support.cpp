#include "fuzz/fuzz_support.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "platform/message_box.h"

namespace {

std::string ScratchFolder() {
  const char* shm = "/dev/shm";
  if (::access(shm, W_OK) == 0) return shm;
  const char* tmp = std::getenv("TMPDIR");
  return tmp ? tmp : "/tmp";
}

std::string MakeName(const char* suffix) {
  return ScratchFolder() + "/libmorph-fuzz-" + std::to_string(::getpid()) + suffix;
}

}  // namespace

const std::string& ScratchFile(const std::uint8_t* data, std::size_t size) {
  static const std::string path = MakeName(".in");
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
  std::fclose(f);
  return path;
}

const std::string& ScratchOutput() {
  static const std::string path = MakeName(".out.lib");
  return path;
}

void SilenceMessageBoxes() {
  static bool done = false;
  if (done) return;
  done = true;
  SetMessageBoxHandler([](void*, const std::string&, const std::string&, UINT) { return IDOK; });
}
