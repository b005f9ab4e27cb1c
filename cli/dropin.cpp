#include "cli/dropin.h"

#include <cctype>
#include <cstdlib>
#include <string>

#include "model/file_bytes.h"
#include "platform/clock.h"
#include "platform/file_api.h"

namespace cli {

namespace {

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// The machine of a target triple's first word, as the mingw-w64 and LLVM
// toolchains spell it.
std::optional<Machine> MachineOfArch(std::string_view arch) {
  if (arch == "x86_64" || arch == "amd64" || arch == "x64") return Machine::Amd64;
  if (arch == "i386" || arch == "i486" || arch == "i586" || arch == "i686") return Machine::I386;
  if (arch == "aarch64" || arch == "arm64") return Machine::Arm64;
  if (arch == "arm64ec") return Machine::Arm64ec;
  return std::nullopt;
}

// More "@file" levels than any build writes: past them a file that names
// itself would never end.
constexpr int kMaxResponseDepth = 20;

void SplitWords(std::string_view text, bool backslashes, std::vector<std::string>& words) {
  std::string word;
  bool inWord = false, escaped = false;
  char quote = 0;
  for (const char c : text) {
    if (escaped) {
      word += c;
      escaped = false;
    } else if (backslashes && c == '\\') {
      escaped = inWord = true;
    } else if (quote) {
      if (c == quote) quote = 0;
      else word += c;
    } else if (c == '\'' || c == '"') {
      quote = c;
      inWord = true;
    } else if (std::isspace(static_cast<unsigned char>(c))) {
      if (inWord) words.push_back(std::move(word));
      word.clear();
      inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (inWord) words.push_back(std::move(word));
}

void Expand(const std::vector<std::string>& arguments, bool backslashes, int depth, std::vector<std::string>& out) {
  for (const std::string& argument : arguments) {
    FileBytes bytes;
    if (argument.size() < 2 || argument[0] != '@' || depth >= kMaxResponseDepth ||
        !ReadFileBytes(argument.substr(1), bytes)) {
      out.push_back(argument);
      continue;
    }
    std::vector<std::string> words;
    SplitWords(std::string_view(reinterpret_cast<const char*>(bytes.data.get()), bytes.size), backslashes, words);
    Expand(words, backslashes, depth + 1, out);
  }
}

}  // namespace

void ReadAs32BitIntel(TFichierLib& lib, const std::string& defFile, DefRules rules, bool underscores) {
  const def::Dialect dialect{rules, underscores};
  // The list was read by the rules of llvm-dlltool -k already; a file that
  // changed since stays read so.
  if (dialect.rules == def::Dialect().rules && dialect.underscores) return;
  def::ReadFile(defFile, lib, Machine::I386, dialect);
}

ProgramName PersonalityOf(std::string_view argv0) {
  const std::size_t slash = argv0.find_last_of("/\\");
  std::string base = Lower(slash == std::string_view::npos ? argv0 : argv0.substr(slash + 1));
  if (base.ends_with(".exe")) base.resize(base.size() - 4);
  ProgramName name;
  if (base == "lib" || base == "llvm-lib") {
    name.personality = Personality::Lib;
    return name;
  }
  constexpr std::string_view kDlltool = "dlltool";
  if (!base.ends_with(kDlltool)) return name;
  std::string prefix = base.substr(0, base.size() - kDlltool.size());
  if (!prefix.empty() && !prefix.ends_with('-')) return name;  // "xdlltool" is some other program
  name.personality = Personality::Dlltool;
  if (prefix.empty()) return name;
  const std::string arch = prefix.substr(0, prefix.find('-'));
  name.machine = MachineOfArch(arch);
  // "llvm-dlltool" names no target; "armv7-w64-mingw32-" names one we do
  // not write for.
  if (!name.machine && prefix.find('-') + 1 < prefix.size()) name.unsupportedTarget = prefix.substr(0, prefix.size() - 1);
  return name;
}

std::vector<std::string> ExpandResponseFiles(const std::vector<std::string>& arguments, bool backslashes) {
  std::vector<std::string> out;
  Expand(arguments, backslashes, 0, out);
  return out;
}

void SetDll(ExportList& list, const std::string& dll) {
  list.Dll = dll;
  for (std::uint32_t i = 0; i < list.Fonctions.Count; ++i) list.Fonctions.Item(i).Import.Dll = dll;
}

bool NamesADll(ExportList& list) {
  if (!list.Dll.empty()) return true;
  for (std::uint32_t i = 0; i < list.Fonctions.Count; ++i)
    if (!list.Fonctions.Item(i).Import.Dll.empty()) return true;
  return false;
}

void UseZeroTimeStamps() {
  const char* epoch = std::getenv("SOURCE_DATE_EPOCH");
  if (epoch == nullptr || *epoch == '\0') platform::SetClock([] { return std::int64_t{0}; });
}

}  // namespace cli
