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

// How many numbers a line starts with (0 when its first word is not one).
std::size_t leadingnumbers(std::string_view line, std::vector<double>* values = nullptr) {
  std::vector<double> scratch;
  return core::scan_numbers(line, values ? *values : scratch).count;
}

// A non-blank line of the text, blanks trimmed at both ends, and where it
// starts.
struct TextLine {
  std::string_view content;
  std::size_t at;
};

// f(line) for every non-blank line of text[from, to).
template <class F>
void eachline(std::string_view text, std::size_t from, std::size_t to, F f) {
  while (from < to) {
    const std::size_t end = std::min(text.find('\n', from), to);
    std::string_view line = text.substr(from, end - from);
    std::size_t at = from;
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1), ++at;
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.remove_suffix(1);
    if (!line.empty()) f(TextLine{line, at});
    from = end + 1;
  }
}

// A line as a message quotes it: its first 40 characters.
std::string quoted(std::string_view line) {
  constexpr std::size_t most = 40;
  return "'" + std::string(line.substr(0, most)) + (line.size() > most ? "...'" : "'");
}

// The lines between one block's coordinates and the next block: the key
// lines (ID=, IMAGE=, SCALE=, COMMENT=, ...) kept with their specimen;
// the semilandmark curves (CURVES=, OUTLINES=, POINTS= and the points a
// POINTS= count announces) left out, as they are no landmarks of the
// suite. Any other numbers would be points of a block whose "LM=" line was
// lost, or points beyond a block's count: refused, naming the line, rather
// than dropped. A block with two SCALE= lines is refused too: one of them
// would be used without a word. `block` names the block before the lines
// ("block 3 (line 37)"); it is called only for a message.
template <class Name>
void betweenblocks(std::string_view text, std::size_t from, std::size_t to, const std::string& path, Name block,
                   std::vector<std::string>& keys) {
  double pointsleft = 0;
  std::string_view scale;
  std::size_t scaleat = 0;
  eachline(text, from, to, [&](const TextLine& l) {
    const std::string key = core::keyname(l.content);
    if (key.empty()) {
      const std::size_t count = leadingnumbers(l.content);
      if (count == 0) return; // text that is no key: nothing of the suite's
      if (pointsleft > 0) {
        pointsleft -= static_cast<double>(count);
        return;
      }
      throw core::Error("File '" + path + "', line " + std::to_string(line_of(text, l.at)) + ": " +
                        quoted(l.content) + " stands outside every block, after " + block() +
                        ": is the \"LM=\" line of a block lost, or does the block before hold more points than its "
                        "count?");
    }
    if (key == "CURVES" || key == "OUTLINES") return;
    if (key == "POINTS") {
      std::vector<double> v;
      leadingnumbers(l.content.substr(l.content.find('=') + 1), &v);
      pointsleft = v.empty() ? 0 : 2 * v[0];
      return;
    }
    if (key == "SCALE") {
      if (!scale.empty())
        throw core::Error("File '" + path + "', " + block() + ": two SCALE= lines, '" + std::string(scale) +
                          "' on line " + std::to_string(line_of(text, scaleat)) + " and '" + std::string(l.content) +
                          "' on line " + std::to_string(line_of(text, l.at)) +
                          "; a specimen has one scale: keep the right one");
      scale = l.content;
      scaleat = l.at;
    }
    keys.emplace_back(l.content);
  });
}

// The lines before the first "LM=" key: blank lines and key lines only. A
// first line of anything else (a header, a stray number) is named as
// itself, not taken for damage in the key after it.
void beforefirstblock(std::string_view text, std::size_t to, const std::string& path) {
  eachline(text, 0, to, [&](const TextLine& l) {
    if (!core::keyname(l.content).empty()) return;
    throw core::Error("File '" + path + "', line " + std::to_string(line_of(text, l.at)) + ": " + quoted(l.content) +
                      " comes before the first \"LM=\" key (line " + std::to_string(line_of(text, to)) +
                      "); a TPS file begins with the \"LM=\" line of its first block");
  });
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

core::Specimens readtpsfile(const std::string& path, const core::Progress& progress, const ReadOptions& options) {
  const std::string text = unixlines(readfile(path));
  Cursor in(text);
  auto block = [&](std::size_t number, std::size_t at) {
    return "block " + std::to_string(number) + " (line " + std::to_string(line_of(text, at)) + ")";
  };
  auto where = [&](std::size_t number, std::size_t at) { return "File '" + path + "', " + block(number, at); };

  core::Identities ids;

  std::size_t at = in.findkey(true);
  if (at == std::string_view::npos) throw core::Error("File '" + path + "' holds no \"LM=\" key: it is not a TPS file");
  beforefirstblock(text, at, path);
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
    const std::size_t blockat = at;
    at = in.findkey(false);
    betweenblocks(text, after, at == std::string_view::npos ? text.size() : at, path,
                  [&] { return block(blocks, blockat); }, ids.keys.back());
    if (at == std::string_view::npos) break;
    if (progress && blocks % 1024 == 0 && !progress(static_cast<double>(at) / static_cast<double>(text.size())))
      throw core::Cancelled("Loading '" + path + "' was cancelled; nothing was loaded");
    double later = 0;
    if (!in.number(later) || later != count)
      throw core::Error(where(blocks + 1, at) + ": \"LM=\" is not followed by " + std::to_string(k) +
                  ", the landmark count of the first block");
  }

  for (std::size_t b = 0; b < blocks; ++b) markmissing(values.data() + 2 * k * b, k, options.code());
  const auto n = static_cast<Eigen::Index>(blocks);
  const auto c = static_cast<Eigen::Index>(2 * k);
  using RowMajor = Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic, Eigen::RowMajor>;
  Eigen::MatrixXd y(n, c + 1);
  y.leftCols(c) = Eigen::Map<const RowMajor>(values.data(), n, c);
  y.col(c) = core::centsize(y.leftCols(c));
  core::Specimens out(std::move(y), std::move(ids), path, core::Specimens::Format::tps);
  out.readby(options.code());
  return out;
}

std::string formattps(const core::Specimens& specimens, Precision precision) {
  const Eigen::MatrixXd& data = specimens.matrix();
  const core::Identities ids = specimens.writtenkeys();
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
      if (precision == Precision::g6) pair.append(out, xy);
      else {
        appendroundtrip(out, xy[0]);
        out += "  ";
        appendroundtrip(out, xy[1]);
      }
      out += " \n";
    }
    if (static_cast<std::size_t>(i) < ids.size())
      for (const std::string& line : ids.keys[static_cast<std::size_t>(i)]) out += line + "\n";
  }
  return out;
}

void writetpsfile(const std::string& path, const core::Specimens& data, Precision precision) {
  writefile(path, formattps(data, precision), WriteMode::Replace);
}

} // namespace io
