// The main window: start-up, menus, status line and clock, catalogue loading.
#include <gtest/gtest.h>
#include <QAction>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "app/ListBox.h"
#include "app/MainUnit.h"
#include "app/StatusBar.h"
#include "catalog/RepositoryLines.h"
#include "platform/Exception.h"
#include "platform/Files.h"
#include "tests/app/AppTestSupport.h"

namespace varnel {
namespace {

using test::TWindowFixture;

std::vector<QString> ItemTexts(TForm1& window) {
  std::vector<QString> texts;
  for (int i = 0; i < window.L1->count(); ++i) texts.push_back(window.L1->Item(i)->text());
  return texts;
}

TEST(MainWindowTest, FirstStartWithoutServerShowsOneErrorThenAnEmptyList) {
  TWindowFixture fixture;  // its repository URL points at a port nobody listens on
  {
    TForm1& window = fixture.Open();
    EXPECT_TRUE(DirectoryExists(SystemFileSystem(), fixture.appDir / "data"));
    EXPECT_EQ(window.DataDir(), fixture.appDir / "data/");
    ASSERT_EQ(fixture.dialogs.errors.size(), 1u);
    EXPECT_EQ(fixture.dialogs.errors[0].second, "Socket Error # 10061\r\nConnection refused.");
    EXPECT_EQ(window.Status->PanelText(0), " Downloading list...");
    EXPECT_EQ(window.Status->PanelText(1), "") << "the clock's first tick comes after a second";
    EXPECT_EQ(window.Status->PanelText(2), "");
    EXPECT_EQ(window.L1->count(), 0);
    EXPECT_FALSE(FileExists(SystemFileSystem(), fixture.appDir / "temp.zip"));
  }
  // The data folder now exists: the second start loads without fetching.
  fixture.dialogs.errors.clear();
  TForm1& window = fixture.Open();
  EXPECT_TRUE(fixture.dialogs.errors.empty());
  EXPECT_EQ(window.Status->PanelText(0), " Ready");
}

TEST(MainWindowTest, FileNamedDataGivesIoError183) {
  TWindowFixture fixture;
  test::WriteFile(fixture.appDir / "data", "not a folder");
  TForm1& window = fixture.Open();
  EXPECT_EQ(fixture.dialogs.owner, &window) << "the window owns its boxes from the start";
  ASSERT_EQ(fixture.dialogs.errors.size(), 1u);
  EXPECT_EQ(fixture.dialogs.errors[0].first, "Varneltools");
  EXPECT_EQ(fixture.dialogs.errors[0].second, "I/O error 183.");
  EXPECT_EQ(window.Status->PanelText(0), "") << "the load after the failing step is skipped";
  // The window still works: the menus were merged before the failure.
  EXPECT_EQ(window.PopupMenu1->title(), "Standard");
}

TEST(MainWindowTest, DesignedLayout) {
  TWindowFixture fixture;
  TForm1& window = fixture.Open();
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  EXPECT_EQ(window.windowTitle(), "Varnel Tools");
  EXPECT_EQ(window.centralWidget()->size(), QSize(321, 472));
  EXPECT_EQ(window.GroupBox1->title(), " [ software list ] ");
  EXPECT_EQ(window.Status->height(), 19);
  EXPECT_EQ(window.Status->PanelWidth(0), 250);
  EXPECT_EQ(window.Status->PanelWidth(1), 55);
  window.resize(600, 500);
  QTest::qWait(20);
  EXPECT_EQ(
      window.Status->PanelWidth(0) + window.Status->PanelWidth(1) + window.Status->PanelWidth(2),
      window.Status->width())
      << "the last panel reaches the right edge";
  EXPECT_EQ(window.Timer1->interval(), 1000);
  EXPECT_TRUE(window.Timer1->isActive());
}

// The built-in Tahoma keeps the designed texts inside their panels: the clock's last digit was
// cut in half by a wider fallback face.
TEST(MainWindowTest, PanelTextsFitInTheBuiltInFont) {
  TWindowFixture fixture;
  TForm1& window = fixture.Open();
  EXPECT_EQ(QFontInfo(window.font()).family(), "Tahoma");
  EXPECT_EQ(QFontInfo(window.font()).pixelSize(), 11);
  const std::pair<int, QString> cases[] = {
      {1, " 23:59:59 "},
      {0, " Loading repository into memory..."},
      {0, " Repository has been updated"},
  };
  for (const auto& [panel, text] : cases) {
    window.Status->SetPanelText(panel, text);
    const QLabel* label = nullptr;
    for (const QLabel* candidate : window.Status->findChildren<QLabel*>()) {
      if (candidate->text() == text) label = candidate;
    }
    ASSERT_NE(label, nullptr);
    // What the panel needs for the text: its frame, indent and the text's rendered width.
    EXPECT_LE(label->sizeHint().width(), panel == 1 ? kClockPanelWidth : kStatusPanelWidth)
        << text.toStdString() << ": text width "
        << QFontMetrics(label->font()).horizontalAdvance(text);
  }
}

// Captions of a menu's items, "-" for separators, with the shortcut after a tab.
QStringList Captions(const QMenu* menu) {
  QStringList captions;
  for (const QAction* action : menu->actions()) {
    QString caption = action->isSeparator() ? "-" : action->text();
    if (!action->shortcut().isEmpty()) caption += "\t" + action->shortcut().toString();
    captions << caption;
  }
  return captions;
}

TEST(MainWindowTest, MenusAfterTheMerge) {
  TWindowFixture fixture;
  TForm1& window = fixture.Open();
  QStringList top;
  for (const QAction* action : window.MainMenu1->actions()) top << action->text();
  EXPECT_EQ(top, QStringList({"File", "Actions"}));
  EXPECT_EQ(Captions(window.File1), QStringList({"Settings...\tCtrl+O", "-", "E&xit\tAlt+Q"}));
  EXPECT_FALSE(window.Settings1->isEnabled());
  EXPECT_EQ(Captions(window.Actions1), QStringList({"Online", "Standard"}));
  EXPECT_EQ(Captions(window.Enchanced1),
            QStringList({"Update repository\tF5", "Update all...\tCtrl+U"}));
  const QStringList standard = {"Run",      "Software page...",    "Locate folder",
                                "-",        "Install / Update...", "Uninstall...",
                                "-",        "Send to desktop",     "-",
                                "Sort A..Z"};
  EXPECT_EQ(Captions(window.PopupMenu1), standard);
  // Actions > Standard is the popup menu itself, so both show one set of items.
  EXPECT_EQ(window.Actions1->actions().at(1)->menu(), window.PopupMenu1);

  for (QAction* pictured :
       {window.Settings1, window.Exit1, window.Updatesoftwarelist1, window.Run1, window.Webpage1,
        window.Locatefolder1, window.Install2, window.Uninstall1, window.Sendtodesktop1}) {
    EXPECT_FALSE(pictured->icon().isNull()) << pictured->text().toStdString();
    EXPECT_EQ(pictured->icon().availableSizes().value(0), QSize(16, 16));
  }
  EXPECT_TRUE(window.Sortalpha1->icon().isNull());
  EXPECT_TRUE(window.Sortalpha1->isCheckable());
  EXPECT_FALSE(window.Sortalpha1->isChecked());
}

TEST(MainWindowTest, SortCheckMarkIsSharedByBothMenus) {
  TWindowFixture fixture;
  TForm1& window = fixture.Open();
  QAction* viaStandard = window.Actions1->actions().at(1)->menu()->actions().last();
  viaStandard->trigger();
  EXPECT_TRUE(window.PopupMenu1->actions().last()->isChecked());
  EXPECT_TRUE(window.L1->Sorted());
  window.PopupMenu1->actions().last()->trigger();
  EXPECT_FALSE(viaStandard->isChecked());
  EXPECT_FALSE(window.L1->Sorted());
}

TEST(MainWindowTest, ShortcutsReachTheirItems) {
  TWindowFixture fixture;
  TForm1& window = fixture.Open();
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  window.activateWindow();
  QSignalSpy update(window.Updatesoftwarelist1, &QAction::triggered);
  QSignalSpy settings(window.Settings1, &QAction::triggered);
  QSignalSpy updateAll(window.Updateall1, &QAction::triggered);
  QTest::keyClick(&window, Qt::Key_F5);
  QTest::keyClick(&window, Qt::Key_O, Qt::ControlModifier);
  QTest::keyClick(&window, Qt::Key_U, Qt::ControlModifier);
  EXPECT_EQ(update.count(), 1);
  EXPECT_EQ(updateAll.count(), 1);
  EXPECT_EQ(settings.count(), 0) << "Settings... is disabled";
  QTest::keyClick(&window, Qt::Key_Q, Qt::AltModifier);
  EXPECT_FALSE(window.isVisible()) << "Alt+Q closes the window";
}

TEST(MainWindowTest, F10OpensTheMenuBarAndShiftF10TheListsMenu) {
  TWindowFixture fixture;
  fixture.WriteData("software.dat", test::Record("a.ico", "Alpha", "http://a", "d"));
  TForm1& window = fixture.Open();
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  window.activateWindow();
  QTest::keyClick(&window, Qt::Key_F10);
  EXPECT_EQ(window.MainMenu1->activeAction(), window.File1->menuAction());
  EXPECT_TRUE(window.File1->isVisible());
  window.File1->close();

  window.L1->setFocus();
  window.L1->SetItemIndex(0);
  QSignalSpy menu(window.L1, &QWidget::customContextMenuRequested);
  QTest::keyClick(window.L1, Qt::Key_F10, Qt::ShiftModifier);
  ASSERT_EQ(menu.count(), 1);
  EXPECT_TRUE(window.L1->rect().contains(menu.at(0).at(0).toPoint()));
  EXPECT_TRUE(window.PopupMenu1->isVisible());
  window.PopupMenu1->close();
}

// The clock and the last panel's text (how many updates there are) stay whole on a narrow
// window: the clock was clipped below about 310 pixels and gone below 245.
TEST(MainWindowTest, NarrowWindowsKeepTheClockWhole) {
  TWindowFixture fixture;
  TForm1& window = fixture.Open();
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  for (const QString& last : {QString(), QString(" 3 updates")}) {
    window.Status->SetPanelText(2, last);
    const int lastWidth = last.isEmpty() ? 0 : QFontMetrics(window.font()).horizontalAdvance(last);
    for (int width : {321, 300, 245, 200}) {
      window.resize(width, 480);
      ASSERT_TRUE(QTest::qWaitFor([&] { return window.Status->width() == window.width(); }));
      const int clockEnd = window.Status->PanelWidth(0) + window.Status->PanelWidth(1);
      EXPECT_EQ(window.Status->PanelWidth(1), kClockPanelWidth) << width;
      EXPECT_LE(clockEnd + lastWidth, window.Status->width()) << width << last.toStdString();
    }
  }
  window.Status->SetPanelText(2, "");
  window.resize(321, 480);
  ASSERT_TRUE(QTest::qWaitFor([&] { return window.Status->PanelWidth(0) == kStatusPanelWidth; }))
      << "as designed";
}

TEST(MainWindowTest, ClockShowsTheLongTimeWithoutZone) {
  const QTime morning(9, 5, 7);
  const QTime evening(21, 5, 7);
  EXPECT_EQ(ClockPanelText(QLocale(QLocale::German, QLocale::Germany), morning), " 09:05:07 ");
  EXPECT_EQ(ClockPanelText(QLocale(QLocale::English, QLocale::UnitedStates), evening),
            " 9:05:07 PM ");
  EXPECT_FALSE(LongTimeFormat(QLocale(QLocale::English, QLocale::UnitedStates)).contains('t'));

  TWindowFixture fixture;
  TForm1& window = fixture.Open();
  window.Timer1Timer();
  const QString panel = window.Status->PanelText(1);
  EXPECT_TRUE(panel.startsWith(' ') && panel.endsWith(' ')) << panel.toStdString();
  EXPECT_TRUE(panel.contains(QString::number(QTime::currentTime().second() / 10)));
}

TEST(MainWindowTest, SetStatusShowsTextAndRunsPendingEvents) {
  TWindowFixture fixture;
  TForm1& window = fixture.Open();
  bool ran = false;
  QTimer::singleShot(0, &window, [&] { ran = true; });
  window.SetStatus("Downloading list...");
  EXPECT_TRUE(ran);
  EXPECT_EQ(window.Status->PanelText(0), " Downloading list...");
  window.WriteStatusPanel(" Extracting a.txt (50%)");
  EXPECT_EQ(window.Status->PanelText(0), " Extracting a.txt (50%)");
}

TEST(MainWindowTest, CommandsRunInsideTheGuard) {
  TWindowFixture fixture;
  CreateDir(SystemFileSystem(), fixture.appDir / "data");
  TForm1& window = fixture.Open();
  window.ConnectCommand(window.Install2, [] { throw EStringListError(25); });
  window.Install2->trigger();
  ASSERT_EQ(fixture.dialogs.errors.size(), 1u);
  EXPECT_EQ(fixture.dialogs.errors[0].second, "List index out of bounds (25)");
}

// "Software page..." and "Locate folder" did nothing at all when the desktop had no opener.
TEST(MainWindowTest, AnOpenerThatCantStartShowsAnErrorBox) {
  TWindowFixture fixture;
  fixture.WriteData("software.dat", test::Record("a.ico", "Alpha", "http://a", "d"));
  CreateDir(SystemFileSystem(), fixture.appDir / "data/Alpha");
  const std::string opener = fixture.appDir / "xdg-open";
  TPosixShell shell(opener);
  TForm1 window(fixture.appDir.Path(), fixture.repositoryUrl, "", fixture.dialogs, shell, "V");
  window.L1->SetItemIndex(0);
  window.Webpage1->trigger();
  window.Locatefolder1->trigger();
  const std::string missing =
      "\": " + opener + ", which hands it to the desktop, is not installed.";
  ASSERT_EQ(fixture.dialogs.errors.size(), 2u);
  EXPECT_EQ(fixture.dialogs.errors[0].second, "Can't open \"http://example.test/Alpha" + missing);
  EXPECT_EQ(fixture.dialogs.errors[1].second,
            "Can't open \"" + window.DataDir() + "Alpha" + missing);
}

std::string Catalogue(int lines) {
  std::string text;
  for (int i = 0; i < lines; ++i) {
    // Appended piece by piece: GCC 12 warns wrongly about "literal" + std::string at -O2.
    text += i % 10 == 1 ? "Program" : "f";
    text += std::to_string(i % 10 == 1 ? i / 10 : i) + "\r\n";
  }
  return text;
}

TEST(MainWindowTest, CataloguesOf30To32Lines) {
  {
    TWindowFixture fixture;
    fixture.WriteData("software.dat", Catalogue(30));
    TForm1& window = fixture.Open();
    EXPECT_EQ(ItemTexts(window), (std::vector<QString>{"Program0", "Program1", "Program2"}));
    EXPECT_EQ(window.Status->PanelText(0), " Ready");
    EXPECT_TRUE(fixture.dialogs.errors.empty());
  }
  {
    TWindowFixture fixture;
    fixture.WriteData("software.dat", Catalogue(31));
    TForm1& window = fixture.Open();
    EXPECT_EQ(window.L1->count(), 3);
    ASSERT_EQ(fixture.dialogs.errors.size(), 1u);
    EXPECT_EQ(fixture.dialogs.errors[0].second, "List index out of bounds (31)");
    EXPECT_EQ(window.Status->PanelText(0), "  Could not load icon f30")
        << "the icon of the cut record fails before its name does";
  }
  {
    TWindowFixture fixture;
    fixture.WriteData("software.dat", Catalogue(32));
    TForm1& window = fixture.Open();
    EXPECT_EQ(window.L1->count(), 4);
    EXPECT_TRUE(fixture.dialogs.errors.empty());
    // The fourth record has no description line: it paints without one and raises nothing.
    test::PaintItem(window, 3);
    EXPECT_TRUE(fixture.dialogs.errors.empty());
  }
}

TEST(MainWindowTest, MissingOrEmptyCatalogueIsAnEmptyList) {
  for (bool present : {false, true}) {
    TWindowFixture fixture;
    CreateDir(SystemFileSystem(), fixture.appDir / "data");
    if (present) fixture.WriteData("software.dat", "");
    TForm1& window = fixture.Open();
    EXPECT_EQ(window.L1->count(), 0);
    EXPECT_EQ(window.Status->PanelText(0), " Ready");
    EXPECT_TRUE(fixture.dialogs.errors.empty());
  }
}

TEST(MainWindowTest, IconsFailingTheirReadStillGiveItems) {
  TWindowFixture fixture;
  fixture.WriteData("good.ico", test::MakeIconFile({32}));
  fixture.WriteData("cursor.cur", std::string("\0\0\2\0\1\0", 6) + std::string(40, 'x'));
  fixture.WriteData("software.dat", test::Record("good.ico", "Good", "http://a", "d") +
                                        test::Record("missing.ico", "Missing", "http://a", "d") +
                                        test::Record("cursor.cur", "Cursor", "http://a", "d"));
  TForm1& window = fixture.Open();
  EXPECT_EQ(ItemTexts(window), (std::vector<QString>{"Good", "Missing", "Cursor"}));
  EXPECT_EQ(window.Status->PanelText(0), " Ready");
  EXPECT_TRUE(window.L1->Item(0)->Icon()->HasPicture());
  EXPECT_FALSE(window.L1->Item(1)->Icon()->HasPicture());
  EXPECT_FALSE(window.L1->Item(2)->Icon()->HasPicture());

  // Reloading replaces the items (and their icons) rather than adding to them.
  window.LoadRepository();
  EXPECT_EQ(window.L1->count(), 3);
}

// Every record can name the same large file: the items share one icon object per file
// (however its path is spelt), so memory follows the files, not the count of records.
TEST(MainWindowTest, RecordsNamingOneIconFileShareItsIcon) {
  TWindowFixture fixture;
  fixture.WriteData("shared.ico", test::MakeIconFile({32}));
  fixture.WriteData("other.ico", test::MakeIconFile({16}));
  CreateDir(SystemFileSystem(), fixture.appDir / "data/x");
  fixture.WriteData("software.dat", test::Record("shared.ico", "A", "http://a", "d") +
                                        test::Record("./shared.ico", "B", "http://a", "d") +
                                        test::Record("x/../shared.ico", "C", "http://a", "d") +
                                        test::Record("other.ico", "D", "http://a", "d") +
                                        test::Record("missing.ico", "E", "http://a", "d") +
                                        test::Record("missing.ico", "F", "http://a", "d"));
  TForm1& window = fixture.Open();
  ASSERT_EQ(window.L1->count(), 6);
  auto icon = [&](int index) { return window.L1->Item(index)->Icon(); };
  EXPECT_EQ(icon(1), icon(0));
  EXPECT_EQ(icon(2), icon(0));
  EXPECT_NE(icon(3), icon(0));
  EXPECT_EQ(icon(0)->Width(), 32);
  EXPECT_EQ(icon(3)->Width(), 16);
  EXPECT_FALSE(icon(4)->HasPicture());
  EXPECT_FALSE(icon(5)->HasPicture());
}

TEST(MainWindowTest, SelectedItemText) {
  TWindowFixture fixture;
  fixture.WriteData("software.dat", test::Record("a.ico", "Alpha", "http://a", "d") +
                                        test::Record("b.ico", "Beta", "http://b", "d"));
  TForm1& window = fixture.Open();
  EXPECT_EQ(window.SelectedItemText(), std::nullopt);
  window.L1->SetItemIndex(1);
  EXPECT_EQ(window.SelectedItemText(), "Beta");
}

}  // namespace
}  // namespace varnel
