#pragma once
// A table of results in a window: a sortable view over a shell::Table with
// its title above and an "Export CSV…" button below. Clicking a header
// sorts by that column, numbers as numbers (9 before 10) and the rows
// without a value last; the export writes the table as held, in its own
// order and with every digit.

#include "shell/table.h"

#include <QAbstractTableModel>
#include <QWidget>
#include <optional>

class QLabel;
class QPushButton;
class QSortFilterProxyModel;
class QTableView;

namespace shell {

// The cells of a Table for Qt's views: Qt::DisplayRole gives celltext,
// Qt::UserRole the value sorted by (the number, or the text).
class TableModel : public QAbstractTableModel {
public:
  using QAbstractTableModel::QAbstractTableModel;
  void settable(std::optional<Table> table);
  const std::optional<Table>& table() const { return table_; }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
  std::optional<Table> table_;
};

class TableBox : public QWidget {
public:
  explicit TableBox(QWidget* parent = nullptr);

  // Shows the table (empties the view for none).
  void settable(std::optional<Table> table);
  const std::optional<Table>& table() const { return model_->table(); }
  QTableView* view() const { return view_; }

  // Asks for a .csv file (named after the table) and writes the table to
  // it; false when there is no table, the user cancelled, or the write
  // failed (said in a message box).
  bool exportdialog();

private:
  TableModel* model_;
  QSortFilterProxyModel* sorted_;
  QTableView* view_;
  QLabel* title_;
  QPushButton* export_;
  QString folder_;
};

} // namespace shell
