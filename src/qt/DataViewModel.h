// A hexadecimal view (ui/DataViews.h) as a Qt table model. Rows are made when the view asks for them,
// so 2 MiB of flash (131,072 rows) opens at once and scrolls as fast as a small file.
#pragma once

#include <QAbstractTableModel>

#include <cstdint>

#include "ui/DataViews.h"

class QTableView;

namespace tarvel {

class DataViewModel : public QAbstractTableModel {
 public:
  explicit DataViewModel(const DataView& view, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

  // After the window model may have changed the view: a new layout resets the table, otherwise the
  // shown rows are redrawn (the image under them may have changed).
  void refresh();
  // Rows `first` .. `first + count - 1` changed in place.
  void rowsChanged(int first, int count);

 private:
  const DataView& view_;
  uint64_t generation_;
  int rows_;
  // The last row asked for: a row's 18 cells are asked for one after another.
  mutable int cachedRow_ = -1;
  mutable ViewRow cached_;
};

// The grid's look: the model's column widths and row height, one fixed header row.
void SetUpDataGrid(QTableView& table, DataViewModel& model, bool eepView);

}  // namespace tarvel
