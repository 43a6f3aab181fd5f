#include "apps/tectsim/tsswitch.h"

#include "core/error.h"
#include "core/specimens.h"
#include "core/row_file.h"
#include "core/text_format.h"
#include "shell/actions.h"
#include "shell/boxes.h"
#include "shell/file_dialogs.h"
#include "shell/program.h"
#include "shell/shape_plot.h"

#include <cmath>
#include <limits>
#include <string>

namespace tectsim {

namespace {

void load(shell::Host& host, State& s, bool second) {
  const shell::Landmarks in = shell::loadlandmarks(host);
  const std::string name = "The exemplar file '" + in.fn + "' (" + (second ? "Load2" : "Load1") + ")";
  // The path between the exemplars runs through every landmark: one that
  // was not placed has no place on it, and no estimate should stand in
  // for a shape the experiment is built on.
  if (!in.missing.none())
    throw core::Error(name + " lacks landmarks, and an exemplar must be complete: " +
                      core::missingreport(in.missing, in.ids));
  checkexemplar(in.y, name);
  (second ? s.exemplar2 : s.exemplar1) = in.y;
  (second ? s.ids2 : s.ids1) = in.ids;
  shell::Axes& axes = host.axes();
  shell::showshape(axes, in.y, second ? "ro" : "bo");
  axes.axisauto();
  axes.axisequal();
  axes.sethold(true);
  const auto m = static_cast<double>(in.y.rows()), n = static_cast<double>(in.y.cols());
  std::string box = core::format("File %s \n %4.0f Samples \n %4.0f landmarks", in.fn, m, (n - 1) / 2);
  if (in.scaled) box += " \n in SCALE= units";
  host.setstring(second ? "FileBox2" : "FileBox1", box);
}

const Eigen::MatrixXd& built(const Eigen::MatrixXd& set) {
  if (set.size() == 0) throw core::Error("Nothing to show or save yet: build the models first (BuildModels)");
  return set;
}

void save(shell::Host& host, const Eigen::MatrixXd& set, const char* title, const char* valueformat) {
  built(set);
  if (const auto file = host.uiputfile("*.*", title))
    core::writerows(file->path(), set, valueformat, "\n", core::WriteMode::Append);
}

void show(shell::Host& host, const Eigen::MatrixXd& set, const Eigen::MatrixXd* over = nullptr) {
  built(set);
  host.axes().cla();
  shell::showshape(host.axes(), set, "bo");
  if (over != nullptr) shell::showshape(host.axes(), built(*over), "r>");
}

void build(shell::Host& host, State& s) {
  Parameters p;
  constexpr double any = std::numeric_limits<double>::infinity();
  const double nsamp = shell::boxnumber(host, "NumBox", "number of specimens", shell::Number::Whole, {-any, any});
  if (nsamp < 3) throw core::Error("The box NumBox (number of specimens) must hold a whole number of at least 3");
  const Eigen::Index columns = s.exemplar1.cols();
  if (nsamp > maxspecimens(columns))
    throw core::Error("The box NumBox (number of specimens) holds '" + host.string("NumBox").front() +
                      "', which is more than the " + std::to_string(maxspecimens(columns)) + " specimens a simulation" +
                      (columns > 0 ? " of " + std::to_string((columns - 1) / 2) + " landmarks" : std::string()) +
                      " may hold");
  p.nsamp = static_cast<int>(nsamp);
  // Coordinates of superimposed shapes are about 1/sqrt(k): a noise of a
  // thousand is far past shape; a strain of a thousand flattens every
  // specimen at the precision of its coordinates.
  p.noiseamp = shell::boxnumber(host, "AmpBox", "noise amplitude", shell::Number::Any, {0, 1e3});
  p.defamp = shell::boxnumber(host, "DefBox", "deformation amount", shell::Number::Positive, {1e-3, 1e3});
  p.defangle = shell::boxnumber(host, "AngleBox", "deformation angle, degrees", shell::Number::Any, {-360, 360});
  p.npca = shell::boxnumbers(host, "NaxisBox", "principal axes to remove", shell::Number::Whole);
  s.models = buildmodels(s.exemplar1, s.exemplar2, p,
                         [&](double f) { host.progress(core::format("Building %d simulated specimens", p.nsamp), f); });
  host.echo(core::format("Built %d clean, noisy, deformed and retrodeformed specimens\n", p.nsamp));
}

// Tectsim's actions, in the order its message for an unknown action lists
// them. The Show...2 actions plot a deformed set alone; ShowDCData and
// ShowDNData draw its retrodeformation over it.
constexpr shell::Action<State> table[] = {
    {"Load1", [](shell::Host& host, State& s) { load(host, s, false); },
     "Reads the start shape of the shape change (one or several specimens)"},
    {"Load2", [](shell::Host& host, State& s) { load(host, s, true); },
     "Reads the end shape of the shape change (one specimen)"},
    {"BuildModels", build, "Builds the six simulated sets from the boxes NumBox, AmpBox, DefBox, AngleBox, NaxisBox"},
    {"DoStats", [](shell::Host& host, State& s) { host.setresults({dostats(s.models)}); },
     "Tests every set for the shape change and shows the report in the results window"},
    {"SaveCData", [](shell::Host& host, State& s) { save(host, s.models.cdata, "File Name for Clean Data File", "%f "); },
     "Appends the clean set to a row-format file"},
    {"SaveNData", [](shell::Host& host, State& s) { save(host, s.models.ndata, "File Name for Noisy Data File", "%f "); },
     "Appends the noisy set to a row-format file"},
    {"SaveDCData",
     [](shell::Host& host, State& s) {
       save(host, s.models.dcdata, "File Name for Deformed Clean Data File", "%f ");
     },
     "Appends the deformed clean set to a row-format file"},
    {"SaveDNData",
     [](shell::Host& host, State& s) {
       save(host, s.models.dndata, "File Name for Deformed Noisy Data File", " %f ");
     },
     "Appends the deformed noisy set to a row-format file"},
    {"SaveRDCData",
     [](shell::Host& host, State& s) {
       save(host, s.models.udcdata, "File Name for Retro-Deformed Clean Data File", "%f ");
     },
     "Appends the retrodeformed clean set to a row-format file"},
    {"SaveRDNData",
     [](shell::Host& host, State& s) {
       save(host, s.models.udndata, "File Name for RetroDeformed Noisy Data File", "%f ");
     },
     "Appends the retrodeformed noisy set to a row-format file"},
    {"ShowCData", [](shell::Host& host, State& s) { show(host, s.models.cdata); }, "Plots the clean set"},
    {"ShowNData", [](shell::Host& host, State& s) { show(host, s.models.ndata); }, "Plots the noisy set"},
    {"ShowDCData", [](shell::Host& host, State& s) { show(host, s.models.dcdata, &s.models.udcdata); },
     "Plots the deformed clean set with its retrodeformation over it"},
    {"ShowDNData", [](shell::Host& host, State& s) { show(host, s.models.dndata, &s.models.udndata); },
     "Plots the deformed noisy set with its retrodeformation over it"},
    {"ShowDCData2", [](shell::Host& host, State& s) { show(host, s.models.dcdata); }, "Plots the deformed clean set"},
    {"ShowDNData2", [](shell::Host& host, State& s) { show(host, s.models.dndata); }, "Plots the deformed noisy set"},
    {"Clear",
     [](shell::Host& host, State& s) {
       s.models = Models{};
       host.axes().cla();
       host.setstring("FileBox1", "No File Active");
       host.setstring("FileBox2", "No File Active");
     },
     "Forgets the simulated sets and clears the plot; the loaded shapes are kept"},
};

} // namespace

std::span<const shell::Action<State>> actions() { return table; }

void TSSwitch(shell::Host& host, State& s, std::string_view action) {
  shell::dispatch(actions(), {"Tectsim", "Fell through Case!", ""}, host, s, action);
}

void define() {
  // The program's stored values, empty at start.
  static State state;
  state = State{};
  shell::defineswitch("TSSwitch", [](shell::Host& host, const std::string& action) { TSSwitch(host, state, action); });
}

} // namespace tectsim
