#include "core/identities.h"

#include "core/text_format.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>

namespace core {

namespace {

// The position after the '=' of a key line of `key` (any case, blanks
// allowed before the '='), or npos for a line of another key.
std::size_t aftersamekey(std::string_view line, const std::string& key) {
  std::size_t start = 0;
  while (start < line.size() && (line[start] == ' ' || line[start] == '\t')) ++start;
  if (line.size() - start <= key.size()) return std::string_view::npos;
  for (std::size_t i = 0; i < key.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(line[start + i])) != std::toupper(static_cast<unsigned char>(key[i])))
      return std::string_view::npos;
  std::size_t eq = start + key.size();
  while (eq < line.size() && (line[eq] == ' ' || line[eq] == '\t')) ++eq;
  return eq < line.size() && line[eq] == '=' ? eq + 1 : std::string_view::npos;
}

} // namespace

std::string keyname(std::string_view line) {
  std::size_t start = 0;
  while (start < line.size() && (line[start] == ' ' || line[start] == '\t')) ++start;
  std::size_t letters = start;
  if (letters < line.size() && std::isalpha(static_cast<unsigned char>(line[letters])))
    while (letters < line.size() &&
           (std::isalnum(static_cast<unsigned char>(line[letters])) || line[letters] == '_'))
      ++letters;
  std::size_t eq = letters;
  while (eq < line.size() && (line[eq] == ' ' || line[eq] == '\t')) ++eq;
  if (letters == start || eq >= line.size() || line[eq] != '=') return "";
  std::string key(line.substr(start, letters - start));
  for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return key;
}

std::string Identities::value(std::size_t i, const std::string& key) const {
  if (i >= keys.size()) return "";
  for (const std::string& line : keys[i])
    if (const std::size_t at = aftersamekey(line, key); at != std::string_view::npos) {
      std::string v = line.substr(at);
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

SpecimenLabel parselabel(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
  long number = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (ec != std::errc() || number < 1) return {};
  const std::string_view rest = text.substr(static_cast<std::size_t>(end - text.data()));
  if (rest.empty()) return {number, ""};
  if (!(rest.size() > 3 && rest.starts_with(" (") && rest.ends_with(")"))) return {};
  return {number, std::string(rest.substr(2, rest.size() - 3))};
}

Identities Identities::subset(const std::vector<Eigen::Index>& rows) const {
  Identities out;
  if (empty()) return out;
  out.keys.reserve(rows.size());
  for (Eigen::Index r : rows) out.keys.push_back(keys.at(static_cast<std::size_t>(r)));
  return out;
}

const char* missingrule(MissingCode code) {
  return code == MissingCode::negative ? "points with a negative coordinate, NaN and NA are missing"
                                       : "-1 -1, NaN and NA are missing";
}

namespace {
constexpr Estimate allmethods[] = {Estimate::mirror, Estimate::tps,  Estimate::regression, Estimate::neighbours,
                                   Estimate::blend,  Estimate::mean, Estimate::automatic};
} // namespace

const char* methodname(Estimate method) {
  switch (method) {
  case Estimate::mirror: return "mirror";
  case Estimate::tps: return "tps";
  case Estimate::regression: return "regression";
  case Estimate::neighbours: return "neighbours";
  case Estimate::blend: return "blend";
  case Estimate::mean: return "mean";
  case Estimate::automatic: break;
  }
  return "auto";
}

std::optional<Estimate> estimatemethod(std::string_view name) {
  std::string lower(name);
  for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  for (Estimate m : allmethods)
    if (lower == methodname(m)) return m;
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

namespace {

std::string report(const MissingLandmarks& m, const Identities& ids, const std::string& rule) {
  if (m.none()) return "No landmark is missing" + rule + ".";
  std::string out = format("%i landmark%s missing in %i specimen%s", static_cast<double>(m.count),
                           m.count == 1 ? " is" : "s are", static_cast<double>(m.specimens.size()),
                           m.specimens.size() == 1 ? "" : "s") +
                    rule + ": ";
  for (std::size_t s = 0; s < m.specimens.size(); ++s) {
    const auto& sp = m.specimens[s];
    out += (s > 0 ? "; specimen " : "specimen ") + ids.label(static_cast<std::size_t>(sp.row)) + " lacks " +
           landmarklist(sp.landmarks);
  }
  return out + ".";
}

} // namespace

std::string missingreport(const MissingLandmarks& m, const Identities& ids) { return report(m, ids, ""); }

std::string missingreport(const MissingLandmarks& m, const Identities& ids, MissingCode code) {
  return report(m, ids, std::string(" (") + missingrule(code) + ")");
}

std::string landmarklist(const std::vector<Eigen::Index>& landmarks) {
  std::string out;
  for (std::size_t i = 0; i < landmarks.size(); ++i) {
    if (i > 0) out += i + 1 == landmarks.size() ? " and " : ", ";
    out += std::to_string(landmarks[i] + 1);
  }
  return out;
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
