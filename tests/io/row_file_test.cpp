#include "io/row_file.h"

#include "core/error.h"
#include "tests/support/test_support.h"

#include <filesystem>

using testsupport::error_of;
using testsupport::near;
using testsupport::tempfile;

namespace {

Eigen::MatrixXd matrix(std::initializer_list<std::initializer_list<double>> rows) {
  Eigen::MatrixXd m(static_cast<Eigen::Index>(rows.size()), static_cast<Eigen::Index>(rows.begin()->size()));
  Eigen::Index i = 0;
  for (const auto& r : rows) {
    Eigen::Index j = 0;
    for (double v : r) m(i, j++) = v;
    ++i;
  }
  return m;
}

// The message of the core::Error that `f` raises, or "" if it raises none.

} // namespace

TEST(dload, ReadsRowsOfBlankTabAndCommaSeparatedNumbers) {
  const auto path = tempfile("a.txt", "1 2.5\t-3e2\n4,5 , 6\n  7\t8 9  \n");
  EXPECT_TRUE(near(io::dload(path), matrix({{1, 2.5, -300}, {4, 5, 6}, {7, 8, 9}}), 0));
}

TEST(dload, StopsAtTheFirstEmptyLineWhateverItsLineEnd) {
  const Eigen::MatrixXd expected = matrix({{1, 2}, {3, 4}});
  for (const char* text : {"1 2\n3 4\n\nnot read\n", "1 2\r\n3 4\r\n\r\nnot read\r\n", "1 2\r3 4\r\rnot read\r",
                           "1 2\n3 4\n\n", "1 2\r\n3 4\r\n\r\n"})
    EXPECT_TRUE(near(io::dload(tempfile("e.txt", text)), expected, 0)) << text;
}

TEST(dload, ReadsAllLineEndsAlike) {
  const Eigen::MatrixXd lf = io::dload(tempfile("lf.txt", "1 2 3\n4 5 6\n"));
  EXPECT_TRUE(near(io::dload(tempfile("crlf.txt", "1 2 3\r\n4 5 6\r\n")), lf, 0));
  EXPECT_TRUE(near(io::dload(tempfile("cr.txt", "1 2 3\r4 5 6\r")), lf, 0));
  EXPECT_TRUE(near(io::dload(tempfile("noend.txt", "1 2 3\n4 5 6")), lf, 0));
}

TEST(dload, KeepsAShortLastLineWithoutLineEnd) {
  // A one-character last line is data like any other, not an end marker.
  EXPECT_TRUE(near(io::dload(tempfile("col.txt", "1\n2\n3")), matrix({{1}, {2}, {3}}), 0));
}

TEST(dload, ReadsNumbersInFrontOfAComment) {
  const auto path = tempfile("angles.txt", "12.5\t30.25\t2\t % specimen 1\n14\t31\t2\t % specimen 2\n");
  EXPECT_TRUE(near(io::dload(path), matrix({{12.5, 30.25, 2}, {14, 31, 2}}), 0));
}

TEST(dload, ReadsNaNAndNA) {
  // (An infinity is refused: see the readers' table in landmark_file_test.)
  const Eigen::MatrixXd m = io::dload(tempfile("nan.txt", "NaN 1 NA\n"));
  EXPECT_TRUE(std::isnan(m(0, 0)));
  EXPECT_TRUE(std::isnan(m(0, 2)));
}

TEST(dload, NamesTheFileAndLineOfEveryProblem) {
  const auto missing = testsupport::temppath("missing.txt");
  EXPECT_NE(error_of([&] { io::dload(missing); }).find("Cannot open file '" + missing + "'"), std::string::npos);

  const auto empty = tempfile("empty.txt", "");
  EXPECT_EQ(error_of([&] { io::dload(empty); }), "File '" + empty + "' holds no data");

  const auto blank = tempfile("blank.txt", "\n1 2\n");
  EXPECT_EQ(error_of([&] { io::dload(blank); }), "File '" + blank + "' holds no data: its first line is empty");

  const auto ragged = tempfile("ragged.txt", "1 2 3\n4 5 6\n7 8\n");
  EXPECT_EQ(error_of([&] { io::dload(ragged); }), "File '" + ragged + "', line 3 holds 2 numbers where line 1 holds 3");

  const auto words = tempfile("words.txt", "1 2\r\n3 x4\r\n");
  EXPECT_EQ(error_of([&] { io::dload(words); }), "File '" + words + "', line 2, column 3: 'x4' is not a number");

  const auto spaces = tempfile("spaces.txt", "1 2\n   \n");
  EXPECT_EQ(error_of([&] { io::dload(spaces); }), "File '" + spaces + "', line 2 holds no numbers");
}

TEST(writerows, EveryWriterVariantReadsBackWithinItsPrecision) {
  std::mt19937 rng(5);
  std::uniform_real_distribution<double> u(-500, 500);
  Eigen::MatrixXd data(6, 9);
  for (Eigen::Index i = 0; i < data.size(); ++i) data(i) = u(rng);
  struct Variant {
    const char* value;
    const char* end;
    double tol; // relative for %g, absolute for %f
    bool relative;
  };
  for (const Variant v : {Variant{"%f ", "\n", 5e-7, false}, Variant{" %f ", "\n", 5e-7, false},
                          Variant{"%g ", " \n", 5e-6, true}}) {
    const auto path = testsupport::temppath("w.txt");
    io::writerows(path, data, v.value, v.end, io::WriteMode::Replace);
    const Eigen::MatrixXd back = io::dload(path);
    ASSERT_EQ(back.rows(), data.rows()) << v.value;
    ASSERT_EQ(back.cols(), data.cols()) << v.value;
    for (Eigen::Index i = 0; i < data.size(); ++i) {
      const double tol = v.relative ? v.tol * std::abs(data(i)) : v.tol;
      EXPECT_NEAR(back(i), data(i), tol) << v.value;
    }
  }
}

TEST(writerows, WritesTheExactTextOfItsFormats) {
  const Eigen::MatrixXd data = matrix({{1.5, -2}, {1e-7, 123456789}});
  EXPECT_EQ(io::formatrows(data, "%g ", " \n"), "1.5 -2  \n1e-07 1.23457e+08  \n");
  EXPECT_EQ(io::formatrows(data, " %f ", "\n"), " 1.500000  -2.000000 \n 0.000000  123456789.000000 \n");
}

TEST(writerows, AppendAddsRowsAndReplaceStartsAfresh) {
  const Eigen::MatrixXd data = matrix({{1, 2, 3}, {4, 5, 6}});
  const auto path = testsupport::temppath("modes.txt");
  io::writerows(path, data, "%f ", "\n", io::WriteMode::Append);
  io::writerows(path, data, "%f ", "\n", io::WriteMode::Append);
  EXPECT_EQ(io::dload(path).rows(), 4);
  io::writerows(path, data, "%g ", " \n", io::WriteMode::Replace);
  EXPECT_TRUE(near(io::dload(path), data, 0));
}

TEST(writerows, AFailedWriteNamesTheFileAndLeavesNothing) {
  const auto path = testsupport::temppath("no-such-folder") + "/out.txt";
  const Eigen::MatrixXd data = matrix({{1, 2}});
  EXPECT_NE(error_of([&] { io::writerows(path, data, "%g ", " \n", io::WriteMode::Replace); }).find(path),
            std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(dload, SkipsAByteOrderMarkAndNamesANumberBeyondRange) {
  EXPECT_TRUE(near(io::dload(tempfile("bom.txt", "\xEF\xBB\xBF" "1 2\n3 4\n")), matrix({{1, 2}, {3, 4}}), 0));
  const auto big = tempfile("big.txt", "1 2\n3 1e400\n");
  EXPECT_EQ(error_of([&] { io::dload(big); }),
            "File '" + big + "', line 2, column 3: '1e400' is beyond the range of numbers (about 1.8e308)");
}

TEST(writerows, AFailedAppendLeavesTheFileAsItWas) {
  const auto path = testsupport::temppath("append-ro.txt");
  std::filesystem::remove(path);
  io::writerows(path, matrix({{1, 2}}), "%f ", "\n", io::WriteMode::Append);
  const std::string before = io::readfile(path);
  std::filesystem::permissions(path, std::filesystem::perms::owner_read);
  EXPECT_EQ(error_of([&] { io::writerows(path, matrix({{3, 4}}), "%f ", "\n", io::WriteMode::Append); }),
            "Cannot write file '" + path + "': it is read-only");
  EXPECT_EQ(io::readfile(path), before);
  std::filesystem::permissions(path, std::filesystem::perms::owner_all);
}

TEST(dload, ReportsItsProgressAndStopsWhenAskedLeavingNothing) {
  std::string text;
  for (int i = 0; i < 20000; ++i) text += std::to_string(i) + " 1 2\n";
  const auto path = tempfile("big.txt", text);
  std::vector<double> heard;
  const Eigen::MatrixXd all = io::dload(path, [&](double f) {
    heard.push_back(f);
    return true;
  });
  EXPECT_EQ(all.rows(), 20000);
  ASSERT_EQ(heard.size(), 4u); // every 4096 rows
  EXPECT_TRUE(std::is_sorted(heard.begin(), heard.end()));
  EXPECT_GT(heard.front(), 0);
  EXPECT_LT(heard.back(), 1);

  int calls = 0;
  const std::string message = error_of([&] { io::dload(path, [&](double) { return ++calls < 2; }); });
  EXPECT_EQ(message, "Loading '" + path + "' was cancelled; nothing was loaded");
  EXPECT_EQ(calls, 2);
  EXPECT_THROW(io::dload(path, [](double) { return false; }), core::Cancelled);
}
