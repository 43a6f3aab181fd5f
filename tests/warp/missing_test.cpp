#include "warp/missing.h"

#include "core/angles.h"
#include "core/strain.h"
#include "core/configurations.h"
#include "io/row_file.h"
#include "io/text_file.h"
#include "tests/support/test_support.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <numbers>
#include <random>
#include <set>
#include <sstream>

using testsupport::error_of;
using testsupport::example;

namespace {

// The bundled sample: 60 specimens of 14 landmarks (midline 1-4, pairs
// 5-6 ... 13-14), deformed by one known strain and digitised in pixels
// with 1 pixel of noise.
struct Sample {
  Eigen::MatrixXd data, pairs;
  core::Strain strain;
};

Sample sample() {
  Sample s{io::dload(example("deformed_sample/deformed.txt")), io::dload(example("deformed_sample/pairs.txt")), {}};
  std::istringstream truth(io::readfile(example("deformed_sample/truth.txt")));
  std::string key;
  double value = 0;
  while (truth >> key >> value) {
    if (key == "R") s.strain.R = value;
    if (key == "theta'") s.strain.longaxis = core::Bearing::degrees(value);
  }
  return s;
}

// Every landmark of a data set moved by the 2 x 2 map m; the size slot is
// kept.
Eigen::MatrixXd transformed(const Eigen::MatrixXd& x, const Eigen::Matrix2d& m) {
  Eigen::MatrixXd y = x;
  const Eigen::Index k = x.cols() / 2;
  for (Eigen::Index i = 0; i < x.rows(); ++i)
    for (Eigen::Index j = 0; j < k; ++j) {
      const Eigen::Vector2d p = m * Eigen::Vector2d(x(i, 2 * j), x(i, 2 * j + 1));
      y(i, 2 * j) = p(0);
      y(i, 2 * j + 1) = p(1);
    }
  return y;
}

// The sample with its strain undone.
Eigen::MatrixXd retrodeformed(const Sample& s) { return transformed(s.data, s.strain.removal()); }

// Landmarks deleted at random, as a digitiser meets broken fossils: 10 %
// of the specimens lose one to three landmarks each. Row -> landmarks.
std::map<Eigen::Index, std::vector<Eigen::Index>> deletions(Eigen::Index n, Eigen::Index k, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<Eigen::Index> rows(static_cast<std::size_t>(n));
  for (Eigen::Index i = 0; i < n; ++i) rows[static_cast<std::size_t>(i)] = i;
  std::shuffle(rows.begin(), rows.end(), rng);
  std::map<Eigen::Index, std::vector<Eigen::Index>> out;
  for (Eigen::Index r = 0; r < n / 10; ++r) {
    std::vector<Eigen::Index> lm(static_cast<std::size_t>(k));
    for (Eigen::Index j = 0; j < k; ++j) lm[static_cast<std::size_t>(j)] = j;
    std::shuffle(lm.begin(), lm.end(), rng);
    const auto count = std::uniform_int_distribution<std::size_t>(1, 3)(rng);
    lm.resize(count);
    std::sort(lm.begin(), lm.end());
    out[rows[static_cast<std::size_t>(r)]] = lm;
  }
  return out;
}

Eigen::MatrixXd withdeleted(const Eigen::MatrixXd& x, const std::map<Eigen::Index, std::vector<Eigen::Index>>& del) {
  Eigen::MatrixXd y = x;
  for (const auto& [row, lms] : del)
    for (Eigen::Index j : lms) y(row, 2 * j) = y(row, 2 * j + 1) = std::nan("");
  return y;
}

struct Errors {
  double mean = 0, worst = 0;
  std::size_t count = 0;
};

// Distances of the estimated landmarks from where they were before
// deletion, in the data's own units.
Errors errors(const warp::Completion& c, const Eigen::MatrixXd& truth) {
  Errors e;
  for (const core::EstimatedLandmark& l : c.estimated) {
    const double d = std::hypot(c.y(l.row, 2 * l.landmark) - truth(l.row, 2 * l.landmark),
                                c.y(l.row, 2 * l.landmark + 1) - truth(l.row, 2 * l.landmark + 1));
    e.mean += d;
    e.worst = std::max(e.worst, d);
    ++e.count;
  }
  if (e.count) e.mean /= static_cast<double>(e.count);
  return e;
}

::testing::AssertionResult untouched(const warp::Completion& c, const Eigen::MatrixXd& x,
                                     const std::map<Eigen::Index, std::vector<Eigen::Index>>& del) {
  for (Eigen::Index i = 0; i < x.rows(); ++i)
    if (!del.contains(i) && !(c.y.row(i).array() == x.row(i).array()).all())
      return ::testing::AssertionFailure() << "complete specimen " << i + 1 << " changed";
  return ::testing::AssertionSuccess();
}

// A bilaterally symmetric form: midline landmarks on the y axis, pairs
// mirrored across it (x -> -x); landmarks 1-3 midline, then pairs 4-5,
// 6-7, 8-9.
Eigen::RowVectorXd symmetricform() {
  Eigen::RowVectorXd r(19);
  r << 0, 3, 0, 1, 0, -2, /**/ 1.5, 2.5, -1.5, 2.5, /**/ 2.2, 0.3, -2.2, 0.3, /**/ 1.1, -1.8, -1.1, -1.8, 1;
  return r;
}
const Eigen::MatrixXd symmetricpairs =
    (Eigen::MatrixXd(6, 2) << 1, 1, 2, 2, 3, 3, 4, 5, 6, 7, 8, 9).finished();

} // namespace

// On the bundled sample, with 10 % of the specimens losing one to three
// landmarks (seed 17: six specimens, twelve landmarks), measured here in
// the specimens' own pixels, the mean centroid size being 2744 px:
//   tps on the deformed data: mean 2.49 px, worst 4.50 px over 12
//     landmarks (0.091 % and 0.164 % of the mean centroid size);
//   mirror after the known strain is undone: mean 2.24 px, worst 5.45 px
//     over the 8 it can place (0.082 % and 0.199 %; a deleted midline
//     landmark, and a member of a pair deleted with its partner, have
//     nothing to mirror);
//   mirror on the still deformed data: mean 340 px, worst 714 px, some 150
//     times the retrodeformed error: the strain breaks the symmetry.
// The digitising noise alone (1 px in each coordinate of the partner and
// of the truth) accounts for about 2 px.
TEST(estimatemissing, PlacesDeletedLandmarksOfTheSampleNearTheTruth) {
  const Sample s = sample();
  ASSERT_EQ(s.data.rows(), 60);
  ASSERT_NEAR(s.strain.R, 1.8, 1e-12);
  const auto del = deletions(s.data.rows(), 14, 17);
  const double meansize = core::centsize(s.data.leftCols(28)).mean();

  const Eigen::MatrixXd deformed = withdeleted(s.data, del);
  const warp::Completion tps = warp::estimatemissing(deformed, core::Estimate::tps);
  std::size_t deleted = 0;
  for (const auto& [row, lms] : del) deleted += lms.size();
  EXPECT_EQ(tps.estimated.size(), deleted);
  EXPECT_TRUE(tps.unplaced.empty());
  EXPECT_TRUE(untouched(tps, deformed, del));
  EXPECT_TRUE(tps.y.allFinite());
  const Errors et = errors(tps, s.data);

  const Eigen::MatrixXd retro = retrodeformed(s);
  const Eigen::MatrixXd retrocut = withdeleted(retro, del);
  const warp::Completion mirror = warp::estimatemissing(retrocut, core::Estimate::mirror, s.pairs);
  EXPECT_TRUE(untouched(mirror, retrocut, del));
  EXPECT_EQ(mirror.estimated.size() + mirror.unplaced.size(), deleted);
  // What stays missing is what mirror cannot place: a midline landmark, or
  // a member of a pair whose partner went too.
  for (const warp::UnplacedLandmark& u : mirror.unplaced) {
    const auto& lms = del.at(u.row);
    const Eigen::Index partner = u.landmark < 4 ? u.landmark : (u.landmark % 2 == 0 ? u.landmark + 1 : u.landmark - 1);
    EXPECT_TRUE(u.landmark < 4 || std::find(lms.begin(), lms.end(), partner) != lms.end())
        << "row " << u.row + 1 << " landmark " << u.landmark + 1 << ": " << u.reason;
  }
  ASSERT_GE(mirror.estimated.size(), 4U);
  const Errors em = errors(mirror, retro);

  const warp::Completion bent = warp::estimatemissing(deformed, core::Estimate::mirror, s.pairs);
  ASSERT_EQ(bent.estimated.size(), mirror.estimated.size());
  const Errors eb = errors(bent, s.data);

  std::printf("tps: mean %.2f px, worst %.2f px over %zu (%.3f %% and %.3f %% of mean centroid size %.0f px)\n",
              et.mean, et.worst, et.count, 100 * et.mean / meansize, 100 * et.worst / meansize, meansize);
  std::printf("mirror retrodeformed: mean %.2f px, worst %.2f px over %zu (%.3f %%, %.3f %%)\n", em.mean, em.worst,
              em.count, 100 * em.mean / meansize, 100 * em.worst / meansize);
  std::printf("mirror deformed: mean %.2f px, worst %.2f px over %zu\n", eb.mean, eb.worst, eb.count);

  EXPECT_LT(et.mean, 3.0);
  EXPECT_LT(et.worst, 5.5);
  EXPECT_LT(em.mean, 3.0);
  EXPECT_LT(em.worst, 6.5);
  // Deformation breaks the symmetry mirror relies on.
  EXPECT_GT(eb.mean, 50 * em.mean);
}

// Known truths: a data set of similar copies of one form has that form as
// its consensus, and the spline through a similarity is the similarity, so
// tps puts a deleted landmark back exactly; the reflection of an exactly
// symmetric form, turned and moved anywhere, puts a deleted member of a
// pair back exactly, whether the axis comes from midline landmarks alone
// or from a single complete pair.
TEST(estimatemissing, RestoresExactFormsExactly) {
  std::mt19937 rng(5);
  const Eigen::RowVectorXd form = testsupport::randomrow(8, rng);
  Eigen::MatrixXd x(5, 17);
  for (Eigen::Index i = 0; i < 5; ++i)
    x.row(i) = testsupport::similar(form, 0.5 + 0.3 * static_cast<double>(i), 0.7 * static_cast<double>(i),
                                    10.0 * static_cast<double>(i), -3.0);
  Eigen::MatrixXd cut = x;
  cut(3, 4) = cut(3, 5) = cut(3, 12) = cut(3, 13) = std::nan("");
  const warp::Completion t = warp::estimatemissing(cut, core::Estimate::tps);
  ASSERT_EQ(t.estimated.size(), 2U);
  EXPECT_EQ(t.estimated[0].landmark, 2);
  EXPECT_EQ(t.estimated[1].landmark, 6);
  EXPECT_TRUE(testsupport::near(t.y.leftCols(16), x.leftCols(16), 1e-9));

  const Eigen::RowVectorXd sym = testsupport::similar(symmetricform(), 7, 2.1, 100, -40);
  Eigen::MatrixXd one(3, 19);
  one << sym, sym, sym;
  one(0, 8) = one(0, 9) = std::nan("");                                     // landmark 5, partner 4
  one(1, 12) = one(1, 13) = std::nan("");                                   // landmark 7, partner 6
  for (int c : {0, 1, 2, 3, 4, 5, 10, 11, 12, 13}) one(2, c) = std::nan(""); // only pairs 4-5 and 8-9 left...
  one(2, 14) = one(2, 15) = std::nan("");                                   // ... and 8 gone: one complete pair
  const warp::Completion m = warp::estimatemissing(one, core::Estimate::mirror, symmetricpairs);
  EXPECT_TRUE(testsupport::near(m.y.row(0), sym, 1e-9));
  EXPECT_TRUE(testsupport::near(m.y.row(1), sym, 1e-9));
  EXPECT_NEAR(m.y(2, 14), sym(14), 1e-9); // landmark 8 mirrored across the one pair's bisector
  EXPECT_NEAR(m.y(2, 15), sym(15), 1e-9);
  // The midline landmarks and the pair 6-7 of the third specimen stay
  // missing, each with its reason.
  ASSERT_EQ(m.unplaced.size(), 5U);
  EXPECT_EQ(m.unplaced[0].reason, "a midline landmark has no partner to mirror");
  EXPECT_EQ(m.unplaced[3].reason, "its partner 7 is missing too");

  // Midline landmarks alone (no complete pair) place the axis too.
  Eigen::MatrixXd axisonly = sym;
  for (int c = 6; c < 18; ++c)
    if (c != 6 && c != 7) axisonly(0, c) = std::nan("");
  const warp::Completion a = warp::estimatemissing(axisonly, core::Estimate::mirror, symmetricpairs);
  ASSERT_EQ(a.estimated.size(), 1U);
  EXPECT_NEAR(a.y(0, 8), sym(8), 1e-9);
  EXPECT_NEAR(a.y(0, 9), sym(9), 1e-9);
  // One midline landmark and no complete pair tell no direction.
  axisonly(0, 0) = axisonly(0, 1) = axisonly(0, 2) = axisonly(0, 3) = std::nan("");
  const warp::Completion none = warp::estimatemissing(axisonly, core::Estimate::mirror, symmetricpairs);
  EXPECT_TRUE(none.estimated.empty());
  ASSERT_EQ(none.unplaced.size(), 7U); // 1, 2, 5, 6, 7, 8, 9
  EXPECT_EQ(none.unplaced[2].landmark, 4);
  EXPECT_EQ(none.unplaced[2].reason, "too few midline landmarks and complete pairs to place the axis of symmetry");
}

// The size slot follows the landmarks when it held the centroid size of
// those present (as a TPS read gives it) and is kept otherwise.
TEST(estimatemissing, RecomputesACentroidSizeSlotAndKeepsAnyOther) {
  const Eigen::RowVectorXd sym = testsupport::similar(symmetricform(), 3, 0.4, 5, 5);
  Eigen::MatrixXd x(2, 19);
  x << sym, sym;
  x(0, 8) = x(0, 9) = x(1, 8) = x(1, 9) = std::nan("");
  const double full = core::centsize(sym.leftCols(18))(0);
  x(0, 18) = core::centsize(x.row(0).leftCols(18))(0);
  x(1, 18) = 999;
  const warp::Completion m = warp::estimatemissing(x, core::Estimate::mirror, symmetricpairs);
  EXPECT_NEAR(m.y(0, 18), full, 1e-9 * full);
  EXPECT_NE(x(0, 18), m.y(0, 18));
  EXPECT_EQ(m.y(1, 18), 999);
}

TEST(estimatemissing, RefusesWhatItCannotUseNamingTheSpecimen) {
  std::mt19937 rng(9);
  Eigen::MatrixXd x(4, 11);
  for (Eigen::Index i = 0; i < 4; ++i) x.row(i) = testsupport::randomrow(5, rng);
  core::Identities ids;
  ids.keys = {{"ID=a"}, {"ID=b"}, {"ID=trilo-3", "IMAGE=c.jpg"}, {"ID=d"}};
  Eigen::MatrixXd few = x;
  for (int c = 0; c < 6; ++c) few(2, c) = std::nan("");
  EXPECT_EQ(error_of([&] { warp::estimatemissing(few, core::Estimate::tps, {}, ids); }),
            "Specimen 3 (trilo-3) has 2 landmarks present; a thin-plate spline needs at least three, not all on one "
            "line, to place its missing ones");
  Eigen::MatrixXd line = x;
  line(1, 0) = line(1, 1) = line(1, 2) = line(1, 3) = std::nan("");
  line.row(1).segment(4, 6) << 0, 0, 1, 1, 3, 3;
  EXPECT_EQ(error_of([&] { warp::estimatemissing(line, core::Estimate::tps); }),
            "Specimen 2: its 3 landmarks present lie on one line (or coincide), so no thin-plate spline can place its "
            "missing ones");
  Eigen::MatrixXd lonely = x;
  lonely(0, 0) = lonely(1, 0) = lonely(2, 0) = std::nan("");
  EXPECT_EQ(error_of([&] { warp::estimatemissing(lonely, core::Estimate::tps); }),
            "estimatemissing: the thin-plate spline maps the consensus of the complete specimens, but only one "
            "specimen is complete; at least two are needed");
  EXPECT_EQ(error_of([&] { warp::estimatemissing(x, core::Estimate::mirror); }),
            "estimatemissing: mirror needs the pair list, and none was given");
  const Eigen::MatrixXd twice = (Eigen::MatrixXd(2, 2) << 1, 2, 2, 3).finished();
  EXPECT_EQ(error_of([&] { warp::estimatemissing(x, core::Estimate::mirror, twice); }),
            "estimatemissing: the pair list names landmark 2 more than once (again in row 2)");
  const Eigen::MatrixXd outside = (Eigen::MatrixXd(1, 2) << 1, 6).finished();
  EXPECT_NE(error_of([&] { warp::estimatemissing(x, core::Estimate::mirror, outside); }).find("1 ... 5"),
            std::string::npos);
  // A data set with nothing missing comes back as it was, bit for bit.
  const warp::Completion same = warp::estimatemissing(x, core::Estimate::tps);
  EXPECT_TRUE(same.estimated.empty());
  EXPECT_TRUE((same.y.array() == x.array()).all());
}

// What a person reads and what a saved file carries: one report line per
// landmark, a COMMENT= key per specimen for TPS, a sidecar for rows.
TEST(estimatemissing, ReportsAndMarksEveryEstimate) {
  const Eigen::RowVectorXd sym = symmetricform();
  Eigen::MatrixXd x(3, 19);
  x << sym, sym, sym;
  x(1, 8) = x(1, 9) = x(1, 16) = x(1, 17) = x(1, 0) = x(1, 1) = std::nan("");
  core::Identities ids;
  ids.keys = {{"ID=a"}, {"ID=b", "SCALE=0.1"}, {}};
  const warp::Completion m = warp::estimatemissing(x, core::Estimate::mirror, symmetricpairs, ids);
  const std::vector<std::string> lines = warp::estimatereport(m, ids);
  ASSERT_EQ(lines.size(), 3U);
  EXPECT_EQ(lines[0], "specimen 2 (b): landmark 1 not estimated (a midline landmark has no partner to mirror)");
  EXPECT_EQ(lines[1], "specimen 2 (b): landmark 5 estimated by mirror");
  EXPECT_EQ(lines[2], "specimen 2 (b): landmark 9 estimated by mirror");
  const core::Identities marked = warp::markestimated(ids, 3, m);
  ASSERT_EQ(marked.size(), 3U);
  EXPECT_EQ(marked.keys[1], (std::vector<std::string>{"ID=b", "SCALE=0.1", "COMMENT=estimated landmarks 5, 9 (mirror)"}));
  EXPECT_EQ(marked.keys[0], ids.keys[0]);
  EXPECT_TRUE(warp::markestimated(core::Identities{}, 3, warp::estimatemissing(sym, core::Estimate::tps)).empty());
}
