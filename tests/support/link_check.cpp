#include "tests/support/link_check.h"

#include <sstream>

#include "tests/support/peers.h"
#include "tests/support/test_files.h"

namespace {

constexpr const char* kImportPrefix = "__imp_";

std::string Quoted(const std::string& symbol) { return "\"" + symbol + "\""; }

std::string ClientSource(const std::vector<std::string>& symbols, bool x64) {
  // An x64 client reaches its slots relative to the instruction; the
  // entry point is named without the 32-bit underscore there.
  const std::string slot = x64 ? "(%rip)" : "";
  std::string s = x64 ? "  .text\n  .globl start\nstart:\n" : "  .text\n  .globl _start\n_start:\n";
  for (const std::string& symbol : symbols) {
    if (symbol.rfind(kImportPrefix, 0) == 0) {
      s += "  mov " + Quoted(symbol) + slot + (x64 ? ", %rax\n" : ", %eax\n");
      continue;
    }
    s += "  call " + Quoted(symbol) + "\n";
    s += "  call *" + Quoted(kImportPrefix + symbol) + slot + "\n";
  }
  s += "  ret\n";
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

bool operator<(const ImportedName& a, const ImportedName& b) {
  return a.dll != b.dll ? a.dll < b.dll : a.name < b.name;
}

void PrintTo(const ImportedName& import, std::ostream* os) {
  *os << import.dll << "!" << import.name;
}

LinkResult ProgramImports(const std::string& program) {
  LinkResult result;
  std::string output;
  if (RunCommand(Peer("llvm-readobj") + " --coff-imports '" + program + "'", &output) != 0) {
    result.error = "llvm-readobj could not list the imports:\n" + output;
    return result;
  }
  result.imports = ParseImports(output);
  result.ok = true;
  return result;
}

LinkResult LinkClientAgainst(const std::string& library, const std::vector<std::string>& symbols,
                             const std::string& workDir, bool x64) {
  LinkResult result;
  const ::testing::AssertionResult tools = Installed({Peer("clang"), Peer("lld-link"), Peer("llvm-readobj")});
  if (!tools) {
    result.error = tools.message();
    return result;
  }
  const std::string source = workDir + "/client.s";
  const std::string object = workDir + "/client.obj";
  const std::string program = workDir + "/client.exe";
  WriteFileText(source, ClientSource(symbols, x64));

  std::string output;
  const std::string target = x64 ? "x86_64-pc-windows-msvc" : "i686-pc-windows-msvc";
  if (RunCommand(Peer("clang") + " --target=" + target + " -c -o '" + object + "' '" + source + "'", &output) != 0) {
    result.error = "clang could not assemble the client:\n" + output;
    return result;
  }
  if (RunCommand(Peer("lld-link") + " -nologo -entry:start -subsystem:console -nodefaultlib -safeseh:no -out:'" +
                     program + "' '" + object + "' '" + library + "'",
                 &output) != 0) {
    result.error = "lld-link could not link the client against " + library + ":\n" + output;
    return result;
  }
  return ProgramImports(program);
}
