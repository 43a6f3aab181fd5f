#include "shell/file_dialogs.h"

#include "core/error.h"
#include "core/row_file.h"
#include "core/text_format.h"
#include "shell/shape_plot.h"

namespace shell {

namespace {

// A large file is read with its progress shown, and can be cancelled.
core::Progress reading(Host& host, const std::string& name) {
  return [&host, what = "Reading " + name](double fraction) { return host.progress(what, fraction); };
}

} // namespace

Loaded mfload(Host& host) {
  const auto choice = host.uigetfile("*.*", "Enter file to Load?");
  if (!choice) throw core::Error("No file was chosen, so nothing was loaded");
  return {core::dload(choice->path(), reading(host, choice->name)), choice->name};
}

core::TpsFile gettpsfile2(Host& host, bool cs) {
  const auto choice = host.uigetfile("*.tps", "Specify TPS file to load");
  if (!choice) throw core::Error("No TPS file was chosen, so nothing was loaded");
  core::TpsFile tps = core::readtpsfile(choice->path(), cs, reading(host, choice->name));
  tps.fname = choice->name;
  return tps;
}

core::Superimposition loadtpsplotted(Host& host, Eigen::MatrixXd& raw) {
  const core::TpsFile tps = gettpsfile2(host, true);
  raw = tps.y;
  const Eigen::Index n = raw.rows(), k = raw.cols() / 2;
  host.setstring("FileBox", std::vector<std::string>{"TPS FILE Loaded:", tps.fname,
                                                      core::format("Total of %3.0d Specimens", n),
                                                      core::format("Landmarks= %3.0d", k)});
  core::Superimposition sup = core::getconsensuspca(raw);
  showshape(host.axes(), sup.xpt, "bo");
  showshape(host.axes(), sup.y, "rv");
  for (Eigen::Index j = 0; j < sup.xpt.cols() / 2; ++j)
    host.axes().text(sup.y(2 * j) + 0.02, sup.y(2 * j + 1) + 0.02, std::to_string(j + 1));
  return sup;
}

} // namespace shell
