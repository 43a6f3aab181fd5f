#pragma once
// The estimates of missing landmarks that learn from other specimens, for
// one pattern of landmarks present P and missing M. warp/missing.h is the
// way in; this is its machinery.
//
// Configurations are complex rows (x + iy per landmark). Everything happens
// in one frame per pattern: each training specimen is fitted on its
// landmarks P onto the consensus's landmarks P (centred on them, scaled to
// the consensus's size over them, turned by the least-squares rotation),
// and so is the specimen to be completed; an estimate made there is carried
// back by the inverse of the specimen's fit. In that frame:
//
//  - mean: the training specimens' mean of M (the mean shape fitted on the
//    landmarks present, a similarity fit).
//  - tps: the thin-plate spline from the consensus's P onto the specimen's
//    P, at the consensus's M. Consensus landmarks within 1 % of its size of
//    each other are one point to the spline (at their mean, its target the
//    mean of theirs): coincident sources make the spline's matrix
//    singular, and nearly coincident ones with targets apart bend it
//    without bound.
//  - regression: ridge regression of the coordinates of M on those of P
//    over the training specimens, intercept free, the ridge parameter
//    chosen by exact leave-one-out from one SVD of the centred predictors.
//    A specimen whose leverage exceeds every left-out training specimen's
//    is pulled back to the largest: the leave-one-out vouches no farther.
//  - neighbours: the 5 training specimens nearest over P, each carried onto
//    the specimen by its own approximating thin-plate spline through its
//    P, weighted 1 / distance.
//  - blend: the mean of regression and neighbours.
//  - mirror: the partner of each missing landmark reflected across the
//    specimen's least-squares axis of symmetry.
//
// Every method but mean is guarded: no estimated landmark lies farther from
// the mean estimate than the farthest training specimen's same landmark.
// Each method's leave-one-out estimates over the training specimens give
// its expected error; auto takes the method of least root-mean-square
// error, and the centre of the training specimens' spread for a landmark
// where that method's errors have a long tail (see Pattern::tail).

#include "core/identities.h"

#include <Eigen/Core>

#include <array>
#include <complex>
#include <optional>
#include <string>
#include <vector>

namespace warp::detail {

using Shape = Eigen::RowVectorXcd;  // k landmarks, NaN for a missing one
using Shapes = Eigen::MatrixXcd;    // one specimen per row
using Indices = std::vector<Eigen::Index>;
using Tail = std::vector<bool>; // per landmark of M: placed at the centre of its spread

// Row i of a data set in the row layout as a shape of k landmarks.
Shape shapeof(const Eigen::MatrixXd& x, Eigen::Index i, Eigen::Index k);

// The similarity that fits a specimen on its landmarks P onto a reference:
// fitted = a (z - zc) + rc.
struct Frame {
  std::complex<double> a, zc, rc;
  std::complex<double> to(std::complex<double> z) const { return a * (z - zc) + rc; }
  std::complex<double> from(std::complex<double> w) const { return (w - rc) / a + zc; }
};
Frame fitonto(const Shape& z, const Indices& P, const Shape& reference);

// The root-mean-square distance of points from their best line over their
// centroid size: 0 on a line, 1/sqrt(2) for an isotropic cloud.
double lineratio(const Eigen::VectorXcd& points);

// The m x p matrix W of the thin-plate spline through the p points `src`
// (kernel r^2 ln r^2): the spline onto any targets t gives W t at the m
// points `at`. Points within `merge` times the source's centroid size of
// each other are one point to it. Nothing when fewer than three distinct
// points are left, or they lie on one line.
std::optional<Eigen::MatrixXd> tpsoperator(const Eigen::VectorXcd& src, const Eigen::VectorXcd& at, double merge);

// Tuning, as the study of the bundled data sets chose it.
inline constexpr int neighbour_count = 5;
inline constexpr double neighbour_smoothing = 1e-2; // x the neighbour's squared centroid size
inline constexpr double merge_share = 1e-2;         // of the consensus's size: one point to the spline
inline constexpr double line_share = 0.10;          // tps needs its landmarks off a line by this share
inline constexpr double tail_floor = 5;             // % of centroid size: auto's default limit; a worst error
                                                    // within it is no tail to trade typical accuracy for

// What the landmarks present of one specimen support, as the consensus sees
// them: groups of landmarks within 1 % of its size of each other (one
// point), and the line ratios of the specimen's and of the consensus's
// landmarks present.
struct Geometry {
  std::vector<Indices> groups;
  double own = 0, mean = 0;
};
Geometry geometry(const Shape& z, const Indices& P, const Shape& consensus);
// Why no estimate at all can be made (fewer than two distinct landmarks
// present), or "".
std::string cannotplace(const Geometry& g, const Indices& P);
// Why the thin-plate spline must not be used (fewer than three distinct
// landmarks present, or the ones present within 10 % of a line in the
// specimen or in the mean shape), or "".
std::string nospline(const Geometry& g, const Indices& P);
// "the 4 landmarks present lie within 0.3 % of a line" (or "... in the
// mean shape") when they do by the rule of nospline, or "".
std::string online(const Geometry& g, const Indices& P);

// The methods, in the order auto weighs them (the first of equal errors
// wins).
inline constexpr std::array<core::Estimate, 6> learning = {core::Estimate::mean,       core::Estimate::tps,
                                                           core::Estimate::regression, core::Estimate::neighbours,
                                                           core::Estimate::blend,      core::Estimate::mirror};

// A method's leave-one-out trial over the training specimens that have M
// measured: the mean and the root mean square of their errors, each the
// mean over M of the distance from the true place in % of the specimen's
// centroid size.
struct Trial {
  double mean = 0, rms = 0;
};

class Pattern {
public:
  // `train`: the training specimens (every landmark present); `consensus`:
  // the frame's reference; `partner`: per landmark its mirror partner
  // (itself on the axis, -1 for none), empty when there is no pair list;
  // `wanted`: the methods to try (blend brings regression and neighbours,
  // and mean is always tried, as the guard's base; automatic brings the
  // centres of the landmarks' spreads, which only auto places); `measured`: per
  // training specimen whether its M were measured (only those judge), all
  // when empty.
  Pattern(const Shapes& train, const Shape& consensus, Indices P, Indices M, const std::vector<Eigen::Index>& partner,
          const std::vector<core::Estimate>& wanted, std::vector<bool> measured = {});

  // True when the method has its leave-one-out trial (it was wanted and
  // can be made: tps needs a spline through the consensus's P,
  // neighbours two training specimens whose P are off a line, mirror a
  // present partner for every missing landmark).
  bool offers(core::Estimate method) const { return loo_[index(method)].has_value(); }
  // With `centred`, the landmarks of M it flags placed at the centre of
  // their spread (see tail).
  Trial trial(core::Estimate method, const Tail& centred = {}) const;
  // Per landmark of M, whether auto places it at the centre of the
  // training specimens' spread of it (the centre of the smallest circle
  // round them: the place of least worst error) rather than where the
  // method does: where the method's leave-one-out worst error exceeds
  // tail_floor and the centre's root-mean-square plus worst error is the
  // smaller. That is a landmark the training specimens hold in groups far
  // apart which their landmarks present do not tell apart: every method
  // puts a specimen of the smaller group by the larger one.
  Tail tail(core::Estimate method) const;
  // How many training specimens judge.
  Eigen::Index judges() const;
  // The offered candidate of least root-mean-square error, skipping tps
  // when `withtps` is false.
  core::Estimate best(bool withtps) const;

  // The estimate of M for the specimen z (its M ignored), in z's own frame.
  Eigen::RowVectorXcd estimate(const Shape& z, core::Estimate method, const Tail& centred = {}) const;

private:
  static std::size_t index(core::Estimate m) { return static_cast<std::size_t>(m); }
  Eigen::RowVectorXcd aligned(const Shape& z, const Eigen::RowVectorXcd& tP, core::Estimate method,
                              const Frame& f) const;
  Eigen::RowVectorXcd neighbours(const Eigen::RowVectorXcd& tP, const Eigen::RowVectorXd& distance) const;
  Eigen::RowVectorXcd regression(const Eigen::RowVectorXcd& tP) const;
  Shapes withcentres(core::Estimate method, const Tail& centred) const;

  Indices P_, M_;
  std::vector<Eigen::Index> partner_;
  Shape consensus_;
  Eigen::Index n_ = 0;
  Shapes AP_, AM_;          // the training specimens in the frame
  Eigen::VectorXd size_;    // their centroid sizes there
  std::vector<bool> measured_;
  std::optional<Eigen::MatrixXd> W_;
  Eigen::RowVectorXcd meanM_;
  Eigen::RowVectorXd reach_; // per landmark of M: the guard's bound
  Eigen::RowVectorXcd centre_; // per landmark of M: the centre of its spread
  Shapes centreloo_;           // the same, each training specimen left out
  // ridge regression
  Eigen::RowVectorXd xm_, ym_;
  Eigen::MatrixXd B_, inverse_;
  double leverage_ = 0; // the largest a left-out training specimen had
  // neighbours
  std::vector<bool> usable_;
  std::vector<Eigen::MatrixXd> Wn_;
  std::array<std::optional<Shapes>, 7> loo_;
};

// The reflection of each landmark of M's partner across the specimen's
// least-squares axis of symmetry (from its complete pairs and midline
// landmarks, those of M left out); NaN where it has none.
Eigen::RowVectorXcd mirrored(const Shape& z, const Indices& M, const std::vector<Eigen::Index>& partner);

// The least-squares mirror line of points on the axis (midline landmarks,
// pair midpoints) and vectors across it (each pair's left minus right): a
// point c on it and its unit normal n. Nothing when they tell no direction.
struct MirrorLine {
  Eigen::Vector2d c, n;
  Eigen::Vector2d reflect(const Eigen::Vector2d& p) const { return p - 2 * n * n.dot(p - c); }
};
std::optional<MirrorLine> mirrorline(const std::vector<Eigen::Vector2d>& axis,
                                     const std::vector<Eigen::Vector2d>& across);

} // namespace warp::detail
