#include "warp/undeform.h"

#include "core/numeric.h"
#include "core/procrustes.h"
#include "warp/partial_warps.h"
#include "tests/support/test_support.h"

#include <cmath>
#include <vector>

using testsupport::error_of;
using testsupport::near;

namespace warptest {
Eigen::RowVectorXd reversepwarb_definition(const Eigen::RowVectorXd& reference, const Eigen::RowVectorXd& pw);
Eigen::MatrixXd strained(Eigen::Index n, Eigen::Index k, unsigned seed);
} // namespace warptest

using warptest::strained;

namespace {

Eigen::RowVectorXd roundedconsensus(const Eigen::MatrixXd& x) {
  return core::getconsensus(x).y.unaryExpr([](double v) { return std::round(1e4 * v) / 1e4; });
}

Eigen::MatrixXd axes(std::vector<double> a) { return Eigen::Map<Eigen::RowVectorXd>(a.data(), std::ssize(a)); }

// undeformpca as the method reads, rebuilding one specimen at a time.
Eigen::MatrixXd undeformpca_definition(const Eigen::MatrixXd& data, const std::vector<int>& list) {
  const Eigen::Index n = data.cols(), numpca = n - 5;
  const Eigen::RowVectorXd reference = roundedconsensus(data);
  const Eigen::MatrixXd sup = core::getpsup(data, reference);
  const Eigen::MatrixXd pwscores = warp::getpw_arbit(reference, sup);
  const Eigen::MatrixXd v = core::eigsym(core::cov(pwscores.leftCols(numpca))).vectors;
  Eigen::MatrixXd pca = pwscores.leftCols(numpca) * v;
  for (int a : list) pca.col(numpca - a).setZero();
  Eigen::MatrixXd rpw(data.rows(), n - 4);
  rpw << pca * v.transpose(), sup.col(n - 1);
  Eigen::MatrixXd undata(data.rows(), n);
  for (Eigen::Index i = 0; i < data.rows(); ++i) undata.row(i) = warptest::reversepwarb_definition(reference, rpw.row(i));
  return undata;
}

} // namespace

TEST(undeformpca, MatchesTheSpecimenBySpecimenMethodAndRemovingEveryAxisLeavesTheReference) {
  const Eigen::MatrixXd x = strained(60, 9, 1);
  EXPECT_TRUE(near(warp::undeformpca(x, axes({})), undeformpca_definition(x, {}), 1e-10));
  EXPECT_TRUE(near(warp::undeformpca(x, axes({1})), undeformpca_definition(x, {1}), 1e-10));
  EXPECT_TRUE(near(warp::undeformpca(x, axes({14, 3, 2})), undeformpca_definition(x, {14, 3, 2}), 1e-10));
  // Listing an axis twice removes it once.
  EXPECT_TRUE(near(warp::undeformpca(x, axes({3, 3, 2})), warp::undeformpca(x, axes({2, 3})), 0));
  const Eigen::MatrixXd none = warp::undeformpca(x, Eigen::VectorXd::LinSpaced(14, 14, 1));
  EXPECT_TRUE(near(none, roundedconsensus(x).replicate(60, 1), 1e-12));
}

TEST(undeformpca, RemovingAxisOneZeroesOnlyTheLargestVarianceDirection) {
  const Eigen::MatrixXd x = strained(80, 8, 3);
  const Eigen::RowVectorXd reference = roundedconsensus(x);
  const Eigen::MatrixXd before = warp::getpw_arbit(reference, core::getpsup(x, reference)).leftCols(12);
  const core::SymmetricEigen pc = core::eigsym(core::cov(before));
  ASSERT_GT(pc.values(11), 5 * pc.values(10)); // the strain dominates
  // Rebuilt specimens score back to the shape variables they came from.
  const Eigen::MatrixXd after = warp::getpw_arbit(reference, warp::undeformpca(x, axes({1}))).leftCols(12);
  const Eigen::MatrixXd pa = before * pc.vectors, pb = after * pc.vectors;
  EXPECT_TRUE(near(pb.col(11), Eigen::VectorXd::Zero(80), 1e-10));
  EXPECT_TRUE(near(pb.leftCols(11), pa.leftCols(11), 1e-10));
}

TEST(undeformpca, RefusesAnAxisThatIsNotThereAndTooFewLandmarks) {
  const Eigen::MatrixXd x = strained(10, 5, 4);
  for (double a : {7.0, 0.0, 2.5})
    EXPECT_EQ(error_of([&] { warp::undeformpca(x, axes({1, a})); }),
              "undeformpca: axis " + testing::PrintToString(a) +
                  " is not one of the principal axes 1 ... 6 of a data set of 5 landmarks");
  EXPECT_EQ(error_of([&] { warp::undeformpca(x.rightCols(5), axes({1})); }),
            "undeformpca: a specimen of 2 landmarks has no principal axes of shape, so axis 1 cannot be removed; at "
            "least three landmarks are needed");
}
