// The program: the window and its message loop. The one argument read is
// a file to open at start ("libmorph file.lib"), as a desktop hands it.
#include "app/application.h"
#include "app/qt_dialogs.h"
#include "app/qt_message_box.h"
#include "app/unit1.h"

int main(int argc, char** argv) {
  TApplication application(argc, argv);
  InstallQtMessageBoxHandler();
  TQtDialogs dialogs;
  try {
    TForm1 form(dialogs);
    form.show();
    RunHandler([&] { form.OpenArguments(application.arguments().mid(1)); });
    application.exec();
  } catch (const std::exception& error) {
    TApplication::ShowException(error);
  } catch (...) {
    TApplication::ShowException("Erreur inconnue");
  }
  return 0;
}
