// The x64 road through a real loader: a library made from one of Wine's
// own 64-bit DLLs, an x64 client that takes the address of every export
// through it, and Wine's 64-bit loader, which names each import it cannot
// bind. Optional: it skips where wine64 is not installed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "files/fichier_lib.h"
#include "tests/support/peer_bindings.h"
#include "tests/support/peers.h"
#include "tests/support/test_files.h"

namespace {

// Debian keeps wine64 out of PATH.
std::string Wine64() {
  if (HaveProgram("wine64")) return "wine64";
  return FileExists("/usr/lib/wine/wine64") ? "/usr/lib/wine/wine64" : "";
}

TEST(Wine64Test, ClientLinkedAgainstOurLibraryOfAWineDllBindsEveryImport) {
  const std::string wine = Wine64();
  if (wine.empty()) GTEST_SKIP() << "wine64 is not installed";
  ASSERT_TRUE(Installed({Peer("clang"), Peer("lld-link")}));
  const std::string dll = "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows/version.dll";
  if (!FileExists(dll)) GTEST_SKIP() << dll << " is not there: this Wine has no 64-bit DLLs";

  TempDir dir;
  TFichierLib lib;
  ASSERT_TRUE(lib.ReadDllFile(dll));
  ASSERT_EQ(lib.SourceMachine, Machine::Amd64);
  ASSERT_TRUE(lib.WriteCoffLibrary(dir.File("version.lib")));
  const PeerBindings ours = ReadLibraryBindings(dir.File("version.lib"));
  ASSERT_TRUE(ours.ok) << ours.error;
  ASSERT_GT(ours.bindings.size(), 10u);

  // Every import's slot is taken by address, so the loader binds them all
  // before the client runs; the client then exits with 7.
  std::string s = "  .text\n  .globl start\nstart:\n  leaq table(%rip), %rax\n  movl $7, %eax\n  ret\n"
                  "  .data\ntable:\n";
  for (const PeerBinding& b : ours.bindings) s += "  .quad \"__imp_" + b.symbol + "\"\n";
  WriteFileText(dir.File("client.s"), s);
  std::string log;
  ASSERT_EQ(RunCommand(Peer("clang") + " --target=x86_64-pc-windows-msvc -c " + dir.File("client.s") + " -o " +
                           dir.File("client.obj") + " && " + Peer("lld-link") + " -machine:x64 -subsystem:console "
                           "-nodefaultlib -entry:start -out:" + dir.File("client.exe") + " " +
                           dir.File("client.obj") + " " + dir.File("version.lib"), &log), 0) << log;

  const std::string prefix = std::string(LIBMORPH_BINARY_DIR) + "/wine64";
  const int status = RunCommand("cd '" + dir.Path() + "' && WINEPREFIX='" + prefix +
                                    "' WINEDEBUG=warn+module WINEDLLOVERRIDES='mscoree,mshtml=' "
                                    "timeout 300 " + wine + " client.exe",
                                &log);
  if (status == 124) GTEST_SKIP() << "Wine did not start the client within 300 s";
  std::size_t unbound = 0;
  for (std::size_t at = log.find("No implementation for"); at != std::string::npos;
       at = log.find("No implementation for", at + 1))
    ++unbound;
  EXPECT_EQ(unbound, 0u) << log;
  EXPECT_EQ(status, 7) << log;
}

}  // namespace
