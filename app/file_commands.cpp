// Open and Save as: each shows its dialog, hands the chosen path to the
// reader or writer, says what went wrong and why, and brings the window up
// to date only when the file was read or written whole.
#include <QFile>
#include <QStringList>

#include <cerrno>
#include <cstring>
#include <utility>

#include "app/list_box.h"
#include "app/qt_message_box.h"
#include "app/unit1.h"
#include "files/file_kind.h"
#include "model/machine.h"
#include "platform/message_box.h"

namespace {

// The caption names the machine of a list for anything but 32-bit Intel
// code, whose captions stay as they always were.
QString MachineSuffix(std::uint16_t machine) {
  if (Decorates(machine)) return {};
  return QStringLiteral(" (") + QString::fromStdString(MachineName(machine)) + QLatin1Char(')');
}


enum SaveFilter { kSaveCoff = 1, kSaveBorland = 2, kSaveDefinition = 3 };

const QString kMicrosoftSuffix = QStringLiteral(" (Microsoft)");
const QString kBorlandSuffix = QStringLiteral(" (Borland)");
const QString kDllSuffix = QStringLiteral(" (DLL)");

// How many unsure entries the summary names before it stops.
constexpr std::uint32_t kUnsureNamed = 5;

// The path as the file system spells it.
std::string SystemPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

// A name with no "." anywhere, folders included, gets the extension.
void AddExtensionIfNoDot(QString& path, const char* extension) {
  if (!path.contains(QLatin1Char('.'))) path += QLatin1String(extension);
}

QString Count(std::uint64_t n, const char* singular, const char* plural) {
  return QString::number(n) + QLatin1Char(' ') + QString::fromUtf8(n == 1 ? singular : plural);
}

QString SystemReason(int error, bool writing) {
  switch (error) {
    case ENOENT:
      return writing ? QStringLiteral("Le dossier n'existe pas.")
                     : QStringLiteral("Le fichier n'existe pas.");
    case ENOTDIR: return QStringLiteral("Un élément du chemin n'est pas un dossier.");
    case EISDIR: return QStringLiteral("C'est un dossier, pas un fichier.");
    case EACCES:
    case EPERM: return QStringLiteral("Accès refusé.");
    case EWOULDBLOCK:
    case EBUSY:
    case ETXTBSY: return QStringLiteral("Le fichier est ouvert par un autre programme.");
    case ENAMETOOLONG: return QStringLiteral("Le nom du fichier est trop long.");
    case ENOSPC: return QStringLiteral("Le disque est plein.");
    case EDQUOT: return QStringLiteral("Le quota d'espace disque est dépassé.");
    case EROFS: return QStringLiteral("Le disque est en lecture seule.");
    case EFBIG: return QStringLiteral("Le fichier est trop grand.");
    case EIO: return QStringLiteral("Erreur d'entrée-sortie sur le disque.");
    case 0: return QStringLiteral("Le système n'a pas donné de raison.");
    default:
      return QStringLiteral("Erreur du système %1 (%2).")
          .arg(error)
          .arg(QString::fromLocal8Bit(std::strerror(error)));
  }
}

QString KindInFrench(FileKind kind) {
  switch (kind) {
    case FileKind::CoffArchive: return QStringLiteral("une archive COFF");
    case FileKind::OmfLibrary: return QStringLiteral("une librairie OMF");
    case FileKind::OmfObject: return QStringLiteral("un module objet OMF seul");
    case FileKind::PeImage: return QStringLiteral("une DLL");
    case FileKind::DefinitionText: return QStringLiteral("un fichier de définitions");
    case FileKind::Empty: return QStringLiteral("un fichier vide");
    case FileKind::Text: return QStringLiteral("un fichier texte");
    case FileKind::Unknown: break;
  }
  return QStringLiteral("un fichier d'un format inconnu");
}

// A file of a kind that can hold imports, but holds none.
QString NoImport(FileKind kind) {
  return QStringLiteral("Ce fichier (%1) ne contient aucune fonction importée.")
      .arg(KindInFrench(kind));
}

QString ReadReason(const Outcome& outcome, FileKind kind) {
  switch (outcome.Kind) {
    case OutcomeKind::CannotOpen: return SystemReason(outcome.Error, false);
    case OutcomeKind::NotImportLibrary:
      switch (kind) {
        case FileKind::CoffArchive:
        case FileKind::OmfLibrary:
        case FileKind::PeImage:
        case FileKind::DefinitionText: return NoImport(kind);
        default:
          return QStringLiteral("Ce n'est pas une librairie d'importation : c'est %1.")
              .arg(KindInFrench(kind));
      }
    case OutcomeKind::StaticLibrary:
      return QStringLiteral("C'est une librairie statique de %1, sans aucune importation.")
          .arg(Count(outcome.Count, "module objet", "modules objets"));
    case OutcomeKind::CutShort:
      return QStringLiteral("Le fichier est tronqué : il s'arrête après %1.")
          .arg(Count(outcome.Count, "fonction", "fonctions"));
    case OutcomeKind::Refused:
      return QStringLiteral("Ce fichier ne peut pas être lu (%1).")
          .arg(QString::fromStdString(outcome.Detail));
    case OutcomeKind::CannotWrite:
    case OutcomeKind::Done: break;
  }
  return NoImport(kind);
}

QString WriteReason(const Outcome& outcome) {
  if (outcome.Kind == OutcomeKind::Refused) {
    if (outcome.Detail == "not implemented") return QStringLiteral("Non implémenté");
    return QStringLiteral("La liste ne peut pas être écrite sous cette forme (%1).")
        .arg(QString::fromStdString(outcome.Detail));
  }
  return SystemReason(outcome.Error, true);
}

void ShowError(void* owner, const QString& text, const char* caption) {
  MessageBoxA(owner, text.toStdString(), caption, MB_ICONERROR);
}

// The export list read, handed over whole with what its file said of it
// (the machine of a DLL, which decides what may be written of it); the
// other's storage goes with the reader's library object.
void TakeList(ExportList& into, ExportList& from) {
  std::swap(into.Fonctions.Count, from.Fonctions.Count);
  std::swap(into.Fonctions.Data, from.Fonctions.Data);
  std::swap(into.Fonctions.Capacity, from.Fonctions.Capacity);
  std::swap(into.SourceMachine, from.SourceMachine);
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
  for (std::uint32_t i = 0; i < count; ++i)
    if (Fonctions().Item(i).Unsure) MarkLine(static_cast<int>(i));
}

void TForm1::Ouvrir1Click() {
  if (!ConfirmDiscard()) return;
  if (!dialogs_.Execute(OpenDialog1, this)) return;
  OpenFile(OpenDialog1.FileName, OpenDialog1.FilterIndex);
}

bool TForm1::OpenFile(const QString& fileName, int filter) {
  const std::string path = SystemPath(fileName);
  TFichierLib read;
  FileKind kind = FileKind::Unknown;
  Outcome outcome = DetectFileKind(path, kind);
  QString suffix;
  if (outcome) {
    switch (kind) {
      case FileKind::CoffArchive:
        outcome = read.ReadCoffLibrary(path);
        suffix = kMicrosoftSuffix;
        break;
      case FileKind::OmfLibrary:
        outcome = read.ReadOmfLibrary(path);
        suffix = kBorlandSuffix;
        break;
      case FileKind::PeImage:
        outcome = read.ReadDllFile(path);
        suffix = kDllSuffix;
        break;
      case FileKind::DefinitionText:
        outcome = read.ReadDefFile(path);
        break;
      case FileKind::OmfObject:
        // A library's modules one by one, as "Librairies" always read
        // anything that was no COFF archive.
        if (filter == kOpenLibrary) outcome = read.ReadOmfLibrary(path);
        else outcome = Outcome::NotImportLibrary({});
        suffix = kBorlandSuffix;
        break;
      case FileKind::Text:
        // Names one per line, with no statement: what "Fichiers de
        // definition" always read.
        if (filter == kOpenDefinition) outcome = read.ReadDefFile(path);
        else outcome = Outcome::NotImportLibrary({});
        break;
      default:
        outcome = Outcome::NotImportLibrary({});
        break;
    }
  }
  if (outcome && read.Fonctions.Count == 0) outcome = Outcome::NotImportLibrary({});
  if (!outcome) {
    const QString text = fileName + QLatin1Char('\n') + ReadReason(outcome, kind);
    // Under "Librairies" the kind test and the reader each tried the file:
    // one box each, as users have always seen.
    if (outcome.Kind == OutcomeKind::CannotOpen && filter == kOpenLibrary)
      ShowError(Handle(), text, "Impossible d'ouvrir le fichier");
    ShowError(Handle(), text, "Impossible d'ouvrir le fichier");
    return false;
  }

  TakeList(FichierLib, read);
  FileName = fileName;
  SetCaption(FileName + suffix + MachineSuffix(FichierLib.SourceMachine));
  Modified = false;
  FillListBox();
  ListBox1Click();
  SayUnsure();
  return true;
}

void TForm1::SayUnsure() {
  QStringList named;
  std::uint64_t unsure = 0;
  for (std::uint32_t i = 0; i < Fonctions().Count; ++i) {
    const TFonctionLib& entry = Fonctions().Item(i);
    if (!entry.Unsure) continue;
    if (++unsure <= kUnsureNamed) named << AnsiToQString(entry.Name);
  }
  if (unsure == 0) return;
  if (unsure > kUnsureNamed) named << QStringLiteral("…");
  const QString text =
      QStringLiteral("La convention de %1 a été devinée d'après les autres fonctions de la DLL ; "
                     "vérifiez-la (lignes en couleur) :\n%2")
          .arg(Count(unsure, "fonction", "fonctions"), named.join(QStringLiteral(", ")));
  MessageBoxA(Handle(), text.toStdString(), "Conventions à vérifier", MB_ICONWARNING);
}

void TForm1::EnregistrerSous1Click() {
  if (!dialogs_.Execute(SaveDialog1, this)) return;
  QString fileName = SaveDialog1.FileName;
  Outcome outcome;
  QString suffix;
  switch (SaveDialog1.FilterIndex) {
    case kSaveCoff:
      AddExtensionIfNoDot(fileName, ".lib");
      outcome = FichierLib.WriteCoffLibrary(SystemPath(fileName));
      suffix = kMicrosoftSuffix;
      break;
    case kSaveBorland:
      AddExtensionIfNoDot(fileName, ".lib");
      outcome = FichierLib.WriteBorlandLibrary(SystemPath(fileName));
      suffix = kBorlandSuffix;
      break;
    case kSaveDefinition:
      AddExtensionIfNoDot(fileName, ".def");
      outcome = FichierLib.WriteDefFile(SystemPath(fileName));
      break;
    default:
      return;
  }
  if (!outcome) {
    ShowError(Handle(),
              QStringLiteral("Impossible d'écrire le fichier ") + fileName + QLatin1Char('\n') +
                  WriteReason(outcome),
              "Erreur");
    return;
  }
  FileName = fileName;
  SetCaption(FileName + suffix + MachineSuffix(FichierLib.SourceMachine));
  Modified = false;
}
