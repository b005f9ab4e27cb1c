// What a desktop user expects of the window: the question before unsaved
// edits are thrown away, a file from the command line or dropped on the
// window, the keys, the import line of an entry and how hand edits keep it.
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QUndoStack>
#include <QUrl>

#include <deque>

#include "app/export_list_model.h"
#include "app/list_box.h"
#include "app/qt_message_box.h"
#include "tests/app/form_harness.h"

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

const std::vector<TFonctionLib> kTwo = {Entry("Alpha", 4, true), Entry("Beta", 0, false)};

}  // namespace

class WindowHabitsTest : public FormTest {
 protected:
  WindowHabitsTest() {
    TFichierLib lib;
    SetList(lib, kTwo);
    EXPECT_TRUE(lib.WriteCoffLibrary(library));
  }

  // The next message boxes answer these, in turn; the questions are kept.
  void Answer(std::vector<int> answers) {
    answers_.assign(answers.begin(), answers.end());
    SetMessageBoxHandler([this](void*, const std::string& text, const std::string& caption, UINT) {
      asked.push_back(caption + "|" + text);
      if (answers_.empty()) return IDOK;
      const int answer = answers_.front();
      answers_.pop_front();
      return answer;
    });
  }

  TempDir dir;
  const std::string library = dir.File("two.lib");
  std::vector<std::string> asked;

 private:
  std::deque<int> answers_;
};

TEST_F(WindowHabitsTest, UnsavedEditsAreAskedAboutOnEveryWayOut) {
  struct Way {
    const char* name;
    std::function<void(bool goesOn)> take;
    std::function<bool()> taken;
  };
  const std::vector<Way> ways = {
      {"Nouveau", [&](bool) { form.Nouveau1->trigger(); },
       [&] { return form.ListBox1->count() == 0; }},
      {"Ouvrir",
       [&](bool goesOn) {
         if (goesOn) dialogs.Confirm(library, 1);
         form.Ouvrir1->trigger();
       },
       [&] { return Caption() == Q(library) + " (Microsoft)"; }},
      {"Quitter", [&](bool) { form.Quitter1->trigger(); }, [&] { return !form.isVisible(); }},
      {"close", [&](bool) { form.close(); }, [&] { return !form.isVisible(); }},
  };
  for (const Way& way : ways) {
    for (const int answer : {kIdYes, kIdNo, kIdCancel}) {
      SCOPED_TRACE(std::string(way.name) + " " + std::to_string(answer));
      form.show();
      form.SetCaption("before");
      Load({Entry("Alpha", 4, true), Entry("Beta", 0, false), Entry("Gamma", 0, false)});
      ClickLine(2);
      Click(form.RadioButton1);  // an edit
      asked.clear();
      Answer({answer});
      const std::string saved = dir.File(std::string(way.name) + std::to_string(answer) + ".def");
      if (answer == kIdYes) dialogs.Confirm(saved, 3);
      way.take(answer != kIdCancel);
      ASSERT_EQ(asked.size(), 1u);
      EXPECT_EQ(asked[0], "Modifications non enregistrées|La liste des fonctions a été modifiée.\n"
                          "Enregistrer les modifications ?");
      EXPECT_EQ(FileExists(saved), answer == kIdYes);
      EXPECT_EQ(way.taken(), answer != kIdCancel);
      if (answer == kIdCancel) {
        EXPECT_TRUE(form.Modified());
      }
      form.UndoStack->setClean();
    }
  }
}

TEST_F(WindowHabitsTest, ASaveThatFailsWhenAskedKeepsTheEdits) {
  Load(kTwo);
  ClickLine(0);
  Click(form.RadioButton2);
  Answer({kIdYes});
  dialogs.Cancel();
  form.Nouveau1->trigger();
  EXPECT_EQ(form.ListBox1->count(), 2);
  EXPECT_TRUE(form.Modified());
}

TEST_F(WindowHabitsTest, AFileOnTheCommandLineOrDroppedOnTheWindowOpensByContent) {
  const std::string def = dir.File("two.txt");
  WriteFileText(def, "LIBRARY two\nEXPORTS\n  Alpha\n  Beta\n");
  const std::vector<std::pair<std::string, QString>> files = {
      {library, Q(library) + " (Microsoft)"}, {def, Q(def)}};
  for (const auto& [path, caption] : files) {
    SCOPED_TRACE(path);
    form.Nouveau1->trigger();
    form.OpenArguments({Q(path)});
    EXPECT_EQ(Caption(), caption);
    EXPECT_EQ(Lines(), (std::vector<QString>{"Alpha", "Beta"}));

    form.Nouveau1->trigger();
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(Q(path))});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&form, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&form, &drop);
    EXPECT_EQ(Caption(), caption);
    EXPECT_EQ(Lines(), (std::vector<QString>{"Alpha", "Beta"}));
  }
  form.OpenArguments({});
  EXPECT_TRUE(boxes.Calls().empty());
}

TEST_F(WindowHabitsTest, KeysOfTheMenusAndOfTheList) {
  form.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
  Load(kTwo);
  ClickLine(0);
  QTest::keyClick(form.ListBox1, Qt::Key_Delete);
  EXPECT_EQ(Lines(), (std::vector<QString>{"Beta"}));
  QTest::keyClick(form.ListBox1, Qt::Key_Insert);
  EXPECT_EQ(List().size(), 2u);
  EXPECT_TRUE(form.Edit1->hasFocus());
  const std::vector<std::pair<QAction*, QKeySequence>> keys = {
      {form.Nouveau1, QKeySequence("Ctrl+N")},        {form.Ouvrir1, QKeySequence("Ctrl+O")},
      {form.Enregistrer1, QKeySequence("Ctrl+S")},   {form.EnregistrerSous1, QKeySequence("Ctrl+Shift+S")},
      {form.Quitter1, QKeySequence("Ctrl+Q")},       {form.Aideenligne, QKeySequence("F1")},
      {form.Annuler1, QKeySequence("Ctrl+Z")},       {form.Rechercher1, QKeySequence("Ctrl+F")}};
  for (const auto& [action, key] : keys) EXPECT_EQ(action->shortcut(), key) << action->text().toStdString();
  EXPECT_EQ(form.Fichiers1->title(), "&Fichiers");
}

TEST_F(WindowHabitsTest, TheImportLineSaysHowTheEntryIsBound) {
  auto bound = [](ImportBinding import) {
    TFonctionLib entry = Entry("FMUSIC_FreeSong", 4, true);
    entry.Import = std::move(import);
    return entry;
  };
  ImportBinding byName;
  byName.ExportName = "_FMUSIC_FreeSong@4";
  byName.Dll = "fmod.dll";
  ImportBinding byOrdinal;
  byOrdinal.ByOrdinal = byOrdinal.NoName = true;
  byOrdinal.Ordinal = 12;
  ImportBinding data;
  data.ExportName = "table";
  data.Kind = ImportKind::Data;
  Load({Entry("Plain", 8, true), bound(byName), bound(byOrdinal), bound(data)});
  const std::vector<QString> shown = {"Plain", "_FMUSIC_FreeSong@4 de fmod.dll",
                                      "ordinal 12 (sans nom)", "table, données"};
  for (int row = 0; row < 4; ++row) {
    ClickLine(row);
    EXPECT_EQ(form.Label8->text(), shown[static_cast<std::size_t>(row)]);
    const QFontMetrics metrics(form.Label8->font());
    EXPECT_LE(metrics.horizontalAdvance(form.Label8->text()), form.Label8->width());
  }
  form.Nouveau1->trigger();
  EXPECT_EQ(form.Label8->text(), "");
}

TEST_F(WindowHabitsTest, AConventionEditKeepsTheExportARenameTheDll) {
  TFonctionLib entry = Entry("f", 8, true);
  entry.Import.Symbol = "@f@8";
  entry.Import.ExportName = "f";
  entry.Import.Dll = "x.dll";
  entry.Import.Ordinal = 3;
  entry.Unsure = true;
  Load({entry});
  const QModelIndex line = form.ListModel->index(0);
  EXPECT_EQ(line.data().toString(), "f");
  EXPECT_TRUE(line.data(kGuessedRole).toBool()) << "a guessed convention is marked";
  EXPECT_FALSE(line.data(Qt::ToolTipRole).toString().isEmpty());

  ClickLine(0);
  Click(form.RadioButton2);
  TFonctionLib edited = form.Fonctions().Item(0);
  EXPECT_EQ(edited.Import.Symbol, "");
  EXPECT_EQ(edited.Import.ExportName, "f");
  EXPECT_EQ(edited.Import.Dll, "x.dll");
  EXPECT_EQ(edited.Import.Ordinal, 3);
  EXPECT_FALSE(edited.Unsure);
  EXPECT_FALSE(line.data(kGuessedRole).toBool());
  EXPECT_TRUE(line.data(Qt::ToolTipRole).isNull());
  EXPECT_TRUE(line.data(Qt::ForegroundRole).isNull());
  EXPECT_EQ(form.Label4->text(), "_f");
  EXPECT_EQ(form.Label8->text(), "f de x.dll");
  form.Fonctions().Item(0).Import.Symbol = "f";
  Erase(form.Edit2);
  Type(form.Edit2, "4");
  EXPECT_EQ(form.Fonctions().Item(0).Import.Symbol, "");
  EXPECT_EQ(form.Fonctions().Item(0).Import.ExportName, "f");

  // A rename keeps the DLL and asks it for the new name.
  Type(form.Edit1, "g");
  EXPECT_EQ(form.Fonctions().Item(0).Import.Dll, "x.dll");
  EXPECT_EQ(form.Fonctions().Item(0).Import.ExportName, "fg");
  EXPECT_EQ(form.Label8->text(), "fg de x.dll");
}

TEST(QtMessageBox, HeadsItsTextWithItsCaptionAndAsksInFrench) {
  QMessageBox box;
  BuildQtMessageBox(box, "a <b> & c\nsecond", "Titre", kMbYesNoCancel | kMbIconQuestion);
  EXPECT_EQ(box.text(), "<b>Titre</b><br><br>a &lt;b&gt; &amp; c<br>second");
  EXPECT_EQ(box.icon(), QMessageBox::Question);
  EXPECT_EQ(box.button(QMessageBox::Yes)->text(), "&Oui");
  EXPECT_EQ(box.button(QMessageBox::No)->text(), "&Non");
  EXPECT_EQ(box.button(QMessageBox::Cancel)->text(), "Annuler");
}
