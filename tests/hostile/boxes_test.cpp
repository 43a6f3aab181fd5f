// Numbers typed into the edit boxes of every program: values no analysis
// can use (too large, of the wrong kind, beyond an int) are refused by the
// box that holds them, with the value and what the box takes, before they
// can overflow into a message that blames something else.

#include "tests/hostile/hostile.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using hostile::Case;
using hostile::Verdict;

const std::string data = hostile::example("deformed_sample/deformed.txt");
const std::string tps = hostile::example("deformed_sample/deformed.tps");
const std::string exemplars =
    "Load1 " + hostile::example("tectsim/start.txt") + "\nLoad2 " + hostile::example("tectsim/end.txt") + "\n";

// Restrain's typed strain, with the data it would retrodeform.
std::string retrouser(const std::string& r, const std::string& theta, const std::string& b1, const std::string& b2) {
  return "Load " + data + "\nset UserR " + r + "\nset UserTheta " + theta + "\nset BaseBox1 " + b1 + "\nset BaseBox2 " +
         b2 + "\nDoRetroUser\nSave out.txt\n";
}

std::string build(const std::string& box, const std::string& value) {
  std::string s = exemplars + "set NumBox 20\nset AmpBox 0.01\nset DefBox 1.5\nset AngleBox 30\nset NaxisBox 1\n";
  return s + "set " + box + " " + value + "\nBuildModels\nSaveCData c.txt\n";
}

Case refused(std::string name, std::string program, std::string script, std::vector<std::string> culprit) {
  return {std::move(name), std::move(program), {}, std::move(script), Verdict::Refused, std::move(culprit)};
}

const std::vector<Case>& cases() {
  static const std::vector<Case> table = {
      // Restrain.
      refused("UserR 1e308", "restrain", retrouser("1e308", "30", "1", "2"),
              {"The box UserR (strain ratio R) holds '1e308', which is not a positive number from 0.001 to 1000"}),
      refused("UserR 1e-300", "restrain", retrouser("1e-300", "30", "1", "2"), {"UserR", "'1e-300'"}),
      refused("UserR inf", "restrain", retrouser("inf", "30", "1", "2"), {"UserR", "which is not a number"}),
      refused("UserR negative keeps its own words", "restrain", retrouser("-2", "30", "1", "2"),
              {"The strain ratio R must be a positive number; it is -2"}),
      refused("UserTheta 1e308", "restrain", retrouser("1.5", "1e308", "1", "2"),
              {"The box UserTheta", "'1e308'", "from -360 to 360"}),
      refused("UserTheta two numbers", "restrain", retrouser("1.5", "30 40", "1", "2"), {"UserTheta", "'30 40'"}),
      refused("BaseBox2 1e20", "restrain", retrouser("1.5", "30", "1", "1e20"),
              {"The box BaseBox2 (second baseline landmark) holds '1e20', which is not a whole number"}),
      refused("BaseBox1 minus 1e20", "restrain", retrouser("1.5", "30", "-1e20", "4"), {"BaseBox1", "'-1e20'"}),
      refused("BaseBox1 2.5", "restrain", retrouser("1.5", "30", "2.5", "4"), {"BaseBox1", "'2.5'", "whole number"}),
      refused("UserRetroTPS with UserR 1e308", "restrain", "LoadTPS " + tps + "\nset UserR 1e308\nset UserTheta 0\nUserRetroTPS\n",
              {"UserR", "'1e308'"}),
      refused("PBox minus 3", "restrain", "set PBox -3\nPermuteWellman\n", {"PBox", "'-3'"}),

      // Tectsim.
      refused("AmpBox 1e308", "tectsim", build("AmpBox", "1e308"),
              {"The box AmpBox (noise amplitude) holds '1e308', which is not a number from 0 to 1000"}),
      refused("AmpBox negative", "tectsim", build("AmpBox", "-0.1"), {"AmpBox", "'-0.1'"}),
      refused("DefBox 1e308", "tectsim", build("DefBox", "1e308"),
              {"The box DefBox (deformation amount) holds '1e308', which is not a positive number from 0.001 to 1000"}),
      refused("DefBox 0", "tectsim", build("DefBox", "0"), {"DefBox", "'0'", "positive number"}),
      refused("AngleBox 1e308", "tectsim", build("AngleBox", "1e308"), {"AngleBox", "'1e308'", "from -360 to 360"}),
      refused("NaxisBox 1e20", "tectsim", build("NaxisBox", "1e20"),
              {"The box NaxisBox (principal axes to remove) holds '1e20', which is not a list of whole numbers"}),
      refused("NaxisBox 1.5", "tectsim", build("NaxisBox", "[1 1.5]"), {"NaxisBox", "'[1 1.5]'"}),
      refused("NumBox 2.5", "tectsim", build("NumBox", "2.5"), {"NumBox", "'2.5'", "whole number"}),
      refused("NumBox 1e308", "tectsim", build("NumBox", "1e308"), {"NumBox", "'1e308'", "100000 specimens"}),

      // Symrestore and Anglepick, through the same reading of a box.
      refused("Symrestore StrainBox 1e308", "symrestore", "set StrainBox 1e308\nRetroStrain\n",
              {"The box StrainBox (stretch e = √R) holds '1e308', which is not a positive number of at most 1000000"}),
      refused("Symrestore PCABox 1e20", "symrestore", "LoadData " + data + "\nset PCABox 1e20\nUndeformPCA\nSave out.txt\n",
              {"PCABox", "1e20"}),
      refused("Anglepick SlabBox 1e20", "anglepick",
              "LoadData " + tps + "\nLoadProto " + hostile::example("deformed_sample/protocol.txt") +
                  "\nset SlabBox 1e20\nSaveData out.txt\n",
              {"The box SlabBox (slab number) holds '1e20', which is not a whole number from -1000000 to 1000000"}),
  };
  return table;
}

HOSTILE_CASES(boxes, cases);

} // namespace
