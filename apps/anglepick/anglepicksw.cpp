#include "apps/anglepick/anglepicksw.h"

#include "apps/anglepick/angles.h"
#include "core/error.h"
#include "core/procrustes.h"
#include "core/text_file.h"
#include "core/text_format.h"
#include "shell/boxes.h"
#include "shell/file_dialogs.h"
#include "shell/program.h"
#include "shell/shape_plot.h"

#include <cmath>
#include <string>

namespace anglepick {

namespace {

constexpr double degrees = 57.29577951308232;

void loaddata(shell::Host& host, State& s) { shell::loadtpsplotted(host, s.rdata); }

void loadproto(shell::Host& host, State& s) {
  if (s.rdata.size() == 0)
    throw core::Error("Load a TPS file first (LoadData): the protocol is drawn on and measured from its specimens");
  const shell::Loaded loaded = shell::mfload(host);
  checkprotocol(loaded.y, s.rdata.cols() / 2);
  s.proto = loaded.y;
  const Eigen::Index mp = s.proto.rows();
  host.setstring("FileBox", core::format("File %s of protocols loaded, \n%i landmarks per side", loaded.fn, mp));
  if (s.proto.cols() != 2) host.msgbox("Excess columns in protocol file", "");

  shell::Axes& axes = host.axes();
  axes.cla();
  const core::Superimposition sup = core::getconsensuspca(s.rdata);
  shell::showshape(axes, sup.y, "rv");
  // The protocol on the consensus: a midline landmark as a green triangle,
  // a pair as a green line between its two landmarks.
  const auto lx = [&](double lm) { return sup.y(2 * static_cast<Eigen::Index>(lm) - 2); };
  const auto ly = [&](double lm) { return sup.y(2 * static_cast<Eigen::Index>(lm) - 1); };
  for (Eigen::Index i = 0; i < mp; ++i) {
    const double a = s.proto(i, 0), b = s.proto(i, 1);
    if (b == 0) axes.plot(Eigen::VectorXd::Constant(1, lx(a)), Eigen::VectorXd::Constant(1, ly(a)), "gv");
    else axes.plot(Eigen::Vector2d(lx(a), lx(b)), Eigen::Vector2d(ly(a), ly(b)), "g");
  }
  axes.axisauto();
  axes.axisequal();

  const Eigen::Index n = s.rdata.rows();
  s.tlist = Eigen::RowVectorXd::Zero(n);
  s.np = Eigen::RowVectorXi::Zero(n);
  s.plist.resize(0, 0);
  for (Eigen::Index i = 0; i < n; ++i) {
    TpAngles a;
    try {
      a = get_tp(s.rdata.row(i), s.proto);
    } catch (const core::Error& e) {
      throw core::Error("Specimen " + std::to_string(i + 1) + ": " + e.what());
    }
    if (i == 0) s.plist.resize(n, a.pcount);
    s.tlist(i) = a.tp;
    s.plist.row(i) = a.plist;
    s.np(i) = a.pcount;
    host.echo(core::format("%d\t%f", i + 1, a.tp * degrees) +
              (a.pcount > 0 ? core::format("\t%f", Eigen::MatrixXd(a.plist * degrees)) : "") + "\n");
  }
}

// The three save actions share one frame: read the slab number, ask for
// the file, write one line per pair or per specimen in degrees.
void save(shell::Host& host, const State& s, std::string_view action) {
  const double slab = shell::boxnumber(host, "SlabBox", "slab number", shell::Number::Whole);

  const char* title = action == "SaveData"        ? "File Name for All Angular data, t-p-slab"
                      : action == "SaveDataBirch" ? "File Name for All Angular data, t-p-slab, Birch Format"
                                                  : "File Name for Average Angular data, t-p-slab";
  const auto choice = host.uiputfile("*.*", title);
  if (!choice) return;

  std::string out;
  for (Eigen::Index i = 0; i < s.tlist.size(); ++i) {
    const double t = s.tlist(i) * degrees;
    const double specimen = static_cast<double>(i + 1);
    if (action == "SaveAveData") {
      const double mean = s.plist.cols() > 0 ? s.plist.row(i).mean() : std::nan("");
      out += core::format("%f\t%f\t%i\t %% specimen %i", t, mean * degrees, slab, specimen) + "\n";
      continue;
    }
    for (int j = 0; j < s.np(i); ++j) {
      const double p = s.plist(i, j) * degrees;
      out += action == "SaveData" ? core::format("%f\t%f\t%i\t %% specimen %i", t, p, slab, specimen) + "\n"
                                  : core::format("%f\t%f\n", t, p);
    }
  }
  core::writefile(choice->path(), out, core::WriteMode::Replace);
}

} // namespace

void anglepicksw(shell::Host& host, State& s, std::string_view action) {
  if (action == "LoadData") loaddata(host, s);
  else if (action == "LoadProto") loadproto(host, s);
  else if (action == "SaveData" || action == "SaveDataBirch" || action == "SaveAveData") save(host, s, action);
  else if (action == "Clear") {
    s = State{};
    host.axes().cla();
  } else host.msgbox("Hopelessly lost, send help!", "In truth,can none save me?");
}

void define() {
  // The program's stored values, empty at start.
  static State state;
  state = State{};
  shell::defineswitch("anglepicksw", [](shell::Host& host, const std::string& action) { anglepicksw(host, state, action); });
}

} // namespace anglepick
