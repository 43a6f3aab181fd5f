// Tectsim's exemplars from TPS files: a complete one is taken as its row
// copy is, an incomplete one is refused by name with its missing
// landmarks, and the shapes loaded before are kept.

#include "apps/tectsim/tsswitch.h"

#include "io/row_file.h"
#include "io/tps_file.h"
#include "tests/support/scripted_program.h"
#include "tests/support/test_support.h"

#include <fstream>
#include <limits>

namespace {

shell::Program tectsimprogram() { return testsupport::program("tectsim", "Tectsim", "TSSwitch", tectsim::define); }

} // namespace

TEST(TSSwitch, TakesTpsExemplarsAndRefusesAnIncompleteOne) {
  testsupport::ScriptedProgram tectsim(tectsimprogram());
  tectsim.host().setquiet(true);
  const Eigen::MatrixXd heads = io::dload(testsupport::example("plethodon_12lm/plethodon.txt"));
  io::writerows(tectsim.file("start.txt").string(), heads.topRows(5), "%.10g ", "\n", io::WriteMode::Replace);
  io::writerows(tectsim.file("end.txt").string(), heads.row(30), "%.10g ", "\n", io::WriteMode::Replace);
  core::Identities ids;
  ids.keys = {{"ID=P31", "SCALE=0.5"}};
  std::ofstream(tectsim.file("end.tps")) << io::formattps(core::Specimens(heads.row(30), ids));
  Eigen::MatrixXd broken = heads.row(30);
  broken.block(0, 4, 1, 2).setConstant(std::numeric_limits<double>::quiet_NaN());
  broken.block(0, 14, 1, 2).setConstant(std::numeric_limits<double>::quiet_NaN());
  std::ofstream(tectsim.file("broken.tps")) << io::formattps(core::Specimens(broken, ids));

  const std::string experiment = "set NumBox 20\nset AmpBox 0.005\nset DefBox 1.5\nset AngleBox 20\nset NaxisBox 1\n"
                                 "BuildModels\nSaveCData c.txt\n";
  auto [status, out] = tectsim.run("Load1 start.txt\nLoad2 end.tps\nshow FileBox2\n" + experiment);
  ASSERT_EQ(status, 0) << tectsim.errors();
  EXPECT_EQ(out, "File end.tps \n    1 specimen \n   12 landmarks\nwrote 20 rows to c.txt\n");
  std::tie(status, out) = tectsim.run("set ApplyScale 1\nLoad2 end.tps\nshow FileBox2\n");
  ASSERT_EQ(status, 0) << tectsim.errors();
  // The sets built from the end shape before are gone with it.
  EXPECT_EQ(out, "note: the simulated sets, their plot and their statistics made from the shape loaded before were "
                 "cleared; build the models again (Build models)\nFile end.tps \n    1 specimen \n   12 landmarks \n in "
                 "SCALE= units\n");

  std::tie(status, out) = tectsim.run("set ApplyScale 0\nLoad2 broken.tps\n");
  EXPECT_EQ(status, 1);
  EXPECT_EQ(out, "broken.tps: 2 landmarks are missing in 1 specimen (-1 -1, NaN and NA are missing): specimen 1 (P31) lacks 3 and 8.\n");
  EXPECT_EQ(tectsim.errors(), "The end shape file 'broken.tps' lacks landmarks, and a start or end shape must be complete: "
                              "2 landmarks are missing in 1 specimen: specimen 1 (P31) lacks 3 and 8.\n(test.script, "
                              "line 2: Load2)\n");
  std::tie(status, out) = tectsim.run("Load1 broken.tps\n");
  EXPECT_EQ(status, 1);
  EXPECT_NE(tectsim.errors().find("The start shape file 'broken.tps' lacks landmarks"), std::string::npos);
  // The shapes loaded before are kept: the experiment builds as before.
  std::tie(status, out) = tectsim.run(experiment);
  EXPECT_EQ(status, 0) << tectsim.errors();
}
