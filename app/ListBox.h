// The software list L1: program names in list order, each item owning its icon object, drawn
// by the window through a delegate. It keeps its own sorted mode (case-insensitive, in the
// user's locale), a filter on what it shows and its own type-ahead, and reports Enter and
// double-clicks to the window. Every row and index below counts the items shown. Window
// thread only.
#pragma once

#include <QCollator>
#include <QElapsedTimer>
#include <QListView>
#include <QStyle>
#include <QStyledItemDelegate>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "catalog/ListDrawing.h"

namespace varnel {

// A list item: the program's name and the icon object the catalogue load made for it, shared
// with the other items whose records name the same icon file.
class TSoftwareItem {
 public:
  TSoftwareItem(QString text, std::shared_ptr<const TItemIcon> icon)
      : text_(std::move(text)), icon_(std::move(icon)) {}
  const QString& text() const { return text_; }
  const TItemIcon* Icon() const { return icon_.get(); }

 private:
  friend class TListBox;
  QString text_;
  std::shared_ptr<const TItemIcon> icon_;
  std::optional<QString> filterText_;  // made by the first filter that reads it
};

// Typed characters select the first item whose text begins with them, ignoring case; the
// typed prefix starts afresh after this long without typing.
inline constexpr int kTypeAheadMilliseconds = 500;

class TListBox : public QListView {
  Q_OBJECT

 public:
  // Paints item index into rect; the window supplies it.
  using DrawItem = std::function<void(QPainter&, int index, const QRect&, QStyle::State)>;
  // The description the list shows under a name, which the filter also searches.
  using Describe = std::function<QString(const QString& name)>;

  TListBox(QWidget* parent, DrawItem drawItem, Describe describe);
  ~TListBox() override;

  // The number of items shown.
  int count() const { return static_cast<int>(shown_.size()); }
  // The item shown at index, or null.
  const TSoftwareItem* Item(int index) const;

  // The selected item's index, -1 when none is selected.
  int ItemIndex() const;
  void SetItemIndex(int index);
  // The index of the first visible item.
  int TopIndex() const;
  void SetTopIndex(int index);

  // Appends the item, or places it at its sorted position in sorted mode; it shows when it
  // passes the filter.
  void AddItem(const QString& text, std::shared_ptr<const TItemIcon> icon);
  void Clear();

  bool Sorted() const { return sorted_; }
  // Switching the mode reorders every item and keeps the first visible and the selected
  // index as numbers, whichever items now stand there.
  void SetSorted(bool sorted);

  // Shows only the items whose name or description contains text, compared after simple case
  // folding; empty text shows all. The selected item stays selected while it is shown.
  void SetFilter(const QString& text);

 signals:
  void EnterPressed();
  void DoubleClicked();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void keyboardSearch(const QString& search) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  class TModel;

  bool Shows(TSoftwareItem& item);
  // The shown items again from every item, in one reset of the model.
  void Refilter();
  // After kTypeAheadMilliseconds without typing, the typed prefix starts afresh.
  void ForgetStalePrefix();
  void SelectFirstStartingWith(const QString& prefix);

  QCollator collator_;
  Describe describe_;
  TModel* model_ = nullptr;  // owned as a child
  std::vector<std::unique_ptr<TSoftwareItem>> items_;
  std::vector<TSoftwareItem*> shown_;
  bool sorted_ = false;
  QString filter_;  // case-folded
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
