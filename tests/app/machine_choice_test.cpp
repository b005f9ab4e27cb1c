// The "Machine" menu: what a choice changes (caption, panel, what a save
// writes, the undo history), and which lists may choose at all.
#include <algorithm>
#include <cstdio>

#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QStatusBar>

#include "tests/app/form_harness.h"

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

class MachineChoiceTest : public FormTest {
 protected:
  TempDir dir;
};

TEST_F(MachineChoiceTest, ChoosingAMachineSetsCaptionPanelAndWhatASaveWrites) {
  struct Case {
    QAction* TForm1::*action;
    Machine machine;
    QString caption;
    std::string symbol;  // the Microsoft line of _stdcall Foo, 8 bytes
  };
  const std::vector<Case> cases = {
      {&TForm1::MachineX86, Machine::Unknown, "Nouveau fichier", "_Foo@8"},
      {&TForm1::MachineX64, Machine::Amd64, "*Nouveau fichier (x64)", "Foo"},
      {&TForm1::MachineArm64, Machine::Arm64, "*Nouveau fichier (ARM64)", "Foo"},
      {&TForm1::MachineArm64ec, Machine::Arm64ec, "*Nouveau fichier (ARM64EC)", "Foo"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.caption.toStdString());
    form.Nouveau1->trigger();
    const std::vector<TFonctionLib> list = {Entry("Foo", 8, true)};
    Load(list);
    (form.*c.action)->trigger();
    const bool decorates = c.machine == Machine::Unknown;
    EXPECT_EQ(form.FichierLib.SourceMachine, c.machine);
    EXPECT_EQ(Caption(), c.caption);
    EXPECT_TRUE((form.*c.action)->isChecked());
    ClickLine(0);
    EXPECT_EQ(form.Label4->text(), Q(c.symbol));
    EXPECT_EQ(form.GroupBox1->isEnabled(), decorates);
    EXPECT_EQ(form.GroupBox2->isEnabled(), decorates);
    EXPECT_EQ(form.Label10->isVisible(), !decorates);
    EXPECT_EQ(form.StatusBar1->currentMessage().contains("1 fonction a perdu sa décoration"),
              !decorates);

    if (!decorates) {
      // One undo step gives the 32-bit list back whole; redo takes it again.
      form.Annuler1->trigger();
      EXPECT_EQ(List(), list);
      EXPECT_EQ(form.StatusBar1->currentMessage(), "");
      EXPECT_EQ(Caption(), "Nouveau fichier");
      EXPECT_TRUE(form.MachineX86->isChecked());
      EXPECT_TRUE(form.GroupBox1->isEnabled());
      EXPECT_FALSE(form.Label10->isVisible());
      form.Retablir1->trigger();
      EXPECT_EQ(form.FichierLib.SourceMachine, c.machine);

      // A Borland library holds 32-bit Intel code only: said, nothing written.
      boxes.Clear();
      dialogs.Confirm(dir.File("b.lib"), 2);
      form.EnregistrerSous1->trigger();
      ASSERT_EQ(boxes.Calls().size(), 1u);
      EXPECT_NE(boxes.Calls()[0].text.find("ne servent qu'au code Intel 32 bits"),
                std::string::npos);
      EXPECT_FALSE(FileExists(dir.File("b.lib")));
    }

    boxes.Clear();
    const std::string path = dir.File("m" + std::to_string(MachineNumber(c.machine)) + ".lib");
    const bool writable = form.FichierLib.WrongMachine().empty();
    dialogs.Confirm(path, 1);
    form.EnregistrerSous1->trigger();
    if (!writable) {
      // A machine the writer does not do yet is refused in French.
      ASSERT_EQ(boxes.Calls().size(), 1u);
      EXPECT_NE(boxes.Calls()[0].text.find("n'écrit pas encore"), std::string::npos);
      continue;
    }
    EXPECT_TRUE(boxes.Calls().empty());
    TFichierLib back;
    ASSERT_TRUE(back.ReadCoffLibrary(path));
    EXPECT_EQ(back.SourceMachine, decorates ? Machine::I386 : c.machine);
    ASSERT_EQ(back.Fonctions.Count, 1u);
    EXPECT_EQ(back.Fonctions.Item(0).Name, "Foo");
    EXPECT_EQ(back.Fonctions.Item(0).IsPascal, decorates);
    EXPECT_EQ(back.Fonctions.Item(0).ArgLength, decorates ? 8 : 0);
  }
}

// A list read from a file takes only the machines the core allows from the
// one read; one that may keep only its own shows it, greyed.
TEST_F(MachineChoiceTest, TheMenuOffersWhatTheFileAllows) {
  using Choice = QAction* TForm1::*;
  const Choice all[] = {&TForm1::MachineX86, &TForm1::MachineX64, &TForm1::MachineArm64,
                        &TForm1::MachineArm64ec};
  struct Case {
    Machine written;  // Unknown: a .def file
    std::vector<Choice> offered;
    Choice checked;
  };
  const std::vector<Case> cases = {
      {Machine::Unknown, {all, all + 4}, &TForm1::MachineX86},
      {Machine::I386, {all, all + 4}, &TForm1::MachineX86},
      // ARM64EC code calls x64 DLLs.
      {Machine::Amd64, {&TForm1::MachineX64, &TForm1::MachineArm64ec}, &TForm1::MachineX64},
      {Machine::Arm64, {}, &TForm1::MachineArm64},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(MachineName(c.written));
    TFichierLib lib;
    SetList(lib, {Entry("Foo", 8, true)});
    lib.SourceMachine = c.written;
    const bool library = c.written != Machine::Unknown;
    const std::string path = dir.File(library ? "w.lib" : "w.def");
    ASSERT_TRUE(library ? lib.WriteCoffLibrary(path) : lib.WriteDefFile(path));
    ASSERT_TRUE(form.OpenFile(Q(path), kOpenAnything));
    EXPECT_TRUE((form.*c.checked)->isChecked());
    for (Choice choice : all)
      EXPECT_EQ((form.*choice)->isEnabled(),
                std::find(c.offered.begin(), c.offered.end(), choice) != c.offered.end())
          << (form.*choice)->text().toStdString();
    const bool decorates = c.checked == &TForm1::MachineX86;
    EXPECT_EQ(form.GroupBox1->isEnabled(), decorates);
    EXPECT_EQ(form.Label10->isVisible(), !decorates);
    // A greyed choice changes nothing even when asked for.
    form.ChooseMachine(Machine::Arm64ec);
    EXPECT_EQ(form.FichierLib.SourceMachine == Machine::Arm64ec, !c.offered.empty());
  }
}

// A list read from a .def file is read again in the chosen machine's
// dialect, as one undo step. When the file or the list changed since, or
// the file is gone, the list is converted as any 32-bit list, and the
// status line says why.
TEST_F(MachineChoiceTest, ADefListIsReadAgainInTheChosenMachinesDialect) {
  const std::string path = dir.File("bar.def");
  WriteFileText(path, "LIBRARY bar.dll\nEXPORTS\nBar@8\nBaz == Qux\n");
  TFichierLib x64;
  ASSERT_TRUE(x64.ReadDefFile(path, Machine::Amd64));
  ASSERT_TRUE(form.OpenFile(Q(path), kOpenAnything));
  const std::vector<TFonctionLib> read = List();

  form.MachineX64->trigger();
  EXPECT_EQ(form.FichierLib.SourceMachine, Machine::Amd64);
  EXPECT_EQ(List(), ListOf(x64));
  EXPECT_EQ(List()[0].Name, "Bar@8");
  EXPECT_EQ(form.StatusBar1->currentMessage().toStdString(),
            "x64 : noms de bar.def relus pour x64 (Ctrl+Z pour annuler).");
  // Back to 32-bit Intel, the file's own reading again; undo steps back.
  form.MachineX86->trigger();
  EXPECT_EQ(List(), read);
  form.Annuler1->trigger();
  EXPECT_EQ(List(), ListOf(x64));
  form.Annuler1->trigger();
  EXPECT_EQ(List(), read);
  EXPECT_EQ(form.FichierLib.SourceMachine, Machine::Unknown);

  WriteFileText(path, "LIBRARY bar.dll\nEXPORTS\nOther@4\n");
  form.MachineX64->trigger();
  EXPECT_EQ(List()[0].Name, "Bar");
  EXPECT_EQ(form.StatusBar1->currentMessage().toStdString(),
            "x64 : la liste ou bar.def a changé depuis sa lecture ; 1 fonction a perdu sa "
            "décoration Intel 32 bits (Ctrl+Z pour annuler).");
  form.Annuler1->trigger();
  ASSERT_EQ(std::remove(path.c_str()), 0);
  form.MachineArm64->trigger();
  EXPECT_EQ(List()[0].Name, "Bar");
  EXPECT_TRUE(form.StatusBar1->currentMessage().startsWith("ARM64 : bar.def ne peut plus être relu ; "));
}
