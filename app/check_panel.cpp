// "Vérifier avec une DLL ...": the current list checked against a DLL the
// user picks; the findings in French in a panel beside the list that stays
// open while the user edits, grouped by kind and counted, each leading to
// its function; the affected lines of the list marked.
#include <QDockWidget>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLineEdit>
#include <QLocale>
#include <QTreeWidget>

#include <map>

#include <algorithm>
#include <unordered_map>

#include "app/export_list_model.h"
#include "app/application.h"
#include "app/list_box.h"
#include "platform/message_box.h"
#include "app/system_path.h"
#include "app/unit1.h"
#include "check/library_check.h"

namespace {

QString Q(const std::string& text) { return QString::fromLocal8Bit(text.data(), static_cast<int>(text.size())); }

QString NomMachine(Machine m) {
  const MachineFacts* facts = FactsOf(m);
  return facts ? QString::fromUtf8(facts->french.data(), static_cast<int>(facts->french.size()))
               : Q(MachineName(m));
}

QString Octets(std::uint32_t n) { return QStringLiteral("%1 octet%2").arg(n).arg(n > 1 ? "s" : ""); }

QString Demande(const check::Finding& f) {
  return f.ByOrdinal ? QStringLiteral("l'ordinal %1").arg(f.Ordinal) : QStringLiteral("« %1 »").arg(Q(f.Asked));
}

QString ProblemeEnFrancais(const check::Finding& f) {
  const QString dll = Q(f.Dll);
  switch (f.What) {
    case check::Problem::NotExported: {
      QString text = QStringLiteral("ne se lie pas : demande %1 à %2, qui ne l'exporte pas").arg(Demande(f), dll);
      if (!f.Other.empty()) text += QStringLiteral(" ; elle exporte « %1 »").arg(Q(f.Other));
      return text;
    }
    case check::Problem::OtherFunction: {
      QString text = QStringLiteral("se lie à une autre fonction : %1 exporte « %2 » à l'ordinal %3")
                         .arg(dll, Q(f.Other))
                         .arg(f.Ordinal);
      if (f.OwnOrdinal != 0) text += QStringLiteral(" ; « %1 » est son ordinal %2").arg(Q(f.Asked)).arg(f.OwnOrdinal);
      return text;
    }
    case check::Problem::WrongDll:
      return QStringLiteral("mauvaise DLL : importée de %1, qui n'est pas la DLL choisie").arg(dll);
    case check::Problem::CodeOrData:
      return f.Imported == ImportKind::Code
                 ? QStringLiteral("importée comme du code, mais %1 est une donnée de %2").arg(Demande(f), dll)
                 : QStringLiteral("importée comme une donnée, mais %1 est du code de %2").arg(Demande(f), dll);
    case check::Problem::StackMismatch: {
      const QString code =
          f.Source == check::StackSource::ExportName
              ? QStringLiteral("son nom exporté « %1 » dit %2").arg(Q(f.Other), Octets(f.CodeBytes))
          : f.CodeBytes == 0 ? QStringLiteral("son code n'en dépile aucun (ret simple)")
                             : QStringLiteral("son code dépile %1 (ret %2)").arg(Octets(f.CodeBytes)).arg(f.CodeBytes);
      switch (f.Client) {
        case check::ClientStack::Cdecl:
          return QStringLiteral("pile faussée : symbole _stdcall (l'appelant dépile), mais ") + code;
        case check::ClientStack::PopsExactly:
          return QStringLiteral("pile faussée : le symbole dit %1 d'arguments, ").arg(Octets(f.ClientBytes)) + code;
        case check::ClientStack::PopsSome:
          return QStringLiteral("pile faussée : fonction _pascal (elle dépile ses arguments), mais ") + code;
        case check::ClientStack::Fastcall:
          return QStringLiteral("pile faussée : symbole fastcall de %1 d'arguments, ").arg(Octets(f.ClientBytes)) + code;
      }
      return QStringLiteral("pile faussée");
    }
    case check::Problem::WrongMachine:
      return QStringLiteral("mauvaise machine : la liste est pour %1, %2 pour %3 ; ses clients ne pourront pas la charger")
          .arg(NomMachine(f.LibraryMachine), dll, NomMachine(f.DllMachine));
    case check::Problem::Forwarded:
      return QStringLiteral("renvoyée : %1 passe %2 à %3").arg(dll, Demande(f), Q(f.Other));
    case check::Problem::PackedCode:
      return QStringLiteral("%1 : le code est compressé, seules les conventions que disent les noms exportés peuvent être vérifiées").arg(dll);
    case check::Problem::NotImported: {
      QStringList names;
      for (const AnsiString& n : f.Names) names << Q(n);
      if (f.Names.size() < f.Count) names << QStringLiteral("…");
      return QStringLiteral("%1 exportation(s) de %2 non importée(s) : %3").arg(f.Count).arg(dll, names.join(", "));
    }
  }
  return {};
}

// An ARM64X DLL's ARM64 and ARM64EC clients bind to exports of their own.
QString EnFrancais(const check::Finding& f) {
  if (f.View == HybridView::Both) return ProblemeEnFrancais(f);
  return ProblemeEnFrancais(f) + (f.View == HybridView::Arm64 ? QStringLiteral(" (vue ARM64)") : QStringLiteral(" (vue ARM64EC)"));
}

}  // namespace

void TForm1::CreateCheckPanel() {
  CheckDock = new QDockWidget(QStringLiteral("Vérification"), this);
  CheckDock->setObjectName(QStringLiteral("CheckDock"));
  CheckDock->setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable |
                         QDockWidget::DockWidgetFloatable);
  CheckFindings = new QTreeWidget(CheckDock);
  CheckFindings->setObjectName(QStringLiteral("CheckFindings"));
  CheckFindings->setHeaderHidden(true);
  CheckFindings->setUniformRowHeights(true);
  // A long finding scrolls sideways rather than being cut.
  CheckFindings->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  CheckFindings->header()->setStretchLastSection(false);
  CheckDock->setWidget(CheckFindings);
  addDockWidget(Qt::RightDockWidgetArea, CheckDock);
  CheckDock->hide();
  // Double-click or Enter on a finding shows its function.
  connect(CheckFindings, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
    RunHandler([this, item] {
      const QVariant entry = item->data(0, Qt::UserRole);
      if (!entry.isValid()) return;
      const int at = entry.toInt();
      if (at < 0 || static_cast<std::uint32_t>(at) >= ListModel->Count()) return;
      if (ListBox1->LineOf(at) < 0) Edit3->clear();
      ListBox1->setCurrentRow(at);
      ListBox1Click();
      ListBox1->setFocus();
    });
  });
}

namespace {

// How a kind of finding is headed when its findings are summed up.
QString KindHeading(check::Problem what) {
  switch (what) {
    case check::Problem::NotExported: return QStringLiteral("ne se lient pas");
    case check::Problem::OtherFunction: return QStringLiteral("se lient à une autre fonction");
    case check::Problem::WrongDll: return QStringLiteral("mauvaise DLL");
    case check::Problem::CodeOrData: return QStringLiteral("code ou données");
    case check::Problem::StackMismatch: return QStringLiteral("pile faussée");
    case check::Problem::WrongMachine: return QStringLiteral("mauvaise machine");
    case check::Problem::Forwarded: return QStringLiteral("renvoyées (pour information)");
    case check::Problem::PackedCode: return QStringLiteral("code compressé (pour information)");
    case check::Problem::NotImported:
      return QStringLiteral("exportations non importées (pour information)");
  }
  return QStringLiteral("autres");
}

// Past this many findings of one kind, they are shown folded under their
// count.
constexpr int kFindingsUnfolded = 10;
// The check panel's width when it opens.
constexpr int kCheckPanelWidth = 380;

}  // namespace

void TForm1::VerifierAvecDll1Click() {
  if (!dialogs_.Execute(CheckDialog1, this)) return;
  const QString dllName = CheckDialog1.FileName;
  std::vector<check::Dll> dlls(1);
  if (Outcome o = dlls[0].Open(SystemPath(dllName)); !o) {
    MessageBoxA(Handle(), (dllName + QLatin1Char('\n') + Q(Describe(o))).toStdString(),
                "Impossible d'ouvrir la DLL", MB_ICONERROR);
    return;
  }
  // A list typed in or read from an OMF library may hold _pascal entries
  // whose argument length nobody gave.
  check::Options options;
  options.ArgLengthsKnown = false;
  options.ListMachine = FichierLib.SourceMachine;
  const check::Report report = check::Check(Fonctions(), dlls, options);

  CheckFindings->clear();
  std::unordered_map<std::uint32_t, QString> problems;
  std::map<int, QTreeWidgetItem*> kinds;
  std::uint32_t failing = 0;
  for (const check::Finding& f : report.Findings) {
    QString line = EnFrancais(f);
    if (f.Entry != check::kNoEntry) {
      line = Q(Fonctions().Item(f.Entry).Name) + QStringLiteral(" : ") + line;
      if (!check::IsInformative(f.What)) {
        QString& tip = problems[f.Entry];
        tip += (tip.isEmpty() ? QString() : QStringLiteral("\n")) + EnFrancais(f);
      }
    }
    if (!check::IsInformative(f.What)) ++failing;
    QTreeWidgetItem*& heading = kinds[static_cast<int>(f.What)];
    if (!heading) {
      heading = new QTreeWidgetItem(CheckFindings);
      heading->setData(0, Qt::UserRole + 1, KindHeading(f.What));
      heading->setFirstColumnSpanned(true);
    }
    auto* item = new QTreeWidgetItem(heading, QStringList{line});
    item->setToolTip(0, line);
    if (f.Entry != check::kNoEntry) item->setData(0, Qt::UserRole, static_cast<int>(f.Entry));
  }
  for (auto& [what, heading] : kinds) {
    const int count = heading->childCount();
    heading->setText(0, QStringLiteral("%1 (%2)")
                            .arg(heading->data(0, Qt::UserRole + 1).toString())
                            .arg(QLocale(QLocale::French).toString(count)));
    QFont bold = heading->font(0);
    bold.setBold(true);
    heading->setFont(0, bold);
    heading->setExpanded(count <= kFindingsUnfolded);
  }
  auto* summary = new QTreeWidgetItem(
      CheckFindings,
      QStringList{QStringLiteral("%1 import(s), %2 lié(s) à la fonction nommée ; %3 problème(s) ; "
                                 "conventions vérifiées : %4")
                      .arg(report.Imports)
                      .arg(report.Bound)
                      .arg(failing)
                      .arg(report.StackChecked)});
  CheckFindings->insertTopLevelItem(0, CheckFindings->takeTopLevelItem(
                                           CheckFindings->indexOfTopLevelItem(summary)));
  // Nothing bound at all: most likely not this list's DLL.
  if (report.Imports > 0 && report.Bound == 0)
    CheckFindings->insertTopLevelItem(
        1, new QTreeWidgetItem(QStringList{QStringLiteral(
               "Aucun import ne se lie : est-ce bien la DLL de cette liste ?")}));
  ListModel->SetProblems(std::move(problems));
  CheckDock->setWindowTitle(QStringLiteral("Vérification avec ") + QFileInfo(dllName).fileName());
  if (!CheckDock->isVisible()) {
    CheckDock->show();
    // Wide enough to read a finding; the window grows rather than the
    // list shrinking under the panel.
    resize(width() + kCheckPanelWidth, height());
    resizeDocks({CheckDock}, {kCheckPanelWidth}, Qt::Horizontal);
  }
}
