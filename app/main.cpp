// Program entry: the main window on the executable's own folder and the repository server and
// key fixed at build time.
#include <QApplication>

#include "app/ErrorBox.h"
#include "app/MainUnit.h"
#include "platform/Files.h"
#include "platform/Paths.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  const std::string executable = varnel::ExecutablePath();
  varnel::TQtDialogs dialogs;
  varnel::TPosixShell shell;
  varnel::TForm1 form(varnel::ExtractFilePath(executable),
                      VARNEL_REPOSITORY_BASE "/tools/software.zip", VARNEL_REPOSITORY_KEY, dialogs,
                      shell, varnel::ApplicationTitle(executable));
  if (!form.Started()) return 1;
  form.show();
  return application.exec();
}
