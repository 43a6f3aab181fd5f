#include "shell/shape_plot.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

namespace shell {

double showshape(Axes& axes, const Eigen::MatrixXd& x, std::string_view xform, std::string_view name) {
  const Eigen::Index m = x.rows(), k = x.cols() > 0 ? (x.cols() - 1) / 2 : 0;
  Eigen::VectorXd px(m * k), py(m * k);
  for (Eigen::Index i = 0; i < m; ++i)
    for (Eigen::Index j = 0; j < k; ++j) {
      px(i * k + j) = x(i, 2 * j);
      py(i * k + j) = x(i, 2 * j + 1);
    }
  axes.sethold(true);
  axes.plot(px, py, xform, 3);
  if (!name.empty()) axes.name(name);
  axes.axisauto();
  axes.axisequal();
  return 1;
}

void numberlandmarks(Axes& axes, const Eigen::MatrixXd& x, const Eigen::RowVectorXd& at) {
  const Eigen::Index k = at.size() / 2;
  std::vector<Eigen::Vector2d> centre;
  std::vector<Eigen::Index> landmark;
  for (Eigen::Index j = 0; j < k; ++j)
    if (std::isfinite(at(2 * j)) && std::isfinite(at(2 * j + 1))) {
      centre.emplace_back(at(2 * j), at(2 * j + 1));
      landmark.push_back(j);
    }
  if (centre.empty()) return;
  // Each landmark's points as a disc about its place in `at`, reaching its
  // farthest point; the labels keep a gap of a twentieth of the shape's
  // extent from every disc.
  Eigen::Vector2d lo = centre[0], hi = centre[0], middle = Eigen::Vector2d::Zero();
  for (const Eigen::Vector2d& c : centre) lo = lo.cwiseMin(c), hi = hi.cwiseMax(c), middle += c;
  middle /= static_cast<double>(centre.size());
  const double extent = std::max((hi - lo).maxCoeff(), 1e-12), gap = extent / 20;
  std::vector<double> reach(centre.size(), 0);
  for (std::size_t m = 0; m < centre.size(); ++m) {
    const Eigen::Index j = landmark[m];
    if (2 * j + 1 >= x.cols()) continue;
    for (Eigen::Index i = 0; i < x.rows(); ++i) {
      const double d = (Eigen::Vector2d(x(i, 2 * j), x(i, 2 * j + 1)) - centre[m]).norm();
      if (std::isfinite(d)) reach[m] = std::max(reach[m], d);
    }
  }
  // How far a place stays from the discs of the other landmarks and from
  // the labels already placed.
  std::vector<Eigen::Vector2d> placed;
  const auto clearance = [&](const Eigen::Vector2d& p, std::size_t own) {
    double c = INFINITY;
    for (std::size_t m = 0; m < centre.size(); ++m)
      if (m != own) c = std::min(c, (p - centre[m]).norm() - reach[m]);
    for (const Eigen::Vector2d& q : placed) c = std::min(c, (p - q).norm() - gap);
    return c;
  };
  for (std::size_t m = 0; m < centre.size(); ++m) {
    const Eigen::Vector2d out = centre[m] - middle;
    const double start = out.norm() > 0 ? std::atan2(out(1), out(0)) : std::numbers::pi / 2;
    // Sixteen directions, the outward one first and then alternately to
    // either side of it, so that of equally clear places the most outward
    // wins.
    Eigen::Vector2d best = centre[m];
    double bestclear = -INFINITY;
    for (int step = 0; step < 16; ++step) {
      const int turn = (step + 1) / 2 * (step % 2 ? 1 : -1);
      const double a = start + turn * std::numbers::pi / 8;
      const Eigen::Vector2d p = centre[m] + (reach[m] + gap) * Eigen::Vector2d(std::cos(a), std::sin(a));
      if (const double c = clearance(p, m); c > bestclear) best = p, bestclear = c;
    }
    placed.push_back(best);
    axes.text(best(0), best(1), std::to_string(landmark[m] + 1));
  }
}

} // namespace shell
