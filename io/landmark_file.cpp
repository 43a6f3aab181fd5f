#include "io/landmark_file.h"

#include "io/row_file.h"
#include "io/sidecars.h"
#include "io/text_file.h"
#include "io/tps_file.h"

#include <cctype>
#include <filesystem>
#include <fstream>

namespace io {

bool istpsfile(const std::string& path) {
  // Only a regular file is looked into: opening a FIFO would wait for a
  // writer. Anything else goes to the row reader, which refuses it by name.
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return false;
  std::ifstream in(path, std::ios::binary);
  std::string head(1 << 16, '\0');
  in.read(head.data(), static_cast<std::streamsize>(head.size()));
  std::string_view text(head.data(), static_cast<std::size_t>(in.gcount()));
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  for (std::size_t pos = 0; pos < text.size();) {
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) ++pos;
    if (text.size() - pos >= 3 && (text[pos] == 'L' || text[pos] == 'l') &&
        (text[pos + 1] == 'M' || text[pos + 1] == 'm') && text[pos + 2] == '=')
      return true;
    pos = text.find_first_of("\r\n", pos);
    if (pos == std::string_view::npos) break;
    ++pos;
  }
  return false;
}

core::Specimens readlandmarks(const std::string& path, const core::Progress& progress, const ReadOptions& options) {
  if (istpsfile(path)) return readtpsfile(path, progress, options);
  Eigen::MatrixXd y = dload(path, progress);
  // The size slot after the landmarks is no coordinate.
  const Eigen::Index k = y.cols() / 2;
  Eigen::RowVectorXd row(2 * k);
  for (Eigen::Index i = 0; i < y.rows(); ++i) {
    row = y.row(i).head(2 * k);
    markmissing(row.data(), static_cast<std::size_t>(k), options.code());
    y.row(i).head(2 * k) = row;
  }
  JoinedIds joined = joinids(path, static_cast<std::size_t>(y.rows()));
  core::Specimens out(std::move(y), std::move(joined.ids), path);
  out.readby(options.code(), std::move(joined.notes));
  return out;
}

core::Specimens readlandmarks(const std::string& path, const ReadOptions& options) {
  return readlandmarks(path, {}, options);
}

void writespecimens(const std::string& path, const core::Specimens& data, Precision precision) {
  writefile(path, formatrows(data.matrix(), precision), WriteMode::Replace);
  writeids(path, data.writtenkeys());
  std::error_code ec;
  std::filesystem::remove(estimatedpath(path), ec);
}

} // namespace io
