// superimpose: reads a landmark data set (TPS or row format), superimposes
// it on its partial Procrustes consensus and writes the consensus and the
// superimposed specimens. A command-line companion of the window programs
// for scripted pipelines. With --estimate-missing it first places the
// landmarks the specimens lack (by the thin-plate spline from the
// consensus of the complete specimens, or by mirroring a pair's present
// member) and writes the completed data set, every estimate reported and
// marked.

#include "core/about.h"
#include "core/error.h"
#include "core/procrustes.h"
#include "core/specimens.h"
#include "io/landmark_file.h"
#include "io/row_file.h"
#include "io/sidecars.h"
#include "io/tps_file.h"
#include "warp/missing.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>
#include <string>

namespace {

bool istps(const std::string& path) {
  std::string ext = std::filesystem::path(path).extension().string();
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext == ".tps";
}

// TPS files take the digitiser layout; everything else the row format with
// six significant digits, as the window programs save it.
void save(const std::string& path, const Eigen::MatrixXd& data) {
  if (istps(path)) io::writetpsfile(path, core::Specimens(data));
  else io::writerows(path, data, "%g ", " \n", io::WriteMode::Replace);
}

// Reads IN by its content, estimates its missing landmarks and writes the
// completed data set to OUT in IN's format: TPS with each specimen's key
// lines and a COMMENT= line naming its estimated landmarks, or rows with
// the .ids and .estimated sidecars. Returns the completed data set.
Eigen::MatrixXd estimate(const std::string& input, const std::string& output, core::Estimate method,
                         const std::string& pairsfile) {
  const core::Specimens in = io::readlandmarks(input);
  const bool tps = in.format() == core::Specimens::Format::tps;
  std::printf("Read %s: %s file, %ld specimens of %ld landmarks\n", input.c_str(), tps ? "TPS" : "row-format",
              static_cast<long>(in.n()), static_cast<long>(in.k()));
  const core::MissingLandmarks& lacking = in.missinglandmarks();
  std::printf("%s\n", core::missingreport(lacking, in.ids()).c_str());
  const Eigen::MatrixXd pairs = method == core::Estimate::mirror ? io::dload(pairsfile) : Eigen::MatrixXd();
  const warp::Completion c = warp::estimatemissing(in.matrix(), method, pairs, in.ids());
  for (const std::string& line : warp::estimatereport(c, in.ids())) std::printf("%s\n", line.c_str());
  std::printf("Estimated %ld of %ld missing landmarks by %s\n", static_cast<long>(c.estimated.size()),
              static_cast<long>(lacking.count), core::methodname(method));
  if (tps) {
    io::writetpsfile(output, core::Specimens(c.y, warp::markestimated(in.ids(), in.n(), c)));
    std::printf("Wrote the completed data set to %s (TPS; a COMMENT= line names each specimen's estimated "
                "landmarks)\n", output.c_str());
  } else {
    io::writespecimens(output, in.with(c.y));
    io::writeestimated(output, c.estimated);
    std::printf("Wrote the completed data set to %s%s and the list of estimated landmarks to %s\n", output.c_str(),
                in.ids().empty() ? "" : (", its identities to " + io::idspath(output)).c_str(),
                io::estimatedpath(output).c_str());
  }
  return c.y;
}

} // namespace

int main(int argc, char** argv) {
  CLI::App app{"Superimpose a landmark data set on its partial Procrustes consensus.", "superimpose"};
  app.set_version_flag("--version", core::versiontext("superimpose"));
  std::string input, output, consensus, superimposed, reference, method, pairsfile;
  bool principal = false;
  app.add_option("input", input, "TPS file (.tps) or row-format file (one specimen per line, size slot last)")
      ->required()
      ->check(CLI::ExistingFile);
  CLI::Option* out = app.add_option("output", output,
                                    "with --estimate-missing: where to write the completed data set (in the "
                                    "input's format)");
  app.add_option("-c,--consensus", consensus, "where to write the consensus (one row)");
  app.add_option("-s,--superimposed", superimposed, "where to write the superimposed specimens");
  app.add_flag("-p,--principal-axis", principal,
               "turn the result so that the consensus's principal axis stands vertical");
  app.add_option("-d,--distance-to", reference,
                 "print only the mean partial Procrustes distance of the specimens from the first row of this "
                 "row-format file")
      ->check(CLI::ExistingFile);
  CLI::Option* est =
      app.add_option("--estimate-missing", method,
                     "estimate missing landmarks, write them to OUTPUT and report each: tps (the thin-plate spline "
                     "that maps the consensus of the complete specimens onto each specimen's present landmarks) or "
                     "mirror (the present member of a pair reflected across the specimen's axis of symmetry; needs "
                     "--pairs, and on deformed fossils only after retrodeformation, as strain breaks the symmetry)")
          ->check(CLI::IsMember({"tps", "mirror"}));
  CLI::Option* pairsopt =
      app.add_option("--pairs", pairsfile,
                     "the pair list for mirror: a line \"a b\" pairs two landmarks, \"a a\" puts one on the axis")
          ->check(CLI::ExistingFile);
  pairsopt->needs(est);
  out->needs(est);
  est->needs(out);
  est->excludes("--distance-to");
  CLI11_PARSE(app, argc, argv);
  if (method == "mirror" && pairsfile.empty()) {
    std::fprintf(stderr, "superimpose: --estimate-missing mirror needs the pair list: give it with --pairs FILE\n");
    return 1;
  }

  try {
    Eigen::MatrixXd data;
    const bool quiet = !reference.empty();
    if (!method.empty()) {
      data = estimate(input, output, *core::estimatemethod(method), pairsfile);
      // The completed data set is superimposed only when asked for.
      if (consensus.empty() && superimposed.empty()) return 0;
    } else if (istps(input)) {
      data = io::readtpsfile(input).matrix();
      if (!quiet) std::printf("Read %s: TPS file, %ld specimens of %ld landmarks (centroid sizes appended)\n", input.c_str(),
                  static_cast<long>(data.rows()), static_cast<long>((data.cols() - 1) / 2));
    } else {
      data = io::dload(input);
      if (!quiet) std::printf("Read %s: row-format file, %ld specimens of %ld landmarks\n", input.c_str(),
                  static_cast<long>(data.rows()), static_cast<long>((data.cols() - 1) / 2));
    }
    if (!reference.empty()) {
      // Each specimen fitted onto the reference at unit size; the
      // distances are those of shape alone.
      const Eigen::MatrixXd ref = io::dload(reference).topRows(1);
      const Eigen::MatrixXd standard = core::getpsup(ref, ref);
      const Eigen::MatrixXd d = core::pdistbc(standard, core::getpsup(data, standard));
      std::printf("%.4f\n", d.col(0).mean());
      return 0;
    }
    const core::Superimposition s = principal ? core::getconsensuspca(data) : core::getconsensus(data);
    std::printf("Superimposed by partial Procrustes fit%s\n",
                principal ? ", turned so that the consensus's principal axis stands vertical" : "");
    if (!consensus.empty()) {
      save(consensus, s.y);
      std::printf("Wrote the consensus to %s\n", consensus.c_str());
    }
    if (!superimposed.empty()) {
      save(superimposed, s.xpt);
      std::printf("Wrote %ld superimposed specimens to %s\n", static_cast<long>(s.xpt.rows()), superimposed.c_str());
    }
  } catch (const core::Error& e) {
    std::fprintf(stderr, "superimpose: %s\n", e.what());
    return 1;
  }
  return 0;
}
