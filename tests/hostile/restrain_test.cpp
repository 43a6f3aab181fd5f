// Restrain on damaged angle files, fits that explain nothing, permutation
// counts beyond a working session and misspelt actions: each refused with
// the file and line, the box and value, or the action named, and nothing
// written; or run and warned of.

#include "tests/hostile/hostile.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using hostile::Case;
using hostile::Verdict;

std::string repeat(const std::string& line, int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += line;
  return s;
}

// One line per specimen of the deformed sample (60), as Anglepick's
// SaveAveData writes it: t, mean p, slab and the specimen in a comment.
std::string perspecimen() {
  std::string s;
  for (int i = 1; i <= 60; ++i) s += std::to_string(20 + i) + ".5\t8" + std::to_string(i % 10) + ".25\t1\t % specimen " + std::to_string(i) + "\n";
  return s;
}

const std::string data = hostile::example("deformed_sample/deformed.txt");
const std::string same = repeat("30 60\n", 300);

std::string contains(const hostile::Outcome& o, const std::string& text) {
  return o.out.find(text) == std::string::npos ? "standard output does not hold '" + text + "'" : "";
}

const std::vector<Case>& cases() {
  static const std::vector<Case> table = {
      // Angle files: columns and values checked before anything is kept.
      {"per specimen angles of one column", "restrain", {{"t.txt", "40\n50\n60\n"}},
       "Load " + data + "\nLoadDataTP t.txt\nDoRetro\n", Verdict::Refused,
       {"The angle file 't.txt' (specimen t, p), line 1, holds 1 number", "t and p"}},
      {"pooled angles of one column", "restrain", {{"t.txt", "40\n50\n60\n"}}, "LoadAllTP t.txt\nDoWellman\n",
       Verdict::Refused, {"'t.txt' (pooled t, p), line 1, holds 1 number"}},
      {"landmark data loaded as per specimen angles", "restrain", {}, "Load " + data + "\nLoadDataTP " + data + "\n",
       Verdict::Refused, {"'deformed.txt' (specimen t, p), line 1, column 1 holds 11231.4", "; with 29 numbers per line it looks like landmark data (14 landmarks and a size slot)"}},
      {"landmark data loaded as pooled angles", "restrain", {}, "LoadAllTP " + data + "\nDoWellman\n", Verdict::Refused,
       {"(pooled t, p)", "looks like landmark data"}},
      {"landmark rows whose numbers all look like angles", "restrain",
       {{"lm.txt", repeat("10 20 30 40 50 60 1\n", 5)}}, "LoadDataTP lm.txt\n", Verdict::Refused,
       {"'lm.txt' (specimen t, p) holds 7 numbers per line, so it looks like landmark data (3 landmarks and a size slot)"}},
      {"a negative bearing on line 3", "restrain", {{"a.txt", "30 60\n40 70\n-5 80\n50 65\n"}},
       "LoadAllTP a.txt\nDoWellman\n", Verdict::Refused,
       {"'a.txt' (pooled t, p), line 3, column 1 holds -5, which is not an angle in degrees from 0 to 360"}},
      {"an angle of 400 degrees", "restrain", {{"a.txt", "30 60 1\n40 400 1\n50 65 1\n"}},
       "LoadAllTP a.txt\n", Verdict::Refused, {"line 2, column 2 holds 400"}},
      {"Anglepick's per specimen file with slab and comment is taken", "restrain", {{"ave.txt", perspecimen()}},
       "Load " + data + "\nLoadDataTP ave.txt\n", Verdict::Accepted, {},
       [](const hostile::fs::path&, const hostile::Outcome& o) { return contains(o, "t and mean p of 60 specimens"); }},

      // A fit that explains nothing: warned of, and not used by DoRetro.
      {"identical pooled angles fitted", "restrain", {{"same.txt", same}}, "LoadAllTP same.txt\nDoWellman\n",
       Verdict::Accepted, {},
       [](const hostile::fs::path&, const hostile::Outcome& o) {
         return contains(o, "WARNING: the 300 vertices lie on too few distinct points to determine a conic");
       }},
      {"identical pooled angles drive a retrodeformation", "restrain",
       {{"same.txt", same}, {"ave.txt", perspecimen()}},
       "Load " + data + "\nLoadDataTP ave.txt\nLoadAllTP same.txt\nset BaseBox1 1\nset BaseBox2 2\nDoRetro\nSave out.txt\n",
       Verdict::Refused, {"The fitted strain cannot be removed: the 300 vertices lie on too few distinct points", "use Data with R, θ′"}},
      {"identical pooled angles permuted", "restrain", {{"same.txt", same}},
       "LoadAllTP same.txt\nset PBox 40\nPermuteWellman\n", Verdict::Accepted, {},
       [](const hostile::fs::path&, const hostile::Outcome& o) { return contains(o, "; \"Data with fitted strain\" will not use this fit."); }},
      {"identical pooled angles with a typed strain", "restrain",
       {{"same.txt", same}, {"ave.txt", perspecimen()}},
       "Load " + data + "\nLoadDataTP ave.txt\nLoadAllTP same.txt\nset BaseBox1 1\nset BaseBox2 2\nset UserR 1.5\n"
       "set UserTheta 30\nDoRetroUser\nSave out.txt\n",
       Verdict::Accepted, {},
       [](const hostile::fs::path& folder, const hostile::Outcome&) -> std::string {
         return hostile::read(folder / "out.txt").empty() ? "out.txt is empty" : "";
       }},

      // Permutation counts.
      {"a hundred million permutations", "restrain", {{"same.txt", same}},
       "LoadAllTP same.txt\nset PBox 1e8\nPermuteWellman\n", Verdict::Refused,
       {"The box PBox (number of permutations) holds '1e8', which is not a whole number from 0 to 10000000"}},
      {"one permutation past the limit before any angles", "restrain", {}, "set PBox 10000001\nPermuteWellman\n",
       Verdict::Refused, {"PBox", "'10000001'", "10000000"}},
      {"too few permutations for a range", "restrain", {{"same.txt", same}},
       "LoadAllTP same.txt\nset PBox 39\nPermuteWellman\n", Verdict::Refused, {"at least 40 permutations"}},

      // Misspelt actions stop the script.
      {"a misspelt DoWellman", "restrain", {{"same.txt", same}}, "LoadAllTP same.txt\nDoWelman\nSave out.txt\n",
       Verdict::Refused, {"Unknown action 'DoWelman'", "case.script, line 2"}},
      {"an action of another program", "restrain", {}, "BuildModels\n", Verdict::Refused, {"Unknown action 'BuildModels'"}},
  };
  return table;
}

HOSTILE_CASES(restrainhostile, cases);

} // namespace
