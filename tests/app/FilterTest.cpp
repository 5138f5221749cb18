// The list's filter: what it matches, the field, and commands on a filtered list.
#include <gtest/gtest.h>
#include <QAction>
#include <QGroupBox>
#include <QLayout>
#include <QTest>

#include <map>

#include "app/FilterEdit.h"
#include "app/ListBox.h"
#include "app/MainUnit.h"
#include "tests/app/AppTestSupport.h"

namespace varnel {
namespace {

using test::Record;
using test::TWindowFixture;

// Each text finds the one program named, or none.
TEST(FilterTest, NameOrDescriptionUnderSimpleCaseFolding) {
  const std::map<QString, QString> descriptions = {
      {"Alpha", "Edits text"}, {"Ärger", "Board game"}, {"Λόγος", ""},
      {"Kelvin", ""},          {"Straße", ""},          {QString::fromUtf8("𐐀pp"), ""}};
  TListBox list(nullptr, {}, [&](const QString& name) { return descriptions.at(name); });
  for (const auto& [name, description] : descriptions) list.AddItem(name, nullptr);
  const std::pair<const char*, const char*> cases[] = {
      {"ALP", "Alpha"},
      {"TEXT", "Alpha"},
      {"haed", ""},  // no match across the name and the description
      {"äRG", "Ärger"},
      {"ΛΌΓΟΣ", "Λόγος"},         // the final sigma folds as a sigma
      {"\u212Aelvin", "Kelvin"},  // the Kelvin sign folds to k
      {"STRASSE", ""},            // simple folding: one character to one
      {"𐐨", "𐐀pp"},
  };
  for (const auto& [typed, expected] : cases) {
    list.SetFilter(QString::fromUtf8(typed));
    EXPECT_EQ(list.count() == 1 ? list.Item(0)->text() : QString(), QString::fromUtf8(expected))
        << typed << ": " << list.count() << " shown";
  }
}

QStringList Shown(TForm1& window) {
  QStringList texts;
  for (int i = 0; i < window.L1->count(); ++i) texts << window.L1->Item(i)->text();
  return texts;
}

TEST(FilterTest, FieldNarrowsTheListAndCommandsActOnTheSelectedProgram) {
  TWindowFixture fixture;
  fixture.WriteData("software.dat", Record("i", "Zeta", "http://a", "Edits text") +
                                        Record("i", "Beta", "http://a", "Plays dice") +
                                        Record("i", "Gnome", "http://a", "Plays chess") +
                                        Record("i", "Gamma", "http://a", "Reads text") +
                                        Record("i", "Alpha", "http://a", "Draws text"));
  TForm1& window = fixture.Open();
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  window.activateWindow();
  EXPECT_TRUE(window.Filter->isHidden()) << "the window looks as designed until Ctrl+F";
  const QSize windowSize = window.size();
  const QRect list = window.L1->geometry();
  window.L1->SetItemIndex(3);

  QTest::keyClick(&window, Qt::Key_F, Qt::ControlModifier);
  ASSERT_TRUE(window.Filter->isVisible());
  EXPECT_TRUE(window.Filter->hasFocus());
  QTest::keyClicks(window.Filter, "TEXT");
  EXPECT_EQ(Shown(window), QStringList({"Zeta", "Gamma", "Alpha"}));
  EXPECT_EQ(window.SelectedItemText(), "Gamma") << "the selection stays on the program";
  window.GroupBox1->layout()->activate();
  EXPECT_EQ(window.size(), windowSize);
  EXPECT_EQ(window.GroupBox1->title(), " [ software list ] ");
  EXPECT_EQ(window.L1->geometry().bottom(), list.bottom()) << "the list gives the field its top";
  EXPECT_GT(window.L1->geometry().top(), window.Filter->geometry().bottom());

  window.Webpage1->trigger();
  EXPECT_EQ(fixture.journal, test::TJournal{"url:http://example.test/Gamma"});

  // Down goes on into the list; type-ahead and sorting work on what is shown.
  QTest::keyClick(window.Filter, Qt::Key_Down);
  EXPECT_TRUE(window.L1->hasFocus());
  EXPECT_EQ(window.SelectedItemText(), "Alpha");
  QTest::keyClicks(window.L1, "g");
  EXPECT_EQ(window.SelectedItemText(), "Gamma") << "Gnome is not shown";
  window.Sortalpha1->trigger();
  EXPECT_EQ(Shown(window), QStringList({"Alpha", "Gamma", "Zeta"}));
  window.LoadRepository();
  EXPECT_EQ(Shown(window), QStringList({"Alpha", "Gamma", "Zeta"})) << "a load keeps the filter";

  window.L1->SetItemIndex(1);
  QTest::keyClick(window.L1, Qt::Key_Escape);
  EXPECT_TRUE(window.Filter->isHidden());
  EXPECT_TRUE(window.Filter->text().isEmpty());
  EXPECT_EQ(window.L1->count(), 5);
  EXPECT_EQ(window.SelectedItemText(), "Gamma");
  window.GroupBox1->layout()->activate();
  EXPECT_EQ(window.L1->geometry(), list);
}

}  // namespace
}  // namespace varnel
