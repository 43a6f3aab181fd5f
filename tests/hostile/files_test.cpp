// Damaged input files: a TPS block with a point too many, coordinates that
// are not finite numbers, keys hidden in other keys' values, byte-order
// marks, numbers beyond the range of a double. Each is refused naming the
// file, its block or line and the value, or read as it was meant.

#include "tests/hostile/hostile.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using hostile::Case;
using hostile::Verdict;

const std::string bom = "\xEF\xBB\xBF";

std::string sample(const std::string& name) { return hostile::read(hostile::example("deformed_sample/" + name)); }

// The bundled TPS sample with its first occurrence of `from` made `to`.
std::string tps(const std::string& from, const std::string& to) {
  std::string text = sample("deformed.tps");
  const std::size_t at = text.find(from);
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

// Anglepick's whole chain on a TPS file: every specimen measured.
std::string anglepickchain(const std::string& protocol = hostile::example("deformed_sample/protocol.txt")) {
  return "LoadData in.tps\nLoadProto " + protocol + "\nSaveAveData means.txt\n";
}

std::string sixtyrows(const hostile::fs::path& folder, const hostile::Outcome&) {
  const std::string text = hostile::read(folder / "means.txt");
  return std::count(text.begin(), text.end(), '\n') == 60 ? "" : "means.txt should hold 60 rows";
}

const std::vector<Case>& cases() {
  static const std::vector<Case> table = [] {
    std::vector<Case> t = {
        // A point too many: it was dropped, or taken as the next specimen's.
        {"TPS block with one point more than its LM count", "anglepick",
         {{"in.tps", tps("11692.86 11946.80\n", "11692.86 11946.80\n11000 12000\n")}}, "LoadData in.tps\n",
         Verdict::Refused, {"in.tps', block 1 (line 1)", "more than the 28 numbers", "'11000' on line 16"}},
        {"Restrain TPS block with one point more than its LM count", "restrain",
         {{"in.tps", tps("ID=2\n", "ID=2\n")}}, "", Verdict::Refused, {}},
        // Keys inside another key's value are not keys.
        {"TPS image name holding film=", "anglepick",
         {{"in.tps", tps("IMAGE=slab_A_001.jpg", "IMAGE=film=14.jpg")}}, anglepickchain(), Verdict::Accepted, {},
         sixtyrows},
        {"TPS image name holding LM=3", "anglepick", {{"in.tps", tps("IMAGE=slab_A_001.jpg", "IMAGE=LM=3.jpg")}},
         anglepickchain(), Verdict::Accepted, {}, sixtyrows},
        // Byte-order marks before the first key, row or command.
        {"TPS file starting with a byte-order mark", "anglepick", {{"in.tps", bom + sample("deformed.tps")}},
         anglepickchain(), Verdict::Accepted, {}, sixtyrows},
        {"Protocol file starting with a byte-order mark", "anglepick",
         {{"in.tps", sample("deformed.tps")}, {"proto.txt", bom + sample("protocol.txt")}}, anglepickchain("proto.txt"),
         Verdict::Accepted, {}, sixtyrows},
        {"Row-format data set and pair file starting with a byte-order mark", "symrestore",
         {{"data.txt", bom + sample("deformed.txt")}, {"pairs.txt", bom + sample("pairs.txt")}},
         "LoadData data.txt\nLoadProto pairs.txt\nUndeformUni\nSave out.txt\n", Verdict::Accepted, {},
         [](const hostile::fs::path& folder, const hostile::Outcome&) -> std::string {
           const std::string text = hostile::read(folder / "out.txt");
           return std::count(text.begin(), text.end(), '\n') == 60 ? "" : "out.txt should hold 60 rows";
         }},
        {"Tectsim exemplar starting with a byte-order mark", "tectsim",
         {{"start.txt", bom + hostile::read(hostile::example("tectsim/start.txt"))}}, "Load1 start.txt\n",
         Verdict::Accepted, {}},
        // A number no double holds is damage, not infinity.
        {"Row-format data set with 1e400", "symrestore", {{"data.txt", "1 2 1e400 4 5 6 1\n1 2 3 4 5 6 1\n"}},
         "LoadData data.txt\n", Verdict::Refused, {"data.txt', line 1, column 5", "'1e400' is beyond the range"}},
        {"Tectsim exemplar with -1e999", "tectsim", {{"start.txt", "0 0 1 0 -1e999 1 1\n"}}, "Load1 start.txt\n",
         Verdict::Refused, {"start.txt', line 1", "'-1e999' is beyond the range"}},
    };
    // Restrain reads the TPS file with the same reader: one case of the
    // point too many there as well.
    t[1].files = {{"in.tps", tps("11692.86 11946.80\n", "11692.86 11946.80\n11000 12000\n")}};
    t[1].script = "LoadTPS in.tps\n";
    t[1].culprit = {"in.tps', block 1 (line 1)", "is one too many"};
    // Every value that is not a finite number, named as written with its
    // line (-inf was once taken as a coordinate).
    const std::vector<std::pair<std::string, std::string>> values = {
        {"inf", "inf"}, {"-inf", "minus inf"}, {"nan", "nan"}, {"1e400", "1e400"}, {"-1E999", "minus 1E999"}};
    for (const auto& [value, said] : values)
      t.push_back({"TPS coordinate " + said, "anglepick", {{"in.tps", tps("11231.43 13106.76", value + " 13106.76")}},
                   "LoadData in.tps\n", Verdict::Refused,
                   {"in.tps', block 1 (line 1): '" + value + "' on line 2 is not a finite number"}});
    t.push_back({"TPS coordinate inf in a later block", "anglepick",
                 {{"in.tps", tps("14877.78 12135.90", "14877.78 inf")}}, "LoadData in.tps\n", Verdict::Refused,
                 {"block 2 (line 19): 'inf' on line 20 is not a finite number"}});
    // Input that is no file: a device never ends, a folder has no text.
    const std::vector<std::pair<std::string, std::string>> loads = {
        {"anglepick", "LoadData"}, {"restrain", "LoadAllTP"}, {"symrestore", "LoadData"}, {"tectsim", "Load1"}};
    for (const auto& [program, action] : loads) {
      t.push_back({program + " " + action + " of a device", program, {}, action + " /dev/zero\n", Verdict::Refused,
                   {"Cannot read file '/dev/zero': it is a device, not a regular file"}});
      t.push_back({program + " " + action + " of a folder", program, {}, action + " " + hostile::example("") + "\n",
                   Verdict::Refused, {"it is a folder"}});
    }
    return t;
  }();
  return table;
}

HOSTILE_CASES(files, cases);

// A FIFO with no writer once held a load for ever; should it again, the
// test hangs until ctest's per-test timeout fails it.
TEST(fifo, GivenAsDataIsRefusedAtOnce) {
  const auto folder = hostile::scratch("fifo");
  ASSERT_EQ(::mkfifo((folder / "in.tps").c_str(), 0600), 0);
  hostile::write(folder / "case.script", "LoadData in.tps\n");
  const hostile::Outcome o = hostile::run("anglepick", {"--quiet", "--run", "case.script"}, folder);
  ASSERT_TRUE(o.finished) << "the load waited for a writer";
  EXPECT_EQ(o.status, 1);
  EXPECT_NE(o.err.find("in.tps': it is a FIFO, not a regular file"), std::string::npos) << o.err;
}

} // namespace
