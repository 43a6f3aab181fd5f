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

TEST(missinglandmarks, TpsCodesAreReadAsNaNByTheFilesKindOfCoordinates) {
  // Image coordinates: every real point is at least 0, so any negative
  // pair is the digitiser's mark, whatever its value.
  const auto image = tempfile("image.tps", "LM=3\n10 20\n-1.00000 -1.00000\n30 0\nID=a\n"
                                           "LM=3\n11 21\n31 1\n-9 -9\nID=b\n");
  const core::Specimens t = io::readtpsfile(image);
  EXPECT_EQ(lost(t.matrix(), 3), (std::vector<std::pair<Eigen::Index, Eigen::Index>>{{0, 1}, {1, 2}}));
  EXPECT_TRUE(std::isnan(t.matrix()(0, 2)) && std::isnan(t.matrix()(0, 3)));
  EXPECT_EQ(t.matrix()(0, 0), 10);
  // Sizes from the landmarks present: no number computed from NaN.
  EXPECT_DOUBLE_EQ(t.sizes()(0), 20); // (10, 20) and (30, 0) about (20, 10)

  // Centred coordinates: negative values are real points; only -1 -1 is
  // the mark, and a point with one negative coordinate never is.
  const auto centred = tempfile("centred.tps", "LM=3\n-0.5 -0.2\n-1 -1\n0.4 -0.3\nLM=3\n-1 0.5\n0.2 0.1\n-0.3 -1\n");
  const core::Specimens c = io::readtpsfile(centred);
  EXPECT_EQ(lost(c.matrix(), 3), (std::vector<std::pair<Eigen::Index, Eigen::Index>>{{0, 1}}));
  EXPECT_EQ(c.matrix()(0, 0), -0.5);
  EXPECT_EQ(c.matrix()(1, 5), -1);

  // Rows: NaN in any case and NA; sizes of rows read as they stand.
  const Eigen::MatrixXd rows = io::dload(tempfile("na.txt", "1 2 NA NA 5 6 1\nnan NaN 3 4 5 6 1\n"));
  EXPECT_EQ(lost(rows, 3), (std::vector<std::pair<Eigen::Index, Eigen::Index>>{{0, 1}, {1, 0}}));
  EXPECT_EQ(testsupport::error_of([] { io::dload(tempfile("na2.txt", "1 N/A 3\n")); }).find("'N/A' is not a number") !=
                std::string::npos,
            true);
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

  // The sidecar joins the rows to the identities they came with.
  io::writeids(rows, a.ids());
  EXPECT_EQ(io::readfile(io::idspath(rows)),
            "% specimen identities, one line per row of the data file: its TPS key lines, tab-separated\nID=x\nID=y\n");
  EXPECT_EQ(io::readlandmarks(rows).ids().keys, a.ids().keys);
  core::Identities three;
  three.keys = {{"ID=1", "SCALE=2"}, {}, {"ID=3"}};
  EXPECT_EQ(io::parseids(io::formatids(three), "s").keys, three.keys);
  // A sidecar of another length belongs to other data: not used.
  io::writeids(rows, three);
  EXPECT_TRUE(io::readlandmarks(rows).ids().empty());
  EXPECT_EQ(testsupport::error_of([] { io::parseids("ID=1\nnot a key\n", "f.ids"); }),
            "File 'f.ids', line 2: 'not a key' is not a key line such as ID=name");
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
