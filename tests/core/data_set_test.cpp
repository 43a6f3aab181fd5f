// The data set type: what it says about missing landmarks follows its
// rows through every copy that changes them.

#include "core/data_set.h"

#include "tests/support/test_support.h"

#include <cmath>

namespace {

const double nan = std::nan("");

// Three specimens of three landmarks with the size slot: the first lacks
// landmark 2, the third lacks 1 and 3.
core::Specimens holed(core::Specimens::Format format = core::Specimens::Format::rows) {
  Eigen::MatrixXd y(3, 7);
  y << 1, 2, nan, nan, 5, 6, 10,   //
      1, 1, 2, 2, 3, 3, 20,        //
      nan, nan, 4, 4, nan, nan, 30;
  core::Identities ids;
  ids.keys = {{"ID=a"}, {}, {"ID=c", "SCALE=2"}};
  return core::Specimens(y, ids, "/data/bed/holed.txt", format);
}

// The missing landmarks a data set reports, row by row, as its queries
// give them.
std::vector<std::vector<Eigen::Index>> lacking(const core::Specimens& s) {
  std::vector<std::vector<Eigen::Index>> out(static_cast<std::size_t>(s.n()));
  for (Eigen::Index i = 0; i < s.n(); ++i)
    for (Eigen::Index j = 0; j < s.k(); ++j)
      if (s.missing(i, j)) out[static_cast<std::size_t>(i)].push_back(j);
  return out;
}

} // namespace

TEST(specimens, AnswersEveryMissingLandmarkQueryAlike) {
  using Rows = std::vector<std::vector<Eigen::Index>>;
  const core::Specimens s = holed();
  struct Case {
    const char* what;
    core::Specimens set;
    Rows lacks;
  };
  Eigen::MatrixXd whole = s.matrix();
  whole.col(0).setConstant(7); // fills x only: landmark 1 stays missing where y is NaN
  const Case cases[] = {
      {"as made", s, {{1}, {}, {0, 2}}},
      {"subset", s.subset({2, 1}), {{0, 2}, {}}},
      {"new rows", s.with(whole), {{1}, {}, {0, 2}}},
      {"filled", s.with(Eigen::MatrixXd::Ones(3, 7)), {{}, {}, {}}},
      {"scaled", s.scaledby(Eigen::Vector3d(2, 3, 4)), {{1}, {}, {0, 2}}},
      {"empty", core::Specimens(), {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(lacking(c.set), c.lacks);
    std::size_t count = 0;
    std::vector<Eigen::Index> complete;
    for (std::size_t i = 0; i < c.lacks.size(); ++i) {
      EXPECT_EQ(c.set.missingcount(static_cast<Eigen::Index>(i)), static_cast<Eigen::Index>(c.lacks[i].size()));
      count += c.lacks[i].size();
      if (c.lacks[i].empty()) complete.push_back(static_cast<Eigen::Index>(i));
    }
    EXPECT_EQ(c.set.missinglandmarks().count, count);
    EXPECT_EQ(c.set.completerows(), complete);
    EXPECT_EQ(c.set.complete(), count == 0);
    for (const auto& sp : c.set.missinglandmarks().specimens)
      EXPECT_EQ(sp.landmarks, c.lacks[static_cast<std::size_t>(sp.row)]);
  }
}

TEST(specimens, KeepsIdentitiesSourceAndScaleWithItsRows) {
  const core::Specimens s = holed();
  EXPECT_EQ(s.n(), 3);
  EXPECT_EQ(s.k(), 3);
  EXPECT_EQ(s.name(), "holed.txt");
  EXPECT_EQ(s.sizes(), Eigen::Vector3d(10, 20, 30));
  // A row file without the size slot still counts its landmarks.
  EXPECT_EQ(core::Specimens(Eigen::MatrixXd::Ones(2, 6)).k(), 3);
  EXPECT_EQ(core::Specimens(Eigen::MatrixXd::Ones(2, 6)).sizes().size(), 0);

  const core::Specimens sub = s.subset({2, 0});
  EXPECT_EQ(sub.ids().keys, (std::vector<std::vector<std::string>>{{"ID=c", "SCALE=2"}, {"ID=a"}}));
  EXPECT_EQ(sub.sizes(), Eigen::Vector2d(30, 10));
  EXPECT_EQ(sub.source(), s.source());

  const core::Specimens moved = s.with(Eigen::MatrixXd::Zero(3, 7));
  EXPECT_EQ(moved.coordinates(), Eigen::MatrixXd::Zero(3, 6));
  EXPECT_EQ(moved.ids().keys, s.ids().keys);
  EXPECT_EQ(moved.source(), s.source());
  EXPECT_FALSE(moved.scaled());
  EXPECT_TRUE(s.scaledby(Eigen::Vector3d::Ones()).with(Eigen::MatrixXd::Zero(3, 7)).scaled());
}

TEST(specimens, ScalesTheSizeSlotOnlyWhereItHoldsCentroidSizes) {
  const Eigen::Vector3d f(2, 3, 4);
  for (const auto format : {core::Specimens::Format::rows, core::Specimens::Format::tps}) {
    const core::Specimens s = holed(format), scaled = s.scaledby(f);
    EXPECT_TRUE(scaled.scaled());
    EXPECT_EQ(scaled.matrix()(1, 2), 3 * s.matrix()(1, 2));
    EXPECT_EQ(scaled.matrix()(2, 3), 4 * s.matrix()(2, 3));
    EXPECT_EQ(scaled.sizes(), format == core::Specimens::Format::tps ? Eigen::VectorXd(s.sizes().cwiseProduct(f))
                                                                     : s.sizes());
  }
}

TEST(specimens, RefusesPartsThatDoNotBelongToItsRows) {
  const core::Specimens s = holed();
  core::Identities two;
  two.keys = {{"ID=a"}, {"ID=b"}};
  EXPECT_EQ(testsupport::error_of([&] { core::Specimens(s.matrix(), two); }),
            "A data set of 3 specimens was given the identities of 2");
  EXPECT_EQ(testsupport::error_of([&] { s.with(Eigen::MatrixXd::Ones(2, 7)); }),
            "The 3 specimens were given 2 rows in their place");
  EXPECT_EQ(testsupport::error_of([&] { s.scaledby(Eigen::Vector2d(1, 1)); }),
            "The 3 specimens were given 2 scale factors");
}
