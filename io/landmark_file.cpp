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
  char head[4096];
  in.read(head, sizeof head);
  std::string_view text(head, static_cast<std::size_t>(in.gcount()));
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
  return text.size() >= 3 && (text[0] == 'L' || text[0] == 'l') && (text[1] == 'M' || text[1] == 'm') &&
         text[2] == '=';
}

core::Specimens readlandmarks(const std::string& path, const core::Progress& progress) {
  if (istpsfile(path)) return readtpsfile(path, progress);
  Eigen::MatrixXd y = dload(path, progress);
  core::Identities ids;
  const std::string sidecar = idspath(path);
  std::error_code ec;
  if (std::filesystem::is_regular_file(sidecar, ec)) {
    core::Identities read = parseids(readfile(sidecar), sidecar);
    // A sidecar of another length belongs to another version of the data.
    if (read.size() == static_cast<std::size_t>(y.rows())) ids = std::move(read);
  }
  return core::Specimens(std::move(y), std::move(ids), path);
}

void writespecimens(const std::string& path, const core::Specimens& data) {
  writerows(path, data.matrix(), "%g ", " \n", WriteMode::Replace);
  writeids(path, data.ids());
}

} // namespace io
