// The application object: the toolkit's application with the general error
// display, which shows any error that abandons an event handler and lets
// the window go on.
#pragma once

#include <QApplication>

#include <exception>
#include <string>

class TApplication : public QApplication {
 public:
  TApplication(int& argc, char** argv);

  // Delivers one event; an error raised while it is handled is shown and
  // the event counts as not handled.
  bool notify(QObject* receiver, QEvent* event) override;

  // The general error display: the error's message in a message box with
  // the error icon and one OK button, owned by the active window.
  static void ShowException(const std::exception& error);
  static void ShowException(const std::string& message);
};

// The caption of the general error display.
inline constexpr char kApplicationTitle[] = "Libmorph";

// Runs one event handler. An error it raises abandons it at that point and
// goes to the general error display. The toolkit's widget code is built
// without unwinding support, so an error must be stopped at the edge of
// our own code rather than travel back through the widget that raised the
// event.
template <typename Handler>
void RunHandler(Handler&& handler) {
  try {
    handler();
  } catch (const std::exception& error) {
    TApplication::ShowException(error);
  } catch (...) {
    TApplication::ShowException("Erreur inconnue");
  }
}
