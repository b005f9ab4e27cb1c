#include "tests/cli/cli_runner.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/support/test_files.h"

namespace {

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

bool UnderLoader() { return !Environment("LIBMORPH_CLI_LOADER").empty(); }

// Every test of the program skips when the .exe or its loader is not
// there: a machine without Wine checks the Linux program only.
class LoaderCheck : public ::testing::Environment {
 public:
  void SetUp() override {
    if (!UnderLoader()) return;
    if (!HaveProgram(Environment("LIBMORPH_CLI_LOADER")))
      GTEST_SKIP() << Environment("LIBMORPH_CLI_LOADER") << " is not installed";
    if (!FileExists(Environment("LIBMORPH_CLI_EXE")))
      GTEST_SKIP() << Environment("LIBMORPH_CLI_EXE") << " is not built (scripts/build-windows)";
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
  std::vector<std::string> argv;
  if (loader) argv = {Environment("LIBMORPH_CLI_LOADER"), Environment("LIBMORPH_CLI_EXE")};
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
  std::string text = UnderLoader() ? Environment("LIBMORPH_CLI_EXE") : "libmorph-cli";
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
