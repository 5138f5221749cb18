#include "app/MainUnit.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGroupBox>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QTimer>
#include <QVBoxLayout>
#include <map>

#include "actions/Commands.h"
#include "app/DownloadProgressForm.h"
#include "app/FilterEdit.h"
#include "app/InputBlock.h"
#include "app/ListBox.h"
#include "app/Pictures.h"
#include "app/QtWorkerHost.h"
#include "app/StatusBar.h"
#include "app/WindowFont.h"
#include "catalog/IconFile.h"
#include "catalog/Installed.h"
#include "catalog/ListDrawing.h"
#include "catalog/RepositoryLines.h"
#include "platform/Exception.h"
#include "platform/Files.h"
#include "platform/Paths.h"

namespace varnel {

namespace {

constexpr int kClientWidth = 321;
constexpr int kClientHeight = 472;
constexpr int kGroupBoxLeft = 2;
constexpr int kListMargin = 3;
constexpr int kClockInterval = 1000;

QString Q(const std::string& text) {
  return QString::fromStdString(text);
}

}  // namespace

TForm1::TForm1(std::string appDir, std::string repositoryUrl, std::string repositoryKey,
               IDialogs& dialogs, IShell& shell, std::string applicationTitle, QWidget* parent)
    : QMainWindow(parent),
      dialogs_(dialogs),
      shell_(shell),
      errorGuard_(dialogs, std::move(applicationTitle)),
      appDir_(std::move(appDir)),
      repositoryUrl_(std::move(repositoryUrl)),
      repositoryKey_(std::move(repositoryKey)),
      badge_(InstalledBadge()),
      updateBadge_(UpdateBadge()) {
  dialogs_.SetOwner(this);
  setWindowTitle("Varnel Tools");
  setWindowIcon(ProgramIcon());
  setFont(WindowFont());
  CreateControls();
  CreateMenus();
  connect(L1, &TListBox::DoubleClicked, Run1, &QAction::trigger);
  connect(L1, &TListBox::EnterPressed, Run1, &QAction::trigger);
  ConnectCommand(Exit1, [this] { Exit1Click(); });
  ConnectCommand(Sortalpha1, [this] { Sortalpha1Click(); });
  ConnectCommand(Updatesoftwarelist1, &TCommands::UpdateRepository);
  ConnectCommand(Updateall1, &TCommands::UpdateAll);
  ConnectCommand(Run1, &TCommands::Run);
  ConnectCommand(Webpage1, &TCommands::OpenWebPage);
  ConnectCommand(Locatefolder1, &TCommands::LocateFolder);
  ConnectCommand(Install2, &TCommands::Install);
  ConnectCommand(Uninstall1, &TCommands::Uninstall);
  ConnectCommand(Sendtodesktop1, &TCommands::SendToDesktop);
  resize(kClientWidth, kClientHeight + menuBar()->sizeHint().height());
  errorGuard_.Run([this] { FormCreate(); });
}

TForm1::~TForm1() = default;

void TForm1::CreateControls() {
  auto* client = new QWidget(this);
  auto* clientLayout = new QVBoxLayout(client);
  clientLayout->setContentsMargins(0, 0, 0, 0);
  clientLayout->setSpacing(0);

  auto* listArea = new QWidget(client);
  auto* listAreaLayout = new QVBoxLayout(listArea);
  // The frame keeps the designed gaps: 2 pixels left and right, 6 above the status bar.
  listAreaLayout->setContentsMargins(kGroupBoxLeft, 0, kGroupBoxLeft, 6);
  GroupBox1 = new QGroupBox(" [ software list ] ", listArea);
  auto* groupLayout = new QVBoxLayout(GroupBox1);
  groupLayout->setContentsMargins(kListMargin, kListMargin, kListMargin, kListMargin);
  groupLayout->setSpacing(kListMargin);
  L1 = new TListBox(
      GroupBox1,
      [this](QPainter& canvas, int index, const QRect& rect, QStyle::State state) {
        errorGuard_.Run([&] { L1DrawItem(canvas, index, rect, state); });
      },
      [this](const QString& name) {
        try {
          return Q(repositoryLines_->FindListEntry(name.toStdString()).description);
        } catch (const EStringListError&) {
          return QString();  // a record cut off by the end of the catalogue: its name alone
        }
      });
  L1->setContextMenuPolicy(Qt::CustomContextMenu);
  // The filter takes its line from the list while it shows; the window keeps its size.
  Filter = new TFilterEdit(GroupBox1, *L1);
  connect(Filter, &QLineEdit::textChanged, this,
          [this](const QString& text) { errorGuard_.Run([&] { L1->SetFilter(text); }); });
  groupLayout->addWidget(Filter);
  groupLayout->addWidget(L1);
  listAreaLayout->addWidget(GroupBox1);
  clientLayout->addWidget(listArea, 1);

  Status = new TStatusBar(client);
  clientLayout->addWidget(Status);
  setCentralWidget(client);

  Timer1 = new QTimer(this);
  Timer1->setInterval(kClockInterval);
  connect(Timer1, &QTimer::timeout, this, [this] { errorGuard_.Run([this] { Timer1Timer(); }); });
  Timer1->start();

  Form2 = new TForm2(this);
  workerHost_ = std::make_unique<TQtWorkerHost>(*this, *Form2, dialogs_, errorGuard_);
}

void TForm1::CreateMenus() {
  auto item = [this](QMenu* menu, const char* caption, std::optional<TMenuPicture> picture) {
    QAction* action = menu->addAction(caption);
    if (picture) action->setIcon(MenuPicture(*picture));
    return action;
  };
  MainMenu1 = menuBar();
  File1 = MainMenu1->addMenu("File");
  Settings1 = item(File1, "Settings...", TMenuPicture::Settings);
  Settings1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
  Settings1->setEnabled(false);
  File1->addSeparator();
  Exit1 = item(File1, "E&xit", TMenuPicture::Exit);
  Exit1->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Q));

  Actions1 = MainMenu1->addMenu("Actions");
  Enchanced1 = Actions1->addMenu("Online");
  Updatesoftwarelist1 = item(Enchanced1, "Update repository", TMenuPicture::UpdateRepository);
  Updatesoftwarelist1->setShortcut(QKeySequence(Qt::Key_F5));
  Updateall1 = item(Enchanced1, "Update all...", std::nullopt);
  Updateall1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_U));

  PopupMenu1 = new QMenu(this);
  Run1 = item(PopupMenu1, "Run", TMenuPicture::Run);
  Webpage1 = item(PopupMenu1, "Software page...", TMenuPicture::WebPage);
  Locatefolder1 = item(PopupMenu1, "Locate folder", TMenuPicture::LocateFolder);
  PopupMenu1->addSeparator();
  Install2 = item(PopupMenu1, "Install / Update...", TMenuPicture::Install);
  Uninstall1 = item(PopupMenu1, "Uninstall...", TMenuPicture::Uninstall);
  PopupMenu1->addSeparator();
  Sendtodesktop1 = item(PopupMenu1, "Send to desktop", TMenuPicture::SendToDesktop);
  PopupMenu1->addSeparator();
  Sortalpha1 = item(PopupMenu1, "Sort A..Z", std::nullopt);
  Sortalpha1->setCheckable(true);
  connect(L1, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { PopupMenu1->popup(L1->viewport()->mapToGlobal(at)); });

  // Keys without a menu item. They act at once: typing that follows Ctrl+F goes to the filter.
  auto key = [this](QKeySequence keys, std::function<void()> handler) {
    auto* action = new QAction(this);
    action->setShortcut(keys);
    addAction(action);
    connect(action, &QAction::triggered, this,
            [this, handler = std::move(handler)] { errorGuard_.Run(handler); });
    return action;
  };
  Showfilter1 = key(QKeySequence(Qt::CTRL | Qt::Key_F), [this] { Filter->Open(); });
  Openmenu1 =
      key(QKeySequence(Qt::Key_F10), [this] { MainMenu1->setActiveAction(File1->menuAction()); });
}

void TForm1::ConnectCommand(QAction* item, std::function<void()> command) {
  connect(item, &QAction::triggered, this, [this, command = std::move(command)] {
    {
      TInputBlock block(*this);
      errorGuard_.Run(command);
      // Input that reached the program while the command ran goes now, and goes nowhere.
      QCoreApplication::processEvents();
    }
    if (closeRequested_) {
      closeRequested_ = false;
      QTimer::singleShot(0, this, &QWidget::close);
    }
  });
}

void TForm1::ConnectCommand(QAction* item, void (TCommands::*command)()) {
  ConnectCommand(item, [this, command] {
    if (commands_) (commands_.get()->*command)();
  });
}

void TForm1::FormCreate() {
  // appDir_ is already the executable's folder, as the creator handed it in.
  dataDir_ = JoinPath(appDir_, "data/");
  // The popup menu becomes Actions > Standard; both show the same items.
  Actions1->addMenu(PopupMenu1);
  PopupMenu1->setTitle("Standard");
  repositoryLines_ = std::make_unique<TRepositoryLines>();
  commands_ = std::make_unique<TCommands>(TCommandContext{appDir_,
                                                          dataDir_,
                                                          repositoryUrl_,
                                                          *repositoryLines_,
                                                          *this,
                                                          shell_,
                                                          dialogs_,
                                                          SystemFileSystem(),
                                                          *workerHost_,
                                                          {},
                                                          {},
                                                          repositoryKey_});
  // At the very first start: DataDir is made and the catalogue fetched; a failure of either
  // ends FormCreate here, and the next start finds DataDir and does not fetch again.
  try {
    commands_->FirstStart();
  } catch (const EInstanceRunning&) {
    commands_.reset();  // the box says so, and this instance ends
    throw;
  }
  LoadRepository();
}

void TForm1::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  errorGuard_.Run([this] { FormResize(); });
}

// The badge is placed from each item's right edge, so a new width needs a full repaint.
void TForm1::FormResize() {
  L1->viewport()->update();
}

void TForm1::closeEvent(QCloseEvent* event) {
  if (commands_ && commands_->Busy()) {
    commands_->Cancel();
    closeRequested_ = true;
    event->ignore();
    return;
  }
  QMainWindow::closeEvent(event);
}

void TForm1::Exit1Click() {
  close();
}

std::optional<std::string> TForm1::SelectedItemText() {
  const int index = L1->ItemIndex();
  if (index < 0) return std::nullopt;
  return L1->Item(index)->text().toStdString();
}

void TForm1::SetStatus(const std::string& text) {
  Status->SetPanelText(0, Q(" " + text));
  // Shows the text at once during a catalogue load. Input to the window meanwhile is dropped,
  // not kept: an F5 kept during the reload after an update would run a second update.
  TInputBlock block(*this);
  QCoreApplication::processEvents();
}

void TForm1::WriteStatusPanel(const std::string& panelText) {
  Status->SetPanelText(0, Q(panelText));
}

bool TForm1::Confirm(const std::string& text, const std::string& caption) {
  return dialogs_.Confirm(text, caption);
}

void TForm1::Inform(const std::string& text) {
  dialogs_.MessageDlg(text, mtInformation, mbOK);
}

void TForm1::RepaintList() {
  ShowUpdates();
  L1->viewport()->update();
}

void TForm1::ShowUpdates() {
  installedDigests_ = ReadInstalledDigests(SystemFileSystem(), dataDir_);
  const size_t count =
      OutdatedPrograms(SystemFileSystem(), dataDir_, installedDigests_, *repositoryLines_).size();
  Status->SetPanelText(
      2, count == 0 ? QString()
                    : Q(" " + std::to_string(count) + (count == 1 ? " update" : " updates")));
}

void TForm1::LoadRepository() {
  TRepositoryLines& lines = *repositoryLines_;
  L1->Clear();
  lines.Clear();
  SetStatus("Loading repository into memory...");
  try {
    lines.LoadFromFile(JoinPath(dataDir_, "software.dat"));
  } catch (const Exception&) {
    // A missing or unreadable catalogue is an empty list.
  }
  // Records naming one icon file, however the path is spelt, share one icon object: a
  // catalogue that repeats a large file's name holds it once, not once per record.
  std::map<std::string, std::shared_ptr<const TItemIcon>> iconsByFile;
  for (int i = 0; i < lines.Count(); i += kRecordLines) {
    const std::string path = JoinPath(dataDir_, lines.Get(i));
    const std::string file = SystemFileSystem().CanonicalPath(path);
    const bool unresolved = file.empty();
    std::shared_ptr<const TItemIcon> icon;
    if (auto known = iconsByFile.find(file); !unresolved && known != iconsByFile.end()) {
      icon = known->second;
    } else {
      try {
        icon = std::make_shared<TItemIcon>(ReadIconFile(SystemFileSystem(), path));
        if (!unresolved) iconsByFile.emplace(file, icon);
      } catch (const Exception&) {
        SetStatus(" Could not load icon " + lines.Get(i));
        icon = std::make_shared<TItemIcon>();
      }
    }
    L1->AddItem(Q(lines.Get(i + 1)), std::move(icon));
  }
  ShowUpdates();
  SetStatus("Ready");
}

void TForm1::L1DrawItem(QPainter& canvas, int index, const QRect& rect, QStyle::State state) {
  const TSoftwareItem* item = L1->Item(index);
  if (item == nullptr) return;
  TItemPaint paint;
  paint.name = item->text();
  paint.icon = item->Icon();
  paint.selected = state.testFlag(QStyle::State_Selected);
  paint.focused = state.testFlag(QStyle::State_HasFocus);
  const std::string name = item->text().toStdString();
  paint.installed = IsProgramInstalled(SystemFileSystem(), dataDir_, name);
  const bool outdated = paint.installed && IsOutdated(SystemFileSystem(), dataDir_,
                                                      installedDigests_, *repositoryLines_, name);
  try {
    TListEntry entry = repositoryLines_->FindListEntry(name);
    paint.description = Q(entry.description);
    paint.noArchive = entry.noArchive;
  } catch (const EStringListError&) {
    // A record cut off by the end of the catalogue shows its name alone, on every repaint.
  }
  DrawListItem(canvas, rect, paint, L1->font(), L1->palette(), outdated ? updateBadge_ : badge_);
}

void TForm1::Sortalpha1Click() {
  L1->SetSorted(!L1->Sorted());
  Sortalpha1->setChecked(L1->Sorted());
  if (L1->Sorted()) {
    SetStatus("Sorted alphabetically");
  } else {
    LoadRepository();
  }
}

void TForm1::Timer1Timer() {
  Status->SetPanelText(1, ClockPanelText(QLocale::system(), QTime::currentTime()));
}

}  // namespace varnel
