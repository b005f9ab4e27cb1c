// The real tools the tests compare Libmorph with, and whether they are
// there.
//
// LLVM tools are called by the path of one chosen version: the plain names
// on Debian 12 are LLVM 14's, whose llvm-lib knows no -def: and whose
// lld-link cannot link ARM64EC, so which LLVM a test talks to must not
// depend on PATH. GNU tools (mingw-w64's, nasm, gendef) have one version
// and are called by name.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

// An LLVM tool ("clang", "lld-link", "llvm-readobj", "llvm-lib", ...) of
// LLVM 22, by path.
std::string Peer(const std::string& tool);
// The same of another LLVM, for a test that compares with that version's
// own behaviour.
std::string PeerOf(int llvmVersion, const std::string& tool);

// Success when every program (a path, or a name on PATH) is there; else a
// failure naming the missing ones. scripts/install-deps installs every
// peer, so a test asserts this rather than skip: a missing peer means a
// machine the script did not set up, and the check it would make is lost.
::testing::AssertionResult Installed(const std::vector<std::string>& programs);

// Assembly (llvm-mc, arm64ec-windows) defining what the CRT gives an
// ARM64EC program and lld-link asks for: the dispatch pointers and the
// indirect-call helper, as empty stand-ins.
inline constexpr char kArm64ecRuntimeStubs[] =
    ".data\n"
    ".globl __os_arm64x_dispatch_ret\n__os_arm64x_dispatch_ret: .xword 0\n"
    ".globl __os_arm64x_dispatch_call_no_redirect\n__os_arm64x_dispatch_call_no_redirect: .xword 0\n"
    ".globl __os_arm64x_check_icall\n__os_arm64x_check_icall: .xword 0\n"
    ".text\n.globl __icall_helper_arm64ec\n.p2align 2\n__icall_helper_arm64ec:\n  ret\n";
