#include "app/qt_message_box.h"

#include <QString>
#include <QWidget>

#include "platform/message_box.h"

namespace {

constexpr UINT kIconMask = 0xF0;
constexpr UINT kIconQuestion = 0x20;

int ShowQtMessageBox(void* owner, const std::string& text, const std::string& caption,
                     UINT style) {
  QMessageBox box(IconForStyle(style), QString::fromStdString(caption),
                  QString::fromStdString(text), QMessageBox::Ok, static_cast<QWidget*>(owner));
  // Texts are shown as they are, never read as markup.
  box.setTextFormat(Qt::PlainText);
  box.exec();
  return IDOK;
}

}  // namespace

QMessageBox::Icon IconForStyle(UINT style) {
  switch (style & kIconMask) {
    case MB_ICONERROR: return QMessageBox::Critical;
    case kIconQuestion: return QMessageBox::Question;
    case MB_ICONWARNING: return QMessageBox::Warning;
    case MB_ICONINFORMATION: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
  }
}

void InstallQtMessageBoxHandler() { SetMessageBoxHandler(ShowQtMessageBox); }
