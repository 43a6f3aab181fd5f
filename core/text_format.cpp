#include "core/text_format.h"

#include "core/error.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>

namespace core {

// Gives the helpers below the name of CompiledFormat's private piece type,
// so that format() and CompiledFormat share one parser and one writer.
struct CompiledFormatAccess {
  using Piece = CompiledFormat::Piece;
  static const std::vector<Piece>& pieces(const CompiledFormat& f) { return f.pieces_; }
};

namespace {

using Piece = CompiledFormatAccess::Piece;

constexpr int max_field = 100000; // widths and precisions beyond this are typos

Error bad_format(std::string_view fmt, const std::string& why) {
  return Error("Format '" + std::string(fmt) + "' " + why);
}

// Splits a format into pieces, resolving \n \t \\ and %%. Any other
// backslash sequence stays as written.
std::vector<Piece> parse(std::string_view fmt) {
  std::vector<Piece> pieces(1);
  std::size_t i = 0;
  const auto read_number = [&](int& n) {
    n = 0;
    while (i < fmt.size() && fmt[i] >= '0' && fmt[i] <= '9') {
      n = n * 10 + (fmt[i++] - '0');
      if (n > max_field) throw bad_format(fmt, "has a width or precision larger than " + std::to_string(max_field));
    }
  };
  while (i < fmt.size()) {
    std::string& literal = pieces.back().literal;
    const char c = fmt[i];
    if (c == '\\' && i + 1 < fmt.size() && (fmt[i + 1] == 'n' || fmt[i + 1] == 't' || fmt[i + 1] == '\\')) {
      literal += fmt[i + 1] == 'n' ? '\n' : fmt[i + 1] == 't' ? '\t' : '\\';
      i += 2;
    } else if (c != '%') {
      literal += c;
      ++i;
    } else if (i + 1 < fmt.size() && fmt[i + 1] == '%') {
      literal += '%';
      i += 2;
    } else {
      const std::size_t start = i++;
      Piece& p = pieces.back();
      std::string flags;
      for (; i < fmt.size() && std::string_view("-+ 0#").find(fmt[i]) != std::string_view::npos; ++i) {
        flags += fmt[i];
        if (fmt[i] == '-') p.left = true;
        if (fmt[i] == '0') p.zero = true;
        if (fmt[i] == '+') p.sign = '+';
        if (fmt[i] == ' ' && p.sign == 0) p.sign = ' ';
      }
      read_number(p.width);
      if (i < fmt.size() && fmt[i] == '.') {
        ++i;
        read_number(p.precision); // "%.f" means precision 0, as in C
      }
      if (i == fmt.size())
        throw bad_format(fmt, "ends in an incomplete conversion '" + std::string(fmt.substr(start)) + "'");
      const char conv = fmt[i++];
      if (std::string_view("diufeEgGsc").find(conv) == std::string_view::npos)
        throw bad_format(fmt, "has an unsupported conversion '" + std::string(fmt.substr(start, i - start)) + "'");
      p.conversion = conv;
      p.plain = flags.empty() && p.width == 0;
      // '#' has no defined meaning for C's integer conversions; drop it there.
      std::string int_flags = flags;
      std::erase(int_flags, '#');
      std::string field = p.width > 0 ? std::to_string(p.width) : std::string();
      if (p.precision >= 0) field += "." + std::to_string(p.precision);
      p.c_format = "%" + flags + field + conv;
      p.c_whole = "%" + int_flags + field + "lld";
      p.c_fraction = "%" + flags + field + "e";
      pieces.emplace_back();
    }
  }
  return pieces;
}

// Appends text padded with blanks to the field width.
void append_padded(std::string& out, const Piece& p, std::string_view text) {
  const std::size_t pad = p.width > 0 && text.size() < static_cast<std::size_t>(p.width)
                              ? static_cast<std::size_t>(p.width) - text.size() : 0;
  if (!p.left) out.append(pad, ' ');
  out.append(text);
  if (p.left) out.append(pad, ' ');
}

// Appends one snprintf conversion. Short results go through a stack buffer;
// long ones (huge widths, %f of 1e300) are written straight into `out`.
template <class T>
void append_c(std::string& out, const std::string& directive, T value) {
  char buf[128];
  const int n = std::snprintf(buf, sizeof buf, directive.c_str(), value);
  if (n < 0) throw Error("Cannot format a value with '" + directive + "'");
  if (static_cast<std::size_t>(n) < sizeof buf) {
    out.append(buf, static_cast<std::size_t>(n));
    return;
  }
  const std::size_t old = out.size();
  out.resize(old + static_cast<std::size_t>(n) + 1);
  std::snprintf(out.data() + old, static_cast<std::size_t>(n) + 1, directive.c_str(), value);
  out.resize(old + static_cast<std::size_t>(n));
}

// The fast path for plain %f %e %g and %d: std::to_chars with a precision
// is defined to write what printf writes in the C locale, at a fraction of
// the cost, which matters to the writers of large data sets. Returns false
// when the result does not fit the stack buffer; snprintf then takes over.
template <class... Precision>
bool append_to_chars(std::string& out, auto value, Precision... how) {
  char buf[128];
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, how...);
  if (ec != std::errc()) return false;
  out.append(buf, end);
  return true;
}

// A whole number outside the range of long long, written as C's %d would
// write it had it the digits: the digits come from %.0f, which is exact for
// every double of that size.
void append_big_whole(std::string& out, const Piece& p, double v) {
  char digits[400];
  const int n = std::snprintf(digits, sizeof digits, "%.0f", std::fabs(v));
  const char sign = v < 0 ? '-' : p.sign;
  const std::size_t ndigits = static_cast<std::size_t>(n);
  const std::size_t width = static_cast<std::size_t>(p.width);
  std::size_t zeros = p.precision > n ? static_cast<std::size_t>(p.precision - n) : 0;
  std::size_t len = (sign ? 1 : 0) + zeros + ndigits;
  // As in C, the '0' flag is ignored when a precision is given.
  if (p.zero && !p.left && p.precision < 0 && len < width) {
    zeros += width - len;
    len = width;
  }
  const std::size_t blanks = len < width ? width - len : 0;
  if (!p.left) out.append(blanks, ' ');
  if (sign) out += sign;
  out.append(zeros, '0');
  out.append(digits, ndigits);
  if (p.left) out.append(blanks, ' ');
}

// The text of a number met by %s: %g with the fewest digits, at least %g's
// six, that read back as the same double.
std::string_view shortest_g(double v, char (&buf)[32]) {
  int n = 0;
  for (int digits = 6; digits <= 17; ++digits) {
    n = std::snprintf(buf, sizeof buf, "%.*g", digits, v);
    double back = 0;
    std::from_chars(buf, buf + n, back);
    if (back == v) break;
  }
  return {buf, static_cast<std::size_t>(n)};
}

// Writes the UTF-8 encoding of a code point (valid, not a surrogate) to
// `buf` and returns its length.
std::size_t utf8(unsigned cp, char (&buf)[4]) {
  if (cp < 0x80) { buf[0] = static_cast<char>(cp); return 1; }
  if (cp < 0x800) {
    buf[0] = static_cast<char>(0xC0 | (cp >> 6));
    buf[1] = static_cast<char>(0x80 | (cp & 0x3F));
    return 2;
  }
  if (cp < 0x10000) {
    buf[0] = static_cast<char>(0xE0 | (cp >> 12));
    buf[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    buf[2] = static_cast<char>(0x80 | (cp & 0x3F));
    return 3;
  }
  buf[0] = static_cast<char>(0xF0 | (cp >> 18));
  buf[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
  buf[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
  buf[3] = static_cast<char>(0x80 | (cp & 0x3F));
  return 4;
}

// Appends one number by the conversion of `p`, under the rules of the
// header: words for non-finite values, %e for fractions met by integer
// conversions, the shortest faithful %g for %s, a character for %c.
void append_number(std::string& out, const Piece& p, double v) {
  if (!std::isfinite(v)) {
    // The '+' and ' ' flags sign Inf as they would a number; NaN has no sign.
    const std::string_view word = std::isnan(v)     ? "NaN"
                                  : v < 0           ? "-Inf"
                                  : p.sign == '+'   ? "+Inf"
                                  : p.sign == ' '   ? " Inf"
                                                    : "Inf";
    append_padded(out, p, word);
    return;
  }
  const bool whole = v == std::trunc(v);
  switch (p.conversion) {
  case 's': {
    char buf[32];
    append_padded(out, p, shortest_g(v, buf)); // precision would cut digits: ignored
    return;
  }
  case 'c':
    if (whole && v >= 0 && v <= 0x10FFFF && !(v >= 0xD800 && v <= 0xDFFF)) {
      char buf[4];
      append_padded(out, p, std::string_view(buf, utf8(static_cast<unsigned>(v), buf)));
    } else {
      append_c(out, p.c_fraction, v);
    }
    return;
  case 'd': case 'i': case 'u':
    if (!whole) append_c(out, p.c_fraction, v);
    else if (!(v >= -0x1p63 && v < 0x1p63)) append_big_whole(out, p, v);
    else if (!(p.plain && p.precision < 0 && append_to_chars(out, static_cast<long long>(v))))
      append_c(out, p.c_whole, static_cast<long long>(v));
    return;
  case 'f': case 'e': case 'g': {
    const auto style = p.conversion == 'f' ? std::chars_format::fixed
                       : p.conversion == 'e' ? std::chars_format::scientific : std::chars_format::general;
    if (p.plain && append_to_chars(out, v, style, p.precision < 0 ? 6 : p.precision)) return;
    append_c(out, p.c_format, v);
    return;
  }
  default: // %E %G and conversions with flags or a width
    append_c(out, p.c_format, v);
  }
}

void append_text(std::string& out, const Piece& p, std::string_view text) {
  // Only %s reads a precision as a length limit; numeric conversions write
  // the whole text.
  if (p.conversion == 's' && p.precision >= 0 && text.size() > static_cast<std::size_t>(p.precision))
    text = text.substr(0, static_cast<std::size_t>(p.precision));
  append_padded(out, p, text);
}

// Applies the pieces to the values of `src` with the recycling rule: the
// format repeats while values remain and stops just before the first
// conversion left without one.
template <class Source>
void run(std::string& out, const std::vector<Piece>& pieces, Source& src) {
  if (src.done() || pieces.size() == 1) { // no values, or no conversions
    for (const Piece& p : pieces) out += p.literal;
    return;
  }
  do {
    for (const Piece& p : pieces) {
      out += p.literal;
      if (p.conversion == 0) continue;
      if (src.done()) return;
      src.write(out, p);
    }
  } while (!src.done());
}

struct DoubleSource {
  const double* next;
  const double* end;
  bool done() const { return next == end; }
  void write(std::string& out, const Piece& p) { append_number(out, p, *next++); }
};

// Walks the arguments: the entries of each matrix in column-major order,
// each text whole; empty matrices contribute nothing.
struct ArgSource {
  std::span<const FormatArg> args;
  std::size_t arg = 0;
  Eigen::Index entry = 0;

  explicit ArgSource(std::span<const FormatArg> a) : args(a) { settle(); }
  void settle() {
    while (arg < args.size() && !args[arg].is_text() && entry >= args[arg].numbers().size()) {
      ++arg;
      entry = 0;
    }
  }
  bool done() const { return arg == args.size(); }
  void write(std::string& out, const Piece& p) {
    const FormatArg& a = args[arg];
    if (a.is_text()) {
      append_text(out, p, a.text());
      ++arg;
    } else {
      append_number(out, p, a.numbers().data()[entry++]);
    }
    settle();
  }
};

} // namespace

std::string format(std::string_view fmt, std::span<const FormatArg> args) {
  const CompiledFormat compiled(fmt);
  ArgSource src(args);
  std::string out;
  run(out, CompiledFormatAccess::pieces(compiled), src);
  return out;
}

CompiledFormat::CompiledFormat(std::string_view fmt) : pieces_(parse(fmt)) {}

void CompiledFormat::append(std::string& out, double value) const {
  DoubleSource src{&value, &value + 1};
  run(out, pieces_, src);
}

void CompiledFormat::append(std::string& out, std::span<const double> values) const {
  DoubleSource src{values.data(), values.data() + values.size()};
  run(out, pieces_, src);
}

} // namespace core
