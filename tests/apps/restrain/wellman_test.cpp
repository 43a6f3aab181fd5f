#include "apps/restrain/wellman.h"

#include "apps/restrain/retro.h"
#include "tests/apps/restrain/sample.h"
#include "core/angles.h"
#include "core/error.h"
#include "core/random.h"
#include "core/strain.h"
#include "tests/support/test_support.h"

#include <Eigen/LU>
#include <algorithm>
#include <cmath>
#include <numbers>
#include <optional>
#include <vector>

using testsupport::error_of;

namespace {

constexpr double pi = std::numbers::pi;

core::Strain strain(double R, double thetadeg) { return {R, core::Bearing::degrees(thetadeg)}; }

// Pairs at t = 5, 12, 19, ... 173 degrees whose p is what the strain
// predicts, as an angle file holds them (degrees).
Eigen::MatrixXd predicted(const core::Strain& s) {
  Eigen::MatrixXd tp(25, 2);
  for (int i = 0; i < 25; ++i) {
    tp(i, 0) = 5 + 7 * i;
    tp(i, 1) = core::Angle::radians(restrain::predictedp(s, core::Bearing::degrees(tp(i, 0)))).deg();
  }
  return tp;
}

restrain::PairAngles pairs(const Eigen::MatrixXd& alltp) { return restrain::PairAngles::forwellman(alltp); }
restrain::AnalyticFit analyticfit(const Eigen::MatrixXd& alltp) { return restrain::analyticfit(pairs(alltp)); }

// The p column shuffled among the t by a permutation of 1 ... m.
Eigen::MatrixXd shuffled(const Eigen::MatrixXd& tp, const Eigen::VectorXi& perm) {
  Eigen::MatrixXd out = tp;
  for (Eigen::Index i = 0; i < tp.rows(); ++i) out(i, 1) = tp(perm(i) - 1, 1);
  return out;
}

} // namespace

TEST(getvertices2, BuildsTheVertexOnTheBaselineCircle) {
  const core::Angle right = core::Angle::radians(pi / 2);
  const Eigen::RowVector2d v = restrain::getvertices2(1, core::Bearing::radians(pi / 6), right);
  EXPECT_NEAR(v(0), std::sqrt(3.0) / 2, 1e-15);
  EXPECT_NEAR(v(1), 0.5, 1e-15);
  // Any t with p = 90 degrees lies on the unit circle.
  for (double t = 0.05; t < pi; t += 0.19)
    EXPECT_NEAR(restrain::getvertices2(1, core::Bearing::radians(t), right).norm(), 1, 1e-12) << t;
  EXPECT_TRUE(testsupport::near(restrain::getvertices2(2, core::Bearing::radians(pi / 6), right), 2 * v, 1e-14));
}

TEST(analyticfit, FindsNoStrainInPerpendicularPairs) {
  Eigen::MatrixXd tp(12, 2);
  for (int i = 0; i < 12; ++i) tp.row(i) << 7 + 14 * i, 90;
  const restrain::AnalyticFit a = analyticfit(tp);
  EXPECT_NEAR(a.fit.strain.R, 1, 1e-9);
  EXPECT_NEAR(a.penalty.chitwo, 0, 1e-18);
  EXPECT_NEAR(restrain::predictedp({1, core::Bearing::radians(0.4)}, core::Bearing::radians(1.1)), pi / 2, 1e-15);
}

TEST(analyticfit, RecoversTheStrainThatMadeThePairs) {
  for (const auto& [R, theta] : {std::pair{1.5, 30.0}, std::pair{2.0, 120.0}, std::pair{3.0, 0.5}, std::pair{1.2, 179.0}}) {
    const core::Strain truth = strain(R, theta);
    const restrain::AnalyticFit a = analyticfit(predicted(truth));
    EXPECT_TRUE(a.fit.ellipse);
    EXPECT_NEAR(a.fit.strain.R, R, 1e-9) << R << " " << theta;
    EXPECT_NEAR(a.fit.strain.longaxis.rad(), truth.longaxis.rad(), core::Angle::degrees(1e-7).rad()) << R << " " << theta;
    EXPECT_NEAR(a.penalty.rtwo, 1, 1e-12);
    EXPECT_NEAR(a.penalty.chitwo, 0, 1e-20);
    // The strain it removes is the inverse of the strain that made them.
    EXPECT_TRUE(testsupport::near(a.fit.strain.removal() * truth.matrix(), Eigen::Matrix2d::Identity(), 1e-8));
  }
}

TEST(wellman2, GivesTheBearingOfTheLongAxisWhateverTheEigenvectorSign) {
  // Vertices on x^2 + y^2/4 = 1: the long axis along +y, bearing 0 (or pi).
  Eigen::MatrixXd tall(8, 2), wide(8, 2);
  for (int i = 0; i < 8; ++i) {
    const double a = i * pi / 4 + 0.1;
    tall.row(i) << std::cos(a), 2 * std::sin(a);
    wide.row(i) << 2 * std::cos(a), std::sin(a);
  }
  const restrain::EllipseFit t = restrain::wellman2(tall), w = restrain::wellman2(wide);
  EXPECT_NEAR(t.strain.R, 2, 1e-12);
  const double tall_b = t.strain.longaxis.rad();
  EXPECT_NEAR(std::min(tall_b, pi - tall_b), 0, 1e-12);
  EXPECT_NEAR(w.strain.longaxis.rad(), pi / 2, 1e-12);
  EXPECT_NEAR(t.di.determinant(), 1, 1e-12);
  // A hyperbola is no ellipse.
  Eigen::MatrixXd hyper(6, 2);
  for (int i = 0; i < 6; ++i) hyper.row(i) << std::cosh(0.3 * i - 0.7), std::sinh(0.3 * i - 0.7) * (i % 2 ? 1 : -1);
  EXPECT_FALSE(restrain::wellman2(hyper).ellipse);
}

TEST(wellpenalty, ScoresObservedPairsAgainstAStrain) {
  const restrain::PairAngles tp = restrain::PairAngles::degrees((Eigen::MatrixXd(3, 2) << 10, 80, 50, 95, 100, 90).finished());
  const restrain::Penalty unstrained = restrain::wellpenalty({1, core::Bearing::radians(0.3)}, tp);
  const double expected = std::pow(core::Angle::degrees(-10).rad(), 2) + std::pow(core::Angle::degrees(5).rad(), 2);
  EXPECT_NEAR(unstrained.chitwo, expected, 1e-15);
  // A single pair has no spread, so R^2 is 1 whatever Chi^2 is.
  restrain::PairAngles one;
  one.t = tp.t.head(1);
  one.p = tp.p.head(1);
  EXPECT_EQ(restrain::wellpenalty({2, core::Bearing::radians(0.3)}, one).rtwo, 1);
}

TEST(refine, SettlesOnTheStrainOfExactPairs) {
  const core::Strain truth = strain(1.5, 30);
  const restrain::Refinement r = restrain::refine(pairs(predicted(truth)), truth.longaxis + core::Angle::radians(0.05));
  EXPECT_NEAR(r.strain.R, 1.5, 2e-3);
  EXPECT_NEAR(r.strain.longaxis.rad(), truth.longaxis.rad(), core::Angle::degrees(0.2).rad());
  EXPECT_LT(r.chi, 1e-6);
}

TEST(wellpenalty2, IsTheChiSquareOfTheRefinementAndRefusesMissingArguments) {
  // At the strain that made the pairs the objective is 0; elsewhere it is
  // wellpenalty's Chi^2 of the same angles.
  const core::Strain truth = strain(1.5, 30);
  const restrain::PairAngles tp = pairs(predicted(truth));
  const std::vector<Eigen::MatrixXd> extra{(Eigen::MatrixXd(tp.size(), 2) << tp.t, tp.p).finished()};
  EXPECT_NEAR(restrain::wellpenalty2(Eigen::Vector2d(1.5, truth.longaxis.rad()), extra), 0, 1e-20);
  EXPECT_NEAR(restrain::wellpenalty2(Eigen::Vector2d(1.2, 0.3), extra),
              restrain::wellpenalty({1.2, core::Bearing::radians(0.3)}, tp).chitwo, 1e-12);

  EXPECT_EQ(testsupport::error_of([&] { restrain::wellpenalty2(Eigen::Vector3d(1.5, 0.5, 0), extra); }),
            "wellpenalty2 needs the parameters [R, theta'] (2 numbers); it was given 3");
  EXPECT_EQ(testsupport::error_of([] { restrain::wellpenalty2(Eigen::Vector2d(1.5, 0.5), {}); }),
            "wellpenalty2 needs the angle data (t, p in radians)");
  const std::vector<Eigen::MatrixXd> onecolumn{tp.t};
  EXPECT_THROW(restrain::wellpenalty2(Eigen::Vector2d(1.5, 0.5), onecolumn), core::Error);
}

TEST(permutationtest, GivesSeparatelySortedRangesIndependentOfThreads) {
  Eigen::MatrixXd tp = predicted(strain(1.8, 60));
  core::setseed(3);
  for (Eigen::Index i = 0; i < tp.rows(); ++i) tp(i, 1) += 3 * core::randn();
  core::setseed(99);
  const auto one = restrain::permutationtest(pairs(tp), 200, {}, 1);
  core::setseed(99);
  const auto two = restrain::permutationtest(pairs(tp), 200, {}, 2);
  ASSERT_TRUE(one && two);
  EXPECT_TRUE(testsupport::near(one->prtwo, two->prtwo, 0));
  EXPECT_TRUE(testsupport::near(one->pchitwo, two->pchitwo, 0));
  for (Eigen::Index j = 1; j < 200; ++j) {
    EXPECT_LE(one->prtwo(j - 1), one->prtwo(j));
    EXPECT_LE(one->pchitwo(j - 1), one->pchitwo(j));
  }
  // Indices floor(0.025 n) and ceil(0.975 n), counted from 1.
  EXPECT_EQ(one->r2low, one->prtwo(4));
  EXPECT_EQ(one->r2high, one->prtwo(194));
  EXPECT_EQ(one->chihigh, one->pchitwo(194));
  // Shuffling p among t destroys the strain signal the observed pairs carry.
  EXPECT_GT(one->observed.penalty.rtwo, one->r2high);

  int calls = 0;
  EXPECT_FALSE(restrain::permutationtest(pairs(tp), 400, [&](double) { return ++calls < 2; }, 1));
  EXPECT_EQ(error_of([&] { restrain::permutationtest(pairs(tp), 39); }),
            "A permutation test needs at least 40 permutations to give a 95 % range; 39 were asked for");
}

// A pair has no vertex only when its line runs along its midline (p near 0
// or 180 degrees): it is left out and named. Where t or t + p is a multiple
// of 180 degrees one line runs along the baseline, and the vertex is the
// baseline's end the other passes through.
TEST(PairAngles, LeavesOutThePairsThatHaveNoVertex) {
  struct Case {
    double t, p;
    bool kept;
    Eigen::RowVector2d vertex; // NaN: any
  };
  const double any = std::nan("");
  const Case cases[] = {
      {0, 90, true, {0, 1}},         {180, 75, true, {0, 1}},     {90.026933, 89.973067, true, {0, -1}},
      {30, 150, true, {0, -1}},      {30, 0.1, false, {any, any}}, {30, 179.95, false, {any, any}},
      {30, 0.2, true, {any, any}},   {40, 360, false, {any, any}}, {std::nan(""), 90, false, {any, any}},
  };
  Eigen::MatrixXd tp(std::size(cases) + 2, 2);
  Eigen::VectorXi specimen(tp.rows());
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    tp.row(static_cast<Eigen::Index>(i)) << cases[i].t, cases[i].p;
    specimen(static_cast<Eigen::Index>(i)) = static_cast<int>(i / 2) + 1;
  }
  tp.bottomRows(2) << 10, 80, 50, 95;
  specimen.tail(2) << 0, 0;
  const restrain::PairAngles kept = restrain::PairAngles::forwellman(tp, specimen);
  const Eigen::MatrixXd v = restrain::vertices(kept);
  Eigen::Index k = 0;
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    const bool left = std::find(kept.leftout.begin(), kept.leftout.end(), static_cast<Eigen::Index>(i)) !=
                      kept.leftout.end();
    EXPECT_EQ(!left, cases[i].kept);
    if (left) continue;
    EXPECT_TRUE(v.row(k).allFinite());
    if (!std::isnan(cases[i].vertex(0))) {
      EXPECT_TRUE(testsupport::near(v.row(k), cases[i].vertex, 1e-9));
    }
    ++k;
  }
  EXPECT_EQ(kept.size(), k + 2);
  // The specimens numbered again over the pairs kept, in order of first
  // appearance (the two rows of specimen 0 come last).
  EXPECT_EQ(kept.specimen, (Eigen::VectorXi(7) << 0, 0, 1, 1, 2, 3, 3).finished());
  EXPECT_EQ(restrain::leftoutline(kept, tp).substr(0, 102),
            "4 of 11 pairs left out: row 5 (t = 30, p = 0.1), row 6 (t = 30, p = 179.95), row 8 (t = 40, p = 360), ");
  EXPECT_EQ(restrain::leftoutline(restrain::PairAngles::forwellman(tp.topRows(4)), tp), "");

  EXPECT_EQ(error_of([&] { pairs(tp.middleRows(4, 4)); }),
            "A strain ellipse needs at least three (t, p) pairs; the pooled angle data hold 1 with a Wellman vertex (of 4)");
  EXPECT_EQ(error_of([&] { pairs(tp.topRows(2)); }),
            "A strain ellipse needs at least three (t, p) pairs; the pooled angle data hold 2");
  EXPECT_EQ(error_of([&] { restrain::PairAngles::degrees(tp.leftCols(1)); }),
            "The pooled angle data need two columns, t and p; they have 1");
  // Read as they are, the same angles are only converted: a strain's score
  // needs no vertex.
  const restrain::PairAngles plain = restrain::PairAngles::degrees(tp.bottomRows(2));
  EXPECT_EQ(plain.t(1), core::Bearing::degrees(50).rad());
  EXPECT_EQ(plain.p(0), core::Angle::degrees(80).rad());
}

TEST(permutationtest, ScoresEachShuffleAsTheDirectFormulasDo) {
  Eigen::MatrixXd tp = predicted(strain(1.4, 100));
  core::setseed(8);
  for (Eigen::Index i = 0; i < tp.rows(); ++i) tp(i, 1) += 4 * core::randn();
  core::setseed(123);
  // In blocks of 7 on two threads, each next block drawn while one is
  // scored.
  const auto fast = restrain::permutationtest(pairs(tp), 60, {}, 2, 7);
  ASSERT_TRUE(fast);
  // The same shuffles, all drawn first in the same order, scored by the
  // plain construction, fit and penalty.
  core::setseed(123);
  Eigen::VectorXd r2(60), chi(60);
  for (int j = 0; j < 60; ++j) {
    const restrain::AnalyticFit a = analyticfit(shuffled(tp, core::randperm(static_cast<int>(tp.rows()))));
    r2(j) = a.penalty.rtwo;
    chi(j) = a.penalty.chitwo;
  }
  std::sort(r2.begin(), r2.end());
  std::sort(chi.begin(), chi.end());
  EXPECT_TRUE(testsupport::near(fast->prtwo, r2, 1e-9));
  EXPECT_TRUE(testsupport::near(fast->pchitwo, chi, 1e-9));
}

// Drawing the permutations block by block gives the same draws and the same
// scores, bit for bit, whatever the block and the threads.
TEST(permutationtest, StreamsBlocksWithTheResultsOfDrawingAllFirst) {
  Eigen::MatrixXd tp = predicted(strain(1.6, 40));
  core::setseed(5);
  for (Eigen::Index i = 0; i < tp.rows(); ++i) tp(i, 1) += 3 * core::randn();
  std::optional<restrain::PermutationTest> first;
  for (const auto& [block, threads] : {std::pair{1, 1u}, {7, 2u}, {1000, 2u}, {0, 3u}, {4096, 1u}}) {
    SCOPED_TRACE(block);
    core::setseed(2024);
    const auto r = restrain::permutationtest(pairs(tp), 1000, {}, threads, block);
    ASSERT_TRUE(r);
    if (!first) first = r;
    EXPECT_TRUE(r->prtwo.cwiseEqual(first->prtwo).all());
    EXPECT_TRUE(r->pchitwo.cwiseEqual(first->pchitwo).all());
    EXPECT_EQ(r->r2low, first->r2low);
    EXPECT_EQ(r->chihigh, first->chihigh);
    // The generator stands where drawing 1000 permutations leaves it.
    EXPECT_EQ(core::rand01(), 0.35937671137339683);
  }
  EXPECT_EQ(error_of([&] { restrain::permutationtest(pairs(tp), restrain::maxpermutations + 1); }),
            "A permutation test of 10000001 permutations would not finish in a working session; at most 10000000 can "
            "be asked for");
}

// Whole specimens are permuted after every shuffle of pairs, from the same
// generator: the shuffles and their ranges are those of a file without
// specimens, bit for bit, and each permutation of specimens gives specimen
// j's t to every p of specimen perm(j), scored as the plain fit scores it.
TEST(permutationtest, PermutesWholeSpecimensAfterThePairs) {
  const restraintest::Sample s = restraintest::deformed(strain(1.5, 70), 0.03, 12);
  Eigen::VectorXi specimen(s.alltp.rows());
  for (Eigen::Index i = 0; i < specimen.size(); ++i) specimen(i) = static_cast<int>(i / 3);
  const restrain::PairAngles withspecimens = restrain::PairAngles::forwellman(s.alltp, specimen);
  core::setseed(77);
  const auto plain = restrain::permutationtest(s.pairs(), 50, {}, 1);
  core::setseed(77);
  const auto both = restrain::permutationtest(withspecimens, 50, {}, 2, 7);
  ASSERT_TRUE(plain && both);
  EXPECT_TRUE(testsupport::near(both->prtwo, plain->prtwo, 0));
  EXPECT_TRUE(testsupport::near(both->pchitwo, plain->pchitwo, 0));
  EXPECT_EQ(plain->specimenrtwo.size(), 0);
  EXPECT_TRUE(std::isnan(restrain::specimenp(*plain)));

  core::setseed(77);
  for (int j = 0; j < 50; ++j) core::randperm(static_cast<int>(s.alltp.rows()));
  Eigen::VectorXd r2(50);
  for (int j = 0; j < 50; ++j) {
    const Eigen::VectorXi perm = core::randperm(40);
    Eigen::MatrixXd moved(120, 2);
    for (int k = 0; k < 40; ++k)
      for (int q = 0; q < 3; ++q) moved.row(3 * k + q) << s.alltp(3 * k, 0), s.alltp(3 * (perm(k) - 1) + q, 1);
    r2(j) = analyticfit(moved).penalty.rtwo;
  }
  std::sort(r2.begin(), r2.end());
  EXPECT_TRUE(testsupport::near(both->specimenrtwo, r2, 1e-9));
  // The strain pairs each specimen's t with its own p, which no
  // permutation of specimens matches.
  EXPECT_DOUBLE_EQ(restrain::specimenp(*both), 1.0 / 51);
}

TEST(fitproblem, NamesFitsThatExplainNothing) {
  EXPECT_EQ(restrain::fitproblem(analyticfit(predicted(strain(1.5, 30)))), "");
  // Every pair alike: one vertex, a conic of rank 1 (the fit still gives
  // an R and a huge negative R^2).
  const restrain::AnalyticFit same = analyticfit(Eigen::MatrixXd::NullaryExpr(300, 2, [](Eigen::Index, Eigen::Index j) {
    return j == 0 ? 30.0 : 60.0;
  }));
  EXPECT_EQ(restrain::fitproblem(same).substr(0, 76),
            "the 300 vertices lie on too few distinct points to determine a conic (the fi");
  EXPECT_LT(same.fit.rank, 3);
  // A shuffle of noisy pairs whose fit is worse than the mean of p.
  Eigen::MatrixXd tp = predicted(strain(1.6, 40));
  core::setseed(5);
  for (Eigen::Index i = 0; i < tp.rows(); ++i) tp(i, 1) += 3 * core::randn();
  bool found = false;
  for (int k = 0; k < 200 && !found; ++k) {
    const restrain::AnalyticFit a = analyticfit(shuffled(tp, core::randperm(static_cast<int>(tp.rows()))));
    if (a.fit.ellipse && a.penalty.rtwo <= 0) {
      found = true;
      EXPECT_EQ(a.fit.rank, 3);
      EXPECT_EQ(restrain::fitproblem(a).substr(0, 22), "the R^2 of the fit is ");
    }
  }
  EXPECT_TRUE(found);
}

// The p value ranks the observed R^2 among the shuffles' R^2: strained
// fossils pair each t with its own p, which no shuffle matches; fossils
// whose p are shuffled among their t pair them no better than a shuffle does.
TEST(permutationp, IsSmallForStrainedPairsAndNotForUnstrainedOnes) {
  const restraintest::Sample strained = restraintest::deformed(strain(1.6, 30), 0.02, 5);
  core::setseed(3);
  const auto s = restrain::permutationtest(strained.pairs(), 400);
  ASSERT_TRUE(s);
  const double ps = restrain::permutationp(*s);
  EXPECT_NEAR(ps, 1.0 / 401, 1e-12); // no shuffle reaches the observed fit

  // The same pairs with their p shuffled among the t: the strain's pairing is gone.
  core::setseed(11);
  const Eigen::MatrixXd unpaired = shuffled(strained.alltp, core::randperm(static_cast<int>(strained.alltp.rows())));
  const auto u = restrain::permutationtest(pairs(unpaired), 400);
  ASSERT_TRUE(u);
  EXPECT_GT(restrain::permutationp(*u), 0.05);

  // The count: an observed R^2 that is no number is beaten by every shuffle.
  restrain::PermutationTest t;
  t.prtwo = Eigen::Vector4d(0.1, 0.5, 0.9, std::nan(""));
  t.observed.penalty.rtwo = 0.5;
  EXPECT_DOUBLE_EQ(restrain::permutationp(t), 3.0 / 5);
  t.observed.penalty.rtwo = std::nan("");
  EXPECT_DOUBLE_EQ(restrain::permutationp(t), 1.0);
}

TEST(ellipsepoints, LieOnTheEllipseOfTheirAxesAndClose) {
  const Eigen::Vector2d u(std::sin(0.6), std::cos(0.6));
  const Eigen::MatrixX2d xy = restrain::ellipsepoints(3 * u, 1.8, 1.0, 61);
  ASSERT_EQ(xy.rows(), 61);
  EXPECT_TRUE(xy.row(0).isApprox(xy.row(60)));
  EXPECT_TRUE(xy.row(0).transpose().isApprox(1.8 * u));
  const Eigen::Vector2d v(-u(1), u(0));
  for (Eigen::Index i = 0; i < xy.rows(); ++i) {
    const double a = xy.row(i).dot(u) / 1.8, b = xy.row(i).dot(v) / 1.0;
    EXPECT_NEAR(a * a + b * b, 1, 1e-12);
  }
}
