#include "io/sidecars.h"

#include "core/error.h"
#include "io/row_file.h"
#include "io/text_file.h"

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <filesystem>

namespace io {

namespace {

const std::string header = "% sidecar of '";

std::string formatof(const SidecarOf& of) {
  return header + of.name + "': " + std::to_string(of.rows) + " rows, checksum " + of.checksum + "\n";
}

// A key line as the sidecar holds it: tabs separate key lines, so a tab
// within one is written \t, and a backslash \\.
std::string escaped(const std::string& line) {
  std::string out;
  for (char c : line)
    if (c == '\t') out += "\\t";
    else if (c == '\\') out += "\\\\";
    else out += c;
  return out;
}

std::string unescaped(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size() && (text[i + 1] == 't' || text[i + 1] == '\\')) {
      out += text[++i] == 't' ? '\t' : '\\';
      continue;
    }
    out += text[i];
  }
  return out;
}

std::string filename(const std::string& path) { return std::filesystem::path(path).filename().string(); }

void removeif(const std::string& path) {
  std::error_code ec;
  std::filesystem::remove(path, ec); // a sidecar that stays is refused by its checksum
}

} // namespace

std::string idspath(const std::string& datapath) { return datapath + ".ids"; }
std::string estimatedpath(const std::string& datapath) { return datapath + ".estimated"; }

std::string checksum(std::string_view text) {
  std::uint64_t h = 14695981039346656037ULL;
  for (unsigned char c : text) {
    h ^= c;
    h *= 1099511628211ULL;
  }
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(h));
  return hex;
}

SidecarOf sidecarof(const std::string& datapath) {
  const std::string text = readfile(datapath);
  return {rowlines(text).size(), checksum(text), filename(datapath)};
}

std::optional<SidecarOf> whose(std::string_view sidecar) {
  if (!sidecar.starts_with(header)) return std::nullopt;
  const std::string_view line = sidecar.substr(0, sidecar.find('\n'));
  const std::size_t close = line.rfind("': ");
  if (close == std::string_view::npos || close < header.size()) return std::nullopt;
  SidecarOf of;
  of.name = line.substr(header.size(), close - header.size());
  std::string_view rest = line.substr(close + 3);
  const auto [end, ec] = std::from_chars(rest.data(), rest.data() + rest.size(), of.rows);
  if (ec != std::errc()) return std::nullopt;
  rest.remove_prefix(static_cast<std::size_t>(end - rest.data()));
  constexpr std::string_view said = " rows, checksum ";
  if (!rest.starts_with(said)) return std::nullopt;
  of.checksum = rest.substr(said.size());
  while (!of.checksum.empty() && (of.checksum.back() == '\r' || of.checksum.back() == ' ')) of.checksum.pop_back();
  return of;
}

std::string formatids(const core::Identities& ids, const SidecarOf& of) {
  std::string out = formatof(of) +
                    "% specimen identities, one line per row of the data file: its TPS key lines, tab-separated "
                    "(a tab within one written \\t, a backslash \\\\)\n";
  for (const auto& keys : ids.keys) {
    for (std::size_t i = 0; i < keys.size(); ++i) out += (i > 0 ? "\t" : "") + escaped(keys[i]);
    out += "\n";
  }
  return out;
}

void writeids(const std::string& datapath, const core::Identities& ids) {
  if (ids.empty()) return removeif(idspath(datapath));
  writefile(idspath(datapath), formatids(ids, sidecarof(datapath)), WriteMode::Replace);
}

core::Identities parseids(const std::string& text, const std::string& path) {
  const bool escapes = whose(text).has_value();
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
    bool scale = false;
    while (start <= line.size() && !line.empty()) {
      std::size_t tab = line.find('\t', start);
      if (tab == std::string::npos) tab = line.size();
      std::string key = escapes ? unescaped(std::string_view(line).substr(start, tab - start))
                                : line.substr(start, tab - start);
      if (core::keyname(key).empty())
        throw core::Error("File '" + path + "', line " + std::to_string(lineno) + ": '" + key +
                          "' is not a key line such as ID=name");
      if (core::keyname(key) == "SCALE") {
        if (scale)
          throw core::Error("File '" + path + "', line " + std::to_string(lineno) +
                            ": two SCALE= key lines; a specimen has one scale: keep the right one");
        scale = true;
      }
      keys.push_back(std::move(key));
      start = tab + 1;
    }
    ids.keys.push_back(std::move(keys));
  }
  return ids;
}

JoinedIds joinids(const std::string& datapath, std::size_t rows) {
  JoinedIds out;
  const std::string path = idspath(datapath);
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return out;
  const std::string text = readfile(path);
  const std::string name = "'" + filename(path) + "'";
  const std::optional<SidecarOf> of = whose(text);
  if (of && of->rows != rows) {
    out.notes.push_back("The identities in " + name + " were not used: they were saved with " +
                        std::to_string(of->rows) + " rows, and '" + filename(datapath) + "' has " +
                        std::to_string(rows) + ".");
    return out;
  }
  if (of) {
    const std::string now = checksum(readfile(datapath));
    if (now != of->checksum) {
      out.notes.push_back("The identities in " + name + " were not used: '" + filename(datapath) +
                          "' has changed since they were saved with it (checksum " + now + ", not " + of->checksum +
                          ").");
      return out;
    }
  }
  core::Identities ids = parseids(text, path);
  if (ids.size() != rows) {
    out.notes.push_back("The identities in " + name + " were not used: it has " + std::to_string(ids.size()) +
                        " lines of identities for the " + std::to_string(rows) + " rows of '" +
                        filename(datapath) + "'.");
    return out;
  }
  if (!of)
    out.notes.push_back("The identities in " + name +
                        " were used: it has one line per row, but no first line to say whose it is.");
  out.ids = std::move(ids);
  return out;
}

std::string formatestimated(const std::vector<core::EstimatedLandmark>& estimated, const SidecarOf& of) {
  std::string out = formatof(of) + "% estimated landmarks: specimen row, landmark (both numbered from 1), method\n";
  for (const core::EstimatedLandmark& e : estimated)
    out += std::to_string(e.row + 1) + " " + std::to_string(e.landmark + 1) + " " + core::methodname(e.method) + "\n";
  return out;
}

void writeestimated(const std::string& datapath, const std::vector<core::EstimatedLandmark>& estimated) {
  writefile(estimatedpath(datapath), formatestimated(estimated, sidecarof(datapath)), WriteMode::Replace);
}

void removesidecars(const std::string& datapath) {
  removeif(idspath(datapath));
  removeif(estimatedpath(datapath));
}

} // namespace io
