#pragma once
// A table of results: what an action found per specimen or per run, kept
// as values so that a window can sort it by any column and a CSV file
// holds every digit. A window shows it beside the report's text; a script
// exports it (`export FILE.csv`). No Qt here.

#include <string>
#include <variant>
#include <vector>

namespace shell {

// A number (NaN where there is no value), or a text.
using Cell = std::variant<double, std::string>;

struct Table {
  std::string title;                  // what the table holds, for its heading
  std::vector<std::string> columns;   // the header
  std::vector<std::vector<Cell>> rows; // each as many cells as there are columns
  // The column of the specimens' IDs (always written in quotes, so that an
  // ID of 007 stays 007 in a spreadsheet); -1 for a table of no specimens.
  int idcolumn = -1;

  // Adds a row; raises core::Error naming the table when its length is not
  // the header's.
  void add(std::vector<Cell> row);
};

// The table as CSV (io/csv.h): the header, then one record per row, every
// record ending in CR LF.
std::string formatcsv(const Table& table);
// Writes formatcsv to `path`, replacing the file all or nothing. Raises
// core::Error naming the file when that fails.
void writecsv(const std::string& path, const Table& table);

// A cell as the window shows it: a number to six significant digits,
// nothing for NaN, a text as it is.
std::string celltext(const Cell& cell);

} // namespace shell
