// Every write proves its bytes: random lists through every writer give
// files whose imports bind as the list asks (or a refusal that says why),
// and bytes that a faulty writer would have made are refused with the
// entry named, the old file kept.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "coff/coff.h"
#include "files/write_proof.h"
#include "tests/support/test_files.h"

namespace {

// A list of every kind of entry a reader may give, for one machine.
std::vector<TFonctionLib> RandomList(std::mt19937& rng, Machine machine, int dlls) {
  const auto pick = [&rng](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  std::vector<TFonctionLib> list;
  const int count = 1 + pick(24);
  for (int i = 0; i < count; ++i) {
    TFonctionLib e;
    e.Name = "Fn" + std::to_string(i);
    e.IsPascal = pick(2) == 0;
    e.ArgLength = 4 * pick(5);
    ImportBinding& b = e.Import;
    b.Dll = dlls > 1 ? "dll" + std::to_string(pick(dlls)) + ".dll" : (pick(3) ? "one.dll" : "");
    switch (pick(9)) {
      case 0: b.ExportName = e.Name; break;
      case 1: b.ExportName = "_" + e.Name + "@" + std::to_string(e.ArgLength); break;
      case 2: b.ExportName = "Other" + std::to_string(i); break;
      case 3: b.ByOrdinal = true; b.Ordinal = static_cast<std::uint16_t>(1 + i); break;
      case 4: b.NoName = true; b.Ordinal = static_cast<std::uint16_t>(100 + i); break;
      case 5: b.Symbol = "?" + e.Name + "@@YAXH@Z"; b.ExportName = b.Symbol; e.Name = b.Symbol; break;
      case 6: b.Symbol = "_Z" + std::to_string(e.Name.size()) + e.Name + "i"; b.ExportName = b.Symbol;
              e.Name = b.Symbol; break;
      case 7: b.Ordinal = static_cast<std::uint16_t>(1 + i); break;
      default: break;  // made by hand
    }
    const int kind = pick(6);
    if (kind == 0) b.Kind = ImportKind::Data;
    if (kind == 1) b.Kind = ImportKind::Const;
    b.Delayed = kind == 2;
    if (machine == Machine::Arm64x) b.View = static_cast<HybridView>(pick(3));
    list.push_back(e);
  }
  return list;
}

struct Form {
  const char* name;
  ListForm form;
  Outcome (TFichierLib::*write)(const std::string&);
  bool manyDlls;  // the form holds a list of several DLLs
};

TEST(WriteProofTest, RandomListsThroughEveryWriterBindAsAskedOrAreRefusedWithTheReason) {
  const std::vector<Form> forms = {
      {"coff", ListForm::Coff, &TFichierLib::WriteCoffLibrary, true},
      {"coff as peers", ListForm::Coff, &TFichierLib::WriteCoffLibraryAsPeers, true},
      {"gnu", ListForm::Gnu, &TFichierLib::WriteGnuLibrary, true},
      {"omf", ListForm::Omf, &TFichierLib::WriteBorlandLibrary, true},
      {"def", ListForm::Def, &TFichierLib::WriteDefFile, false},
  };
  TempDir dir;
  std::mt19937 rng(20261210);
  int written = 0;
  for (int round = 0; round < 60; ++round)
    for (const Machine machine : {Machine::Unknown, Machine::I386, Machine::Amd64, Machine::Arm64,
                                  Machine::Arm64ec, Machine::Arm64x})
      for (const Form& form : forms) {
        if (!WrongMachine(ExportList{.SourceMachine = machine}, form.form).empty()) continue;
        TFichierLib lib;
        const std::vector<TFonctionLib> entries = RandomList(rng, machine, form.manyDlls ? 3 : 1);
        SetList(lib, entries);
        lib.SourceMachine = machine;
        const std::string file = dir.File("out" + std::to_string(written % 7) + ".lib");
        const Outcome outcome = (lib.*form.write)(file);
        SCOPED_TRACE(std::string(form.name) + " for " + MachineName(machine) + ", round " +
                     std::to_string(round));
        // A refusal says why; the proof never finds a writer at fault.
        ASSERT_NE(outcome.Kind, OutcomeKind::Unproven) << outcome.Detail;
        if (outcome) ++written;
        else EXPECT_EQ(outcome.Kind, OutcomeKind::Refused) << Describe(outcome);
      }
  EXPECT_GT(written, 1000);
}

TEST(WriteProofTest, BytesOfAFaultyWriterAreRefusedWithTheEntryNamedAndTheOldFileKept) {
  struct Fault {
    const char* what;
    void (*plant)(TFonctionLib&);
    const char* said;
  };
  const std::vector<Fault> faults = {
      {"a dropped DLL name", [](TFonctionLib& e) { e.Import.Dll = "other.dll"; }, "\"other.dll\""},
      {"a wrong looked-up name", [](TFonctionLib& e) { e.Import.ExportName = "Wrong"; }, "\"Wrong\""},
      {"an ordinal for a name", [](TFonctionLib& e) { e.Import.ByOrdinal = true; e.Import.Ordinal = 9; },
       "ordinal 9"},
      {"a constant for code", [](TFonctionLib& e) { e.Import.Kind = ImportKind::Const; }, ", constant"},
  };
  TempDir dir;
  for (const Fault& fault : faults) {
    SCOPED_TRACE(fault.what);
    TFichierLib asked;
    SetList(asked, {BoundTo("_Keep@4", "Keep", ImportKind::Code, "fmod.dll"),
                    BoundTo("_Bad@8", "_Bad@8", ImportKind::Code, "fmod.dll")});
    TFichierLib faulty;
    SetList(faulty, ListOf(asked));
    fault.plant(faulty.Fonctions.Item(1));
    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(coff::BuildLibrary(dir.File("x.lib"), faulty, coff::CoffLayout::Own, bytes));
    const Outcome proof = ProveWrite(asked, ListForm::Coff, dir.File("x.lib"), bytes);
    EXPECT_EQ(proof.Kind, OutcomeKind::Unproven);
    EXPECT_NE(proof.Detail.find("entry \"Bad\""), std::string::npos) << proof.Detail;
    EXPECT_NE(proof.Detail.find(fault.said), std::string::npos) << proof.Detail;
  }
  // A name no file can hold: refused by every writer, the old file kept.
  WriteFileText(dir.File("old.lib"), "old");
  for (const std::string& name : {std::string("Tab\tbed"), std::string("Two\nlines"), std::string("Nul\0l", 5)}) {
    TFichierLib lib;
    SetList(lib, {Entry(name, 0, false)});
    for (auto write : {&TFichierLib::WriteCoffLibrary, &TFichierLib::WriteGnuLibrary,
                       &TFichierLib::WriteBorlandLibrary, &TFichierLib::WriteDefFile}) {
      const Outcome outcome = (lib.*write)(dir.File("old.lib"));
      EXPECT_EQ(outcome.Kind, OutcomeKind::Refused) << Describe(outcome);
      EXPECT_EQ(ReadFileText(dir.File("old.lib")), "old");
    }
  }
}

}  // namespace

namespace {

// Roads that once gave a file whose imports do not bind, and said nothing.
TEST(WriteProofTest, WritersThatOnceLiedNowBindOrRefuse) {
  TempDir dir;
  // GNU's objects named the export after the symbol, not after the name
  // the loader must look up.
  for (const bool delayed : {false, true}) {
    TFichierLib lib;
    TFonctionLib e = BoundTo("_FSOUND_Sample_Alloc", "_FSOUND_Sample_Alloc@28", ImportKind::Code, "fmod.dll");
    e.Import.Delayed = delayed;
    SetList(lib, {e});
    ASSERT_TRUE(lib.WriteGnuLibrary(dir.File("out.a")));
    TFichierLib back;
    ASSERT_TRUE(back.ReadCoffLibrary(dir.File("out.a")));
    ASSERT_EQ(back.Fonctions.Count, 1u);
    EXPECT_EQ(back.Fonctions.Item(0).Import.ExportName, "_FSOUND_Sample_Alloc@28");
    EXPECT_EQ(back.Fonctions.Item(0).Import.Delayed, delayed);
  }
  // One LIBRARY line moved every function to the one DLL named.
  TFichierLib lib;
  SetList(lib, {Entry("A", 0, false), BoundTo("_B", "B", ImportKind::Code, "other.dll")});
  const Outcome outcome = lib.WriteDefFile(dir.File("x.def"));
  EXPECT_EQ(outcome.Kind, OutcomeKind::Refused);
  EXPECT_NE(outcome.Detail.find("several DLLs"), std::string::npos) << outcome.Detail;
  EXPECT_FALSE(FileExists(dir.File("x.def")));
}

}  // namespace
