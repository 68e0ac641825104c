// The information panel: a read-only list of the log's lines. Its model reads the lines from the log
// itself, so the panel holds no second copy of the text, a burst of lines is one row insertion, and a
// week of a busy line (a million lines) scrolls as fast as ten.
#pragma once

#include <QAbstractTableModel>
#include <QTableView>

#include "base/InfoLog.h"

namespace tarvel {

class InfoLogModel : public QAbstractTableModel {
 public:
  explicit InfoLogModel(const InfoLog& log, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

  // A line was appended to the log (the log's listener).
  void lineAppended() { ++pending_; }
  // Shows what the log holds now: the lines appended since, or the whole log again after it was cleared.
  // Returns the first row that is new (0 after a reset: every row is).
  int sync();

 private:
  const InfoLog& log_;
  int shown_ = 0;
  size_t pending_ = 0;
};

class InfoPanelView : public QTableView {
 public:
  InfoPanelView(const InfoLog& log, QWidget* parent);

  InfoLogModel& lines() { return model_; }
  // Takes the log's new lines; follows the newest line unless the user has scrolled back to read.
  void sync();
  // The selected lines, top to bottom, joined with '\n'; empty when none is selected.
  QString selectedText() const;

 private:
  void fitColumn();

  const InfoLog& log_;
  InfoLogModel model_;
  int widest_ = 0;  // pixels, of the widest line shown
};

}  // namespace tarvel
