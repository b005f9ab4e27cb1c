#include "app/qt_message_box.h"

#include <QAbstractButton>
#include <QApplication>
#include <QString>
#include <QWidget>

#include "platform/message_box.h"

namespace {

constexpr UINT kIconMask = 0xF0;
constexpr UINT kButtonsMask = 0x0F;

QString Html(const std::string& text) {
  return QString::fromStdString(text).toHtmlEscaped().replace(QLatin1Char('\n'),
                                                               QLatin1String("<br>"));
}

int ShowQtMessageBox(void* owner, const std::string& text, const std::string& caption,
                     UINT style) {
  QWidget* parent = owner ? static_cast<QWidget*>(owner) : QApplication::activeWindow();
  QMessageBox box(parent);
  BuildQtMessageBox(box, text, caption, style);
  switch (box.exec()) {
    case QMessageBox::Yes: return kIdYes;
    case QMessageBox::No: return kIdNo;
    case QMessageBox::Cancel: return kIdCancel;
    default: return IDOK;
  }
}

}  // namespace

QMessageBox::Icon IconForStyle(UINT style) {
  switch (style & kIconMask) {
    case MB_ICONERROR: return QMessageBox::Critical;
    case kMbIconQuestion: return QMessageBox::Question;
    case MB_ICONWARNING: return QMessageBox::Warning;
    case MB_ICONINFORMATION: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
  }
}

void BuildQtMessageBox(QMessageBox& box, const std::string& text, const std::string& caption,
                       UINT style) {
  box.setIcon(IconForStyle(style));
  box.setWindowTitle(QString::fromStdString(caption));
  // The caption again as the heading; names and paths are escaped, never
  // read as markup.
  box.setTextFormat(Qt::RichText);
  box.setText(QStringLiteral("<b>") + Html(caption) + QStringLiteral("</b><br><br>") + Html(text));
  if ((style & kButtonsMask) == kMbYesNoCancel) {
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::Cancel);
    // French whether or not the toolkit's translations are installed.
    box.button(QMessageBox::Yes)->setText(QStringLiteral("&Oui"));
    box.button(QMessageBox::No)->setText(QStringLiteral("&Non"));
    box.button(QMessageBox::Cancel)->setText(QStringLiteral("Annuler"));
  } else if ((style & kButtonsMask) == kMbYesNo) {
    // A question whose "Oui" costs something: Enter and Escape say "Non".
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    box.button(QMessageBox::Yes)->setText(QStringLiteral("&Oui"));
    box.button(QMessageBox::No)->setText(QStringLiteral("&Non"));
  } else {
    box.setStandardButtons(QMessageBox::Ok);
  }
}

void InstallQtMessageBoxHandler() { SetMessageBoxHandler(ShowQtMessageBox); }
