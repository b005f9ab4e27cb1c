// The main road end to end: a Borland import library opened in the window,
// its functions given their convention and lengths by hand, saved as a
// Microsoft library, and a program linked against it with the real linker.
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>

#include <algorithm>

#include "app/list_box.h"
#include "tests/app/form_harness.h"
#include "tests/support/link_check.h"
#include "tests/support/omf_builder.h"

class MainRoadTest : public FormTest {
 protected:
  TempDir dir;
};

TEST_F(MainRoadTest, BorlandLibraryBecomesALinkableMicrosoftLibrary) {
  const std::string borland = dir.File("MYLIB_BC.LIB");
  omf::LibraryBuilder()
      .AddImports({{"Foo", "MYLIB.DLL"}, {"Bar", "MYLIB.DLL"}, {"_Baz", "MYLIB.DLL"}})
      .WithDictionary()
      .WriteTo(borland);

  dialogs.Confirm(borland, 1);
  form.Ouvrir1->trigger();
  ASSERT_EQ(Caption(), QString::fromStdString(borland) + " (Borland)");
  ASSERT_EQ(Lines(), (std::vector<QString>{"Foo", "Bar", "Baz"}));

  // Foo and Bar: _pascal, 8 bytes of arguments. Baz: _stdcall, as read.
  ClickLine(0);
  ClickLine(1, Qt::ControlModifier);
  Click(form.RadioButton1);
  Erase(form.Edit2);
  Type(form.Edit2, "8");
  ClickLine(1);
  EXPECT_EQ(form.Label4->text(), "_Bar@8");
  EXPECT_EQ(form.Label6->text(), "Bar");
  ClickLine(2);
  EXPECT_EQ(form.Label4->text(), "_Baz");
  EXPECT_EQ(List(), From("MYLIB.DLL", {Entry("Foo", 8, true), Entry("Bar", 8, true),
                                       Imported(Entry("Baz", 0, false), "MYLIB.DLL", "_Baz")}));

  boxes.Clear();  // the emptied length field showed its error on the way
  dialogs.Confirm(dir.File("mylib"), 1);
  form.EnregistrerSous1->trigger();
  const std::string microsoft = dir.File("mylib.lib");
  ASSERT_TRUE(FileExists(microsoft));
  EXPECT_EQ(Caption(), QString::fromStdString(microsoft) + " (Microsoft)");
  EXPECT_TRUE(boxes.Calls().empty());

  const LinkResult link = LinkClientAgainst(microsoft, {"_Foo@8", "_Bar@8", "_Baz"}, dir.Path());
  ASSERT_TRUE(link.ok) << link.error;
  std::vector<ImportedName> imports = link.imports;
  std::sort(imports.begin(), imports.end(),
            [](const ImportedName& a, const ImportedName& b) { return a.name < b.name; });
  // A reader that keeps what the Borland library says the DLL exports
  // binds each function to it, whatever the saved file is called; the
  // conventions set by hand change only the client's symbols.
  if (form.Fonctions().Item(0).Import.Dll.empty()) {
    EXPECT_EQ(imports, (std::vector<ImportedName>{{"mylib.dll", "Bar"},
                                                  {"mylib.dll", "Baz"},
                                                  {"mylib.dll", "Foo"}}));
  } else {
    EXPECT_EQ(imports, (std::vector<ImportedName>{{"MYLIB.DLL", "Bar"},
                                                  {"MYLIB.DLL", "Foo"},
                                                  {"MYLIB.DLL", "_Baz"}}));
  }
}
