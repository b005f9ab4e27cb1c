#include "tests/cli/cli_runner.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "tests/support/test_files.h"

namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// Under Wine: the loader, the .exe it runs and Wine's settings, for the
// bits that LIBMORPH_CLI_WINE names.
struct Wine {
  std::string loader, exe, prefix;
};

// Debian keeps wine64 out of PATH; empty when neither is there. "wine"
// alone runs no 32-bit program: that needs the 32-bit loader beside it
// (Debian's wine32), which a 64-bit-only installation lacks.
std::string Loader(bool wide) {
  if (!wide) return HaveProgram("wine") && FileExists("/usr/lib/wine/wine") ? "wine" : "";
  if (HaveProgram("wine64")) return "wine64";
  return FileExists("/usr/lib/wine/wine64") ? "/usr/lib/wine/wine64" : "";
}

Wine WineFor(const std::string& bits) {
  const bool wide = bits == "64";
  return {Loader(wide),
          std::string(LIBMORPH_WINDOWS_BUILD) + (wide ? "/x86_64" : "/i686") +
              "/libmorph/cli/libmorph-cli.exe",
          std::string(LIBMORPH_BINARY_DIR) + "/wine" + (wide ? "64" : "32")};
}

bool UnderLoader() { return !Env("LIBMORPH_CLI_WINE").empty(); }

// Every test of the program skips when the .exe or its loader is not
// there: a machine without Wine checks the Linux program only. GoogleTest
// marks no test skipped for a skipped environment, so the line CTest
// looks for is printed here.
class LoaderCheck : public ::testing::Environment {
 public:
  void SetUp() override {
    if (!UnderLoader()) return;
    const Wine wine = WineFor(Env("LIBMORPH_CLI_WINE"));
    std::string missing;
    if (wine.loader.empty()) missing = "Wine's loader for this .exe is not installed";
    else if (!FileExists(wine.exe)) missing = wine.exe + " is not built (scripts/build-windows)";
    if (missing.empty()) return;
    std::printf("[  SKIPPED ] %s\n", missing.c_str());
    GTEST_SKIP() << missing;
  }
};

[[maybe_unused]] const auto* const kLoaderCheck =
    ::testing::AddGlobalTestEnvironment(new LoaderCheck);

std::string WithoutCarriageReturns(std::string text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i)
    if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) out.push_back(text[i]);
  return out;
}

}  // namespace

CliResult RunCli(const std::vector<std::string>& arguments) {
  TempDir streams;
  const std::string outPath = streams.File("out");
  const std::string errPath = streams.File("err");

  const bool loader = UnderLoader();
  const Wine wine = WineFor(Env("LIBMORPH_CLI_WINE"));
  std::vector<std::string> argv;
  if (loader) argv = {wine.loader, wine.exe};
  else argv = {LIBMORPH_CLI};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  std::vector<char*> pointers;
  for (std::string& a : argv) pointers.push_back(a.data());
  pointers.push_back(nullptr);

  CliResult result;
  const pid_t child = ::fork();
  if (child == 0) {
    const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (out < 0 || err < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0) ::_exit(127);
    if (loader) {
      ::setenv("WINEPREFIX", wine.prefix.c_str(), 1);
      ::setenv("WINEDEBUG", "-all", 1);
      ::setenv("WINEDLLOVERRIDES", "mscoree,mshtml=", 1);  // no offer to install them
    }
    ::execvp(pointers[0], pointers.data());
    ::_exit(127);
  }
  if (child < 0) return result;
  int status = 0;
  ::waitpid(child, &status, 0);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  if (FileExists(outPath)) result.out = ReadFileText(outPath);
  if (FileExists(errPath)) result.err = ReadFileText(errPath);
  if (loader) {
    result.out = WithoutCarriageReturns(result.out);
    result.err = WithoutCarriageReturns(result.err);
  }
  return result;
}

std::string Describe(const std::vector<std::string>& arguments, const CliResult& result) {
  std::string text = UnderLoader() ? WineFor(Env("LIBMORPH_CLI_WINE")).exe : "libmorph-cli";
  for (const std::string& a : arguments) text += " '" + a + "'";
  text += "\nexit status " + std::to_string(result.status);
  text += "\n--- stdout ---\n" + result.out + "--- stderr ---\n" + result.err;
  return text;
}

std::string ReasonText(SystemReason reason) {
  const bool windows = UnderLoader();
  switch (reason) {
    case SystemReason::NoSuchFile: return windows ? "File not found." : "No such file or directory";
    case SystemReason::NoSuchFolder: return windows ? "Path not found." : "No such file or directory";
    case SystemReason::IsAFolder: return windows ? "Access denied." : "Is a directory";
    case SystemReason::AccessDenied: return windows ? "Access denied." : "Permission denied";
  }
  return {};
}
