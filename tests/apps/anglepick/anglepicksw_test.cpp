// Anglepick driven by scripts on the lizard heads (98 specimens, 28
// landmarks, 12 pairs and 4 midline landmarks): the three angle files
// checked line by line and read back.

#include "apps/anglepick/anglepicksw.h"

#include "core/row_file.h"
#include "tests/shell/scripted_program.h"
#include "tests/support/test_support.h"

#include <fstream>
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
  EXPECT_NE(out.find("\nFile protocol.txt of protocols loaded, \n16 landmarks per side\n"), std::string::npos);

  // Every pair of every specimen: t, p, slab and the specimen comment.
  const std::vector<std::string> all = lines(anglepick.file("all.txt"));
  ASSERT_EQ(all.size(), 98u * 12u);
  const std::regex layout(R"(^\d+\.\d{6}\t\d+\.\d{6}\t3\t % specimen (\d+)$)");
  for (std::size_t i = 0; i < all.size(); ++i) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(all[i], m, layout)) << all[i];
    EXPECT_EQ(std::stoul(m[1]), i / 12 + 1);
  }
  const Eigen::MatrixXd back = core::dload(anglepick.file("all.txt").string());
  ASSERT_EQ(back.cols(), 3);
  // The lizards are undeformed and bilaterally symmetric: every pair lies
  // near a right angle to the midline.
  EXPECT_NEAR(back.col(1).mean(), 90, 2);
  EXPECT_TRUE((back.col(1).array() >= 0).all() && (back.col(1).array() <= 180).all());

  const Eigen::MatrixXd birch = core::dload(anglepick.file("birch.txt").string());
  EXPECT_TRUE(testsupport::near(birch, back.leftCols(2), 0));
  EXPECT_EQ(lines(anglepick.file("birch.txt")).front(), all.front().substr(0, all.front().find("\t3\t")));

  const Eigen::MatrixXd means = core::dload(anglepick.file("means.txt").string());
  ASSERT_EQ(means.rows(), 98);
  for (Eigen::Index i = 0; i < 98; ++i) {
    EXPECT_NEAR(means(i, 0), back(12 * i, 0), 1e-6);
    EXPECT_NEAR(means(i, 1), back.col(1).segment(12 * i, 12).mean(), 1e-5);
  }
  EXPECT_TRUE(std::filesystem::file_size(anglepick.file("protocol.png")) > 1000);
}

TEST(anglepicksw, GuidesAUserWhoTakesTheStepsOutOfOrder) {
  testsupport::ScriptedProgram anglepick(anglepickprogram());
  // Saving before measuring writes an empty file.
  EXPECT_EQ(anglepick.run("SaveData empty.txt\n").first, 0);
  EXPECT_EQ(std::filesystem::file_size(anglepick.file("empty.txt")), 0u);
  EXPECT_EQ(anglepick.run("LoadProto " + proto + "\n").first, 1);
  EXPECT_EQ(anglepick.errors(),
            "Load a TPS file first (LoadData): the protocol is drawn on and measured from its specimens\n"
            "(test.script, line 1: LoadProto)\n");
  EXPECT_EQ(anglepick.run("set SlabBox two\nSaveData x.txt\n").first, 1);
  EXPECT_EQ(anglepick.errors(), "The box SlabBox (slab number) holds 'two', which is not a whole number\n"
                                "(test.script, line 2: SaveData)\n");
  EXPECT_FALSE(std::filesystem::exists(anglepick.file("x.txt")));
  // A cancelled save writes nothing and is no error.
  EXPECT_EQ(anglepick.run("set SlabBox 2\nSaveAveData -\n").first, 0);
  const auto [status, out] = anglepick.run("Measure\n");
  EXPECT_EQ(status, 0);
  EXPECT_EQ(out, "== In truth,can none save me? ==\nHopelessly lost, send help!\n\n");
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
