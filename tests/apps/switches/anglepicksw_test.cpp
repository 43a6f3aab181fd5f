// Anglepick's switch called directly on a fake host: the steps taken out
// of order, each refused with what to do first.

#include "apps/anglepick/anglepicksw.h"

#include "tests/support/fake_host.h"
#include "tests/support/test_support.h"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

const std::string tps = testsupport::example("lizards_podarcis/lizards.tps");
const std::string proto = testsupport::example("lizards_podarcis/protocol.txt");

std::string content(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

} // namespace

TEST(anglepicksw, GuidesAUserWhoTakesTheStepsOutOfOrder) {
  testsupport::FakeHost host("Anglepick");
  anglepick::State s;
  const auto run = [&](std::string_view action, std::deque<std::string> answers = {}) {
    host.answers = std::move(answers);
    return testsupport::error_of([&] { anglepick::anglepicksw(host, s, action); });
  };
  // Saving before measuring is refused before the dialog: a file of that
  // name keeps its content.
  const std::string kept = testsupport::tempfile("kept.txt", "12.5\t80.1\t1\t % specimen 1\n");
  for (const std::string action : {"SaveData", "SaveDataBirch", "SaveAveData"})
    EXPECT_EQ(run(action, {kept}),
              "Nothing measured yet: load a TPS file and its protocol before saving angles");
  EXPECT_TRUE(host.dialogs.empty());
  EXPECT_EQ(content(kept), "12.5\t80.1\t1\t % specimen 1\n");
  EXPECT_EQ(run("LoadProto", {proto}),
            "Load a TPS file first: the protocol is drawn on and measured from its specimens");
  // Data without a protocol: still nothing measured.
  EXPECT_EQ(run("LoadData", {tps}), "no error");
  EXPECT_EQ(host.string("FileBox")[0], "TPS FILE Loaded:");
  EXPECT_EQ(run("SaveAveData", {kept}),
            "Nothing measured for the data now loaded: load their protocol before saving angles");
  EXPECT_EQ(run("LoadProto", {proto}), "no error");
  host.setstring("SlabBox", "two");
  const std::string x = testsupport::temppath("x.txt");
  EXPECT_EQ(run("SaveData", {x}), "The box SlabBox (slab number) holds 'two', which is not a whole number");
  EXPECT_FALSE(std::filesystem::exists(x));
  // A cancelled save writes nothing and is no error.
  host.setstring("SlabBox", "2");
  EXPECT_EQ(run("SaveAveData", {"-"}), "no error");
  EXPECT_EQ(host.dialogs.back(), "File Name for Average Angular data, t-p-slab");
  EXPECT_FALSE(std::filesystem::exists(x));
  // An action it does not know shows the message box and raises an error.
  host.boxes.clear();
  EXPECT_EQ(run("Measure", {x}), "Unknown action 'Measure': Anglepick's actions are LoadData, LoadProto, EstimateMissing, "
                                 "SaveData, SaveDataBirch, SaveAveData and Clear");
  ASSERT_EQ(host.boxes.size(), 1u);
  EXPECT_EQ(host.boxes[0].text, "Hopelessly lost, send help!");
  EXPECT_EQ(host.boxes[0].title, "In truth,can none save me?");
  EXPECT_FALSE(std::filesystem::exists(x));
  // The three saves ask with their own titles and write their own layouts.
  EXPECT_EQ(run("SaveDataBirch", {x}), "no error");
  EXPECT_EQ(host.dialogs.back(), "File Name for All Angular data, t-p-slab, Birch Format");
  const std::string birch = content(x);
  EXPECT_EQ(birch.substr(0, birch.find('\n')).find("specimen"), std::string::npos);
  EXPECT_EQ(run("SaveData", {x}), "no error");
  EXPECT_EQ(host.dialogs.back(), "File Name for All Angular data, t-p-slab");
  EXPECT_NE(content(x).find("\t2\t % specimen 1 (ind29_rep1)\n"), std::string::npos);
}
