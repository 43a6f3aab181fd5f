#include "io/tps_file.h"

#include "core/configurations.h"
#include "core/error.h"
#include "io/row_file.h"
#include "tests/support/test_support.h"

#include <filesystem>

using testsupport::error_of;
using testsupport::near;
using testsupport::tempfile;

namespace {

const char* two_blocks =
    "LM=3\n1 2\n3 4\n5 6\nIMAGE=first.jpg\nID=1\nSCALE=0.5\n"
    "LM=3\n7 8\n9 10\n11 12\nIMAGE=second.jpg\nID=2\nSCALE=0.5\n";


} // namespace

TEST(readtpsfile, ReadsBlocksUnscaledAndSkipsOtherKeys) {
  const auto path = tempfile("two.tps", two_blocks);
  const core::Specimens tps = io::readtpsfile(path);
  Eigen::MatrixXd expected(2, 6);
  expected << 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12;
  EXPECT_TRUE(near(tps.coordinates(), expected, 0));
  EXPECT_EQ(tps.source(), path);
  EXPECT_EQ(tps.name(), std::filesystem::path(path).filename().string());
  EXPECT_EQ(tps.format(), core::Specimens::Format::tps);
  ASSERT_EQ(tps.matrix().cols(), 7);
  EXPECT_TRUE(near(tps.sizes(), core::centsize(expected), 1e-15));
}

TEST(readtpsfile, FindsLowerCaseKeys) {
  const auto path = tempfile("lower.tps", "lm=2 first\n0 0 1 1\nscale=2\nLm=2\t second \n2 2 3 3\n");
  const core::Specimens tps = io::readtpsfile(path);
  EXPECT_EQ(tps.n(), 2);
  EXPECT_EQ(tps.ids().keys, (std::vector<std::vector<std::string>>{{"scale=2"}, {}}));
}

TEST(readtpsfile, ReadsAllLineEndsAlike) {
  const Eigen::MatrixXd lf = io::readtpsfile(tempfile("lf.tps", two_blocks)).matrix();
  std::string crlf, cr;
  for (const char c : std::string(two_blocks)) {
    crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    cr += c == '\n' ? '\r' : c;
  }
  const core::Specimens a = io::readtpsfile(tempfile("crlf.tps", crlf));
  const core::Specimens b = io::readtpsfile(tempfile("cr.tps", cr));
  EXPECT_TRUE(near(a.matrix(), lf, 0));
  EXPECT_TRUE(near(b.matrix(), lf, 0));
  EXPECT_EQ(a.ids().keys, b.ids().keys);
}

TEST(readtpsfile, ReadsADigitisersFileWithCurvesAndCrLf) {
  // 74 tpsDig files joined: LM=16, then CURVES/POINTS blocks that must be
  // skipped, image names with "LM" inside, -1 -1 for missing landmarks.
  const core::Specimens tps = io::readtpsfile(testsupport::example("trilomorph_cephala/cephala_tpsdig_all.tps"));
  const Eigen::MatrixXd& y = tps.matrix();
  ASSERT_EQ(y.rows(), 74);
  ASSERT_EQ(y.cols(), 33);
  EXPECT_EQ(y(0, 0), 655);
  EXPECT_EQ(y(0, 1), 854);
  EXPECT_EQ(y(0, 31), 689); // landmark 16, y
  EXPECT_TRUE((tps.sizes().array() > 0).all());
}

TEST(readtpsfile, AgreesWithTheRowFormatCopyOfTheSameData) {
  const Eigen::MatrixXd rows = io::dload(testsupport::example("lizards_podarcis/lizards.txt"));
  const core::Specimens tps = io::readtpsfile(testsupport::example("lizards_podarcis/lizards.tps"));
  ASSERT_EQ(tps.n(), rows.rows());
  EXPECT_TRUE(near(tps.coordinates(), rows.leftCols(56), 1e-12));
}

TEST(readtpsfile, NamesTheBlockOfEveryProblem) {
  const auto nokey = tempfile("nokey.tps", "IMAGE=a.jpg\n1 2 3 4\n");
  EXPECT_EQ(error_of([&] { io::readtpsfile(nokey); }),
            "File '" + nokey + "' holds no \"LM=\" key: it is not a TPS file");

  const auto differs = tempfile("differs.tps", "LM=2\n0 0\n1 1\nID=a\nLM=3\n0 0\n1 1\n2 2\n");
  EXPECT_EQ(error_of([&] { io::readtpsfile(differs); }),
            "File '" + differs + "', block 2 (line 5): \"LM=\" is not followed by 2, the landmark count of the first block");

  const auto short_block = tempfile("short.tps", "LM=2\n0 0\n1 1\nLM=2\n0 0\n1\nID=b\n");
  EXPECT_EQ(error_of([&] { io::readtpsfile(short_block); }),
            "File '" + short_block + "', block 2 (line 4) holds 3 numbers where 2 landmarks need 4");

  const auto truncated = tempfile("trunc.tps", "LM=2\n0 0\n1 1\nLM=2\n");
  EXPECT_NE(error_of([&] { io::readtpsfile(truncated); }).find("block 2 (line 4) holds 0 numbers"),
            std::string::npos);

  const auto badcount = tempfile("count.tps", "LM=two\n0 0\n");
  EXPECT_EQ(error_of([&] { io::readtpsfile(badcount); }),
            "File '" + badcount + "', block 1 (line 1): the landmark count after \"LM=\" is not a positive whole number");

  const auto missing = testsupport::temppath("none.tps");
  EXPECT_NE(error_of([&] { io::readtpsfile(missing); }).find("Cannot open file"), std::string::npos);
}

TEST(writetpsfile, WritesTheDigitiserLayoutAndReadsBack) {
  Eigen::MatrixXd data(2, 5);
  data << 1.5, 2, 3, 4.25, 10, 123456.7, -8e-9, 0, 1, 20;
  EXPECT_EQ(io::formattps(core::Specimens(data)), "LM=2\n1.5  2 \n3  4.25 \nLM=2\n123457  -8e-09 \n0  1 \n");

  std::mt19937 rng(9);
  Eigen::MatrixXd set(5, 21);
  for (Eigen::Index i = 0; i < 5; ++i) set.row(i) = testsupport::randomrow(10, rng, 3.0);
  const auto path = testsupport::temppath("out.tps");
  io::writetpsfile(path, core::Specimens(set));
  const core::Specimens back = io::readtpsfile(path);
  ASSERT_EQ(back.n(), 5);
  EXPECT_TRUE(near(back.coordinates(), set.leftCols(20), 5e-6));
  EXPECT_TRUE(back.ids().empty());
}

TEST(readtpsfile, RefusesABlockWithMorePointsThanItsCount) {
  // The third point of block 1 would otherwise be dropped, or shift every
  // later landmark.
  const auto extra = tempfile("extra.tps", "LM=2\n0 0\n1 1\n2 2\nID=a\nLM=2\n0 0\n1 1\n");
  EXPECT_EQ(error_of([&] { io::readtpsfile(extra); }),
            "File '" + extra + "', block 1 (line 1) holds more than the 4 numbers of its 2 landmarks: '2' on line 4 is "
            "one too many");
  const auto last = tempfile("extra-last.tps", "LM=2\n0 0\n1 1\nLM=2\n0 0\n1 1 7\n");
  EXPECT_NE(error_of([&] { io::readtpsfile(last); }).find("block 2 (line 4) holds more than"), std::string::npos);
}

TEST(readtpsfile, NamesACoordinateThatIsNotAFiniteNumber) {
  for (const std::string value : {"inf", "-inf", "+Inf", "nan", "-nan", "1e400", "-1e999"}) {
    const auto path = tempfile("nonfinite.tps", "LM=2\n0 0\n1 1\nLM=2\n0 0\n1 " + value + "\n");
    EXPECT_EQ(error_of([&] { io::readtpsfile(path); }),
              "File '" + path + "', block 2 (line 4): '" + value + "' on line 6 is not a finite number")
        << value;
  }
}

TEST(readtpsfile, FindsKeysOnlyAsTheFirstWordOfALine) {
  // "film=" and "LM=3.jpg" inside an IMAGE= value are not keys.
  const auto path = tempfile("image.tps", "LM=2\n0 0\n1 1\nIMAGE=film=14.jpg\nID=1\n"
                                          "  lm=2\n2 2\n3 3\nIMAGE=LM=3.jpg\nID=2\n");
  const core::Specimens f = io::readtpsfile(path);
  Eigen::MatrixXd expected(2, 4);
  expected << 0, 0, 1, 1, 2, 2, 3, 3;
  EXPECT_TRUE(near(f.coordinates(), expected, 0));
  const auto nokey = tempfile("nokey2.tps", "IMAGE=film=2.jpg\n0 0 1 1\n");
  EXPECT_EQ(error_of([&] { io::readtpsfile(nokey); }),
            "File '" + nokey + "' holds no \"LM=\" key: it is not a TPS file");
}

TEST(readtpsfile, SkipsAByteOrderMark) {
  const auto path = tempfile("bom.tps", std::string("\xEF\xBB\xBF") + two_blocks);
  EXPECT_EQ(io::readtpsfile(path).n(), 2);
}

TEST(readtpsfile, ReportsItsProgressAndStopsWhenAsked) {
  std::string text;
  for (int i = 0; i < 3000; ++i) text += "LM=2\n" + std::to_string(i) + " 0\n0 1\nID=" + std::to_string(i) + "\n";
  const auto path = testsupport::tempfile("big.tps", text);
  std::vector<double> heard;
  const core::Specimens all = io::readtpsfile(path, [&](double f) {
    heard.push_back(f);
    return true;
  });
  EXPECT_EQ(all.n(), 3000);
  ASSERT_EQ(heard.size(), 2u); // every 1024 specimens
  EXPECT_LT(heard[0], heard[1]);
  EXPECT_LT(heard[1], 1);
  EXPECT_EQ(testsupport::error_of([&] { io::readtpsfile(path, [](double) { return false; }); }),
            "Loading '" + path + "' was cancelled; nothing was loaded");
}
