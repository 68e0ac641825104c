#include "qt/DataViewModel.h"

#include <QFontDatabase>
#include <QHeaderView>
#include <QTableView>

#include "qt/QtText.h"

namespace tarvel {

DataViewModel::DataViewModel(const DataView& view, QObject* parent)
    : QAbstractTableModel(parent), view_(view), generation_(view.generation()), rows_(view.rowCount()) {}

int DataViewModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : rows_; }

int DataViewModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kViewColumns; }

QVariant DataViewModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rows_) return {};
  if (role == Qt::TextAlignmentRole)
    return index.column() == 17 ? QVariant(Qt::AlignLeft | Qt::AlignVCenter) : QVariant(Qt::AlignCenter);
  if (role != Qt::DisplayRole) return {};
  if (cachedRow_ != index.row()) {
    cached_ = view_.Row(index.row());
    cachedRow_ = index.row();
  }
  return Qs(cached_[static_cast<size_t>(index.column())]);
}

QVariant DataViewModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= kViewColumns) return {};
  static const ViewRow header = DataView::Header();
  return Qs(header[static_cast<size_t>(section)]);
}

void DataViewModel::refresh() {
  if (view_.generation() == generation_) return;
  generation_ = view_.generation();
  cachedRow_ = -1;
  if (view_.rowCount() != rows_) {
    beginResetModel();
    rows_ = view_.rowCount();
    endResetModel();
  } else if (rows_ > 0) {
    emit dataChanged(index(0, 0), index(rows_ - 1, kViewColumns - 1), {Qt::DisplayRole});
  }
}

void DataViewModel::rowsChanged(int first, int count) {
  cachedRow_ = -1;
  const int last = std::min(rows_ - 1, first + count - 1);
  if (first < 0 || first > last) return;
  emit dataChanged(index(first, 0), index(last, kViewColumns - 1), {Qt::DisplayRole});
}

void SetUpDataGrid(QTableView& table, DataViewModel& model, bool eepView) {
  table.setModel(&model);
  // A fixed-pitch font small enough that "0x00000000" fits the address column.
  QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  font.setPixelSize(10);
  table.setFont(font);
  table.setWordWrap(false);
  table.setTextElideMode(Qt::ElideNone);
  table.setSelectionMode(QAbstractItemView::SingleSelection);
  table.setEditTriggers(QAbstractItemView::NoEditTriggers);
  table.verticalHeader()->hide();
  // Fixed sizes: Qt then never measures rows, which keeps a 131,072-row view instant.
  table.verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  table.verticalHeader()->setMinimumSectionSize(1);
  table.verticalHeader()->setDefaultSectionSize(kViewRowHeight);
  QHeaderView* h = table.horizontalHeader();
  h->setSectionResizeMode(QHeaderView::Fixed);
  h->setMinimumSectionSize(1);
  h->setFixedHeight(kViewRowHeight);
  h->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  table.setColumnWidth(0, eepView ? kViewEepAddressWidth : kViewAddressWidth);
  for (int c = 1; c <= 16; ++c) table.setColumnWidth(c, kViewByteWidth);
  table.setColumnWidth(17, kViewTextWidth);
}

}  // namespace tarvel
