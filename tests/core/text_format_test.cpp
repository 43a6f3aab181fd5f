#include "core/text_format.h"

#include "core/error.h"

#include "tests/support/test_support.h"
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <limits>
#include <random>
#include <string>
#include <vector>

using testsupport::error_of;
using core::format;

namespace {

const double NaN = std::numeric_limits<double>::quiet_NaN();
const double Inf = std::numeric_limits<double>::infinity();

Eigen::MatrixXd row(std::vector<double> v) {
  return Eigen::Map<Eigen::RowVectorXd>(v.data(), static_cast<Eigen::Index>(v.size()));
}


} // namespace

TEST(format, WritesTheReportAndFileFormatsOfTheSuite) {
  EXPECT_EQ(format("%f ", 12.5), "12.500000 ");
  EXPECT_EQ(format(" %f ", -0.125), " -0.125000 ");
  EXPECT_EQ(format("%g ", 0.1 + 0.2), "0.3 ");
  EXPECT_EQ(format("%g  %g", 1.5, 2), "1.5  2");
  EXPECT_EQ(format(" \\n"), " \n");
  EXPECT_EQ(format("LM=%i\\n", 17), "LM=17\n");
  EXPECT_EQ(format("%f\t%f\n", 1.0, -2.5), "1.000000\t-2.500000\n");
  EXPECT_EQ(format("%f\\t%f\\t%i\\t %% specimen %i", 12.5, 30.25, 2, 7), "12.500000\t30.250000\t2\t % specimen 7");
  EXPECT_EQ(format("%3.0f Landmarks", 12), " 12 Landmarks");
  EXPECT_EQ(format("File %s \\n %4.0f Samples \\n %4.0f landmarks", "set.txt", 40, 12),
            "File set.txt \n   40 Samples \n   12 landmarks");
  EXPECT_EQ(format("File %s of protocols loaded, \\n%i landmarks per side", "p.txt", 9),
            "File p.txt of protocols loaded, \n9 landmarks per side");
  EXPECT_EQ(format("Landmarks= %3.0d", 12), "Landmarks=  12");
  EXPECT_EQ(format("RS=%2.4f  Angle=%3.2f\\n", 1.23456789, 45.678), "RS=1.2346  Angle=45.68\n");
  EXPECT_EQ(format("The R value was %2.4f, theta` was %3.4f, using %i paired t,p, The R^2 was %f", 0.987654,
                   12.3456789, 20, 0.975461),
            "The R value was 0.9877, theta` was 12.3457, using 20 paired t,p, The R^2 was 0.975461");
  EXPECT_EQ(format("\\nNoisy Data \\nWilks Lambda= %2.4f   F score= %2.4f  Percent variance explained: %1.4f ,     "
                   "df1=%4.2f ,    df2=%4.2f,  p value=%3.8g",
                   0.25, 3.5, 0.123456, 4, 36, 0.000123456789),
            "\nNoisy Data \nWilks Lambda= 0.2500   F score= 3.5000  Percent variance explained: 0.1235 ,     "
            "df1=4.00 ,    df2=36.00,  p value=0.00012345679");
  EXPECT_EQ(format("%s \\n", "abc"), "abc \n");
}

TEST(format, WritesGExactlyAsC) {
  // Six significant digits, trailing zeros dropped, exponent form below
  // 1e-4 and from 1e6 on.
  EXPECT_EQ(format("%g", 100000), "100000");
  EXPECT_EQ(format("%g", 1e6), "1e+06");
  EXPECT_EQ(format("%g", 1234567), "1.23457e+06");
  EXPECT_EQ(format("%g", 0.0001), "0.0001");
  EXPECT_EQ(format("%g", 0.00001234), "1.234e-05");
  EXPECT_EQ(format("%g", -0.0), "-0");
}

TEST(format, WritesPlainConversionsExactlyAsCsSnprintfDoes) {
  // Plain conversions take a faster route than snprintf; it must agree with
  // it everywhere, from subnormals to the largest doubles.
  std::mt19937 rng(1789);
  std::uniform_real_distribution<double> unit(-1, 1);
  std::uniform_int_distribution<int> scale(-320, 308), small_scale(-8, 12);
  char expected[512];
  for (const char* fmt : {"%f", "%.3f", "%.0f", "%e", "%.12e", "%g", "%.0g", "%.10g"}) {
    for (int n = 0; n < 20000; ++n) {
      const double v = unit(rng) * std::pow(10.0, n % 4 ? small_scale(rng) : scale(rng));
      std::snprintf(expected, sizeof expected, fmt, v);
      ASSERT_EQ(format(fmt, v), expected) << fmt << " of " << v;
    }
  }
  for (int n = 0; n < 20000; ++n) {
    const long long v = std::llround(unit(rng) * std::pow(10.0, small_scale(rng) + 6));
    std::snprintf(expected, sizeof expected, "%lld", v);
    ASSERT_EQ(format("%d", static_cast<double>(v)), expected) << v;
  }
}

TEST(format, ConsumesMatrixEntriesInColumnMajorOrderAndTextsWhole) {
  Eigen::MatrixXd m(2, 2);
  m << 1, 2, 3, 4;
  EXPECT_EQ(format("%d %d\n", m), "1 3\n2 4\n");
  EXPECT_EQ(format("%s=%d\n", "a", 1, "bc", Eigen::MatrixXd(0, 3), 2), "a=1\nbc=2\n");
}

TEST(format, RecyclesTheFormatAndStopsBeforeTheFirstConversionWithoutAValue) {
  EXPECT_EQ(format("%d, %d\n", row({1, 2, 3})), "1, 2\n3, ");
  EXPECT_EQ(format("x%d", row({1, 2})), "x1x2");
  EXPECT_EQ(format("a%db\n"), "ab\n");                      // no values: only the text
  EXPECT_EQ(format("a%db%s\n", Eigen::MatrixXd(0, 0)), "ab\n"); // empty matrices are no values
  EXPECT_EQ(format("abc\n", 1, 2), "abc\n");                // no conversions: written once
}

TEST(format, WritesIntegerConversionsOfFractionsInExponentForm) {
  EXPECT_EQ(format("%d", 1.5), "1.500000e+00");
  EXPECT_EQ(format("%10.2i|", -2.25), " -2.25e+00|");
  EXPECT_EQ(format("%-12u|", 0.5), "5.000000e-01|");
  EXPECT_EQ(format("%u", -3), "-3");
}

TEST(format, WritesWholeNumbersBeyondSixtyFourBitsWithAllDigits) {
  EXPECT_EQ(format("%d", 1e20), "100000000000000000000");
  EXPECT_EQ(format("%i", 0x1p63), "9223372036854775808");
  EXPECT_EQ(format("%d", -0x1p63), "-9223372036854775808");
  EXPECT_EQ(format("%+25d|", 1e20), "   +100000000000000000000|");
  EXPECT_EQ(format("%-23d|", -1e20), "-100000000000000000000 |");
  EXPECT_EQ(format("%023d|% d", 1e20, 1e20), "00100000000000000000000| 100000000000000000000");
  EXPECT_EQ(format("%024.22d", -1e20), " -0100000000000000000000");
  // The same flags on a number in range, for comparison with C's own %d.
  EXPECT_EQ(format("%08.4d|%+06d|% d", -12, 7, 5), "   -0012|+00007| 5");
}

TEST(format, FollowsCInPrintingNoDigitsForZeroAtPrecisionZero) {
  EXPECT_EQ(format("Landmarks= %3.0d", 0), "Landmarks=    ");
  EXPECT_EQ(format("[%.0i]", 0), "[]");
}

TEST(format, WritesNonFiniteValuesAsWordsInTheFieldWidth) {
  EXPECT_EQ(format("%5.2f", NaN), "  NaN");
  EXPECT_EQ(format("%-6d|", Inf), "Inf   |");
  EXPECT_EQ(format("%g %e %i %s", -Inf, NaN, NaN, Inf), "-Inf NaN NaN Inf");
  EXPECT_EQ(format("%05.1f|%+f|% g", Inf, Inf, Inf), "  Inf|+Inf| Inf");
}

TEST(format, ResolvesEscapesAndPercentSigns) {
  EXPECT_EQ(format("a\\tb\\nc\\\\d%%e"), "a\tb\nc\\d%e");
  EXPECT_EQ(format("a\tb\\x\\"), "a\tb\\x\\"); // real controls and other backslashes pass through
  EXPECT_EQ(format("%d%%\\n", row({5, 6})), "5%\n6%\n");
}

TEST(format, WritesNumbersAsTextAndTextAsText) {
  EXPECT_EQ(format("%s", 0.1), "0.1");
  EXPECT_EQ(format("%s", 1.0 / 3), "0.3333333333333333");
  EXPECT_EQ(format("%s|%s|%6s|", 100000, 1e20, 12), "100000|1e+20|    12|");
  EXPECT_EQ(format("%5d|%-4f|%.2s|%.1d|", "ab", "x", "abcdef", "ab"), "   ab|x   |ab|ab|");
  EXPECT_EQ(format("%c%3c", 65, 0xE9), "A \xC3\xA9");
}

TEST(format, WritesFieldsLongerThanItsStackBufferInFull) {
  const std::string wide = format("%200f", 1.0);
  EXPECT_EQ(wide.size(), 200u);
  EXPECT_EQ(wide.substr(192), "1.000000");
  const std::string big = format("%.0f", 1e300);
  EXPECT_EQ(big.size(), 301u);
  EXPECT_EQ(std::stod(big), 1e300);
}

TEST(format, RaisesAnErrorNamingTheFormatForABadConversion) {
  EXPECT_EQ(error_of([] { format("x=%q", 1); }), "Format 'x=%q' has an unsupported conversion '%q'");
  EXPECT_EQ(error_of([] { format("50%"); }), "Format '50%' ends in an incomplete conversion '%'");
  EXPECT_EQ(error_of([] { core::CompiledFormat("%*d"); }), "Format '%*d' has an unsupported conversion '%*'");
  EXPECT_NE(error_of([] { format("%ld", 1); }), "no error");
  EXPECT_NE(error_of([] { format("%1000000f", 1); }), "no error");
}

TEST(CompiledFormat, WritesExactlyWhatFormatWritesForRandomValues) {
  std::mt19937 rng(20240611);
  std::uniform_real_distribution<double> unit(-1, 1);
  std::uniform_int_distribution<int> scale(-9, 14), kind(0, 9), length(0, 5);
  const double specials[] = {0.0, -0.0, NaN, Inf, -Inf, 0.5, 1e20, -1e-300, 123456.5};
  const auto draw = [&] {
    const int k = kind(rng);
    if (k == 0) return specials[std::uniform_int_distribution<int>(0, 8)(rng)];
    if (k < 3) return std::round(unit(rng) * 1e6);
    return unit(rng) * std::pow(10.0, scale(rng));
  };
  for (const char* fmt : {"%g ", " %f ", "%f ", "%g  %g", "%d\t", "%s,"}) {
    const core::CompiledFormat compiled(fmt);
    for (int n = 0; n < 5000; ++n) {
      const double v = draw();
      std::string out = "prefix";
      compiled.append(out, v);
      ASSERT_EQ(out, "prefix" + format(fmt, v)) << fmt << " of " << v;
    }
    for (int n = 0; n < 500; ++n) {
      std::vector<double> values(static_cast<std::size_t>(length(rng)));
      for (double& v : values) v = draw();
      std::string out;
      compiled.append(out, values);
      ASSERT_EQ(out, format(fmt, row(values))) << fmt << " of " << values.size() << " values";
    }
  }
}
