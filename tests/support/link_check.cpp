#include "tests/support/link_check.h"

#include <sstream>

#include "tests/support/test_files.h"

namespace {

constexpr const char* kImportPrefix = "__imp_";

std::string Quoted(const std::string& symbol) { return "\"" + symbol + "\""; }

std::string ClientSource(const std::vector<std::string>& symbols) {
  std::string s = "  .text\n  .globl _start\n_start:\n";
  for (const std::string& symbol : symbols) {
    if (symbol.rfind(kImportPrefix, 0) == 0) {
      s += "  movl " + Quoted(symbol) + ", %eax\n";
      continue;
    }
    s += "  calll " + Quoted(symbol) + "\n";
    s += "  calll *" + Quoted(kImportPrefix + symbol) + "\n";
  }
  s += "  retl\n";
  return s;
}

std::vector<ImportedName> ParseImports(const std::string& listing) {
  std::vector<ImportedName> imports;
  std::istringstream in(listing);
  std::string line;
  std::string dll;
  while (std::getline(in, line)) {
    const std::size_t first = line.find_first_not_of(' ');
    if (first == std::string::npos) continue;
    const std::string text = line.substr(first);
    if (text.rfind("Name: ", 0) == 0) {
      dll = text.substr(6);
    } else if (text.rfind("Symbol: ", 0) == 0) {
      std::string name = text.substr(8);
      // "Symbol: Foo (0)": the hint follows the name. An import by ordinal
      // has no name: "Symbol:  (12)" gives "@12".
      const std::size_t hint = name.rfind(" (");
      if (hint != std::string::npos) {
        if (hint == 0 && name.size() > 3) name = "@" + name.substr(2, name.size() - 3);
        else name.erase(hint);
      }
      imports.push_back({dll, name});
    }
  }
  return imports;
}

}  // namespace

bool operator==(const ImportedName& a, const ImportedName& b) {
  return a.dll == b.dll && a.name == b.name;
}

void PrintTo(const ImportedName& import, std::ostream* os) {
  *os << import.dll << "!" << import.name;
}

LinkResult LinkClientAgainst(const std::string& library,
                             const std::vector<std::string>& decoratedSymbols,
                             const std::string& workDir) {
  LinkResult result;
  for (const char* tool : {"clang", "lld-link", "llvm-readobj"}) {
    if (!HaveProgram(tool)) {
      result.error = std::string(tool) + " is not installed (scripts/install-deps provides it)";
      return result;
    }
  }
  const std::string source = workDir + "/client.s";
  const std::string object = workDir + "/client.obj";
  const std::string program = workDir + "/client.exe";
  WriteFileText(source, ClientSource(decoratedSymbols));

  std::string output;
  if (RunCommand("clang --target=i686-pc-windows-msvc -c -o '" + object + "' '" + source + "'",
                 &output) != 0) {
    result.error = "clang could not assemble the client:\n" + output;
    return result;
  }
  if (RunCommand("lld-link /nologo /entry:start /subsystem:console /nodefaultlib /safeseh:no /out:'" +
                     program + "' '" + object + "' '" + library + "'",
                 &output) != 0) {
    result.error = "lld-link could not link the client against " + library + ":\n" + output;
    return result;
  }
  if (RunCommand("llvm-readobj --coff-imports '" + program + "'", &output) != 0) {
    result.error = "llvm-readobj could not list the imports:\n" + output;
    return result;
  }
  result.imports = ParseImports(output);
  result.ok = true;
  return result;
}
