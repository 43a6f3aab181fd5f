#include "io/csv.h"

#include "io/text_file.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>

namespace io {

std::string csvtext(std::string_view text, bool quote) {
  if (!quote && text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + '"';
}

std::string csvnumber(double value) {
  if (std::isnan(value)) return "";
  if (std::isinf(value)) return value > 0 ? "Inf" : "-Inf";
  char text[32];
  // Shortest round trip: to_chars without a precision gives the fewest
  // digits that parse back to exactly this double.
  const auto end = std::to_chars(text, text + sizeof text, value).ptr;
  return std::string(text, end);
}

std::string csvrecord(const std::vector<std::string>& fields) {
  std::string out;
  for (std::size_t i = 0; i < fields.size(); ++i) out += (i > 0 ? "," : "") + fields[i];
  return out.append(csvlineend);
}

bool iscsvname(const std::string& path) {
  if (path.size() < 4) return false;
  std::string end = path.substr(path.size() - 4);
  std::transform(end.begin(), end.end(), end.begin(), [](unsigned char c) { return std::tolower(c); });
  return end == ".csv";
}

std::string formatspecimenscsv(const core::Specimens& data) {
  const Eigen::MatrixXd& y = data.matrix();
  std::vector<std::string> fields{"specimen", "ID"};
  for (Eigen::Index l = 1; l <= data.k(); ++l) {
    fields.push_back("x" + std::to_string(l));
    fields.push_back("y" + std::to_string(l));
  }
  if (y.cols() > 2 * data.k()) fields.push_back("size");
  std::string out = csvrecord(fields);
  for (Eigen::Index i = 0; i < y.rows(); ++i) {
    fields = {std::to_string(i + 1), csvtext(data.ids().id(static_cast<std::size_t>(i)), true)};
    for (Eigen::Index j = 0; j < y.cols(); ++j) fields.push_back(csvnumber(y(i, j)));
    out += csvrecord(fields);
  }
  return out;
}

void writespecimenscsv(const std::string& path, const core::Specimens& data) {
  writefile(path, formatspecimenscsv(data), WriteMode::Replace);
}

} // namespace io
