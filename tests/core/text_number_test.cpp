#include "core/text_number.h"

#include "core/error.h"

#include "tests/support/test_support.h"
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

using testsupport::error_of;
using core::scan_numbers;
using core::str2num;

namespace {

const double inf = std::numeric_limits<double>::infinity();


Eigen::MatrixXd matrix(Eigen::Index rows, Eigen::Index cols, std::vector<double> v) {
  return Eigen::Map<Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic, Eigen::RowMajor>>(v.data(), rows, cols);
}

} // namespace

TEST(scan_numbers, AppendsNumbersSeparatedByRunsOfBlanksTabsAndCommas) {
  std::vector<double> out{9};
  const core::NumberScan scan = scan_numbers("  1 2.5,\t-3e2 ,, +4 .5 7.\r", out);
  EXPECT_EQ(scan.count, 6u);
  EXPECT_TRUE(scan.bad.empty());
  EXPECT_EQ(out, (std::vector<double>{9, 1, 2.5, -300, 4, 0.5, 7}));
}

TEST(scan_numbers, ReadsNanAndInfInAnyCaseAndOutOfRangeNumbersAsStrtodDoes) {
  std::vector<double> out;
  EXPECT_EQ(scan_numbers("NaN nan -Inf inf +INF 1e999 -1e999 1e-999 0.0001e-400", out).count, 9u);
  EXPECT_TRUE(std::isnan(out[0]) && std::isnan(out[1]));
  EXPECT_EQ(std::vector<double>(out.begin() + 2, out.end()), (std::vector<double>{-inf, inf, inf, inf, -inf, 0, 0}));
}

TEST(scan_numbers, EndsTheLineAtAPercentSign) {
  std::vector<double> out;
  EXPECT_EQ(scan_numbers("1 2 % 3 4", out).count, 2u);
  EXPECT_EQ(scan_numbers("5%6 x", out).count, 1u);
  EXPECT_EQ(scan_numbers("% only a note", out).count, 0u);
  EXPECT_EQ(scan_numbers("", out).count, 0u);
  EXPECT_EQ(out, (std::vector<double>{1, 2, 5}));
}

TEST(scan_numbers, ReportsTheWholeFirstWordThatIsNotANumberWithItsColumn) {
  std::vector<double> out;
  const core::NumberScan scan = scan_numbers("1\t12abc,3 x", out);
  EXPECT_EQ(scan.count, 1u);
  EXPECT_EQ(scan.bad, "12abc");
  EXPECT_EQ(scan.bad_column, 3u);
  EXPECT_EQ(out, std::vector<double>{1});
  for (const char* word : {"+-2", "--1", "+", "-", "0x10", "1e", "1.2.3", "nanny", "Infx"}) {
    out.clear();
    const std::string line = std::string(" ") + word + "%c";
    const core::NumberScan s = scan_numbers(line, out);
    EXPECT_EQ(s.bad, word);
    EXPECT_EQ(s.bad_column, 2u) << word;
  }
}

TEST(str2num, GivesAnEmptyMatrixForBlankText) {
  for (const char* text : {"", "  \t", "[]", "[ ; ]", "% note", "5:1"}) EXPECT_EQ(str2num(text).size(), 0) << text;
}

TEST(str2num, ReadsAListAsARowAndRowsSeparatedBySemicolonsOrLineEnds) {
  EXPECT_EQ(str2num("1 2 3"), matrix(1, 3, {1, 2, 3}));
  EXPECT_EQ(str2num(" [1, -2.5,+3] % note"), matrix(1, 3, {1, -2.5, 3}));
  EXPECT_EQ(str2num("[1 2; 3 4;]"), matrix(2, 2, {1, 2, 3, 4}));
  EXPECT_EQ(str2num("1 2\r\n3 4\r\n"), matrix(2, 2, {1, 2, 3, 4}));
  EXPECT_EQ(str2num("1 2;\n\n3 4"), matrix(2, 2, {1, 2, 3, 4})); // empty rows are dropped
  EXPECT_EQ(str2num("[1:3; 4 5 6]"), matrix(2, 3, {1, 2, 3, 4, 5, 6}));
}

TEST(str2num, ExpandsRangesAsTheColonOperatorDoes) {
  EXPECT_EQ(str2num("2:5"), matrix(1, 4, {2, 3, 4, 5}));
  EXPECT_EQ(str2num("1.5:4"), matrix(1, 3, {1.5, 2.5, 3.5}));
  EXPECT_EQ(str2num("1:2:8"), matrix(1, 4, {1, 3, 5, 7}));
  EXPECT_EQ(str2num("5 : -2 : 1"), matrix(1, 3, {5, 3, 1}));
  EXPECT_EQ(str2num("[1:3 7]"), matrix(1, 4, {1, 2, 3, 7}));
  EXPECT_EQ(str2num("1:0:5 8"), matrix(1, 1, {8}));
  // (0.3 - 0) / 0.1 falls just short of 3: the range still reaches 0.3.
  const Eigen::MatrixXd short_tenths = str2num("0:0.1:0.3");
  ASSERT_EQ(short_tenths.cols(), 4);
  EXPECT_EQ(short_tenths(3), 0.3);
  const Eigen::MatrixXd tenths = str2num("0:0.1:1");
  ASSERT_EQ(tenths.cols(), 11);
  for (Eigen::Index k = 0; k < 11; ++k) EXPECT_NEAR(tenths(k), 0.1 * static_cast<double>(k), 1e-15);
  EXPECT_EQ(tenths(10), 1.0);
}

TEST(str2num, RaisesAnErrorNamingTheTextWhenItIsNotNumbers) {
  EXPECT_EQ(error_of([] { str2num("1 2 x"); }), "'1 2 x' is not a number");
  EXPECT_EQ(error_of([] { str2num("abc"); }), "'abc' is not a number");
  for (const char* text : {"1:", ":3", "1::3", "1:2:3:4", "[1 2", "1 2]", "[[1]]", "1e", "2*3"})
    EXPECT_EQ(error_of([&] { str2num(text); }), "'" + std::string(text) + "' is not a number");
  EXPECT_EQ(error_of([] { str2num("1 2; 3"); }),
            "'1 2; 3': the rows differ in length (row 1 holds 2 numbers, row 2 holds 1)");
  EXPECT_NE(error_of([] { str2num("1:1e12"); }).find("range of more than"), std::string::npos);
  EXPECT_NE(error_of([] { str2num("1:Inf"); }).find("range of more than"), std::string::npos);
}

TEST(str2num, RefusesAHugeRangeBeforeLayingItOut) {
  // Counted over the whole text, not range by range.
  EXPECT_THROW(str2num("1:99999999"), core::TooManyNumbers);
  EXPECT_THROW(str2num("1:600000 1:600000"), core::TooManyNumbers);
  EXPECT_EQ(error_of([] { str2num("[1:99999999]"); }), "'[1:99999999]' asks for a range of more than 1000000 numbers");
  EXPECT_EQ(str2num("1:1000000").size(), 1000000);
}
