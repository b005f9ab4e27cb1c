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
