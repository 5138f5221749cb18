// The software list L1: a list of program names, each item owning its icon object, drawn by
// the window through a delegate. It keeps its own sorted mode (case-insensitive, in the
// user's locale) and its own type-ahead, and reports Enter and double-clicks to the window.
#pragma once

#include <QCollator>
#include <QElapsedTimer>
#include <QListWidget>
#include <QStyle>
#include <QStyledItemDelegate>
#include <functional>
#include <memory>

#include "catalog/ListDrawing.h"

namespace varnel {

// A list item: the program's name and the icon object the catalogue load made for it, shared
// with the other items whose records name the same icon file.
class TSoftwareItem : public QListWidgetItem {
 public:
  TSoftwareItem(const QString& text, std::shared_ptr<const TItemIcon> icon)
      : QListWidgetItem(text), icon_(std::move(icon)) {}
  const TItemIcon* Icon() const { return icon_.get(); }

 private:
  std::shared_ptr<const TItemIcon> icon_;
};

// Typed characters select the first item whose text begins with them, ignoring case; the
// typed prefix starts afresh after this long without typing.
inline constexpr int kTypeAheadMilliseconds = 500;

class TListBox : public QListWidget {
  Q_OBJECT

 public:
  // Paints item index into rect; the window supplies it.
  using DrawItem = std::function<void(QPainter&, int index, const QRect&, QStyle::State)>;

  TListBox(QWidget* parent, DrawItem drawItem);

  // The selected item's index, -1 when none is selected.
  int ItemIndex() const;
  void SetItemIndex(int index);
  // The index of the first visible item.
  int TopIndex() const;
  void SetTopIndex(int index);

  // Appends the item, or places it at its sorted position in sorted mode.
  void AddItem(const QString& text, std::shared_ptr<const TItemIcon> icon);
  const TSoftwareItem* Item(int index) const;
  void Clear();

  bool Sorted() const { return sorted_; }
  // Switching the mode re-adds every item in it and keeps the first visible and the selected
  // index as numbers, whichever items now stand there.
  void SetSorted(bool sorted);

 signals:
  void EnterPressed();
  void DoubleClicked();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void keyboardSearch(const QString& search) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  int SortedPosition(const QString& text) const;
  // After kTypeAheadMilliseconds without typing, the typed prefix starts afresh.
  void ForgetStalePrefix();
  void SelectFirstStartingWith(const QString& prefix);

  QCollator collator_;
  bool sorted_ = false;
  QString typed_;
  QElapsedTimer lastTyped_;
};

// Draws the list's items through TListBox::DrawItem, every item kItemHeight pixels high.
class TListBoxDelegate : public QStyledItemDelegate {
 public:
  TListBoxDelegate(QObject* parent, TListBox::DrawItem drawItem)
      : QStyledItemDelegate(parent), drawItem_(std::move(drawItem)) {}
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

 private:
  TListBox::DrawItem drawItem_;
};

}  // namespace varnel
