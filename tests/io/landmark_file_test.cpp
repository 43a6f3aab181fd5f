// Landmark files read by their content: missing landmarks and specimen
// identities as the readers and writers see them.

#include "io/landmark_file.h"

#include "core/error.h"
#include "core/identities.h"
#include "io/row_file.h"
#include "io/sidecars.h"
#include "io/text_file.h"
#include "io/tps_file.h"
#include "tests/support/test_support.h"

#include <cmath>
#include <filesystem>

using testsupport::tempfile;

namespace {

std::vector<std::pair<Eigen::Index, Eigen::Index>> lost(const Eigen::MatrixXd& x, Eigen::Index k) {
  std::vector<std::pair<Eigen::Index, Eigen::Index>> out;
  for (const auto& s : core::findmissing(x, k).specimens)
    for (Eigen::Index j : s.landmarks) out.emplace_back(s.row, j);
  return out;
}

} // namespace

TEST(missinglandmarks, OneRuleWhateverTheSignsOfTheOtherPoints) {
  // -1 -1 is the digitisers' mark, NaN and NA the row format's; every other
  // number is a coordinate, so a stray point with a negative coordinate,
  // centred data in quadrants I and III, or a file with every coordinate
  // negated keeps every point it has. The negative rule, asked for, takes
  // any point with a negative coordinate.
  using Lost = std::vector<std::pair<Eigen::Index, Eigen::Index>>;
  struct Case {
    const char* name;
    std::string text;
    Lost digitiser, negative;
  };
  const Case cases[] = {
      {"image.tps", "LM=3\n10 20\n-1.00000 -1.00000\n30 0\nID=a\nLM=3\n11 21\n31 1\n-9 -9\nID=b\n", {{0, 1}},
       {{0, 1}, {1, 2}}},
      {"stray.tps", "LM=3\n-0.5 300\n-2 -2\n-999 -999\nLM=3\n1 2\n-1 0\n0 -1\n", {},
       {{0, 0}, {0, 1}, {0, 2}, {1, 1}, {1, 2}}},
      {"quadrants.tps", "LM=3\n-0.5 -0.2\n0.4 0.3\n-0.1 -0.6\nLM=3\n0.2 0.1\n-0.3 -1\n0.5 0.5\n", {},
       {{0, 0}, {0, 2}, {1, 1}}},
      {"negated.tps", "LM=2\n-10 -20\n-30 -5\nLM=2\n-11 -21\n-31 -6\n", {}, {{0, 0}, {0, 1}, {1, 0}, {1, 1}}},
      {"na.txt", "1 2 NA NA 5 6 1\nnan NaN 3 4 -5 6 1\n-1 -1 3 4 5 6 -1\n", {{0, 1}, {1, 0}, {2, 0}},
       {{0, 1}, {1, 0}, {1, 2}, {2, 0}}},
  };
  for (const Case& c : cases) {
    const auto path = tempfile(c.name, c.text);
    const core::Specimens plain = io::readlandmarks(path);
    const core::Specimens negative = io::readlandmarks(path, io::ReadOptions{true});
    EXPECT_EQ(lost(plain.matrix(), plain.k()), c.digitiser) << c.name;
    EXPECT_EQ(lost(negative.matrix(), negative.k()), c.negative) << c.name;
    EXPECT_EQ(plain.missingcode(), core::MissingCode::digitiser);
    EXPECT_EQ(negative.missingcode(), core::MissingCode::negative);
  }
  // Sizes from the landmarks present: no number computed from NaN.
  const core::Specimens t = io::readlandmarks(tempfile("image.tps", cases[0].text));
  EXPECT_DOUBLE_EQ(t.sizes()(0), 20); // (10, 20) and (30, 0) about (20, 10)
  // The load report says which rule it read by.
  EXPECT_EQ(core::missingreport(t), "1 landmark is missing in 1 specimen (-1 -1, NaN and NA are missing): specimen 1 "
                                    "(a) lacks 2.");
  EXPECT_EQ(core::missingreport(io::readlandmarks(tempfile("n.tps", cases[3].text), io::ReadOptions{true})),
            "4 landmarks are missing in 2 specimens (points with a negative coordinate, NaN and NA are missing): "
            "specimen 1 lacks 1 and 2; specimen 2 lacks 1 and 2.");
}

TEST(missinglandmarks, TheRealTrilobiteFileHasThirtyNineInThirteenSpecimens) {
  const core::Specimens t = io::readtpsfile(testsupport::example("trilomorph_cephala/cephala_tpsdig_all.tps"));
  const core::MissingLandmarks& m = t.missinglandmarks();
  EXPECT_EQ(m.count, 39u);
  EXPECT_EQ(m.specimens.size(), 13u);
  // Every size is a number: from the landmarks present.
  EXPECT_TRUE(t.sizes().allFinite());
  // The IDs came along with their specimens.
  ASSERT_EQ(t.ids().size(), 74u);
  for (std::size_t i = 0; i < 74; ++i) EXPECT_FALSE(t.ids().id(i).empty()) << i;
  const std::string report = core::missingreport(m, t.ids());
  EXPECT_EQ(report.rfind("39 landmarks are missing in 13 specimens: specimen ", 0), 0u) << report;
  const std::size_t first = static_cast<std::size_t>(m.specimens[0].row);
  EXPECT_NE(report.find("specimen " + std::to_string(first + 1) + " (" + t.ids().id(first) + ") lacks "),
            std::string::npos)
      << report;
}

TEST(specimenidentity, KeyLinesTravelWithTheirSpecimensAndBackIntoTps) {
  const auto path = tempfile("ids.tps", "LM=2\n1 2\n3 4\nCURVES=1\nPOINTS=2\n5 5\n6 6\nIMAGE=a.jpg\nID=A1\nSCALE=0.01\n"
                                        "COMMENT=worn\nlm=2\n7 8\n-1 -1\nID=B 2\nSCALE=bad\n");
  const core::Specimens t = io::readtpsfile(path);
  const core::Identities& ids = t.ids();
  ASSERT_EQ(ids.size(), 2u);
  EXPECT_EQ(ids.keys[0], (std::vector<std::string>{"IMAGE=a.jpg", "ID=A1", "SCALE=0.01", "COMMENT=worn"}));
  EXPECT_EQ(ids.value(0, "image"), "a.jpg");
  EXPECT_EQ(ids.scale(0), 0.01);
  EXPECT_EQ(ids.scale(1), std::nullopt); // not a number
  EXPECT_EQ(ids.label(1), "2 (B 2)");
  EXPECT_EQ(ids.subset({1}).keys, (std::vector<std::vector<std::string>>{{"ID=B 2", "SCALE=bad"}}));

  // Written back: the key lines after each block, the missing landmark as
  // the digitisers' code, and all of it reads back the same.
  const std::string text = io::formattps(t);
  EXPECT_EQ(text, "LM=2\n1  2 \n3  4 \nIMAGE=a.jpg\nID=A1\nSCALE=0.01\nCOMMENT=worn\nLM=2\n7  8 \n-1  -1 \nID=B 2\nSCALE=bad\n");
  const core::Specimens back = io::readtpsfile(tempfile("back.tps", text));
  EXPECT_EQ(back.ids().keys, ids.keys);
  EXPECT_EQ(lost(back.matrix(), 2), lost(t.matrix(), 2));
  // Without identities, nothing but the landmarks, as always.
  EXPECT_EQ(io::formattps(core::Specimens(t.matrix().topRows(1))), "LM=2\n1  2 \n3  4 \n");

  // Rows write a missing value as the row format's own code.
  Eigen::MatrixXd r(1, 3);
  r << 1.5, std::nan(""), 2;
  EXPECT_EQ(io::formatrows(r, "%g ", "\n"), "1.5 NaN 2 \n");
  EXPECT_EQ(io::formatrows(r, " %f", "\n"), " 1.500000 NaN 2.000000\n");
}

TEST(readlandmarks, TellsTheFormatByContentAndJoinsRowsToTheirSidecar) {
  // A TPS file whatever its name, a row file whatever its name.
  const auto tps = tempfile("named.txt", "\xEF\xBB\xBF\n  lm=2\n1 1\n4 5\nID=x\nLM=2\n0 0\n-1 -1\nID=y\n");
  const auto rows = tempfile("named.tps", "1 1 4 5 5\n0 0 NaN NaN 1\n");
  EXPECT_TRUE(io::istpsfile(tps));
  EXPECT_FALSE(io::istpsfile(rows));
  const core::Specimens a = io::readlandmarks(tps);
  EXPECT_EQ(a.format(), core::Specimens::Format::tps);
  ASSERT_EQ(a.matrix().cols(), 5);
  EXPECT_DOUBLE_EQ(a.sizes()(0), 5 / std::sqrt(2.0)); // centroid size of (1, 1) and (4, 5)
  EXPECT_EQ(a.ids().id(1), "y");
  const core::Specimens b = io::readlandmarks(rows);
  EXPECT_EQ(b.format(), core::Specimens::Format::rows);
  EXPECT_TRUE(b.ids().empty());
  EXPECT_EQ(lost(b.matrix(), 2), lost(a.matrix(), 2));

  // The sidecar joins the rows to the identities they came with, and says
  // whose it is.
  io::writeids(rows, a.ids());
  EXPECT_EQ(io::readfile(io::idspath(rows)),
            "% sidecar of '" + std::filesystem::path(rows).filename().string() + "': 2 rows, checksum " +
                io::checksum(io::readfile(rows)) +
                "\n% specimen identities, one line per row of the data file: its TPS key lines, tab-separated (a tab "
                "within one written \\t, a backslash \\\\)\nID=x\nID=y\n");
  EXPECT_EQ(io::readlandmarks(rows).ids().keys, a.ids().keys);
  EXPECT_TRUE(io::readlandmarks(rows).notes().empty());
}

// Every damaged file the readers meet, and every sidecar that is not its
// file's: refused naming the file and the line, or read with a note saying
// what was left out.
TEST(readlandmarks, RefusesDamageAndSaysWhatItLeavesOut) {
  struct Case {
    std::string name, file, text;
    std::string ids;         // FILE.ids beside it, "" for none
    std::string error, note; // "" for none
  };
  const std::string rows = "0 0 1 0 0 1 1\n0 0 2 0 0 2 2\n";
  const std::string ids = "% specimen identities\nID=a\nID=b\n";
  const auto header = [](std::size_t n, const std::string& sum) {
    return "% sidecar of 'r.txt': " + std::to_string(n) + " rows, checksum " + sum + "\n";
  };
  const std::vector<Case> cases = {
      {"a block whose LM= line is lost", "lost.tps", "LM=2\n0 0\n1 1\nID=1\n2 2\n3 3\nID=2\nLM=2\n4 4\n5 5\n", "",
       "lost.tps', line 5: '2 2' stands outside every block, after block 1 (line 1): is the \"LM=\" line of a block "
       "lost",
       ""},
      {"numbers after a block's key lines", "after.tps", "LM=2\n0 0\n1 1\nID=1\n7\n", "",
       "after.tps', line 5: '7' stands outside every block, after block 1 (line 1)", ""},
      {"numbers before the first LM=", "junk.tps", "12 13\nLM=2\n0 0\n1 1\n", "",
       "junk.tps', line 1: '12 13' comes before the first \"LM=\" key (line 2)", ""},
      {"a header line before the first LM=", "junk.txt", "\nslab A, May\n  LM=2\n0 0\n1 1\n", "",
       "junk.txt', line 2: 'slab A, May' comes before the first \"LM=\" key (line 3)", ""},
      {"two SCALE= lines in one block", "scale.tps", "LM=2\n0 0\n1 1\nLM=2\n0 0\n1 1\nSCALE=0.5\nscale = 0.25\n", "",
       "scale.tps', block 2 (line 4): two SCALE= lines, 'SCALE=0.5' on line 7 and 'scale = 0.25' on line 8", ""},
      {"Inf in a row file", "inf.txt", "0 0 1 0 0 1 1\n0 0 1 -Inf 0 1 1\n", "",
       "inf.txt', line 2, column 7: '-Inf' is not a finite number", ""},
      {"two SCALE= key lines for one row of a sidecar", "r.txt", rows, "ID=a\tSCALE=1\tSCALE=2\nID=b\n",
       "r.txt.ids', line 1: two SCALE= key lines", ""},
      {"the points of a curve are no stray numbers", "curve.tps",
       "LM=2\n0 0\n1 1\nCURVES=1\nPOINTS=2\n5 5\n6 6\nID=1\n", "", "", ""},
      {"a sidecar saved with other rows", "r.txt", rows, header(3, "0123456789abcdef") + ids, "",
       "were not used: they were saved with 3 rows, and '"},
      {"a sidecar of rows changed since", "r.txt", rows, header(2, "0123456789abcdef") + ids, "",
       "has changed since they were saved with it (checksum "},
      {"a sidecar without its first line, of another length", "r.txt", rows, "ID=a\n", "",
       "were not used: it has 1 lines of identities for the 2 rows of '"},
      {"a sidecar without its first line, one line per row", "r.txt", rows, ids, "",
       "were used: it has one line per row, but no first line to say whose it is."},
  };
  for (const Case& c : cases) {
    const std::string path = tempfile(c.file, c.text);
    if (!c.ids.empty()) io::writefile(io::idspath(path), c.ids, io::WriteMode::Replace);
    const std::string error = testsupport::error_of([&] {
      const core::Specimens s = io::readlandmarks(path);
      const std::string said = s.notes().empty() ? "" : s.notes().front();
      if (said.find(c.note) == std::string::npos || said.empty() != c.note.empty())
        ADD_FAILURE() << c.name << ": the note is '" << said << "'";
      // Identities come only from the file itself or a sidecar that was used.
      EXPECT_EQ(s.ids().empty(), c.text.find("ID=") == std::string::npos && c.note.find("were used") == std::string::npos)
          << c.name;
    });
    if (c.error.empty()) EXPECT_EQ(error, "no error") << c.name;
    else EXPECT_NE(error.find(c.error), std::string::npos) << c.name << ": " << error;
  }
}

TEST(writespecimens, ADataSetReadsBackWithItsIdentitiesAndMissingLandmarks) {
  // From either format the rows and their sidecar give the specimens back,
  // to the six significant digits of the row format.
  const auto tps = tempfile("round.tps", "LM=3\n10.5 20\n-1 -1\n30 0.25\nID=a\nSCALE=2\nLM=3\n11 21\n31 1\n12 8\nID=b\n");
  const auto rows = tempfile("round.txt", "1 2 NaN NaN 5 6 7\n1.5 2.5 3 4 5 6 7\n");
  for (const std::string& source : {tps, rows}) {
    const core::Specimens in = io::readlandmarks(source);
    const std::string path = testsupport::temppath("copy.txt");
    io::writespecimens(path, in);
    const core::Specimens back = io::readlandmarks(path);
    EXPECT_EQ(back.format(), core::Specimens::Format::rows);
    EXPECT_EQ(back.ids().keys, in.ids().keys) << source;
    EXPECT_EQ(lost(back.matrix(), 3), lost(in.matrix(), 3)) << source;
    EXPECT_TRUE(testsupport::near(back.matrix().unaryExpr([](double v) { return std::isnan(v) ? 0.0 : v; }),
                                  in.matrix().unaryExpr([](double v) { return std::isnan(v) ? 0.0 : v; }), 1e-4))
        << source;
    std::filesystem::remove(io::idspath(path));
  }
}

TEST(writespecimens, KeyLinesOfAnyTextRoundTripAndNoOldSidecarOutlivesASave) {
  core::Identities keys;
  keys.keys = {{"ID=a\tb", "IMAGE=C:\\slab\\t1.jpg"}, {"ID = 5", "COMMENT= two  blanks "}};
  Eigen::MatrixXd y(2, 5);
  y << 0, 0, 1, 1, 1, 2, 2, 3, 3, 1;
  const std::string path = testsupport::temppath("keys.txt");
  io::writespecimens(path, core::Specimens(y, keys));
  const core::Specimens back = io::readlandmarks(path);
  EXPECT_EQ(back.ids().keys, keys.keys);
  EXPECT_EQ(back.ids().id(1), "5");
  EXPECT_TRUE(back.notes().empty());
  // A later save without identities or estimates leaves none of the old
  // sidecars behind.
  io::writeestimated(path, {{0, 1, core::Estimate::tps}});
  io::writespecimens(path, core::Specimens(y));
  EXPECT_FALSE(std::filesystem::exists(io::idspath(path)));
  EXPECT_FALSE(std::filesystem::exists(io::estimatedpath(path)));
  // An older sidecar (no first line) is read as it was written: a
  // backslash in it is a backslash.
  EXPECT_EQ(io::parseids("IMAGE=C:\\a\\t.jpg\n", "old.ids").keys[0][0], "IMAGE=C:\\a\\t.jpg");
}

TEST(writers, ScaledDataIsWrittenInItsUnitAndNeverScaledTwice) {
  const auto path = tempfile("scaled.tps", "LM=2\n10 20\n30 40\nID=a\nSCALE=0.5\nLM=2\n1 1\n3 5\nSCALE=1\n");
  const core::Specimens once = io::readlandmarks(path).inscale("no scale");
  const std::string text = io::formattps(once);
  EXPECT_EQ(text, "LM=2\n5  10 \n15  20 \nID=a\nSCALE=1\nCOMMENT=coordinates multiplied by SCALE=0.5 when read\n"
                  "LM=2\n1  1 \n3  5 \nSCALE=1\n");
  const core::Specimens again = io::readlandmarks(tempfile("again.tps", text)).inscale("no scale");
  EXPECT_TRUE(testsupport::near(again.matrix(), once.matrix(), 0));
  const auto noscale = tempfile("noscale.tps", "LM=2\n0 0\n1 1\nID=x\n");
  EXPECT_EQ(testsupport::error_of([&] { io::readlandmarks(noscale).inscale("untick it"); }),
            "Cannot apply the scale: specimen 1 (x) of '" + std::filesystem::path(noscale).filename().string() +
                "' has no SCALE= line with a positive number; untick it");
  // Round-trip precision keeps every value as read; %g keeps six digits.
  Eigen::MatrixXd y(1, 5);
  y << 11231.43, 0.1, 1e-7, 123456789.125, std::nan("");
  EXPECT_EQ(io::formatrows(y, io::Precision::roundtrip), "11231.43 0.1 1e-07 123456789.125 NaN  \n");
  EXPECT_EQ(io::formatrows(y, io::Precision::g6), "11231.4 0.1 1e-07 1.23457e+08 NaN  \n");
  EXPECT_EQ(io::formattps(core::Specimens(y), io::Precision::roundtrip), "LM=2\n11231.43  0.1 \n1e-07  123456789.125 \n");
}
