// The "Machine" menu: which processor the list is for. A list no file gave
// a machine (a new list, a .def file) may take any; a list read from a
// library or a DLL takes only what the core allows from the machine read.
// A list read from a .def file is read again in the chosen machine's
// dialect, since the librarians of each machine read its names their own
// way. Off 32-bit Intel, the panel's conventions and length do nothing,
// and say so.
#include <QAction>
#include <QActionGroup>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QStringList>
#include <QUndoCommand>
#include <QUndoStack>

#include <utility>

#include "app/application.h"
#include "app/export_list_model.h"
#include "app/fonts.h"
#include "app/unit1.h"
#include "model/machine.h"
#include "model/machine_change.h"

namespace {

// One change of machine, with the entries it rewrote before and after.
class TMachineEdit : public QUndoCommand {
 public:
  TMachineEdit(TForm1& form, std::uint16_t from, std::uint16_t to, std::vector<std::uint32_t> at,
               std::vector<TFonctionLib> before, std::vector<TFonctionLib> after)
      : QUndoCommand(QStringLiteral("Machine")),
        form_(form),
        from_(from),
        to_(to),
        at_(std::move(at)),
        before_(std::move(before)),
        after_(std::move(after)) {}

  void redo() override { form_.ApplyMachine(to_, at_, after_); }
  void undo() override { form_.ApplyMachine(from_, at_, before_); }

 private:
  TForm1& form_;
  std::uint16_t from_;
  std::uint16_t to_;
  std::vector<std::uint32_t> at_;
  std::vector<TFonctionLib> before_;
  std::vector<TFonctionLib> after_;
};

constexpr std::uint16_t kI386 = MachineNumber(Machine::I386);

// A list of no machine is a 32-bit Intel list.
std::uint16_t Effective(std::uint16_t machine) { return machine == 0 ? kI386 : machine; }

QString MachineSuffix(std::uint16_t machine) {
  if (Decorates(machine)) return {};
  return QStringLiteral(" (") + QString::fromStdString(MachineName(machine)) + QLatin1Char(')');
}

bool SameEntry(const TFonctionLib& a, const TFonctionLib& b) {
  const ImportBinding& x = a.Import;
  const ImportBinding& y = b.Import;
  return a.Name == b.Name && a.ArgLength == b.ArgLength && a.IsPascal == b.IsPascal &&
         a.Unsure == b.Unsure && x.Dll == y.Dll && x.ExportName == y.ExportName &&
         x.ByOrdinal == y.ByOrdinal && x.NoName == y.NoName && x.Ordinal == y.Ordinal &&
         x.Kind == y.Kind && x.Symbol == y.Symbol && x.Private == y.Private &&
         x.ForwardTo == y.ForwardTo;
}

// The entries of the .def file read for the machine `to`, when the list
// is still what the file says for `from`: neither the file nor the list
// changed since it was read. Otherwise false, with the reason.
bool ReadAgainFor(const QString& fileName, TTableau<TFonctionLib>& list, std::uint16_t from,
                  std::uint16_t to, std::vector<TFonctionLib>& entries, QString& why) {
  const std::string path = QFile::encodeName(fileName).toStdString();
  const QString shown = QFileInfo(fileName).fileName();
  TFichierLib was;
  TFichierLib now;
  if (!was.ReadDefFile(path, static_cast<Machine>(from)) ||
      !now.ReadDefFile(path, static_cast<Machine>(to))) {
    why = QStringLiteral("%1 ne peut plus être relu").arg(shown);
    return false;
  }
  bool same = was.Fonctions.Count == list.Count && now.Fonctions.Count == list.Count;
  for (std::uint32_t i = 0; same && i < list.Count; ++i)
    same = SameEntry(was.Fonctions.Item(i), list.Item(i));
  if (!same) {
    why = QStringLiteral("la liste ou %1 a changé depuis sa lecture").arg(shown);
    return false;
  }
  for (std::uint32_t i = 0; i < list.Count; ++i) entries.push_back(now.Fonctions.Item(i));
  return true;
}

}  // namespace

void TForm1::CreateMachineMenu() {
  Machine1 = MainMenu1->addMenu(QStringLiteral("&Machine"));
  Machine1->setFont(WindowFont());
  auto* group = new QActionGroup(Machine1);
  const std::pair<QAction**, std::pair<const char*, Machine>> items[] = {
      {&MachineX86, {"&Intel 32 bits (x86)", Machine::I386}},
      {&MachineX64, {"&x64", Machine::Amd64}},
      {&MachineArm64, {"AR&M64", Machine::Arm64}},
      {&MachineArm64ec, {"ARM64&EC", Machine::Arm64ec}},
  };
  for (const auto& [action, item] : items) {
    *action = Machine1->addAction(QString::fromUtf8(item.first));
    (*action)->setCheckable(true);
    (*action)->setData(MachineNumber(item.second));
    group->addAction(*action);
    const std::uint16_t number = MachineNumber(item.second);
    connect(*action, &QAction::triggered, this,
            [this, number] { RunHandler([this, number] { ChooseMachine(number); }); });
  }
  MachineX86->setChecked(true);
}

void TForm1::SetListCaption(const QString& caption) {
  listCaption_ = caption;
  SetCaption(caption + MachineSuffix(FichierLib.SourceMachine));
}

void TForm1::ChooseMachine(std::uint16_t machine) {
  const std::uint16_t from = FichierLib.SourceMachine;
  if (Effective(from) == machine || !WhyNotMachine(ReadMachine, machine).empty()) {
    ShowMachine();  // the menu's check goes back to the list's machine
    return;
  }
  const QString name = QString::fromStdString(MachineName(machine));
  std::vector<std::uint32_t> at;
  std::vector<TFonctionLib> before;
  std::vector<TFonctionLib> after;
  // A .def file says no machine: its names mean what the new machine's
  // librarians make of them ("Bar@8" is the export "Bar@8" on x64), as
  // long as the file can still say so.
  QString why;
  if (Source == TSourceForm::Def && Decorates(from) != Decorates(machine)) {
    if (ReadAgainFor(FileName, Fonctions(), from, machine, after, why)) {
      for (std::uint32_t i = 0; i < Fonctions().Count; ++i) {
        at.push_back(i);
        before.push_back(Fonctions().Item(i));
      }
      UndoStack->push(new TMachineEdit(*this, from, machine, std::move(at), std::move(before),
                                       std::move(after)));
      StatusBar1->showMessage(QStringLiteral("%1 : noms de %2 relus pour %1 (Ctrl+Z pour annuler).")
                                  .arg(name, QFileInfo(FileName).fileName()),
                              10000);
      return;
    }
    after.clear();
  }
  // Only a change that drops decorations rewrites entries; then it may
  // rewrite any of them.
  const bool drops = Decorates(from) && !Decorates(machine);
  const std::uint32_t count = drops ? Fonctions().Count : 0;
  for (std::uint32_t i = 0; i < count; ++i) {
    at.push_back(i);
    before.push_back(Fonctions().Item(i));
  }
  // Once the list's machine was chosen, the core's rule is asked of the
  // machine its file gave, not of the chosen one, so that a choice can be
  // changed again; from a machine without decorations this only sets it.
  const std::vector<AnsiString> changed = ChangeMachine(FichierLib, machine);
  for (std::uint32_t i = 0; i < count; ++i) after.push_back(Fonctions().Item(i));
  UndoStack->push(new TMachineEdit(*this, from, machine, std::move(at), std::move(before),
                                   std::move(after)));
  QStringList said;
  if (!why.isEmpty()) said << why;
  if (!changed.empty())
    said << (changed.size() == 1
                 ? QStringLiteral("1 fonction a perdu sa décoration")
                 : QStringLiteral("%1 fonctions ont perdu leur décoration").arg(changed.size())) +
                QStringLiteral(" Intel 32 bits");
  if (!said.isEmpty())
    StatusBar1->showMessage(
        QStringLiteral("%1 : %2 (Ctrl+Z pour annuler).").arg(name, said.join(QStringLiteral(" ; "))),
        10000);
}

void TForm1::ApplyMachine(std::uint16_t machine, const std::vector<std::uint32_t>& at,
                          const std::vector<TFonctionLib>& entries) {
  FichierLib.SourceMachine = machine;
  StatusBar1->clearMessage();  // what the last change said is past
  for (std::size_t k = 0; k < at.size(); ++k) {
    Fonctions().Item(at[k]) = entries[k];
    ListModel->Changed(at[k]);
  }
  SetCaption(listCaption_ + MachineSuffix(machine));
  ShowMachine();
  ListBox1Click();
}

void TForm1::ShowMachine() {
  const std::uint16_t machine = Effective(FichierLib.SourceMachine);
  int offered = 0;
  for (QAction* action : {MachineX86, MachineX64, MachineArm64, MachineArm64ec})
    offered += WhyNotMachine(ReadMachine, action->data().toUInt()).empty() ? 1 : 0;
  for (QAction* action : {MachineX86, MachineX64, MachineArm64, MachineArm64ec}) {
    const std::uint16_t number = static_cast<std::uint16_t>(action->data().toUInt());
    action->setChecked(number == machine);
    // A list that may keep only its machine shows it, greyed.
    action->setEnabled(offered > 1 && WhyNotMachine(ReadMachine, number).empty());
  }
  const bool decorates = Decorates(machine);
  GroupBox1->setEnabled(decorates);
  GroupBox2->setEnabled(decorates);
  Label10->setVisible(!decorates);
}
