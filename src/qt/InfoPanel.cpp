#include "qt/InfoPanel.h"

#include <QHeaderView>
#include <QScrollBar>
#include <QStyle>

#include <algorithm>
#include <climits>

#include "qt/QtText.h"

namespace tarvel {

InfoLogModel::InfoLogModel(const InfoLog& log, QObject* parent) : QAbstractTableModel(parent), log_(log) {}

int InfoLogModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : shown_; }

int InfoLogModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 1; }

QVariant InfoLogModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole || !index.isValid() || index.row() >= shown_) return {};
  return Qs(log_.lines()[static_cast<size_t>(index.row())]);
}

int InfoLogModel::sync() {
  const size_t size = std::min<size_t>(log_.size(), INT_MAX);
  const size_t expected = static_cast<size_t>(shown_) + pending_;
  pending_ = 0;
  if (size != expected) {  // cleared since (and maybe refilled): show the log as it is
    beginResetModel();
    shown_ = static_cast<int>(size);
    endResetModel();
    return 0;
  }
  const int first = shown_;
  if (size == static_cast<size_t>(shown_)) return first;
  beginInsertRows(QModelIndex(), first, static_cast<int>(size) - 1);
  shown_ = static_cast<int>(size);
  endInsertRows();
  return first;
}

InfoPanelView::InfoPanelView(const InfoLog& log, QWidget* parent) : QTableView(parent), log_(log), model_(log, this) {
  setModel(&model_);
  horizontalHeader()->hide();
  verticalHeader()->hide();
  // Every line is one row of the same height: the view places a million of them without asking each.
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 2);
  // The one column fills the panel, and is as wide as the widest line when that is wider (fitColumn).
  horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
  setShowGrid(false);
  setWordWrap(false);
  setTextElideMode(Qt::ElideNone);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  sync();
}

void InfoPanelView::sync() {
  QScrollBar* bar = verticalScrollBar();
  const bool atEnd = bar->value() == bar->maximum();
  const int first = model_.sync();
  if (first == 0) widest_ = 0;
  const QFontMetrics metrics(font());
  const auto& lines = log_.lines();
  for (int r = first; r < model_.rowCount(); ++r)
    widest_ = std::max(widest_, metrics.horizontalAdvance(Qs(lines[static_cast<size_t>(r)])));
  fitColumn();
  if (first < model_.rowCount() && atEnd) scrollToBottom();
}

QString InfoPanelView::selectedText() const {
  QModelIndexList rows = selectionModel()->selectedRows();
  std::sort(rows.begin(), rows.end(), [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
  QStringList text;
  for (const QModelIndex& r : rows) text << model_.data(r).toString();
  return text.join('\n');
}

void InfoPanelView::fitColumn() {
  // A line wider than the panel makes the column wider than the panel, which then scrolls sideways to it.
  // (The item's text margin is the style's focus-frame margin and one pixel, on either side.)
  const int width = widest_ + 2 * (style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1);
  if (horizontalHeader()->minimumSectionSize() != width) horizontalHeader()->setMinimumSectionSize(width);
}

}  // namespace tarvel
