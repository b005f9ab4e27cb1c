#include "app/application.h"

#include <QLibraryInfo>
#include <QStyle>
#include <QStyleFactory>
#include <QTranslator>

#include "platform/message_box.h"

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
  // No display name: the toolkit would append it to every window caption.
  setApplicationName(kApplicationTitle);
  // The window's fixed layout was drawn for the classic look: captions on
  // the group boxes' frame lines, 19-pixel buttons, 21-pixel edits.
  if (QStyle* classic = QStyleFactory::create(QStringLiteral("Windows"))) setStyle(classic);
  // The window speaks French; so do the toolkit's dialogs and buttons when
  // their French texts are installed.
  // The Windows build carries them inside the program (app/CMakeLists.txt):
  // nothing lies beside the .exe.
  auto* translator = new QTranslator(this);
  if (translator->load(QStringLiteral("qtbase_fr"),
                       QLibraryInfo::path(QLibraryInfo::TranslationsPath)) ||
      translator->load(QStringLiteral("qtbase_fr"), QStringLiteral(":/translations")))
    installTranslator(translator);
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
