// Restrain on incomplete fossils: the strain fitted to the angles of the
// damaged sample is the complete sample's, the trilobite cephala load with
// their missing landmarks left out of the plot, and a retrodeformed TPS
// file keeps every specimen's key lines and missing codes.

#include "apps/anglepick/angles.h"
#include "apps/restrain/restrainsw.h"
#include "apps/restrain/retro.h"

#include "core/text_format.h"
#include "io/angle_file.h"
#include "io/landmark_file.h"
#include "io/row_file.h"
#include "io/text_file.h"
#include "io/tps_file.h"
#include "tests/apps/anglepick/damaged.h"
#include "tests/support/scripted_program.h"
#include "tests/support/test_support.h"

#include <Eigen/LU>
#include <algorithm>
#include <cmath>
#include <fstream>
#include <regex>
#include <sstream>

namespace {

shell::Program restrainprogram() { return testsupport::program("restrain", "Restrain", "restrainsw", restrain::define); }

const std::string trilobites = testsupport::example("trilomorph_cephala/cephala_tpsdig_all.tps");

// The pooled angles of every specimen that can be measured, as Anglepick
// saves them (t, p degrees per pair present).
Eigen::MatrixXd pooled(const Eigen::MatrixXd& y, const Eigen::MatrixXd& proto) {
  std::vector<std::pair<double, double>> tp;
  for (Eigen::Index i = 0; i < y.rows(); ++i) {
    const anglepick::PresentAngles a = anglepick::get_tp_present(y.row(i), proto);
    if (!a.absent.empty()) continue;
    for (Eigen::Index j = 0; j < a.plist.size(); ++j)
      if (!std::isnan(a.plist(j))) tp.emplace_back(a.tp.deg(), core::Angle::radians(a.plist(j)).deg());
  }
  Eigen::MatrixXd out(static_cast<Eigen::Index>(tp.size()), 2);
  for (std::size_t r = 0; r < tp.size(); ++r) out.row(static_cast<Eigen::Index>(r)) << tp[r].first, tp[r].second;
  return out;
}

// R and theta' of DoWellman's analytic fit, from its message.
std::pair<double, double> wellman(testsupport::ScriptedProgram& restrain, const Eigen::MatrixXd& alltp) {
  io::writerows(restrain.file("alltp.txt").string(), alltp, "%.17g ", "\n", io::WriteMode::Replace);
  const auto [status, out] = restrain.run("LoadAllTP alltp.txt\nDoWellman\n");
  EXPECT_EQ(status, 0) << restrain.errors();
  std::smatch m;
  const std::regex analytic(R"(ANALYTIC METHOD: The R value was ([0-9.]+), θ′ was (-?[0-9.]+))");
  if (!std::regex_search(out, m, analytic)) {
    ADD_FAILURE() << out;
    return {0, 0};
  }
  return {std::stod(m[1]), std::stod(m[2])};
}

} // namespace

TEST(restrainmissing, TheWellmanFitOfTheDamagedSampleIsTheCompleteOnes) {
  const std::string sample = testsupport::example("deformed_sample/deformed.tps");
  const Eigen::MatrixXd proto = io::dload(testsupport::example("deformed_sample/protocol.txt"));
  const Eigen::MatrixXd complete = io::readtpsfile(sample).matrix();
  testsupport::ScriptedProgram restrain(restrainprogram());
  const auto [R, theta] = wellman(restrain, pooled(complete, proto));
  // The sample was made with R = 1.8 at theta' = 35 degrees.
  EXPECT_NEAR(R, 1.8, 0.05);
  EXPECT_NEAR(theta, 35, 1);
  for (const unsigned seed : {7u, 8u, 9u}) {
    const damagedsample::Damaged damaged = damagedsample::damage(sample, seed);
    const std::string path = restrain.file("damaged.tps").string();
    std::ofstream(path) << damaged.text;
    const Eigen::MatrixXd y = io::readtpsfile(path).matrix();
    ASSERT_EQ(y.array().isNaN().count(), static_cast<Eigen::Index>(2 * damaged.deleted.size()));
    const Eigen::MatrixXd alltp = pooled(y, proto);
    ASSERT_LT(alltp.rows(), 300) << "nothing was lost";
    const auto [Rd, thetad] = wellman(restrain, alltp);
    EXPECT_NEAR(Rd / R, 1, 0.02) << seed;
    EXPECT_NEAR(thetad, theta, 1) << seed;
  }
}

TEST(restrainmissing, TheTrilobiteCephalaLoadByEitherActionWithoutTheirMissingLandmarks) {
  for (const char* action : {"LoadTPS", "Load"}) {
    testsupport::ScriptedProgram restrain(restrainprogram());
    const auto [status, out] = restrain.run(std::string(action) + " " + trilobites + "\n");
    ASSERT_EQ(status, 0) << action << ": " << restrain.errors();
    EXPECT_NE(out.find("cephala_tpsdig_all.tps: 39 landmarks are missing in 13 specimens (-1 -1, NaN and NA are missing): specimen 4 "
                       "(Alberti_1983-7.87) lacks 8, 9 and 14;"),
              std::string::npos)
        << action << ": " << out;
    // The specimens' landmarks present and the consensus's 16.
    EXPECT_EQ(restrain.host().axes().pointcount(), 74u * 16u - 39u + 16u) << action;
    const shell::Limits l = restrain.host().axes().limits();
    EXPECT_TRUE(l[0] > -1 && l[1] < 1 && l[2] > -1 && l[3] < 1) << action << ": " << l[0] << " " << l[1];
  }
}

TEST(restrainmissing, ARetrodeformedTpsKeepsEveryKeyLineAndMissingCode) {
  testsupport::ScriptedProgram restrain(restrainprogram());
  const auto [status, out] = restrain.run("LoadTPS " + trilobites +
                                          "\nset UserR 2\nset UserTheta 30\nUserRetroTPS\nSaveTPS rows.txt out.tps\n");
  ASSERT_EQ(status, 0) << restrain.errors();
  const core::Specimens in = io::readtpsfile(trilobites), back = io::readtpsfile(restrain.file("out.tps").string());
  ASSERT_EQ(back.n(), 74);
  EXPECT_EQ(back.ids().keys, in.ids().keys);
  // Every missing landmark is written as the digitisers' code, and nothing
  // else is.
  const std::string text = io::readfile(restrain.file("out.tps").string());
  std::size_t codes = 0;
  for (std::size_t at = text.find("\n-1  -1 \n"); at != std::string::npos; at = text.find("\n-1  -1 \n", at + 1)) ++codes;
  EXPECT_EQ(codes, 39u);
  EXPECT_TRUE(back.matrix().array().isNaN().cwiseEqual(in.matrix().array().isNaN()).all());
  // The landmarks present were moved by the inverse strain, about the
  // origin of the file's frame.
  const Eigen::Matrix2d undo = core::Strain{2, core::Bearing::degrees(30)}.removal();
  for (const Eigen::Index i : {0, 3, 73})
    for (Eigen::Index j = 0; j < 16; ++j) {
      if (in.missing(i, j)) continue;
      const Eigen::Vector2d moved = undo * Eigen::Vector2d(in.matrix()(i, 2 * j), in.matrix()(i, 2 * j + 1));
      EXPECT_NEAR(back.matrix()(i, 2 * j), moved(0), 1e-5 * std::abs(moved(0)) + 1e-3) << i << " " << j;
      EXPECT_NEAR(back.matrix()(i, 2 * j + 1), moved(1), 1e-5 * std::abs(moved(1)) + 1e-3) << i << " " << j;
    }
  // The row file keeps them as NaN, and its sidecar joins its rows to the
  // specimens.
  const core::Specimens rows = io::readlandmarks(restrain.file("rows.txt").string());
  EXPECT_TRUE(rows.coordinates().array().isNaN().cwiseEqual(in.coordinates().array().isNaN()).all());
  EXPECT_FALSE(rows.sizes().array().isNaN().any()) << "a size slot computed from a missing landmark";
  EXPECT_EQ(rows.ids().keys, in.ids().keys);
}

TEST(restrainmissing, DataWithoutIdentitiesGetNoSidecarAndNoKeyLines) {
  testsupport::ScriptedProgram restrain(restrainprogram());
  // The sample without its key lines.
  const std::string whole = io::readfile(testsupport::example("deformed_sample/deformed.tps"));
  std::string bare;
  std::istringstream lines(whole);
  for (std::string line; std::getline(lines, line);)
    if (line.find('=') == std::string::npos || line.rfind("LM=", 0) == 0) bare += line + "\n";
  std::ofstream(restrain.file("bare.tps")) << bare;
  const auto [status, out] =
      restrain.run("LoadTPS bare.tps\nset UserR 1.8\nset UserTheta 35\nUserRetroTPS\nSaveTPS rows.txt out.tps\n");
  ASSERT_EQ(status, 0) << restrain.errors();
  EXPECT_FALSE(std::filesystem::exists(restrain.file("rows.txt.ids")));
  const std::string tps = io::readfile(restrain.file("out.tps").string());
  EXPECT_EQ(tps.find("ID="), std::string::npos);
  EXPECT_EQ(tps.find("SCALE="), std::string::npos);
  EXPECT_EQ(std::count(tps.begin(), tps.end(), '='), 60);
}

namespace {

// The chain Anglepick -> Restrain with damaged fossils: specimen 3 lacks
// its baseline landmark 1, specimen 5 gave no angles (Anglepick's NaN line
// for it, in the per-specimen angles `means`).
struct Chain {
  std::string sample = testsupport::example("deformed_sample/deformed.tps");
  Eigen::MatrixXd proto = io::dload(testsupport::example("deformed_sample/protocol.txt"));
  core::Specimens whole = io::readtpsfile(sample);
  std::vector<std::string> means; // lines, each with its line end
  std::string damaged;            // the TPS text
  // The files in the program's folder: damaged.tps, means.txt (the lines
  // in that order) and alltp.txt, the pooled angles.
  void write(testsupport::ScriptedProgram& restrain, const std::string& lines) const {
    std::ofstream(restrain.file("damaged.tps")) << damaged;
    std::ofstream(restrain.file("means.txt")) << lines;
    io::writerows(restrain.file("alltp.txt").string(), pooled(whole.matrix(), proto), "%.17g ", "\n",
                  io::WriteMode::Replace);
  }
};

Chain chain() {
  Chain c;
  const core::Specimens& whole = c.whole;
  Eigen::RowVectorXd t(whole.n());
  Eigen::MatrixXd p(whole.n(), 5);
  Eigen::RowVectorXi np = Eigen::RowVectorXi::Constant(whole.n(), 5);
  for (Eigen::Index i = 0; i < whole.n(); ++i) {
    const anglepick::TpAngles a = anglepick::get_tp(whole.matrix().row(i), c.proto);
    t(i) = a.tp.rad();
    p.row(i) = a.plist;
  }
  np(4) = 0;
  std::istringstream in(io::formatangles(io::AngleLayout::means, t, p, np, 1, whole.ids()));
  for (std::string line; std::getline(in, line);) c.means.push_back(line + "\n");
  c.damaged = io::readfile(c.sample);
  std::size_t block = 0;
  for (int b = 0; b < 3; ++b) block = c.damaged.find("LM=", block) + 1;
  const std::size_t first = c.damaged.find('\n', block) + 1;
  c.damaged.replace(first, c.damaged.find('\n', first) - first, "-1 -1");
  return c;
}

} // namespace

// The other 58 are retrodeformed; those two are named and kept missing.
// The angle lines name their specimens, so their order does not matter.
TEST(restrainmissing, RetrodeformsTheSpecimensWithBaselineAndAnglesAndNamesTheOthers) {
  const Chain c = chain();
  const std::vector<std::string>& lines = c.means;
  ASSERT_EQ(lines[4], "NaN\tNaN\t1\t % specimen 5 (5)\n");
  std::string inorder, reversed;
  for (const std::string& l : lines) inorder += l;
  for (auto l = lines.rbegin(); l != lines.rend(); ++l) reversed += *l;

  std::string saved[2];
  for (int order = 0; order < 2; ++order) {
    testsupport::ScriptedProgram restrain(restrainprogram());
    c.write(restrain, order == 0 ? inorder : reversed);
    const auto [status, out] = restrain.run("LoadTPS damaged.tps\nLoadDataTP means.txt\nLoadAllTP alltp.txt\n"
                                            "set BaseBox1 1\nset BaseBox2 4\nset UserR 1.8\nset UserTheta 35\n"
                                            "DoRetroUser\nSave out.txt\n");
    ASSERT_EQ(status, 0) << restrain.errors();
    EXPECT_NE(out.find("note: 2 of 60 specimens were not retrodeformed and are kept missing: specimen 3 (3) lacks "
                       "baseline landmark 1; specimen 5 (5) has no per-specimen angles\n"),
              std::string::npos)
        << out;
    const core::Specimens back = io::readlandmarks(restrain.file("out.txt").string());
    ASSERT_EQ(back.n(), 60);
    for (Eigen::Index i = 0; i < 60; ++i)
      EXPECT_EQ(back.missingcount(i), i == 2 || i == 4 ? 14 : 0) << i;
    EXPECT_EQ(back.ids().id(59), "60");
    saved[order] = io::readfile(restrain.file("out.txt").string());
  }
  EXPECT_EQ(saved[0], saved[1]);
}

// Estimated first, in the TPS file's frame or as the row data's, the
// specimen that lacked its baseline landmark is retrodeformed too, close
// to where the complete sample's run puts it, is named as resting on an
// estimate, and is listed beside the save; the others are as the complete
// run has them. Mirror has no pair list here.
TEST(restrainmissing, EstimatedBaselineLandmarksAreRetrodeformedAsTheCompleteOnes) {
  const Chain c = chain();
  std::string means;
  for (const std::string& l : c.means) means += l;
  for (const std::string load : {"LoadTPS", "Load"}) {
    testsupport::ScriptedProgram restrain(restrainprogram());
    c.write(restrain, means);
    const std::string retro = "LoadDataTP means.txt\nDoRetroUser\n";
    const auto [status, out] = restrain.run(
        "LoadAllTP alltp.txt\nset BaseBox1 1\nset BaseBox2 4\nset UserR 1.8\nset UserTheta 35\n" + load + " " +
        c.sample + "\n" + retro + "Save full.txt\n" + load + " damaged.tps\nEstimateMissing\n" + retro +
        "Save estimated.txt\n");
    ASSERT_EQ(status, 0) << load << ": " << restrain.errors();
    EXPECT_NE(out.find("specimen 3 (3): landmark 1 estimated by tps"), std::string::npos) << out;
    EXPECT_NE(out.find("note: 1 of 60 specimens were retrodeformed on a baseline that rests on an estimate: "
                       "specimen 3 (3) landmark 1 (tps)\n"),
              std::string::npos)
        << out;
    const Eigen::MatrixXd full = io::dload(restrain.file("full.txt").string());
    const Eigen::MatrixXd estimated = io::dload(restrain.file("estimated.txt").string());
    ASSERT_EQ(estimated.rows(), 60);
    // Superimposed specimens of unit centroid size; specimen 5, without
    // angles, is missing in both.
    for (Eigen::Index i = 0; i < 60; ++i) {
      if (i == 4) continue;
      const double off = (estimated.row(i).head(28) - full.row(i).head(28)).cwiseAbs().maxCoeff();
      EXPECT_LT(off, i == 2 ? 5e-3 : 2e-4) << load << " specimen " << i + 1;
    }
    EXPECT_TRUE(std::isnan(estimated(4, 0)));
    const std::string listed = io::readfile(restrain.file("estimated.txt.estimated").string());
    EXPECT_EQ(listed.substr(listed.find('\n', listed.find("method")) + 1), "3 1 tps\n") << listed;
  }
  testsupport::ScriptedProgram restrain(restrainprogram());
  c.write(restrain, means);
  EXPECT_EQ(restrain.run("LoadTPS damaged.tps\nset EstimateBox mirror\nEstimateMissing\n").first, 1);
  EXPECT_EQ(restrain.errors().rfind("The box EstimateBox (estimate method) holds 'mirror', which needs a pairs file", 0),
            0u)
      << restrain.errors();
}
