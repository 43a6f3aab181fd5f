// Tables as CSV: what R, Python and a spreadsheet read back without
// options. Quoting, numbers and the ID column, case by case.

#include "shell/table.h"

#include "core/error.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace {

struct CsvCase {
  const char* what;
  shell::Table table;
  std::string csv;
};

const double missing = std::nan("");

} // namespace

TEST(formatcsv, QuotesWhatNeedsItAndKeepsEveryDigit) {
  const CsvCase cases[] = {
      {"plain header and numbers, CR LF after every record",
       {"t", {"a", "b"}, {{1.0, 2.5}, {-0.125, 1e6}}},
       "a,b\r\n1,2.5\r\n-0.125,1e+06\r\n"},
      {"comma, quote, LF and CR in a field; quotes doubled",
       {"t", {"name, full", "note"}, {{std::string("say \"hi\""), std::string("two\nlines")}, {std::string("a\rb"), std::string("")}}},
       "\"name, full\",note\r\n\"say \"\"hi\"\"\",\"two\nlines\"\r\n\"a\rb\",\r\n"},
      {"IDs quoted always, text or number; other text only when needed",
       {"t", {"specimen", "ID", "label"}, {{1.0, std::string("007"), std::string("x")}, {2.0, 12.0, std::string("")}}, 1},
       "specimen,ID,label\r\n1,\"007\",x\r\n2,\"12\",\r\n"},
      {"the shortest digits that read back as the same double",
       {"t", {"v"}, {{0.1}, {1.0 / 3}, {2.0 / 3 * 1e-300}, {std::numeric_limits<double>::denorm_min()}}},
       "v\r\n0.1\r\n0.3333333333333333\r\n6.666666666666667e-301\r\n5e-324\r\n"},
      {"missing values empty, infinities as R spells them",
       {"t", {"v", "w"}, {{missing, std::numeric_limits<double>::infinity()}, {-std::numeric_limits<double>::infinity(), 0.0}}},
       "v,w\r\n,Inf\r\n-Inf,0\r\n"},
      {"a header alone for no rows", {"t", {"R", "theta'"}, {}}, "R,theta'\r\n"},
  };
  for (const CsvCase& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(shell::formatcsv(c.table), c.csv);
  }
  // Every digit: what is written parses back to the very double.
  const double third = 1.0 / 3;
  EXPECT_EQ(std::stod(shell::formatcsv({"t", {"v"}, {{third}}}).substr(3)), third);
}

TEST(formatcsv, RefusesARowThatDoesNotFitTheHeader) {
  shell::Table t{"Wellman fits", {"method", "R"}, {}};
  t.add({std::string("analytic"), 1.8});
  EXPECT_THROW(t.add({std::string("numerical")}), core::Error);
  EXPECT_EQ(t.rows.size(), 1u);
}
