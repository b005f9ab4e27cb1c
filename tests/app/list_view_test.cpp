// The list as export tools show it (columns, sort, find on every column,
// C++ names demangled, copy), the Import group of the panel, and the keys
// a desktop user reaches for.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QSpinBox>
#include <QTest>
#include <QTreeWidget>
#include <QDockWidget>
#include <QUndoStack>

#include "app/demangle.h"
#include "app/export_list_model.h"
#include "app/list_box.h"
#include "app/list_filter.h"
#include "tests/app/form_harness.h"

namespace {

TFonctionLib Bound(const std::string& name, int length, bool pascal, const char* dll,
                   const char* exported, ImportKind kind = ImportKind::Code) {
  TFonctionLib e = Entry(name, length, pascal);
  e.Import.Dll = dll;
  e.Import.ExportName = exported;
  e.Import.Kind = kind;
  return e;
}

// Three functions that each column orders differently.
std::vector<TFonctionLib> Three() {
  TFonctionLib byOrdinal = Bound("Beta", 100, false, "b.dll", "");
  byOrdinal.Import.ByOrdinal = byOrdinal.Import.NoName = true;
  byOrdinal.Import.Ordinal = 7;
  return {Bound("Gamma", 12, true, "c.dll", "_Gamma@12", ImportKind::Data), byOrdinal,
          Bound("Alpha", 4, true, "a.dll", "Alpha_export", ImportKind::Const)};
}

}  // namespace

class ListViewTest : public FormTest {
 protected:
  std::vector<QString> Column(int column) {
    std::vector<QString> cells;
    for (int line = 0; line < form.ListBox1->count(); ++line)
      cells.push_back(form.ListBox1->model()->index(line, column).data().toString());
    return cells;
  }
};

// A click on a header sorts by its column (numbers as numbers), again the
// other way; the find text reaches every column.
TEST_F(ListViewTest, EachColumnSortsAndIsFound) {
  Load(Three());
  struct Case {
    int column;
    std::vector<QString> names;  // by that column, ascending
    const char* found;           // a text only that column of one line holds
    QString foundName;
  };
  const std::vector<Case> cases = {
      {kColumnName, {"Alpha", "Beta", "Gamma"}, "amm", "Gamma"},
      // Equal cells keep the list's order.
      {kColumnConvention, {"Gamma", "Alpha", "Beta"}, "_stdc", "Beta"},
      {kColumnLength, {"Alpha", "Gamma", "Beta"}, "100", "Beta"},
      {kColumnMicrosoft, {"Alpha", "Beta", "Gamma"}, "_alpha@4", "Alpha"},
      {kColumnBorland, {"Alpha", "Gamma", "Beta"}, "_beta", "Beta"},
      {kColumnLookup, {"Beta", "Alpha", "Gamma"}, "NONAME", "Beta"},
      {kColumnKind, {"Beta", "Alpha", "Gamma"}, "donn", "Gamma"},
      {kColumnDll, {"Alpha", "Beta", "Gamma"}, "b.dll", "Beta"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.column);
    const QHeaderView* header = form.ListBox1->header();
    form.ListBox1->setColumnHidden(c.column, false);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(header->sectionViewportPosition(c.column) + 5, 5));
    if (header->sortIndicatorOrder() != Qt::AscendingOrder)
      form.ListBox1->sortByColumn(c.column, Qt::AscendingOrder);
    EXPECT_EQ(Column(kColumnName), c.names);
    form.ListBox1->sortByColumn(c.column, Qt::DescendingOrder);
    EXPECT_EQ(Column(kColumnName).back(), c.names.front());
    form.Edit3->setText(c.found);
    EXPECT_EQ(Column(kColumnName), std::vector<QString>{c.foundName});
    form.Edit3->clear();
  }
  // Sorted, the panel still edits the function it shows.
  form.ListBox1->sortByColumn(kColumnLength, Qt::DescendingOrder);
  ClickLine(1);  // Beta, shown first
  EXPECT_EQ(form.ListBox1->LineOf(1), 0);
  Type(form.Edit1, "2");
  EXPECT_EQ(List()[1].Name, "Beta2");
}

TEST(Demangle, MicrosoftAndItaniumNamesReadAsDeclarations) {
  const std::pair<const char*, const char*> cases[] = {
  // Microsoft names as each system's reader writes them: LLVM's on Linux,
  // the system's own (dbghelp) on Windows.
#ifdef _WIN32
      {"?addDSP@Channel@FMOD@@QAG?AW4FMOD_RESULT@@PAVDSP@2@PAPAVDSPConnection@2@@Z",
       "public: enum FMOD_RESULT __stdcall FMOD::Channel::addDSP(class FMOD::DSP *,class "
       "FMOD::DSPConnection * *)"},
#else
      {"?addDSP@Channel@FMOD@@QAG?AW4FMOD_RESULT@@PAVDSP@2@PAPAVDSPConnection@2@@Z",
       "public: enum FMOD_RESULT __stdcall FMOD::Channel::addDSP(class FMOD::DSP *, class "
       "FMOD::DSPConnection **)"},
#endif
      {"?f@@YGXH@Z", "void __stdcall f(int)"},
      {"_ZN4FMOD7Channel6addDSPEPNS_3DSPEPPNS_13DSPConnectionE",
       "FMOD::Channel::addDSP(FMOD::DSP*, FMOD::DSPConnection**)"},
      {"__ZN4FMOD6System5closeEv", "FMOD::System::close()"},
      {"FSOUND_Init", ""},
      {"?broken", ""},
  };
  for (const auto& [symbol, declaration] : cases) EXPECT_EQ(Demangle(symbol), declaration) << symbol;
}

// The declaration column and the copy of the selection as text.
TEST_F(ListViewTest, CxxNamesShowDemangledAndRowsCopyAsText) {
  TFonctionLib cxx = Bound("?f@@YGXH@Z", 0, false, "x.dll", "?f@@YGXH@Z");
  cxx.Import.Symbol = cxx.Name;
  Load({Bound("Plain", 8, true, "x.dll", "_Plain@8"), cxx});
  form.ListBox1->setColumnHidden(kColumnDeclaration, false);
  EXPECT_EQ(Column(kColumnDeclaration), (std::vector<QString>{"", "void __stdcall f(int)"}));
  // A C++ name carries its own convention: the panel says so.
  ClickLine(1);
  EXPECT_FALSE(form.GroupBox1->isEnabled());
  EXPECT_TRUE(form.Label10->text().contains("C++"));

  for (int column = 1; column < kColumnCount; ++column)
    form.ListBox1->setColumnHidden(column, column != kColumnLength && column != kColumnDll);
  ClickLine(0);
  ClickLine(1, Qt::ControlModifier);
  form.ListBox1->setFocus();
  QTest::keyClick(form.ListBox1, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QApplication::clipboard()->text(),
            "Nom\tLongueur\tDLL\nPlain\t8\tx.dll\n?f@@YGXH@Z\t0\tx.dll\n");
}

// The Import group edits the selected functions' binding, one step each.
TEST_F(ListViewTest, TheImportGroupEditsTheBindingWithUndo) {
  Load(Three());
  const std::vector<TFonctionLib> before = List();
  ClickLine(0);
  ClickLine(2, Qt::ControlModifier);
  EXPECT_EQ(form.Panel->DllEdit->text(), "");
  EXPECT_FALSE(form.Panel->ExportEdit->isEnabled()) << "one function's lookup";
  Type(form.Panel->DllEdit, "fmod.dll");
  EXPECT_EQ(List()[0].Import.Dll, "fmod.dll");
  EXPECT_EQ(List()[2].Import.Dll, "fmod.dll");
  form.Panel->KindBox->setFocus();
  form.Panel->KindBox->setCurrentIndex(0);
  emit form.Panel->KindBox->activated(0);
  EXPECT_EQ(List()[0].Import.Kind, ImportKind::Code);
  EXPECT_EQ(List()[2].Import.Kind, ImportKind::Code);

  ClickLine(2);
  Erase(form.Panel->ExportEdit);
  Type(form.Panel->ExportEdit, "AlphaEx");
  EXPECT_EQ(form.Label8->text(), "AlphaEx de fmod.dll");
  Click(form.Panel->OrdinalCheck);
  EXPECT_TRUE(List()[2].Import.ByOrdinal);
  EXPECT_EQ(List()[2].Import.Ordinal, 1);
  EXPECT_EQ(form.Label8->text(), "ordinal 1 de fmod.dll");
  Click(form.Panel->NoNameCheck);
  EXPECT_EQ(form.Label8->text(), "ordinal 1 (sans nom) de fmod.dll");

  // Data has no convention: greyed, with the reason.
  ClickLine(0);
  EXPECT_TRUE(form.GroupBox1->isEnabled());
  form.Panel->KindBox->setCurrentIndex(1);
  emit form.Panel->KindBox->activated(1);
  EXPECT_FALSE(form.GroupBox1->isEnabled());
  EXPECT_TRUE(form.Label10->text().contains("données"));

  while (form.UndoStack->canUndo()) form.UndoStack->undo();
  for (std::size_t i = 0; i < before.size(); ++i) {
    EXPECT_EQ(List()[i].Import.Dll, before[i].Import.Dll);
    EXPECT_EQ(List()[i].Import.Kind, before[i].Import.Kind);
    EXPECT_EQ(List()[i].Import.ByOrdinal, before[i].Import.ByOrdinal);
    EXPECT_EQ(List()[i].Import.ExportName, before[i].Import.ExportName);
  }
}

// The keys: the list has the focus at start; Ctrl+Z in the find field
// undoes its typing first, then the list's edits; Alt+E opens "Édition";
// the menu's undo names the step.
TEST_F(ListViewTest, KeysReachTheListTheFindFieldAndTheMenus) {
  form.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
  EXPECT_TRUE(form.ListBox1->hasFocus());
  Load(Three());
  ClickLine(0);
  QTest::keyClick(form.ListBox1, Qt::Key_Delete);
  EXPECT_EQ(form.Annuler1->text(), "Annuler Supprimer");
  Type(form.Edit3, "a");
  QTest::keyClick(form.Edit3, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(form.Edit3->text(), "") << "the field's own typing first";
  EXPECT_EQ(List().size(), 2u);
  QTest::keyClick(form.Edit3, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(List().size(), 3u) << "then the list's";

  QTest::keyClick(form.Edit3, Qt::Key_E, Qt::AltModifier);
  EXPECT_EQ(form.Edit3->text(), "");
  EXPECT_EQ(form.MainMenu1->activeAction(), form.Edition1->menuAction());
}

// The check stays open beside the list; its findings are counted by kind
// and lead to their function, whose line carries a written mark.
TEST_F(ListViewTest, TheCheckPanelLeadsToTheFunctions) {
  const std::string lib = LIBMORPH_CORPUS_DIR "/fmod-3.61/fmodbc.lib";
  const std::string dll = LIBMORPH_CORPUS_DIR "/fmod-3.61/fmod.dll";
  if (!FileExists(lib)) GTEST_SKIP() << "no corpus at " << lib;
  ASSERT_TRUE(form.OpenFile(QString::fromStdString(lib), kOpenLibrary));
  ClickLine(5);
  Type(form.Edit1, "Z");  // no such export
  dialogs.Confirm(dll, 1);
  form.VerifierAvecDll1->trigger();
  ASSERT_TRUE(form.CheckDock->isVisible());
  QTreeWidgetItem* heading = nullptr;
  for (int i = 0; i < form.CheckFindings->topLevelItemCount(); ++i)
    if (form.CheckFindings->topLevelItem(i)->text(0).startsWith("ne se lient pas"))
      heading = form.CheckFindings->topLevelItem(i);
  ASSERT_NE(heading, nullptr);
  EXPECT_EQ(heading->text(0), "ne se lient pas (1)");
  EXPECT_TRUE(form.ListModel->index(5).data(kMarkRole).toString().contains("✗ vérif."));
  ClickLine(0);
  emit form.CheckFindings->itemActivated(heading->child(0), 0);
  EXPECT_EQ(form.ListBox1->currentRow(), 5);
  EXPECT_TRUE(form.Edit1->text().endsWith("Z"));
  // Still there while the list is edited.
  Type(form.Edit1, "Y");
  EXPECT_TRUE(form.CheckDock->isVisible());
}
