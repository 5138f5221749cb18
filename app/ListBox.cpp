#include "app/ListBox.h"

#include <QAbstractListModel>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

namespace varnel {

// The shown items as rows; the list changes them and tells the view through these members.
class TListBox::TModel : public QAbstractListModel {
 public:
  explicit TModel(TListBox& list) : QAbstractListModel(&list), list_(list) {}

  int rowCount(const QModelIndex& parent) const override {
    return parent.isValid() ? 0 : list_.count();
  }
  QVariant data(const QModelIndex& index, int role) const override {
    const TSoftwareItem* item = list_.Item(index.row());
    return item != nullptr && role == Qt::DisplayRole ? QVariant(item->text()) : QVariant();
  }

  using QAbstractListModel::beginInsertRows;
  using QAbstractListModel::beginResetModel;
  using QAbstractListModel::endInsertRows;
  using QAbstractListModel::endResetModel;

 private:
  TListBox& list_;
};

void TListBoxDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
  drawItem_(*painter, index.row(), option.rect, option.state);
}

QSize TListBoxDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const {
  return QSize(1, kItemHeight);
}

TListBox::TListBox(QWidget* parent, DrawItem drawItem, Describe describe)
    : QListView(parent), collator_(QLocale::system()), describe_(std::move(describe)) {
  collator_.setCaseSensitivity(Qt::CaseInsensitive);
  model_ = new TModel(*this);
  setModel(model_);
  setItemDelegate(new TListBoxDelegate(this, std::move(drawItem)));
  setUniformItemSizes(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
}

TListBox::~TListBox() = default;

const TSoftwareItem* TListBox::Item(int index) const {
  return index >= 0 && index < count() ? shown_[static_cast<size_t>(index)] : nullptr;
}

int TListBox::ItemIndex() const {
  const QModelIndexList selected = selectionModel()->selectedIndexes();
  return selected.isEmpty() ? -1 : selected.front().row();
}

void TListBox::SetItemIndex(int index) {
  if (index < 0 || index >= count()) {
    clearSelection();
    return;
  }
  selectionModel()->setCurrentIndex(model_->index(index), QItemSelectionModel::ClearAndSelect);
}

int TListBox::TopIndex() const {
  const QModelIndex top = indexAt(QPoint(0, 0));
  return top.isValid() ? top.row() : 0;
}

void TListBox::SetTopIndex(int index) {
  if (index >= 0 && index < count()) scrollTo(model_->index(index), PositionAtTop);
}

namespace {

// Where text goes among items ordered by collator: after the items that compare equal, so
// equal names keep the order they were added in.
template <typename Items>
size_t SortedPosition(const Items& items, const QString& text, const QCollator& collator) {
  return static_cast<size_t>(std::upper_bound(items.begin(), items.end(), text,
                                              [&collator](const QString& t, const auto& item) {
                                                return collator.compare(t, item->text()) < 0;
                                              }) -
                             items.begin());
}

// Case-folded, each character to one (simple folding): "Σ", "σ" and "ς" all match one
// another, as do "K" and the Kelvin sign.
QString FoldCase(const QString& text) {
  return text.toCaseFolded();
}

}  // namespace

void TListBox::AddItem(const QString& text, std::shared_ptr<const TItemIcon> icon) {
  auto owned = std::make_unique<TSoftwareItem>(text, std::move(icon));
  TSoftwareItem& item = *owned;
  const size_t at = sorted_ ? SortedPosition(items_, text, collator_) : items_.size();
  items_.insert(items_.begin() + static_cast<ptrdiff_t>(at), std::move(owned));
  if (!Shows(item)) return;
  // The shown items keep the order of all items, so the sorted place among them is the same.
  const size_t row = sorted_ ? SortedPosition(shown_, text, collator_) : shown_.size();
  model_->beginInsertRows(QModelIndex(), static_cast<int>(row), static_cast<int>(row));
  shown_.insert(shown_.begin() + static_cast<ptrdiff_t>(row), &item);
  model_->endInsertRows();
}

void TListBox::Clear() {
  model_->beginResetModel();
  shown_.clear();
  items_.clear();
  model_->endResetModel();
}

void TListBox::SetSorted(bool sorted) {
  if (sorted == sorted_) return;
  const int top = TopIndex();
  const int selected = ItemIndex();
  sorted_ = sorted;
  if (sorted_) {
    std::stable_sort(items_.begin(), items_.end(), [this](const auto& a, const auto& b) {
      return collator_.compare(a->text(), b->text()) < 0;
    });
  }
  Refilter();
  SetTopIndex(top);
  SetItemIndex(selected);
}

void TListBox::SetFilter(const QString& text) {
  const QString folded = FoldCase(text);
  if (folded == filter_) return;
  const TSoftwareItem* selected = Item(ItemIndex());
  filter_ = folded;
  Refilter();
  const auto at = std::find(shown_.begin(), shown_.end(), selected);
  if (selected != nullptr && at != shown_.end()) {
    SetItemIndex(static_cast<int>(at - shown_.begin()));
    scrollTo(currentIndex());
  }
}

bool TListBox::Shows(TSoftwareItem& item) {
  if (filter_.isEmpty()) return true;
  if (!item.filterText_) {
    // Name and description apart, so that no match runs from one into the other.
    item.filterText_ = FoldCase(item.text() + QChar(u'\n') + describe_(item.text()));
  }
  return item.filterText_->contains(filter_);
}

void TListBox::Refilter() {
  model_->beginResetModel();
  shown_.clear();
  for (const auto& item : items_) {
    if (Shows(*item)) shown_.push_back(item.get());
  }
  model_->endResetModel();
}

void TListBox::keyPressEvent(QKeyEvent* event) {
  // Run answers the typed character 13, which Ctrl (line feed) and Alt (a menu key) change.
  const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  if (enter && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))) {
    emit EnterPressed();
  }
  if (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier) {
    // The context menu at the current item, as the Menu key opens it.
    const QPoint at = inputMethodQuery(Qt::ImCursorRectangle).toRect().center();
    QContextMenuEvent menu(QContextMenuEvent::Keyboard, at, mapToGlobal(at), event->modifiers());
    QCoreApplication::sendEvent(this, &menu);
    return;
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
  QListView::keyPressEvent(event);
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
    if (Item(i)->text().startsWith(prefix, Qt::CaseInsensitive)) {
      SetItemIndex(i);
      scrollTo(model_->index(i));
      return;
    }
  }
}

void TListBox::mouseDoubleClickEvent(QMouseEvent* event) {
  QListView::mouseDoubleClickEvent(event);
  if (event->button() == Qt::LeftButton) emit DoubleClicked();
}

}  // namespace varnel
