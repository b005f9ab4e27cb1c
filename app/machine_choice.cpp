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
#include "app/list_commands.h"
#include "app/system_path.h"
#include "app/unit1.h"
#include "platform/message_box.h"
#include "model/machine.h"
#include "model/machine_change.h"

namespace {

// A list of no machine is a 32-bit Intel list.
Machine Effective(Machine machine) { return machine == Machine::Unknown ? Machine::I386 : machine; }

Machine MachineOfAction(const QAction* action) {
  return MachineOfNumber(static_cast<std::uint16_t>(action->data().toUInt()));
}

QString MachineSuffix(Machine machine) {
  if (Decorates(machine)) return {};
  return QStringLiteral(" (") + QString::fromStdString(MachineName(machine)) + QLatin1Char(')');
}

// The entries of the .def file read for the machine `to`, when the list
// is still what the file says for `from`: neither the file nor the list
// changed since it was read. Otherwise false, with the reason.
bool ReadAgainFor(const QString& fileName, const TExportListModel& list, Machine from,
                  Machine to, std::vector<TFonctionLib>& entries, QString& why) {
  const std::string path = SystemPath(fileName);
  const QString shown = QFileInfo(fileName).fileName();
  TFichierLib was;
  TFichierLib now;
  if (!was.ReadDefFile(path, from) ||
      !now.ReadDefFile(path, to)) {
    why = QStringLiteral("%1 ne peut plus être relu").arg(shown);
    return false;
  }
  bool same = was.Fonctions.Count == list.Count() && now.Fonctions.Count == list.Count();
  for (std::uint32_t i = 0; same && i < list.Count(); ++i)
    same = SameEntry(was.Fonctions.Item(i), list.At(i));
  if (!same) {
    why = QStringLiteral("la liste ou %1 a changé depuis sa lecture").arg(shown);
    return false;
  }
  for (std::uint32_t i = 0; i < list.Count(); ++i) entries.push_back(now.Fonctions.Item(i));
  return true;
}

}  // namespace

void TForm1::CreateMachineMenu() {
  Machine1 = MainMenu1->addMenu(QStringLiteral("&Machine"));
  Machine1->setFont(WindowFont());
  auto* group = new QActionGroup(Machine1);
  // The captions are the machines' French names, with a mnemonic each.
  const std::pair<QAction**, std::pair<int, Machine>> items[] = {
      {&MachineX86, {0, Machine::I386}},
      {&MachineX64, {0, Machine::Amd64}},
      {&MachineArm64, {2, Machine::Arm64}},
      {&MachineArm64ec, {5, Machine::Arm64ec}},
  };
  for (const auto& [action, item] : items) {
    QString caption = QString::fromUtf8(FactsOf(item.second)->french.data(),
                                        static_cast<int>(FactsOf(item.second)->french.size()));
    caption.insert(item.first, QLatin1Char('&'));
    *action = Machine1->addAction(caption);
    (*action)->setCheckable(true);
    (*action)->setData(MachineNumber(item.second));
    group->addAction(*action);
    const Machine machine = item.second;
    connect(*action, &QAction::triggered, this,
            [this, machine] { RunHandler([this, machine] { ChooseMachine(machine); }); });
  }
  MachineX86->setChecked(true);
}

void TForm1::SetListCaption(const QString& caption) {
  listCaption_ = caption;
  SetCaption(caption + MachineSuffix(FichierLib.SourceMachine));
}

void TForm1::ChooseMachine(Machine machine) {
  const Machine from = FichierLib.SourceMachine;
  if (Effective(from) == machine) return;
  if (const std::string why = WhyNotMachine(ReadMachine, machine); !why.empty()) {
    ShowMachine();  // the menu's check goes back to the list's machine
    StatusBar1->showMessage(QString::fromStdString(why), 10000);
    return;
  }
  std::vector<std::uint32_t> at;
  std::vector<TFonctionLib> before;
  std::vector<TFonctionLib> after;
  const QString name = QString::fromStdString(MachineName(machine));
  const QString text = QStringLiteral("Machine %1").arg(name);
  // A .def file says no machine: its names mean what the new machine's
  // librarians make of them ("Bar@8" is the export "Bar@8" on x64), as
  // long as the file can still say so.
  QString why;
  if (Source == TSourceForm::Def && Decorates(from) != Decorates(machine)) {
    if (ReadAgainFor(FileName, *ListModel, from, machine, after, why)) {
      for (std::uint32_t i = 0; i < ListModel->Count(); ++i) {
        at.push_back(i);
        before.push_back(ListModel->At(i));
      }
      UndoStack->push(new TMachineCommand(*ListModel, text, from, machine, std::move(at),
                                          std::move(before), std::move(after)));
      StatusBar1->showMessage(QStringLiteral("%1 : noms de %2 relus pour %1 (Ctrl+Z pour annuler).")
                                  .arg(name, QFileInfo(FileName).fileName()),
                              10000);
      return;
    }
    after.clear();
  }
  if (Decorates(machine) && !Decorates(from)) {
    // Back to decorations: only the list as it was before they were
    // dropped can give them back, and only while nothing changed since.
    const TMachineCommand* dropped = nullptr;
    for (int i = UndoStack->index() - 1; i >= 0 && !dropped; --i)
      if (const auto* command = dynamic_cast<const TMachineCommand*>(UndoStack->command(i));
          command && Decorates(command->From()) && !Decorates(command->To()))
        dropped = command;
    bool unchanged = dropped != nullptr;
    for (std::size_t k = 0; unchanged && k < dropped->At().size(); ++k) {
      const TFonctionLib& now = ListModel->At(dropped->At()[k]);
      const TFonctionLib& then = dropped->After()[k];
      unchanged = dropped->At()[k] < ListModel->Count() && SameEntry(now, then);
    }
    if (dropped && (!unchanged || dropped->At().size() != ListModel->Count())) unchanged = false;
    if (!unchanged) {
      ShowMachine();
      if (dropped || ListModel->Count() > 0) {
        MessageBoxA(Handle(),
                    QStringLiteral("La liste ne peut pas redevenir %1 telle qu'elle était : "
                                   "les décorations (_pascal, _stdcall, longueurs) ont été "
                                   "retirées au passage à %2%3.\nAnnulez ce passage (Ctrl+Z) "
                                   "pour les retrouver.")
                        .arg(QString::fromStdString(MachineName(machine)),
                             QString::fromStdString(MachineName(Effective(from))),
                             dropped ? QStringLiteral(", et la liste a changé depuis")
                                     : QString())
                        .toStdString(),
                    "Machine", MB_ICONWARNING);
        return;
      }
    } else {
      at = dropped->At();
      before = dropped->After();
      after = dropped->Before();
      // A list of no machine (a .def) goes back to having none.
      machine = dropped->From();
    }
    UndoStack->push(new TMachineCommand(*ListModel, text, from, machine, std::move(at),
                                        std::move(before), std::move(after)));
    return;
  }
  // Only a change that drops decorations rewrites entries; then it may
  // rewrite any of them. It is worked out on a copy: the list changes
  // through the undo stack alone.
  const bool drops = Decorates(from) && !Decorates(machine);
  std::vector<AnsiString> changed;
  if (drops) {
    ExportList copy;
    copy.SourceMachine = from;
    const std::uint32_t count = ListModel->Count();
    if (count > 0) copy.Fonctions.Reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
      at.push_back(i);
      before.push_back(ListModel->At(i));
      copy.Fonctions.Item(i) = ListModel->At(i);
    }
    changed = ChangeMachine(copy, machine);
    for (std::uint32_t i = 0; i < count; ++i) after.push_back(copy.Fonctions.Item(i));
  }
  UndoStack->push(new TMachineCommand(*ListModel, text, from, machine, std::move(at),
                                      std::move(before), std::move(after)));
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

void TForm1::ShowMachine() {
  const Machine machine = Effective(FichierLib.SourceMachine);
  int offered = 0;
  for (QAction* action : {MachineX86, MachineX64, MachineArm64, MachineArm64ec})
    offered += WhyNotMachine(ReadMachine, MachineOfAction(action)).empty() ? 1 : 0;
  for (QAction* action : {MachineX86, MachineX64, MachineArm64, MachineArm64ec}) {
    const Machine number = MachineOfAction(action);
    action->setChecked(number == machine);
    // A list that may keep only its machine shows it, greyed.
    action->setEnabled(offered > 1 && WhyNotMachine(ReadMachine, number).empty());
  }
  Panel->ShowMachine();
}
