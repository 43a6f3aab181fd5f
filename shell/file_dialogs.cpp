#include "shell/file_dialogs.h"

#include "core/error.h"
#include "core/identities.h"
#include "core/text_format.h"
#include "io/landmark_file.h"
#include "io/row_file.h"
#include "shell/boxes.h"
#include "shell/shape_plot.h"

#include <cmath>

namespace shell {

FileChoice chooseload(Host& host, std::string_view filter, std::string_view title) {
  auto choice = host.uigetfile(filter, title);
  if (!choice) throw core::Error("No file was chosen, so nothing was loaded");
  return std::move(*choice);
}

void dropresults(Host& host, std::string_view of) {
  if (host.results().empty()) return;
  host.clearresults();
  host.note("note: the results of the " + std::string(of) + " were cleared");
}

void clearshown(Host& host, std::initializer_list<std::string_view> fileboxes) {
  host.axes().cla();
  for (std::string_view tag : fileboxes) host.setstring(tag, "No file loaded");
  host.clearresults();
}

// A large file is read with its progress shown, and can be cancelled.
core::Progress reading(Host& host, const std::string& name) {
  return [&host, what = "Reading " + name](double fraction) { return host.progress(what, fraction); };
}

Eigen::MatrixXd mfload(Host& host, std::string& fn) {
  const FileChoice choice = chooseload(host);
  Eigen::MatrixXd y = io::dload(choice.path(), reading(host, choice.name));
  fn = choice.name;
  return y;
}

namespace {

// True when the window has the check box and it is ticked; a window
// without it reads as unticked.
bool ticked(Host& host, const Box& box) {
  try {
    const std::vector<std::string> v = host.string(box.tag);
    return !v.empty() && v[0] == "1";
  } catch (const core::Error&) {
    return false;
  }
}

} // namespace

bool applyscale(Host& host) { return ticked(host, ApplyScale); }
bool negativemissing(Host& host) { return ticked(host, NegativeMissing); }

core::Specimens loadlandmarks(Host& host, std::string_view filter, std::string_view title) {
  const FileChoice choice = chooseload(host, filter, title);
  core::Specimens in = io::readlandmarks(choice.path(), reading(host, choice.name), io::ReadOptions{negativemissing(host)});
  if (applyscale(host)) in = in.inscale("untick ApplyScale to load it unscaled");
  // Said when there is something to say: landmarks missing, a rule other
  // than the usual one, or a sidecar left out.
  if (!in.complete() || in.missingcode() != core::MissingCode::digitiser || !in.notes().empty())
    host.note(in.name() + ": " + core::missingreport(in));
  return in;
}

core::Specimens loadtpsbox(Host& host) {
  core::Specimens in = loadlandmarks(host, "*.tps", "Specify TPS file to load");
  std::vector<std::string> box{"TPS FILE Loaded:", in.name(), core::format("Total of %3.0d Specimens", in.n()),
                               core::format("Landmarks= %3.0d", in.k())};
  if (in.scaled()) box.push_back("coordinates x SCALE=");
  host.setstring(FileBox.tag, box);
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
  numberlandmarks(axes, sup.xpt, sup.y);
  return sup;
}

} // namespace shell
