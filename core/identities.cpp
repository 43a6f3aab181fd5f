#include "core/identities.h"

#include "core/text_format.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>

namespace core {

namespace {

bool samekey(std::string_view line, const std::string& key) {
  if (line.size() <= key.size() || line[key.size()] != '=') return false;
  for (std::size_t i = 0; i < key.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(line[i])) != std::toupper(static_cast<unsigned char>(key[i])))
      return false;
  return true;
}

std::string numbers(const std::vector<Eigen::Index>& landmarks) {
  std::string out;
  for (std::size_t i = 0; i < landmarks.size(); ++i) {
    if (i > 0) out += i + 1 == landmarks.size() ? " and " : ", ";
    out += std::to_string(landmarks[i] + 1);
  }
  return out;
}

} // namespace

std::string Identities::value(std::size_t i, const std::string& key) const {
  if (i >= keys.size()) return "";
  for (const std::string& line : keys[i])
    if (samekey(line, key)) {
      std::string v = line.substr(key.size() + 1);
      while (!v.empty() && std::isspace(static_cast<unsigned char>(v.back()))) v.pop_back();
      std::size_t start = 0;
      while (start < v.size() && std::isspace(static_cast<unsigned char>(v[start]))) ++start;
      return v.substr(start);
    }
  return "";
}

std::optional<double> Identities::scale(std::size_t i) const {
  const std::string v = value(i, "SCALE");
  double s = 0;
  const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), s);
  if (v.empty() || ec != std::errc() || end != v.data() + v.size() || !(s > 0) || !std::isfinite(s))
    return std::nullopt;
  return s;
}

std::string Identities::label(std::size_t i) const {
  const std::string name = id(i);
  return std::to_string(i + 1) + (name.empty() ? "" : " (" + name + ")");
}

Identities Identities::subset(const std::vector<Eigen::Index>& rows) const {
  Identities out;
  if (empty()) return out;
  out.keys.reserve(rows.size());
  for (Eigen::Index r : rows) out.keys.push_back(keys.at(static_cast<std::size_t>(r)));
  return out;
}

const char* methodname(Estimate method) { return method == Estimate::mirror ? "mirror" : "tps"; }

std::optional<Estimate> estimatemethod(std::string_view name) {
  std::string lower(name);
  for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  if (lower == "mirror") return Estimate::mirror;
  if (lower == "tps") return Estimate::tps;
  return std::nullopt;
}

MissingLandmarks findmissing(const Eigen::MatrixXd& x, Eigen::Index k) {
  MissingLandmarks m;
  for (Eigen::Index i = 0; i < x.rows(); ++i) {
    std::vector<Eigen::Index> lacks;
    for (Eigen::Index j = 0; j < k; ++j)
      if (missing(x, i, j)) lacks.push_back(j);
    if (lacks.empty()) continue;
    m.count += lacks.size();
    m.specimens.push_back({i, std::move(lacks)});
  }
  return m;
}

std::string missingreport(const MissingLandmarks& m, const Identities& ids) {
  if (m.none()) return "No landmark is missing.";
  std::string out = format("%i landmark%s missing in %i specimen%s: ", static_cast<double>(m.count),
                           m.count == 1 ? " is" : "s are", static_cast<double>(m.specimens.size()),
                           m.specimens.size() == 1 ? "" : "s");
  for (std::size_t s = 0; s < m.specimens.size(); ++s) {
    const auto& sp = m.specimens[s];
    out += (s > 0 ? "; specimen " : "specimen ") + ids.label(static_cast<std::size_t>(sp.row)) + " lacks " +
           numbers(sp.landmarks);
  }
  return out + ".";
}

std::vector<Eigen::Index> completerows(const Eigen::MatrixXd& x, Eigen::Index k) {
  std::vector<Eigen::Index> rows;
  for (Eigen::Index i = 0; i < x.rows(); ++i) {
    bool whole = true;
    for (Eigen::Index j = 0; j < k && whole; ++j) whole = !missing(x, i, j);
    if (whole) rows.push_back(i);
  }
  return rows;
}

} // namespace core
