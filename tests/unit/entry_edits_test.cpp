// Edits by hand change the symbol clients link against and keep how the
// loader finds the function; a new name imports by that name.
#include <gtest/gtest.h>

#include <functional>

#include "model/entry_edits.h"
#include "tests/support/test_files.h"

namespace {

// FMUSIC_FreeSong as a library names it: an exact client symbol that the
// two conventions' forms do not give, its export and its DLL.
TFonctionLib Bound() {
  TFonctionLib e = Entry("FMUSIC_FreeSong", 4, true);
  e.Import.Symbol = "FMUSIC_FreeSong@4";
  e.Import.ExportName = "_FMUSIC_FreeSong@4";
  e.Import.Dll = "fmod.dll";
  e.Unsure = true;
  return e;
}

TEST(EntryEditsTest, ConventionAndLengthMakeANewClientSymbolAndKeepTheExport) {
  struct Case {
    const char* what;
    std::function<bool(TFonctionLib&)> edit;
    const char* symbol;
    bool settled;  // no longer a guess
  };
  const Case cases[] = {
      {"length", [](TFonctionLib& e) { return SetArgLength(e, 12); }, "_FMUSIC_FreeSong@12", false},
      {"stdcall", [](TFonctionLib& e) { return SetConvention(e, false); }, "_FMUSIC_FreeSong", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TFonctionLib e = Bound();
    EXPECT_TRUE(c.edit(e));
    EXPECT_EQ(MicrosoftName(e), c.symbol);
    EXPECT_EQ(e.Import.ExportName, "_FMUSIC_FreeSong@4");
    EXPECT_EQ(e.Import.Dll, "fmod.dll");
    EXPECT_EQ(e.Unsure, !c.settled);
  }
}

TEST(EntryEditsTest, SettingWhatTheEntryHoldsChangesNothingButSettlesAGuess) {
  TFonctionLib e = Bound();
  EXPECT_FALSE(SetArgLength(e, 4));
  EXPECT_EQ(MicrosoftName(e), "FMUSIC_FreeSong@4");
  EXPECT_TRUE(SetConvention(e, true));  // the guess is settled
  EXPECT_FALSE(e.Unsure);
  EXPECT_FALSE(SetConvention(e, true));
  EXPECT_FALSE(Rename(e, "FMUSIC_FreeSong"));
}

// A rename keeps the DLL, the kind and an ordinal; by name it asks for
// the new plain name; back to the name read, the file's lookup returns.
TEST(EntryEditsTest, RenamingKeepsTheImportAndBackToTheReadNameRestoresIt) {
  TFonctionLib byOrdinal = Bound();
  byOrdinal.Import.ExportName.clear();
  byOrdinal.Import.ByOrdinal = byOrdinal.Import.NoName = true;
  byOrdinal.Import.Ordinal = 12;
  TFonctionLib data = Bound();
  data.Import.Kind = ImportKind::Data;
  struct Case {
    const char* what;
    TFonctionLib entry;
    const char* lookup;  // after the rename to "Other"
  };
  for (const Case& c : {Case{"by name", Bound(), "Other"}, Case{"by ordinal", byOrdinal, ""},
                        Case{"data", data, "Other"},
                        Case{"by hand", Entry("FMUSIC_FreeSong", 4, true), ""}}) {
    SCOPED_TRACE(c.what);
    const TFonctionLib read = c.entry;
    TFonctionLib e = read;
    EXPECT_TRUE(Rename(e, "Other", &read));
    EXPECT_EQ(e.Import.Dll, read.Import.Dll);
    EXPECT_EQ(e.Import.Kind, read.Import.Kind);
    EXPECT_EQ(e.Import.ByOrdinal, read.Import.ByOrdinal);
    EXPECT_EQ(e.Import.Ordinal, read.Import.Ordinal);
    EXPECT_EQ(e.Import.ExportName, c.lookup);
    EXPECT_EQ(e.ArgLength, 4);
    EXPECT_EQ(MicrosoftName(e), "_Other@4");
    EXPECT_TRUE(Rename(e, "FMUSIC_FreeSong", &read));
    EXPECT_EQ(e, read);
    EXPECT_EQ(e.Import.Symbol, read.Import.Symbol);
    EXPECT_EQ(e.Import.ExportName, read.Import.ExportName);
    // Put back after a new length: the lookup returns, the symbol is new.
    SetArgLength(e, 8);
    Rename(e, "Other", &read);
    Rename(e, "FMUSIC_FreeSong", &read);
    EXPECT_EQ(e.Import.ExportName, read.Import.ExportName);
    EXPECT_EQ(MicrosoftName(e), "_FMUSIC_FreeSong@8");
  }
}

// A C++ name is its own symbol: no convention or length is part of it.
TEST(EntryEditsTest, ACxxNameKeepsItsSymbol) {
  TFonctionLib e = Entry("?f@@YGXH@Z", 0, true);
  e.Import.Symbol = e.Name;
  e.Import.ExportName = e.Name;
  EXPECT_TRUE(SetConvention(e, false));
  EXPECT_TRUE(SetArgLength(e, 8));
  EXPECT_EQ(MicrosoftName(e), "?f@@YGXH@Z");
  EXPECT_EQ(BorlandName(e), "?f@@YGXH@Z");
}

}  // namespace
