// Anglepick on incomplete fossils: the bundled deformed sample with
// landmarks deleted at random gives the angles of the pairs that are left,
// and the real trilobite cephala (39 landmarks coded -1 -1) load with none
// of their missing landmarks drawn.

#include "apps/anglepick/anglepicksw.h"
#include "apps/anglepick/angles.h"

#include "core/text_format.h"
#include "io/text_file.h"
#include "io/tps_file.h"
#include "tests/apps/anglepick/damaged.h"
#include "tests/support/scripted_program.h"
#include "tests/support/test_support.h"

#include <cmath>
#include <fstream>
#include <map>
#include <sstream>

namespace {

shell::Program anglepickprogram() { return testsupport::program("anglepick", "Anglepick", "anglepicksw", anglepick::define); }

std::vector<std::string> lines(const std::filesystem::path& file) {
  std::ifstream in(file);
  std::vector<std::string> out;
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

// The lines of an angle file by the specimen number their comment names.
std::map<int, std::vector<std::string>> byspecimen(const std::vector<std::string>& file) {
  std::map<int, std::vector<std::string>> out;
  for (const std::string& line : file) out[std::stoi(line.substr(line.find("% specimen ") + 11))].push_back(line);
  return out;
}

const std::string sample = testsupport::example("deformed_sample/deformed.tps");
const std::string protocolfile = testsupport::example("deformed_sample/protocol.txt");

} // namespace

TEST(anglepickmissing, DeletedLandmarksLeaveTheAnglesOfThePairsPresent) {
  const Eigen::MatrixXd proto = (Eigen::MatrixXd(9, 2) << 1, 0, 4, 0, 2, 0, 3, 0, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14).finished();
  const core::Specimens whole = io::readtpsfile(sample);
  const std::string script = "LoadProto " + protocolfile + "\nset SlabBox 1\nSaveData all.txt\nSaveAveData means.txt\n";
  std::vector<std::string> completeall;
  {
    testsupport::ScriptedProgram complete(anglepickprogram());
    ASSERT_EQ(complete.run("LoadData " + sample + "\n" + script).first, 0) << complete.errors();
    completeall = lines(complete.file("all.txt"));
  }
  const auto completebyspecimen = byspecimen(completeall);
  ASSERT_EQ(completebyspecimen.size(), 60u);

  for (const unsigned seed : {7u, 8u, 9u}) {
    const damagedsample::Damaged damaged = damagedsample::damage(sample, seed);
    ASSERT_EQ(damaged.specimens.size(), 6u);
    testsupport::ScriptedProgram anglepick(anglepickprogram());
    std::ofstream(anglepick.file("damaged.tps")) << damaged.text;
    const auto [status, out] = anglepick.run("LoadData damaged.tps\n" + script);
    ASSERT_EQ(status, 0) << anglepick.errors();
    EXPECT_NE(out.find(core::format("damaged.tps: %i landmarks are missing in 6 specimens", damaged.deleted.size())),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("consensus of 54 complete specimens of 60\n"), std::string::npos) << out;

    const auto all = byspecimen(lines(anglepick.file("all.txt")));
    const auto means = byspecimen(lines(anglepick.file("means.txt")));
    for (int i = 0; i < 60; ++i) {
      const std::string label = whole.ids().label(static_cast<std::size_t>(i));
      if (!damaged.specimens.count(i)) {
        // An intact specimen's lines are the complete run's, byte for byte.
        ASSERT_TRUE(all.count(i + 1)) << i;
        EXPECT_EQ(all.at(i + 1), completebyspecimen.at(i + 1)) << i;
        continue;
      }
      // A damaged specimen: the protocol rows whose landmarks survived,
      // measured on the intact coordinates.
      const auto gone = [&](double lm) { return lm > 0 && damaged.lacks(i, static_cast<int>(lm) - 1); };
      std::vector<Eigen::Index> rows;
      for (Eigen::Index r = 0; r < proto.rows(); ++r)
        if (!gone(proto(r, 0)) && !gone(proto(r, 1))) rows.push_back(r);
      const bool directed = rows.size() >= 2 && rows[0] == 0 && rows[1] == 1;
      Eigen::Index pairs = 0;
      for (const Eigen::Index r : rows) pairs += proto(r, 1) != 0;
      if (!directed || pairs == 0) {
        EXPECT_FALSE(all.count(i + 1)) << i;
        // Among the means it keeps its line, so that the others keep theirs.
        ASSERT_TRUE(means.count(i + 1)) << i;
        EXPECT_EQ(means.at(i + 1), std::vector<std::string>{"NaN\tNaN\t1\t % specimen " + label}) << i;
        EXPECT_NE(out.find("specimen " + label + ": "), std::string::npos) << i;
        continue;
      }
      const anglepick::TpAngles truth = anglepick::get_tp(whole.matrix().row(i), proto(rows, Eigen::all));
      std::vector<std::string> expected;
      for (Eigen::Index j = 0; j < truth.pcount; ++j)
        expected.push_back(core::format("%f\t%f\t1\t %% specimen %s", truth.tp.deg(),
                                        core::Angle::radians(truth.plist(j)).deg(), label));
      ASSERT_TRUE(all.count(i + 1)) << i;
      EXPECT_EQ(all.at(i + 1), expected) << i;
      ASSERT_EQ(means.at(i + 1).size(), 1u);
      std::istringstream mean(means.at(i + 1)[0]);
      double t = 0, p = 0;
      mean >> t >> p;
      EXPECT_NEAR(t, truth.tp.deg(), 1e-6) << i;
      EXPECT_NEAR(p, core::Angle::radians(truth.plist.mean()).deg(), 1e-6) << i;
    }
  }
}

TEST(anglepickmissing, TheTrilobiteCephalaLoadWithoutTheirMissingLandmarks) {
  testsupport::ScriptedProgram anglepick(anglepickprogram());
  const std::string file = testsupport::example("trilomorph_cephala/cephala_tpsdig_all.tps");
  const auto [status, out] = anglepick.run("LoadData " + file + "\n");
  ASSERT_EQ(status, 0) << anglepick.errors();
  EXPECT_NE(out.find("cephala_tpsdig_all.tps: 39 landmarks are missing in 13 specimens (-1 -1, NaN and NA are missing): specimen 4 (Alberti_1983-7.87) "
                     "lacks 8, 9 and 14;"),
            std::string::npos)
      << out;
  // Every landmark present of the 74 specimens and the 16 of the
  // consensus, and not one of the 39 missing.
  EXPECT_EQ(anglepick.host().axes().pointcount(), 74u * 16u - 39u + 16u);
  const shell::Limits limits = anglepick.host().axes().limits();
  // Superimposed shapes of unit size: a point at (-1, -1) from the code,
  // or at the raw image coordinates, would stretch the limits far out.
  EXPECT_TRUE(limits[0] > -1 && limits[1] < 1 && limits[2] > -1 && limits[3] < 1)
      << limits[0] << " " << limits[1] << " " << limits[2] << " " << limits[3];
}

TEST(anglepickmissing, ApplyScaleSaysSoAndLeavesTheAnglesAlone) {
  // One program at a time: each starts the program's state afresh.
  const std::string script = "LoadProto " + protocolfile + "\nSaveAveData means.txt\n";
  std::vector<std::string> a, b;
  {
    testsupport::ScriptedProgram plain(anglepickprogram());
    const auto [status, out] = plain.run("LoadData " + sample + "\nshow FileBox\n" + script);
    ASSERT_EQ(status, 0) << plain.errors();
    EXPECT_EQ(out.find("SCALE"), std::string::npos);
    a = lines(plain.file("means.txt"));
  }
  {
    testsupport::ScriptedProgram scaled(anglepickprogram());
    const auto [status, out] = scaled.run("set ApplyScale 1\nLoadData " + sample + "\nshow FileBox\n" + script);
    ASSERT_EQ(status, 0) << scaled.errors();
    EXPECT_NE(out.find("Landmarks=  14\ncoordinates x SCALE=\n"), std::string::npos) << out;
    b = lines(scaled.file("means.txt"));
  }
  // Angles do not change with a specimen's size.
  ASSERT_EQ(a.size(), 60u);
  ASSERT_EQ(b.size(), 60u);
  for (std::size_t i = 0; i < a.size(); ++i) {
    std::istringstream x(a[i]), y(b[i]);
    double tx = 0, px = 0, ty = 0, py = 0;
    x >> tx >> px;
    y >> ty >> py;
    EXPECT_NEAR(tx, ty, 2e-6) << i;
    EXPECT_NEAR(px, py, 2e-6) << i;
  }
}

// The sample with specimen 3 losing landmark 1 (protocol row 1), specimen
// 5 every pair's left member, written as broken.tps in the program's
// folder.
void writebroken(const testsupport::ScriptedProgram& anglepick) {
  std::ifstream in(sample);
  std::vector<std::string> text;
  for (std::string line; std::getline(in, line);) text.push_back(line);
  std::vector<std::size_t> blocks;
  for (std::size_t i = 0; i < text.size(); ++i)
    if (text[i].rfind("LM=", 0) == 0) blocks.push_back(i);
  text[blocks[2] + 1] = "-1 -1";
  for (const int lm : {5, 7, 9, 11, 13}) text[blocks[4] + static_cast<std::size_t>(lm)] = "-1 -1";
  std::ofstream outfile(anglepick.file("broken.tps"));
  for (const std::string& line : text) outfile << line << "\n";
}

TEST(anglepickmissing, ASpecimenWithoutItsMidlineIsNamedAndGivesNoPairs) {
  // Neither of the two broken specimens can be measured; both are named.
  testsupport::ScriptedProgram anglepick(anglepickprogram());
  writebroken(anglepick);
  const auto [status, out] =
      anglepick.run("LoadData broken.tps\nLoadProto " + protocolfile + "\nSaveData all.txt\nSaveAveData means.txt\n");
  ASSERT_EQ(status, 0) << anglepick.errors();
  const std::string message =
      "2 of 60 specimens give no angles (landmarks missing): specimen 3 (3): the point of protocol row 1 is missing, "
      "and rows 1 and 2 give the midline its direction; specimen 5 (5): no pair has both of its landmarks present";
  EXPECT_NE(out.find(message + "\n"), std::string::npos) << out;
  EXPECT_NE(out.find("== ==\n" + message + "\n"), std::string::npos) << out;
  const auto all = byspecimen(lines(anglepick.file("all.txt")));
  const auto means = byspecimen(lines(anglepick.file("means.txt")));
  EXPECT_EQ(all.size(), 58u);
  EXPECT_EQ(means.size(), 60u);
  EXPECT_FALSE(all.count(3) || all.count(5));
  EXPECT_EQ(means.at(5), std::vector<std::string>{"NaN\tNaN\t1\t % specimen 5 (5)"});
}

// Estimated, before the protocol is loaded or after it, the two broken
// specimens give angles close to their complete selves', every other line
// stays the complete run's, and the saves list the estimates beside the
// angle file. Mirror takes the protocol's pairs, so it waits for them.
TEST(anglepickmissing, EstimatedLandmarksGiveTheAnglesOfTheCompleteSpecimens) {
  const std::string save = "SaveAveData means.txt\n";
  std::vector<std::string> complete;
  {
    testsupport::ScriptedProgram whole(anglepickprogram());
    ASSERT_EQ(whole.run("LoadData " + sample + "\nLoadProto " + protocolfile + "\n" + save).first, 0) << whole.errors();
    complete = lines(whole.file("means.txt"));
  }
  ASSERT_EQ(complete.size(), 60u);
  const std::string proto = "LoadProto " + protocolfile + "\n";
  for (const std::string& steps : {"EstimateMissing\n" + proto, proto + "EstimateMissing\n"}) {
    testsupport::ScriptedProgram anglepick(anglepickprogram());
    writebroken(anglepick);
    const auto [status, out] = anglepick.run("LoadData broken.tps\n" + steps + save);
    ASSERT_EQ(status, 0) << anglepick.errors();
    const std::vector<std::string> means = lines(anglepick.file("means.txt"));
    ASSERT_EQ(means.size(), 60u);
    for (std::size_t i = 0; i < 60; ++i) {
      if (i != 2 && i != 4) {
        EXPECT_EQ(means[i], complete[i]) << steps << i;
        continue;
      }
      std::istringstream a(means[i]), b(complete[i]);
      double t = 0, p = 0, tc = 0, pc = 0;
      a >> t >> p;
      b >> tc >> pc;
      EXPECT_NEAR(t, tc, 0.05) << steps << i;
      EXPECT_NEAR(p, pc, 0.5) << steps << i;
    }
    const std::string listed = io::readfile(anglepick.file("means.txt.estimated").string());
    EXPECT_EQ(listed.substr(listed.find('\n', listed.find("method")) + 1),
              "3 1 tps\n5 5 tps\n5 7 tps\n5 9 tps\n5 11 tps\n5 13 tps\n")
        << listed;
  }
  testsupport::ScriptedProgram anglepick(anglepickprogram());
  writebroken(anglepick);
  EXPECT_EQ(anglepick.run("LoadData broken.tps\nset EstimateBox mirror\nEstimateMissing\n").first, 1);
  EXPECT_EQ(anglepick.errors().rfind("The box EstimateBox (estimate method) holds 'mirror', which reflects", 0), 0u)
      << anglepick.errors();
}
