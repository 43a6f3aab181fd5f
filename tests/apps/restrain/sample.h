#pragma once
// A deformed fossil sample with known truth, for the Restrain tests: a
// bilaterally symmetric form, copies of it at random bearings, scales and
// places, all deformed by one strain in the frame of the rock, and the
// angles measured on them as Anglepick measures and saves them.

#include "apps/anglepick/angles.h"
#include "apps/restrain/retro.h"
#include "core/angles.h"
#include "core/procrustes.h"
#include "core/strain.h"
#include "core/random.h"
#include "tests/support/test_support.h"

#include <cmath>
#include <numbers>

namespace restraintest {

inline constexpr double pi = std::numbers::pi;

// Midline landmarks 1, 2, 3 (1 at the head) and pairs (4, 5), (6, 7), (8, 9).
inline Eigen::RowVectorXd templaterow() {
  Eigen::RowVectorXd t(19);
  t << 0, 1, 0, 0.3, 0, -0.8, 0.6, 0.7, -0.6, 0.7, 0.9, -0.1, -0.9, -0.1, 0.4, -0.6, -0.4, -0.6, 1;
  return t;
}

inline Eigen::MatrixXd protocol() {
  Eigen::MatrixXd p(6, 2);
  p << 1, 0, 3, 0, 2, 0, 4, 5, 6, 7, 8, 9;
  return p;
}

// The angles in degrees, as the angle files hold them.
struct Sample {
  Eigen::MatrixXd x;      // the deformed specimens
  Eigen::VectorXd t, p;   // per specimen: t and mean p
  Eigen::MatrixXd alltp;  // every pair: t, p

  std::vector<core::Bearing> midlines() const { return restrain::midlinebearings(t); }
  restrain::PairAngles pairs() const { return restrain::PairAngles::forwellman(alltp); }
};

inline Sample deformed(const core::Strain& truth, double noise, unsigned seed) {
  core::setseed(seed);
  const Eigen::Matrix2d strain = truth.matrix();
  const Eigen::RowVectorXd form = templaterow();
  Sample s;
  const int n = 40;
  s.x.resize(n, 19);
  s.t.resize(n);
  s.p.resize(n);
  s.alltp.resize(3 * n, 2);
  for (int i = 0; i < n; ++i) {
    const Eigen::RowVectorXd placed =
        testsupport::similar(form, 0.5 + core::rand01(), 2 * pi * core::rand01(), 50 * core::rand01(), 20 * core::rand01());
    for (int j = 0; j < 9; ++j) {
      const Eigen::Vector2d v = strain * placed.segment(2 * j, 2).transpose();
      s.x(i, 2 * j) = v(0) + noise * core::randn();
      s.x(i, 2 * j + 1) = v(1) + noise * core::randn();
    }
    s.x(i, 18) = 1;
    const anglepick::TpAngles a = anglepick::get_tp(s.x.row(i), protocol());
    s.t(i) = a.tp.deg();
    s.p(i) = core::Angle::radians(a.plist.mean()).deg();
    for (int j = 0; j < 3; ++j) s.alltp.row(3 * i + j) << s.t(i), core::Angle::radians(a.plist(j)).deg();
  }
  return s;
}

// Partial Procrustes distance of every row from the template.
inline Eigen::VectorXd distances(const Eigen::MatrixXd& y) {
  const Eigen::MatrixXd form = templaterow();
  const Eigen::RowVectorXd reference = core::getpsup(form, form).row(0);
  const Eigen::MatrixXd fitted = core::getpsup(y, reference);
  return (fitted.leftCols(18).rowwise() - reference.head(18)).rowwise().norm();
}

} // namespace restraintest
