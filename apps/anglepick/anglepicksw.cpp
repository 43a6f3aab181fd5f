#include "apps/anglepick/anglepicksw.h"

#include "apps/anglepick/angles.h"
#include "core/error.h"
#include "core/procrustes.h"
#include "core/text_file.h"
#include "core/text_format.h"
#include "shell/actions.h"
#include "shell/boxes.h"
#include "shell/file_dialogs.h"
#include "shell/program.h"
#include "shell/shape_plot.h"

#include <cmath>
#include <string>
#include <utility>
#include <vector>

namespace anglepick {

namespace {

constexpr double degrees = 57.29577951308232;

// The angles belong to the data and protocol they were measured on;
// nothing measured leaves all three empty.
bool measured(const State& s) { return s.tlist.size() > 0; }

void loaddata(shell::Host& host, State& s) {
  // The file is read into a matrix of its own, so that a file refused half
  // way (after the box was filled) leaves the loaded data and the box as
  // they were.
  const std::vector<std::string> box = host.string("FileBox");
  Eigen::MatrixXd raw;
  try {
    shell::loadtpsplotted(host, raw);
  } catch (...) {
    host.setstring("FileBox", box);
    throw;
  }
  s.rdata = std::move(raw);
  // Angles measured on the previous specimens must not be saved as if they
  // were these specimens' angles.
  if (measured(s)) {
    s.tlist.resize(0);
    s.plist.resize(0, 0);
    s.np.resize(0);
    host.print("note: the angles measured on the data loaded before were cleared; load the protocol (LoadProto) "
               "to measure these specimens\n");
  }
}

void loadproto(shell::Host& host, State& s) {
  if (s.rdata.size() == 0)
    throw core::Error("Load a TPS file first (LoadData): the protocol is drawn on and measured from its specimens");
  const shell::Loaded loaded = shell::mfload(host);
  const Eigen::MatrixXd& proto = loaded.y;
  checkprotocol(proto, s.rdata.cols() / 2);
  const Eigen::Index mp = proto.rows();
  if ((proto.col(1).array() == 0).all())
    throw core::Error("The protocol file '" + loaded.fn + "' holds no pair row (its second column is 0 on all " +
                      std::to_string(mp) + " rows), so there is no p to measure; add the bilateral pairs as rows 'a b'");

  // Every specimen is measured before anything is kept or drawn: a
  // specimen refused leaves the protocol, the angles and the plot of the
  // last protocol that could be measured.
  const Eigen::Index n = s.rdata.rows();
  Eigen::RowVectorXd tlist = Eigen::RowVectorXd::Zero(n);
  Eigen::RowVectorXi np = Eigen::RowVectorXi::Zero(n);
  Eigen::MatrixXd plist;
  for (Eigen::Index i = 0; i < n; ++i) {
    TpAngles a;
    try {
      a = get_tp(s.rdata.row(i), proto);
    } catch (const core::Error& e) {
      throw core::Error("Specimen " + std::to_string(i + 1) + ": " + e.what());
    }
    if (i == 0) plist.resize(n, a.pcount);
    tlist(i) = a.tp;
    plist.row(i) = a.plist;
    np(i) = a.pcount;
  }
  s.proto = proto;
  s.tlist = std::move(tlist);
  s.plist = std::move(plist);
  s.np = std::move(np);

  host.setstring("FileBox", core::format("File %s of protocols loaded, \n%i landmarks per side", loaded.fn, mp));
  if (s.proto.cols() != 2) host.msgbox("Excess columns in protocol file", "");

  shell::Axes& axes = host.axes();
  axes.cla();
  const core::Superimposition sup = core::getconsensuspca(s.rdata);
  shell::showshape(axes, sup.y, "rv");
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
  if (midline > 0) axes.plot(mx, my, "gv");
  if (pairs > 0) axes.plot(px, py, "g");
  axes.axisauto();
  axes.axisequal();

  for (Eigen::Index i = 0; i < n; ++i)
    host.echo(core::format("%d\t%f", i + 1, s.tlist(i) * degrees) +
              (s.np(i) > 0 ? core::format("\t%f", Eigen::MatrixXd(s.plist.row(i) * degrees)) : "") + "\n");
}

// The three layouts of the save actions: every pair with slab and specimen
// (SaveData), every pair as t, p alone (SaveDataBirch), one line per
// specimen with its mean p (SaveAveData).
enum class Layout { Pairs, Birch, Means };

// The three save actions share one frame: read the slab number, ask for
// the file, write one line per pair or per specimen in degrees. `action`
// names the action in messages.
void save(shell::Host& host, const State& s, std::string_view action, Layout layout) {
  // Refused before the dialog, so that an existing file is left as it is.
  if (!measured(s)) {
    if (s.rdata.size() == 0)
      throw core::Error("Nothing measured yet: load a TPS file (LoadData) and its protocol (LoadProto) before " +
                        std::string(action));
    throw core::Error("Nothing measured for the data now loaded: load the protocol (LoadProto) before " +
                      std::string(action));
  }
  const double slab = shell::boxnumber(host, "SlabBox", "slab number", shell::Number::Whole);

  const char* title = layout == Layout::Pairs   ? "File Name for All Angular data, t-p-slab"
                      : layout == Layout::Birch ? "File Name for All Angular data, t-p-slab, Birch Format"
                                                : "File Name for Average Angular data, t-p-slab";
  const auto choice = host.uiputfile("*.*", title);
  if (!choice) return;

  std::string out;
  for (Eigen::Index i = 0; i < s.tlist.size(); ++i) {
    const double t = s.tlist(i) * degrees;
    const double specimen = static_cast<double>(i + 1);
    if (layout == Layout::Means) {
      const double mean = s.plist.cols() > 0 ? s.plist.row(i).mean() : std::nan("");
      out += core::format("%f\t%f\t%i\t %% specimen %i", t, mean * degrees, slab, specimen) + "\n";
      continue;
    }
    for (int j = 0; j < s.np(i); ++j) {
      const double p = s.plist(i, j) * degrees;
      out += layout == Layout::Pairs ? core::format("%f\t%f\t%i\t %% specimen %i", t, p, slab, specimen) + "\n"
                                  : core::format("%f\t%f\n", t, p);
    }
  }
  core::writefile(choice->path(), out, core::WriteMode::Replace);
}

// Anglepick's actions, in the order its message for an unknown action
// lists them.
constexpr shell::Action<State> table[] = {
    {"LoadData", loaddata, "Reads a TPS file, superimposes it on its principal axis and plots it"},
    {"LoadProto", loadproto, "Reads a protocol, draws it on the consensus and measures t and p on every specimen"},
    {"SaveData", [](shell::Host& host, State& s) { save(host, s, "SaveData", Layout::Pairs); },
     "Writes every (t, p) pair with slab and specimen number: Restrain's pooled angles"},
    {"SaveDataBirch", [](shell::Host& host, State& s) { save(host, s, "SaveDataBirch", Layout::Birch); },
     "Writes every (t, p) pair, two columns"},
    {"SaveAveData", [](shell::Host& host, State& s) { save(host, s, "SaveAveData", Layout::Means); },
     "Writes one line per specimen (t, mean p, slab): Restrain's per-specimen angles"},
    {"Clear",
     [](shell::Host& host, State& s) {
       s = State{};
       host.axes().cla();
     },
     "Forgets the data, protocol and angles and clears the plot"},
};

} // namespace

std::span<const shell::Action<State>> actions() { return table; }

void anglepicksw(shell::Host& host, State& s, std::string_view action) {
  shell::dispatch(actions(), {"Anglepick", "Hopelessly lost, send help!", "In truth,can none save me?"}, host, s,
                  action);
}

void define() {
  // The program's stored values, empty at start.
  static State state;
  state = State{};
  shell::defineswitch("anglepicksw", [](shell::Host& host, const std::string& action) { anglepicksw(host, state, action); });
}

} // namespace anglepick
