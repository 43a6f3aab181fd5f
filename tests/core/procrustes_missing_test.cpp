// Superimposition of specimens with missing landmarks: each is fitted on
// the landmarks it has, the consensus of a landmark averages the specimens
// that have it.

#include "core/procrustes.h"
#include "core/procrustes_missing.h"

#include "core/error.h"
#include "tests/support/test_support.h"

#include <cmath>
#include <numbers>

using testsupport::error_of;

namespace {

// n similar copies (scaled, turned, moved) of one shape, optionally noisy.
Eigen::MatrixXd copies(Eigen::Index n, Eigen::Index k, unsigned seed, double noise) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> u(0, 1);
  std::normal_distribution<double> e(0, noise > 0 ? noise : 1);
  const Eigen::RowVectorXd base = testsupport::randomrow(k, rng);
  Eigen::MatrixXd x(n, 2 * k + 1);
  for (Eigen::Index i = 0; i < n; ++i) {
    Eigen::RowVectorXd row = base;
    if (noise > 0)
      for (Eigen::Index j = 0; j < 2 * k; ++j) row(j) += noise * e(rng);
    x.row(i) = testsupport::similar(row, 0.5 + 3 * u(rng), 2 * std::numbers::pi * u(rng), 100 * u(rng), -50 * u(rng));
    x(i, 2 * k) = static_cast<double>(i + 1);
  }
  return x;
}

void drop(Eigen::MatrixXd& x, Eigen::Index i, Eigen::Index j) { x(i, 2 * j) = x(i, 2 * j + 1) = std::nan(""); }

double maxdiff(const Eigen::MatrixXd& a, const Eigen::MatrixXd& b) {
  double d = 0;
  for (Eigen::Index i = 0; i < a.rows(); ++i)
    for (Eigen::Index j = 0; j < a.cols(); ++j) {
      if (std::isnan(a(i, j)) != std::isnan(b(i, j))) return INFINITY;
      if (!std::isnan(a(i, j))) d = std::max(d, std::abs(a(i, j) - b(i, j)));
    }
  return d;
}

} // namespace

TEST(superimposemissing, ExactCopiesFitTheirConsensusOnTheLandmarksTheyHave) {
  Eigen::MatrixXd x = copies(12, 7, 3, 0);
  const core::Superimposition whole = core::getconsensus(x);
  drop(x, 1, 0);
  drop(x, 1, 4);
  drop(x, 5, 6);
  drop(x, 9, 2);
  drop(x, 9, 3);
  drop(x, 9, 5); // four of seven left
  const core::Superimposition part = core::getconsensus(x);
  // The same shape wherever it is seen from: the same consensus, every
  // present landmark on it, every missing one still missing.
  EXPECT_LT(maxdiff(part.y.head(14), whole.y.head(14)), 1e-12);
  for (Eigen::Index i = 0; i < x.rows(); ++i)
    for (Eigen::Index j = 0; j < 7; ++j) {
      if (std::isnan(x(i, 2 * j))) {
        EXPECT_TRUE(std::isnan(part.xpt(i, 2 * j)) && std::isnan(part.xpt(i, 2 * j + 1))) << i << " " << j;
        continue;
      }
      EXPECT_NEAR(part.xpt(i, 2 * j), part.y(2 * j), 1e-12) << i << " " << j;
      EXPECT_NEAR(part.xpt(i, 2 * j + 1), part.y(2 * j + 1), 1e-12) << i << " " << j;
    }
  EXPECT_EQ(part.xpt.col(14), x.col(14)); // the size slot travels unchanged

  // Onto a given reference, wherever and however large it is.
  const Eigen::RowVectorXd ref = testsupport::similar(whole.y, 7, 1.2, 30, 40);
  const Eigen::MatrixXd onto = core::getpsup(x, ref);
  const Eigen::MatrixXd wholeonto = core::getpsup(core::getconsensus(copies(12, 7, 3, 0)).xpt, ref);
  for (Eigen::Index i = 0; i < x.rows(); ++i)
    for (Eigen::Index j = 0; j < 14; ++j)
      if (std::isnan(x(i, j))) EXPECT_TRUE(std::isnan(onto(i, j)));
      else EXPECT_NEAR(onto(i, j), wholeonto(i, j), 1e-12) << i << " " << j;

  // Upright, as the principal-axis consensus turns everything.
  const core::Superimposition upright = core::getconsensuspca(x);
  const core::Superimposition wholeupright = core::getconsensuspca(copies(12, 7, 3, 0));
  EXPECT_LT(maxdiff(upright.y, wholeupright.y), 1e-9);
  EXPECT_NEAR(upright.xpt(1, 2), upright.y(2), 1e-9);
  EXPECT_TRUE(std::isnan(upright.xpt(9, 4)));
}

TEST(superimposemissing, OnCompleteDataTheFitIsTheCompleteOne) {
  // The missing-landmark geometry reduces to the complete fit: run on
  // complete noisy data it agrees with the complete path.
  const Eigen::MatrixXd x = copies(300, 9, 5, 0.05);
  const core::Superimposition fast = core::getconsensus(x);
  const core::Superimposition slow = core::detail::consensusmissing(x, "getconsensus", false);
  EXPECT_LT(maxdiff(fast.y, slow.y), 1e-10);
  EXPECT_LT(maxdiff(fast.xpt, slow.xpt), 1e-10);
  EXPECT_LT(maxdiff(core::getpsup(x, fast.y), core::detail::psupmissing(x, fast.y, "getpsup")), 1e-12);

  // Noisy and incomplete: still close to the complete consensus.
  Eigen::MatrixXd holes = x;
  for (Eigen::Index i = 0; i < 300; i += 10) drop(holes, i, i % 9);
  // (The consensus starts from the first complete specimen, here row 2,
  // so it is turned onto the complete one before comparing.)
  const Eigen::MatrixXd turned = core::getpsup(core::getconsensus(holes).y, fast.y);
  EXPECT_LT(maxdiff(turned.leftCols(18), fast.y.head(18)), 5e-3);
}

// With no complete specimen the consensus starts from the most complete one
// and still finds the shape: exact copies give it exactly, noisy ones
// nearly the complete data's.
TEST(superimposemissing, NeedsNoCompleteSpecimen) {
  Eigen::MatrixXd exact = copies(6, 5, 11, 0);
  const core::Superimposition whole = core::getconsensus(exact);
  for (Eigen::Index i = 0; i < 6; ++i) drop(exact, i, i % 5);
  drop(exact, 3, 2); // row 4 lacks two: not the start
  const core::Superimposition part = core::getconsensus(exact);
  const Eigen::MatrixXd turned = core::getpsup(part.y, whole.y);
  EXPECT_LT(maxdiff(turned.leftCols(10), whole.y.head(10)), 1e-12);

  const Eigen::MatrixXd noisy = copies(200, 9, 13, 0.05);
  Eigen::MatrixXd holes = noisy;
  for (Eigen::Index i = 0; i < 200; ++i) drop(holes, i, (i * 7) % 9);
  const Eigen::MatrixXd near = core::getpsup(core::getconsensuspca(holes).y, core::getconsensuspca(noisy).y);
  EXPECT_LT(maxdiff(near.leftCols(18), core::getconsensuspca(noisy).y.head(18)), 5e-3);
}

TEST(superimposemissing, RefusesWhatCannotBeFitted) {
  Eigen::MatrixXd x = copies(4, 3, 7, 0);
  Eigen::MatrixXd everywhere = x;
  for (Eigen::Index i = 0; i < 4; ++i) drop(everywhere, i, 1);
  EXPECT_EQ(error_of([&] { core::getconsensus(everywhere); }),
            "Superimposition: landmark 2 is missing in every specimen, so it has no consensus position");
  Eigen::MatrixXd lonely = x;
  drop(lonely, 2, 0);
  drop(lonely, 2, 2);
  EXPECT_EQ(error_of([&] { core::getpsup(lonely, x.row(0)); }),
            "Fit onto the consensus: specimen row 3 has fewer than two landmarks present, so it cannot be fitted; estimate its "
            "missing landmarks or leave it out");
  // An infinite coordinate is no missing landmark: refused as before.
  Eigen::MatrixXd inf = x;
  inf(1, 0) = INFINITY;
  EXPECT_EQ(error_of([&] { core::getconsensus(inf); }),
            "Superimposition: specimen row 2 holds a coordinate that is not a finite number");
}
