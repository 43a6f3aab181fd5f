// The demonstration chain as a person runs it after a build: the five
// programs on the bundled deformed sample, every file into one folder. The
// run must end cleanly, find the strain the sample was made with, and leave
// every file it lists readable by the suite's own readers.
//
// The chain runs once per process and the cases below look at different
// parts of what it left behind.

#include "core/angles.h"
#include "io/row_file.h"
#include "io/tps_file.h"
#include "tests/support/test_support.h"

#include <QColor>
#include <QImage>
#include <QProcess>
#include <QSet>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct ChainRun {
  bool finished = false; // ended by itself, neither crashed nor hung
  int exitcode = -1;
  std::string out, err;
};

// Runs the chain with `bin` as its programs' folder into `folder`.
ChainRun runchain(const fs::path& bin, const fs::path& folder) {
  QProcess p;
  p.setProgram("bash");
  p.setArguments({TECTO_DEMO_CHAIN, "--bin", QString::fromStdString(bin.string()), "--examples", TECTO_EXAMPLES_DIR,
                  QString::fromStdString(folder.string())});
  p.start();
  ChainRun r;
  // No limit of its own: ctest's timeout covers a slow (sanitized) build.
  if (!p.waitForStarted() || !p.waitForFinished(-1)) return r;
  r.finished = p.exitStatus() == QProcess::NormalExit;
  r.exitcode = p.exitCode();
  r.out = p.readAllStandardOutput().toStdString();
  r.err = p.readAllStandardError().toStdString();
  return r;
}

std::string readtext(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

struct Listed {
  std::string name, description;
};

// The closing list of the chain's output: "== Files in FOLDER" and then one
// line "  NAME  description" per file.
struct Listing {
  std::string folder;
  std::vector<Listed> files;
};

Listing listing(const std::string& out) {
  Listing l;
  std::istringstream in(out);
  std::string line;
  bool inlist = false;
  static const std::regex entry(R"(^  (\S+) +(\S.*)$)");
  while (std::getline(in, line)) {
    if (line.rfind("== Files in ", 0) == 0) {
      inlist = true;
      l.folder = line.substr(12);
      continue;
    }
    std::smatch m;
    if (inlist && std::regex_match(line, m, entry)) l.files.push_back({m[1], m[2]});
  }
  return l;
}

// The real run, shared by the cases below.
struct Demo {
  fs::path folder;
  ChainRun run;
  Listing list;
};

const Demo& demo() {
  static const Demo d = [] {
    Demo x;
    x.folder = fs::path(testsupport::temppath("demo-output"));
    x.run = runchain(TECTO_BIN_DIR, x.folder);
    x.list = listing(x.run.out);
    return x;
  }();
  return d;
}

// The value after `key` on its line of truth.txt ("R 1.8", "theta' 35").
double truth(const std::string& key) {
  std::istringstream in(readtext(testsupport::example("deformed_sample/truth.txt")));
  std::string k;
  double v;
  while (in >> k >> v)
    if (k == key) return v;
  ADD_FAILURE() << "no " << key << " in truth.txt";
  return std::nan("");
}

// Strain bearings are axes: theta' and theta' + 180 are the same strain.
// Degrees as reported.
double axisdifference(double a, double b) {
  return std::fabs(core::axialdifference(core::Bearing::degrees(a), core::Bearing::degrees(b)).deg());
}

TEST(DemoChain, EndsCleanlyAndListsExactlyTheFilesItWrote) {
  const Demo& d = demo();
  ASSERT_TRUE(d.run.finished) << d.run.err;
  ASSERT_EQ(d.run.exitcode, 0) << d.run.err;
  EXPECT_TRUE(fs::equivalent(d.list.folder, d.folder)) << d.list.folder;
  ASSERT_FALSE(d.list.files.empty()) << d.run.out;

  std::set<std::string> listed, present;
  for (const Listed& f : d.list.files) {
    EXPECT_TRUE(listed.insert(f.name).second) << f.name << " is listed twice";
    EXPECT_FALSE(f.description.empty()) << f.name;
  }
  for (const fs::directory_entry& e : fs::directory_iterator(d.folder)) present.insert(e.path().filename().string());
  EXPECT_EQ(listed, present) << "every file written should be listed, and no other";
}

TEST(DemoChain, FitsTheSampleStrainWithBothMethods) {
  const Demo& d = demo();
  ASSERT_EQ(d.run.exitcode, 0) << d.run.err;
  const double R = truth("R"), theta = truth("theta'");
  const std::string report = readtext(d.folder / "restrain-report.txt");
  // Restrain's message box of DoWellman: "ANALYTIC METHOD: The R value was
  // 1.7999, θ′ was 35.0120, using ..." and the same for the numerical fit.
  static const std::regex fit(R"((ANALYTIC|NUMERICAL) METHOD: The R value was\s*([^,\s]+), θ′ was\s*([^,\s]+),)");
  std::map<std::string, std::pair<double, double>> fits;
  for (auto it = std::sregex_iterator(report.begin(), report.end(), fit); it != std::sregex_iterator(); ++it)
    fits[(*it)[1]] = {std::strtod((*it)[2].str().c_str(), nullptr), std::strtod((*it)[3].str().c_str(), nullptr)};
  ASSERT_EQ(fits.size(), 2u) << report;
  for (const auto& [method, f] : fits) {
    SCOPED_TRACE(method);
    EXPECT_LE(std::fabs(f.first - R), 0.01 * R) << "R = " << f.first << ", true " << R;
    EXPECT_LE(axisdifference(f.second, theta), 1.0) << "theta' = " << f.second << ", true " << theta;
  }
  // What the report holds is what the chain printed as it ran.
  EXPECT_NE(d.run.out.find(report), std::string::npos);
}

TEST(DemoChain, DataFilesReadBackWithTheirShapes) {
  const Demo& d = demo();
  ASSERT_EQ(d.run.exitcode, 0) << d.run.err;
  // The shapes follow from the inputs: the sample's specimens and landmark
  // columns, its protocol's pairs (rows whose second entry is a landmark),
  // the exemplars' columns and the 200 specimens the chain asks Tectsim for.
  const Eigen::MatrixXd sample = io::dload(testsupport::example("deformed_sample/deformed.txt"));
  const Eigen::MatrixXd protocol = io::dload(testsupport::example("deformed_sample/protocol.txt"));
  const Eigen::Index n = sample.rows(), cols = sample.cols();
  const Eigen::Index pairs = (protocol.col(1).array() != 0).count();
  const Eigen::Index simcols = io::dload(testsupport::example("tectsim/start.txt")).cols();
  ASSERT_GT(pairs, 0);
  const std::map<std::string, std::pair<Eigen::Index, Eigen::Index>> shapes = {
      {"angles-all.txt", {n * pairs, 3}},
      {"angles-birch.txt", {n * pairs, 2}},
      {"angles-means.txt", {n, 3}},
      {"restrain-retrodeformed.txt", {n, cols}},
      {"restrain-retrodeformed-true-strain.txt", {n, cols}},
      {"symrestore-symmetry.txt", {n, cols}},
      {"symrestore-given-strain.txt", {n, cols}},
      {"symrestore-uniform.txt", {n, cols}},
      {"symrestore-pca.txt", {n, cols}},
      {"tectsim-clean.txt", {200, simcols}},
      {"tectsim-deformed-noisy.txt", {200, simcols}},
      {"tectsim-retrodeformed-noisy.txt", {200, simcols}},
  };
  const std::set<std::string> prose = {"restrain-report.txt", "tectsim-console.txt", "tectsim-report.txt"};

  std::size_t checked = 0; // row-format data files
  for (const Listed& f : d.list.files) {
    const fs::path path = d.folder / f.name;
    const std::string ext = path.extension().string();
    if (ext == ".tps") {
      SCOPED_TRACE(f.name);
      const core::Specimens t = io::readtpsfile(path.string());
      EXPECT_EQ(t.n(), n);
      EXPECT_EQ(t.matrix().cols(), cols);
      EXPECT_TRUE(t.matrix().allFinite());
    } else if (ext == ".txt" && !prose.count(f.name)) {
      SCOPED_TRACE(f.name);
      const auto shape = shapes.find(f.name);
      if (shape == shapes.end()) {
        ADD_FAILURE() << "no expected shape for the data file " << f.name;
        continue;
      }
      Eigen::MatrixXd m;
      ASSERT_NO_THROW(m = io::dload(path.string()));
      EXPECT_EQ(m.rows(), shape->second.first);
      EXPECT_EQ(m.cols(), shape->second.second);
      EXPECT_TRUE(m.allFinite());
      ++checked;
    }
  }
  EXPECT_EQ(checked, shapes.size()) << "a data file the chain used to write is no longer listed";
}

TEST(DemoChain, PicturesReadBack) {
  const Demo& d = demo();
  ASSERT_EQ(d.run.exitcode, 0) << d.run.err;
  int pictures = 0;
  for (const Listed& f : d.list.files) {
    if (fs::path(f.name).extension() != ".png") continue;
    SCOPED_TRACE(f.name);
    ++pictures;
    const QImage img(QString::fromStdString((d.folder / f.name).string()), "PNG");
    ASSERT_FALSE(img.isNull());
    EXPECT_GE(img.width(), 200);
    EXPECT_GE(img.height(), 200);
    EXPECT_LE(img.width(), 4000);
    EXPECT_LE(img.height(), 4000);
    // A plot draws at least a background, its axes and some data; an empty
    // or unrendered window grabs as one flat colour.
    QSet<QRgb> colours;
    for (int y = 0; y < img.height() && colours.size() < 3; y += 2)
      for (int x = 0; x < img.width(); ++x) colours.insert(img.pixel(x, y));
    EXPECT_GE(colours.size(), 3) << "the picture is (nearly) one flat colour";
  }
  EXPECT_EQ(pictures, 14);
}

TEST(DemoChain, ScriptsAndReportsHoldTheirText) {
  const Demo& d = demo();
  ASSERT_EQ(d.run.exitcode, 0) << d.run.err;
  // What each text file must hold: the command doing the file's main work,
  // or the headings of the report.
  const std::map<std::string, std::vector<std::string>> contents = {
      {"anglepick.script", {"LoadData ", "LoadProto ", "SaveAveData angles-means.txt"}},
      {"restrain.script", {"LoadAllTP angles-all.txt", "DoWellman", "PermuteWellman", "DoRetroUser"}},
      {"symrestore.script", {"UnDeform", "RetroStrain", "UndeformUni", "UndeformPCA"}},
      {"tectsim.script", {"Load1 ", "Load2 ", "BuildModels", "DoStats"}},
      {"restrain-report.txt", {"== Wellman Ellipse Calculation ==", "t and mean p of 60 specimens", "Over the 1000 permutations (95 % range)", "User-Supplied R"}},
      {"tectsim-console.txt", {"== Results ==", "Wilks Lambda", "Univariate Results"}},
      {"tectsim-report.txt", {"Wilks Lambda", "Retrodeformed Noisy Data", "Univariate Results"}},
  };
  std::set<std::string> seen;
  for (const Listed& f : d.list.files) {
    const std::string ext = fs::path(f.name).extension().string();
    const auto want = contents.find(f.name);
    if (want == contents.end()) {
      if (ext == ".script") ADD_FAILURE() << "no expected text for " << f.name;
      continue;
    }
    SCOPED_TRACE(f.name);
    seen.insert(f.name);
    const std::string text = readtext(d.folder / f.name);
    for (const std::string& s : want->second) EXPECT_NE(text.find(s), std::string::npos) << "lacks \"" << s << '"';
    if (ext != ".script") continue;
    // The chain names its inputs by full paths; each must exist, wherever
    // the examples were found.
    std::istringstream lines(text);
    std::string command, arg;
    while (lines >> command && std::getline(lines, arg)) {
      arg.erase(0, arg.find_first_not_of(' '));
      if (!arg.empty() && arg.front() == '/') {
        EXPECT_TRUE(fs::is_regular_file(arg)) << command << ' ' << arg;
      }
    }
  }
  EXPECT_EQ(seen.size(), contents.size()) << "a text file the chain used to write is no longer listed";
}

// Every undeformation the chain tries must bring the sample nearer to the
// form it was made from than the deformed sample is.
TEST(DemoChain, UndeformedSetsLieNearerTheTemplateThanTheDeformedSample) {
  const Demo& d = demo();
  ASSERT_EQ(d.run.exitcode, 0) << d.run.err;
  std::map<std::string, double> distance;
  std::istringstream in(d.run.out);
  std::string line;
  bool insection = false;
  static const std::regex row(R"(^   (\S+\.txt) +([-+0-9.eE]+)$)");
  while (std::getline(in, line)) {
    if (line.rfind("== ", 0) == 0) insection = line.find("How far each set is") != std::string::npos;
    std::smatch m;
    if (insection && std::regex_match(line, m, row)) distance[m[1]] = std::stod(m[2]);
  }
  ASSERT_EQ(distance.size(), 7u) << d.run.out;
  ASSERT_TRUE(distance.count("deformed.txt"));
  const double deformed = distance["deformed.txt"];
  EXPECT_GT(deformed, 0.1);
  for (const auto& [name, dist] : distance) {
    if (name == "deformed.txt") continue;
    EXPECT_LT(dist, deformed) << name;
  }
  // The strain fits leave only the digitising noise.
  EXPECT_LT(distance["restrain-retrodeformed.txt"], 0.01);
  EXPECT_LT(distance["restrain-retrodeformed-true-strain.txt"], 0.01);
}

// Stand-ins for the five programs that exit with a given status and write
// nothing: the chain itself never reads what they write, so with all of
// them succeeding it must run to its end, and with any one failing it must
// stop there with a non-zero status and without its closing list.
TEST(DemoChainFailure, StopsNonZeroWhenAnyProgramFails) {
  const std::vector<std::string> programs = {"anglepick", "restrain", "symrestore", "tectsim", "superimpose"};
  const auto standins = [&](const std::string& failing) {
    const fs::path bin = fs::path(testsupport::temppath("standins-" + (failing.empty() ? "none" : failing)));
    fs::create_directories(bin);
    for (const std::string& p : programs) {
      std::ofstream(bin / p) << "#!/bin/sh\nexit " << (p == failing ? 7 : 0) << "\n";
      fs::permissions(bin / p, fs::perms::owner_all);
    }
    return bin;
  };

  {
    const ChainRun r = runchain(standins(""), testsupport::temppath("standins-out-none"));
    ASSERT_TRUE(r.finished) << r.err;
    EXPECT_EQ(r.exitcode, 0) << r.err;
    EXPECT_NE(r.out.find("== Files in "), std::string::npos);
  }
  for (const std::string& p : programs) {
    SCOPED_TRACE(p + " fails");
    const ChainRun r = runchain(standins(p), testsupport::temppath("standins-out-" + p));
    ASSERT_TRUE(r.finished) << r.err;
    EXPECT_NE(r.exitcode, 0);
    EXPECT_EQ(r.out.find("== Files in "), std::string::npos) << r.out;
  }
}

} // namespace
