#include "io/options.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace io {

void appendroundtrip(std::string& out, double value) {
  if (std::isnan(value)) {
    out += "NaN";
    return;
  }
  char buffer[32];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, ec == std::errc() ? end : buffer);
}

void markmissing(double* xy, std::size_t k, core::MissingCode code) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (std::size_t j = 0; j < k; ++j) {
    double& x = xy[2 * j];
    double& y = xy[2 * j + 1];
    const bool lost = std::isnan(x) || std::isnan(y) || (x == -1 && y == -1) ||
                      (code == core::MissingCode::negative && (x < 0 || y < 0));
    if (lost) x = y = nan;
  }
}

} // namespace io
