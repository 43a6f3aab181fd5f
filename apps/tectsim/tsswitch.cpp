#include "apps/tectsim/tsswitch.h"

#include "core/angles.h"
#include "core/error.h"
#include "core/random.h"
#include "core/strain.h"
#include "core/text_format.h"
#include "io/row_file.h"
#include "io/text_file.h"
#include "shell/actions.h"
#include "shell/boxes.h"
#include "shell/callables.h"
#include "shell/file_dialogs.h"
#include "shell/shape_plot.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <ctime>
#include <string>

namespace tectsim {

namespace {

using shell::Entry;
using shell::Number;

// Tectsim's boxes. How many specimens a simulation may hold depends on
// the exemplars' landmarks, and is checked against them. Coordinates of
// superimposed shapes are about 1/sqrt(k): a noise of a thousand is far
// past shape; a strain of a thousand flattens every specimen at the
// precision of its coordinates.
constexpr shell::Box NumBox{"NumBox", "number of specimens", Entry::number, Number::Whole, shell::unbounded};
constexpr shell::Box AmpBox{"AmpBox", "noise amplitude", Entry::number, Number::Any, {0, 1e3}};
constexpr shell::Box DefBox{"DefBox", "deformation amount", Entry::number, Number::Positive, {1e-3, 1e3}};
constexpr shell::Box AngleBox{"AngleBox", "diagonal strain angle, degrees", Entry::number, Number::Any, {-360, 360}};
constexpr shell::Box NaxisBox{"NaxisBox", "principal axes to remove", Entry::numbers, Number::Whole};
constexpr shell::Box FileBox1{"FileBox1", "the start shape loaded last", Entry::shown};
constexpr shell::Box FileBox2{"FileBox2", "the end shape loaded last", Entry::shown};
constexpr shell::Box StrainShown{"StrainShown", "the strain the elongation and the angle make", Entry::shown};
constexpr const shell::Box* all[] = {&shell::ApplyScale, &shell::NegativeMissing, &FileBox1, &FileBox2,
                                     &NumBox,            &AmpBox,                 &DefBox,   &AngleBox,
                                     &StrainShown,       &NaxisBox,               &shell::AuxResults};
// What the actions read.
constexpr const shell::Box* loadboxes[] = {&shell::ApplyScale, &shell::NegativeMissing};
constexpr const shell::Box* buildboxes[] = {&NumBox, &AmpBox, &DefBox, &AngleBox, &NaxisBox};

// Draws an exemplar in its style, named for the legend as its button
// names it.
void drawexemplar(shell::Axes& axes, const Eigen::MatrixXd& y, bool second) {
  shell::showshape(axes, y, second ? "ro" : "bo", second ? "end shape" : "start shape");
}

// Shows the strain the boxes make beside them; a box that holds no number
// of its kind shows that the strain waits for it.
void showstrain(shell::Host& host) {
  std::string text;
  try {
    text = straintext(shell::boxnumber(host, DefBox), core::Angle::degrees(shell::boxnumber(host, AngleBox)));
  } catch (const core::Error&) {
    text = "Strain made: type an elongation and an angle";
  }
  host.setstring(StrainShown.tag, text);
}

void load(shell::Host& host, State& s, bool second) {
  const core::Specimens in = shell::loadlandmarks(host);
  const std::string name = std::string("The ") + (second ? "end" : "start") + " shape file '" + in.name() + "'";
  // The path between the exemplars runs through every landmark: one that
  // was not placed has no place on it, and no estimate should stand in
  // for a shape the experiment is built on.
  if (!in.complete())
    throw core::Error(name + " lacks landmarks, and a start or end shape must be complete: " +
                      core::missingreport(in.missinglandmarks(), in.ids()));
  checkexemplar(in.matrix(), name);
  (second ? s.exemplar2 : s.exemplar1) = in;
  shell::Axes& axes = host.axes();
  if (s.models.cdata.size() > 0) {
    // The sets were built from the exemplar now replaced: they and their
    // plot go, and the other exemplar is drawn again beside the new one.
    s.models = Models{};
    s.reported = false;
    s.shown = {};
    host.clearresults();
    axes.cla();
    const core::Specimens& other = second ? s.exemplar1 : s.exemplar2;
    if (!other.empty()) drawexemplar(axes, other.matrix(), !second);
    host.note(std::string("note: the simulated sets, their plot and their statistics made from the shape loaded "
                          "before were cleared; build the models again (Build models)"));
  }
  drawexemplar(axes, in.matrix(), second);
  axes.title("Exemplar shapes");
  const char* unit = in.scaled() ? " (SCALE= units)" : " (data units)";
  axes.label(std::string("x") + unit, std::string("y") + unit);
  axes.axisauto();
  axes.axisequal();
  axes.sethold(true);
  const auto m = static_cast<double>(in.n()), n = static_cast<double>(in.matrix().cols());
  std::string box = core::format("File %s \n %4.0f %s \n %4.0f landmarks", in.name(), m,
                                 in.n() == 1 ? "specimen" : "specimens", (n - 1) / 2);
  if (in.scaled()) box += " \n in SCALE= units";
  host.setstring((second ? FileBox2 : FileBox1).tag, box);
}

const Eigen::MatrixXd& built(const Eigen::MatrixXd& set) {
  if (set.size() == 0) throw core::Error("Nothing to show or save yet: build the models first (Build models)");
  return set;
}

void save(shell::Host& host, const Eigen::MatrixXd& set, const char* title, const char* valueformat) {
  built(set);
  // The set is added after what the file holds, unless the person at the
  // window chose to replace it.
  const auto file = host.uiappendfile("*.*", title);
  if (!file) return;
  io::writerows(file->path(), set, valueformat, "\n", file->replace ? io::WriteMode::Replace : io::WriteMode::Append);
  host.note(savedline(file->name, set.rows(), io::readfile(file->path()), file->replace));
}

// A simulated set (superimposed, so in Procrustes units), with its
// retrodeformation drawn over it when `over` is given; the plot then
// follows the models through a rebuild.
void show(shell::Host& host, State& st, Eigen::MatrixXd Models::*shown, const char* name,
          Eigen::MatrixXd Models::*drawnover = nullptr) {
  const Eigen::MatrixXd& set = st.models.*shown;
  const Eigen::MatrixXd* over = drawnover != nullptr ? &(st.models.*drawnover) : nullptr;
  built(set);
  st.shown = {shown, drawnover, name};
  shell::Axes& axes = host.axes();
  axes.cla();
  shell::showshape(axes, set, "bo", name);
  if (over != nullptr) shell::showshape(axes, built(*over), "r>", "retrodeformed");
  std::string title = name;
  title[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(title[0])));
  axes.title(over != nullptr ? title + " and its retrodeformation" : title);
  axes.label("x (Procrustes units)", "y (Procrustes units)");
}

std::string now() {
  const std::time_t t = std::time(nullptr);
  std::tm local{};
  localtime_r(&t, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

// The report of the models as built: its heading, then the statistics;
// their numbers as a table, one row per set.
std::vector<std::string> report(shell::Host& host, const State& s) {
  Statistics stats = statistics(s.models);
  std::vector<std::string> rows = reportheading(s, now());
  rows.push_back(std::move(stats.text));
  shell::Table table{core::format("Statistics of the simulated sets (%d specimens each)", s.built.nsamp),
                     {"set", "Wilks lambda", "F", "variance explained (%)", "df1", "df2", "Wilks p value",
                      "regression slope", "intercept", "SD of slope", "correlation", "z score", "regression p value"},
                     {}};
  for (const SetStatistics& set : stats.sets) {
    std::vector<shell::Cell> row{set.set};
    row.insert(row.end(), set.wilks.begin(), set.wilks.end());
    row.insert(row.end(), set.regression.begin(), set.regression.end());
    table.add(std::move(row));
  }
  host.showtable(table);
  return rows;
}

void build(shell::Host& host, State& s) {
  Parameters p;
  const double nsamp = shell::boxnumber(host, NumBox);
  if (nsamp < 3) throw core::Error(shell::boxcalled(NumBox) + " must hold a whole number of at least 3");
  const Eigen::Index columns = s.exemplar1.matrix().cols();
  if (nsamp > maxspecimens(columns))
    throw core::Error(shell::boxcalled(NumBox) + " holds '" + shell::boxtext(host, NumBox) +
                      "', which is more than the " + std::to_string(maxspecimens(columns)) + " specimens a simulation" +
                      (columns > 0 ? " of " + std::to_string((columns - 1) / 2) + " landmarks" : std::string()) +
                      " may hold");
  p.nsamp = static_cast<int>(nsamp);
  p.noiseamp = shell::boxnumber(host, AmpBox);
  p.defamp = shell::boxnumber(host, DefBox);
  p.defangle = core::Angle::degrees(shell::boxnumber(host, AngleBox));
  p.npca = shell::boxnumbers(host, NaxisBox);
  s.models = buildmodels(s.exemplar1.matrix(), s.exemplar2.matrix(), p,
                         [&](double f) { host.progress(core::format("Building %d simulated specimens", p.nsamp), f); });
  s.built = p;
  ++s.builds;
  showstrain(host);
  // The set on the plot is drawn again from the models just built: the
  // plot of the old ones would pass for theirs.
  if (s.shown.set != nullptr) {
    show(host, s, s.shown.set, s.shown.name, s.shown.over);
    host.note("The plot was drawn again from the rebuilt models");
  }
  host.echo(core::format("Built %d clean, noisy, deformed and retrodeformed specimens\n", p.nsamp));
  // The Results tab would otherwise go on showing the report of the
  // models just replaced.
  if (s.reported && !host.results().empty()) {
    host.setstring(shell::AuxResults.tag, report(host, s));
    host.note("The Results tab now shows the report of the rebuilt models");
  }
}

// What the actions need before their buttons are enabled.
const char* needexemplars(const State& s) {
  return s.exemplar1.empty() || s.exemplar2.empty() ? "Load the start and end shapes first" : nullptr;
}
const char* needmodels(const State& s) {
  return s.models.cdata.size() == 0 ? "Build the models first (Build models)" : nullptr;
}

// Tectsim's actions, in the order its message for an unknown action lists
// them. The Show...2 actions plot a deformed set alone; ShowDCData and
// ShowDNData draw its retrodeformation over it.
using shell::ActionKind;
constexpr shell::Action<State> table[] = {
    {"Load1", ActionKind::load, [](shell::Host& host, State& s) { load(host, s, false); },
     "Reads the start shape of the shape change (one or several specimens)", nullptr, loadboxes},
    {"Load2", ActionKind::load, [](shell::Host& host, State& s) { load(host, s, true); },
     "Reads the end shape of the shape change (one specimen)", nullptr, loadboxes},
    {"BuildModels", ActionKind::compute, build,
     "Builds the six simulated sets from the boxes NumBox, AmpBox, DefBox, AngleBox, NaxisBox", needexemplars,
     buildboxes},
    {"DoStats", ActionKind::compute,
     [](shell::Host& host, State& s) {
       host.setresults(report(host, s));
       s.reported = true;
     },
     "Tests every set for the shape change and shows the report in the results pane", needmodels},
    {"SaveCData", ActionKind::save,
     [](shell::Host& host, State& s) { save(host, s.models.cdata, "File Name for Clean Data File", "%f "); },
     "Appends the clean set to a row-format file", needmodels},
    {"SaveNData", ActionKind::save,
     [](shell::Host& host, State& s) { save(host, s.models.ndata, "File Name for Noisy Data File", "%f "); },
     "Appends the noisy set to a row-format file", needmodels},
    {"SaveDCData", ActionKind::save,
     [](shell::Host& host, State& s) {
       save(host, s.models.dcdata, "File Name for Deformed Clean Data File", "%f ");
     },
     "Appends the deformed clean set to a row-format file", needmodels},
    {"SaveDNData", ActionKind::save,
     [](shell::Host& host, State& s) {
       save(host, s.models.dndata, "File Name for Deformed Noisy Data File", " %f ");
     },
     "Appends the deformed noisy set to a row-format file", needmodels},
    {"SaveRDCData", ActionKind::save,
     [](shell::Host& host, State& s) {
       save(host, s.models.udcdata, "File Name for Retro-Deformed Clean Data File", "%f ");
     },
     "Appends the retrodeformed clean set to a row-format file", needmodels},
    {"SaveRDNData", ActionKind::save,
     [](shell::Host& host, State& s) {
       save(host, s.models.udndata, "File Name for RetroDeformed Noisy Data File", "%f ");
     },
     "Appends the retrodeformed noisy set to a row-format file", needmodels},
    {"ShowCData", ActionKind::show,
     [](shell::Host& host, State& s) { show(host, s, &Models::cdata, "clean set"); },
     "Plots the clean set", needmodels},
    {"ShowNData", ActionKind::show,
     [](shell::Host& host, State& s) { show(host, s, &Models::ndata, "noisy set"); },
     "Plots the noisy set", needmodels},
    {"ShowDCData", ActionKind::show,
     [](shell::Host& host, State& s) { show(host, s, &Models::dcdata, "deformed clean set", &Models::udcdata); },
     "Plots the deformed clean set with its retrodeformation over it", needmodels},
    {"ShowDNData", ActionKind::show,
     [](shell::Host& host, State& s) { show(host, s, &Models::dndata, "deformed noisy set", &Models::udndata); },
     "Plots the deformed noisy set with its retrodeformation over it", needmodels},
    {"ShowDCData2", ActionKind::show,
     [](shell::Host& host, State& s) { show(host, s, &Models::dcdata, "deformed clean set"); },
     "Plots the deformed clean set", needmodels},
    {"ShowDNData2", ActionKind::show,
     [](shell::Host& host, State& s) { show(host, s, &Models::dndata, "deformed noisy set"); },
     "Plots the deformed noisy set", needmodels},
    {"Clear", ActionKind::show,
     [](shell::Host& host, State& s) {
       // The count of builds goes on: it tells the reports of one run apart.
       const int builds = s.builds;
       s = State{};
       s.builds = builds;
       shell::clearshown(host, {FileBox1.tag, FileBox2.tag});
     },
     "Forgets the shapes, the simulated sets and their statistics, and clears the plot"},
};

} // namespace

std::string straintext(double defamp, core::Angle defangle) {
  if (std::abs(std::cos(2 * defangle.rad())) < 1e-9)
    return core::format("Strain made: none, an angle of %g° flattens every specimen", defangle.deg());
  const core::Strain strain = core::Strain::simulated(defamp, defangle);
  return core::format("Strain made: R = %.2f, θ′ = %.1f°", strain.R, strain.longaxis.deg());
}

std::string savedline(const std::string& name, Eigen::Index rows, const std::string& text, bool replaced) {
  const auto held = std::count(text.begin(), text.end(), '\n');
  const auto plural = [](Eigen::Index n) { return n == 1 ? " row" : " rows"; };
  if (replaced || held == rows) return "wrote " + std::to_string(rows) + plural(rows) + " to " + name;
  return "appended " + std::to_string(rows) + plural(rows) + " to " + name + "; the file now holds " +
         std::to_string(held) + plural(held);
}

std::vector<std::string> reportheading(const State& s, const std::string& when) {
  const Parameters& p = s.built;
  std::string axes;
  for (Eigen::Index i = 0; i < p.npca.size(); ++i) axes += core::format(i == 0 ? "%g" : " %g", p.npca(i));
  const auto count = [](const core::Specimens& y) {
    return std::to_string(y.n()) + (y.n() == 1 ? " specimen" : " specimens");
  };
  return {
      "Tectsim report, " + when,
      "Exemplars: " + s.exemplar1.name() + " (" + count(s.exemplar1) + ") to " + s.exemplar2.name() + " (" +
          count(s.exemplar2) + "), " + std::to_string((s.exemplar1.matrix().cols() - 1) / 2) + " landmarks",
      core::format("Parameters: %d specimens per set, noise amplitude %g, deformation amount %g, deformation angle %g "
                   "degrees, principal axes removed: %s",
                   p.nsamp, p.noiseamp, p.defamp, p.defangle.deg(), axes.empty() ? std::string("none") : axes),
      "Random seed " + std::to_string(core::seed()) + ", build " + std::to_string(s.builds) +
          " since the program started (repeat the run with --seed " + std::to_string(core::seed()) + ")",
  };
}

std::span<const shell::Action<State>> actions() { return table; }

shell::Boxes boxes() { return all; }

void TSSwitch(shell::Host& host, State& s, std::string_view action) {
  shell::dispatch(actions(), {"Tectsim", "Fell through Case!", ""}, host, s, action);
}

void define() {
  // The program's stored values, empty at start.
  static State state;
  state = State{};
  shell::setreadiness(shell::readinessof(actions(), state));
  // The window's elongation and angle boxes call it as they change.
  shell::define(shell::callable("tsstrain", 0, 0, [](const shell::Values&, int) -> shell::Values {
    showstrain(shell::host());
    return {};
  }));
  shell::defineswitch("TSSwitch", [](shell::Host& host, const std::string& action) { TSSwitch(host, state, action); });
}

} // namespace tectsim
