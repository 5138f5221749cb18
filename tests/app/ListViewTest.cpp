// The software list: item geometry, colours, the installed badge, sorting and the keyboard.
#include <gtest/gtest.h>
#include <QBuffer>
#include <QSignalSpy>
#include <QTest>
#include <algorithm>
#include <cmath>

#include "app/ListBox.h"
#include "app/MainUnit.h"
#include "app/Pictures.h"
#include "app/StatusBar.h"
#include "catalog/InstalledDigests.h"
#include "catalog/ListDrawing.h"
#include "platform/Files.h"
#include "tests/app/AppTestSupport.h"

namespace varnel {
namespace {

using test::HasRed;
using test::PaintItem;
using test::Record;
using test::TWindowFixture;

QRect DescriptionArea(const TItemGeometry& g, int width) {
  return QRect(g.description, QPoint(width - 1, kItemHeight - 1));
}

TEST(ListViewTest, TextIndentFollowsTheIcon) {
  TWindowFixture fixture;
  fixture.WriteData("16.ico", test::MakeIconFile({16}));
  fixture.WriteData("32.ico", test::MakeIconFile({32}));
  fixture.WriteData("many.ico", test::MakeIconFile({16, 48, 32, 24}));
  fixture.WriteData("broken.ico", std::string("\0\0\1\0\1\0", 6) + "not an image at all");
  fixture.WriteData("software.dat", Record("16.ico", "Small", "http://a", "d") +
                                        Record("32.ico", "Large", "http://a", "d") +
                                        Record("missing.ico", "NoIcon", "http://a", "d") +
                                        Record("many.ico", "Many", "http://a", "d") +
                                        Record("broken.ico", "Broken", "http://a", "d"));
  TForm1& window = fixture.Open();
  const QRect rect(0, 0, 300, kItemHeight);
  auto indent = [&](int index) {
    return ListItemGeometry(rect, window.L1->Item(index)->Icon()).indent;
  };
  EXPECT_EQ(indent(0), 25);
  EXPECT_EQ(indent(1), 41);
  EXPECT_EQ(indent(2), 41) << "an empty icon reports the standard size";
  EXPECT_EQ(indent(3), 41) << "the image closest to 32 pixels is used";
  EXPECT_EQ(indent(4), 41) << "an icon that does not decode draws as empty";
  EXPECT_EQ(ListItemGeometry(rect, nullptr).indent, 2);

  // The 16-pixel icon is drawn at (1, 2) and nowhere else.
  const QImage small = PaintItem(window, 0);
  EXPECT_EQ(small.pixelColor(1, 2), QColor(Qt::blue));
  EXPECT_EQ(small.pixelColor(16, 17), QColor(Qt::blue));
  EXPECT_NE(small.pixelColor(17, 18), QColor(Qt::blue));
  EXPECT_TRUE(fixture.dialogs.errors.empty());
}

// An icon file with one image stored as PNG: the PNG states its own size, whatever the
// directory entry says.
std::string IconFileWithPng(int size) {
  QImage image(size, size, QImage::Format_ARGB32);
  image.fill(Qt::green);
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "png");
  std::string file("\0\0\1\0\1\0", 6);
  // Width and height 0 (256), no palette, 1 plane, 32 bits, data size, data offset 22.
  file += std::string("\0\0\0\0\1\0\x20\0", 8);
  for (int shift : {0, 8, 16, 24}) file += static_cast<char>((png.size() >> shift) & 0xFF);
  file += std::string("\x16\0\0\0", 4);
  return file + png.toStdString();
}

TEST(ListViewTest, IconImagesLargerThanAnIconCanBeAreIgnored) {
  EXPECT_EQ(DecodeIcon(IconFileWithPng(256), kStandardIconSize).width(), 256);
  // A few kilobytes of file would otherwise hold megabytes of picture per list item, and
  // push the item's text thousands of pixels to the right.
  EXPECT_TRUE(DecodeIcon(IconFileWithPng(257), kStandardIconSize).isNull());
  EXPECT_TRUE(DecodeIcon(IconFileWithPng(3000), kStandardIconSize).isNull());
}

TEST(ListViewTest, DescriptionRedWithoutArchive) {
  TWindowFixture fixture;
  fixture.WriteData("software.dat", Record("i", "Four", "none", "four letters") +
                                        Record("i", "Five", "http:", "five letters") +
                                        Record("i", "Twin", "none", "first twin") +
                                        Record("i", "Twin", "http://b", "second twin"));
  TForm1& window = fixture.Open();
  for (int index : {0, 1, 2, 3}) {
    const QImage image = PaintItem(window, index);
    const TItemGeometry g = ListItemGeometry(image.rect(), window.L1->Item(index)->Icon());
    const bool red = HasRed(image, DescriptionArea(g, image.width()));
    EXPECT_EQ(red, index != 1) << "item " << index;
  }
}

// WCAG contrast of two colours, worked out here rather than taken from the drawing code.
double Contrast(QColor a, QColor b) {
  auto luminance = [](QColor c) {
    auto lin = [](double v) {
      return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * lin(c.redF()) + 0.7152 * lin(c.greenF()) + 0.0722 * lin(c.blueF());
  };
  const double la = luminance(a);
  const double lb = luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The pixel of a painted text that stands out most from the ground is the contrast a reader
// gets: at least 4.5 : 1 for the name and the description, on the list and on the selection
// (where the mid-blue highlight gave white text 3.7 : 1), and the no-archive red stays a red.
TEST(ListViewTest, NamesAndDescriptionsAreReadableOnBothGrounds) {
  TWindowFixture fixture;
  fixture.WriteData("software.dat", Record("i", "Dice", "http://a", "llllllll") +
                                        Record("i", "Dead", "none", "llllllll"));
  TForm1& window = fixture.Open();
  for (int index : {0, 1}) {
    for (bool selected : {false, true}) {
      const QImage image = PaintItem(window, index, 300, selected);
      const QColor ground = image.pixelColor(image.width() - 1, kItemHeight - 1);
      const TItemGeometry g = ListItemGeometry(image.rect(), window.L1->Item(index)->Icon());
      auto strongest = [&](const QRect& area) {
        QColor best = ground;
        for (int y = area.top(); y <= area.bottom(); ++y) {
          for (int x = area.left(); x <= area.right(); ++x) {
            if (Contrast(image.pixelColor(x, y), ground) > Contrast(best, ground)) {
              best = image.pixelColor(x, y);
            }
          }
        }
        return best;
      };
      const QColor name = strongest(QRect(g.name, QPoint(150, g.description.y() - 1)));
      const QColor description = strongest(DescriptionArea(g, 150));
      const std::string what = "item " + std::to_string(index) + (selected ? " selected" : "");
      EXPECT_GE(Contrast(name, ground), 4.5) << what;
      if (index == 0) {
        EXPECT_GE(Contrast(description, ground), 4.5) << what;
        EXPECT_NE(description.rgb(), name.rgb()) << what << ": a grey, not the name's colour";
      } else {
        EXPECT_GT(description.red(), description.green() + 20) << what << ": red, or a light red";
        if (selected) {
          EXPECT_GE(Contrast(description, ground), 4.5) << what;
        }
      }
    }
  }
}

// How wide the vertical strokes of the text in area are: in the row that crosses the most
// strokes, the pixels at least half way from the ground to the darkest ink, per stroke.
double StemWidth(const QImage& image, const QRect& area) {
  const int ground = qGray(image.pixel(area.topLeft()));
  int ink = ground;
  for (int y = area.top(); y <= area.bottom(); ++y) {
    for (int x = area.left(); x <= area.right(); ++x) ink = std::min(ink, qGray(image.pixel(x, y)));
  }
  int bestStems = 0;
  double width = 0;
  for (int y = area.top(); y <= area.bottom(); ++y) {
    int stems = 0;
    int inked = 0;
    bool previous = false;
    for (int x = area.left(); x <= area.right(); ++x) {
      const bool on = 2 * (ground - qGray(image.pixel(x, y))) >= ground - ink;
      inked += on;
      stems += on && !previous;
      previous = on;
    }
    if (stems > bestStems) {
      bestStems = stems;
      width = static_cast<double>(inked) / stems;
    }
  }
  return width;
}

// Bold names were drawn smoothed, which left their stems one pixel wide like a description's.
TEST(ListViewTest, NamesHaveBoldStems) {
  TWindowFixture fixture;
  fixture.WriteData("software.dat", Record("i", "llllll", "http://a", "lllll"));
  TForm1& window = fixture.Open();
  const QImage image = PaintItem(window, 0);
  const TItemGeometry g = ListItemGeometry(image.rect(), window.L1->Item(0)->Icon());
  const double name = StemWidth(image, QRect(g.name, QPoint(120, g.description.y() - 1)));
  const double description = StemWidth(image, DescriptionArea(g, 120));
  EXPECT_GE(name, 2.0);
  EXPECT_GE(name, description + 0.75) << "name " << name << ", description " << description;
}

TEST(ListViewTest, BadgeOnlyForInstalledPlainNames) {
  TWindowFixture fixture;
  fixture.WriteData("software.dat", Record("i", "Installed", "http://a", "d") +
                                        Record("i", "Absent", "http://a", "d") +
                                        Record("i", "", "http://a", "d") +
                                        Record("i", "..", "http://a", "d"));
  CreateDir(SystemFileSystem(), fixture.appDir / "data/Installed");
  TForm1& window = fixture.Open();
  EXPECT_TRUE(test::HasBadge(window, 0));
  EXPECT_FALSE(test::HasBadge(window, 1));
  EXPECT_FALSE(test::HasBadge(window, 2)) << "an empty name is the data folder itself";
  EXPECT_FALSE(test::HasBadge(window, 3));
}

// An installed program the catalogue offers another archive for shows the update mark in the
// tick's place; one offered the same archive, one installed before digests were kept and one
// whose record names no digest show the tick. Panel 2 counts the updates.
TEST(ListViewTest, UpdateMarkWhereTheCatalogueOffersAnotherArchive) {
  const std::string offered(64, 'b');
  auto record = [&](const std::string& name, const std::string& integrity) {
    return "i\n" + name + "\nhttp://a/" + name + ".zip\nrun\nd\nw\n" + integrity + "\n\n\n\n";
  };
  TWindowFixture fixture;
  fixture.WriteData("software.dat", record("Outdated", "sha256:" + offered) +
                                        record("Current", "sha256:" + offered) +
                                        record("Unrecorded", "sha256:" + offered) +
                                        record("Undigested", ""));
  for (const char* name : {"Outdated", "Current", "Unrecorded", "Undigested"}) {
    CreateDir(SystemFileSystem(), fixture.appDir / "data/" + name);
  }
  WriteInstalledDigests(SystemFileSystem(), fixture.appDir / "data/",
                        {{"Outdated", std::string(64, 'a')},
                         {"Current", offered},
                         {"Undigested", std::string(64, 'a')}});
  TForm1& window = fixture.Open();
  EXPECT_TRUE(test::HasBadge(window, 0, UpdateBadge()));
  EXPECT_FALSE(test::HasBadge(window, 0));
  for (int index : {1, 2, 3}) {
    EXPECT_TRUE(test::HasBadge(window, index)) << index;
    EXPECT_FALSE(test::HasBadge(window, index, UpdateBadge())) << index;
  }
  EXPECT_EQ(window.Status->PanelText(2), " 1 update");
}

TEST(ListViewTest, BadgeFollowsTheRightEdgeOnResize) {
  TWindowFixture fixture;
  fixture.WriteData("software.dat", Record("i", "Installed", "http://a", "d"));
  CreateDir(SystemFileSystem(), fixture.appDir / "data/Installed");
  TForm1& window = fixture.Open();
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  auto badgeFromRight = [&] {
    const QRect rect = window.L1->visualRect(window.L1->model()->index(0, 0));
    EXPECT_EQ(rect.width(), window.L1->viewport()->width());
    return window.L1->viewport()->width() - ListItemGeometry(rect, nullptr).badge.x();
  };
  for (int width : {321, 600, 250, 400}) {
    window.resize(width, 480);
    QTest::qWait(10);
    EXPECT_EQ(badgeFromRight(), kBadgeFromRight) << width;
  }
}

TEST(ListViewTest, SortToggleKeepsTheSelectedPosition) {
  TWindowFixture fixture;
  fixture.WriteData("software.dat", Record("i", "delta", "http://a", "d") +
                                        Record("i", "Charlie", "http://a", "d") +
                                        Record("i", "bravo", "http://a", "d") +
                                        Record("i", "Alpha", "http://a", "d"));
  TForm1& window = fixture.Open();
  window.L1->SetItemIndex(2);
  EXPECT_EQ(window.SelectedItemText(), "bravo");
  window.Sortalpha1->trigger();
  EXPECT_TRUE(window.Sortalpha1->isChecked());
  EXPECT_EQ(window.L1->Item(0)->text(), "Alpha");
  EXPECT_EQ(window.L1->Item(3)->text(), "delta");
  EXPECT_EQ(window.L1->ItemIndex(), 2);
  EXPECT_EQ(window.SelectedItemText(), "Charlie") << "the third position, now another program";
  EXPECT_EQ(window.Status->PanelText(0), " Sorted alphabetically");

  // Loads while sorted place each item at its sorted position.
  window.LoadRepository();
  EXPECT_EQ(window.L1->Item(1)->text(), "bravo");

  window.Sortalpha1->trigger();
  EXPECT_FALSE(window.Sortalpha1->isChecked());
  EXPECT_EQ(window.L1->Item(0)->text(), "delta") << "file order again";
  EXPECT_EQ(window.L1->ItemIndex(), -1);
  EXPECT_EQ(window.Status->PanelText(0), " Ready");
}

TEST(ListViewTest, SortKeepsTheFirstVisibleIndex) {
  TWindowFixture fixture;
  std::string catalogue;
  for (int i = 0; i < 40; ++i) catalogue += Record("i", std::to_string(97 - i), "http://a", "d");
  fixture.WriteData("software.dat", catalogue);
  TForm1& window = fixture.Open();
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  window.L1->SetTopIndex(10);
  window.L1->SetItemIndex(12);
  ASSERT_EQ(window.L1->TopIndex(), 10);
  window.Sortalpha1->trigger();
  EXPECT_EQ(window.L1->Item(0)->text(), "58");
  EXPECT_EQ(window.L1->TopIndex(), 10);
  EXPECT_EQ(window.L1->ItemIndex(), 12);
}

TEST(ListViewTest, TypeAheadAndEnter) {
  TWindowFixture fixture;
  fixture.WriteData("software.dat", Record("i", "Alpha", "http://a", "d") +
                                        Record("i", "beta", "http://a", "d") +
                                        Record("i", "Bezier", "http://a", "d") +
                                        Record("i", "Gamma", "http://a", "d"));
  TForm1& window = fixture.Open();
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  window.L1->setFocus();
  QTest::keyClicks(window.L1, "bez");
  EXPECT_EQ(window.SelectedItemText(), "Bezier");
  QTest::keyClick(window.L1, Qt::Key_Backspace);
  EXPECT_EQ(window.SelectedItemText(), "beta") << "backspace drops the last typed character";
  QTest::qWait(kTypeAheadMilliseconds + 100);
  QTest::keyClicks(window.L1, "G");
  EXPECT_EQ(window.SelectedItemText(), "Gamma") << "a pause starts a new prefix";
  QTest::qWait(kTypeAheadMilliseconds + 100);
  QTest::keyClicks(window.L1, "bez");
  QTest::qWait(kTypeAheadMilliseconds + 100);
  QTest::keyClick(window.L1, Qt::Key_Backspace);
  EXPECT_EQ(window.SelectedItemText(), "Bezier") << "after a pause there is nothing to take back";

  QSignalSpy run(window.Run1, &QAction::triggered);
  QTest::keyClick(window.L1, Qt::Key_Return);
  EXPECT_EQ(run.count(), 1) << "Enter runs the selected program";
  // Only keys that type character 13 run it: Ctrl+Enter types a line feed, and Alt+Enter is
  // a menu key, not a typed character.
  QTest::keyClick(window.L1, Qt::Key_Return, Qt::ControlModifier);
  QTest::keyClick(window.L1, Qt::Key_Return, Qt::AltModifier);
  EXPECT_EQ(run.count(), 1);
  QTest::keyClick(window.L1, Qt::Key_Return, Qt::ShiftModifier);
  QTest::keyClick(window.L1, Qt::Key_Enter, Qt::KeypadModifier);
  EXPECT_EQ(run.count(), 3);
  QTest::mouseDClick(window.L1->viewport(), Qt::LeftButton, {},
                     window.L1->visualRect(window.L1->model()->index(0, 0)).center());
  EXPECT_EQ(run.count(), 4) << "so does a double-click";
  QTest::mouseDClick(window.L1->viewport(), Qt::MiddleButton, {},
                     window.L1->visualRect(window.L1->model()->index(0, 0)).center());
  EXPECT_EQ(run.count(), 4) << "with the left button only";
}

}  // namespace
}  // namespace varnel
