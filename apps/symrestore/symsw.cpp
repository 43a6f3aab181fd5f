#include "apps/symrestore/symsw.h"

#include "apps/symrestore/symmetry.h"
#include "core/error.h"
#include "core/procrustes.h"
#include "core/text_format.h"
#include "shell/actions.h"
#include "shell/boxes.h"
#include "shell/callables.h"
#include "shell/estimates.h"
#include "shell/file_dialogs.h"
#include "shell/shape_plot.h"
#include "warp/undeform.h"

#include <cmath>
#include <numbers>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace symrestore {

namespace {

using shell::Entry;
using shell::Number;

// Symrestore's boxes. Which axes PCABox may name depends on the data, and
// is checked against them.
constexpr shell::Box StrainBox{"StrainBox", "stretch e = √R", Entry::number, Number::Positive};
constexpr shell::Box PCABox{"PCABox", "axes to remove", Entry::numbers};
constexpr shell::Box ProtoBox{"ProtoBox", "the pairs file loaded last", Entry::shown};
constexpr shell::Box GetPairs{"GetPairs", "load the pairs file", Entry::button};
constexpr shell::Box BootBox{"BootBox", "number of resamples", Entry::number, Number::Whole, {100, maxresamples}};
constexpr const shell::Box* all[] = {&shell::ApplyScale, &shell::NegativeMissing, &shell::FileBox, &ProtoBox,
                                     &GetPairs,          &StrainBox,              &PCABox,         &shell::EstimateBox,
                                     &BootBox};
// What the actions read.
constexpr const shell::Box* loadboxes[] = {&shell::ApplyScale, &shell::NegativeMissing};
constexpr const shell::Box* strainboxes[] = {&StrainBox};
constexpr const shell::Box* pcaboxes[] = {&PCABox};
constexpr const shell::Box* estimateboxes[] = {&shell::EstimateBox};
constexpr const shell::Box* bootboxes[] = {&BootBox};

void requiredata(const State& s) {
  if (s.data.empty()) throw core::Error("Load a data file first");
  // Without the size slot the last y would be taken for it (and a fix
  // would carry a coordinate into the slot of its result).
  if (s.data.matrix().cols() % 2 == 0)
    throw core::Error("The data set '" + s.data.name() + "' has " + std::to_string(s.data.matrix().cols()) +
                      " columns, but a specimen row holds 2k + 1 (k landmarks and the size slot); add the size slot, "
                      "a 1 at the end of every line");
}

void requirepairs(const State& s) {
  requiredata(s);
  if (s.lmlist.size() == 0) throw core::Error("Load the pairs file first");
  if (!s.pairsmisfit.empty()) throw core::Error(s.pairsmisfit);
}

// Why the pair list does not fit the data, in words that say what to do;
// empty when it fits (or either is missing).
std::string misfit(const State& s) {
  if (s.data.empty() || s.lmlist.size() == 0) return {};
  try {
    checkpairs(s.lmlist, s.data.k());
  } catch (const core::Error& e) {
    return "The pairs file '" + s.pairsfile + "' does not fit the data file '" + s.data.name() + "' (" +
           std::to_string(s.data.k()) + " landmarks): " + e.what() + "; load a pairs file for these data";
  }
  return {};
}

// Drops an undeformed set that no longer belongs to what is loaded, and
// says so.
void dropundata(shell::Host& host, State& s, const char* why) {
  if (s.undata.empty()) return;
  s.undata = {};
  s.undatapairs = false;
  if (s.estimatedundata) s.estimated.clear(), s.estimatedundata = false;
  host.note(std::string("note: the undeformed set of the ") + why +
            " loaded before was cleared; undeform again before saving");
}

// The specimens that lack landmarks, for an action that cannot take them.
void requirecomplete(const State& s, const char* action, const char* why) {
  if (s.data.complete()) return;
  const core::MissingLandmarks& missing = s.data.missinglandmarks();
  throw core::Error(std::string(action) + " " + why + ": " + std::to_string(missing.specimens.size()) + " of the " +
                    std::to_string(s.data.n()) + " specimens of '" + s.data.name() + "' lack landmarks (" +
                    std::to_string(missing.count) +
                    " in all); estimate them first (Estimate missing) or load complete specimens");
}

void loaddata(shell::Host& host, State& s) {
  s.data = shell::loadlandmarks(host);
  s.estimated.clear();
  s.estimatedundata = false;
  s.fittedR = 0;
  dropundata(host, s, "data set");
  shell::dropresults(host, "data set loaded before");
  // A pair list made for other landmarks is kept (a data set that fits
  // may follow), but the fixes stay off and say why.
  s.pairsmisfit = misfit(s);
  if (!s.pairsmisfit.empty()) host.note("note: " + s.pairsmisfit);
  const auto m = static_cast<double>(s.data.n()), n = static_cast<double>(s.data.matrix().cols());
  std::vector<std::string> box{s.data.name(), core::format("%3.0f Landmarks", std::ceil((n - 1) / 2)),
                               core::format("%3.0f Specimens", m)};
  const core::MissingLandmarks& missing = s.data.missinglandmarks();
  if (!missing.none())
    box.push_back(core::format("%3.0f missing in %d", static_cast<double>(missing.count),
                               static_cast<int>(missing.specimens.size())));
  // The coordinates are then in the unit of the files' SCALE= lines.
  if (s.data.scaled()) box.push_back("in SCALE= units");
  host.setstring(shell::FileBox.tag, box);
  // The plot of results made from the data loaded before goes with them.
  shell::Axes& axes = host.axes();
  axes.cla();
  shell::showshape(axes, s.data.matrix(), "ko", "specimens");
  axes.title("Specimens as digitised");
  const char* unit = s.data.scaled() ? " (SCALE= units)" : " (data units)";
  axes.label(std::string("x") + unit, std::string("y") + unit);
  axes.axisauto();
  axes.axisequal();
  // Loading another data set stays possible.
  host.setenable(GetPairs.tag, true);
}

void loadproto(shell::Host& host, State& s) {
  std::string fn;
  const Eigen::MatrixXd pairs = shell::mfload(host, fn);
  // A list of axis rows only pairs nothing: there is no symmetry to
  // restore, and the fits would only turn and stretch the specimens.
  if (pairs.cols() >= 2 && (pairs.col(0).array() == pairs.col(1).array()).all())
    throw core::Error("The pairs file '" + fn + "' holds only axis rows (each of its " +
                      std::to_string(pairs.rows()) +
                      " rows names one landmark twice): it pairs no landmarks, so there is no symmetry to restore");
  // A list that does not fit the loaded data is refused before it is kept.
  if (!s.data.empty()) checkpairs(pairs, s.data.k());
  s.lmlist = pairs;
  s.pairsfile = fn;
  s.pairsmisfit.clear();
  if (s.undatapairs) dropundata(host, s, "pair list");
  host.setstring(ProtoBox.tag, std::vector<std::string>{fn});
}

// A symmetry fix that needs two axis rows: the message box as always, then
// an error, so that a script stops and the window's status line says what
// was not done.
[[noreturn]] void noaxis(shell::Host& host, const State& s, std::string_view action) {
  host.alert(oneaxispoint, "");
  Eigen::Index axis = 0;
  for (Eigen::Index j = 0; j < s.lmlist.rows(); ++j) axis += s.lmlist(j, 0) == s.lmlist(j, 1);
  throw core::Error(std::string(action) + " needs two axis rows (a landmark paired with itself, 'a a') in the pairs file '" +
                    s.pairsfile + "', which has " + std::to_string(axis) + ": nothing was undeformed");
}

// The undeformed set superimposed on its consensus and plotted; with
// `compare`, the loaded data fitted onto that consensus are drawn first.
void finish(shell::Host& host, State& s, Eigen::MatrixXd undata, bool compare, bool quarterturn, const char* title) {
  core::Superimposition sup = core::getconsensus(undata);
  if (quarterturn) {
    sup.y = rotateshape(sup.y, -std::numbers::pi / 2);
    sup.xpt = core::getpsup(sup.xpt, sup.y);
  }
  s.undata = s.data.with(sup.xpt);
  s.undatapairs = true;
  if (s.estimatedundata) s.estimated.clear(), s.estimatedundata = false;
  shell::Axes& axes = host.axes();
  axes.cla();
  if (compare) shell::showshape(axes, core::getpsup(s.data.matrix(), sup.y), "md", "deformed specimens");
  shell::showshape(axes, sup.y, "ro", "consensus");
  shell::showshape(axes, s.undata.matrix(), "bo", "made symmetric");
  axes.title(title);
  axes.label("x (Procrustes units)", "y (Procrustes units)");
}

// Each specimen's own strain as a table: R and theta' of the strain its
// fix undid (the bed's is in the line saystrain notes).
void showstrains(shell::Host& host, const State& s, const StrainSummary& strain, const char* action) {
  shell::Table table{std::string(action) + ": the strain of each specimen", {"specimen", "ID", "R", "theta'"}, {}, 1};
  for (std::size_t i = 0; i < strain.specimens.size(); ++i)
    table.add({static_cast<double>(i + 1), s.data.ids().id(i), strain.specimens[i].R,
               strain.specimens[i].longaxis.axial().deg()});
  host.showtable(table);
}

// The strain a fix found, said on the console, in the pane and on the
// status line.
void saystrain(shell::Host& host, const State& s, const Restored& fixed, const char* action) {
  const StrainSummary strain = strainsummary(s.data.matrix(), fixed);
  host.note(strainline(action, strain));
  showstrains(host, s, strain, action);
}

void undeformpca(shell::Host& host, State& s) {
  requiredata(s);
  // The principal axes of incomplete specimens would need their scores
  // from the landmarks they lack.
  requirecomplete(s, "UndeformPCA", "cannot remove principal axes of shape from incomplete specimens");
  const Eigen::MatrixXd naxis = shell::boxnumbers(host, PCABox);
  if (naxis.size() == 0)
    throw core::Error(shell::boxcalled(PCABox) + " holds '" + shell::boxtext(host, PCABox) +
                      "', which lists no axis; type the axes to remove, such as 1 or 1 2");
  const Eigen::Index k = s.data.k();
  if (2 * k - 4 < 1)
    throw core::Error("The data set '" + s.data.name() + "' has " + std::to_string(k) +
                      " landmarks, which vary in no principal axis of shape (2k - 4 = " + std::to_string(2 * k - 4) +
                      "): there is nothing to remove");
  for (Eigen::Index i = 0; i < naxis.size(); ++i)
    if (!(naxis(i) >= 1 && naxis(i) <= static_cast<double>(2 * k - 4)) || naxis(i) != std::floor(naxis(i)))
      throw core::Error(shell::boxcalled(PCABox) + " holds axis " + core::format("%g", naxis(i)) +
                        "; the axes of " + std::to_string(k) + " landmarks are numbered 1 ... " +
                        std::to_string(2 * k - 4));
  // Computed aside and kept only when the whole removal has worked.
  Eigen::RowVectorXd reference = core::getconsensus(s.data.matrix()).y;
  reference = (reference * 10000).array().round() / 10000;
  // The loaded data stay as loaded: the superimposed copy is only drawn,
  // so that the other fixes and another load remain open afterwards.
  const Eigen::MatrixXd data = core::getpsup(s.data.matrix(), reference);
  s.undata = s.data.with(core::getpsup(warp::undeformpca(data, naxis), reference));
  s.undatapairs = false;
  if (s.estimatedundata) s.estimated.clear(), s.estimatedundata = false;
  shell::Axes& axes = host.axes();
  axes.cla();
  shell::showshape(axes, data, "md", "superimposed specimens");
  shell::showshape(axes, reference, "ro", "consensus");
  shell::showshape(axes, s.undata.matrix(), "bo", "principal axes removed");
  axes.title("UndeformPCA: principal axes of shape removed");
  axes.label("x (Procrustes units)", "y (Procrustes units)");
}

void save(shell::Host& host, const State& s) {
  if (s.undata.empty()) throw core::Error("Nothing to save yet: undeform the data first");
  // The rows are the loaded specimens in their order, with their
  // identities.
  if (const auto file = host.uiputfile("*.*", "File Name for Undeformed Dataset"))
    shell::writewithestimates(file->path(), s.undata, s.estimated);
}

// Places the missing landmarks of the undeformed set, or of the loaded data
// before any undeformation, by the method in EstimateBox, says where each
// went, and marks them on the plot.
void estimatemissing(shell::Host& host, State& s) {
  requiredata(s);
  const core::Estimate method = shell::estimatemethod(host);
  const bool inundata = !s.undata.empty();
  if (method == core::Estimate::mirror) {
    requirepairs(s);
    // Tectonic strain breaks the symmetry mirror relies on.
    if (!inundata)
      host.print("note: mirror reflects a landmark's partner across the specimen's own axis of symmetry, which a "
                 "deformed fossil has lost: it is meaningful only after retrodeformation (undeform first, and the "
                 "undeformed set's landmarks are estimated)\n");
  }
  core::Specimens& x = inundata ? s.undata : s.data;
  const auto done = shell::placemissing(host, x, method, s.lmlist, inundata ? "undeformed set" : "data set");
  if (done.empty() && x.complete()) return;
  if (s.estimatedundata != inundata) s.estimated.clear();
  shell::addestimates(s.estimated, done);
  s.estimatedundata = inundata;
  shell::markestimates(host.axes(), x.matrix(), done);
}

// The fits of a symmetry fix, reporting how far they are and hearing a
// cancel; a cancelled fix leaves what was stored as it was.
Work reported(shell::Host& host, const State& s, const char* what) {
  Work work;
  const std::string text = std::string(what) + ": making " + std::to_string(s.data.n()) + " specimens symmetric";
  work.progress = [&host, text](double fraction) { return host.progress(text, fraction); };
  return work;
}

void cancelled(shell::Host& host, const char* action) {
  host.echo(std::string(action) + " cancelled; nothing was undeformed\n");
}

// Names the specimens that lacked too much for a fit of their own.
void sayunfitted(shell::Host& host, const State& s, const Restored& fixed, const char* action) {
  if (fixed.unfitted.empty()) return;
  std::string names;
  for (std::size_t i = 0; i < fixed.unfitted.size(); ++i)
    names += (i == 0 ? "" : ", ") + s.data.ids().label(static_cast<std::size_t>(fixed.unfitted[i]));
  host.print(std::string("note: ") + action + ": specimen" + (fixed.unfitted.size() > 1 ? "s " : " ") + names +
             " of '" + s.data.name() + "' lack" + (fixed.unfitted.size() > 1 ? "" : "s") +
             " too many landmarks for a fit of " + (fixed.unfitted.size() > 1 ? "their" : "its") + " own (" +
             std::to_string(minpairs) + " complete pairs and " + std::to_string(minrows) +
             " complete rows of the pair list are needed); given the bed's strain instead\n");
}

void undeform(shell::Host& host, State& s) {
  requirepairs(s);
  Restored fixed;
  try {
    fixed = tectfix2(s.data.matrix(), s.lmlist, reported(host, s, "UnDeform"));
  } catch (const Cancelled&) {
    return cancelled(host, "UnDeform");
  }
  sayunfitted(host, s, fixed, "UnDeform");
  const StrainSummary strain = strainsummary(s.data.matrix(), fixed);
  s.fittedR = strain.joint.R;
  host.note(strainline("UnDeform", strain));
  showstrains(host, s, strain, "UnDeform");
  finish(host, s, fixed.y, false, false, "UnDeform: symmetric, strain fitted to the bed");
}

// The bed's strain with its intervals, on the console, in the results pane
// and window and on the status line; the data and the plot stay as they
// were.
void bootstrapstrain(shell::Host& host, State& s) {
  const int resamples = shell::boxwhole(host, BootBox);
  requirepairs(s);
  Work work;
  work.progress = [&host, resamples](double fraction) {
    return host.progress(core::format("BootstrapStrain: the bed's strain and %d resamples", resamples), fraction);
  };
  StrainBootstrap b;
  try {
    b = symrestore::bootstrapstrain(s.data.matrix(), s.lmlist, resamples, work);
  } catch (const Cancelled&) {
    host.echo("BootstrapStrain cancelled; nothing reported\n");
    return;
  }
  host.note(bootstrapline(b));
  host.setresults({stats::intervalheader, stats::intervalrow("symmetry", b.strain)});
  shell::Table table{core::format("Bootstrap of the bed's strain (%i resamples, 95 %% intervals)", resamples), {"fit"}, {}};
  table.columns.insert(table.columns.end(), stats::intervalcolumns.begin(), stats::intervalcolumns.end());
  std::vector<shell::Cell> row{std::string("symmetry")};
  for (double v : stats::intervalvalues(b.strain)) row.emplace_back(v);
  table.add(std::move(row));
  host.showtable(table);
}

void undeformuni(shell::Host& host, State& s) {
  requirepairs(s);
  requirecomplete(s, "UndeformUni", "cannot remove uniform components from incomplete specimens");
  const auto fixed = tectfix3(s.data.matrix(), s.lmlist);
  if (!fixed) noaxis(host, s, "UndeformUni");
  saystrain(host, s, *fixed, "UndeformUni");
  finish(host, s, fixed->y, true, true, "UndeformUni: first uniform component removed");
}

void retrostrain(shell::Host& host, State& s) {
  double e = shell::boxnumber(host, StrainBox);
  requirepairs(s);
  // Asked before anything runs: a fix with R taken for e would replace a
  // good result with one of the square of the strain.
  if (const auto question = looksliker(e, s.fittedR)) {
    const double root = std::sqrt(e);
    const std::vector<std::string> answers{core::format("Use e = %g (R = %.3g)", e, e * e),
                                           core::format("Use e = %.4g (R = %g)", root, e), "Cancel"};
    // A script takes the value it was given: it said e.
    const std::size_t answer = host.ask(*question, "Stretch e or R?", answers, 0);
    if (answer == 2) return cancelled(host, "RetroStrain");
    if (answer == 1) {
      e = root;
      host.setstring(StrainBox.tag, core::format("%.6g", e));
    }
  }
  std::optional<Restored> fixed;
  try {
    fixed = tectfix4(s.data.matrix(), s.lmlist, e, reported(host, s, "RetroStrain"));
  } catch (const Cancelled&) {
    return cancelled(host, "RetroStrain");
  }
  if (!fixed) noaxis(host, s, "RetroStrain");
  sayunfitted(host, s, *fixed, "RetroStrain");
  saystrain(host, s, *fixed, "RetroStrain");
  finish(host, s, fixed->y, true, false, "RetroStrain: symmetric, stretch e given");
}

// What the fixes need before their buttons are enabled.
const char* needdata(const State& s) { return s.data.empty() ? "Load a data file first" : nullptr; }
const char* needpairs(const State& s) {
  if (const char* need = needdata(s)) return need;
  if (s.lmlist.size() == 0) return "Load the pairs file first";
  return s.pairsmisfit.empty() ? nullptr : s.pairsmisfit.c_str();
}

// Forgets everything loaded and made, as the program starts.
void clear(shell::Host& host, State& s) {
  s = State{};
  shell::clearshown(host, {shell::FileBox.tag, ProtoBox.tag});
}

// Symrestore's actions, in the order its message for an unknown action
// lists them.
using shell::ActionKind;
constexpr shell::Action<State> table[] = {
    {"LoadData", ActionKind::load, loaddata, "Reads a row-format data set, as digitised on the slab, and plots it",
     nullptr, loadboxes},
    {"LoadProto", ActionKind::load, loadproto, "Reads the pairs file and checks it against the data set"},
    {"UnDeform", ActionKind::compute, undeform, "Makes the specimens symmetric with the strain fitted to the whole bed",
     needpairs},
    {"BootstrapStrain", ActionKind::compute, bootstrapstrain,
     "Gives 95 % intervals of the bed's strain (as UnDeform fits it) from BootBox resamples of the specimens",
     needpairs, bootboxes},
    {"UndeformUni", ActionKind::compute, undeformuni,
     "Makes each specimen symmetric by removing its first uniform component", needpairs},
    {"RetroStrain", ActionKind::compute, retrostrain,
     "Makes each specimen symmetric with the stretch e (= √R) typed in StrainBox", needpairs, strainboxes},
    {"UndeformPCA", ActionKind::compute, undeformpca, "Removes the principal axes of shape listed in PCABox", needdata,
     pcaboxes},
    {"EstimateMissing", ActionKind::compute, estimatemissing,
     "Places the missing landmarks of the undeformed set, or of the data before undeforming, by the method in EstimateBox",
     needdata, estimateboxes},
    {"Save", ActionKind::save, [](shell::Host& host, State& s) { save(host, s); },
     "Writes the last undeformed data set in the row format",
     [](const State& s) -> const char* { return s.undata.empty() ? "Undeform the data first" : nullptr; }},
    {"Clear", ActionKind::show, clear, "Forgets the data, the pairs file and the results, and clears the plot"},
};

} // namespace

std::optional<std::string> looksliker(double e, double fittedR) {
  const bool known = fittedR >= 1.2;
  const bool nearR = known && std::abs(std::log(e / fittedR)) < std::abs(std::log(e / std::sqrt(fittedR)));
  if (!(known ? nearR : e > 2 && e <= 10)) return std::nullopt;
  std::string text = core::format("The stretch e (= √R) box holds %g, which looks like the axis ratio R rather than "
                                  "the stretch e: as a stretch it means R = e² = %.3g. ",
                                  e, e * e);
  if (known)
    text += core::format("The fitted strain of these data is R = %.3g (e = %.3g). ", fittedR, std::sqrt(fittedR));
  else
    text += "A stretch above 2 (R above 4) is beyond the strain of all but the most deformed beds. ";
  return text + core::format("Which did you mean: e = %g, or R = %g (e = %.4g)?", e, e, std::sqrt(e));
}

std::span<const shell::Action<State>> actions() { return table; }

shell::Boxes boxes() { return all; }

void symsw(shell::Host& host, State& s, std::string_view action) {
  shell::dispatch(actions(), {"Symrestore", "Fell through case function", ""}, host, s, action);
}

void define() {
  // The program's stored values, empty at start.
  static State state;
  state = State{};
  shell::setreadiness(shell::readinessof(actions(), state));
  shell::register_objective("tecterror2", tecterror2, 5);
  shell::register_objective("tecterror6", tecterror6, 6);
  shell::defineswitch("symsw", [](shell::Host& host, const std::string& action) { symsw(host, state, action); });
}

} // namespace symrestore
