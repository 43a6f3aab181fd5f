#include "core/landmark_file.h"

#include "core/error.h"
#include "core/row_file.h"
#include "core/text_file.h"
#include "core/tps_file.h"

#include <cctype>
#include <filesystem>
#include <fstream>

namespace core {

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

Specimens readlandmarks(const std::string& path, const Progress& progress) {
  if (istpsfile(path)) return readtpsfile(path, progress);
  Eigen::MatrixXd y = dload(path, progress);
  Identities ids;
  const std::string sidecar = idspath(path);
  std::error_code ec;
  if (std::filesystem::is_regular_file(sidecar, ec)) {
    Identities read = parseids(readfile(sidecar), sidecar);
    // A sidecar of another length belongs to another version of the data.
    if (read.size() == static_cast<std::size_t>(y.rows())) ids = std::move(read);
  }
  return Specimens(std::move(y), std::move(ids), path);
}

void writespecimens(const std::string& path, const Specimens& data) {
  writerows(path, data.matrix(), "%g ", " \n", WriteMode::Replace);
  writeids(path, data.ids());
}

std::string idspath(const std::string& datapath) { return datapath + ".ids"; }

std::string formatids(const Identities& ids) {
  std::string out = "% specimen identities, one line per row of the data file: its TPS key lines, tab-separated\n";
  for (const auto& keys : ids.keys) {
    for (std::size_t i = 0; i < keys.size(); ++i) out += (i > 0 ? "\t" : "") + keys[i];
    out += "\n";
  }
  return out;
}

void writeids(const std::string& datapath, const Identities& ids) {
  if (ids.empty()) return;
  writefile(idspath(datapath), formatids(ids), WriteMode::Replace);
}

Identities parseids(const std::string& text, const std::string& path) {
  Identities ids;
  std::size_t pos = 0, lineno = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    ++lineno;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line[0] == '%') continue;
    std::vector<std::string> keys;
    std::size_t start = 0;
    while (start <= line.size() && !line.empty()) {
      std::size_t tab = line.find('\t', start);
      if (tab == std::string::npos) tab = line.size();
      std::string key = line.substr(start, tab - start);
      const std::size_t eq = key.find('=');
      if (eq == std::string::npos || eq == 0)
        throw Error("File '" + path + "', line " + std::to_string(lineno) + ": '" + key +
                    "' is not a key line such as ID=name");
      keys.push_back(std::move(key));
      start = tab + 1;
    }
    ids.keys.push_back(std::move(keys));
  }
  return ids;
}

} // namespace core
