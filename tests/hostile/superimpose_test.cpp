// superimpose --estimate-missing run as a user runs it: the bundled sample
// with landmarks cut out, in rows and in TPS. What it prints, writes and
// marks must agree, and what it cannot do it refuses by name.

#include "tests/hostile/hostile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

namespace {

using hostile::Case;
using hostile::Verdict;

std::string sample(const std::string& name) { return hostile::read(hostile::example("deformed_sample/" + name)); }

// The sample's lines with the numbers at word positions `words` (from 0) of
// line `line` (from 1) replaced by `code`: landmarks cut out.
std::string cut(const std::string& text, const std::vector<std::pair<int, std::vector<int>>>& where,
                const std::string& code) {
  std::istringstream in(text);
  std::string out, line;
  for (int n = 1; std::getline(in, line); ++n) {
    for (const auto& [at, words] : where) {
      if (at != n) continue;
      std::istringstream w(line);
      std::vector<std::string> word;
      for (std::string s; w >> s;) word.push_back(s);
      for (int i : words) word[static_cast<std::size_t>(i)] = code;
      line.clear();
      for (const std::string& s : word) line += s + " ";
    }
    out += line + "\n";
  }
  return out;
}

// Rows 3 and 7 lose landmark 5, and landmarks 1 and 6.
std::string cutrows() { return cut(sample("deformed.txt"), {{3, {8, 9}}, {7, {0, 1, 10, 11}}}, "NaN"); }

// Specimen 2 of the TPS sample loses landmark 5, specimen 4 the pair 9-10
// (lines 19 + 5 and 55 + 9, 55 + 10).
std::string cuttps() { return cut(sample("deformed.tps"), {{24, {0, 1}}, {64, {0, 1}}, {65, {0, 1}}}, "-1"); }

// Specimen 3 (its LM= on line 37) keeps only landmarks 1 and 2.
std::string twoleft() {
  std::vector<std::pair<int, std::vector<int>>> where;
  for (int line = 40; line <= 51; ++line) where.push_back({line, {0, 1}});
  return cut(sample("deformed.tps"), where, "-1");
}

std::string contains(const std::string& text, const std::string& what, const std::string& where) {
  return text.find(what) != std::string::npos ? "" : where + " should hold '" + what + "'";
}

const std::vector<Case>& cases() {
  static const std::vector<Case> table = {
      {"tps on a row file with NaN landmarks writes them, their list and reports each", "superimpose",
       {{"cut.txt", cutrows()}}, "", Verdict::Accepted, {},
       [](const hostile::fs::path& folder, const hostile::Outcome& o) {
         const std::string rows = hostile::read(folder / "out.txt");
         std::string why = contains(o.out, "specimen 7: landmark 6 estimated by tps (expected error 0.08 % of "
                                           "centroid size)\n", "stdout");
         if (why.empty()) why = contains(o.out, "Estimated 3 of 3 missing landmarks by tps\n", "stdout");
         if (why.empty() && rows.find("NaN") != std::string::npos) why = "out.txt still holds NaN";
         // A value nothing changed keeps its value to the last digit
         // (14877.78 read, 14877.78 written, not %g's 14877.8).
         if (why.empty()) why = contains(rows, "\n14877.78 12135.9 15233.35 12341.5 ", "out.txt");
         const std::string listed = hostile::read(folder / "out.txt.estimated");
         if (why.empty() && (!listed.starts_with("% sidecar of 'out.txt': 60 rows, checksum ") ||
                             !listed.ends_with("\n% estimated landmarks: specimen row, landmark (both numbered from "
                                               "1), method\n3 5 tps\n7 1 tps\n7 6 tps\n")))
           why = "out.txt.estimated does not say whose it is and list rows 3 and 7";
         return why;
       },
       {"--estimate-missing", "tps", "cut.txt", "out.txt"}},
      {"mirror on a TPS file marks its estimates with COMMENT= and keeps what it cannot place missing",
       "superimpose", {{"cut.tps", cuttps()}, {"pairs.txt", sample("pairs.txt")}}, "", Verdict::Partial,
       {"2 of the 3 missing landmarks were left missing"},
       [](const hostile::fs::path& folder, const hostile::Outcome& o) {
         const std::string tps = hostile::read(folder / "out.tps");
         std::string why = contains(o.out, "specimen 2 (2): landmark 5 estimated by mirror\n", "stdout");
         if (why.empty())
           why = contains(o.out, "specimen 4 (4): landmark 10 not estimated (its partner 9 is missing too)\n",
                          "stdout");
         if (why.empty()) why = contains(tps, "ID=2\nSCALE=0.0125\nCOMMENT=estimated landmark 5 (mirror)\nLM=", "out.tps");
         if (why.empty()) why = contains(tps, "-1  -1 \n-1  -1 \n", "out.tps");
         if (why.empty()) why = contains(tps, "IMAGE=slab_A_004.jpg\nID=4\nSCALE=0.0125\nLM=", "out.tps");
         return why;
       },
       {"--estimate-missing", "mirror", "--pairs", "pairs.txt", "cut.tps", "out.tps"}},
      {"mirror without a pair list", "superimpose", {{"cut.txt", cutrows()}}, "", Verdict::Refused,
       {"mirror needs the pair list", "--pairs"}, {}, {"--estimate-missing", "mirror", "cut.txt", "out.txt"}},
      {"tps on a specimen with two landmarks left keeps it missing, names it and says so in its status", "superimpose",
       {{"cut.tps", twoleft()}}, "", Verdict::Partial, {"12 of the 12 missing landmarks were left missing"},
       [](const hostile::fs::path& folder, const hostile::Outcome& o) {
         std::string why = contains(o.out, "specimen 3 (3): landmarks 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13 and 14 not "
                                           "estimated (only 2 landmarks are present, and a thin-plate spline needs "
                                           "three)\n", "stdout");
         // The refused specimen is written with its 12 landmarks missing.
         const std::string tps = hostile::read(folder / "out.tps");
         std::size_t lost = 0;
         for (std::size_t at = 0; (at = tps.find("\n-1  -1 \n", at)) != std::string::npos; ++at) ++lost;
         if (why.empty() && lost != 12) why = "out.tps holds " + std::to_string(lost) + " missing points, not 12";
         return why;
       },
       {"--estimate-missing", "tps", "cut.tps", "out.tps"}},
  };
  return table;
}

// Every specimen of the sample's rows lacks one landmark: none is complete.
std::string holes() {
  std::vector<std::pair<int, std::vector<int>>> where;
  for (int line = 1; line <= 60; ++line) where.push_back({line, {2 * (line % 14), 2 * (line % 14) + 1}});
  return cut(sample("deformed.txt"), where, "NaN");
}

// The options besides the estimates, each on the bundled sample.
const std::vector<Case>& options() {
  static const std::vector<Case> table = {
      {"-s writes the superimposed rows with their identities, saying whose they are", "superimpose",
       {{"deformed.tps", sample("deformed.tps")}}, "", Verdict::Accepted, {},
       [](const hostile::fs::path& folder, const hostile::Outcome&) {
         const std::string ids = hostile::read(folder / "sup.txt.ids");
         if (!ids.starts_with("% sidecar of 'sup.txt': 60 rows, checksum "))
           return std::string("sup.txt.ids says not whose it is");
         return contains(ids, "\nIMAGE=slab_A_001.jpg\tID=1\tSCALE=0.0125\n", "sup.txt.ids");
       },
       {"deformed.tps", "-s", "sup.txt"}},
      {"--apply-scale scales, and a TPS written from it carries SCALE=1 and the value read", "superimpose",
       {{"deformed.tps", sample("deformed.tps")}}, "", Verdict::Accepted, {},
       [](const hostile::fs::path& folder, const hostile::Outcome& o) {
         std::string why = contains(o.out, "Coordinates multiplied by each specimen's SCALE=\n", "stdout");
         if (why.empty())
           why = contains(hostile::read(folder / "sup.tps"),
                          "IMAGE=slab_A_001.jpg\nID=1\nSCALE=1\nCOMMENT=coordinates multiplied by SCALE=0.0125 when "
                          "read\nLM=14\n",
                          "sup.tps");
         return why;
       },
       {"--apply-scale", "deformed.tps", "-s", "sup.tps"}},
      {"-d leaves a specimen's missing landmarks out of its distance and says so", "superimpose",
       {{"cut.tps", cuttps()}, {"deformed.tps", sample("deformed.tps")}}, "", Verdict::Accepted, {},
       [](const hostile::fs::path&, const hostile::Outcome& o) {
         const double d = std::strtod(o.out.c_str(), nullptr);
         if (!(d > 0.01 && d < 1) || o.out.find('\n') != o.out.size() - 1) return "stdout is no distance: " + o.out;
         return contains(o.err, "note: a specimen's missing landmarks are left out of its distance", "stderr");
       },
       {"cut.tps", "-d", "deformed.tps"}},
      {"-d refuses a reference that lacks a landmark, naming it", "superimpose",
       {{"deformed.tps", sample("deformed.tps")}, {"ref.tps", cut(sample("deformed.tps"), {{2, {0, 1}}}, "-1")}}, "",
       Verdict::Refused, {"the reference, the first specimen of 'ref.tps', lacks landmark 1"}, {},
       {"deformed.tps", "-d", "ref.tps"}},
      {"a data set without one complete specimen is superimposed all the same", "superimpose",
       {{"holes.txt", holes()}}, "", Verdict::Accepted, {},
       [](const hostile::fs::path& folder, const hostile::Outcome& o) {
         std::string why = contains(o.out, "60 landmarks are missing in 60 specimens (-1 -1, NaN and NA are missing)",
                                    "stdout");
         if (why.empty() && hostile::read(folder / "c.txt").find("NaN") != std::string::npos)
           why = "the consensus lacks a landmark";
         return why;
       },
       {"holes.txt", "-c", "c.txt"}},
      {"--negative-missing reads a point with a negative coordinate as missing and says by which rule",
       "superimpose", {{"neg.txt", cut(sample("deformed.txt"), {{5, {4}}}, "-7")}}, "", Verdict::Accepted, {},
       [](const hostile::fs::path&, const hostile::Outcome& o) {
         return contains(o.out, "1 landmark is missing in 1 specimen (points with a negative coordinate, NaN and NA "
                                "are missing): specimen 5 lacks 3.",
                         "stdout");
       },
       {"--negative-missing", "neg.txt", "-c", "c.txt"}},
      {"the trilobite file: all 13 incomplete specimens estimated, coincident landmarks and all", "superimpose",
       {{"t.tps", hostile::read(hostile::example("trilomorph_cephala/cephala_tpsdig_all.tps"))}}, "",
       Verdict::Accepted, {},
       [](const hostile::fs::path&, const hostile::Outcome& o) {
         std::string why = contains(o.out, "Estimated 39 of 39 missing landmarks by auto (blend 39)\n", "stdout");
         if (why.empty())
           why = contains(o.out, "specimen 4 (Alberti_1983-7.87): landmark 8 estimated by blend, chosen by auto "
                                 "(expected error 2.11 % of centroid size)\n",
                          "stdout");
         return why;
       },
       {"--estimate-missing", "auto", "t.tps", "out.tps"}},
  };
  return table;
}

} // namespace

HOSTILE_CASES(superimposeestimate, cases);
HOSTILE_CASES(superimposeoptions, options);
