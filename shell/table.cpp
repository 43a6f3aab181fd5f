#include "shell/table.h"

#include "core/error.h"
#include "core/text_format.h"
#include "io/csv.h"
#include "io/text_file.h"

#include <cmath>

namespace shell {

void Table::add(std::vector<Cell> row) {
  if (row.size() != columns.size())
    throw core::Error("The table '" + title + "' has " + std::to_string(columns.size()) + " columns; a row of " +
                      std::to_string(row.size()) + " cells does not fit it");
  rows.push_back(std::move(row));
}

std::string formatcsv(const Table& table) {
  std::vector<std::string> fields;
  for (const std::string& c : table.columns) fields.push_back(io::csvtext(c));
  std::string out = io::csvrecord(fields);
  for (const auto& row : table.rows) {
    fields.clear();
    for (std::size_t j = 0; j < row.size(); ++j) {
      const bool id = static_cast<int>(j) == table.idcolumn;
      if (const double* v = std::get_if<double>(&row[j]))
        fields.push_back(id ? io::csvtext(io::csvnumber(*v), true) : io::csvnumber(*v));
      else fields.push_back(io::csvtext(std::get<std::string>(row[j]), id));
    }
    out += io::csvrecord(fields);
  }
  return out;
}

void writecsv(const std::string& path, const Table& table) {
  io::writefile(path, formatcsv(table), io::WriteMode::Replace);
}

std::string celltext(const Cell& cell) {
  if (const double* v = std::get_if<double>(&cell)) return std::isnan(*v) ? "" : core::format("%.6g", *v);
  return std::get<std::string>(cell);
}

} // namespace shell
