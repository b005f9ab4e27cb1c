#include "app/application.h"

#include "platform/message_box.h"

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
  // No display name: the toolkit would append it to every window caption.
  setApplicationName(kApplicationTitle);
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& error) {
    ShowException(error);
  } catch (...) {
    ShowException("Erreur inconnue");
  }
  return false;
}

void TApplication::ShowException(const std::exception& error) { ShowException(error.what()); }

void TApplication::ShowException(const std::string& message) {
  QWidget* owner = QApplication::activeWindow();
  MessageBoxA(owner, message, kApplicationTitle, MB_ICONERROR);
}
