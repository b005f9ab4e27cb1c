// Open, Save and Save as: each shows its dialog when it needs one, hands
// the path to the reader or writer, says what went wrong and why, and
// brings the window up to date only when the file was read or written
// whole.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QStorageInfo>
#include <QStringList>
#include <QUndoStack>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <unordered_map>
#include <utility>

#include "app/export_list_model.h"
#include "app/list_box.h"
#include "app/list_commands.h"
#include "app/list_filter.h"
#include "model/dll_names.h"
#include "platform/codepage.h"
#include "platform/system_error.h"
#include "app/qt_message_box.h"
#include "app/system_path.h"
#include "app/unit1.h"
#include "files/file_kind.h"
#include "model/form_losses.h"
#include "model/machine.h"
#include "platform/message_box.h"

namespace {

enum SaveFilter { kSaveCoff = 1, kSaveBorland = 2, kSaveDefinition = 3, kSaveGnu = 4 };

const QString kMicrosoftSuffix = QStringLiteral(" (Microsoft)");
const QString kBorlandSuffix = QStringLiteral(" (Borland)");
const QString kGnuSuffix = QStringLiteral(" (GNU)");
const QString kDllSuffix = QStringLiteral(" (DLL)");

// How many unsure entries the summary names before it stops.
constexpr std::uint32_t kUnsureNamed = 5;

// The path as the file system spells it.
// A name with no "." anywhere, folders included, gets the extension.
void AddExtensionIfNoDot(QString& path, const char* extension) {
  if (!path.contains(QLatin1Char('.'))) path += QLatin1String(extension);
}

QString Count(std::uint64_t n, const char* singular, const char* plural) {
  return QString::number(n) + QLatin1Char(' ') + QString::fromUtf8(n == 1 ? singular : plural);
}

// The object modules of a library that were left out of the list, named
// once after it opens: they define "__imp_" pointers but import nothing.
void SayLeftOut(void* owner, const std::vector<std::string>& modules) {
  if (modules.empty()) return;
  QStringList named;
  for (std::size_t i = 0; i < modules.size() && i < kUnsureNamed; ++i)
    named << QString::fromStdString(modules[i]);
  if (modules.size() > kUnsureNamed) named << QStringLiteral("…");
  const QString text =
      QStringLiteral("%1 qui ne %2 pas des imports %3 laissés de côté :\n%4")
          .arg(Count(modules.size(), "module objet", "modules objets"),
               QString::fromUtf8(modules.size() == 1 ? "est" : "sont"),
               QString::fromUtf8(modules.size() == 1 ? "a été" : "ont été"),
               named.join(QStringLiteral(", ")));
  MessageBoxA(owner, text.toStdString(), "Modules laissés de côté", MB_ICONWARNING);
}

#ifdef _WIN32
// On Windows the code is GetLastError's, not errno's (5 is "access
// denied" there, an I/O error here): the same French words for the same
// causes, else Windows' own.
QString SystemReason(int error, bool writing) {
  switch (error) {
    case 2:  // ERROR_FILE_NOT_FOUND
      return writing ? QStringLiteral("Le dossier n'existe pas.")
                     : QStringLiteral("Le fichier n'existe pas.");
    case 3: return QStringLiteral("Le dossier n'existe pas.");  // ERROR_PATH_NOT_FOUND
    case 267: return QStringLiteral("Un élément du chemin n'est pas un dossier.");  // ERROR_DIRECTORY
    case 5: return QStringLiteral("Accès refusé.");  // ERROR_ACCESS_DENIED
    case 32:  // ERROR_SHARING_VIOLATION
    case 33:  // ERROR_LOCK_VIOLATION
      return QStringLiteral("Le fichier est ouvert par un autre programme.");
    case 206: return QStringLiteral("Le nom du fichier est trop long.");  // ERROR_FILENAME_EXCED_RANGE
    case 39:   // ERROR_HANDLE_DISK_FULL
    case 112:  // ERROR_DISK_FULL
      return QStringLiteral("Le disque est plein.");
    case 19: return QStringLiteral("Le disque est en lecture seule.");  // ERROR_WRITE_PROTECT
    case 29:  // ERROR_WRITE_FAULT
    case 30:  // ERROR_READ_FAULT
      return QStringLiteral("Erreur d'entrée-sortie sur le disque.");
    case 0: return QStringLiteral("Le système n'a pas donné de raison.");
    default:
      return QStringLiteral("Erreur du système %1 (%2).")
          .arg(error)
          .arg(QString::fromStdString(platform::SystemErrorText(error)).trimmed());
  }
}
#else
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
#endif

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
    case OutcomeKind::Unproven:
    case OutcomeKind::Done: break;
  }
  return NoImport(kind);
}

QString WriteReason(const Outcome& outcome, const QString& fileName) {
  // The file written was read back and would not import what the list
  // asks for: a fault of this program, which nothing written can cost.
  if (outcome.Kind == OutcomeKind::Unproven)
    return QStringLiteral("Erreur interne : le fichier produit n'importerait pas ce que demande la liste ; "
                          "rien n'a été écrit, l'ancien fichier est intact (%1).")
        .arg(QString::fromStdString(outcome.Detail));
  if (outcome.Kind == OutcomeKind::Refused) {
    if (outcome.Detail == "not implemented") return QStringLiteral("Non implémenté");
    return QStringLiteral("La liste ne peut pas être écrite sous cette forme (%1).")
        .arg(QString::fromStdString(outcome.Detail));
  }
  // Windows answers "access denied" for a folder in the file's place.
  if (QFileInfo(fileName).isDir()) return QStringLiteral("C'est un dossier, pas un fichier.");
  // A folder that is there but refuses new files (a system folder such
  // as /proc) answers "no such file" too.
  if (outcome.Error == ENOENT && QFileInfo(QFileInfo(fileName).absolutePath()).isDir())
    return QStringLiteral("Ce dossier n'accepte pas de nouveaux fichiers.");
  return SystemReason(outcome.Error, true);
}

// Folders of the system's own pseudo file systems: a file dialog that
// opens there may block on reading them.
bool PseudoFolder(const QString& folder) {
  static const QStringList kinds = {"proc",  "sysfs",   "devtmpfs", "devpts",     "debugfs",
                                    "tracefs", "cgroup", "cgroup2",  "securityfs", "configfs"};
  return kinds.contains(QString::fromLatin1(QStorageInfo(folder).fileSystemType()));
}

// The folder a save dialog opens in: the given one when it is a real
// folder, otherwise the home folder.
QString UsableFolder(const QString& folder) {
  if (folder.isEmpty() || !QFileInfo(folder).isDir() || PseudoFolder(folder))
    return QDir::homePath();
  return folder;
}

// The save filter choice that writes a form back; 0 when it cannot be.
// A COFF library read in GNU's form is written back in it.
int SaveFilterOf(TSourceForm form, bool gnu) {
  switch (form) {
    case TSourceForm::Coff: return gnu ? kSaveGnu : kSaveCoff;
    case TSourceForm::Omf: return kSaveBorland;
    case TSourceForm::Def: return kSaveDefinition;
    case TSourceForm::Dll:
    case TSourceForm::None: break;
  }
  return 0;
}

// Why a form cannot hold a list for its machine, as the core found it.
QString MachineRefusal(ListForm form, Machine machine) {
  const QString name = QString::fromStdString(MachineName(machine));
  if (form == ListForm::Omf)
    return QStringLiteral("La liste est pour %1, et les librairies Borland ne servent qu'au code "
                          "Intel 32 bits (menu Machine).")
        .arg(name);
  if (form == ListForm::Gnu)
    return QStringLiteral("La liste est pour %1 ; les librairies GNU sont écrites pour Intel 32 "
                          "bits, x64 et ARM64 (menu Machine).")
        .arg(name);
  return QStringLiteral("Ce programme n'écrit pas encore de librairie Microsoft pour %1.").arg(name);
}

QString LossInFrench(LossKind kind) {
  switch (kind) {
    case LossKind::ConstImport:
      return QStringLiteral("l'import de constante (CONSTANT), qui deviendrait des données");
    case LossKind::ArgumentLength:
      return QStringLiteral("la longueur des arguments, que le nom exporté ne dit pas");
    case LossKind::DataImport:
      return QStringLiteral("l'import de données (DATA ou CONSTANT), qui deviendrait du code");
    case LossKind::ExportName:
      return QStringLiteral("le nom exporté, qu'aucune ligne .def ne peut écrire");
    case LossKind::DelayLoad:
      return QStringLiteral("le chargement différé, que seule une librairie GNU garde "
                            "(avec une librairie Microsoft, liez avec /DELAYLOAD)");
  }
  return QStringLiteral("une information que cette forme de fichier ne garde pas");
}

// "A, B, C, …": the first few names of a loss.
QString SomeNames(const std::vector<AnsiString>& names) {
  QStringList shown;
  for (std::size_t i = 0; i < names.size() && i < kUnsureNamed; ++i)
    shown << AnsiToQString(names[i]);
  if (names.size() > kUnsureNamed) shown << QStringLiteral("…");
  return shown.join(QStringLiteral(", "));
}

void ShowError(void* owner, const QString& text, const char* caption) {
  MessageBoxA(owner, text.toStdString(), caption, MB_ICONERROR);
}

}  // namespace

void TForm1::FillListBox() {
  ListModel->Reset();
  ShowMachine();
  UndoStack->clear();
  setWindowModified(false);
  UpdateStatus();
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
  // "Librairies" always read a lone OMF module as a library's modules, and
  // "Fichiers de definition" a text of names one per line.
  ReadOptions fallbacks;
  fallbacks.OmfObjectAsLibrary = filter == kOpenLibrary;
  fallbacks.TextAsDefinition = filter == kOpenDefinition;
  Outcome outcome = ReadByContent(read, path, kind, fallbacks);
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

  QString suffix;
  switch (kind) {
    case FileKind::CoffArchive:
      suffix = kMicrosoftSuffix;
      Source = TSourceForm::Coff;
      break;
    case FileKind::OmfLibrary:
    case FileKind::OmfObject:
      suffix = kBorlandSuffix;
      Source = TSourceForm::Omf;
      break;
    case FileKind::PeImage:
      suffix = kDllSuffix;
      Source = TSourceForm::Dll;
      break;
    default: Source = TSourceForm::Def; break;
  }
  // The list read is taken whole, with what its file said of it; the old
  // list goes with the reader's library object.
  Swap(FichierLib, read);
  ReadMachine = FichierLib.SourceMachine;
  ReadGnu = kind == FileKind::CoffArchive && FichierLib.GnuForm;
  if (ReadGnu) suffix = kGnuSuffix;
  FileName = fileName;
  SetListCaption(FileName + suffix);
  FillListBox();
  ListBox1Click();
  RememberFile(fileName);
  SayUnsure();
  SayLeftOut(Handle(), FichierLib.LeftOutObjects);
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
  QString text =
      QStringLiteral("La convention de %1 a été devinée d'après les autres fonctions de la DLL ; "
                     "vérifiez-la (lignes en couleur) :\n%2")
          .arg(Count(unsure, "fonction", "fonctions"), named.join(QStringLiteral(", ")));
  if (FichierLib.CodePacked)
    text += QStringLiteral("\n\nLe code de la DLL est compressé : les conventions ne peuvent pas être "
                           "vérifiées d'après son code.");
  MessageBoxA(Handle(), text.toStdString(), "Conventions à vérifier", MB_ICONWARNING);
}

void TForm1::ProposeSaveName(int filter) {
  // The current list's own folder and name, never the last file saved
  // from another list; its form's choice, a DLL's list as a library.
  const QFileInfo current(FileName);
  const QString folder = UsableFolder(FileName.isEmpty() ? QString() : current.absolutePath());
  if (filter) SaveDialog1.FilterIndex = filter;
  else if (const int own = SaveFilterOf(Source, ReadGnu)) SaveDialog1.FilterIndex = own;
  else if (Source == TSourceForm::Dll) SaveDialog1.FilterIndex = kSaveCoff;
  const char* extension = SaveDialog1.FilterIndex == kSaveDefinition ? ".def"
                          : SaveDialog1.FilterIndex == kSaveGnu      ? ".a"
                                                                     : ".lib";
  // Shown as the system writes paths (C:\libs\fmod.lib on Windows).
  SaveDialog1.FileName = QDir::toNativeSeparators(
      FileName.isEmpty() ? folder + QLatin1Char('/')
                         : folder + QLatin1Char('/') + current.completeBaseName() + QLatin1String(extension));
}

void TForm1::EnregistrerSous1Click() {
  Panel->SettleDll();
  ProposeSaveName();
  if (!dialogs_.Execute(SaveDialog1, this)) return;
  SaveAs(SaveDialog1.FileName, SaveDialog1.FilterIndex);
}

bool TForm1::SaveInAnotherForm() {
  ProposeSaveName(kSaveCoff);
  if (!dialogs_.Execute(SaveDialog1, this)) return false;
  return SaveAs(SaveDialog1.FileName, SaveDialog1.FilterIndex);
}

void TForm1::Enregistrer1Click() {
  Panel->SettleDll();
  const int filter = SaveFilterOf(Source, ReadGnu);
  if (FileName.isEmpty() || filter == 0) EnregistrerSous1Click();
  else SaveAs(FileName, filter);
}

bool TForm1::SaveAs(QString fileName, int filter) {
  ListForm form = ListForm::Coff;
  const char* extension = ".lib";
  switch (filter) {
    case kSaveCoff: break;
    case kSaveBorland: form = ListForm::Omf; break;
    case kSaveDefinition:
      form = ListForm::Def;
      extension = ".def";
      break;
    case kSaveGnu:
      form = ListForm::Gnu;
      extension = ".a";
      break;
    default: return false;
  }
  AddExtensionIfNoDot(fileName, extension);

  // A function without a name cannot be imported: it is shown, and
  // nothing is written.
  std::uint32_t unnamed = 0;
  int first = -1;
  for (std::uint32_t i = 0; i < Fonctions().Count; ++i)
    if (Fonctions().Item(i).Name.empty()) {
      if (first < 0) first = static_cast<int>(i);
      ++unnamed;
    }
  if (unnamed > 0) {
    if (ListBox1->LineOf(first) < 0) Edit3->clear();
    ListBox1->setCurrentRow(first);
    ListBox1Click();
    const QString text =
        QStringLiteral("La fonction de la ligne %1 n'a pas de nom%2 : donnez-lui un nom ou "
                       "supprimez-la avant d'enregistrer.")
            .arg(first + 1)
            .arg(unnamed > 1 ? QStringLiteral(" (%1 fonctions sans nom en tout)").arg(unnamed)
                             : QString());
    ShowError(Handle(), QStringLiteral("Impossible d'écrire le fichier ") + fileName +
                            QLatin1Char('\n') + text,
              "Fonction sans nom");
    Edit1->setFocus();
    return false;
  }

  if (!FichierLib.WrongMachine(form).empty()) {
    ShowError(Handle(),
              QStringLiteral("Impossible d'écrire le fichier ") + fileName + QLatin1Char('\n') +
                  MachineRefusal(form, FichierLib.SourceMachine),
              "Erreur");
    return false;
  }

  // A .def file names one DLL for all its functions: a list of several
  // is told so in the window's words, before anything is written.
  if (form == ListForm::Def) {
    std::vector<AnsiString> named;
    for (std::uint32_t i = 0; i < Fonctions().Count; ++i)
      named.push_back(Fonctions().Item(i).Import.Dll);
    const std::vector<AnsiString> dlls =
        DistinctDlls(named, DllFor(FichierLib, SystemPath(fileName)));
    if (dlls.size() > 1) {
      const QString text =
          QStringLiteral("Impossible d'écrire le fichier %1\nUn fichier .def ne nomme qu'une "
                         "DLL ; cette liste en importe de %2 : %3.\nEnregistrer la liste sous "
                         "une autre forme (librairie Microsoft, Borland ou GNU) ?")
              .arg(fileName)
              .arg(dlls.size())
              .arg(SomeNames(dlls));
      if (MessageBoxA(Handle(), text.toStdString(), "Plusieurs DLL",
                      kMbYesNo | kMbIconQuestion) == kIdYes)
        return SaveInAnotherForm();
      return false;
    }
  }

  // A save over the file the list came from that changes its form, or
  // adds to it, says so first.
  const bool writingBack = !FileName.isEmpty() && QFileInfo(fileName) == QFileInfo(FileName);
  if (writingBack && ReadGnu && form == ListForm::Coff &&
      MessageBoxA(Handle(),
                  QStringLiteral("%1\nCe fichier est une librairie au format GNU (un objet par "
                                 "import). Elle sera réécrite au format Microsoft (membres "
                                 "d'import courts), que lisent les éditeurs de liens GNU comme "
                                 "Microsoft.\nEnregistrer sous cette forme ?")
                      .arg(fileName)
                      .toStdString(),
                  "Forme du fichier changée", kMbYesNo | kMbIconQuestion) != kIdYes)
    return false;
  if (writingBack && Source == TSourceForm::Def && form == ListForm::Def) {
    bool namesDll = !FichierLib.Dll.empty();
    for (std::uint32_t i = 0; i < Fonctions().Count && !namesDll; ++i)
      namesDll = !Fonctions().Item(i).Import.Dll.empty();
    if (!namesDll &&
        MessageBoxA(Handle(),
                    QStringLiteral("%1\nUne ligne « LIBRARY %2 » sera ajoutée en tête du fichier : "
                                   "elle nomme la DLL d'après le nom du fichier.\nEnregistrer ?")
                        .arg(fileName, QString::fromStdString(
                                           AnsiToUtf8(DefaultDllName(SystemPath(fileName)))))
                        .toStdString(),
                    "Ligne ajoutée", kMbYesNo | kMbIconQuestion) != kIdYes)
      return false;
  }

  // What this form cannot hold is said before anything is written.
  {
    std::vector<AnsiString> lost;
    const std::vector<FormLoss> losses = LossesOf(Fonctions(), form, FichierLib.SourceMachine);
    QStringList lines;
    for (const FormLoss& loss : losses) {
      if (loss.Names.empty()) continue;
      lost.insert(lost.end(), loss.Names.begin(), loss.Names.end());
      lines << QStringLiteral("– %1 : %2 (%3)")
                   .arg(QString::number(loss.Names.size()) +
                            (loss.Names.size() > 1 ? QStringLiteral(" fonctions")
                                                   : QStringLiteral(" fonction")),
                        LossInFrench(loss.Kind), SomeNames(loss.Names));
    }
    std::sort(lost.begin(), lost.end());
    lost.erase(std::unique(lost.begin(), lost.end()), lost.end());
    if (!lost.empty()) {
      const QString text =
          QStringLiteral("Ce format ne peut pas garder tout ce que contient la liste ; "
                         "%1 y perdraient :\n%2\nEnregistrer quand même ? La liste montrera "
                         "ensuite ce que contient le fichier (Ctrl+Z pour revenir).")
              .arg(lost.size() > 1 ? QStringLiteral("%1 fonctions").arg(lost.size())
                                   : QStringLiteral("1 fonction"),
                   lines.join(QLatin1Char('\n')));
      if (MessageBoxA(Handle(), text.toStdString(), "Informations perdues",
                      kMbYesNo | kMbIconQuestion) != kIdYes)
        return false;
    }
  }

  Outcome outcome;
  QString suffix;
  TSourceForm source = TSourceForm::Coff;
  switch (form) {
    case ListForm::Coff:
      outcome = FichierLib.WriteCoffLibrary(SystemPath(fileName));
      suffix = kMicrosoftSuffix;
      break;
    case ListForm::Omf:
      outcome = FichierLib.WriteBorlandLibrary(SystemPath(fileName));
      suffix = kBorlandSuffix;
      source = TSourceForm::Omf;
      break;
    case ListForm::Def:
      outcome = FichierLib.WriteDefFile(SystemPath(fileName));
      source = TSourceForm::Def;
      break;
    case ListForm::Gnu:
      outcome = FichierLib.WriteGnuLibrary(SystemPath(fileName));
      suffix = kGnuSuffix;
      break;
  }
  if (!outcome) {
    ShowError(Handle(),
              QStringLiteral("Impossible d'écrire le fichier ") + fileName + QLatin1Char('\n') +
                  WriteReason(outcome, fileName),
              "Erreur");
    return false;
  }
  FileName = fileName;
  Source = source;
  ReadGnu = form == ListForm::Gnu;
  TakeWhatWasSaved(fileName);
  UndoStack->setClean();
  SetListCaption(FileName + suffix);
  RememberFile(fileName);
  return true;
}

void TForm1::TakeWhatWasSaved(const QString& fileName) {
  TFichierLib saved;
  FileKind kind = FileKind::Unknown;
  if (!ReadByContent(saved, SystemPath(fileName), kind, {.DefMachine = FichierLib.SourceMachine}))
    return;
  // The list's k-th entry of a name is the file's k-th entry of it: a
  // list may hold a name twice, and a form may order its entries its way.
  std::unordered_map<AnsiString, std::deque<std::uint32_t>> byName;
  for (std::uint32_t i = 0; i < saved.Fonctions.Count; ++i)
    byName[saved.Fonctions.Item(i).Name].push_back(i);
  std::vector<std::uint32_t> at;
  std::vector<TFonctionLib> before;
  std::vector<TFonctionLib> after;
  for (std::uint32_t i = 0; i < ListModel->Count(); ++i) {
    const TFonctionLib& entry = ListModel->At(i);
    const auto found = byName.find(entry.Name);
    if (found == byName.end() || found->second.empty()) continue;
    // The file's entry whole: a convention it states is no guess any more.
    const TFonctionLib& now = saved.Fonctions.Item(found->second.front());
    found->second.pop_front();
    if (SameEntry(entry, now)) continue;
    at.push_back(i);
    before.push_back(entry);
    after.push_back(now);
  }
  if (at.empty()) return;
  // The user's selection stays: the save is no edit of theirs.
  const std::vector<int> selected = ListBox1->SelectedRows();
  const int current = ListBox1->currentRow();
  UndoStack->push(new TChangeCommand(*ListModel, QStringLiteral("Enregistrer"), std::move(at),
                                     std::move(before), std::move(after)));
  ListBox1->SelectEntries(selected, current);
  ListBox1Click();
}
