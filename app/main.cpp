// Program entry: the main window on the executable's own folder and the repository server and
// key fixed at build time.
#include <QApplication>
#include <cstdio>

#include "app/ErrorBox.h"
#include "app/MainUnit.h"
#include "platform/Files.h"
#include "platform/HostLibraries.h"
#include "platform/Paths.h"

int main(int argc, char** argv) {
  const std::string executable = varnel::ExecutablePath();
  const std::string appDir = varnel::ExtractFilePath(executable);
  // Before Qt looks for its platform plugin, whose failure would not name what is missing.
  const std::string missing = varnel::MissingHostLibraries(
      varnel::SystemFileSystem(), varnel::JoinPath(appDir, varnel::kHostLibrariesList));
  if (!missing.empty()) {
    std::fprintf(stderr, "%s\n", missing.c_str());
    return 1;
  }
  QApplication application(argc, argv);
  varnel::TQtDialogs dialogs;
  varnel::TPosixShell shell;
  varnel::TForm1 form(appDir, VARNEL_REPOSITORY_BASE "/tools/software.zip", VARNEL_REPOSITORY_KEY,
                      dialogs, shell, varnel::ApplicationTitle(executable));
  if (!form.Started()) return 1;
  form.show();
  return application.exec();
}
