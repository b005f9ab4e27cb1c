// What a user does to a list in the window, and what must come of it:
// delete then type, undo a chain of edits, find with a filter and act on
// what it shows, work through guessed conventions, and saves that write
// back, refuse what cannot be right, ask before losing, and say why they
// failed.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTest>
#include <QUndoStack>

#include <filesystem>
#ifndef _WIN32
#include <unistd.h>
#endif

#include "app/export_list_model.h"
#include "app/list_box.h"
#include "app/qt_message_box.h"
#include "files/file_kind.h"
#include "model/form_losses.h"
#include "platform/safe_save.h"
#include "tests/app/form_harness.h"

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

TFonctionLib Guessed(const std::string& name, std::int32_t length, bool isPascal) {
  TFonctionLib entry = Entry(name, length, isPascal);
  entry.Unsure = true;
  return entry;
}

}  // namespace

class ListEditingTest : public FormTest {
 protected:
  ~ListEditingTest() override {
    for (auto stage : {platform::SaveStage::Open, platform::SaveStage::Write,
                       platform::SaveStage::Flush, platform::SaveStage::Rename})
      platform::FailSaveStageForTesting(stage, 0);
  }
  // Opens a COFF library of entries, as the user would.
  void OpenCoff(const std::vector<TFonctionLib>& entries, const std::string& name) {
    TFichierLib lib;
    SetList(lib, entries);
    const std::string path = dir.File(name);
    ASSERT_TRUE(lib.WriteCoffLibrary(path));
    dialogs.Confirm(path, 1);
    form.Ouvrir1->trigger();
    ASSERT_EQ(form.FileName, Q(path));
  }
  std::vector<std::string> Names() {
    std::vector<std::string> names;
    for (const TFonctionLib& entry : List()) names.push_back(entry.Name);
    return names;
  }
  QString Status() const { return form.StatusLabel->text(); }

  TempDir dir;
};

TEST_F(ListEditingTest, AnEditAfterADeleteReachesTheFunctionThePanelShows) {
  OpenCoff({Entry("FMUSIC_GetNumSamples", 4, false), Entry("FMUSIC_GetOrder", 4, false),
            Entry("FMUSIC_GetPaused", 4, false)},
           "fmod.lib");
  ClickLine(1);
  QTest::keyClick(form.ListBox1, Qt::Key_Delete);
  // The line that took its place is the current, selected one, shown.
  EXPECT_EQ(SelectedLines(), (std::vector<int>{1}));
  EXPECT_EQ(form.Edit1->text(), "FMUSIC_GetPaused");
  Type(form.Edit1, "Z");
  EXPECT_EQ(Lines(), (std::vector<QString>{"FMUSIC_GetNumSamples", "FMUSIC_GetPausedZ"}));
  form.Enregistrer1->trigger();
  TFichierLib back;
  ASSERT_TRUE(back.ReadCoffLibrary(form.FileName.toStdString()));
  EXPECT_EQ(ListOf(back)[0].Name, "FMUSIC_GetNumSamples");
  EXPECT_EQ(ListOf(back)[1].Name, "FMUSIC_GetPausedZ");

  // Deleting the last line selects the one above; emptying the list
  // empties the panel, and typing then changes nothing.
  ClickLine(1);
  Click(form.Button2);
  EXPECT_EQ(form.Edit1->text(), "FMUSIC_GetNumSamples");
  Click(form.Button2);
  EXPECT_EQ(form.Edit1->text(), "");
  Type(form.Edit1, "X");
  EXPECT_EQ(form.Fonctions().Count, 0u);
}

TEST_F(ListEditingTest, EveryEditUndoesAndRedoesBackToTheSameList) {
  OpenCoff({Entry("Alpha", 4, true), Entry("Beta", 8, false), Entry("Gamma", 0, true)}, "u.lib");
  const std::vector<TFonctionLib> opened = List();
  EXPECT_FALSE(form.Annuler1->isEnabled());

  ClickLine(1);
  Type(form.Edit1, "Two");  // three keys, one step
  Click(form.RadioButton1);
  form.Edit2->selectAll();
  Type(form.Edit2, "12");
  ClickLine(0);
  ClickLine(2, Qt::ShiftModifier);
  Click(form.Button2);
  Click(form.Button1);
  Type(form.Edit1, "New");
  const std::vector<TFonctionLib> edited = List();
  ASSERT_EQ(Names(), (std::vector<std::string>{"New"}));
  EXPECT_TRUE(Caption().startsWith('*')) << Caption().toStdString();

  // Ctrl+Z typed in the name field undoes the list's last step, not the
  // field's own typing.
  form.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
  QTest::keyClick(form.Edit1, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(Names(), (std::vector<std::string>{""}));
  int steps = 1;
  while (form.Annuler1->isEnabled()) {
    form.Annuler1->trigger();
    ++steps;
  }
  EXPECT_EQ(steps, 6) << "insert, name, remove, length, convention, rename";
  EXPECT_EQ(List(), opened);
  EXPECT_FALSE(form.Modified()) << "undone back to the file as opened";
  EXPECT_FALSE(Caption().startsWith('*'));
  // The panel shows what the last undo brought back.
  EXPECT_EQ(form.Edit1->text(), "Beta");

  QTest::keyClick(form.ListBox1, Qt::Key_Y, Qt::ControlModifier);
  EXPECT_EQ(List()[1].Name, "BetaTwo");
  QTest::keyClick(form.ListBox1, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_TRUE(List()[1].IsPascal);
  while (form.Retablir1->isEnabled()) form.Retablir1->trigger();
  EXPECT_EQ(List(), edited);
  EXPECT_TRUE(form.Modified());

  // A new list starts a new history.
  form.UndoStack->setClean();  // not asked
  form.Nouveau1->trigger();
  EXPECT_FALSE(form.Annuler1->isEnabled());
}

TEST_F(ListEditingTest, TheFilterNarrowsTheLinesAndEditsReachOnlyWhatItShows) {
  std::vector<TFonctionLib> entries;
  for (int i = 0; i < 300; ++i) entries.push_back(Entry("gsl_sf_fn" + std::to_string(i), 0, false));
  entries[17] = Entry("gsl_sf_bessel_J0", 0, false);
  entries[250] = Entry("gsl_sf_BESSEL_Y1", 0, false);
  entries[251] = Guessed("gsl_sf_guess", 0, false);
  Load(entries);
  EXPECT_EQ(Status(), "300 fonctions, 0 sélectionnée, 1 devinée");

  ClickLine(250);
  form.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
  QTest::keyClick(&form, Qt::Key_F, Qt::ControlModifier);
  EXPECT_TRUE(form.Edit3->hasFocus());
  Type(form.Edit3, "bessel");
  EXPECT_EQ(Lines(), (std::vector<QString>{"gsl_sf_bessel_J0", "gsl_sf_BESSEL_Y1"}));
  EXPECT_EQ(SelectedLines(), (std::vector<int>{250})) << "a shown selection stays";
  EXPECT_EQ(Status(), "2 affichées sur 300 fonctions, 1 sélectionnée, 1 devinée");

  // Select all that is shown, and set the convention: only those change.
  form.ListBox1->setFocus();
  QTest::keyClick(form.ListBox1, Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(SelectedLines(), (std::vector<int>{17, 250}));
  Click(form.RadioButton1);
  int pascal = 0;
  for (const TFonctionLib& entry : List()) pascal += entry.IsPascal;
  EXPECT_EQ(pascal, 2);
  EXPECT_TRUE(List()[17].IsPascal && List()[250].IsPascal);

  // A removal under the filter removes the entry, not a shown row number.
  ClickLine(250);
  Click(form.Button2);
  EXPECT_EQ(List().size(), 299u);
  EXPECT_EQ(List()[250].Name, "gsl_sf_guess");
  EXPECT_EQ(Lines(), (std::vector<QString>{"gsl_sf_bessel_J0"}));

  form.Edit3->clear();
  EXPECT_EQ(form.ListBox1->count(), 299);
  EXPECT_EQ(Lines()[17], "gsl_sf_bessel_J0");
}

// A length set against the one the export name spells is marked, and the
// mark goes once the lengths agree again.
TEST_F(ListEditingTest, ALengthThatContradictsTheExportNameIsMarked) {
  TFonctionLib bound = Entry("FMUSIC_FreeSong", 12, true);
  bound.Import.ExportName = "_FMUSIC_FreeSong@4";
  bound.Import.Dll = "fmod.dll";
  Load({bound, Guessed("B", 4, true)});
  EXPECT_EQ(form.ListModel->index(0).data(kMarkRole).toString(), "! longueur");
  EXPECT_TRUE(form.ListModel->index(0).data(Qt::ToolTipRole).toString().contains("dit 4 octets"));
  EXPECT_EQ(form.ListModel->index(1).data(kMarkRole).toString(), "? devinée");
  ClickLine(0);
  form.Edit2->selectAll();
  Type(form.Edit2, "4");
  EXPECT_EQ(form.ListModel->index(0).data(kMarkRole).toString(), "");
}

TEST_F(ListEditingTest, GuessesAreMarkedSaidAndWorkedThroughOneByOne) {
  Load({Guessed("A", 4, false), Entry("B", 4, true), Guessed("C", 8, true)});
  EXPECT_TRUE(form.ListModel->index(0).data(kGuessedRole).toBool());
  EXPECT_FALSE(form.ListModel->index(1).data(kGuessedRole).toBool());

  form.DevineeSuivante1->trigger();
  EXPECT_EQ(SelectedLines(), (std::vector<int>{0}));
  EXPECT_TRUE(form.Label9->isVisible());
  EXPECT_EQ(form.Label9->text(), "Convention devinée");
  form.DevineeSuivante1->trigger();
  EXPECT_EQ(SelectedLines(), (std::vector<int>{2}));

  // Confirming keeps the convention and settles the guess, as one step.
  Click(form.Button3);
  EXPECT_EQ(List()[2], Entry("C", 8, true));
  EXPECT_FALSE(form.Label9->isVisible());
  EXPECT_FALSE(form.Button3->isVisible());
  form.DevineeSuivante1->trigger();  // round to the top
  EXPECT_EQ(SelectedLines(), (std::vector<int>{0}));
  ClickLine(1);
  EXPECT_FALSE(form.Label9->isVisible());
  form.Annuler1->trigger();
  EXPECT_TRUE(List()[2].Unsure);
  EXPECT_TRUE(form.Label9->isVisible());
}

TEST_F(ListEditingTest, SaveWritesBackSaveAsProposesTheListsOwnFile) {
  const std::string def = dir.File("mine.def");
  WriteFileText(def, "LIBRARY mine\nEXPORTS\n  Alpha\n  Beta\n");
  form.OpenArguments({Q(def)});
  ClickLine(0);
  Type(form.Edit1, "X");
  EXPECT_EQ(Caption(), "*" + Q(def));
  const std::size_t shown = dialogs.shown.size();
  form.Enregistrer1->trigger();
  EXPECT_EQ(dialogs.shown.size(), shown) << "no dialog: written back";
  EXPECT_EQ(Caption(), Q(def));
  TFichierLib back;
  ASSERT_TRUE(back.ReadDefFile(def));
  EXPECT_EQ(ListOf(back)[0].Name, "AlphaX");

  // Save as proposes this list's folder, name and form, whatever was
  // saved before.
  dialogs.Confirm(dir.File("other.lib"), 1);
  form.EnregistrerSous1->trigger();
  form.OpenArguments({Q(def)});
  dialogs.Cancel();
  form.EnregistrerSous1->trigger();
  EXPECT_EQ(dialogs.shown.back().FileName, Q(dir.File("mine.def")));
  EXPECT_EQ(dialogs.shown.back().FilterIndex, 3);

  // A list of no file, and one that came from a DLL, ask where to go.
  form.Nouveau1->trigger();
  form.Enregistrer1->trigger();
  EXPECT_EQ(dialogs.shown.back().FileName, QDir::toNativeSeparators(QDir::homePath() + "/"));
}

TEST_F(ListEditingTest, NothingIsSavedThatCannotBeRight) {
  Load({Entry("Named", 4, true)});
  ClickLine(0);
  Click(form.Button1);  // a function with no name yet
  ClickLine(1);
  const std::string omf = dir.File("x.lib");
  dialogs.Confirm(omf, 2);
  form.EnregistrerSous1->trigger();
  EXPECT_FALSE(FileExists(omf));
  ASSERT_EQ(boxes.Calls().size(), 1u);
  EXPECT_EQ(boxes.Calls()[0].caption, "Fonction sans nom");
  EXPECT_NE(boxes.Calls()[0].text.find("ligne 1 n'a pas de nom"), std::string::npos);
  EXPECT_EQ(SelectedLines(), (std::vector<int>{0})) << "the unnamed function is shown";
  EXPECT_TRUE(form.Modified());
}

TEST_F(ListEditingTest, AnOmfSaveThatWouldLoseALengthAsksFirst) {
  TFonctionLib planted = Entry("Spelled", 8, true);
  planted.Import.ExportName = "SPELLED";  // no "@8" in it
  Load({planted});
  ASSERT_FALSE(LossesOf(form.Fonctions(), ListForm::Omf, form.FichierLib.SourceMachine).empty());
  const std::string omf = dir.File("lossy.lib");
  for (const int answer : {kIdNo, kIdYes}) {
    boxes.Clear();
    std::vector<std::string> asked;
    SetMessageBoxHandler([&](void*, const std::string& text, const std::string& caption, UINT) {
      asked.push_back(caption + "|" + text);
      return answer;
    });
    dialogs.Confirm(omf, 2);
    form.EnregistrerSous1->trigger();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].rfind("Informations perdues|", 0), 0u) << asked[0];
    EXPECT_NE(asked[0].find("1 fonction"), std::string::npos) << asked[0];
    EXPECT_NE(asked[0].find("Spelled"), std::string::npos);
    EXPECT_EQ(FileExists(omf), answer == kIdYes);
  }
}

TEST_F(ListEditingTest, AFailedSaveSaysTheSystemsReasonAndTheNextDialogStaysHome) {
  OpenCoff({Entry("Alpha", 4, true)}, "kept.lib");
  const std::string kept = form.FileName.toStdString();
  const auto before = ReadFileBytes(kept);
  ClickLine(0);
  Type(form.Edit1, "X");
  struct Case {
    const char* name;
    std::function<void()> arrange;
    std::string path;
    std::string reason;
  };
  const std::string readOnly = dir.File("ro");
  std::filesystem::create_directories(readOnly);
  std::filesystem::permissions(readOnly, std::filesystem::perms::owner_read |
                                             std::filesystem::perms::owner_exec);
  std::vector<Case> cases;
  for (auto stage : {platform::SaveStage::Open, platform::SaveStage::Write,
                     platform::SaveStage::Flush, platform::SaveStage::Rename})
    cases.push_back({"injected", [stage] { platform::FailSaveStageForTesting(stage, 1); }, kept,
                     "Erreur d'entrée-sortie sur le disque."});
  cases.push_back({"/proc", [] {}, "/proc/x.lib", "Ce dossier n'accepte pas de nouveaux fichiers."});
#ifndef _WIN32
  if (::geteuid() != 0)  // the system's administrator may write anywhere
    cases.push_back({"read-only", [] {}, readOnly + "/x.lib", "Accès refusé."});
#endif
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " " + c.path);
    boxes.Clear();
    c.arrange();
    dialogs.Confirm(c.path, 1);
    form.EnregistrerSous1->trigger();
    ASSERT_EQ(boxes.Calls().size(), 1u);
    EXPECT_EQ(boxes.Calls()[0].text, "Impossible d'écrire le fichier " + c.path + "\n" + c.reason);
    EXPECT_EQ(ReadFileBytes(kept), before);
    EXPECT_TRUE(form.Modified());
    EXPECT_EQ(form.FileName, Q(kept));
    for (auto stage : {platform::SaveStage::Open, platform::SaveStage::Write,
                       platform::SaveStage::Flush, platform::SaveStage::Rename})
      platform::FailSaveStageForTesting(stage, 0);
    // The next dialog proposes the list's own file, not the failed place.
    dialogs.Cancel();
    form.EnregistrerSous1->trigger();
    EXPECT_EQ(dialogs.shown.back().FileName, Q(kept));
  }
  std::filesystem::permissions(readOnly, std::filesystem::perms::owner_all);
}

// A .def file names one DLL: a DLL typed for one function of a .def list
// is held until the user is done (here Ctrl+S), then goes to all the
// functions as one step, or to none.
TEST_F(ListEditingTest, ADllTypedInADefListGoesToAllItsFunctionsOrToNone) {
  const std::string def = dir.File("x.def");
  for (const int answer : {kIdYes, kIdNo}) {
    SCOPED_TRACE(answer);
    WriteFileText(def, "EXPORTS\n  A\n  B\n  C\n  D\n  E\n");
    form.OpenArguments({Q(def)});
    std::vector<std::string> asked;
    int reply = kIdYes;  // the first save adds the LIBRARY line
    SetMessageBoxHandler([&](void*, const std::string& text, const std::string& caption, UINT) {
      asked.push_back(caption + "|" + text);
      return reply;
    });
    form.Enregistrer1->trigger();
    ASSERT_EQ(asked.size(), 1u);
    asked.clear();
    reply = answer;
    ClickLine(1);
    form.Panel->DllEdit->setFocus();
    QTest::keyClick(form.Panel->DllEdit, Qt::Key_A, Qt::ControlModifier);  // typed over
    Type(form.Panel->DllEdit, "other.dll");
    EXPECT_EQ(List()[1].Import.Dll, "x.dll") << "nothing taken while it is typed";
    EXPECT_TRUE(asked.empty());
    QTest::keyClick(form.Panel->DllEdit, Qt::Key_S, Qt::ControlModifier);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0], "Une seule DLL|Un fichier .def nomme une seule DLL. Donner la DLL "
                        "« other.dll » à toutes les 5 fonctions ?");
    const std::string dll = answer == kIdYes ? "other.dll" : "x.dll";
    TFichierLib back;
    ASSERT_TRUE(back.ReadDefFile(def));
    for (std::uint32_t i = 0; i < 5; ++i) {
      EXPECT_EQ(form.Fonctions().Item(i).Import.Dll, dll);
      EXPECT_EQ(back.Fonctions.Item(i).Import.Dll, dll);
    }
    EXPECT_EQ(form.Panel->DllEdit->text(), Q(dll));
    EXPECT_FALSE(form.Modified());
    form.Annuler1->trigger();
    // Yes is one step for all five; no made none.
    EXPECT_EQ(form.Fonctions().Item(4).Import.Dll, answer == kIdYes ? "x.dll" : "");
    SetMessageBoxHandler({});
  }
}

// However a list came to import from several DLLs, it is not saved as
// .def: the window says why and offers another form.
TEST_F(ListEditingTest, AListOfSeveralDllsIsNotSavedAsDef) {
  Load({BoundTo("A", "A", ImportKind::Code, "a.dll"), BoundTo("B", "B", ImportKind::Code, "b.dll"),
        Entry("C", 0, true)});
  const std::string def = dir.File("x.def"), lib = dir.File("x.lib");
  for (const int answer : {kIdNo, kIdYes}) {
    std::vector<std::string> asked;
    SetMessageBoxHandler([&](void*, const std::string& text, const std::string& caption, UINT) {
      asked.push_back(caption + "|" + text);
      return answer;
    });
    dialogs.Confirm(def, 3);
    if (answer == kIdYes) dialogs.Confirm(lib, 1);
    form.EnregistrerSous1->trigger();
    ASSERT_FALSE(asked.empty());
    EXPECT_EQ(asked[0], "Plusieurs DLL|Impossible d'écrire le fichier " + def +
                            "\nUn fichier .def ne nomme qu'une DLL ; cette liste en importe de 3 : "
                            "a.dll, b.dll, x.dll.\nEnregistrer la liste sous une autre forme "
                            "(librairie Microsoft, Borland ou GNU) ?");
    EXPECT_FALSE(FileExists(def));
    EXPECT_EQ(FileExists(lib), answer == kIdYes);
  }
  EXPECT_EQ(dialogs.shown.back().FilterIndex, 1) << "a library proposed";
  SetMessageBoxHandler({});
}

// After a save the list is what the file holds, read back: what the form
// dropped is gone and the guesses it states are facts, as one step
// "Enregistrer" that Ctrl+Z takes back.
TEST_F(ListEditingTest, AfterASaveTheListIsWhatTheFileHolds) {
  TFonctionLib byOrdinal = Entry("Ord", 0, true);
  byOrdinal.Import.ByOrdinal = byOrdinal.Import.NoName = true;
  byOrdinal.Import.Ordinal = 7;
  const std::vector<TFonctionLib> entries = {Guessed("Guess", 8, true), Entry("Std", 8, false),
                                             byOrdinal, Guessed("Guess", 4, false)};
  for (const auto& [name, filter] : {std::pair{"c.lib", 1}, std::pair{"libg.a", 4},
                                     std::pair{"d.def", 3}}) {
    SCOPED_TRACE(name);
    Load(entries);
    ClickLine(2);
    const std::string path = dir.File(name);
    SetMessageBoxHandler([](void*, const std::string&, const std::string&, UINT) { return kIdYes; });
    dialogs.Confirm(path, filter);
    form.EnregistrerSous1->trigger();
    SetMessageBoxHandler({});
    TFichierLib back;
    FileKind kind;
    ASSERT_TRUE(ReadByContent(back, path, kind));
    ASSERT_EQ(back.Fonctions.Count, form.ListModel->Count());
    for (std::uint32_t i = 0; i < back.Fonctions.Count; ++i)
      EXPECT_TRUE(SameEntry(form.ListModel->At(i), back.Fonctions.Item(i))) << i;
    EXPECT_EQ(Status(), "4 fonctions, 1 sélectionnée, 0 devinée");
    EXPECT_EQ(SelectedLines(), (std::vector<int>{2}));
    EXPECT_EQ(form.Panel->NoNameCheck->isChecked(), back.Fonctions.Item(2).Import.NoName);
    EXPECT_FALSE(form.Modified());
    EXPECT_EQ(form.Annuler1->text(), "Annuler Enregistrer");
    form.Annuler1->trigger();
    EXPECT_TRUE(form.ListModel->At(3).Unsure);
    EXPECT_TRUE(form.Modified());
  }
}
