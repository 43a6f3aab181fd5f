#include "io/tps_file.h"

#include "core/configurations.h"
#include "core/error.h"
#include "core/text_format.h"
#include "core/text_number.h"
#include "io/text_file.h"

#include <cctype>
#include <charconv>
#include <cmath>

namespace io {

namespace {

// A reading cursor over the file's text with line ends already made LF.
class Cursor {
public:
  explicit Cursor(std::string_view text) : text_(text) {}

  bool done() const { return pos_ >= text_.size(); }
  std::size_t pos() const { return pos_; }

  // Finds the next "LM=" key and leaves the cursor after the '='. A key is
  // the first word of a line: "LM=" with either letter in either case
  // after optional blanks (in the search for the first key "L=" counts
  // too). An "lm=" inside another key's value (IMAGE=film=14.jpg,
  // IMAGE=LM=3.jpg) is text like any other. The search starts at the next
  // line start at or after the cursor. Returns the position of the key's
  // 'L', or npos at the end of the text.
  std::size_t findkey(bool first) {
    if (pos_ > 0 && pos_ <= text_.size() && text_[pos_ - 1] != '\n') skipline();
    while (pos_ < text_.size()) {
      std::size_t p = pos_;
      while (p < text_.size() && (text_[p] == ' ' || text_[p] == '\t')) ++p;
      const auto is = [&](std::size_t i, char lower) {
        return i < text_.size() && (text_[i] == lower || text_[i] == lower - 'a' + 'A');
      };
      if (is(p, 'l')) {
        if (is(p + 1, 'm') && p + 2 < text_.size() && text_[p + 2] == '=') {
          pos_ = p + 3;
          return p;
        }
        if (first && p + 1 < text_.size() && text_[p + 1] == '=') {
          pos_ = p + 2;
          return p;
        }
      }
      skipline();
    }
    return std::string_view::npos;
  }

  // The next word after optional white space (empty at the end of the
  // text), with its position; the cursor stays where it is.
  std::string_view word(std::size_t& at) const {
    std::size_t p = pos_;
    while (p < text_.size() && std::isspace(static_cast<unsigned char>(text_[p]))) ++p;
    std::size_t end = p;
    while (end < text_.size() && !std::isspace(static_cast<unsigned char>(text_[end]))) ++end;
    at = p;
    return text_.substr(p, end - p);
  }

  // Reads one finite number after optional white space, as a %f
  // conversion would; leaves the cursor unmoved and returns false at text
  // that is not a number or not a finite one.
  bool number(double& value) {
    std::size_t p = pos_;
    while (p < text_.size() && std::isspace(static_cast<unsigned char>(text_[p]))) ++p;
    if (p >= text_.size()) return false;
    if (text_[p] == '+') ++p;
    if (p >= text_.size()) return false;
    const char c = text_[p];
    if (!(std::isdigit(static_cast<unsigned char>(c)) || c == '-' || c == '.')) return false;
    const auto [end, ec] = std::from_chars(text_.data() + p, text_.data() + text_.size(), value);
    if (ec != std::errc() || !std::isfinite(value)) return false;
    pos_ = static_cast<std::size_t>(end - text_.data());
    return true;
  }

  // Past the end of the current line.
  void skipline() {
    while (pos_ < text_.size() && text_[pos_] != '\n') ++pos_;
    if (pos_ < text_.size()) ++pos_;
  }

private:
  std::string_view text_;
  std::size_t pos_ = 0;
};

// The key lines between one block's coordinates and the next block ("ID=",
// "IMAGE=", "SCALE=", "COMMENT=", ...), kept with their specimen. The
// semilandmark curves (CURVES=, POINTS= and their coordinates) are not
// landmarks of the suite and are left out.
void keylines(std::string_view region, std::vector<std::string>& keys) {
  while (!region.empty()) {
    const std::size_t end = std::min(region.find('\n'), region.size());
    std::string_view line = region.substr(0, end);
    region.remove_prefix(std::min(end + 1, region.size()));
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.remove_suffix(1);
    std::size_t letters = 0;
    while (letters < line.size() && std::isalpha(static_cast<unsigned char>(line[letters]))) ++letters;
    if (letters == 0 || letters >= line.size() || line[letters] != '=') continue;
    std::string key(line.substr(0, letters));
    for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (key == "CURVES" || key == "POINTS") continue;
    keys.emplace_back(line);
  }
}

// Digitisers mark a landmark they could not place with a pair of negative
// coordinates, usually -1 -1. In a file of image coordinates (every other
// point has both coordinates at least 0) any such pair is that mark; in a
// file of centred coordinates, where real points lie on every side of the
// origin, only -1 -1 itself is. Both coordinates of a missing landmark
// become NaN.
void markmissing(std::vector<double>& xy) {
  const auto negativepair = [&](std::size_t p) { return xy[p] < 0 && xy[p + 1] < 0; };
  bool image = true;
  for (std::size_t p = 0; p + 1 < xy.size() && image; p += 2)
    image = negativepair(p) || (xy[p] >= 0 && xy[p + 1] >= 0);
  for (std::size_t p = 0; p + 1 < xy.size(); p += 2)
    if (image ? negativepair(p) : (xy[p] == -1 && xy[p + 1] == -1)) xy[p] = xy[p + 1] = std::nan("");
}

// CR LF and lone CR become LF, so that every system's files read alike.
std::string unixlines(std::string text) {
  std::size_t out = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      text[out++] = '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      text[out++] = text[i];
    }
  }
  text.resize(out);
  return text;
}

} // namespace

core::Specimens readtpsfile(const std::string& path, const core::Progress& progress) {
  const std::string text = unixlines(readfile(path));
  Cursor in(text);
  auto where = [&](std::size_t block, std::size_t at) {
    return "File '" + path + "', block " + std::to_string(block) + " (line " + std::to_string(line_of(text, at)) + ")";
  };

  core::Identities ids;

  std::size_t at = in.findkey(true);
  if (at == std::string_view::npos) throw core::Error("File '" + path + "' holds no \"LM=\" key: it is not a TPS file");
  double count = 0;
  if (!in.number(count) || !(count >= 1) || count != std::floor(count) || count > 1e7)
    throw core::Error(where(1, at) + ": the landmark count after \"LM=\" is not a positive whole number");
  const auto k = static_cast<std::size_t>(count);

  std::vector<double> values;
  std::size_t blocks = 0;
  while (true) {
    in.skipline(); // the text after the count names nothing the suite uses
    ids.keys.emplace_back();
    ++blocks;
    std::size_t got = 0;
    double v;
    while (got < 2 * k && in.number(v) && std::isfinite(v)) {
      values.push_back(v);
      ++got;
    }
    // A word that reads as a number but not as a finite one (inf, nan, a
    // value beyond the range of a double such as 1e400) is named as it
    // stands, not counted as the end of the block's numbers.
    std::size_t wordat = 0;
    const std::string_view next = in.word(wordat);
    std::vector<double> probe;
    const core::NumberScan scan = core::scan_numbers(next, probe);
    const bool numeric = !next.empty() && scan.bad.empty() && scan.count > 0;
    if (got < 2 * k && numeric)
      throw core::Error(where(blocks, at) + ": '" + std::string(next) + "' on line " +
                  std::to_string(line_of(text, wordat)) + " is not a finite number");
    if (got < 2 * k)
      throw core::Error(where(blocks, at) + " holds " + std::to_string(got) + " numbers where " + std::to_string(k) +
                  " landmarks need " + std::to_string(2 * k));
    // More numbers than the count says: the extra point would otherwise be
    // dropped silently, or taken as the start of the next specimen.
    if (numeric)
      throw core::Error(where(blocks, at) + " holds more than the " + std::to_string(2 * k) + " numbers of its " +
                  std::to_string(k) + " landmarks: '" + std::string(next) + "' on line " +
                  std::to_string(line_of(text, wordat)) + " is one too many");
    const std::size_t after = in.pos();
    at = in.findkey(false);
    keylines(std::string_view(text).substr(after, (at == std::string_view::npos ? text.size() : at) - after),
             ids.keys.back());
    if (at == std::string_view::npos) break;
    if (progress && blocks % 1024 == 0 && !progress(static_cast<double>(at) / static_cast<double>(text.size())))
      throw core::Cancelled("Loading '" + path + "' was cancelled; nothing was loaded");
    double later = 0;
    if (!in.number(later) || later != count)
      throw core::Error(where(blocks + 1, at) + ": \"LM=\" is not followed by " + std::to_string(k) +
                  ", the landmark count of the first block");
  }

  markmissing(values);
  const auto n = static_cast<Eigen::Index>(blocks);
  const auto c = static_cast<Eigen::Index>(2 * k);
  using RowMajor = Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic, Eigen::RowMajor>;
  Eigen::MatrixXd y(n, c + 1);
  y.leftCols(c) = Eigen::Map<const RowMajor>(values.data(), n, c);
  y.col(c) = core::centsize(y.leftCols(c));
  return core::Specimens(std::move(y), std::move(ids), path, core::Specimens::Format::tps);
}

std::string formattps(const core::Specimens& specimens) {
  const Eigen::MatrixXd& data = specimens.matrix();
  const core::Identities& ids = specimens.ids();
  const Eigen::Index k = (data.cols() - 1) / 2;
  const core::CompiledFormat pair("%g  %g");
  const std::string key = core::format("LM=%i\n", static_cast<double>(k));
  std::string out;
  out.reserve(static_cast<std::size_t>(data.rows()) * (key.size() + static_cast<std::size_t>(k) * 24));
  double xy[2];
  for (Eigen::Index i = 0; i < data.rows(); ++i) {
    out += key;
    for (Eigen::Index j = 0; j < k; ++j) {
      const bool lost = core::missing(data, i, j);
      xy[0] = lost ? -1 : data(i, 2 * j);
      xy[1] = lost ? -1 : data(i, 2 * j + 1);
      pair.append(out, xy);
      out += " \n";
    }
    if (static_cast<std::size_t>(i) < ids.size())
      for (const std::string& line : ids.keys[static_cast<std::size_t>(i)]) out += line + "\n";
  }
  return out;
}

void writetpsfile(const std::string& path, const core::Specimens& data) {
  writefile(path, formattps(data), WriteMode::Replace);
}

} // namespace io
