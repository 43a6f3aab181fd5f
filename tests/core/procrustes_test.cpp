#include "core/procrustes.h"

#include "core/configurations.h"
#include "core/error.h"
#include "io/row_file.h"
#include "tests/support/test_support.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>

using testsupport::error_of;
using testsupport::near;

namespace {

// A data set of n noisy copies of one random shape, each scaled, turned and
// moved at random; row i's size slot is i + 1.
Eigen::MatrixXd noisyset(Eigen::Index n, Eigen::Index k, unsigned seed, double noise) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> u(0, 1);
  std::normal_distribution<double> e(0, noise);
  const Eigen::RowVectorXd base = testsupport::randomrow(k, rng);
  Eigen::MatrixXd x(n, 2 * k + 1);
  for (Eigen::Index i = 0; i < n; ++i) {
    Eigen::RowVectorXd row = base;
    for (Eigen::Index j = 0; j < 2 * k; ++j) row(j) += e(rng);
    x.row(i) = testsupport::similar(row, 0.5 + 3 * u(rng), 2 * std::numbers::pi * u(rng), 100 * u(rng), -50 * u(rng));
    x(i, 2 * k) = static_cast<double>(i + 1);
  }
  return x;
}

// The textbook form of the iteration: per-row atan2, cos and sin, rows
// turned in place every pass, plain column means.
core::Superimposition reference_consensus(const Eigen::MatrixXd& x) {
  const Eigen::Index m = x.rows(), n = x.cols(), k = (n - 1) / 2;
  Eigen::MatrixXd z = x;
  for (Eigen::Index i = 0; i < m; ++i) {
    const Eigen::RowVector2d c = core::centpos(Eigen::MatrixXd(z.row(i)));
    for (Eigen::Index j = 0; j < k; ++j) {
      z(i, 2 * j) -= c(0);
      z(i, 2 * j + 1) -= c(1);
    }
    const double s = core::centsize(Eigen::MatrixXd(z.row(i)))(0);
    z.row(i).head(n - 1) /= s;
  }
  Eigen::RowVectorXd r = z.row(0);
  double change = 1;
  while (change > core::consensus_tolerance) {
    for (Eigen::Index i = 0; i < m; ++i) {
      double ct = 0, st = 0;
      for (Eigen::Index j = 0; j < k; ++j) {
        ct += r(2 * j) * z(i, 2 * j) + r(2 * j + 1) * z(i, 2 * j + 1);
        st += z(i, 2 * j) * r(2 * j + 1) - z(i, 2 * j + 1) * r(2 * j);
      }
      const double t = std::atan2(st, ct);
      for (Eigen::Index j = 0; j < k; ++j) {
        const double a = z(i, 2 * j), b = z(i, 2 * j + 1);
        z(i, 2 * j) = a * std::cos(t) - b * std::sin(t);
        z(i, 2 * j + 1) = a * std::sin(t) + b * std::cos(t);
      }
    }
    const Eigen::RowVectorXd old = r;
    r = z.colwise().mean();
    r /= r.head(n - 1).norm();
    change = (r.head(n - 1) - old.head(n - 1)).squaredNorm();
  }
  return {r, z};
}


} // namespace

TEST(getconsensus, CopiesOfOneShapeSuperimposeIdentically) {
  std::mt19937 rng(11);
  const Eigen::RowVectorXd base = testsupport::randomrow(6, rng, 5.0);
  Eigen::MatrixXd x(4, 13);
  x.row(0) = base;
  x.row(1) = testsupport::similar(base, 3, 1.0, 10, 20);
  x.row(2) = testsupport::similar(base, 0.1, -2.5, -3, 0);
  x.row(3) = testsupport::similar(base, 7, 3.0, 0, 1e3);
  const core::Superimposition s = core::getconsensus(x);
  // The consensus is the standardised first specimen.
  Eigen::RowVectorXd first = base;
  const Eigen::RowVector2d c = core::centpos(Eigen::MatrixXd(base));
  for (int j = 0; j < 6; ++j) first(2 * j) -= c(0), first(2 * j + 1) -= c(1);
  first.head(12) /= core::centsize(Eigen::MatrixXd(first))(0);
  EXPECT_TRUE(near(s.y.head(12), first.head(12), 1e-12));
  for (Eigen::Index i = 0; i < 4; ++i) EXPECT_TRUE(near(s.xpt.row(i).head(12), first.head(12), 1e-12)) << i;
}

TEST(getconsensus, ConsensusAndRowsAreCentredAtUnitSize) {
  const Eigen::MatrixXd x = noisyset(50, 8, 12, 0.05);
  const core::Superimposition s = core::getconsensus(x);
  EXPECT_NEAR(s.y.head(16).squaredNorm(), 1.0, 1e-14);
  EXPECT_TRUE(near(core::centpos(Eigen::MatrixXd(s.y)), Eigen::RowVector2d::Zero(), 1e-14));
  const Eigen::VectorXd sizes = core::centsize(s.xpt);
  for (Eigen::Index i = 0; i < 50; ++i) {
    EXPECT_NEAR(sizes(i), 1.0, 1e-14);
    EXPECT_TRUE(near(core::centpos(Eigen::MatrixXd(s.xpt.row(i))), Eigen::RowVector2d::Zero(), 1e-13));
  }
  // The size slot travels with each row; the consensus slot is the mean
  // slot divided by the same norm as the coordinates.
  EXPECT_TRUE(near(s.xpt.col(16), x.col(16), 0));
  // The mean of unit-size rows is a little shorter than 1, so the slot grows
  // a little.
  EXPECT_GE(s.y(16), x.col(16).mean());
  EXPECT_LT(s.y(16), 1.1 * x.col(16).mean());
}

TEST(getconsensus, MatchesTheTextbookIterationOnNoisyData) {
  for (unsigned seed : {21u, 22u, 23u}) {
    const Eigen::MatrixXd x = noisyset(300, 12, seed, 0.1);
    const core::Superimposition fast = core::getconsensus(x);
    const core::Superimposition slow = reference_consensus(x);
    EXPECT_TRUE(near(fast.y, slow.y, 1e-9)) << seed;
    EXPECT_TRUE(near(fast.xpt, slow.xpt, 1e-9)) << seed;
  }
}

TEST(getconsensus, IsUnchangedByMovingScalingOrTurningAnySpecimen) {
  const Eigen::MatrixXd x = noisyset(40, 7, 31, 0.1);
  Eigen::MatrixXd moved = x;
  for (Eigen::Index i = 1; i < x.rows(); i += 3)
    moved.row(i) = testsupport::similar(x.row(i), 4.0, 0.7 * static_cast<double>(i), -9, 17);
  const core::Superimposition a = core::getconsensus(x);
  const core::Superimposition b = core::getconsensus(moved);
  EXPECT_TRUE(near(a.y, b.y, 1e-9));
  EXPECT_TRUE(near(a.xpt, b.xpt, 1e-9));
}

TEST(getconsensus, NeverReflectsAMirrorImage) {
  std::mt19937 rng(41);
  const Eigen::RowVectorXd base = testsupport::randomrow(5, rng);
  Eigen::RowVectorXd mirror = base;
  for (int j = 0; j < 5; ++j) mirror(2 * j) = -mirror(2 * j);
  Eigen::MatrixXd x(2, 11);
  x << base, mirror;
  const core::Superimposition s = core::getconsensus(x);
  EXPECT_GT((s.xpt.row(0).head(10) - s.xpt.row(1).head(10)).norm(), 0.1);
  // Each row is only turned: the distances among its landmarks keep their
  // proportions.
  EXPECT_NEAR(core::centsize(Eigen::MatrixXd(s.xpt.row(1)))(0), 1.0, 1e-14);
}

TEST(getconsensus, RejectsWhatCannotBeSuperimposed) {
  Eigen::MatrixXd one(1, 7);
  one << 0, 0, 1, 0, 0, 1, 1;
  EXPECT_EQ(error_of([&] { core::getconsensus(one); }),
            "Superimposition: a consensus needs at least two specimens, but the data set has 1");
  EXPECT_EQ(error_of([&] { core::getconsensus(Eigen::MatrixXd::Ones(3, 6)); }),
            "Superimposition: the data set has 6 columns, but a specimen row holds 2k + 1 (k landmarks and the size slot)");
  Eigen::MatrixXd point(3, 7);
  point << 0, 0, 1, 0, 0, 1, 1, /**/ 2, 2, 2, 2, 2, 2, 1, /**/ 0, 1, 1, 1, 0, 0, 1;
  EXPECT_EQ(error_of([&] { core::getconsensus(point); }),
            "Superimposition: the landmarks of specimen row 2 all lie at one point (centroid size 0), so it cannot be scaled");
  // NaN marks a missing landmark; what is left of row 2 is one point.
  point(1, 3) = std::nan("");
  EXPECT_EQ(error_of([&] { core::getconsensus(point); }),
            "Superimposition: specimen row 2 has all its present landmarks at one point, so it cannot be fitted; "
            "estimate its missing landmarks or leave it out");
  point(1, 3) = INFINITY;
  EXPECT_EQ(error_of([&] { core::getconsensus(point); }),
            "Superimposition: specimen row 2 holds a coordinate that is not a finite number");
}

TEST(getpsup, IgnoresThePositionAndSizeOfTheReference) {
  const Eigen::MatrixXd x = noisyset(30, 9, 51, 0.1);
  const core::Superimposition s = core::getconsensus(x);
  const Eigen::MatrixXd a = core::getpsup(x, s.y);
  const Eigen::RowVectorXd bigger = testsupport::similar(s.y, 25, 0, 40, -7);
  const Eigen::MatrixXd b = core::getpsup(x, bigger);
  EXPECT_TRUE(near(a, b, 1e-12));
  // On its own converged consensus one pass reproduces the superimposition,
  // up to the consensus's last change (at most the square root of the
  // stopping tolerance, 2.7e-5).
  EXPECT_TRUE(near(a, s.xpt, 2.8e-5));
  // Only the first n - 1 entries of the reference are read.
  EXPECT_TRUE(near(core::getpsup(x, Eigen::MatrixXd(s.y.head(18))), a, 0));
  EXPECT_NE(error_of([&] { core::getpsup(x, Eigen::MatrixXd(s.y.head(10))); }).find("reference holds 10 values"),
            std::string::npos);
}

TEST(getconsensuspca, StandsTheLongAxisUpright) {
  // A consensus longer along x than y: every point (x, y) becomes (y, -x).
  Eigen::RowVectorXd wide(9);
  wide << -2, -0.5, 2, -0.5, 2, 0.5, -2, 0.5, 0;
  Eigen::MatrixXd x(3, 9);
  x << wide, wide, wide;
  const core::Superimposition s = core::getconsensuspca(x);
  Eigen::RowVectorXd expected(9);
  const double norm = wide.head(8).norm();
  for (int j = 0; j < 4; ++j) {
    expected(2 * j) = wide(2 * j + 1) / norm;
    expected(2 * j + 1) = -wide(2 * j) / norm;
  }
  expected(8) = 999;
  EXPECT_TRUE(near(s.y, expected, 1e-14));
  EXPECT_TRUE(near(s.xpt.leftCols(8), expected.head(8).replicate(3, 1), 1e-14));
  EXPECT_TRUE(near(s.xpt.col(8), x.col(8), 0));

  // Longer along y: the same quarter turn lays it horizontal.
  Eigen::RowVectorXd tall(9);
  tall << -0.5, -2, 0.5, -2, 0.5, 2, -0.5, 2, 0;
  x << tall, tall, tall;
  const core::Superimposition t = core::getconsensuspca(x);
  for (int j = 0; j < 4; ++j) {
    EXPECT_NEAR(t.y(2 * j), tall(2 * j + 1) / norm, 1e-14);
    EXPECT_NEAR(t.y(2 * j + 1), -tall(2 * j) / norm, 1e-14);
  }
}

TEST(getconsensuspca, IsTheConsensusTurnedAsAWhole) {
  const Eigen::MatrixXd x = noisyset(60, 10, 61, 0.08);
  const core::Superimposition plain = core::getconsensus(x);
  const core::Superimposition pca = core::getconsensuspca(x);
  EXPECT_EQ(pca.y(20), 999);
  EXPECT_NEAR(pca.y.head(20).squaredNorm(), 1.0, 1e-13);
  EXPECT_TRUE(near(pca.xpt.col(20), x.col(20), 0));
  // One angle takes the plain consensus to the aligned one, and the same
  // angle takes every plain row to its aligned row.
  const double angle = std::atan2(plain.y(0) * pca.y(1) - plain.y(1) * pca.y(0),
                                  plain.y(0) * pca.y(0) + plain.y(1) * pca.y(1));
  const Eigen::RowVectorXd turned = testsupport::similar(plain.y, 1, angle, 0, 0);
  EXPECT_TRUE(near(turned.head(20), pca.y.head(20), 1e-7));
  for (Eigen::Index i = 0; i < x.rows(); i += 7)
    EXPECT_TRUE(near(testsupport::similar(plain.xpt.row(i), 1, angle, 0, 0), pca.xpt.row(i), 1e-7)) << i;
  // The principal axes of the result are the coordinate axes, the long one
  // vertical.
  double sxy = 0, sxx = 0, syy = 0;
  for (int j = 0; j < 10; ++j) {
    sxy += pca.y(2 * j) * pca.y(2 * j + 1);
    sxx += pca.y(2 * j) * pca.y(2 * j);
    syy += pca.y(2 * j + 1) * pca.y(2 * j + 1);
  }
  EXPECT_NEAR(sxy, 0, 1e-12);
}

TEST(getconsensuspca, KeepsARegularShapeFinite) {
  // A square has equal second moments in every direction: no principal
  // axis, yet the result must stay numbers.
  Eigen::MatrixXd x(2, 9);
  x << 0, 0, 1, 0, 1, 1, 0, 1, 1, /**/ 0, 0, 2, 0, 2, 2, 0, 2, 1;
  const core::Superimposition s = core::getconsensuspca(x);
  EXPECT_TRUE(s.y.allFinite());
  EXPECT_TRUE(s.xpt.allFinite());
}

TEST(pdistbc, PairsTheDistanceWithTheLastColumn) {
  Eigen::RowVectorXd ref(5);
  ref << 0, 0, 1, 0, 99;
  Eigen::MatrixXd x(3, 5);
  x << 0, 0, 1, 0, 7, /**/ 3, 4, 1, 0, -2, /**/ 0, 0, 1, 1, 0;
  Eigen::MatrixXd expected(3, 2);
  expected << 0, 7, 5, -2, 1, 0;
  EXPECT_TRUE(near(core::pdistbc(ref, x), expected, 0));
  EXPECT_EQ(core::pdistbc(ref, Eigen::MatrixXd(0, 5)).rows(), 0);
}

TEST(pdistbc, MeasuresProcrustesDistanceOnARealDataSet) {
  const Eigen::MatrixXd x = io::dload(testsupport::example("plethodon_12lm/plethodon.txt"));
  const core::Superimposition s = core::getconsensus(x);
  const Eigen::MatrixXd p = core::pdistbc(s.y, s.xpt);
  ASSERT_EQ(p.rows(), 40);
  EXPECT_TRUE(near(p.col(1), x.col(24), 0));
  // Superimposed at unit size on a unit-size consensus, every distance is
  // below the chord between antipodal points and the consensus minimises
  // the summed squares: moving it away increases them.
  EXPECT_TRUE((p.col(0).array() < 2).all());
  const Eigen::RowVectorXd off = s.y + Eigen::RowVectorXd::Constant(25, 0.01);
  EXPECT_LT(p.col(0).squaredNorm(), core::pdistbc(off, s.xpt).col(0).squaredNorm());
}

namespace {

// Whether two matrices have the same shape and the same bits.
::testing::AssertionResult samebits(const Eigen::MatrixXd& a, const Eigen::MatrixXd& b) {
  if (a.rows() != b.rows() || a.cols() != b.cols()) return ::testing::AssertionFailure() << "shapes differ";
  if (std::memcmp(a.data(), b.data(), static_cast<std::size_t>(a.size()) * sizeof(double)) != 0)
    return ::testing::AssertionFailure() << "largest difference " << (a - b).cwiseAbs().maxCoeff();
  return ::testing::AssertionSuccess();
}

} // namespace

// Small chunks, shared whatever the size of the data set, so that small
// data sets are really split among the threads.
constexpr core::Split smallchunks{.chunk = 48, .alone = 0};

// These sizes make several chunks, the last one short and of an odd
// length, so the threads' shares and the chunks' sums differ; the larger
// data set is one that is not kept standardised between passes.
TEST(superimpositionthreads, AnyThreadCountGivesTheSameBits) {
  for (Eigen::Index n : {Eigen::Index{6901}, Eigen::Index{211}}) {
    const Eigen::MatrixXd x = noisyset(n, 9, 61, 0.1);
    const core::Superimposition one = core::getconsensus(x, 1, smallchunks);
    const core::Superimposition pca = core::getconsensuspca(x, 1, smallchunks);
    const Eigen::MatrixXd sup = core::getpsup(x, one.y, 1, smallchunks);
    for (unsigned threads : {2u, 3u, 0u}) {
      const core::Superimposition many = core::getconsensus(x, threads, smallchunks);
      EXPECT_TRUE(samebits(many.y, one.y)) << n << " rows, " << threads << " threads";
      EXPECT_TRUE(samebits(many.xpt, one.xpt)) << n << " rows, " << threads << " threads";
      const core::Superimposition manypca = core::getconsensuspca(x, threads, smallchunks);
      EXPECT_TRUE(samebits(manypca.y, pca.y)) << n << " rows, " << threads << " threads";
      EXPECT_TRUE(samebits(manypca.xpt, pca.xpt)) << n << " rows, " << threads << " threads";
      EXPECT_TRUE(samebits(core::getpsup(x, one.y, threads, smallchunks), sup)) << n << " rows, " << threads << " threads";
    }
  }
}

// The chunked sums and the rows written while the last pass turns them
// must still be the textbook iteration's, and its rows as a single pass
// onto the consensus places them.
TEST(superimpositionthreads, LargeDataSetsMatchTheTextbookIteration) {
  for (double noise : {0.02, 0.3}) {
    const Eigen::MatrixXd x = noisyset(5003, 6, 71, noise);
    const core::Superimposition fast = core::getconsensus(x, 2, smallchunks);
    const core::Superimposition slow = reference_consensus(x);
    EXPECT_TRUE(near(fast.y, slow.y, 1e-9)) << noise;
    EXPECT_TRUE(near(fast.xpt, slow.xpt, 1e-9)) << noise;
    EXPECT_TRUE(near(core::getpsup(x, fast.y, 2, smallchunks), fast.xpt, 2.8e-5)) << noise;
    // The size slot is copied whichever thread writes the row.
    EXPECT_TRUE(near(fast.xpt.col(12), x.col(12), 0));
    EXPECT_TRUE(near(core::getconsensuspca(x, 2, smallchunks).xpt.col(12), x.col(12), 0));
  }
}

// Rows are checked by whichever thread takes their chunk; the message still
// names the first row that cannot be scaled, not the first one found.
TEST(superimpositionthreads, NamesTheFirstUnscalableRowOfAnyChunk) {
  Eigen::MatrixXd x = noisyset(400, 5, 81, 0.1);
  x.row(350).head(10).setConstant(3); // all landmarks at one point
  x(250, 3) = std::numeric_limits<double>::infinity();
  for (unsigned threads : {1u, 2u}) {
    EXPECT_EQ(error_of([&] { core::getconsensus(x, threads, smallchunks); }),
              "Superimposition: specimen row 251 holds a coordinate that is not a finite number");
    EXPECT_EQ(error_of([&] { core::getpsup(x, x.row(0), threads, smallchunks); }),
              "Fit onto the consensus: specimen row 251 holds a coordinate that is not a finite number");
  }
  x(250, 3) = 0.5;
  EXPECT_EQ(error_of([&] { core::getconsensuspca(x, 2, smallchunks); }),
            "Superimposition on the principal axes: the landmarks of specimen row 351 all lie at one point (centroid size 0), so it cannot "
            "be scaled");
}
