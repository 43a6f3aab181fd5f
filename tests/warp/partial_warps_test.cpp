#include "warp/partial_warps.h"

#include "core/configurations.h"
#include "core/numeric.h"
#include "core/procrustes.h"
#include "warp/thin_plate.h"
#include "warp/uniform.h"
#include "tests/support/test_support.h"

#include <Eigen/LU>
#include <Eigen/QR>
#include <cmath>

using testsupport::error_of;
using testsupport::near;

namespace warptest {

// reversepwarb for one score row as the method reads: every piece that
// depends on the reference rebuilt from scratch. undeform_test uses it too.
Eigen::RowVectorXd reversepwarb_definition(const Eigen::RowVectorXd& reference, const Eigen::RowVectorXd& pw) {
  const Eigen::MatrixXd b1 = warp::UniArbitrary(reference);
  const Eigen::Index k = b1.cols() / 2;
  const Eigen::MatrixXd il = warp::gettspl(core::vertxy(reference)).inverse();
  const core::SymmetricEigen e = core::eigsym(il.topLeftCorner(k, k));
  const warp::SortedEigen s = warp::eigsort(e.vectors, Eigen::MatrixXd(e.values.asDiagonal()));
  Eigen::MatrixXd vm(2 * k - 4, 2 * k + 1);
  const Eigen::VectorXd zero = Eigen::VectorXd::Zero(k);
  for (Eigen::Index i = 0; i < k - 3; ++i) {
    vm.row(2 * i) = core::xyfromvert((Eigen::MatrixXd(k, 2) << s.vr.col(i), zero).finished(), 0);
    vm.row(2 * i + 1) = core::xyfromvert((Eigen::MatrixXd(k, 2) << zero, s.vr.col(i)).finished(), 0);
  }
  vm.row(2 * k - 6) << b1.row(0), 0;
  vm.row(2 * k - 5) << b1.row(1), 0;
  return (vm.transpose() * pw.head(2 * k - 4).transpose()).transpose() + reference;
}

// n copies of one shape of k landmarks, each with landmark noise and its
// own stretch along x with the matching squeeze along y, then sized,
// turned and moved at random (the stretch is the dominant shape change);
// size slot i in row i.
Eigen::MatrixXd strained(Eigen::Index n, Eigen::Index k, unsigned seed) {
  std::mt19937 rng(seed);
  std::normal_distribution<double> e(0, 0.02), t(0, 0.15);
  std::uniform_real_distribution<double> u(-1, 1);
  const Eigen::RowVectorXd base = testsupport::randomrow(k, rng);
  Eigen::MatrixXd x(n, 2 * k + 1);
  for (Eigen::Index i = 0; i < n; ++i) {
    const double s = std::exp(t(rng));
    Eigen::RowVectorXd r = base;
    for (Eigen::Index j = 0; j < k; ++j) r(2 * j) = r(2 * j) * s + e(rng), r(2 * j + 1) = r(2 * j + 1) / s + e(rng);
    x.row(i) = testsupport::similar(r, 2 + u(rng), 3 * u(rng), 5 * u(rng), u(rng));
    x(i, 2 * k) = static_cast<double>(i);
  }
  return x;
}

} // namespace warptest

TEST(getpw_arbit, ScoresTheReferenceAsZerosAndReversepwarbRebuildsItFromZeros) {
  std::mt19937 rng(7);
  for (Eigen::Index k : {4, 9}) {
    const Eigen::RowVectorXd ref = testsupport::randomrow(k, rng, 0.25);
    const Eigen::MatrixXd pw = warp::getpw_arbit(ref, ref);
    ASSERT_EQ(pw.cols(), 2 * k - 3);
    EXPECT_TRUE(near(pw.leftCols(2 * k - 4), Eigen::MatrixXd::Zero(1, 2 * k - 4), 1e-12)) << k;
    EXPECT_EQ(pw(0, 2 * k - 4), 0.25);
    Eigen::RowVectorXd zeros = Eigen::RowVectorXd::Zero(2 * k - 3);
    zeros(2 * k - 4) = 42;
    EXPECT_TRUE(near(warp::reversepwarb(ref, zeros), ref, 0)) << k;
  }
}

TEST(reversepwarb, RebuildsAScoredSpecimenLessItsSimilarityPart) {
  // A centred reference with four decimals, which UniArbitrary's rounding
  // leaves as it is: the shape directions and the reference's translations,
  // rotation and scaling then split the plane of configurations exactly.
  std::mt19937 rng(8);
  Eigen::RowVectorXd ref = testsupport::randomrow(10, rng, 0.5);
  ref.head(20) = (ref.head(20) * 1e4).array().round() / 1e4;
  ref(18) = -(ref.head(18)(Eigen::seq(0, 16, 2)) * 1e4).sum() / 1e4;
  ref(19) = -(ref.head(18)(Eigen::seq(1, 17, 2)) * 1e4).sum() / 1e4;
  Eigen::MatrixXd similarity(20, 4);
  for (Eigen::Index i = 0; i < 10; ++i) {
    similarity.row(2 * i) << 1, 0, ref(2 * i), -ref(2 * i + 1);
    similarity.row(2 * i + 1) << 0, 1, ref(2 * i + 1), ref(2 * i);
  }
  const Eigen::MatrixXd x = warptest::strained(6, 10, 8);
  const Eigen::MatrixXd sup = core::getpsup(x, ref);
  for (const Eigen::MatrixXd& set : {x, sup}) {
    const Eigen::MatrixXd rebuilt = warp::reversepwarb(ref, warp::getpw_arbit(ref, set));
    for (Eigen::Index i = 0; i < set.rows(); ++i) {
      const Eigen::VectorXd d = (set.row(i) - ref).head(20).transpose();
      const Eigen::VectorXd shape = d - similarity * similarity.colPivHouseholderQr().solve(d);
      EXPECT_TRUE(near((rebuilt.row(i) - ref).head(20), shape.transpose(), 1e-12)) << i;
      EXPECT_EQ(rebuilt(i, 20), ref(20));
    }
  }
  // A superimposed specimen has no translation or rotation left: it comes
  // back whole but for its residual scale along the reference.
  const Eigen::RowVectorXd r = (warp::reversepwarb(ref, warp::getpw_arbit(ref, sup)) - sup).row(0).head(20);
  EXPECT_TRUE(near(r, r.dot(ref.head(20)) / ref.head(20).squaredNorm() * ref.head(20), 1e-12));
}

TEST(getpw_arbit, OnePassOverADataSetMatchesScoringAndRebuildingEachSpecimen) {
  for (Eigen::Index k : {3, 7, 20}) {
    const Eigen::MatrixXd x = warptest::strained(40, k, static_cast<unsigned>(k));
    const Eigen::RowVectorXd ref = core::getconsensus(x).y;
    const Eigen::MatrixXd pw = warp::getpw_arbit(ref, x);
    const Eigen::MatrixXd rebuilt = warp::reversepwarb(ref, pw);
    const Eigen::MatrixXd table = warp::gettpse(warp::gettspl(core::vertxy(ref)));
    for (Eigen::Index i = 0; i < x.rows(); ++i) {
      const Eigen::MatrixXd s = warp::scpcoeff_arbrot(table, x.row(i), ref);
      Eigen::RowVectorXd expected(2 * k - 3);
      expected << s.reshaped<Eigen::RowMajor>().transpose(), x(i, 2 * k);
      ASSERT_TRUE(near(pw.row(i), expected, 1e-10)) << k << " " << i;
      ASSERT_TRUE(near(rebuilt.row(i), warptest::reversepwarb_definition(ref, pw.row(i)), 1e-10)) << k << " " << i;
    }
  }
}

TEST(getpw_arbit, RefusesAReferenceWithoutASplineAndShortScoreRows) {
  Eigen::RowVectorXd ref(9);
  ref << 0, 0, 1, 2, 2, 4, 3, 6, 1;
  EXPECT_EQ(error_of([&] { warp::getpw_arbit(ref, ref); }),
            "getpw_arbit: all 4 reference landmarks lie on one line, so no thin-plate spline passes through the "
            "reference (its matrix is singular)");
  ref(3) = 1;
  EXPECT_EQ(error_of([&] { warp::reversepwarb(ref, Eigen::MatrixXd::Zero(1, 4)); }),
            "reversepwarb: a warp score row against a reference of 4 landmarks holds 5 values, but this one holds 4");
}
