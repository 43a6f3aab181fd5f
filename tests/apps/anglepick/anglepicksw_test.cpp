// Anglepick driven by scripts on the lizard heads (98 specimens, 28
// landmarks, 12 pairs and 4 midline landmarks): the three angle files
// checked line by line and read back.

#include "apps/anglepick/anglepicksw.h"
#include "core/angles.h"

#include "core/text_format.h"
#include "io/row_file.h"
#include "tests/support/scripted_program.h"
#include "tests/support/test_support.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <regex>

namespace {

shell::Program anglepickprogram() { return testsupport::program("anglepick", "Anglepick", "anglepicksw", anglepick::define); }

std::vector<std::string> lines(const std::filesystem::path& file) {
  std::ifstream in(file);
  std::vector<std::string> out;
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

const std::string tps = testsupport::example("lizards_podarcis/lizards.tps");
const std::string proto = testsupport::example("lizards_podarcis/protocol.txt");

} // namespace

TEST(anglepicksw, WritesTheThreeAngleFilesOfASession) {
  testsupport::ScriptedProgram anglepick(anglepickprogram());
  const auto [status, out] = anglepick.run("Clear\nLoadData " + tps + "\nshow FileBox\nLoadProto " + proto +
                                           "\nshow FileBox\nset SlabBox 3\nSaveData all.txt\n"
                                           "SaveDataBirch birch.txt\nSaveAveData means.txt\nplot protocol.png\n");
  ASSERT_EQ(status, 0) << anglepick.errors();
  const std::string loaded = "TPS FILE Loaded:\nlizards.tps\nTotal of  98 Specimens\nLandmarks=  28\n";
  EXPECT_EQ(out.substr(0, loaded.size()), loaded);
  // The per-specimen commentary (t and p in degrees) comes before the box.
  EXPECT_EQ(out.substr(loaded.size(), 2), "1\t");
  EXPECT_NE(out.find("\nProtocol protocol.txt loaded: \n4 midline landmarks and 12 pairs\n"), std::string::npos);

  // Every pair of every specimen: t, p, slab and the specimen comment.
  const std::vector<std::string> all = lines(anglepick.file("all.txt"));
  ASSERT_EQ(all.size(), 98u * 12u);
  // The comment names the specimen by its number and the ID= of its TPS block.
  const std::regex layout(R"(^\d+\.\d{6}\t\d+\.\d{6}\t3\t % specimen (\d+) \((ind\d+_rep\d+)\)$)");
  for (std::size_t i = 0; i < all.size(); ++i) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(all[i], m, layout)) << all[i];
    EXPECT_EQ(std::stoul(m[1]), i / 12 + 1);
  }
  const Eigen::MatrixXd back = io::dload(anglepick.file("all.txt").string());
  ASSERT_EQ(back.cols(), 3);
  // The lizards are undeformed and bilaterally symmetric: every pair lies
  // near a right angle to the midline.
  EXPECT_NEAR(back.col(1).mean(), 90, 2);
  EXPECT_TRUE((back.col(1).array() >= 0).all() && (back.col(1).array() <= 180).all());

  const Eigen::MatrixXd birch = io::dload(anglepick.file("birch.txt").string());
  EXPECT_TRUE(testsupport::near(birch, back.leftCols(2), 0));
  EXPECT_EQ(lines(anglepick.file("birch.txt")).front(), all.front().substr(0, all.front().find("\t3\t")));

  const Eigen::MatrixXd means = io::dload(anglepick.file("means.txt").string());
  ASSERT_EQ(means.rows(), 98);
  for (Eigen::Index i = 0; i < 98; ++i) {
    EXPECT_NEAR(means(i, 0), back(12 * i, 0), 1e-6);
    EXPECT_NEAR(means(i, 1), back.col(1).segment(12 * i, 12).mean(), 1e-5);
  }
  EXPECT_EQ(anglepick.window().fakeaxes().saved, std::vector<std::string>{anglepick.file("protocol.png").string()});
}

TEST(anglepicksw, NeverSavesTheAnglesOfDataLoadedBefore) {
  const std::string sample = testsupport::example("deformed_sample/deformed.tps");
  const std::string sampleproto = testsupport::example("deformed_sample/protocol.txt");
  // What a fresh session on the sample alone writes (one program at a
  // time: each starts the program's state afresh).
  std::vector<std::string> alone;
  {
    testsupport::ScriptedProgram fresh(anglepickprogram());
    ASSERT_EQ(fresh.run("LoadData " + sample + "\nLoadProto " + sampleproto + "\nSaveAveData means.txt\n").first, 0);
    alone = lines(fresh.file("means.txt"));
  }
  ASSERT_EQ(alone.size(), 60u);
  testsupport::ScriptedProgram anglepick(anglepickprogram());
  // The sample's protocol names landmarks 1 ... 14, which the lizards have
  // too: it measures both files.
  const auto [status, out] = anglepick.run("LoadData " + tps + "\nLoadProto " + sampleproto + "\nLoadData " + sample +
                                           "\nSaveAveData means.txt\n");
  EXPECT_EQ(status, 1);
  EXPECT_NE(out.find("note: the angles measured on the data loaded before were cleared; load the protocol (Load protocol…) "
                     "to measure these specimens\n"),
            std::string::npos);
  // The results pane opened by LoadProto makes Qt's offscreen platform
  // grumble on stderr, which the programs themselves filter out.
  std::string errors = anglepick.errors();
  if (const std::string qt = "This plugin does not support propagateSizeHints()\n"; errors.starts_with(qt))
    errors.erase(0, qt.size());
  EXPECT_EQ(errors, "Nothing measured for the data now loaded: load their protocol before saving angles\n"
                    "(test.script, line 4: SaveAveData)\n");
  EXPECT_FALSE(std::filesystem::exists(anglepick.file("means.txt")));
  // Measured again, the file holds the sample's 60 specimens, as a fresh
  // session on the sample alone writes them.
  ASSERT_EQ(anglepick.run("LoadProto " + sampleproto + "\nSaveAveData means.txt\n").first, 0) << anglepick.errors();
  EXPECT_EQ(lines(anglepick.file("means.txt")), alone);
  // A TPS file refused half way (read, but its first specimen cannot be
  // scaled) leaves the data, the angles and the box as they were.
  std::ofstream(anglepick.file("zero.tps")) << "LM=3\n0 0\n0 0\n0 0\nLM=3\n0 0\n1 0\n0 1\n";
  const std::string box = anglepick.run("show FileBox\n").second;
  EXPECT_NE(box.find("Protocol protocol.txt loaded"), std::string::npos);
  EXPECT_EQ(anglepick.run("LoadData zero.tps\n").first, 1);
  const auto [shown, text] = anglepick.run("show FileBox\nSaveAveData again.txt\n");
  EXPECT_EQ(shown, 0) << anglepick.errors();
  EXPECT_EQ(text, box);
  EXPECT_EQ(lines(anglepick.file("again.txt")), alone);
}

TEST(anglepicksw, RefusesProtocolsThatMeasureNothingAndKeepsTheLastOne) {
  testsupport::ScriptedProgram anglepick(anglepickprogram());
  ASSERT_EQ(anglepick.run("LoadData " + tps + "\nLoadProto " + proto + "\nset SlabBox 1\nSaveData before.txt\n").first, 0);
  const std::size_t drawn = anglepick.host().axes().pointcount();
  const std::vector<std::pair<std::string, std::string>> refused = {
      {"1 0\n1 0\n2 11\n", "protocol rows 1 and 2 name the same point (1 0); the midline runs from the first row's point "
                            "towards the second's, so they must be two different points"},
      {"2 11\n11 2\n1 0\n12 0\n", "protocol rows 1 and 2 name the same point (11 2); the midline runs from the first row's "
                                   "point towards the second's, so they must be two different points"},
      {"1 0\n12 0\n5 5\n", "protocol row 3: the pair 5 5 names one landmark twice; a pair needs two different landmarks "
                            "(a midline landmark is '5 0')"},
      {"1 0\n12 0\n18 0\n", "The protocol file 'bad.txt' holds no pair row (its second column is 0 on all 3 rows), so there "
                             "is no p to measure; add the bilateral pairs as rows 'a b'"},
  };
  for (const auto& [text, message] : refused) {
    std::ofstream(anglepick.file("bad.txt")) << text;
    EXPECT_EQ(anglepick.run("LoadProto bad.txt\n").first, 1) << text;
    EXPECT_EQ(anglepick.errors(), message + "\n(test.script, line 1: LoadProto)\n") << text;
    EXPECT_EQ(anglepick.host().axes().pointcount(), drawn) << text;
  }
  // The protocol and angles of the last good protocol are still there.
  ASSERT_EQ(anglepick.run("SaveData after.txt\nshow FileBox\n").first, 0) << anglepick.errors();
  EXPECT_EQ(lines(anglepick.file("after.txt")), lines(anglepick.file("before.txt")));
}

TEST(anglepicksw, ReportsAProtocolThatDoesNotFitTheData) {
  testsupport::ScriptedProgram anglepick(anglepickprogram());
  std::ofstream(anglepick.file("wide.txt")) << "1 0 0\n12 0 0\n2 11 0\n";
  std::ofstream(anglepick.file("beyond.txt")) << "1 0\n12 0\n2 29\n";
  const auto [status, out] = anglepick.run("LoadData " + tps + "\nLoadProto wide.txt\nshow FileBox\n");
  EXPECT_EQ(status, 0) << anglepick.errors();
  EXPECT_NE(out.find("== ==\nExcess columns in protocol file\n\n"), std::string::npos);
  EXPECT_EQ(anglepick.run("LoadProto beyond.txt\n").first, 1);
  EXPECT_EQ(anglepick.errors(), "protocol row 3: landmark number 29 is outside 1 ... 28\n(test.script, line 1: LoadProto)\n");
}

// LoadProto puts its measurements in the results pane: a row per specimen
// with t and mean p, and a directional summary of t.
TEST(anglepicksw, ShowsTheMeasuredAnglesInTheResultsPane) {
  const std::string sample = testsupport::example("deformed_sample/deformed.tps");
  const std::string sampleproto = testsupport::example("deformed_sample/protocol.txt");
  testsupport::ScriptedProgram anglepick(anglepickprogram());
  const auto [status, out] = anglepick.run("LoadData " + sample + "\nLoadProto " + sampleproto + "\nSaveAveData means.txt\n");
  ASSERT_EQ(status, 0) << anglepick.errors();
  const auto pos = out.find("== Results ==\nspecimen\tt (degrees)\tmean p (degrees)\n");
  ASSERT_NE(pos, std::string::npos) << out;
  const std::vector<std::string> means = lines(anglepick.file("means.txt"));
  ASSERT_EQ(means.size(), 60u);
  // The pane's rows agree with the saved means, to the two decimals shown.
  std::istringstream rows(out.substr(pos));
  std::string line;
  std::getline(rows, line), std::getline(rows, line);
  double sx = 0, sy = 0;
  for (const std::string& m : means) {
    ASSERT_TRUE(std::getline(rows, line));
    double t = 0, p = 0, tp = 0, pp = 0;
    std::sscanf(m.c_str(), "%lf %lf", &t, &p);
    const auto tab = line.find('\t');
    std::sscanf(line.c_str() + tab, "%lf %lf", &tp, &pp);
    EXPECT_NEAR(tp, t, 0.006) << line;
    EXPECT_NEAR(pp, p, 0.006) << line;
    const double b = core::Bearing::degrees(t).rad();
    sx += std::sin(b), sy += std::cos(b);
  }
  ASSERT_TRUE(std::getline(rows, line));
  double tmean = core::Bearing::of(sx, sy).deg();
  if (tmean < 0) tmean += 360;
  const double sd = core::Angle::radians(std::sqrt(-2 * std::log(std::hypot(sx, sy) / 60))).deg();
  EXPECT_EQ(line.substr(0, line.find(": circular")), "60 specimens measured") << line;
  EXPECT_NE(line.find(core::format("circular mean t %.2f degrees, circular standard deviation of t %.2f degrees", tmean, sd)),
            std::string::npos)
      << line;
}

TEST(anglepicksw, SavesWaitForMeasuredAngles) {
  anglepick::State s;
  const shell::Readiness ready = shell::readinessof(anglepick::actions(), s);
  for (const char* save : {"SaveData", "SaveDataBirch", "SaveAveData"})
    EXPECT_EQ(ready(save).value_or(""), "Measure the angles first: load a TPS file and its protocol");
  EXPECT_FALSE(ready("LoadData").has_value());
  s.tlist = Eigen::RowVectorXd::Zero(2);
  EXPECT_FALSE(ready("SaveAveData").has_value());
}
