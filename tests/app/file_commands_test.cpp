// Open and Save as through each filter, with scripted dialog answers and
// real files.
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

#include <filesystem>

#include "app/export_list_model.h"
#include "app/list_box.h"
#include "tests/app/form_harness.h"
#include "tests/support/omf_builder.h"
#include "tests/support/peers.h"

namespace {

// A _stdcall entry carries no length in its Microsoft symbol, so this list
// comes back whole from a COFF library.
const std::vector<TFonctionLib> kThree = {Entry("Alpha", 4, true), Entry("Beta", 0, false),
                                           Entry("Gamma", 0, true)};
// A definition file keeps conventions and lengths too.
const std::vector<TFonctionLib> kThreeFromDef = kThree;
const std::vector<QString> kThreeLines = {"Alpha", "Beta", "Gamma"};

QString Q(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

class FileCommandsTest : public FormTest {
 protected:
  void ExpectPanelEmpty() {
    EXPECT_TRUE(SelectedLines().empty());
    EXPECT_EQ(form.Edit1->text() + form.Edit2->text() + form.Label4->text() + form.Label6->text(),
              "");
    EXPECT_FALSE(form.RadioButton1->isChecked() || form.RadioButton2->isChecked());
  }

  TempDir dir;
};

TEST_F(FileCommandsTest, OpenReadsByFilterAndRefillsTheList) {
  TFichierLib lib;
  SetList(lib, kThree);
  const std::string coff = dir.File("ms.lib"), def = dir.File("x.def"), omf = dir.File("bc.lib");
  ASSERT_TRUE(lib.WriteCoffLibrary(coff));
  ASSERT_TRUE(lib.WriteDefFile(def));
  omf::LibraryBuilder().AddImports({{"Alpha"}, {"_Beta"}}).WriteTo(omf);
  struct Case {
    std::string path;
    int filter;
    QString caption;
    std::vector<TFonctionLib> list;
  };
  const std::vector<Case> cases = {
      {coff, 1, Q(coff) + " (Microsoft)", From("ms.dll", kThree)},
      {omf, 1, Q(omf) + " (Borland)",
       {Imported(Entry("Alpha", 0, true), "MYLIB.DLL", "Alpha"),
        Imported(Entry("Beta", 0, false), "MYLIB.DLL", "_Beta")}},
      {def, 2, Q(def), From("x.dll", kThreeFromDef)},
      {coff, 3, Q(coff) + " (Microsoft)", From("ms.dll", kThree)},  // by content
      {def, 1, Q(def), From("x.dll", kThreeFromDef)},               // a .def whatever the filter
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path + " filter " + std::to_string(c.filter));
    if (form.ListBox1->count() > 0) ClickLine(0);  // a line of the old list selected
    dialogs.Confirm(c.path, c.filter);
    form.Ouvrir1->trigger();
    EXPECT_EQ(form.FileName, Q(c.path));
    EXPECT_EQ(Caption(), c.caption);
    EXPECT_EQ(List(), c.list);
    std::vector<QString> names;
    for (const TFonctionLib& entry : c.list) names.push_back(Q(entry.Name));
    EXPECT_EQ(Lines(), names);
    ExpectPanelEmpty();
  }
  EXPECT_TRUE(boxes.Calls().empty());
  // Filter 1 at first use, then the one chosen last.
  EXPECT_EQ(dialogs.shown[0].FilterIndex, 1);
  EXPECT_EQ(dialogs.shown[3].FilterIndex, 2);
  EXPECT_EQ(dialogs.shown[0].Filter.split('|')[6], "Bibliothèques dynamiques (*.dll)");
}

// A file that cannot be taken whole is reported with its reason on a line
// of its own, and the window stays exactly as it was.
TEST_F(FileCommandsTest, AFileThatIsNoWholeImportLibraryLeavesTheWindowAsItWas) {
  TFichierLib lib;
  SetList(lib, kThree);
  const std::string good = dir.File("good.lib");
  ASSERT_TRUE(lib.WriteCoffLibrary(good));
  // A first linker member that announces three names but holds one.
  std::string cut = "!<arch>\n" + std::string(60, ' ');
  cut += std::string("\0\0\0\x03", 4) + std::string(12, '\0') + std::string("__imp__A@4\0", 11);
  struct Case {
    std::string name;
    std::string bytes;  // no file when empty and name has no dot
    int filter;
    std::string reason;
    int boxes;
  };
  const std::vector<Case> cases = {
      {"missing.lib", "", 1, "Le fichier n'existe pas.", 2},  // as always, twice
      {"missing", "", 2, "Le fichier n'existe pas.", 1},
      {"cut.lib", cut, 1, "Le fichier est tronqué : il s'arrête après 1 fonction.", 1},
      {"empty.lib", "", 1, "Ce n'est pas une librairie d'importation : c'est un fichier vide.", 1},
      {"text.lib", "hello\n", 1, "Ce n'est pas une librairie d'importation : c'est un fichier texte.", 1},
      {"random.lib", "\x13\x99\x02\xfe", 3,
       "Ce n'est pas une librairie d'importation : c'est un fichier d'un format inconnu.", 1},
      {"sig.lib", "!<arch>\n", 1, "Ce fichier (une archive COFF) ne contient aucune fonction importée.", 1},
      {"none.def", "EXPORTS\n", 2,
       "Ce fichier (un fichier de définitions) ne contient aucune fonction importée.", 1},
      {"held.lib", "!<arch>\n", 1, "Le fichier est ouvert par un autre programme.", 2},
  };
  dialogs.Confirm(good, 1);
  form.Ouvrir1->trigger();
  ClickLine(1);
  const auto state = [this] {
    return std::make_tuple(Caption(), form.FileName, List(), Lines(), SelectedLines(),
                           form.Edit1->text(), form.Edit2->text(), form.RadioButton2->isChecked(),
                           form.Label4->text(), form.Label8->text());
  };
  const auto before = state();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.File(c.name);
    if (c.name.find("missing") == std::string::npos) WriteFileText(path, c.bytes);
    TFichierLib holder;
    // Readers share a file; a program that writes it in place does not,
    // and is waited for only a moment here.
    platform::SetLockPatienceForTesting(std::chrono::milliseconds(50));
    const HANDLE held = c.name == "held.lib" ? CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                                           OPEN_EXISTING, 0, nullptr)
                                             : nullptr;
    boxes.Clear();
    dialogs.Confirm(path, c.filter);
    form.Ouvrir1->trigger();
    ASSERT_EQ(boxes.Calls().size(), static_cast<std::size_t>(c.boxes));
    for (const auto& call : boxes.Calls()) {
      EXPECT_EQ(call.caption, "Impossible d'ouvrir le fichier");
      EXPECT_EQ(call.text, path + "\n" + c.reason);
      EXPECT_EQ(call.style, 16u);
      EXPECT_EQ(call.owner, form.Handle());
    }
    EXPECT_EQ(state(), before);
    if (held && held != INVALID_HANDLE_VALUE) CloseHandle(held);
    platform::SetLockPatienceForTesting(std::chrono::seconds(10));
  }
  // A save after them writes the first library.
  const std::string saved = dir.File("saved.lib");
  dialogs.Confirm(saved, 1);
  form.EnregistrerSous1->trigger();
  TFichierLib back;
  back.ReadCoffLibrary(saved);
  EXPECT_EQ(ListOf(back), From("good.dll", kThree));
}

TEST_F(FileCommandsTest, SaveAsWritesByFilterAndAddsTheExtensionOnlyWithoutADot) {
  struct Case {
    std::string folder;  // under the temporary folder
    std::string typed;
    int filter;
    std::string written;
    std::string captionSuffix;
  };
  const std::vector<Case> cases = {
      {"plain", "out", 1, "out.lib", " (Microsoft)"},
      {"plain", "out.txt", 1, "out.txt", " (Microsoft)"},
      {"my.libs", "out", 1, "out", " (Microsoft)"},
      {"plain", "mydefs", 3, "mydefs.def", ""},
      {"a.b", "mydefs", 3, "mydefs", ""},
      {"plain", "libgnu", 4, "libgnu.a", " (GNU)"},
  };
  Load(kThree);
  ClickLine(1);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.folder + "/" + c.typed);
    const std::string folder = dir.File(c.folder);
    std::filesystem::create_directories(folder);
    dialogs.Confirm(folder + "/" + c.typed, c.filter);
    form.EnregistrerSous1->trigger();
    const std::string written = folder + "/" + c.written;
    EXPECT_EQ(form.FileName, Q(written));
    EXPECT_EQ(Caption(), Q(written + c.captionSuffix));
    TFichierLib back;
    if (c.filter == 3) back.ReadDefFile(written);
    else back.ReadCoffLibrary(written);
    // The first save bound the list to the DLL its file names.
    EXPECT_EQ(ListOf(back), From("out.dll", c.filter == 3 ? kThreeFromDef : kThree));
    EXPECT_EQ(back.GnuForm, c.filter == 4);
  }
  // "Enregistrer" writes a GNU library back in its own form.
  form.Enregistrer1->trigger();
  TFichierLib again;
  ASSERT_TRUE(again.ReadCoffLibrary(dir.File("plain/libgnu.a")));
  EXPECT_TRUE(again.GnuForm);
  EXPECT_TRUE(boxes.Calls().empty());
  // Save as leaves the list (but for that DLL), the lines and the panel alone.
  EXPECT_EQ(List(), From("out.dll", kThree));
  EXPECT_EQ(SelectedLines(), (std::vector<int>{1}));
  EXPECT_EQ(form.Edit1->text(), "Beta");
}

// A failed save says why and keeps the caption; a Borland save that would
// lose the lengths asks first, and "no" saves nothing.
TEST_F(FileCommandsTest, AFailedSaveSaysWhyAndKeepsTheCaption) {
  Load(kThree);
  form.SetCaption("kept");
  std::filesystem::create_directories(dir.File("folder.d"));
  struct Case {
    std::string path;
    int filter;
    std::string reason;
  };
  const std::vector<Case> cases = {
      {dir.File("no/such/folder.lib"), 1, "Le dossier n'existe pas."},
      {dir.File("folder.d"), 3, "C'est un dossier, pas un fichier."},
      {dir.File("bc.lib"), 2, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    boxes.Clear();
    dialogs.Confirm(c.path, c.filter);
    form.EnregistrerSous1->trigger();
    if (c.filter == 2) {
      ASSERT_EQ(boxes.Calls().size(), 1u);
      EXPECT_EQ(boxes.Calls()[0].caption, "Informations perdues");
      EXPECT_EQ(Caption(), "kept");
      EXPECT_FALSE(FileExists(c.path));
      continue;
    }
    ASSERT_EQ(boxes.Calls().size(), 1u);
    const std::string head = "Impossible d'écrire le fichier " + c.path + "\n";
    EXPECT_EQ(boxes.Calls()[0].text.substr(0, head.size()), head);
    if (!c.reason.empty()) {
      EXPECT_EQ(boxes.Calls()[0].text, head + c.reason);
    }
    EXPECT_EQ(boxes.Calls()[0].caption, "Erreur");
    EXPECT_EQ(boxes.Calls()[0].style, 16u);
    EXPECT_EQ(Caption(), "kept");
  }
}

// A DLL opens by its content under "Librairies" as under its own filter;
// functions whose convention was guessed are named and marked.
TEST_F(FileCommandsTest, ADllOpensByContentWhateverItsName) {
  ASSERT_TRUE(Installed({Peer("clang"), Peer("lld-link")}));
  const std::string source = dir.File("w.c"), object = dir.File("w.obj"), dll = dir.File("w.dll");
  WriteFileText(source,
                "__declspec(dllexport) int __stdcall Add(int a, int b) { return a + b; }\n"
                "__declspec(dllexport) int Count(void) { return 3; }\n");
  std::string output;
  ASSERT_EQ(RunCommand(Peer("clang") + " --target=i686-pc-windows-msvc -O1 -c " + source + " -o " + object +
                           " && " + Peer("lld-link") + " -dll -noentry -nodefaultlib -machine:x86 " + object +
                           " -out:" + dll,
                       &output),
            0)
      << output;
  const std::string named = dir.File("w.lib");
  WriteFileBytes(named, ReadFileBytes(dll));
  for (const auto& [path, filter] : {std::pair{dll, 4}, std::pair{named, 1}}) {
    SCOPED_TRACE(path);
    boxes.Clear();
    dialogs.Confirm(path, filter);
    form.Ouvrir1->trigger();
    EXPECT_EQ(Caption(), Q(path) + " (DLL)");
    EXPECT_EQ(form.ListBox1->count(), 2);
    int unsure = 0;
    for (int row = 0; row < form.ListBox1->count(); ++row) {
      const bool marked = form.ListModel->index(row).data(kGuessedRole).toBool();
      EXPECT_EQ(marked, form.Fonctions().Item(static_cast<std::uint32_t>(row)).Unsure);
      unsure += marked;
    }
    ASSERT_EQ(boxes.Calls().size(), unsure ? 1u : 0u);
    if (unsure) {
      EXPECT_EQ(boxes.Calls()[0].caption, "Conventions à vérifier");
    }
  }
}

TEST_F(FileCommandsTest, ACancelledDialogChangesNothing) {
  form.SetCaption("kept");
  dialogs.Cancel();
  form.Ouvrir1->trigger();
  dialogs.Cancel();
  form.EnregistrerSous1->trigger();
  EXPECT_EQ(Caption(), "kept");
  EXPECT_EQ(form.FileName, "");
  EXPECT_TRUE(dir.Entries().empty());
}

// An x64 library says its machine in the caption, and its symbols are the
// plain names on both toolchains' lines.
TEST_F(FileCommandsTest, AnX64LibraryShowsItsMachineAndPlainSymbols) {
  TFichierLib lib;
  SetList(lib, {BoundTo("Foo", "Foo", ImportKind::Code, "w.dll")});
  lib.SourceMachine = Machine::Amd64;
  const std::string path = dir.File("w64.lib");
  ASSERT_TRUE(lib.WriteCoffLibrary(path));
  dialogs.Confirm(path, 1);
  form.Ouvrir1->trigger();
  EXPECT_EQ(Caption(), Q(path) + " (Microsoft) (x64)");
  ClickLine(0);
  EXPECT_EQ(form.Label4->text(), "Foo");
  EXPECT_EQ(form.Label6->text(), "Foo");
}

// An ARM64X library shows each entry's view in the "Vue" column and is
// saved back whole, both views included.
TEST_F(FileCommandsTest, AHybridLibraryShowsItsViewsAndSavesBackWhole) {
  // Both writes stamp alike.
  struct StampZero {
    StampZero() { qputenv("SOURCE_DATE_EPOCH", "0"); }
    ~StampZero() { qunsetenv("SOURCE_DATE_EPOCH"); }
  } stamp;
  TFichierLib lib;
  std::vector<TFonctionLib> entries = {BoundTo("EcOnly", "EcOnly", ImportKind::Code, "hyb.dll"),
                                       BoundTo("NativeOnly", "NativeOnly", ImportKind::Code, "hyb.dll"),
                                       BoundTo("Shared", "Shared", ImportKind::Code, "hyb.dll"),
                                       BoundTo("NativeVar", "NativeVar", ImportKind::Data, "hyb.dll")};
  entries[0].Import.View = HybridView::Arm64ec;
  entries[1].Import.View = entries[3].Import.View = HybridView::Arm64;
  SetList(lib, entries);
  lib.SourceMachine = Machine::Arm64x;
  const std::string path = dir.File("hyb.lib");
  ASSERT_TRUE(lib.WriteCoffLibrary(path));
  const Bytes written = ReadFileBytes(path);
  dialogs.Confirm(path, 1);
  form.Ouvrir1->trigger();
  std::vector<QString> views;
  for (int row = 0; row < form.ListBox1->count(); ++row)
    views.push_back(form.Fonctions().Item(static_cast<std::uint32_t>(row)).Name.c_str() + QStringLiteral(" ") +
                    form.ListBox1->model()->index(row, kColumnView).data().toString());
  EXPECT_EQ(views, (std::vector<QString>{"EcOnly ARM64EC", "NativeOnly ARM64", "Shared les deux",
                                         "NativeVar ARM64"}));
  std::filesystem::remove(path);
  form.Enregistrer1->trigger();
  EXPECT_TRUE(boxes.Calls().empty());
  EXPECT_EQ(ReadFileBytes(path), written);
}
