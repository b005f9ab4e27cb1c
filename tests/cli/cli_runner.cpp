#include "tests/cli/cli_runner.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/test_files.h"

CliResult RunCli(const std::vector<std::string>& arguments) {
  TempDir streams;
  const std::string outPath = streams.File("out");
  const std::string errPath = streams.File("err");

  std::vector<std::string> argv = {LIBMORPH_CLI};
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
    ::execv(pointers[0], pointers.data());
    ::_exit(127);
  }
  if (child < 0) return result;
  int status = 0;
  ::waitpid(child, &status, 0);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  if (FileExists(outPath)) result.out = ReadFileText(outPath);
  if (FileExists(errPath)) result.err = ReadFileText(errPath);
  return result;
}

std::string Describe(const std::vector<std::string>& arguments, const CliResult& result) {
  std::string text = "libmorph-cli";
  for (const std::string& a : arguments) text += " '" + a + "'";
  text += "\nexit status " + std::to_string(result.status);
  text += "\n--- stdout ---\n" + result.out + "--- stderr ---\n" + result.err;
  return text;
}
