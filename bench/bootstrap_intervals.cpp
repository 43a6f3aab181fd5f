// The bootstrap intervals of one simulated bed, for the coverage study
// (bench/bootstrap_coverage.py): the bed's folder as scripts/make_sample.py
// writes it, measured as Anglepick measures and saves it (every specimen of
// deformed.tps with protocol.txt, the pooled angles written in the pairs
// layout and read back as Restrain's LoadAllTP reads them), then the
// intervals of BootstrapWellman and, with --symmetry, of BootstrapStrain on
// deformed.txt and pairs.txt. The same computations as the actions, without
// a window: the study runs thousands of beds.
//
// One line per fit: FIT R RLOW RHIGH THETA THETALOW THETAHIGH FAILED UNITS,
// theta' in degrees, its ends unfolded (within 90 degrees of THETA).

#include "apps/anglepick/angles.h"
#include "apps/restrain/bootstrap.h"
#include "apps/symrestore/symmetry.h"
#include "core/error.h"
#include "core/random.h"
#include "io/angle_file.h"
#include "io/row_file.h"
#include "io/text_file.h"
#include "io/tps_file.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>
#include <string>

namespace {

void print(const char* fit, const stats::StrainInterval& s, Eigen::Index units) {
  const double degrees = 180 / 3.141592653589793;
  std::printf("%s %.10g %.10g %.10g %.10g %.10g %.10g %d %ld\n", fit, s.estimate.R, s.R.low, s.R.high,
              s.estimate.longaxis.deg(), s.theta.low * degrees, s.theta.high * degrees, s.failed,
              static_cast<long>(units));
}

// The pooled angles of the bed as Anglepick's SaveData writes them, read
// back as LoadAllTP reads them.
io::PooledAngles measured(const std::string& folder, const std::string& scratch) {
  const core::Specimens rdata = io::readtpsfile(folder + "/deformed.tps");
  const Eigen::MatrixXd proto = io::dload(folder + "/protocol.txt");
  const Eigen::Index n = rdata.n();
  Eigen::RowVectorXd tlist(n);
  Eigen::RowVectorXi np(n);
  Eigen::MatrixXd plist;
  for (Eigen::Index i = 0; i < n; ++i) {
    const anglepick::PresentAngles a = anglepick::get_tp_present(rdata.matrix().row(i), proto);
    if (i == 0) plist.resize(n, a.plist.size());
    tlist(i) = a.tp.rad();
    plist.row(i) = a.plist;
    np(i) = a.absent.empty() ? static_cast<int>(a.plist.size()) : 0;
  }
  io::writefile(scratch, io::formatangles(io::AngleLayout::pairs, tlist, plist, np, 1, rdata.ids()),
                io::WriteMode::Replace);
  io::PooledAngles out = io::readpooledangles(scratch, "LoadAllTP");
  std::filesystem::remove(scratch);
  return out;
}

} // namespace

int main(int argc, char** argv) {
  CLI::App app{"Bootstrap intervals of one simulated bed (make_sample.py's folder), for the coverage study.",
               "bootstrap_intervals"};
  std::string folder;
  int resamples = 1000;
  std::uint64_t seed = 1;
  unsigned threads = 1;
  bool symmetry = false;
  app.add_option("folder", folder, "the bed's deformed_sample folder")->required()->check(CLI::ExistingDirectory);
  app.add_option("--resamples", resamples, "resamples (BootBox)");
  app.add_option("--seed", seed, "the seed of the program's generator");
  app.add_option("--threads", threads, "threads (0: one per core)");
  app.add_flag("--symmetry", symmetry, "also Symrestore's BootstrapStrain");
  CLI11_PARSE(app, argc, argv);
  try {
    core::setseed(seed);
    const io::PooledAngles angles = measured(folder, folder + "/bootstrap_intervals.tmp");
    const restrain::PairAngles pairs = restrain::PairAngles::forwellman(angles.tp, angles.specimen);
    const auto w = restrain::bootstrapwellman(pairs, resamples, {}, threads);
    print("numerical", w->numerical, w->units);
    print("analytic", w->analytic, w->units);
    if (symmetry) {
      core::setseed(seed);
      const auto b = symrestore::bootstrapstrain(io::dload(folder + "/deformed.txt"), io::dload(folder + "/pairs.txt"),
                                                 resamples, {threads, {}});
      print("symmetry", b.strain, b.units);
    }
  } catch (const core::Error& e) {
    std::fprintf(stderr, "bootstrap_intervals: %s\n", e.what());
    return 1;
  }
  return 0;
}
