// superimpose: reads a landmark data set (TPS or row format, told by its
// content), superimposes it on its partial Procrustes consensus and writes
// the consensus and the superimposed specimens. A command-line companion
// of the window programs for scripted pipelines. With --estimate-missing it
// first places the landmarks the specimens lack (warp/missing.h) and
// writes the completed data set, every estimate reported and marked.

#include "core/about.h"
#include "core/error.h"
#include "core/procrustes.h"
#include "core/data_set.h"
#include "io/csv.h"
#include "io/landmark_file.h"
#include "io/row_file.h"
#include "io/sidecars.h"
#include "io/tps_file.h"
#include "warp/missing.h"

#include <CLI/CLI.hpp>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>

namespace {

// The exit status of a run that wrote its results but left some missing
// landmarks unestimated.
constexpr int left_missing = 2;

bool istpsname(const std::string& path) {
  std::string ext = std::filesystem::path(path).extension().string();
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext == ".tps";
}

// Results go to a TPS file when their name ends in .tps, to CSV with a
// header and the IDs in a column when it ends in .csv, otherwise to the
// row format with six significant digits, as the window programs save
// them, with the specimens' identities in FILE.ids.
void save(const std::string& path, const core::Specimens& data) {
  if (istpsname(path)) io::writetpsfile(path, data);
  else if (io::iscsvname(path)) io::writespecimenscsv(path, data);
  else io::writespecimens(path, data);
}

// Estimates the missing landmarks of `in` and writes the completed data set
// to OUT in IN's format, every value nothing changed exactly as read: TPS
// with each specimen's key lines and a COMMENT= line naming its estimated
// landmarks, or rows with the .ids and .estimated sidecars. Returns the
// completed data set and whether landmarks were left missing.
core::Specimens estimate(const core::Specimens& in, const std::string& output, const warp::EstimateOptions& options,
                         bool& left) {
  const bool tps = in.format() == core::Specimens::Format::tps;
  const warp::Completion c = warp::estimatemissing(in, options);
  if (!c.estimated.empty() || !c.refused.empty()) std::printf("Estimates learnt from %s\n", c.basis.c_str());
  for (const std::string& line : warp::estimatereport(c, in.ids())) std::printf("%s\n", line.c_str());
  std::printf("%s\n", warp::estimatesummary(c, options.method, in.missinglandmarks().count).c_str());
  left = c.left() > 0;
  if (tps) {
    const core::Specimens marked(c.y, warp::markestimated(in.ids(), in.n(), c), in.source(), in.format(), in.scaled());
    io::writetpsfile(output, marked, io::Precision::roundtrip);
    std::printf("Wrote the completed data set to %s (TPS; a COMMENT= line names each specimen's estimated "
                "landmarks)\n", output.c_str());
  } else {
    const core::Specimens completed = in.with(c.y);
    io::writespecimens(output, completed, io::Precision::roundtrip);
    io::writeestimated(output, c.estimated);
    std::printf("Wrote the completed data set to %s%s and the list of estimated landmarks to %s\n", output.c_str(),
                completed.writtenkeys().empty() ? "" : (", its identities to " + io::idspath(output)).c_str(),
                io::estimatedpath(output).c_str());
  }
  if (left)
    std::fprintf(stderr, "superimpose: %zu of the %zu missing landmarks were left missing (the report names each "
                         "specimen and why); the data set was written with them missing\n",
                 c.left(), static_cast<std::size_t>(in.missinglandmarks().count));
  return in.with(c.y);
}

// The mean partial Procrustes distance of the specimens from the first
// specimen of `reference`, each fitted onto it at unit size on the
// landmarks it has; a specimen's missing landmarks are left out of its
// distance, and a note on standard error says so.
double meandistance(const core::Specimens& data, const std::string& reference, const io::ReadOptions& options) {
  const core::Specimens refs = io::readlandmarks(reference, options);
  const Eigen::MatrixXd ref = refs.matrix().topRows(1);
  for (Eigen::Index j = 0; j < refs.k(); ++j)
    if (refs.missing(0, j))
      throw core::Error("the reference, the first specimen of '" + refs.name() + "', lacks landmark " +
                        std::to_string(j + 1) + "; a distance needs every landmark of the reference");
  if (refs.k() != data.k())
    throw core::Error("the reference '" + refs.name() + "' has " + std::to_string(refs.k()) +
                      " landmarks, and the data set " + std::to_string(data.k()));
  const Eigen::MatrixXd standard = core::getpsup(ref, ref);
  const Eigen::MatrixXd fitted = core::getpsup(data.matrix(), standard);
  if (data.complete()) return core::pdistbc(standard, fitted).col(0).mean();
  double total = 0;
  for (Eigen::Index i = 0; i < fitted.rows(); ++i) {
    double ss = 0;
    for (Eigen::Index j = 0; j < data.k(); ++j)
      if (!data.missing(i, j))
        ss += std::pow(fitted(i, 2 * j) - standard(0, 2 * j), 2) + std::pow(fitted(i, 2 * j + 1) - standard(0, 2 * j + 1), 2);
    total += std::sqrt(ss);
  }
  std::fprintf(stderr, "superimpose: note: a specimen's missing landmarks are left out of its distance. %s\n",
               core::missingreport(data.missinglandmarks(), data.ids(), data.missingcode()).c_str());
  return total / static_cast<double>(fitted.rows());
}

} // namespace

int main(int argc, char** argv) {
  CLI::App app{"Superimpose a landmark data set on its partial Procrustes consensus.", "superimpose"};
  app.set_version_flag("--version", core::versiontext("superimpose"));
  app.footer("Missing landmarks: -1 -1 exactly, and NaN or NA in a row file, are missing; every other number is a "
             "coordinate (see --negative-missing).\n"
             "Exit status: 0 done; 1 refused (the message says why; nothing more is written); 2 with --estimate-missing, "
             "the results were written but some missing landmarks were left missing (the report names each "
             "specimen and why).");
  std::string input, output, consensus, superimposed, reference, method, pairsfile;
  bool principal = false, negative = false, applyscale = false;
  double limit = 5;
  app.add_option("input", input, "TPS file or row-format file (one specimen per line, size slot last), told apart "
                                 "by their content")
      ->required()
      ->check(CLI::ExistingFile);
  CLI::Option* out = app.add_option("output", output,
                                    "with --estimate-missing: where to write the completed data set (in the "
                                    "input's format)");
  app.add_option("-c,--consensus", consensus, "where to write the consensus (one row)");
  app.add_option("-s,--superimposed", superimposed,
                 "where to write the superimposed specimens (rows, with their identities in FILE.ids; TPS for a "
                 "name ending in .tps; CSV with a header row and an ID column for a name ending in .csv)");
  app.add_flag("-p,--principal-axis", principal,
               "turn the result so that the consensus's principal axis stands vertical");
  app.add_option("-d,--distance-to", reference,
                 "print only the mean partial Procrustes distance of the specimens from the first specimen of this "
                 "file (a specimen's missing landmarks are left out of its distance)")
      ->check(CLI::ExistingFile);
  app.add_flag("--negative-missing", negative,
               "read every point with a negative coordinate as a missing landmark (for files of image coordinates "
               "whose digitiser marked lost landmarks with any negative pair)");
  app.add_flag("--apply-scale", applyscale,
               "multiply every specimen by its SCALE= (a specimen without one is refused); files written from it "
               "carry SCALE=1 and the old value in a COMMENT=");
  CLI::Option* est =
      app.add_option("--estimate-missing", method,
                     "estimate missing landmarks, write them to OUTPUT and report each: auto (per pattern of missing "
                     "landmarks the method of least leave-one-out error, with its expected error), tps (the "
                     "thin-plate spline from the consensus onto each specimen's present landmarks), regression (of "
                     "the missing on the present landmarks over the other specimens), neighbours (the splines of "
                     "the 5 most similar specimens) or mirror (the present member of a pair reflected across the "
                     "specimen's axis of symmetry; needs --pairs, and on deformed fossils only after "
                     "retrodeformation, as strain breaks the symmetry)")
          ->check(CLI::IsMember({"auto", "tps", "regression", "neighbours", "mirror"}));
  CLI::Option* pairsopt =
      app.add_option("--pairs", pairsfile,
                     "the pair list for mirror (auto tries mirror too when it is given): a line \"a b\" pairs two "
                     "landmarks, \"a a\" puts one on the axis")
          ->check(CLI::ExistingFile);
  CLI::Option* limitopt =
      app.add_option("--error-limit", limit,
                     "auto leaves missing the landmarks of a specimen whose best estimate is expected to miss by more "
                     "than this % of centroid size (default 5)")
          ->check(CLI::PositiveNumber);
  pairsopt->needs(est);
  limitopt->needs(est);
  out->needs(est);
  est->needs(out);
  est->excludes("--distance-to");
  CLI11_PARSE(app, argc, argv);
  if (method == "mirror" && pairsfile.empty()) {
    std::fprintf(stderr, "superimpose: --estimate-missing mirror needs the pair list: give it with --pairs FILE\n");
    return 1;
  }

  int status = 0;
  try {
    const io::ReadOptions options{negative};
    core::Specimens data = io::readlandmarks(input, options);
    if (applyscale) data = data.inscale("leave out --apply-scale to use the coordinates as written");
    const bool quiet = !reference.empty();
    if (!quiet) {
      const bool tps = data.format() == core::Specimens::Format::tps;
      std::printf("Read %s: %s file, %ld specimens of %ld landmarks%s\n", input.c_str(), tps ? "TPS" : "row-format",
                  static_cast<long>(data.n()), static_cast<long>(data.k()),
                  tps && method.empty() ? " (centroid sizes appended)" : "");
      if (data.scaled()) std::printf("Coordinates multiplied by each specimen's SCALE=\n");
      if (!method.empty() || !data.complete() || !data.notes().empty() || negative)
        std::printf("%s\n", core::missingreport(data).c_str());
    }
    if (!method.empty()) {
      warp::EstimateOptions o;
      o.method = *core::estimatemethod(method);
      if (!pairsfile.empty()) o.pairs = io::dload(pairsfile);
      o.limit = limit;
      bool left = false;
      data = estimate(data, output, o, left);
      if (left) status = left_missing;
      // The completed data set is superimposed only when asked for.
      if (consensus.empty() && superimposed.empty()) return status;
    }
    if (!reference.empty()) {
      std::printf("%.4f\n", meandistance(data, reference, options));
      return 0;
    }
    const core::Superimposition s = principal ? core::getconsensuspca(data.matrix()) : core::getconsensus(data.matrix());
    std::printf("Superimposed by partial Procrustes fit%s\n",
                principal ? ", turned so that the consensus's principal axis stands vertical" : "");
    if (!consensus.empty()) {
      save(consensus, core::Specimens(s.y));
      std::printf("Wrote the consensus to %s\n", consensus.c_str());
    }
    if (!superimposed.empty()) {
      save(superimposed, data.with(s.xpt));
      std::printf("Wrote %ld superimposed specimens to %s\n", static_cast<long>(s.xpt.rows()), superimposed.c_str());
    }
  } catch (const core::Error& e) {
    std::fprintf(stderr, "superimpose: %s\n", e.what());
    return 1;
  }
  return status;
}
