#include "io/sidecars.h"

#include "core/error.h"
#include "io/text_file.h"

namespace io {

std::string idspath(const std::string& datapath) { return datapath + ".ids"; }

std::string formatids(const core::Identities& ids) {
  std::string out = "% specimen identities, one line per row of the data file: its TPS key lines, tab-separated\n";
  for (const auto& keys : ids.keys) {
    for (std::size_t i = 0; i < keys.size(); ++i) out += (i > 0 ? "\t" : "") + keys[i];
    out += "\n";
  }
  return out;
}

void writeids(const std::string& datapath, const core::Identities& ids) {
  if (ids.empty()) return;
  writefile(idspath(datapath), formatids(ids), WriteMode::Replace);
}

core::Identities parseids(const std::string& text, const std::string& path) {
  core::Identities ids;
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
        throw core::Error("File '" + path + "', line " + std::to_string(lineno) + ": '" + key +
                          "' is not a key line such as ID=name");
      keys.push_back(std::move(key));
      start = tab + 1;
    }
    ids.keys.push_back(std::move(keys));
  }
  return ids;
}

std::string estimatedpath(const std::string& datapath) { return datapath + ".estimated"; }

std::string formatestimated(const std::vector<core::EstimatedLandmark>& estimated) {
  std::string out = "% estimated landmarks: specimen row, landmark (both numbered from 1), method\n";
  for (const core::EstimatedLandmark& e : estimated)
    out += std::to_string(e.row + 1) + " " + std::to_string(e.landmark + 1) + " " + core::methodname(e.method) + "\n";
  return out;
}

void writeestimated(const std::string& datapath, const std::vector<core::EstimatedLandmark>& estimated) {
  writefile(estimatedpath(datapath), formatestimated(estimated), WriteMode::Replace);
}

} // namespace io
