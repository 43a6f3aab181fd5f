// Symrestore on incomplete fossils: the trilobite cephala load with their
// missing landmarks reported and left out of the plot, the deformed sample
// with landmarks deleted is undeformed as the complete one and keeps them
// missing, a TPS file and its row-format copy give the same result, and
// the actions that cannot take missing landmarks say so.

#include "apps/symrestore/symsw.h"

#include "io/landmark_file.h"
#include "io/row_file.h"
#include "io/text_file.h"
#include "tests/support/scripted_program.h"
#include "tests/support/test_support.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <random>
#include <vector>

namespace {

shell::Program symrestoreprogram() { return testsupport::program("symrestore", "Symrestore", "symsw", symrestore::define); }

const std::string sample = testsupport::example("deformed_sample/");

struct Symrestore : testsupport::ScriptedProgram {
  Symrestore() : ScriptedProgram(symrestoreprogram()) { host().setquiet(true); }
  Eigen::MatrixXd rows(const std::string& name) const { return io::dload(file(name).string()); }
};

// The deformed sample with a tenth of its specimens losing one to three
// landmarks each, written in the row format (NaN where deleted).
std::vector<std::pair<Eigen::Index, Eigen::Index>> deletesome(const Symrestore& sym, const std::string& name) {
  Eigen::MatrixXd x = io::dload(sample + "deformed.txt");
  std::mt19937 rng(17);
  std::vector<std::pair<Eigen::Index, Eigen::Index>> deleted;
  for (const Eigen::Index i : {3, 9, 20, 33, 47, 58}) {
    const int count = 1 + static_cast<int>(rng() % 3);
    for (int c = 0; c < count; ++c) {
      const auto j = static_cast<Eigen::Index>(rng() % 14);
      if (std::isnan(x(i, 2 * j))) continue;
      x.block(i, 2 * j, 1, 2).setConstant(std::numeric_limits<double>::quiet_NaN());
      deleted.emplace_back(i, j);
    }
  }
  io::writerows(sym.file(name).string(), x, "%.10g ", "\n", io::WriteMode::Replace);
  return deleted;
}

} // namespace

TEST(symsw, LoadsTheTrilobitesWithTheirMissingLandmarksReportedAndNotPlotted) {
  Symrestore sym;
  const std::string trilobites = testsupport::example("trilomorph_cephala/cephala_tpsdig_all.tps");
  const auto [status, out] = sym.run("LoadData " + trilobites + "\nshow FileBox\n");
  ASSERT_EQ(status, 0) << sym.errors();
  EXPECT_EQ(out.rfind("cephala_tpsdig_all.tps: 39 landmarks are missing in 13 specimens (-1 -1, NaN and NA are missing): specimen 4 (Alberti_1983-7.87) "
                      "lacks 8, 9 and 14; ",
                      0),
            0u)
      << out;
  EXPECT_NE(out.find("\ncephala_tpsdig_all.tps\n 16 Landmarks\n 74 Specimens\n 39 missing in 13\n"), std::string::npos) << out;
  // Every landmark placed is drawn, and not one that was not.
  EXPECT_EQ(sym.host().axes().pointcount(), 74u * 16u - 39u);
}

TEST(symsw, UndeformsTheSampleWithDeletedLandmarksAsTheCompleteOne) {
  Symrestore sym;
  const auto deleted = deletesome(sym, "holed.txt");
  ASSERT_GE(deleted.size(), 6u);
  const auto [status, out] =
      sym.run("LoadData " + sample + "deformed.txt\nLoadProto " + sample + "pairs.txt\nUnDeform\nSave full.txt\n"
              "LoadData holed.txt\nUnDeform\nSave holed-out.txt\nset StrainBox 1.341641\nRetroStrain\nSave given.txt\n");
  ASSERT_EQ(status, 0) << sym.errors();
  EXPECT_NE(out.find("holed.txt: " + std::to_string(deleted.size()) + " landmarks are missing in 6 specimens (-1 -1, NaN and NA are missing): specimen 4 "),
            std::string::npos)
      << out;
  const Eigen::MatrixXd full = sym.rows("full.txt"), holed = sym.rows("holed-out.txt"), given = sym.rows("given.txt");
  // The deleted landmarks stay missing, written NaN; the rest are numbers
  // close to the complete sample's: the strain removed is the same.
  for (const Eigen::MatrixXd* y : {&holed, &given}) {
    for (const auto& [i, j] : deleted) EXPECT_TRUE(std::isnan((*y)(i, 2 * j)) && std::isnan((*y)(i, 2 * j + 1)));
    EXPECT_EQ(y->array().isNaN().count(), static_cast<Eigen::Index>(2 * deleted.size()));
  }
  double worst = 0;
  for (Eigen::Index i = 0; i < full.rows(); ++i)
    for (Eigen::Index j = 0; j < 28; ++j)
      if (!std::isnan(holed(i, j))) worst = std::max(worst, std::abs(holed(i, j) - full(i, j)));
  // Coordinates of unit centroid size: a thousandth is well under a
  // tenth of a percent of the specimen's size.
  EXPECT_LT(worst, 2e-3);
  // A row file has no identities, so no sidecar.
  EXPECT_FALSE(std::filesystem::exists(sym.file("holed-out.txt.ids")));
}

TEST(symsw, ReadsATpsFileAsItsRowFormatCopy) {
  Symrestore sym;
  const auto [status, out] = sym.run("LoadData " + sample + "deformed.tps\nLoadProto " + sample +
                                     "pairs.txt\nUnDeform\nSave tps.txt\nset StrainBox 1.341641\nRetroStrain\n"
                                     "Save tps-given.txt\nLoadData " + sample + "deformed.txt\nUnDeform\nSave rows.txt\n"
                                     "RetroStrain\nSave rows-given.txt\n");
  ASSERT_EQ(status, 0) << sym.errors();
  // The same coordinates to the last digit written; the size slot is the
  // TPS file's centroid size against the row file's rounded copy of it,
  // written to six digits (hundredths at these sizes).
  for (const auto& [a, b] : {std::pair{"tps.txt", "rows.txt"}, std::pair{"tps-given.txt", "rows-given.txt"}}) {
    const Eigen::MatrixXd t = sym.rows(a), r = sym.rows(b);
    ASSERT_EQ(t.rows(), 60);
    EXPECT_TRUE(t.leftCols(28) == r.leftCols(28)) << a;
    EXPECT_TRUE(((t.col(28) - r.col(28)).array().abs() < 0.02).all()) << a;
  }
  // The TPS file's specimens are named beside the rows saved from it.
  const core::Identities ids = io::readlandmarks(sym.file("tps.txt").string()).ids();
  ASSERT_EQ(ids.size(), 60u);
  EXPECT_EQ(ids.value(59, "IMAGE"), "slab_A_060.jpg");
  EXPECT_EQ(ids.value(0, "SCALE"), "0.0125");
  EXPECT_FALSE(std::filesystem::exists(sym.file("rows.txt.ids")));
}

TEST(symsw, AppliesScaleAndRefusesTheMethodsThatNeedWholeSpecimens) {
  Symrestore sym;
  auto [status, out] = sym.run("set ApplyScale 1\nLoadData " + sample + "deformed.tps\nshow FileBox\nLoadProto " +
                               sample + "pairs.txt\nUnDeform\nSave scaled.txt\n");
  ASSERT_EQ(status, 0) << sym.errors();
  EXPECT_EQ(out.substr(0, 57), "deformed.tps\n 14 Landmarks\n 60 Specimens\nin SCALE= units\n");
  // A strain has no unit: scaled, the sample's strain is found alike.
  EXPECT_EQ(out.substr(57, 45), "UnDeform: strain R = 1.80, theta' = 35.0 deg,");
  // Scaled by 0.0125, the centroid sizes (the size slot carried through)
  // are the digitised ones times that.
  const Eigen::MatrixXd unscaled = io::readlandmarks(sample + "deformed.tps").matrix();
  EXPECT_NEAR(sym.rows("scaled.txt")(0, 28), 0.0125 * unscaled(0, 28), 1e-3);

  deletesome(sym, "holed.txt");
  std::tie(status, out) = sym.run("set ApplyScale 0\nLoadData holed.txt\nUndeformUni\n");
  EXPECT_EQ(status, 1);
  EXPECT_EQ(sym.errors(), "UndeformUni cannot remove uniform components from incomplete specimens: 6 of the 60 specimens "
                          "of 'holed.txt' lack landmarks (" + std::to_string(core::findmissing(sym.rows("holed.txt"), 14).count) +
                          " in all); estimate them first (Estimate missing) or load complete specimens\n(test.script, "
                          "line 3: UndeformUni)\n");
  std::tie(status, out) = sym.run("set PCABox 1\nUndeformPCA\n");
  EXPECT_EQ(status, 1);
  EXPECT_EQ(sym.errors().rfind("UndeformPCA cannot remove principal axes of shape from incomplete specimens: 6 of the 60 "
                               "specimens of 'holed.txt' lack landmarks",
                               0),
            0u)
      << sym.errors();
}

TEST(symsw, EstimatesMissingLandmarksByTpsOrByMirrorAfterUndeforming) {
  Symrestore sym;
  const auto deleted = deletesome(sym, "holed.txt");
  auto [status, out] = sym.run("LoadData " + sample + "deformed.txt\nLoadProto " + sample +
                               "pairs.txt\nUnDeform\nSave full.txt\nLoadData holed.txt\nset EstimateBox mirror\n"
                               "EstimateMissing\n");
  ASSERT_EQ(status, 0) << sym.errors();
  // Offered before any undeformation, mirror says where it belongs, and
  // still estimates the loaded data.
  EXPECT_NE(out.find("note: mirror reflects a landmark's partner across the specimen's own axis of symmetry, which a "
                     "deformed fossil has lost: it is meaningful only after retrodeformation"),
            std::string::npos)
      << out;
  const Eigen::MatrixXd full = sym.rows("full.txt");
  for (const std::string method : {"mirror", "tps"}) {
    std::tie(status, out) = sym.run("LoadData holed.txt\nUnDeform\nset EstimateBox " + method +
                                    "\nEstimateMissing\nSave " + method + ".txt\n");
    ASSERT_EQ(status, 0) << sym.errors();
    EXPECT_EQ(out.find("note: mirror"), std::string::npos) << method;
    const Eigen::MatrixXd y = sym.rows(method + ".txt");
    // Every deleted landmark placed near where the complete specimen has
    // it, reported and listed beside the saved file; but a midline
    // landmark (1 ... 4) has no partner to mirror, and mirror leaves it
    // missing and says so.
    double sum = 0, worst = 0;
    Eigen::Index left = 0;
    for (const auto& [i, j] : deleted) {
      if (method == "mirror" && j < 4) {
        EXPECT_NE(out.find("landmark " + std::to_string(j + 1) + " not estimated (a midline landmark has no partner to mirror)"),
                  std::string::npos)
            << out;
        EXPECT_TRUE(std::isnan(y(i, 2 * j)));
        ++left;
        continue;
      }
      EXPECT_NE(out.find("landmark " + std::to_string(j + 1) + " estimated by " + method), std::string::npos) << out;
      const double d = std::hypot(y(i, 2 * j) - full(i, 2 * j), y(i, 2 * j + 1) - full(i, 2 * j + 1));
      sum += d;
      worst = std::max(worst, d);
    }
    EXPECT_EQ(y.array().isNaN().count(), 2 * left) << method;
    EXPECT_GT(static_cast<Eigen::Index>(deleted.size()) - left, 3) << method;
    std::printf("%s: deleted landmarks placed %.4f from the complete specimen's on average, %.4f at worst\n",
                method.c_str(), sum / static_cast<double>(static_cast<Eigen::Index>(deleted.size()) - left), worst);
    EXPECT_LT(sum / static_cast<double>(static_cast<Eigen::Index>(deleted.size()) - left), 0.05) << method;
    EXPECT_LT(worst, 0.1) << method;
    const std::string listed = io::readfile(sym.file(method + ".txt.estimated").string());
    EXPECT_NE(listed.find(std::to_string(deleted[0].first + 1) + " " + std::to_string(deleted[0].second + 1) + " " + method),
              std::string::npos)
        << listed;
  }
  // A new undeformation drops the estimates made in the old one.
  std::tie(status, out) = sym.run("UnDeform\nSave again.txt\n");
  ASSERT_EQ(status, 0) << sym.errors();
  EXPECT_TRUE(sym.rows("again.txt").hasNaN());
  EXPECT_FALSE(std::filesystem::exists(sym.file("again.txt.estimated")));
  std::tie(status, out) = sym.run("set EstimateBox spline\nEstimateMissing\n");
  EXPECT_EQ(status, 1);
  EXPECT_EQ(sym.errors(), "The box EstimateBox (estimate method) holds 'spline'; type auto, tps, regression, "
                          "neighbours or mirror\n(test.script, line 2: EstimateMissing)\n");
}
