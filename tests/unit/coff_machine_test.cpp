// The machine of a COFF library comes from its import members: one
// machine, or ARM64X for ARM64 beside ARM64EC; any other mix is refused.
#include <gtest/gtest.h>

#include <string>

#include "model/ec_names.h"
#include "files/fichier_lib.h"
#include "tests/support/archive_members.h"
#include "tests/support/test_files.h"

namespace {

constexpr std::size_t kMachineAt = 6;  // in a short import's header

struct Mix {
  Machine written;        // the library's machine
  std::uint16_t second;   // the second import's member, patched to this
  bool read;
  Machine machine;        // when read
};

class CoffMachineMixTest : public ::testing::TestWithParam<Mix> {};

TEST_P(CoffMachineMixTest, MembersDecideTheMachine) {
  const Mix& mix = GetParam();
  TempDir dir;
  TFichierLib lib;
  SetList(lib, {BoundTo("First", "First", ImportKind::Code, "m.dll"),
                BoundTo("Second", "Second", ImportKind::Code, "m.dll")});
  lib.SourceMachine = mix.written;
  ASSERT_TRUE(lib.WriteCoffLibrary(dir.File("m.lib")));
  Bytes file = ReadFileBytes(dir.File("m.lib"));
  bool patched = false;
  for (const ArchiveMember& m : SplitArchive(file)) {
    const std::string text(m.data.begin(), m.data.end());
    if (m.data.size() > 20 && Le16(m.data, 0) == 0 && text.find("Second") != std::string::npos) {
      const std::size_t at = m.headerAt + 60 + kMachineAt;
      file[at] = static_cast<std::uint8_t>(mix.second);
      file[at + 1] = static_cast<std::uint8_t>(mix.second >> 8);
      patched = true;
    }
  }
  ASSERT_TRUE(patched);
  WriteFileBytes(dir.File("m.lib"), file);

  TFichierLib back;
  const Outcome read = back.ReadCoffLibrary(dir.File("m.lib"));
  ASSERT_EQ(static_cast<bool>(read), mix.read) << Describe(read);
  if (mix.read) {
    EXPECT_EQ(back.SourceMachine, mix.machine);
    ASSERT_EQ(back.Fonctions.Count, 2u);
    // A hybrid list holds its ARM64EC view first.
    const std::uint32_t second = mix.machine == Machine::Arm64x ? 0 : 1;
    EXPECT_EQ(MicrosoftName(back.Fonctions.Item(second), back.SourceMachine), "Second");
  } else {
    EXPECT_EQ(read.Kind, OutcomeKind::Refused);
    EXPECT_NE(read.Detail.find("in one library"), std::string::npos) << read.Detail;
    EXPECT_EQ(back.Fonctions.Count, 0u);
  }
}

INSTANTIATE_TEST_SUITE_P(Mixes, CoffMachineMixTest,
                         ::testing::Values(Mix{Machine::Amd64, 0x8664, true, Machine::Amd64},
                                           Mix{Machine::Arm64, 0xAA64, true, Machine::Arm64},
                                           Mix{Machine::I386, 0x14C, true, Machine::I386},
                                           Mix{Machine::Arm64, 0xA641, true, Machine::Arm64x},
                                           Mix{Machine::Amd64, 0x14C, false, Machine::Unknown},
                                           Mix{Machine::Amd64, 0xAA64, false, Machine::Unknown},
                                           Mix{Machine::I386, 0xA641, false, Machine::Unknown}));

}  // namespace

// An ARM64EC function's two names, each way; names already in the wanted
// form come back as they are. The "$$h" goes after the whole qualified
// name, template arguments and back-references read (llvm-dlltool-22's
// names).
TEST(EcNamesTest, BodyAndCallNamesTurnIntoEachOther) {
  const struct {
    const char* call;
    const char* body;
  } cases[] = {{"Foo", "#Foo"},
               {"?Foo@@YAHH@Z", "?Foo@@$$hYAHH@Z"},
               {"??0A@@QEAA@XZ", "??0A@@$$hQEAA@XZ"},
               {"?f@N@@YAXXZ", "?f@N@@$$hYAXXZ"},
               {"?g@@@Z", "?g@@$$h@Z"},
               {"??0?$basic_ios@DU?$char_traits@D@std@@@std@@IEAA@XZ",
                "??0?$basic_ios@DU?$char_traits@D@std@@@std@@$$hIEAA@XZ"},
               {"?f@?$g@V?$h@H@@@@YAXXZ", "?f@?$g@V?$h@H@@@@$$hYAXXZ"},
               {"??$f@P6AXPAH0@Z@@YAXXZ", "??$f@P6AXPAH0@Z@@$$hYAXXZ"},
               {"??@5f8e1c@", "??@5f8e1c@$$h@"}};
  for (const auto& c : cases) {
    EXPECT_EQ(EcBodyName(c.call), c.body) << c.call;
    EXPECT_EQ(EcBodyName(c.body), c.body) << c.body;
    EXPECT_EQ(EcCallName(c.body), c.call) << c.body;
    EXPECT_EQ(EcCallName(c.call), c.call) << c.call;
    EXPECT_EQ(EcNameFault(c.call), "") << c.call;
  }
}

// The names llvm-dlltool-22 and llvm-lib-22 refuse for an ARM64EC function
// looked up by its name ("Invalid ARM64EC function name"), and look-alikes
// they take.
TEST(EcNamesTest, RefusesTheNamesThatGiveNoBodyOrNoCallName) {
  for (const char* name : {"?func", "?func@", "?@", "?f@@$$h", "?$$h", "??$f@H@", "?f@1@", "??$f@P6AX0@Z@@",
                           "??$f@PGH@@", "??$f@_L@@", "??_R0?AVx@@@8", "??@abc", "#"})
    EXPECT_NE(EcNameFault(name), "") << name;
  for (const char* name : {"func", "#func", "?func@@", "?func@@YA$$hXXZ", "??$f@V0@@@", "??$f@$$CBH@@",
                           "??$f@P8A@@GAAXXZ@@", "??__Kabc@@"})
    EXPECT_EQ(EcNameFault(name), "") << name;
  // One that gives no body name is its own.
  EXPECT_EQ(EcBodyName("?func"), "?func");
}

// A CONSTANT import whose export is named otherwise than its symbol: on
// 32-bit Intel no name type reaches it, it becomes an object of its own
// and the constant is lost, as the save says beforehand; an ARM64EC import
// names its export outright and keeps it, and no loss is said.
TEST(CoffConstantLossTest, SaidExactlyWhenTheWriterLosesIt) {
  for (const Machine machine : {Machine::I386, Machine::Amd64, Machine::Arm64ec}) {
    SCOPED_TRACE(MachineName(machine));
    TempDir dir;
    TFichierLib lib;
    TFonctionLib constant = BoundTo(Decorates(machine) ? "_Limit" : "Limit", "MaxLimit", ImportKind::Const, "c.dll");
    SetList(lib, {constant});
    lib.SourceMachine = machine;
    const bool said = !LossesOf(lib.Fonctions, ListForm::Coff, machine).empty();
    ASSERT_TRUE(lib.WriteCoffLibrary(dir.File("c.lib")));
    TFichierLib back;
    ASSERT_TRUE(back.ReadCoffLibrary(dir.File("c.lib")));
    ASSERT_EQ(back.Fonctions.Count, 1u);
    const ImportBinding& read = back.Fonctions.Item(0).Import;
    EXPECT_EQ(read.ExportName, "MaxLimit");
    const bool kept = read.Kind == ImportKind::Const;
    EXPECT_EQ(said, !kept);
    EXPECT_EQ(kept, machine == Machine::Arm64ec);
  }
}
