#include "shell/file_dialogs.h"

#include "core/error.h"
#include "core/row_file.h"
#include "core/text_format.h"
#include "shell/shape_plot.h"

#include <cmath>

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

bool applyscale(Host& host) {
  try {
    const std::vector<std::string> v = host.string("ApplyScale");
    return !v.empty() && v[0] == "1";
  } catch (const core::Error&) {
    return false; // a window without the box never scales
  }
}

void scalespecimens(Eigen::MatrixXd& y, const core::Identities& ids, bool sizeslot, const std::string& fn) {
  const Eigen::Index k = y.cols() / 2;
  for (Eigen::Index i = 0; i < y.rows(); ++i) {
    const auto s = ids.scale(static_cast<std::size_t>(i));
    if (!s)
      throw core::Error("Cannot apply the scale: specimen " + ids.label(static_cast<std::size_t>(i)) + " of '" + fn +
                        "' has no SCALE= line with a positive number; untick ApplyScale to load it unscaled");
    y.row(i).head(2 * k) *= *s;
    if (sizeslot && y.cols() > 2 * k) y(i, 2 * k) *= *s;
  }
}

void reportmissing(Host& host, const std::string& fn, const core::MissingLandmarks& missing,
                   const core::Identities& ids) {
  if (missing.none()) return;
  host.note(fn + ": " + core::missingreport(missing, ids));
}

Landmarks loadlandmarks(Host& host, std::string_view filter, std::string_view title) {
  const auto choice = host.uigetfile(filter, title);
  if (!choice) throw core::Error("No file was chosen, so nothing was loaded");
  core::LandmarkFile file = core::readlandmarks(choice->path(), reading(host, choice->name));
  Landmarks out{std::move(file.y), choice->name, std::move(file.ids), {}, file.tps, false};
  if (applyscale(host)) {
    scalespecimens(out.y, out.ids, out.tps, out.fn);
    out.scaled = true;
  }
  const Eigen::Index k = out.y.cols() / 2;
  out.missing = core::findmissing(out.y, k);
  reportmissing(host, out.fn, out.missing, out.ids);
  return out;
}

core::TpsFile gettpsfile2(Host& host, bool cs) {
  const auto choice = host.uigetfile("*.tps", "Specify TPS file to load");
  if (!choice) throw core::Error("No TPS file was chosen, so nothing was loaded");
  core::TpsFile tps = core::readtpsfile(choice->path(), cs, reading(host, choice->name));
  tps.fname = choice->name;
  if (applyscale(host)) scalespecimens(tps.y, tps.ids, cs, tps.fname);
  reportmissing(host, tps.fname, core::findmissing(tps.y, tps.y.cols() / 2), tps.ids);
  return tps;
}

Landmarks loadtpsbox(Host& host) {
  Landmarks in = loadlandmarks(host, "*.tps", "Specify TPS file to load");
  const Eigen::Index n = in.y.rows(), k = in.y.cols() / 2;
  std::vector<std::string> box{"TPS FILE Loaded:", in.fn, core::format("Total of %3.0d Specimens", n),
                               core::format("Landmarks= %3.0d", k)};
  if (in.scaled) box.push_back("coordinates x SCALE=");
  host.setstring("FileBox", box);
  return in;
}

core::Superimposition plotprincipal(Host& host, const Eigen::MatrixXd& raw) {
  core::Superimposition sup = core::getconsensuspca(raw);
  Axes& axes = host.axes();
  axes.cla();
  showshape(axes, sup.xpt, "bo", "specimens");
  showshape(axes, sup.y, "rv", "consensus");
  axes.title("Specimens on their principal axes");
  axes.label("x (Procrustes units)", "y (Procrustes units)");
  for (Eigen::Index j = 0; j < sup.xpt.cols() / 2; ++j)
    if (!std::isnan(sup.y(2 * j)) && !std::isnan(sup.y(2 * j + 1)))
      axes.text(sup.y(2 * j) + 0.02, sup.y(2 * j + 1) + 0.02, std::to_string(j + 1));
  return sup;
}

} // namespace shell
