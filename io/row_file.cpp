#include "io/row_file.h"

#include "core/error.h"
#include "core/text_format.h"
#include "core/text_number.h"
#include "io/sidecars.h"

#include <cmath>
#include <vector>

namespace io {

namespace {

// The next line of `text` from `pos`: its content (without the line end) and
// the position after its line end. LF, CR LF and lone CR end a line.
struct Line {
  std::string_view content;
  std::size_t next;
};

Line nextline(std::string_view text, std::size_t pos) {
  std::size_t end = pos;
  while (end < text.size() && text[end] != '\n' && text[end] != '\r') ++end;
  std::size_t next = end;
  if (next < text.size()) next += (text[next] == '\r' && next + 1 < text.size() && text[next + 1] == '\n') ? 2 : 1;
  return {text.substr(pos, end - pos), next};
}

// The comment of a line: what follows its first percent sign, trimmed.
std::string_view commentof(std::string_view line) {
  const std::size_t at = line.find('%');
  if (at == std::string_view::npos) return {};
  std::string_view c = line.substr(at + 1);
  const auto blank = [](char ch) { return ch == ' ' || ch == '\t'; };
  while (!c.empty() && blank(c.front())) c.remove_prefix(1);
  while (!c.empty() && blank(c.back())) c.remove_suffix(1);
  return c;
}

} // namespace

std::vector<std::string_view> rowlines(std::string_view text) {
  std::vector<std::string_view> out;
  for (std::size_t pos = 0; pos < text.size();) {
    const Line line = nextline(text, pos);
    if (line.content.empty()) break;
    out.push_back(line.content);
    pos = line.next;
  }
  return out;
}

Eigen::MatrixXd dload(const std::string& fname, const core::Progress& progress, std::vector<std::string>* comments) {
  std::string text = readfile(fname);
  std::vector<double> values;
  values.reserve(text.size() / 8);
  std::size_t cols = 0, rows = 0, pos = 0;
  while (pos < text.size()) {
    const Line line = nextline(text, pos);
    // An empty line ends the data; what follows it is never read.
    if (line.content.empty()) {
      if (rows == 0) throw core::Error("File '" + fname + "' holds no data: its first line is empty");
      break;
    }
    const std::size_t lineno = rows + 1;
    const core::NumberScan scan = core::scan_numbers(line.content, values);
    if (!scan.bad.empty())
      throw core::Error("File '" + fname + "', line " + std::to_string(lineno) + ", column " +
                  std::to_string(scan.bad_column) + ": '" + std::string(scan.bad) + "' is not a number");
    // NaN and Inf written as such are read as such; a number written with
    // digits that no double can hold is a damaged value, not infinity.
    if (!scan.overflow.empty())
      throw core::Error("File '" + fname + "', line " + std::to_string(lineno) + ", column " +
                  std::to_string(scan.overflow_column) + ": '" + std::string(scan.overflow) +
                  "' is beyond the range of numbers (about 1.8e308)");
    // An infinite coordinate is no measurement, and no missing landmark
    // either: it would pass through every fit as a number.
    if (!scan.infinite.empty())
      throw core::Error("File '" + fname + "', line " + std::to_string(lineno) + ", column " +
                        std::to_string(scan.infinite_column) + ": '" + std::string(scan.infinite) +
                        "' is not a finite number");
    if (scan.count == 0)
      throw core::Error("File '" + fname + "', line " + std::to_string(lineno) + " holds no numbers");
    if (comments) comments->emplace_back(commentof(line.content));
    if (rows == 0) cols = scan.count;
    else if (scan.count != cols)
      throw core::Error("File '" + fname + "', line " + std::to_string(lineno) + " holds " + std::to_string(scan.count) +
                  " numbers where line 1 holds " + std::to_string(cols));
    ++rows;
    pos = line.next;
    if (progress && rows % 4096 == 0 && !progress(static_cast<double>(pos) / static_cast<double>(text.size())))
      throw core::Cancelled("Loading '" + fname + "' was cancelled; nothing was loaded");
  }
  if (rows == 0) throw core::Error("File '" + fname + "' holds no data");
  // The text goes before the numbers are laid out in columns, so that a
  // large file is held at most twice over at any moment.
  std::string().swap(text);
  using RowMajor = Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic, Eigen::RowMajor>;
  return Eigen::Map<const RowMajor>(values.data(), static_cast<Eigen::Index>(rows), static_cast<Eigen::Index>(cols));
}

std::string formatrows(const Eigen::MatrixXd& data, std::string_view valueformat, std::string_view rowend) {
  const core::CompiledFormat value(valueformat);
  const std::string end = core::format(rowend);
  std::string out;
  out.reserve(static_cast<std::size_t>(data.size()) * 12 + static_cast<std::size_t>(data.rows()) * end.size());
  for (Eigen::Index i = 0; i < data.rows(); ++i) {
    for (Eigen::Index j = 0; j < data.cols(); ++j) {
      const std::size_t at = out.size();
      value.append(out, data(i, j));
      // A missing value is written as the row format codes it, "NaN", and
      // not as C's "nan", so that other programs read it back too.
      if (std::isnan(data(i, j)))
        if (const std::size_t p = out.find("nan", at); p != std::string::npos) out.replace(p, 3, "NaN");
    }
    out += end;
  }
  return out;
}

void writerows(const std::string& fname, const Eigen::MatrixXd& data, std::string_view valueformat,
               std::string_view rowend, WriteMode mode) {
  writefile(fname, formatrows(data, valueformat, rowend), mode);
  removesidecars(fname);
}

std::string formatrows(const Eigen::MatrixXd& data, Precision precision) {
  if (precision == Precision::g6) return formatrows(data, "%g ", " \n");
  std::string out;
  out.reserve(static_cast<std::size_t>(data.size()) * 12);
  for (Eigen::Index i = 0; i < data.rows(); ++i) {
    for (Eigen::Index j = 0; j < data.cols(); ++j) {
      appendroundtrip(out, data(i, j));
      out += ' ';
    }
    out += " \n";
  }
  return out;
}

} // namespace io
