// Libraries in the shape Microsoft's librarian wrote before the short
// import format: one small object per import (its thunk, its address and
// lookup slots, its hint/name) that needs its DLL's __IMPORT_DESCRIPTOR_
// object, and a real object beside them. Libmorph's list is what a client
// linked against the library imports, and the library it writes gives that
// client the same imports.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "model/decorated_names.h"
#include "model/machine.h"
#include "tests/support/archive_members.h"
#include "tests/support/link_check.h"
#include "tests/support/peers.h"
#include "tests/support/test_files.h"

namespace {


struct Shape {
  const char* name;
  Machine machine;
  const char* librarian;  // llvm-lib /machine:
  const char* target;     // clang --target=
  const char* slotRef;    // how code reaches a slot's address
  const char* pointer;    // a pointer-wide datum
  const char* rvaSlot;    // a slot relocated to the hint/name "hn"
  const char* ordinalFlag;
};

const Shape kShapes[] = {
    {"i386", Machine::I386, "x86", "i686-pc-windows-msvc", "", ".long", ".rva hn", "0x80000000"},
    {"x64", Machine::Amd64, "x64", "x86_64-pc-windows-msvc", "(%rip)", ".quad", ".rva hn\n  .long 0",
     "0x8000000000000000"},
};

void PrintTo(const Shape& s, std::ostream* os) { *os << s.name; }

struct Import {
  const char* i386Symbol;
  const char* x64Symbol;
  const char* name;  // in the hint/name; null: by ordinal
  unsigned ordinal;
  bool data;  // no thunk, only the slot
};

const Import kImports[] = {
    {"_Plain@4", "Plain", "Plain", 0, false},
    {"_Alias@8", "Alias", "Target", 0, false},  // the hint/name is not the symbol's
    {"_ByOrd@12", "ByOrd", nullptr, 5, false},
    {"_Var", "Var", "Var", 0, true},
};

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

std::string Symbol(const Shape& shape, const Import& import) {
  return shape.machine == Machine::I386 ? import.i386Symbol : import.x64Symbol;
}

// One import object, in the older librarian's shape. lld-link points the
// descriptor's tables at the start of their group, before any padding:
// slots aligned to 4 leave none after the 20-byte null descriptor, on x64
// too.
std::string ImportObjectSource(const Shape& shape, const Import& import) {
  std::string s;
  if (!import.data) s += "  .text\n  .globl \"SYM\"\n\"SYM\":\n  jmp *\"__imp_SYM\"REF\n";
  s += "  .section .idata$5,\"dr\"\n  .p2align 2\n  .globl \"__imp_SYM\"\n\"__imp_SYM\":\n  SLOT\n"
       "  .section .idata$4,\"dr\"\n  .p2align 2\n  SLOT\n";
  if (import.name != nullptr)
    s += "  .section .idata$6,\"dr\"\nhn:\n  .short 0\n  .asciz \"" + std::string(import.name) +
         "\"\n  .p2align 1\n";
  s += "  .globl __IMPORT_DESCRIPTOR_old\n";
  const std::string slot = import.name != nullptr ? shape.rvaSlot
                                                  : std::string(shape.pointer) + " " + shape.ordinalFlag +
                                                        " + " + std::to_string(import.ordinal);
  for (const auto& [from, to] : {std::pair<std::string, std::string>{"SLOT", slot},
                                 {"REF", shape.slotRef},
                                 {"SYM", Symbol(shape, import)}})
    s = Replaced(s, from, to);
  return s;
}

std::string Shell(const std::string& command) {
  std::string output;
  EXPECT_EQ(RunCommand(command, &output), 0) << command << "\n" << output;
  return output;
}

std::vector<ImportedName> Sorted(std::vector<ImportedName> imports) {
  std::sort(imports.begin(), imports.end());
  return imports;
}

class OldImportObjectsTest : public ::testing::TestWithParam<Shape> {};

TEST_P(OldImportObjectsTest, ReadAsTheLinkerBindsThemAndConvertedBindTheSame) {
  const Shape& shape = GetParam();
  ASSERT_TRUE(Installed({Peer("clang"), Peer("llvm-lib"), Peer("lld-link"), Peer("llvm-readobj")}));
  TempDir dir;
  const std::string cd = "cd '" + dir.Path() + "' && ";
  const std::string clang = Peer("clang") + " --target=" + shape.target + " -c ";

  // The descriptor, null descriptor and null thunk objects, as the
  // librarian writes them beside short imports. lld-link orders a
  // library's .idata pieces by member name: the null thunk's come last.
  WriteFileText(dir.File("old.def"), "LIBRARY old.dll\nEXPORTS\n  Plain\n");
  Shell(cd + Peer("llvm-lib") + " -machine:" + shape.librarian + " -def:old.def -out:short.lib");
  std::string objects;
  int heads = 0;
  for (const ArchiveMember& m : SplitArchive(ReadFileBytes(dir.File("short.lib")))) {
    if (m.name == "/" || m.name == "//" || (m.data.size() >= 4 && Le32(m.data, 0) == 0xFFFF0000u)) continue;
    const std::string bytes(m.data.begin(), m.data.end());
    const bool tail = bytes.find("__IMPORT_DESCRIPTOR_") == std::string::npos &&
                      bytes.find("_NULL_THUNK_DATA") != std::string::npos;
    const std::string name = tail ? "old_tail.obj" : "old_head" + std::to_string(++heads) + ".obj";
    WriteFileBytes(dir.File(name), m.data);
    objects += " " + name;
  }
  ASSERT_EQ(heads, 2);

  std::vector<std::string> clientSymbols;
  for (std::size_t i = 0; i < std::size(kImports); ++i) {
    const Import& import = kImports[i];
    const std::string name = "old_imp" + std::to_string(i);
    WriteFileText(dir.File(name + ".s"), ImportObjectSource(shape, import));
    Shell(cd + clang + name + ".s -o " + name + ".obj");
    objects += " " + name + ".obj";
    clientSymbols.push_back((import.data ? "__imp_" : "") + Symbol(shape, import));
  }
  // A real object with a function and a pointer to it under its "__imp_"
  // name: no import, though the client uses both names.
  const std::string helper = shape.machine == Machine::I386 ? "_helper" : "helper";
  WriteFileText(dir.File("helper.s"), "  .text\n  .globl " + helper + "\n" + helper +
                                          ":\n  ret\n  .data\n  .globl __imp_" + helper + "\n__imp_" +
                                          helper + ":\n  " + shape.pointer + " " + helper + "\n");
  Shell(cd + clang + "helper.s -o helper.obj");
  clientSymbols.push_back(helper);
  Shell(cd + Peer("llvm-lib") + " -out:old.lib" + objects + " helper.obj");

  const bool x64 = shape.machine != Machine::I386;
  TempDir peerClient;
  const LinkResult linked = LinkClientAgainst(dir.File("old.lib"), clientSymbols, peerClient.Path(), x64);
  ASSERT_TRUE(linked.ok) << linked.error;

  TFichierLib lib;
  const Outcome read = lib.ReadCoffLibrary(dir.File("old.lib"));
  ASSERT_TRUE(read) << Describe(read);
  EXPECT_EQ(static_cast<Machine>(lib.SourceMachine), shape.machine);
  EXPECT_EQ(lib.LeftOutObjects, std::vector<std::string>{"helper.obj"});
  std::vector<ImportedName> listed;
  std::vector<std::string> symbols;
  for (const TFonctionLib& e : ListOf(lib)) {
    const ImportBinding& b = e.Import;
    listed.push_back({b.Dll, b.ByOrdinal ? "@" + std::to_string(b.Ordinal) : b.ExportName});
    symbols.push_back((b.Kind == ImportKind::Data ? "__imp_" : "") + MicrosoftName(e, lib.SourceMachine));
  }
  clientSymbols.pop_back();  // the helper's
  EXPECT_EQ(std::multiset<std::string>(symbols.begin(), symbols.end()),
            std::multiset<std::string>(clientSymbols.begin(), clientSymbols.end()));
  EXPECT_EQ(Sorted(listed), Sorted(linked.imports));

  ASSERT_TRUE(lib.WriteCoffLibrary(dir.File("ours.lib")));
  TempDir ourClient;
  const LinkResult again = LinkClientAgainst(dir.File("ours.lib"), clientSymbols, ourClient.Path(), x64);
  ASSERT_TRUE(again.ok) << again.error;
  EXPECT_EQ(Sorted(again.imports), Sorted(linked.imports));
}

INSTANTIATE_TEST_SUITE_P(Shapes, OldImportObjectsTest, ::testing::ValuesIn(kShapes),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
