// Every writer against its reader: a list written and read back is the
// same list for everything the form holds, and what it does not hold is
// exactly what LossesOf names before the save.
#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "model/decorated_names.h"
#include "model/form_losses.h"
#include "model/microsoft_symbol.h"
#include "tests/support/archive_members.h"
#include "tests/support/test_files.h"

namespace {

// What a client and the loader see of an entry: its symbols, what is
// looked up, in which DLL, code or data. A name that carries its own
// symbol (C++, fastcall) is known by that symbol alone.
using Seen = std::tuple<std::string, std::string, std::string, std::string, std::string, int>;

Seen SeenOf(const TFonctionLib& e, const std::string& defaultDll) {
  const bool own = !e.Import.Symbol.empty();
  const std::string convention =
      own ? "" : (e.IsPascal ? "pascal " + std::to_string(e.ArgLength) : "stdcall");
  const std::string lookup =
      e.Import.ByOrdinal ? "@" + std::to_string(e.Import.Ordinal) : LookupName(e);
  return {own ? std::string() : e.Name, convention, MicrosoftName(e), lookup,
          e.Import.Dll.empty() ? defaultDll : e.Import.Dll, static_cast<int>(e.Import.Kind)};
}

class ListMaker {
 public:
  explicit ListMaker(unsigned seed) : random_(seed) {}

  std::vector<TFonctionLib> List(bool oneDll) {
    std::vector<TFonctionLib> list;
    const int count = Pick(1, 12);
    const bool bound = Pick(0, 9) < 7;
    std::set<std::string> used;
    for (int i = 0; i < count; ++i) {
      TFonctionLib e = Entry(used);
      if (bound) Bind(e, oneDll);
      list.push_back(e);
    }
    return list;
  }

 private:
  int Pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }

  TFonctionLib Entry(std::set<std::string>& used) {
    std::string name;
    do {
      name = std::string(1, static_cast<char>('A' + Pick(0, 25)));
      for (int n = Pick(0, 6); n > 0; --n) name += "abcxyz019_"[Pick(0, 9)];
    } while (!used.insert(name).second);
    const int length = 4 * Pick(0, 6);
    switch (Pick(0, 9)) {
      case 0: return FromClientSymbol("?" + name + "@@YGXH@Z");
      case 1: return FromClientSymbol("@" + name + "@" + std::to_string(length));
      case 2:
      case 3:
      case 4: return ::Entry(name, length, false);
      default: return ::Entry(name, length, true);
    }
  }

  void Bind(TFonctionLib& e, bool oneDll) {
    ImportBinding& b = e.Import;
    b.Dll = oneDll ? "fmod.dll" : std::string(1, "abc"[Pick(0, 2)]) + ".dll";
    switch (Pick(0, 9)) {
      case 0:
      case 1:
        b.ByOrdinal = true;
        b.NoName = Pick(0, 1) == 1;
        b.Ordinal = static_cast<std::uint16_t>(Pick(1, 900));
        break;
      case 2: b.ExportName = MicrosoftName(e); break;  // a DLL that exports "_Foo@8"
      case 3: b.ExportName = "Other" + e.Name; break;   // renamed
      default: b.ExportName = LookupName(e); break;
    }
    const int kind = Pick(0, 9);
    b.Kind = kind == 0 ? ImportKind::Data : kind == 1 ? ImportKind::Const : ImportKind::Code;
  }

  std::mt19937 random_;
};

struct Form {
  const char* name;
  ListForm form;
  Outcome (TFichierLib::*write)(const std::string&);
  Outcome (TFichierLib::*read)(const std::string&);
};

TEST(RoundTripTest, RandomListsKeepAllButWhatLossesOfNames) {
  const Form forms[] = {
      {"coff", ListForm::Coff, &TFichierLib::WriteCoffLibrary, &TFichierLib::ReadCoffLibrary},
      {"omf", ListForm::Omf, &TFichierLib::WriteBorlandLibrary, &TFichierLib::ReadOmfLibrary},
      {"def", ListForm::Def, &TFichierLib::WriteDefFile, &TFichierLib::ReadDefFile},
  };
  ListMaker maker(20261209);
  TempDir dir;
  int compared = 0;
  for (int round = 0; round < 300; ++round) {
    const bool oneDll = round % 2 == 0;
    const std::vector<TFonctionLib> list = maker.List(oneDll);
    for (const Form& f : forms) {
      SCOPED_TRACE(std::string(f.name) + " round " + std::to_string(round));
      TFichierLib lib;
      SetList(lib, list);
      const std::vector<FormLoss> losses = LossesOf(lib.Fonctions, f.form, lib.SourceMachine);
      std::set<std::string> lost;
      for (const FormLoss& loss : losses) lost.insert(loss.Names.begin(), loss.Names.end());

      const std::string path = dir.File(std::string("out.") + (f.form == ListForm::Def ? "def" : "lib"));
      const Outcome written = (lib.*f.write)(path);
      std::set<std::string> dlls;
      for (const TFonctionLib& e : list)
        if (!e.Import.Dll.empty()) dlls.insert(e.Import.Dll);
      if (f.form == ListForm::Def && dlls.size() > 1) {
        EXPECT_EQ(written.Kind, OutcomeKind::Refused);
        continue;
      }
      ASSERT_TRUE(written) << written.Detail;
      TFichierLib back;
      const Outcome read = (back.*f.read)(path);
      ASSERT_TRUE(read) << Describe(read);
      ASSERT_EQ(back.Fonctions.Count, list.size());
      const std::string defaultDll =
          f.form == ListForm::Def && !dlls.empty() ? *dlls.begin() : "out.dll";
      for (std::uint32_t i = 0; i < list.size(); ++i) {
        const TFonctionLib& before = list[i];
        const Seen was = SeenOf(before, defaultDll);
        const Seen is = SeenOf(back.Fonctions.Item(i), defaultDll);
        EXPECT_EQ(was == is, !lost.contains(before.Name))
            << ::testing::PrintToString(was) << " read back as " << ::testing::PrintToString(is);
        ++compared;
      }
    }
  }
  EXPECT_GT(compared, 2000);
}

// What each form cannot hold, by kind: the lengths and data kinds of OMF,
// the export names no .def word holds ("==" says any other); COFF holds
// it all.
TEST(RoundTripTest, LossesByForm) {
  TFichierLib lib;
  TFonctionLib spelled = Entry("Spelled", 8, true);
  spelled.Import.ExportName = "_Spelled@8";
  TFonctionLib unsayable = Entry("Unsayable", 0, false);
  unsayable.Import.ExportName = "say \"it\"";
  TFonctionLib data = Entry("Dat", 0, false);
  data.Import.Kind = ImportKind::Data;
  TFonctionLib byOrdinal = Entry("Ord", 4, true);
  byOrdinal.Import.ByOrdinal = true;
  byOrdinal.Import.Ordinal = 3;
  SetList(lib, {Entry("Typed", 12, true), spelled, data, byOrdinal, Entry("Zero", 0, true), unsayable});
  auto kinds = [&](ListForm form) {
    std::vector<std::pair<LossKind, std::vector<AnsiString>>> out;
    for (const FormLoss& l : LossesOf(lib.Fonctions, form, lib.SourceMachine)) out.emplace_back(l.Kind, l.Names);
    return out;
  };
  using V = std::vector<std::pair<LossKind, std::vector<AnsiString>>>;
  EXPECT_EQ(kinds(ListForm::Coff), V{});
  EXPECT_EQ(kinds(ListForm::Omf), (V{{LossKind::ArgumentLength, {"Typed", "Ord"}},
                                     {LossKind::DataImport, {"Dat"}}}));
  EXPECT_EQ(kinds(ListForm::Def), (V{{LossKind::ExportName, {"Unsayable"}}}));
}

TEST(RoundTripTest, LengthsThatContradictTheExportName) {
  TFichierLib lib;
  TFonctionLib edited = Entry("FMUSIC_FreeSong", 12, true);
  edited.Import.ExportName = "_FMUSIC_FreeSong@4";
  TFonctionLib kept = Entry("FSOUND_Init", 12, true);
  kept.Import.ExportName = "FSOUND_Init@12";
  TFonctionLib plain = Entry("Plain", 8, true);
  plain.Import.ExportName = "Plain";
  TFonctionLib killed = Entry("Killed", 4, true);
  killed.Import.ExportName = "Killed@8";
  SetList(lib, {edited, kept, plain, killed});
  EXPECT_EQ(LengthDisagreements(lib.Fonctions), (std::vector<AnsiString>{"FMUSIC_FreeSong", "Killed"}));
}

// A library keeps the machine of its imports; one that mixes machines is
// refused, with both named.
TEST(RoundTripTest, TheMachineOfALibraryIsKeptAndMixedOnesAreRefused) {
  TempDir dir;
  TFichierLib lib;
  SetList(lib, {BoundTo("_A", "A", ImportKind::Code, "x.dll"), BoundTo("_B", "B", ImportKind::Code, "x.dll")});
  ASSERT_TRUE(lib.WriteCoffLibrary(dir.File("x.lib")));
  const Bytes original = ReadFileBytes(dir.File("x.lib"));
  std::vector<std::size_t> shortImports;  // where each short import's machine field lies
  for (const ArchiveMember& m : SplitArchive(original))
    if (m.data.size() > 20 && Le16(m.data, 0) == 0 && Le16(m.data, 2) == 0xFFFF)
      shortImports.push_back(m.headerAt + 60 + 6);
  ASSERT_EQ(shortImports.size(), 2u);
  auto withMachine = [&](std::size_t count) {
    Bytes b = original;
    for (std::size_t k = 0; k < count; ++k) {
      b[shortImports[k]] = 0x64;
      b[shortImports[k] + 1] = 0x86;
    }
    WriteFileBytes(dir.File("m.lib"), b);
    return dir.File("m.lib");
  };
  TFichierLib mixed;
  const Outcome refused = mixed.ReadCoffLibrary(withMachine(1));
  EXPECT_EQ(refused.Kind, OutcomeKind::Refused);
  EXPECT_EQ(refused.Detail, "imports for x64 and for 32-bit Intel in one library");
  TFichierLib x64;
  ASSERT_TRUE(x64.ReadCoffLibrary(withMachine(2)));
  EXPECT_EQ(x64.SourceMachine, Machine::Amd64);
  EXPECT_EQ(x64.WriteBorlandLibrary(dir.File("out.lib")).Kind, OutcomeKind::Refused);
  TFichierLib i386;
  ASSERT_TRUE(i386.ReadCoffLibrary(dir.File("x.lib")));
  EXPECT_EQ(i386.SourceMachine, Machine::I386);
}

}  // namespace
