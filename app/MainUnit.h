// The main window: the software list with its menus, the status bar and the clock. It owns
// the catalogue lines, the list items (with their icons) and the progress window. Window
// thread only: the commands' long steps run on their worker and report back to this thread. It
// takes its folder (AppDir) and the repository's URL from its creator and shows every failure of
// its handlers through the dialogs it is given, which must outlive it.
#pragma once

#include <QMainWindow>
#include <QStyle>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "actions/Window.h"
#include "app/ErrorBox.h"
#include "catalog/InstalledDigests.h"
#include "platform/Shell.h"

class QAction;
class QGroupBox;
class QMenu;
class QMenuBar;
class QTimer;

namespace varnel {

class TCommands;
class TFilterEdit;
class TForm2;
class TListBox;
class TQtWorkerHost;
class TRepositoryLines;
class TStatusBar;

class TForm1 : public QMainWindow, public IWindow {
 public:
  // appDir ends in "/"; the window runs FormCreate before it returns. The commands start
  // programs and open folders and pages through shell. With a repositoryKey (base64), only
  // catalogues the repository signed with it are taken.
  TForm1(std::string appDir, std::string repositoryUrl, std::string repositoryKey,
         IDialogs& dialogs, IShell& shell, std::string applicationTitle, QWidget* parent = nullptr);
  ~TForm1() override;

  // IWindow
  std::optional<std::string> SelectedItemText() override;
  void SetStatus(const std::string& text) override;
  void WriteStatusPanel(const std::string& panelText) override;
  bool Confirm(const std::string& text, const std::string& caption) override;
  void Inform(const std::string& text) override;
  void RepaintList() override;
  void LoadRepository() override;

  const std::string& AppDir() const { return appDir_; }
  const std::string& DataDir() const { return dataDir_; }
  const std::string& RepositoryUrl() const { return repositoryUrl_; }
  const TRepositoryLines& RepositoryLines() const { return *repositoryLines_; }
  // False when another instance runs from the folder; the creator then ends the program.
  bool Started() const { return commands_ != nullptr; }

  // Binds a menu item to its command, run inside the guard that shows the default error box.
  void ConnectCommand(QAction* item, std::function<void()> command);

  // Controls and menu items, named as the window was designed. Commands are bound to their
  // items with ConnectCommand; Run1 also runs on a double-click and on Enter in the list.
  // Showfilter1 (Ctrl+F) opens Filter, Openmenu1 (F10) the menu bar; neither is on a menu.
  QMenuBar* MainMenu1 = nullptr;
  QMenu* File1 = nullptr;
  QAction* Settings1 = nullptr;
  QAction* Exit1 = nullptr;
  QMenu* Actions1 = nullptr;
  QMenu* Enchanced1 = nullptr;
  QAction* Updatesoftwarelist1 = nullptr;
  QAction* Updateall1 = nullptr;
  QMenu* PopupMenu1 = nullptr;  // also Actions > Standard: one set of items for both
  QAction* Run1 = nullptr;
  QAction* Webpage1 = nullptr;
  QAction* Locatefolder1 = nullptr;
  QAction* Install2 = nullptr;
  QAction* Uninstall1 = nullptr;
  QAction* Sendtodesktop1 = nullptr;
  QAction* Sortalpha1 = nullptr;
  QAction* Showfilter1 = nullptr;
  QAction* Openmenu1 = nullptr;
  QGroupBox* GroupBox1 = nullptr;
  TFilterEdit* Filter = nullptr;  // above L1 in GroupBox1, hidden until Ctrl+F
  TListBox* L1 = nullptr;
  TStatusBar* Status = nullptr;
  QTimer* Timer1 = nullptr;
  TForm2* Form2 = nullptr;  // the progress window of commands running in the background

  // Paints one list item; public so tests can paint into an image.
  void L1DrawItem(QPainter& canvas, int index, const QRect& rect, QStyle::State state);
  void Sortalpha1Click();
  void Timer1Timer();

 protected:
  void resizeEvent(QResizeEvent* event) override;
  // While a command runs, closing cancels it and waits for it to stop; the window closes then.
  void closeEvent(QCloseEvent* event) override;

 private:
  void CreateControls();
  void CreateMenus();
  void FormCreate();
  void FormResize();
  void Exit1Click();
  // Binds a command item to the command it runs once FormCreate has made the commands.
  void ConnectCommand(QAction* item, void (TCommands::*command)());

  IDialogs& dialogs_;
  IShell& shell_;
  TErrorGuard errorGuard_;
  std::string appDir_;
  std::string dataDir_;
  std::string repositoryUrl_;
  std::string repositoryKey_;
  std::unique_ptr<TRepositoryLines> repositoryLines_;
  std::unique_ptr<TQtWorkerHost> workerHost_;
  std::unique_ptr<TCommands> commands_;
  bool closeRequested_ = false;
  // Re-reads what installed programs were unpacked from, for the badges, and shows in status
  // panel 2 how many the catalogue offers updates for.
  void ShowUpdates();

  QPixmap badge_;        // the green tick drawn on installed programs
  QPixmap updateBadge_;  // drawn instead where the catalogue offers another archive
  TInstalledDigests installedDigests_;
};

}  // namespace varnel
