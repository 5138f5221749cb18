#include "app/ListBox.h"

#include <QKeyEvent>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <vector>

namespace varnel {

void TListBoxDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
  drawItem_(*painter, index.row(), option.rect, option.state);
}

QSize TListBoxDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const {
  return QSize(1, kItemHeight);
}

TListBox::TListBox(QWidget* parent, DrawItem drawItem)
    : QListWidget(parent), collator_(QLocale::system()) {
  collator_.setCaseSensitivity(Qt::CaseInsensitive);
  setItemDelegate(new TListBoxDelegate(this, std::move(drawItem)));
  setUniformItemSizes(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
}

int TListBox::ItemIndex() const {
  const QList<QListWidgetItem*> selected = selectedItems();
  return selected.isEmpty() ? -1 : row(selected.front());
}

void TListBox::SetItemIndex(int index) {
  if (index < 0 || index >= count()) {
    clearSelection();
    return;
  }
  setCurrentRow(index, QItemSelectionModel::ClearAndSelect);
}

int TListBox::TopIndex() const {
  QListWidgetItem* top = itemAt(QPoint(0, 0));
  return top == nullptr ? 0 : row(top);
}

void TListBox::SetTopIndex(int index) {
  if (QListWidgetItem* top = item(index)) scrollToItem(top, QAbstractItemView::PositionAtTop);
}

void TListBox::AddItem(const QString& text, std::shared_ptr<const TItemIcon> icon) {
  auto* entry = new TSoftwareItem(text, std::move(icon));
  if (sorted_) {
    insertItem(SortedPosition(text), entry);
  } else {
    addItem(entry);
  }
}

const TSoftwareItem* TListBox::Item(int index) const {
  return static_cast<const TSoftwareItem*>(item(index));
}

void TListBox::Clear() {
  clear();
}

int TListBox::SortedPosition(const QString& text) const {
  // After the items that compare equal, so equal names keep the order they were added in.
  int low = 0;
  int high = count();
  while (low < high) {
    int middle = (low + high) / 2;
    if (collator_.compare(text, item(middle)->text()) < 0) {
      high = middle;
    } else {
      low = middle + 1;
    }
  }
  return low;
}

void TListBox::SetSorted(bool sorted) {
  if (sorted == sorted_) return;
  const int top = TopIndex();
  const int selected = ItemIndex();
  std::vector<QListWidgetItem*> items;
  items.reserve(static_cast<size_t>(count()));
  while (count() > 0) items.push_back(takeItem(count() - 1));
  std::reverse(items.begin(), items.end());
  sorted_ = sorted;
  if (sorted_) {
    std::stable_sort(items.begin(), items.end(), [this](QListWidgetItem* a, QListWidgetItem* b) {
      return collator_.compare(a->text(), b->text()) < 0;
    });
  }
  for (QListWidgetItem* entry : items) addItem(entry);
  SetTopIndex(top);
  SetItemIndex(selected);
}

void TListBox::keyPressEvent(QKeyEvent* event) {
  // Run answers the typed character 13, which Ctrl (line feed) and Alt (a menu key) change.
  const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  if (enter && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))) {
    emit EnterPressed();
  }
  if (event->key() == Qt::Key_Backspace) {
    ForgetStalePrefix();
    if (!typed_.isEmpty()) {
      typed_.chop(1);
      lastTyped_.start();
      SelectFirstStartingWith(typed_);
      return;
    }
  }
  QListWidget::keyPressEvent(event);
}

void TListBox::ForgetStalePrefix() {
  if (!lastTyped_.isValid() || lastTyped_.elapsed() > kTypeAheadMilliseconds) typed_.clear();
}

void TListBox::keyboardSearch(const QString& search) {
  ForgetStalePrefix();
  lastTyped_.start();
  typed_ += search;
  SelectFirstStartingWith(typed_);
}

void TListBox::SelectFirstStartingWith(const QString& prefix) {
  if (prefix.isEmpty()) return;
  for (int i = 0; i < count(); ++i) {
    if (item(i)->text().startsWith(prefix, Qt::CaseInsensitive)) {
      SetItemIndex(i);
      scrollToItem(item(i));
      return;
    }
  }
}

void TListBox::mouseDoubleClickEvent(QMouseEvent* event) {
  QListWidget::mouseDoubleClickEvent(event);
  if (event->button() == Qt::LeftButton) emit DoubleClicked();
}

}  // namespace varnel
