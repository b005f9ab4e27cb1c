#include "tests/support/peers.h"

#include "tests/support/test_files.h"

std::string PeerOf(int llvmVersion, const std::string& tool) {
  return "/usr/lib/llvm-" + std::to_string(llvmVersion) + "/bin/" + tool;
}

std::string Peer(const std::string& tool) { return PeerOf(22, tool); }

::testing::AssertionResult Installed(const std::vector<std::string>& programs) {
  std::string missing;
  for (const std::string& program : programs)
    if (!HaveProgram(program)) missing += (missing.empty() ? "" : ", ") + program;
  if (missing.empty()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "not installed: " << missing << " (scripts/install-deps installs every peer)";
}
