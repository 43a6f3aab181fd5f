#include "shell/qt/table_view.h"

#include "io/csv.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QVBoxLayout>
#include <cmath>
#include <limits>

namespace shell {

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }

// A file name made of the table's title: letters, digits and dashes.
QString filestem(const std::string& title) {
  QString stem;
  for (const QChar c : qs(title))
    if (c.isLetterOrNumber()) stem += c.toLower();
    else if (!stem.isEmpty() && !stem.endsWith('-')) stem += '-';
  while (stem.endsWith('-')) stem.chop(1);
  return stem.isEmpty() ? QStringLiteral("table") : stem;
}

} // namespace

void TableModel::settable(std::optional<Table> table) {
  beginResetModel();
  table_ = std::move(table);
  endResetModel();
}

int TableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() || !table_ ? 0 : static_cast<int>(table_->rows.size());
}

int TableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() || !table_ ? 0 : static_cast<int>(table_->columns.size());
}

QVariant TableModel::data(const QModelIndex& index, int role) const {
  if (!table_ || !index.isValid()) return {};
  const Cell& cell = table_->rows[static_cast<std::size_t>(index.row())][static_cast<std::size_t>(index.column())];
  const double* v = std::get_if<double>(&cell);
  switch (role) {
  case Qt::DisplayRole:
    return qs(celltext(cell));
  case Qt::UserRole:
    // NaN sorts after every number, ascending.
    if (v != nullptr) return std::isnan(*v) ? std::numeric_limits<double>::infinity() : *v;
    return qs(std::get<std::string>(cell));
  case Qt::TextAlignmentRole:
    return v != nullptr ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
  case Qt::ToolTipRole:
    // Every digit the CSV file will hold.
    if (v != nullptr && !std::isnan(*v)) return QString::number(*v, 'g', 17);
    return {};
  default:
    return {};
  }
}

QVariant TableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (!table_ || role != Qt::DisplayRole) return {};
  if (orientation == Qt::Vertical) return section + 1;
  return qs(table_->columns[static_cast<std::size_t>(section)]);
}

TableBox::TableBox(QWidget* parent) : QWidget(parent) {
  setObjectName("ResultsTableBox");
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  title_ = new QLabel(this);
  title_->setObjectName("ResultsTableTitle");
  title_->setWordWrap(true);
  layout->addWidget(title_);
  model_ = new TableModel(this);
  sorted_ = new QSortFilterProxyModel(this);
  sorted_->setSourceModel(model_);
  sorted_->setSortRole(Qt::UserRole);
  view_ = new QTableView(this);
  view_->setObjectName("ResultsTable");
  view_->setModel(sorted_);
  view_->setSortingEnabled(true);
  view_->setSelectionBehavior(QAbstractItemView::SelectRows);
  view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  view_->verticalHeader()->setDefaultSectionSize(view_->fontMetrics().height() + 6);
  layout->addWidget(view_, 1);
  auto* row = new QHBoxLayout;
  export_ = new QPushButton(tr("Export CSV") + QChar(0x2026), this);
  export_->setObjectName("ExportTable");
  export_->setToolTip(tr("Save this table as a CSV file (a header row, specimen IDs in quotes, every digit) for R, "
                         "Python or a spreadsheet"));
  row->addWidget(export_);
  row->addStretch(1);
  layout->addLayout(row);
  connect(export_, &QPushButton::clicked, this, [this] { exportdialog(); });
  folder_ = QDir::currentPath();
}

void TableBox::settable(std::optional<Table> table) {
  title_->setText(table ? qs(table->title) : QString());
  // The rows in the order the action gave them until a header is clicked.
  view_->sortByColumn(-1, Qt::AscendingOrder);
  model_->settable(std::move(table));
  view_->resizeColumnsToContents();
}

bool TableBox::exportdialog() {
  const std::optional<Table>& t = table();
  if (!t) return false;
  const QString caption = tr("Export the table as CSV");
  QString path = QFileDialog::getSaveFileName(this, caption, QDir(folder_).filePath(filestem(t->title) + ".csv"),
                                              tr("CSV files (*.csv);;All files (*)"));
  if (path.isEmpty()) return false;
  if (QFileInfo(path).suffix().isEmpty()) path += ".csv";
  folder_ = QFileInfo(path).absolutePath();
  try {
    writecsv(path.toStdString(), *t);
  } catch (const std::exception& e) {
    QMessageBox::warning(this, caption, QString::fromUtf8(e.what()));
    return false;
  }
  return true;
}

} // namespace shell
