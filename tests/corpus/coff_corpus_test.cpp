// What each import of other producers' COFF libraries binds to, read from
// its member, against the bindings recorded beside each library: client
// symbol, what the loader looks up ("@N" by ordinal), code or data.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/test_files.h"

namespace {

struct CoffLibrary {
  const char* path;
  const char* dll;  // as the members write it
  // Imports recorded as code whose objects have no thunk, only the address
  // slot (and a "__nm_" symbol): a client can only reach them as data.
  std::vector<std::string> dataRecordedAsCode;
};

const CoffLibrary kCoffLibraries[] = {
    {"libusb-win32/msvc/libusb.lib", "libusb0.dll", {}},
    {"libusb-win32/gcc/libusb.a",
     "libusb0.dll",
     {"_usb_busses", "_usb_debug", "_usb_error_errno", "_usb_error_str", "_usb_error_type"}},
    {"llvm-mingw/libshlwapi.a", "SHLWAPI.dll", {}},
};

std::string KindText(ImportKind kind) {
  switch (kind) {
    case ImportKind::Code: return "code";
    case ImportKind::Data: return "data";
    case ImportKind::Const: return "const";
  }
  return "?";
}

std::set<std::string> RecordedLines(const std::string& path) {
  std::set<std::string> lines;
  std::istringstream in(ReadFileText(path));
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) lines.insert(line);
  }
  return lines;
}

TEST(CoffCorpusTest, EveryImportBindsAsRecorded) {
  const std::string corpus = LIBMORPH_CORPUS_DIR;
  if (!std::filesystem::is_directory(corpus))
    GTEST_SKIP() << "corpus folder " << corpus << " is absent; these checks need it";
  for (const CoffLibrary& library : kCoffLibraries) {
    SCOPED_TRACE(library.path);
    const std::string path = corpus + "/" + library.path;
    TFichierLib lib;
    ASSERT_TRUE(lib.ReadCoffLibrary(path));
    std::set<std::string> got;
    for (const TFonctionLib& e : ListOf(lib)) {
      const ImportBinding& b = e.Import;
      EXPECT_EQ(b.Dll, library.dll) << e.Name;
      got.insert(MicrosoftName(e) + "\t" +
                 (b.ByOrdinal ? "@" + std::to_string(b.Ordinal) : b.ExportName) + "\t" +
                 KindText(b.Kind));
    }
    std::set<std::string> recorded = RecordedLines(path + ".bindings.tsv");
    for (const std::string& symbol : library.dataRecordedAsCode) {
      const auto line = std::find_if(recorded.begin(), recorded.end(), [&](const std::string& l) {
        return l.starts_with(symbol + "\t") && l.ends_with("\tcode");
      });
      ASSERT_NE(line, recorded.end()) << symbol;
      const std::string data = line->substr(0, line->size() - 4) + "data";
      recorded.erase(line);
      recorded.insert(data);
    }
    EXPECT_EQ(got, recorded);
    EXPECT_EQ(lib.Fonctions.Count, recorded.size());
  }
}

}  // namespace
