// "Vérifier avec une DLL ...": the current list checked against a DLL the
// user picks; the findings in French, in a text the user can read and
// copy, and the affected lines of the list box marked.
#include <QDialog>
#include <QFile>
#include <QFileInfo>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include <algorithm>
#include <unordered_map>

#include "app/export_list_model.h"
#include "app/list_box.h"
#include "platform/message_box.h"
#include "app/unit1.h"
#include "check/library_check.h"

namespace {

QString Q(const std::string& text) { return QString::fromLocal8Bit(text.data(), static_cast<int>(text.size())); }

QString Octets(std::uint32_t n) { return QStringLiteral("%1 octet%2").arg(n).arg(n > 1 ? "s" : ""); }

QString NomMachine(Machine m) {
  return m == Machine::I386 ? QStringLiteral("Intel 32 bits") : Q(MachineName(MachineNumber(m)));
}

QString Demande(const check::Finding& f) {
  return f.ByOrdinal ? QStringLiteral("l'ordinal %1").arg(f.Ordinal) : QStringLiteral("« %1 »").arg(Q(f.Asked));
}

QString EnFrancais(const check::Finding& f) {
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

}  // namespace

void TForm1::VerifierAvecDll1Click() {
  const QString dllName = QFileDialog::getOpenFileName(this, QStringLiteral("Vérifier avec une DLL"), QString(),
                                                       QStringLiteral("DLL (*.dll)|Tous (*.*)").replace('|', ";;"));
  if (dllName.isEmpty()) return;
  std::vector<check::Dll> dlls(1);
  if (Outcome o = dlls[0].Open(QFile::encodeName(dllName).toStdString()); !o) {
    MessageBoxA(Handle(), (dllName + QLatin1Char('\n') + Q(Describe(o))).toStdString(),
                "Impossible d'ouvrir la DLL", MB_ICONERROR);
    return;
  }
  // A list typed in or read from an OMF library may hold _pascal entries
  // whose argument length nobody gave.
  check::Options options;
  options.ArgLengthsKnown = false;
  options.Machine = FichierLib.SourceMachine;
  const check::Report report = check::Check(Fonctions(), dlls, options);

  QStringList lines;
  std::unordered_map<std::uint32_t, QString> problems;
  for (const check::Finding& f : report.Findings) {
    QString line = EnFrancais(f);
    if (f.Entry != check::kNoEntry) {
      line = Q(Fonctions().Item(f.Entry).Name) + QStringLiteral(" : ") + line;
      if (!check::IsInformative(f.What)) {
        QString& tip = problems[f.Entry];
        tip += (tip.isEmpty() ? QString() : QStringLiteral("\n")) + EnFrancais(f);
      }
    }
    lines << line;
  }
  ListBox1->ListModel()->SetProblems(std::move(problems));
  const std::uint32_t failing = static_cast<std::uint32_t>(
      std::count_if(report.Findings.begin(), report.Findings.end(),
                    [](const check::Finding& f) { return !check::IsInformative(f.What); }));
  lines << QStringLiteral("%1 import(s), %2 lié(s) à la fonction nommée ; %3 problème(s) ; conventions vérifiées : %4")
               .arg(report.Imports)
               .arg(report.Bound)
               .arg(failing)
               .arg(report.StackChecked);

  QDialog dialog(this);
  dialog.setWindowTitle(QStringLiteral("Vérification avec ") + QFileInfo(dllName).fileName());
  auto* layout = new QVBoxLayout(&dialog);
  auto* text = new QPlainTextEdit(lines.join(QLatin1Char('\n')), &dialog);
  text->setObjectName(QStringLiteral("CheckFindings"));
  text->setReadOnly(true);
  text->setLineWrapMode(QPlainTextEdit::NoWrap);
  layout->addWidget(text);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  layout->addWidget(buttons);
  dialog.resize(720, 360);
  dialog.exec();
}
