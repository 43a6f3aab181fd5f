#include "apps/anglepick/angles.h"

#include "core/error.h"
#include "core/identities.h"
#include "core/text_format.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <numbers>
#include <string>
#include <vector>

namespace anglepick {

namespace {

constexpr double pi = std::numbers::pi;

std::string row(Eigen::Index i) { return "protocol row " + std::to_string(i + 1); }

} // namespace

void checkprotocol(const Eigen::MatrixXd& proto, Eigen::Index k) {
  if (proto.cols() < 2)
    throw core::Error("The protocol has " + std::to_string(proto.cols()) +
                      " column; each row needs two landmark numbers (the second 0 for a midline landmark)");
  if (proto.rows() < 2)
    throw core::Error("The protocol has " + std::to_string(proto.rows()) +
                      " row; at least two rows are needed to give the midline a direction");
  for (Eigen::Index i = 0; i < proto.rows(); ++i) {
    for (int c = 0; c < 2; ++c) {
      const double v = proto(i, c);
      const double lowest = c == 0 ? 1 : 0;
      if (!(v >= lowest && v <= static_cast<double>(k)) || v != std::floor(v))
        throw core::Error(row(i) + ": landmark number " + core::format("%g", v) +
                          (std::isfinite(v) && v != std::floor(v) ? " is not a whole number"
                                                                  : " is outside 1 ... " + std::to_string(k)));
    }
    if (proto(i, 0) == proto(i, 1))
      throw core::Error(row(i) + ": the pair " + core::format("%g %g", proto(i, 0), proto(i, 1)) +
                        " names one landmark twice; a pair needs two different landmarks (a midline landmark is '" +
                        core::format("%g", proto(i, 0)) + " 0')");
  }
  // The midline is read from the first row's point towards the second's:
  // two rows naming one point (one landmark twice, or one pair either way
  // round) give it no direction.
  const auto point = [&](Eigen::Index i) {
    const double a = proto(i, 0), b = proto(i, 1);
    return b == 0 ? std::pair{a, a} : std::pair{std::min(a, b), std::max(a, b)};
  };
  if (point(0) == point(1))
    throw core::Error("protocol rows 1 and 2 name the same point (" + core::format("%g %g", proto(1, 0), proto(1, 1)) +
                      "); the midline runs from the first row's point towards the second's, so they must be two "
                      "different points");
}

TpAngles get_tp(const Eigen::RowVectorXd& data, const Eigen::MatrixXd& proto) {
  const Eigen::Index k = data.size() / 2;
  checkprotocol(proto, k);
  if (!data.allFinite()) throw core::Error("the specimen holds a coordinate that is not a finite number");
  const Eigen::Index mp = proto.rows();
  const auto x = [&](double lm) { return data(2 * static_cast<Eigen::Index>(lm) - 2); };
  const auto y = [&](double lm) { return data(2 * static_cast<Eigen::Index>(lm) - 1); };

  TpAngles out;
  out.plist.resize(mp);
  Eigen::VectorXd xs(mp), ys(mp);
  for (Eigen::Index i = 0; i < mp; ++i) {
    const double a = proto(i, 0), b = proto(i, 1);
    if (b == 0) {
      xs(i) = x(a);
      ys(i) = y(a);
    } else {
      xs(i) = 0.5 * (x(a) + x(b));
      ys(i) = 0.5 * (y(a) + y(b));
      // Direction from landmark b to landmark a.
      out.plist(out.pcount++) = std::atan2(y(a) - y(b), x(a) - x(b));
    }
  }
  out.plist.conservativeResize(out.pcount);

  // The midline is fitted by regressing y on x while it lies within 45
  // degrees of the x axis, and x on y when it is steeper, where y on x
  // becomes ill-conditioned (an upright specimen's midline is nearly
  // vertical). Either way it is read from the first row's point towards
  // the second's.
  const double mx = xs.mean(), my = ys.mean();
  const double sxx = (xs.array() - mx).square().sum(), syy = (ys.array() - my).square().sum();
  const double sxy = ((xs.array() - mx) * (ys.array() - my)).sum();
  if (sxx == 0 && syy == 0) throw core::Error("the midline points all lie at one point, so the midline has no direction");
  double tf;
  // Two first points level across the fitted line (the same x on a
  // shallow midline, the same y on a steep one) give it no sense: atan2 of
  // (0, 0) would read every such specimen as due east.
  const char* nosense = "the points of protocol rows 1 and 2 lie level across the midline, so they give it no direction";
  if (syy <= sxx) {
    const double slope = sxy / sxx;
    const double dx = xs(1) - xs(0);
    if (dx == 0) throw core::Error(nosense);
    tf = std::atan2(slope * dx, dx);
  } else {
    const double slope = sxy / syy; // x per unit y
    const double dy = ys(1) - ys(0);
    if (dy == 0) throw core::Error(nosense);
    tf = std::atan2(dy, slope * dy);
  }
  out.tp = core::Bearing::from_angle(tf);

  // Each pair against the midline, folded into [0, pi].
  for (Eigen::Index j = 0; j < out.pcount; ++j) {
    double p = pi - (out.plist(j) - tf);
    while (p > pi) p -= pi;
    while (p < 0) p += pi;
    out.plist(j) = p;
  }
  return out;
}

PresentAngles get_tp_present(const Eigen::RowVectorXd& data, const Eigen::MatrixXd& proto) {
  const Eigen::Index k = data.size() / 2;
  checkprotocol(proto, k);
  const Eigen::Index mp = proto.rows();
  const auto lacks = [&](double lm) { return core::missing(data, 0, static_cast<Eigen::Index>(lm) - 1); };
  const auto present = [&](Eigen::Index i) { return !lacks(proto(i, 0)) && (proto(i, 1) == 0 || !lacks(proto(i, 1))); };

  PresentAngles out;
  const Eigen::Index pairs = (proto.col(1).array() != 0).count();
  bool complete = true;
  for (Eigen::Index i = 0; i < mp; ++i) complete = complete && present(i);
  if (complete) {
    const TpAngles a = get_tp(data, proto);
    out.tp = a.tp;
    out.plist = a.plist;
    return out;
  }
  out.tp = core::Bearing::radians(std::nan(""));
  out.plist = Eigen::RowVectorXd::Constant(pairs, std::nan(""));

  // The rows that can be measured, in the protocol's order, so that rows 1
  // and 2 (when present) still give the midline its sense.
  std::vector<Eigen::Index> rows;
  Eigen::Index pairsleft = 0;
  for (Eigen::Index i = 0; i < mp; ++i)
    if (present(i)) {
      rows.push_back(i);
      if (proto(i, 1) != 0) ++pairsleft;
    }
  if (rows.size() < 2) {
    out.absent = "fewer than two of its midline points are present";
    return out;
  }
  if (!present(0) || !present(1)) {
    out.absent = "the point of protocol row " + std::string(!present(0) ? "1" : "2") +
                 " is missing, and rows 1 and 2 give the midline its direction";
    return out;
  }
  if (pairsleft == 0) {
    out.absent = "no pair has both of its landmarks present";
    return out;
  }
  Eigen::MatrixXd reduced(static_cast<Eigen::Index>(rows.size()), 2);
  for (std::size_t r = 0; r < rows.size(); ++r) reduced.row(static_cast<Eigen::Index>(r)) = proto.row(rows[r]).head(2);
  // The landmarks no measured row names are set to 0: get_tp wants every
  // coordinate to be a number, and never reads them.
  const Eigen::RowVectorXd filled = data.unaryExpr([](double v) { return std::isnan(v) ? 0.0 : v; });
  const TpAngles a = get_tp(filled, reduced);
  out.tp = a.tp;
  for (Eigen::Index i = 0, q = 0, r = 0; i < mp; ++i) {
    if (proto(i, 1) == 0) continue;
    if (present(i)) out.plist(q) = a.plist(r++);
    ++q;
  }
  return out;
}

std::string summaryline(const std::vector<double>& t, const std::vector<double>& meanp) {
  double sx = 0, sy = 0, sump = 0;
  for (std::size_t i = 0; i < t.size(); ++i) sx += std::sin(t[i]), sy += std::cos(t[i]), sump += meanp[i];
  const auto count = static_cast<double>(t.size());
  const double rbar = std::hypot(sx, sy) / count;
  const std::string mean = core::format("mean p %.2f degrees (the mean over the specimens of each one's mean p)",
                                        core::Angle::radians(sump / count).deg());
  if (!(rbar >= minresultant))
    return core::format("%i specimens measured: circular mean t undefined, circular standard deviation of t undefined "
                        "(t a directed bearing, 0 to 360, and the bearings cancel: their mean resultant length is "
                        "%.2g), ",
                        t.size(), rbar) +
           mean;
  // Rounded to the printed decimals first, then folded into [0, 360): a
  // bearing a hair west of north reads 0.00, not 360.00.
  double tmean = std::round(core::Bearing::of(sx, sy).deg() * 100) / 100;
  if (!(tmean > 0)) tmean += 360; // -0.00 too
  if (tmean >= 360) tmean -= 360;
  const double tsd = core::Angle::radians(std::sqrt(-2 * std::log(std::min(rbar, 1.0)))).deg();
  return core::format("%i specimens measured: circular mean t %.2f degrees, circular standard deviation of t %.2f "
                      "degrees (t a directed bearing, 0 to 360), ",
                      t.size(), tmean, tsd) +
         mean;
}

} // namespace anglepick
