#include "apps/anglepick/anglepicksw.h"

#include "apps/anglepick/angles.h"
#include "core/angles.h"
#include "core/error.h"
#include "core/procrustes.h"
#include "core/text_format.h"
#include "io/angle_file.h"
#include "io/sidecars.h"
#include "io/text_file.h"
#include "shell/actions.h"
#include "shell/boxes.h"
#include "shell/estimates.h"
#include "shell/file_dialogs.h"
#include "shell/shape_plot.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace anglepick {

namespace {

// Anglepick's boxes.
constexpr shell::Box SlabBox{"SlabBox", "slab number", shell::Entry::number, shell::Number::Whole};
constexpr const shell::Box* all[] = {&shell::ApplyScale, &shell::NegativeMissing, &shell::FileBox, &SlabBox,
                                     &shell::EstimateBox};
// What the actions read.
constexpr const shell::Box* loadboxes[] = {&shell::ApplyScale, &shell::NegativeMissing};
constexpr const shell::Box* saveboxes[] = {&SlabBox};
constexpr const shell::Box* estimateboxes[] = {&shell::EstimateBox};

// Degrees of a bearing t and of an angle p (radians), for the files, the
// console and the pane.
double tdegrees(double t) { return core::Bearing::radians(t).deg(); }
double pdegrees(double p) { return core::Angle::radians(p).deg(); }

// The angles belong to the data and protocol they were measured on;
// nothing measured leaves all three empty.
bool measured(const State& s) { return s.tlist.size() > 0; }

// LoadData: the TPS dialog, a TPS or row-format file told apart by its
// content, scaled when ApplyScale is ticked and its missing landmarks said
// on the console; the specimens on their principal axes, plotted with the
// numbered consensus.
void loaddata(shell::Host& host, State& s) {
  // The file is read into a data set of its own, so that a file refused
  // half way (after the box was filled) leaves the loaded data and the box
  // as they were.
  const std::vector<std::string> box = host.string(shell::FileBox.tag);
  core::Specimens raw;
  try {
    raw = shell::loadtpsbox(host);
    // A protocol dropped on the window comes here, the first load's way.
    if (raw.matrix().cols() == 2)
      throw core::Error("The file '" + raw.name() + "' holds 2 numbers per row, as a protocol does: it is no landmark "
                        "data; load a TPS file first, then this file with Load protocol…");
    shell::plotprincipal(host, raw.matrix());
  } catch (...) {
    host.setstring(shell::FileBox.tag, box);
    throw;
  }
  s.rdata = std::move(raw);
  s.estimated.clear();
  shell::dropresults(host, "specimens loaded before");
  // Angles measured on the previous specimens must not be saved as if they
  // were these specimens' angles.
  if (measured(s)) {
    s.tlist.resize(0);
    s.plist.resize(0, 0);
    s.np.resize(0);
    host.print("note: the angles measured on the data loaded before were cleared; load the protocol (Load protocol…) "
               "to measure these specimens\n");
  }
}

// The protocol on the consensus of the complete specimens `complete` (rows
// of the data), said on the console when some specimens are left out.
void drawprotocol(shell::Host& host, const State& s, const std::vector<Eigen::Index>& complete) {
  const Eigen::Index n = s.rdata.n(), mp = s.proto.rows();
  shell::Axes& axes = host.axes();
  const bool all = static_cast<Eigen::Index>(complete.size()) == n;
  const core::Superimposition sup =
      core::getconsensuspca(all ? s.rdata.matrix() : s.rdata.subset(complete).matrix());
  if (!all) host.print(core::format("consensus of %i complete specimens of %i\n", complete.size(), n));
  shell::showshape(axes, sup.y, "rv", "consensus");
  axes.title("The protocol on the consensus");
  axes.label("x (Procrustes units)", "y (Procrustes units)");
  // The protocol on the consensus: a midline landmark as a green triangle,
  // a pair as a green line between its two landmarks. All the triangles go
  // into one plot and all the lines into another (the lines broken between
  // pairs by a point that is not a number): the axes refit their limits to
  // everything drawn at each plot, so a plot per row would make a long
  // protocol take time in the square of its length.
  const auto lx = [&](double lm) { return sup.y(2 * static_cast<Eigen::Index>(lm) - 2); };
  const auto ly = [&](double lm) { return sup.y(2 * static_cast<Eigen::Index>(lm) - 1); };
  const Eigen::Index pairs = (s.proto.col(1).array() != 0).count(), midline = mp - pairs;
  Eigen::VectorXd mx(midline), my(midline);
  Eigen::VectorXd px(pairs > 0 ? 3 * pairs - 1 : 0), py(px.size());
  px.setConstant(std::nan(""));
  py.setConstant(std::nan(""));
  for (Eigen::Index i = 0, m = 0, q = 0; i < mp; ++i) {
    const double a = s.proto(i, 0), b = s.proto(i, 1);
    if (b == 0) {
      mx(m) = lx(a), my(m) = ly(a), ++m;
    } else {
      px(3 * q) = lx(a), py(3 * q) = ly(a);
      px(3 * q + 1) = lx(b), py(3 * q + 1) = ly(b);
      ++q;
    }
  }
  if (midline > 0) axes.plot(mx, my, "gv"), axes.name("midline landmarks");
  if (pairs > 0) axes.plot(px, py, "g"), axes.name("landmark pairs");
  axes.axisauto();
  axes.axisequal();
}

// The mean of a specimen's measured p (radians); a pair with a missing
// landmark has no p. NaN when none was measured.
double meanp(const State& s, Eigen::Index i) {
  double sum = 0;
  int count = 0;
  for (Eigen::Index j = 0; j < s.plist.cols(); ++j)
    if (!std::isnan(s.plist(i, j))) sum += s.plist(i, j), ++count;
  return count > 0 ? sum / count : std::nan("");
}

// The measured angles as the results pane shows them: one row per specimen
// with t and its mean p (degrees), then a summary (summaryline).
std::vector<std::string> resultrows(const State& s) {
  std::vector<std::string> rows{"specimen\tt (degrees)\tmean p (degrees)"};
  std::vector<double> t, mp;
  for (Eigen::Index i = 0; i < s.tlist.size(); ++i) {
    const std::string specimen = s.rdata.ids().label(static_cast<std::size_t>(i));
    if (s.np(i) == 0) {
      rows.push_back(specimen + "\tno angles (landmarks missing)");
      continue;
    }
    t.push_back(s.tlist(i));
    mp.push_back(meanp(s, i));
    rows.push_back(core::format("%s\t%.2f\t%.2f", specimen, tdegrees(t.back()), pdegrees(mp.back())));
  }
  rows.push_back(t.empty() ? "No specimen gave angles." : summaryline(t, mp));
  return rows;
}

// The same as a table: per specimen its number, ID, t, mean p and the p
// of every pair of the protocol (degrees; empty where a landmark is
// missing).
shell::Table angletable(const State& s) {
  shell::Table table{"t and p per specimen (degrees)", {"specimen", "ID", "t", "mean p"}, {}, 1};
  for (Eigen::Index j = 0; j < s.plist.cols(); ++j) table.columns.push_back(core::format("p pair %i", j + 1));
  for (Eigen::Index i = 0; i < s.tlist.size(); ++i) {
    const bool angles = s.np(i) != 0;
    const double nan = std::nan("");
    std::vector<shell::Cell> row{static_cast<double>(i + 1), s.rdata.ids().id(static_cast<std::size_t>(i)),
                                 angles ? tdegrees(s.tlist(i)) : nan, angles ? pdegrees(meanp(s, i)) : nan};
    for (Eigen::Index j = 0; j < s.plist.cols(); ++j) row.emplace_back(angles ? pdegrees(s.plist(i, j)) : nan);
    table.add(std::move(row));
  }
  return table;
}

// Measures t and p on every specimen of the data by the protocol and keeps
// them with it; a specimen refused raises core::Error naming it before
// anything is kept. Returns the specimens that give no angles, and why.
std::vector<std::string> measure(State& s, const Eigen::MatrixXd& proto) {
  const Eigen::Index n = s.rdata.n();
  Eigen::RowVectorXd tlist = Eigen::RowVectorXd::Zero(n);
  Eigen::RowVectorXi np = Eigen::RowVectorXi::Zero(n);
  Eigen::MatrixXd plist;
  std::vector<std::string> absent; // the specimens that give no angles, and why
  for (Eigen::Index i = 0; i < n; ++i) {
    PresentAngles a;
    try {
      a = get_tp_present(s.rdata.matrix().row(i), proto);
    } catch (const core::Error& e) {
      throw core::Error("Specimen " + std::to_string(i + 1) + ": " + e.what());
    }
    if (i == 0) plist.resize(n, a.plist.size());
    tlist(i) = a.tp.rad();
    plist.row(i) = a.plist;
    np(i) = a.absent.empty() ? static_cast<int>(a.plist.size()) : 0;
    if (!a.absent.empty()) absent.push_back("specimen " + s.rdata.ids().label(static_cast<std::size_t>(i)) + ": " + a.absent);
  }
  s.proto = proto;
  s.tlist = std::move(tlist);
  s.plist = std::move(plist);
  s.np = std::move(np);
  return absent;
}

// The specimens that give no angles, named on the console and in a
// message box.
void sayabsent(shell::Host& host, const std::vector<std::string>& absent, Eigen::Index n) {
  if (absent.empty()) return;
  std::string text = core::format("%i of %i specimens give no angles (landmarks missing): ", absent.size(), n);
  for (std::size_t a = 0; a < absent.size(); ++a) text += (a > 0 ? "; " : "") + absent[a];
  host.print(text + "\n");
  host.msgbox(text, "");
}

// The angles measured: each specimen's t and p on the console (degrees),
// the results pane and the table.
void sayangles(shell::Host& host, const State& s) {
  for (Eigen::Index i = 0; i < s.tlist.size(); ++i) {
    if (s.np(i) == 0) continue;
    std::vector<double> p;
    for (Eigen::Index j = 0; j < s.plist.cols(); ++j)
      if (!std::isnan(s.plist(i, j))) p.push_back(pdegrees(s.plist(i, j)));
    const Eigen::MatrixXd present = Eigen::Map<Eigen::RowVectorXd>(p.data(), static_cast<Eigen::Index>(p.size()));
    host.echo(core::format("%d\t%f", i + 1, tdegrees(s.tlist(i))) + (present.size() > 0 ? core::format("\t%f", present) : "") +
              "\n");
  }
  host.setresults(resultrows(s));
  host.showtable(angletable(s));
}

void loadproto(shell::Host& host, State& s) {
  if (s.rdata.empty())
    throw core::Error("Load a TPS file first: the protocol is drawn on and measured from its specimens");
  std::string fn;
  const Eigen::MatrixXd proto = shell::mfload(host, fn);
  checkprotocol(proto, s.rdata.k());
  const Eigen::Index mp = proto.rows();
  if ((proto.col(1).array() == 0).all())
    throw core::Error("The protocol file '" + fn + "' holds no pair row (its second column is 0 on all " +
                      std::to_string(mp) + " rows), so there is no p to measure; add the bilateral pairs as rows 'a b'");

  // Every specimen is measured before anything is kept or drawn: a
  // specimen refused leaves the protocol, the angles and the plot of the
  // last protocol that could be measured.
  const std::vector<std::string> absent = measure(s, proto);
  const Eigen::Index n = s.rdata.n();

  const Eigen::Index pairs = (s.proto.col(1).array() != 0).count(), midline = mp - pairs;
  host.setstring(shell::FileBox.tag, core::format("Protocol %s loaded: \n%i midline landmark%s and %i pair%s", fn, midline,
                                                  midline == 1 ? "" : "s", pairs, pairs == 1 ? "" : "s"));
  if (s.proto.cols() != 2) host.alert("Excess columns in protocol file", "");
  sayabsent(host, absent, n);

  shell::Axes& axes = host.axes();
  axes.cla();
  // The consensus the protocol is drawn on is that of the complete
  // specimens: a landmark averaged over a varying set of specimens would
  // draw a shape no specimen has.
  const std::vector<Eigen::Index> complete = s.rdata.completerows();
  if (complete.empty()) {
    host.print("No specimen is complete, so the protocol is not drawn on a consensus\n");
  } else {
    drawprotocol(host, s, complete);
  }
  sayangles(host, s);
}

// The protocol as the pair list mirror reads: a midline row "a 0" names
// a landmark on the axis of symmetry ("a a"), a pair row "a b" a pair.
Eigen::MatrixXd mirrorpairs(const Eigen::MatrixXd& proto) {
  Eigen::MatrixXd pairs = proto.leftCols(2);
  for (Eigen::Index i = 0; i < pairs.rows(); ++i)
    if (pairs(i, 1) == 0) pairs(i, 1) = pairs(i, 0);
  return pairs;
}

// Places the loaded specimens' missing landmarks by the method in
// EstimateBox (mirror by the protocol's pairs), draws the specimens again
// with the estimates marked and, when angles were measured, measures them
// again: a specimen that lacked a protocol landmark then gives its angles.
void estimatemissing(shell::Host& host, State& s) {
  if (s.rdata.empty()) throw core::Error("Load a TPS file first: its missing landmarks are the ones estimated");
  const core::Estimate method = shell::estimatemethod(host);
  Eigen::MatrixXd pairs;
  if (method == core::Estimate::mirror) {
    if (s.proto.size() == 0)
      throw core::Error(shell::boxcalled(shell::EstimateBox) +
                        " holds 'mirror', which reflects a landmark's partner across the specimen's axis of symmetry "
                        "by the protocol's pairs: load the protocol first (Load protocol…)");
    pairs = mirrorpairs(s.proto);
    // The angles measure the strain that broke the symmetry mirror restores.
    host.print("note: mirror reflects a landmark's partner across the specimen's own axis of symmetry, which a "
               "deformed fossil has lost: a pair it completes measures p of a symmetric specimen, not of the strain\n");
  }
  const std::vector<core::EstimatedLandmark> done = shell::placemissing(host, s.rdata, method, pairs, "data set");
  if (done.empty()) return;
  shell::addestimates(s.estimated, done);
  shell::markestimates(host.axes(), shell::plotprincipal(host, s.rdata.matrix()).xpt, done);
  if (!measured(s)) return;
  host.print("The angles were measured again with the estimated landmarks\n");
  sayabsent(host, measure(s, s.proto), s.rdata.n());
  sayangles(host, s);
}

// The three save actions share one frame: read the slab number, ask for
// the file, write the angles in one of the layouts of io/angle_file.h:
// every pair with slab and specimen (SaveData), every pair as t, p alone
// (SaveDataBirch), one line per specimen with its mean p (SaveAveData).
void save(shell::Host& host, const State& s, io::AngleLayout layout) {
  // Refused before the dialog, so that an existing file is left as it is.
  if (!measured(s)) {
    if (s.rdata.empty())
      throw core::Error("Nothing measured yet: load a TPS file and its protocol before saving angles");
    throw core::Error("Nothing measured for the data now loaded: load their protocol before saving angles");
  }
  const double slab = shell::boxnumber(host, SlabBox);

  const char* title = layout == io::AngleLayout::pairs   ? "File Name for All Angular data, t-p-slab"
                      : layout == io::AngleLayout::birch ? "File Name for All Angular data, t-p-slab, Birch Format"
                                                         : "File Name for Average Angular data, t-p-slab";
  const auto choice = host.uiputfile("*.*", title);
  if (!choice) return;

  io::writefile(choice->path(), io::formatangles(layout, s.tlist, s.plist, s.np, slab, s.rdata.ids()),
                io::WriteMode::Replace);
  // The landmarks the angles rest on that were estimated, by specimen; a
  // sidecar left from an earlier save of this name goes.
  io::removesidecars(choice->path());
  if (!s.estimated.empty()) io::writeestimated(choice->path(), s.estimated);
}

const char* needsangles(const State& s) {
  return measured(s) ? nullptr : "Measure the angles first: load a TPS file and its protocol";
}

// Anglepick's actions, in the order its message for an unknown action
// lists them.
using shell::ActionKind;
constexpr shell::Action<State> table[] = {
    {"LoadData", ActionKind::load, loaddata, "Reads a TPS file, superimposes it on its principal axis and plots it",
     nullptr, loadboxes},
    {"LoadProto", ActionKind::load, loadproto,
     "Reads a protocol, draws it on the consensus and measures t and p on every specimen"},
    {"EstimateMissing", ActionKind::compute, estimatemissing,
     "Places the missing landmarks of the loaded specimens by the method in EstimateBox, and measures again",
     [](const State& s) -> const char* { return s.rdata.empty() ? "Load a TPS file first" : nullptr; },
     estimateboxes},
    {"SaveData", ActionKind::save, [](shell::Host& host, State& s) { save(host, s, io::AngleLayout::pairs); },
     "Writes every (t, p) pair with slab and specimen number: Restrain's pooled angles", needsangles, saveboxes},
    {"SaveDataBirch", ActionKind::save,
     [](shell::Host& host, State& s) { save(host, s, io::AngleLayout::birch); },
     "Writes every (t, p) pair, two columns", needsangles, saveboxes},
    {"SaveAveData", ActionKind::save,
     [](shell::Host& host, State& s) { save(host, s, io::AngleLayout::means); },
     "Writes one line per specimen (t, mean p, slab): Restrain's per-specimen angles", needsangles, saveboxes},
    {"Clear", ActionKind::show,
     [](shell::Host& host, State& s) {
       s = State{};
       shell::clearshown(host, {shell::FileBox.tag});
     },
     "Forgets the data, protocol and angles, empties the results and clears the plot"},
};

} // namespace

std::span<const shell::Action<State>> actions() { return table; }

shell::Boxes boxes() { return all; }

void anglepicksw(shell::Host& host, State& s, std::string_view action) {
  shell::dispatch(actions(), {"Anglepick", "Hopelessly lost, send help!", "In truth,can none save me?"}, host, s,
                  action);
}

void define() {
  // The program's stored values, empty at start.
  static State state;
  state = State{};
  shell::setreadiness(shell::readinessof(actions(), state));
  shell::defineswitch("anglepicksw", [](shell::Host& host, const std::string& action) { anglepicksw(host, state, action); });
}

} // namespace anglepick
