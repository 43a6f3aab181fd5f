// superimpose: reads a landmark data set (TPS or row format), superimposes
// it on its partial Procrustes consensus and writes the consensus and the
// superimposed specimens. A command-line companion of the window programs
// for scripted pipelines.

#include "core/about.h"
#include "core/error.h"
#include "core/procrustes.h"
#include "core/row_file.h"
#include "core/tps_file.h"

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
  if (istps(path)) core::writetpsfile(path, data);
  else core::writerows(path, data, "%g ", " \n", core::WriteMode::Replace);
}

} // namespace

int main(int argc, char** argv) {
  CLI::App app{"Superimpose a landmark data set on its partial Procrustes consensus.", "superimpose"};
  app.set_version_flag("--version", core::versiontext("superimpose"));
  std::string input, consensus, superimposed, reference;
  bool principal = false;
  app.add_option("input", input, "TPS file (.tps) or row-format file (one specimen per line, size slot last)")
      ->required()
      ->check(CLI::ExistingFile);
  app.add_option("-c,--consensus", consensus, "where to write the consensus (one row)");
  app.add_option("-s,--superimposed", superimposed, "where to write the superimposed specimens");
  app.add_flag("-p,--principal-axis", principal,
               "turn the result so that the consensus's principal axis stands vertical");
  app.add_option("-d,--distance-to", reference,
                 "print only the mean partial Procrustes distance of the specimens from the first row of this "
                 "row-format file")
      ->check(CLI::ExistingFile);
  CLI11_PARSE(app, argc, argv);

  try {
    Eigen::MatrixXd data;
    const bool quiet = !reference.empty();
    if (istps(input)) {
      data = core::readtpsfile(input, true).y;
      if (!quiet) std::printf("Read %s: TPS file, %ld specimens of %ld landmarks (centroid sizes appended)\n", input.c_str(),
                  static_cast<long>(data.rows()), static_cast<long>((data.cols() - 1) / 2));
    } else {
      data = core::dload(input);
      if (!quiet) std::printf("Read %s: row-format file, %ld specimens of %ld landmarks\n", input.c_str(),
                  static_cast<long>(data.rows()), static_cast<long>((data.cols() - 1) / 2));
    }
    if (!reference.empty()) {
      // Each specimen fitted onto the reference at unit size; the
      // distances are those of shape alone.
      const Eigen::MatrixXd ref = core::dload(reference).topRows(1);
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
