// Open and Save as: each shows its dialog, hands the chosen path to the
// reader or writer of the chosen filter, and brings the window up to date.
// Neither looks at what the reader or writer answered: those report their
// own failures.
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
        FichierLib.ReadCoffLibrary(path);
        SetCaption(FileName + kMicrosoftSuffix);
      } else {
        FichierLib.ReadOmfLibrary(path);
        SetCaption(FileName + kBorlandSuffix);
      }
      break;
    case kOpenDefinition:
      FichierLib.ReadDefFile(path);
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
      FichierLib.WriteCoffLibrary(SystemPath(FileName));
      SetCaption(FileName + kMicrosoftSuffix);
      break;
    case kSaveBorland:
      AddExtensionIfNoDot(FileName, ".lib");
      FichierLib.WriteBorlandLibrary(SystemPath(FileName));
      SetCaption(FileName + kBorlandSuffix);
      break;
    case kSaveDefinition:
      AddExtensionIfNoDot(FileName, ".def");
      FichierLib.WriteDefFile(SystemPath(FileName));
      SetCaption(FileName);
      break;
    default:
      break;
  }
}
