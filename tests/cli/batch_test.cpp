// convert IN... --out-dir DIR: many libraries in one run.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/cli/cli_runner.h"
#include "tests/support/test_files.h"

namespace {

// Count of the lines of text that contain word.
int LinesWith(const std::string& text, const std::string& word) {
  int count = 0;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    if (text.substr(start, end - start).find(word) != std::string::npos) ++count;
  return count;
}

std::vector<std::string> NamesIn(const std::string& listing) {
  std::vector<std::string> names;
  for (std::size_t start = 0, end; (end = listing.find('\n', start)) != std::string::npos; start = end + 1)
    names.push_back(listing.substr(start, listing.find('\t', start) - start));
  return names;
}

class BatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // A .def without LIBRARY, a GNU library, a COFF library, and a file
    // that is no library at all.
    WriteFileText(in.File("alpha.def"), "EXPORTS\n  AlphaOne@8\n  AlphaTwo\n");
    TFichierLib lib;
    SetList(lib, {Entry("GammaOne", 4, true), Entry("GammaTwo", 0, false)});
    lib.Fonctions.Item(0).Import.Dll = lib.Fonctions.Item(1).Import.Dll = "gamma.dll";
    ASSERT_TRUE(lib.WriteGnuLibrary(in.File("libgamma.dll.a")));
    SetList(lib, {Entry("DeltaOne", 12, true)});
    lib.Fonctions.Item(0).Import.Dll = "delta.dll";
    ASSERT_TRUE(lib.WriteCoffLibrary(in.File("delta.lib")));
    WriteFileText(in.File("broken.lib"), "!<arch>\nnot really");
  }

  std::vector<std::string> Inputs() const {
    return {in.File("alpha.def"), in.File("libgamma.dll.a"), in.File("broken.lib"), in.File("delta.lib")};
  }

  static CliResult Batch(const std::vector<std::string>& inputs, std::vector<std::string> options) {
    std::vector<std::string> arguments = {"convert"};
    arguments.insert(arguments.end(), inputs.begin(), inputs.end());
    arguments.insert(arguments.end(), options.begin(), options.end());
    return RunCli(arguments);
  }

  TempDir in;
  TempDir out;
};

TEST_F(BatchTest, EachInputIsConvertedUnderItsOwnNameAndEachFailureSaidOnce) {
  struct Case {
    const char* to;
    std::vector<std::string> written;  // sorted
    const char* alphaDll;              // the DLL of a .def without LIBRARY
  };
  for (const Case& c : {Case{"coff", {"alpha.lib", "delta.lib", "gamma.lib"}, "alpha.dll"},
                        Case{"def", {"alpha.def", "delta.def", "gamma.def"}, "alpha.dll"},
                        Case{"gnu", {"libalpha.dll.a", "libdelta.dll.a", "libgamma.dll.a"}, "alpha.dll"}}) {
    SCOPED_TRACE(c.to);
    const std::string dir = out.File(c.to);
    const CliResult result =
        Batch(Inputs(), {"--out-dir", dir, "--to", c.to, "--stdcall", "AlphaTwo", "--stdcall", "Nowhere"});
    EXPECT_EQ(result.status, 1) << result.err;
    EXPECT_EQ(LinesWith(result.err, "broken.lib"), 1) << result.err;
    EXPECT_EQ(LinesWith(result.err, "1 of 4 inputs not converted"), 1) << result.err;
    // A name that no input has, said once for the run; AlphaTwo is alpha's.
    EXPECT_EQ(LinesWith(result.err, "Nowhere"), 1) << result.err;
    EXPECT_EQ(LinesWith(result.err, "AlphaTwo"), 0) << result.err;

    std::vector<std::string> written;
    for (const std::string& name : c.written) written.push_back(dir + "/" + name);
    std::vector<std::string> names;
    for (const std::string& file : written) {
      const CliResult list = RunCli({"list", file});
      ASSERT_EQ(list.status, 0) << file << list.err;
      for (const std::string& name : NamesIn(list.out)) names.push_back(name);
      if (file.find("alpha") != std::string::npos) {
        EXPECT_NE(list.out.find(std::string("\t") + c.alphaDll + "\n"), std::string::npos) << list.out;
        EXPECT_NE(list.out.find("AlphaTwo\t_stdcall"), std::string::npos) << list.out;
      }
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"AlphaOne", "AlphaTwo", "DeltaOne", "GammaOne", "GammaTwo"}));
  }
}

TEST_F(BatchTest, OutputsThatWouldClashAreRefusedBeforeAnythingIsWritten) {
  TempDir other;
  WriteFileText(other.File("ALPHA.def"), "EXPORTS\n  Other\n");
  WriteFileText(other.File("libalpha.a"), "EXPORTS\n  Other\n");
  const struct {
    std::vector<std::string> inputs;
    std::string outDir;
  } cases[] = {
      {{in.File("alpha.def"), other.File("ALPHA.def")}, out.File("new")},
      {{in.File("alpha.def"), other.File("libalpha.a")}, out.File("new")},
      {{in.File("alpha.def"), in.File("delta.lib")}, in.Path()},  // delta.lib over itself
  };
  for (const auto& c : cases) {
    const std::vector<std::string> before = in.Entries();
    const CliResult result = Batch(c.inputs, {"--out-dir", c.outDir});
    EXPECT_EQ(result.status, 1) << result.err;
    EXPECT_NE(result.err.find("nothing was written"), std::string::npos) << result.err;
    EXPECT_FALSE(FileExists(out.File("new"))) << result.err;
    EXPECT_EQ(in.Entries(), before);
  }
}

// The same bytes whatever the number of threads and the order of the
// inputs, given through a list file or not.
TEST_F(BatchTest, OutputsAreTheSameWhateverTheThreadsAndTheOrder) {
  std::vector<std::string> inputs;
  std::string listed;
  for (int i = 0; i < 12; ++i) {
    const std::string name = in.File("lib" + std::to_string(i) + ".def");
    std::string text = "LIBRARY lib" + std::to_string(i) + ".dll\nEXPORTS\n";
    for (int k = 0; k <= i * 40; ++k) text += "  Function" + std::to_string(k) + "@" + std::to_string(4 * (k % 4)) + "\n";
    WriteFileText(name, text);
    inputs.push_back(name);
    listed = name + "\r\n" + listed;  // reversed, with Windows line ends
  }
  WriteFileText(in.File("inputs.txt"), listed + "\n");
  setenv("SOURCE_DATE_EPOCH", "1700000000", 1);
  setenv("LIBMORPH_THREADS", "1", 1);
  const CliResult one = Batch(inputs, {"--out-dir", out.File("one")});
  setenv("LIBMORPH_THREADS", "5", 1);
  const CliResult five = Batch({"@" + in.File("inputs.txt")}, {"--out-dir", out.File("five")});
  unsetenv("LIBMORPH_THREADS");
  unsetenv("SOURCE_DATE_EPOCH");
  ASSERT_EQ(one.status, 0) << one.err;
  ASSERT_EQ(five.status, 0) << five.err;
  for (int i = 0; i < 12; ++i) {
    const std::string name = "/lib" + std::to_string(i) + ".lib";
    EXPECT_EQ(ReadFileBytes(out.File("one") + name), ReadFileBytes(out.File("five") + name)) << name;
  }
  // Nothing but the libraries: no temporary file left behind.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(out.File("five")), {}), 12);
}

}  // namespace
