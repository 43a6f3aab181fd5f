// Angle files as Anglepick writes them and Restrain reads them back.

#include "io/angle_file.h"

#include "io/text_file.h"
#include "tests/support/test_support.h"

#include <cmath>
#include <numbers>

namespace {

// Two specimens with two pairs each: the second lacks its second pair;
// a third gave no angles at all.
struct Measured {
  Eigen::RowVectorXd t{{std::numbers::pi / 2, std::numbers::pi, 0.0}};
  Eigen::MatrixXd p{{std::numbers::pi / 4, std::numbers::pi / 2}, {std::numbers::pi / 6, std::nan("")}, {0.0, 0.0}};
  Eigen::RowVectorXi np{{2, 1, 0}};
  core::Identities ids;
  Measured() { ids.keys = {{"ID=A7"}, {}, {}}; }
};

} // namespace

TEST(anglefile, WritesEachLayoutInDegreesAndReadsItBack) {
  const Measured m;
  struct Case {
    io::AngleLayout layout;
    std::string text;
    Eigen::MatrixXd back; // the numbers the row reader finds
    Eigen::VectorXi specimen; // each line's specimen, as the pooled reader finds it
  };
  const Case cases[] = {
      {io::AngleLayout::pairs,
       "90.000000\t45.000000\t3\t % specimen 1 (A7)\n90.000000\t90.000000\t3\t % specimen 1 (A7)\n"
       "180.000000\t30.000000\t3\t % specimen 2\n",
       Eigen::MatrixXd{{90, 45, 3}, {90, 90, 3}, {180, 30, 3}}, Eigen::VectorXi{{0, 0, 1}}},
      {io::AngleLayout::birch, "90.000000\t45.000000\n90.000000\t90.000000\n180.000000\t30.000000\n",
       Eigen::MatrixXd{{90, 45}, {90, 90}, {180, 30}}, Eigen::VectorXi()},
      {io::AngleLayout::means,
       "90.000000\t67.500000\t3\t % specimen 1 (A7)\n180.000000\t30.000000\t3\t % specimen 2\n"
       "NaN\tNaN\t3\t % specimen 3\n",
       Eigen::MatrixXd{{90, 67.5, 3}, {180, 30, 3}, {std::nan(""), std::nan(""), 3}}, Eigen::VectorXi()},
  };
  for (const Case& c : cases) {
    const std::string text = io::formatangles(c.layout, m.t, m.p, m.np, 3, m.ids);
    EXPECT_EQ(text, c.text);
    const std::string path = testsupport::tempfile("angles.txt", text);
    if (c.layout != io::AngleLayout::means) {
      EXPECT_TRUE(testsupport::near(io::readangles(path, "LoadAllTP"), c.back, 1e-12));
      const io::PooledAngles pooled = io::readpooledangles(path, "LoadAllTP");
      EXPECT_EQ(pooled.tp, io::readangles(path, "LoadAllTP"));
      EXPECT_EQ(pooled.specimen, c.specimen);
      continue;
    }
    // Per-specimen angles: the NaN line of a specimen without angles, and
    // the specimen each line names.
    const io::SpecimenAngles back = io::readspecimenangles(path, "LoadDataTP");
    EXPECT_TRUE(back.tp.array().isNaN().cwiseEqual(c.back.array().isNaN()).all());
    EXPECT_TRUE(testsupport::near(back.tp.topRows(2), c.back.topRows(2), 1e-12));
    ASSERT_EQ(back.labels.size(), 3U);
    EXPECT_EQ(back.labels[0].number, 1);
    EXPECT_EQ(back.labels[0].id, "A7");
    EXPECT_EQ(back.labels[2].number, 3);
    EXPECT_EQ(back.labels[2].id, "");
    // Pooled pairs have no gaps.
    EXPECT_NE(testsupport::error_of([&] { io::readangles(path, "LoadAllTP"); }).find("line 3, column 1 holds NaN"),
              std::string::npos);
  }
}

// A specimen's label as an angle file's comment names it, read back.
TEST(anglefile, ReadsTheSpecimenEachLineNames) {
  const std::pair<const char*, core::SpecimenLabel> cases[] = {
      {"specimen 12 (a (b) c)", {12, "a (b) c"}},
      {"specimen 7", {7, ""}},
      {"specimen 7 \r", {7, ""}},
      {"specimen x", {}},
      {"specimen 0 (a)", {}},
      {"specimen 3 a", {}},
      {"note", {}},
      {"", {}},
  };
  for (const auto& [line, want] : cases) {
    const core::SpecimenLabel got = io::anglelabel(line);
    EXPECT_EQ(got.number, want.number) << line;
    EXPECT_EQ(got.id, want.id) << line;
  }
}

// A specimen is a run of lines with one comment, slab and t: two slabs
// joined end to end keep specimens of the same number apart, and a line
// without a comment leaves the specimens unknown.
TEST(anglefile, FindsSpecimensAsRunsOfLines) {
  const Eigen::MatrixXd tp{{10, 80, 1}, {10, 85, 1}, {10, 70, 2}, {40, 90, 2}, {40, 95, 2}, {10, 60, 2}};
  const std::vector<std::string> comments{"specimen 1", "specimen 1", "specimen 1", "specimen 1", "specimen 1",
                                          "specimen 2"};
  EXPECT_EQ(io::specimensof(tp, comments), (Eigen::VectorXi{{0, 0, 1, 2, 2, 3}}));
  EXPECT_EQ(io::specimensof(tp.leftCols(2), comments), (Eigen::VectorXi{{0, 0, 0, 1, 1, 2}}));
  std::vector<std::string> partly = comments;
  partly[4].clear();
  EXPECT_EQ(io::specimensof(tp, partly).size(), 0);
}

TEST(anglefile, RefusesWhatIsNoAngleFileNamingWhere) {
  struct Case {
    const char* content;
    const char* where; // a part of the message, or "" for a file that is taken
  };
  const Case cases[] = {
      {"10 20\n30 40 \n", ""},
      {"0 360 1\n", ""},
      {"10\n20\n", "(LoadDataTP), line 1, holds 1 number"},
      {"10 20\n30 -5\n", ", line 2, column 2 holds -5"},
      {"10 20\n400 40\n", ", line 2, column 1 holds 400"},
      {"10 20\nNaN 40\n", ", line 2, column 1 holds NaN"},
      {"1 2 3 4 5\n", " holds 5 numbers per line, so it looks like landmark data (2 landmarks and a size slot)"},
  };
  for (const Case& c : cases) {
    const std::string path = testsupport::tempfile("bad.txt", c.content);
    const std::string error = testsupport::error_of([&] { io::readangles(path, "LoadDataTP"); });
    if (*c.where == '\0') EXPECT_EQ(error, "no error") << c.content;
    else EXPECT_NE(error.find(c.where), std::string::npos) << c.content << error;
  }
}
