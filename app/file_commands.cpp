// Open and Save as: each shows its dialog, hands the chosen path to the
// reader or writer of the chosen filter, says what went wrong, and brings
// the window up to date.
#include <QFile>
#include <QStringList>

#include "app/list_box.h"
#include "app/unit1.h"

namespace {

enum OpenFilter { kOpenLibrary = 1, kOpenDefinition = 2, kOpenAnything = 3 };
enum SaveFilter { kSaveCoff = 1, kSaveBorland = 2, kSaveDefinition = 3 };

const QString kMicrosoftSuffix = QStringLiteral(" (Microsoft)");
const QString kBorlandSuffix = QStringLiteral(" (Borland)");

// The path as the file system spells it.
std::string SystemPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

// A name with no "." anywhere, folders included, gets the extension.
void AddExtensionIfNoDot(QString& path, const char* extension) {
  if (!path.contains(QLatin1Char('.'))) path += QLatin1String(extension);
}

// The boxes the window has always shown for a file it could not open or
// write, and for the save it does not know how to make.
void Say(const Outcome& outcome, const std::string& path) {
  switch (outcome.Kind) {
    case OutcomeKind::Done:
      break;
    case OutcomeKind::CannotOpen:
      MessageBoxA(nullptr, path, "Impossible d'ouvrir le fichier", MB_ICONERROR);
      break;
    case OutcomeKind::Refused:
      MessageBoxA(nullptr, "Non implémenté", "Erreur", MB_ICONERROR);
      break;
    default:
      MessageBoxA(nullptr, "Impossible d'écrire le fichier " + path, "Erreur", MB_ICONERROR);
      break;
  }
}

}  // namespace

void TForm1::FillListBox() {
  ListBox1->clear();
  const std::uint32_t count = Fonctions().Count;
  QStringList lines;
  lines.reserve(count);
  for (std::uint32_t i = 0; i < count; ++i) lines << AnsiToQString(Fonctions().Item(i).Name);
  // One call for all lines: the view lays them out once.
  ListBox1->addItems(lines);
}

void TForm1::Ouvrir1Click() {
  if (!dialogs_.Execute(OpenDialog1, this)) return;
  FileName = OpenDialog1.FileName;
  const std::string path = SystemPath(FileName);
  switch (OpenDialog1.FilterIndex) {
    case kOpenLibrary:
      if (FichierLib.IsCoffArchive(path)) {
        Say(FichierLib.ReadCoffLibrary(path), path);
        SetCaption(FileName + kMicrosoftSuffix);
      } else {
        const Outcome outcome = FichierLib.ReadOmfLibrary(path);
        // The kind test and the reader each try the file: one box each.
        if (outcome.Kind == OutcomeKind::CannotOpen) Say(outcome, path);
        Say(outcome, path);
        SetCaption(FileName + kBorlandSuffix);
      }
      break;
    case kOpenDefinition:
      Say(FichierLib.ReadDefFile(path), path);
      SetCaption(FileName);
      break;
    default:  // "Tous (*.*)": nothing is read
      break;
  }
  FillListBox();
  ListBox1Click();
}

void TForm1::EnregistrerSous1Click() {
  if (!dialogs_.Execute(SaveDialog1, this)) return;
  FileName = SaveDialog1.FileName;
  switch (SaveDialog1.FilterIndex) {
    case kSaveCoff:
      AddExtensionIfNoDot(FileName, ".lib");
      Say(FichierLib.WriteCoffLibrary(SystemPath(FileName)), SystemPath(FileName));
      SetCaption(FileName + kMicrosoftSuffix);
      break;
    case kSaveBorland:
      AddExtensionIfNoDot(FileName, ".lib");
      Say(FichierLib.WriteBorlandLibrary(SystemPath(FileName)), SystemPath(FileName));
      SetCaption(FileName + kBorlandSuffix);
      break;
    case kSaveDefinition:
      AddExtensionIfNoDot(FileName, ".def");
      Say(FichierLib.WriteDefFile(SystemPath(FileName)), SystemPath(FileName));
      SetCaption(FileName);
      break;
    default:
      break;
  }
}
