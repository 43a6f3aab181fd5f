#include "apps/restrain/restrainsw.h"

#include "apps/restrain/retro.h"
#include "apps/restrain/wellman.h"
#include "core/angles.h"
#include "core/error.h"
#include "core/procrustes.h"
#include "core/text_format.h"
#include "io/angle_file.h"
#include "io/landmark_file.h"
#include "io/tps_file.h"
#include "shell/actions.h"
#include "shell/boxes.h"
#include "shell/file_dialogs.h"
#include "shell/program.h"
#include "shell/shape_plot.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>
#include <numbers>
#include <string>
#include <string_view>
#include <vector>

namespace restrain {

namespace {

const char* const title = "Wellman Ellipse Calculation";

// The baseline landmarks typed in BaseBox1 and BaseBox2.
// Landmark numbers count from 1; whether the data have that many landmarks
// is checked where the baseline is used.
std::pair<int, int> baseline(shell::Host& host) {
  return {shell::boxwhole(host, "BaseBox1", "first baseline landmark"),
          shell::boxwhole(host, "BaseBox2", "second baseline landmark")};
}

// The user's strain: R from UserR and theta' (degrees) from UserTheta. A
// strain ratio beyond a thousand (or below a thousandth) is no rock's, and
// far beyond it the retrodeformed coordinates overflow.
core::Strain typedstrain(shell::Host& host) {
  const double theta =
      shell::boxnumber(host, "UserTheta", "bearing theta' of the long axis, degrees", shell::Number::Any, {-360, 360});
  // A ratio that is not positive is refused by the strain itself, in its own words.
  constexpr double any = std::numeric_limits<double>::infinity();
  const double R = shell::boxnumber(host, "UserR", "strain ratio R", shell::Number::Any, {-any, any});
  if (R > 0) shell::boxnumber(host, "UserR", "strain ratio R", shell::Number::Positive, {1e-3, 1e3});
  return {R, core::Bearing::degrees(theta)};
}

void require(bool loaded, const char* what) {
  if (!loaded) throw core::Error(what);
}

void requirealltp(const State& s) {
  require(s.alltp.size() > 0, "Load the pooled angle pairs first (LoadAllTP)");
}

// The midline bearing t of each specimen of the data set, its
// per-specimen angles joined to it by specimen (joinbearings).
std::vector<core::Bearing> bearings(const State& s) {
  require(!s.data.empty(), "Load a landmark data set first (Load or LoadTPS)");
  require(s.datatp.size() > 0, "Load the per-specimen angles first (LoadDataTP)");
  return joinbearings(s.datatp, s.datatpnamed, s.data.ids(), s.data.n()).t;
}

// Names the specimens a retrodeformation left out, kept missing.
void sayleftout(shell::Host& host, const State& s, const std::vector<core::Bearing>& t, int b1, int b2) {
  const std::vector<LeftOut> out = leftout(s.data.matrix(), t, b1, b2);
  if (out.empty()) return;
  std::string list;
  for (const LeftOut& l : out)
    list += (list.empty() ? "" : "; ") + std::string("specimen ") +
            s.data.ids().label(static_cast<std::size_t>(l.row)) + " " + l.reason;
  host.note(core::format("note: %i of %i specimens were not retrodeformed and are kept missing: ", out.size(),
                         s.data.n()) + list);
}

// A fitted strain ellipse drawn in the construction's frame, named in the
// legend with its R and theta' and labelled at the left end of its long
// axis, from where the text runs into the plot rather than out of it;
// `drop` lowers the label by that share of the long half-axis, so that
// two labels at one end do not cover each other.
void drawellipse(shell::Axes& axes, const Eigen::Vector2d& longaxis, double longhalf, double shorthalf,
                 std::string_view style, const std::string& what, const core::Strain& strain, double drop = 0) {
  if (!(std::isfinite(longhalf) && std::isfinite(shorthalf) && longhalf > 0 && shorthalf > 0 && longaxis.allFinite()))
    return;
  const Eigen::MatrixX2d xy = ellipsepoints(longaxis, longhalf, shorthalf);
  axes.plot(xy.col(0), xy.col(1), style);
  const std::string label = core::format("%s fit R = %.2f, theta' = %.1f", what, strain.R, strain.longaxis.deg());
  axes.name(label);
  const Eigen::Vector2d u = longaxis.normalized(), tip = (u(0) > 0 ? -longhalf : longhalf) * u;
  axes.text(tip(0), tip(1) - drop * longhalf, label);
}

// The analytic fit with its construction drawn: every vertex's triangle on
// the baseline, the fitted axes (long in blue with half-length R, short
// in red with half-length 1) and the fitted conic x^T A x = 1 itself (in
// magenta), which passes closest to the vertices.
AnalyticFit drawnfit(shell::Host& host, const PairAngles& pairs) {
  const AnalyticFit a = analyticfit(pairs);
  shell::Axes& axes = host.axes();
  axes.title("Wellman plot");
  axes.label("x (half-baselines)", "y (half-baselines)");
  for (Eigen::Index i = 0; i < a.vlista.rows(); ++i) {
    Eigen::Vector4d x(0, a.vlista(i, 0), 0, 0), y(1, a.vlista(i, 1), -1, 1);
    axes.plot(x, y, "k");
    axes.name("construction");
  }
  if (a.fit.ellipse) {
    const Eigen::Vector2d l = a.fit.strain.R * a.fit.V.col(0), sh = a.fit.V.col(1);
    axes.plot(Eigen::Vector3d(l(0), 0, -l(0)), Eigen::Vector3d(l(1), 0, -l(1)), "b");
    axes.name("long axis");
    axes.plot(Eigen::Vector3d(sh(0), 0, -sh(0)), Eigen::Vector3d(sh(1), 0, -sh(1)), "r");
    axes.name("short axis");
    drawellipse(axes, a.fit.V.col(0), 1 / std::sqrt(a.fit.lambda(0)), 1 / std::sqrt(a.fit.lambda(1)), "m", "analytic",
                a.fit.strain);
  }
  host.echo(core::format("RS=%2.4f  Angle=%3.2f\n", a.fit.strain.stretch(), a.fit.strain.longaxis.deg()));
  return a;
}

// The numerically refined strain as an ellipse on the same plot (in
// green): its axis ratio R along its bearing theta'. The refinement fits a
// shape, not a size, so it is drawn with the short half-axis of the
// analytic conic (1 when that is no ellipse): where the two fits agree the
// ellipses coincide, and any difference between them shows.
void drawnrefinement(shell::Host& host, const Refinement& r, const AnalyticFit& a) {
  const double R = r.strain.R, b = r.strain.longaxis.rad();
  const double shorthalf = a.fit.ellipse ? 1 / std::sqrt(a.fit.lambda(1)) : 1;
  // A strain ratio below 1 swaps the axes: the long axis lies across theta'.
  const Eigen::Vector2d along(std::sin(b), std::cos(b));
  const Eigen::Vector2d longaxis = R >= 1 ? along : Eigen::Vector2d(-along(1), along(0));
  drawellipse(host.axes(), longaxis, std::max(R, 1.0) * shorthalf, std::min(R, 1.0) * shorthalf, "g", "numerical",
              r.strain, 0.15);
}

// The words for a conic that is not an ellipse, in place of R = NaN.
std::string notellipse(const AnalyticFit& a, Eigen::Index m) {
  return core::format("the conic fitted to the %i paired t,p is not an ellipse (its eigenvalues are %g and %g), so "
                      "it gives no strain ratio",
                      m, a.fit.lambda(0), a.fit.lambda(1));
}

// The warning a report of the analytic fit ends with when the fit explains
// nothing (and "" when it is usable or not an ellipse, which the report
// already says).
std::string fitwarning(const AnalyticFit& a) {
  if (!a.fit.ellipse) return "";
  const std::string problem = fitproblem(a);
  return problem.empty() ? "" : "\n\nWARNING: " + problem + "; DoRetro will not use this fit.";
}

// The column means of a data set over the specimens that have each value:
// the reference the retrodeformed specimens are superimposed on. A data
// set without missing landmarks gets Eigen's own column means, to the bit.
Eigen::RowVectorXd presentmean(const Eigen::MatrixXd& x) {
  if (!x.array().isNaN().any()) return x.colwise().mean();
  Eigen::RowVectorXd m(x.cols());
  for (Eigen::Index c = 0; c < x.cols(); ++c) {
    double sum = 0;
    Eigen::Index count = 0;
    for (Eigen::Index i = 0; i < x.rows(); ++i)
      if (!std::isnan(x(i, c))) sum += x(i, c), ++count;
    m(c) = count > 0 ? sum / static_cast<double>(count) : std::nan("");
  }
  return m;
}

// New data make the retrodeformed result of the old ones meaningless:
// it is forgotten, and said in one line.
void forgetresult(shell::Host& host, State& s) {
  if (s.ydata.empty()) return;
  s.ydata = {};
  s.yraw = {};
  host.note("note: the retrodeformed data of the specimens loaded before were cleared with the plot; retrodeform "
            "these specimens before saving");
}

void load(shell::Host& host, State& s) {
  s.data = shell::loadlandmarks(host);
  s.rawdata = false;
  const auto m = static_cast<double>(s.data.n()), n = static_cast<double>(s.data.matrix().cols());
  std::string box = core::format("File: %s \n %3.0f Specimens \n %3.0f Landmarks", s.data.name(), m, (n - 1) / 2);
  if (s.data.scaled()) box += "\n coordinates x SCALE=";
  host.setstring("FileBox", box);
  forgetresult(host, s);
  const core::Superimposition sup = core::getconsensus(s.data.matrix());
  s.reference = sup.y;
  s.data = s.data.with(sup.xpt);
  host.axes().cla();
  shell::showshape(host.axes(), s.data.matrix(), "bo", "specimens");
  shell::showshape(host.axes(), s.reference, "k+", "consensus");
  host.axes().title("Specimens superimposed on their consensus");
  host.axes().label("x (Procrustes units)", "y (Procrustes units)");
}

// The TPS dialog, reading a TPS or a row-format file by its content,
// scaled when ApplyScale is ticked and its missing landmarks said on the
// console. The specimens (kept in rdata even when the superimposition then
// fails) on their principal axes, plotted with the numbered consensus.
void loadtps(shell::Host& host, State& s) {
  s.rdata = shell::loadtpsbox(host);
  forgetresult(host, s);
  s.data = s.rdata.with(shell::plotprincipal(host, s.rdata.matrix()).xpt);
  s.rawdata = true;
}

void requireresult(const State& s) {
  require(!s.ydata.empty(), "Nothing to save yet: retrodeform the data first (DoRetro, DoRetroUser or UserRetroTPS)");
}

// Writes the rows; false when the user cancelled the dialog.
bool save(shell::Host& host, const State& s, const char* dialogtitle) {
  requireresult(s);
  const auto file = host.uiputfile("*.*", dialogtitle);
  if (!file) return false;
  // The rows joined to their specimens: FILE.ids beside the file, when
  // any specimen has a key line to join (a TPS file without ID=, IMAGE=
  // or SCALE= lines gives none).
  io::writespecimens(file->path(), s.ydata);
  return true;
}

void savetps(shell::Host& host, const State& s) {
  // Cancelling the first dialog cancels the whole save: no second dialog.
  if (!save(host, s, "File Name for RetroDeformed TPS Data (KAV output)")) return;
  // The TPS file holds the coordinates before superimposition, which only
  // UserRetroTPS keeps; another run's would not belong to these specimens.
  if (s.yraw.empty() || s.yraw.n() != s.ydata.n() || s.yraw.matrix().cols() != s.ydata.matrix().cols()) {
    host.msgbox("The TPS file needs UserRetroTPS first: only it keeps the retrodeformed coordinates before "
                "superimposition. The row-format file was written.",
                "");
    return;
  }
  if (const auto file = host.uiputfile("*.*", "File Name for RetroDeformed TPS Data (TPS output)"))
    io::writetpsfile(file->path(), s.yraw);
}

// The per-specimen angles keep, besides their numbers, the specimen each
// line names, by which they are joined to the data set.
void loadangles(shell::Host& host, State& s, bool perspecimen) {
  const shell::FileChoice file = shell::chooseload(host);
  const std::string& fn = file.name;
  const char* action = perspecimen ? "LoadDataTP" : "LoadAllTP";
  io::SpecimenAngles read;
  if (perspecimen) read = io::readspecimenangles(file.path(), action, shell::reading(host, fn));
  else read.tp = io::readangles(file.path(), action, shell::reading(host, fn));
  const Eigen::MatrixXd& y = read.tp;
  const auto m = static_cast<double>(y.rows()), n = static_cast<double>(y.cols());
  std::string stemp = core::format("File: %s \n %3.0f Specimens \n %3.0f T+P values loaded", fn, m, (n - 1) / 2);
  if (!perspecimen) {
    s.alltp = y;
    host.setstring("TPBox", stemp);
    return;
  }
  s.datatp = y;
  s.datatpnamed = std::move(read.labels);
  // Lines that name their specimens join them whatever their count.
  if (s.data.n() != y.rows()) {
    try {
      joinbearings(s.datatp, s.datatpnamed, s.data.ids(), s.data.n());
    } catch (const core::Error&) {
      stemp += " Error loading Data T and P values, mismatch in sample size";
    }
  }
  host.msgbox(stemp, "");
}

void dowellman(shell::Host& host, const State& s) {
  requirealltp(s);
  const Eigen::Index m = s.alltp.rows();
  host.echo(core::format("alltp: %i pairs of t, p (degrees)\n", m));
  host.axes().cla();
  host.axes().sethold(true);
  const PairAngles pairs = PairAngles::forwellman(s.alltp);
  const AnalyticFit a = drawnfit(host, pairs);
  host.echo(core::format("rtwo = %g, chitwo = %g\n", a.penalty.rtwo, a.penalty.chitwo));
  const std::string stemp =
      a.fit.ellipse ? core::format("ANALYTIC METHOD: The R value was %2.4f, theta` was %3.4f, using %i paired t,p, "
                                   "The R^2 was %f Chi^2 was %f",
                                   a.fit.strain.R, a.fit.strain.longaxis.deg(), m, a.penalty.rtwo, a.penalty.chitwo)
                    : "ANALYTIC METHOD: " + notellipse(a, m) + ".";
  // The refinement starts from the analytic bearing even when the conic is
  // not an ellipse: the minimiser may still find a strain.
  const core::Bearing start = a.fit.strain.longaxis;
  const Refinement r = refine(pairs, std::isfinite(start.rad()) ? start : core::Bearing::radians(0));
  host.echo(core::format("pf = [%g %g], chi = %g\n", r.strain.R, r.strain.longaxis.rad(), r.chi));
  drawnrefinement(host, r, a);
  const std::string stempa = core::format("\n\nNUMERICAL METHOD: The R value was %2.4f, theta` was %3.4f, using %i "
                                          "paired t,p, The R^2 was %f Chi^2 was %f",
                                          r.strain.R, r.strain.longaxis.deg(), m, r.penalty.rtwo, r.penalty.chitwo);
  host.msgbox(stemp + stempa + fitwarning(a), title);
}

void permutewellman(shell::Host& host, const State& s) {
  const int nperms = shell::boxwhole(host, "PBox", "number of permutations", {0, maxpermutations});
  requirealltp(s);
  const Eigen::Index m = s.alltp.rows();
  host.axes().cla();
  host.axes().sethold(true);
  const PairAngles pairs = PairAngles::forwellman(s.alltp);
  const AnalyticFit a = drawnfit(host, pairs);
  const auto test = permutationtest(pairs, nperms, [&](double fraction) {
    return host.progress(
        core::format("Permutation test: %d of %d permutations", std::floor(fraction * nperms), nperms), fraction);
  });
  if (!test) {
    host.echo("Permutation test cancelled; nothing reported\n");
    return;
  }
  const std::string stemp =
      a.fit.ellipse ? core::format("The R value was %2.4f, theta` was %3.4f, using %i paired t,p, The R^2 was %f",
                                   a.fit.strain.R, a.fit.strain.longaxis.deg(), m, a.penalty.rtwo)
                    : "The " + notellipse(a, m) + ".";
  const std::string stempb = core::format(" The 95p range of R^2 over permutation was %f to %f", test->r2low, test->r2high);
  const std::string stempc = core::format(" The observed Chi-Square was %f with at 95P range of %f to %f",
                                          a.penalty.chitwo, test->chilow, test->chihigh);
  // The p value counts shuffles by the R^2 each one's conic fit reaches.
  const std::string stempd = core::format(" The permutation p value was %f (share of the permutations, and the "
                                          "observed pairing, whose R^2 was at least the observed)",
                                          permutationp(*test));
  host.msgbox(stemp + stempb + stempc + fitwarning(a) + stempd, title);
}

// A baseline should run along the midline whose bearing t Anglepick
// measured: it is laid along that bearing. Where the specimens' raw
// coordinates (LoadTPS, in the rock's frame) are at hand, the baseline's
// own bearing is compared with t, as axes (a baseline drawn tail to head
// is as good as head to tail), and a median difference beyond a twelfth
// of a turn (30 degrees) is warned of: the baseline then lies across the
// midline.
void checkbaseline(shell::Host& host, const State& s, const std::vector<core::Bearing>& t, int b1, int b2) {
  const Eigen::MatrixXd& raw = s.rdata.matrix();
  const Eigen::Index k = s.rdata.k();
  if (!s.rawdata || s.rdata.n() != static_cast<Eigen::Index>(t.size()) || b1 < 1 || b2 < 1 || b1 > k || b2 > k) return;
  std::vector<double> off;
  for (Eigen::Index i = 0; i < raw.rows(); ++i) {
    const double dx = raw(i, 2 * b2 - 2) - raw(i, 2 * b1 - 2), dy = raw(i, 2 * b2 - 1) - raw(i, 2 * b1 - 1);
    const double d = std::abs(core::axialdifference(core::Bearing::of(dx, dy), t[static_cast<std::size_t>(i)]).rad());
    if (std::isfinite(d)) off.push_back(d);
  }
  if (off.empty()) return;
  std::nth_element(off.begin(), off.begin() + static_cast<std::ptrdiff_t>(off.size() / 2), off.end());
  const core::Angle median = core::Angle::radians(off[off.size() / 2]);
  if (median.rad() > std::numbers::pi / 6)
    host.note(core::format("warning: the baseline %i-%i lies %.0f degrees (median over the specimens) from the "
                           "midline bearing t of the per-specimen angles; a baseline should run along the midline",
                           b1, b2, median.deg()));
}

void doretro(shell::Host& host, State& s) {
  const auto [b1, b2] = baseline(host);
  requirealltp(s);
  const std::vector<core::Bearing> t = bearings(s);
  checkbaseline(host, s, t, b1, b2);
  const PairAngles pairs = PairAngles::forwellman(s.alltp);
  const AnalyticFit a = analyticfit(pairs);
  if (!a.fit.ellipse)
    throw core::Error("DoRetro: " + notellipse(a, s.alltp.rows()) + "; enter a strain and use DoRetroUser instead");
  // A fit that explains nothing would still give a strain ratio; the
  // retrodeformation it drove would look like a result.
  if (const std::string problem = fitproblem(a); !problem.empty())
    throw core::Error("DoRetro: " + problem + "; enter a strain in UserR and UserTheta and use DoRetroUser instead");
  host.msgbox(core::format("The R value was %2.4f, theta` was %3.4f, using %i paired t,p", a.fit.strain.R,
                           a.fit.strain.longaxis.deg(), s.alltp.rows()),
              title);
  s.ydata = s.data.with(retro_wellman3(s.data.matrix(), t, b1, b2, pairs));
  s.yraw = {};
  sayleftout(host, s, t, b1, b2);
  host.axes().cla();
  shell::showshape(host.axes(), s.data.matrix(), "bo", "specimens as found");
  shell::showshape(host.axes(), s.ydata.matrix(), "gd", "retrodeformed (fitted strain)");
  host.axes().title("Retrodeformation by the fitted strain");
}

void doretrouser(shell::Host& host, State& s) {
  const auto [b1, b2] = baseline(host);
  const core::Strain strain = typedstrain(host);
  checkstrain(strain); // rejects R <= 0 before anything changes
  requirealltp(s);
  const std::vector<core::Bearing> t = bearings(s);
  checkbaseline(host, s, t, b1, b2);
  const Penalty pen = wellpenalty(strain, PairAngles::degrees(s.alltp));
  host.msgbox(core::format("The User-Supplied R value used = %2.4f, theta` used = %3.4f R^2= %f based on all T,P entered",
                           strain.R, strain.longaxis.deg(), pen.rtwo),
              title);
  Eigen::MatrixXd ydata = retro_wellman4(s.data.matrix(), t, b1, b2, strain);
  host.axes().cla();
  const Eigen::RowVectorXd mdata = presentmean(s.data.matrix());
  const auto fitted = [&](const Eigen::MatrixXd& present) { return core::getpsup(present, mdata); };
  sayleftout(host, s, t, b1, b2);
  s.data = s.data.with(fitted(s.data.matrix()));
  s.ydata = s.data.with(onpresent(ydata, fitted));
  s.yraw = {};
  shell::showshape(host.axes(), s.ydata.matrix(), "r+", "retrodeformed (typed strain)");
  shell::showshape(host.axes(), s.data.matrix(), "bo", "specimens as found");
  host.axes().title("Retrodeformation by the typed strain");
}

void userretrotps(shell::Host& host, State& s) {
  const core::Strain strain = typedstrain(host);
  require(!s.rdata.empty(), "Load a TPS file first (LoadTPS)");
  Retro5 r = retro_wellman5(s.rdata.matrix(), strain);
  host.axes().cla();
  const Eigen::RowVectorXd mdata = presentmean(r.y);
  const Eigen::MatrixXd tdata = core::getpsup(s.rdata.matrix(), mdata);
  s.ydata = s.rdata.with(core::getpsup(r.y, mdata));
  s.yraw = s.rdata.with(std::move(r.yraw));
  shell::showshape(host.axes(), s.ydata.matrix(), "r+", "retrodeformed (typed strain)");
  shell::showshape(host.axes(), tdata, "bo", "specimens as found");
  host.axes().title("Retrodeformation by the typed strain");
}

// What each action needs first, for the window's buttons.
const char* needsresult(const State& s) {
  return !s.ydata.empty() ? nullptr : "Retrodeform the data first (DoRetro, DoRetroUser or UserRetroTPS)";
}
const char* needsalltp(const State& s) {
  return s.alltp.size() > 0 ? nullptr : "Load the pooled angle pairs first (LoadAllTP)";
}
const char* needsangles(const State& s) {
  if (s.data.empty()) return "Load a landmark data set first (Load or LoadTPS)";
  if (s.datatp.size() == 0) return "Load the per-specimen angles first (LoadDataTP)";
  return needsalltp(s);
}

// Restrain's actions, in the order its message for an unknown action
// lists them.
constexpr shell::Action<State> table[] = {
    {"Load", load, "Reads a row-format data set, superimposes it on its consensus and plots both"},
    {"LoadTPS", loadtps, "Reads a TPS file, superimposes it on its principal axis and plots it"},
    {"SaveTPS", [](shell::Host& host, State& s) { savetps(host, s); },
     "Writes the retrodeformed data set as Save does, then (after UserRetroTPS) as TPS", needsresult},
    {"Save", [](shell::Host& host, State& s) { save(host, s, "File Name for RetroDeformed Data"); },
     "Writes the last retrodeformed data set, superimposed, in the row format", needsresult},
    {"LoadDataTP", [](shell::Host& host, State& s) { loadangles(host, s, true); },
     "Reads the per-specimen angles: one t, p line per specimen of the data set"},
    {"LoadAllTP", [](shell::Host& host, State& s) { loadangles(host, s, false); }, "Reads the pooled (t, p) pairs"},
    {"DoWellman", [](shell::Host& host, State& s) { dowellman(host, s); },
     "Fits the strain ellipse (R, theta') to the pooled angles, analytically and numerically", needsalltp},
    {"PermuteWellman", [](shell::Host& host, State& s) { permutewellman(host, s); },
     "Tests the fit against PBox shuffles of p among t", needsalltp},
    {"DoRetro", doretro, "Removes the fitted strain from every specimen, on the baseline BaseBox1, BaseBox2", needsangles},
    {"DoRetroUser", doretrouser, "Removes the strain typed in UserR and UserTheta, on the same baseline"},
    {"UserRetroTPS", userretrotps, "Removes the strain typed in UserR and UserTheta from the TPS data, in their frame"},
    {"Clear", [](shell::Host&, State&) {}, "Does nothing: Restrain keeps everything until it closes"},
};

} // namespace

std::span<const shell::Action<State>> actions() { return table; }

void restrainsw(shell::Host& host, State& s, std::string_view action) {
  shell::dispatch(actions(), {"Restrain", "Fell through the case statement", ""}, host, s, action);
}

void define() {
  // The program's stored values, empty at start.
  static State state;
  state = State{};
  shell::register_objective("wellpenalty2", wellpenalty2, 2);
  shell::setreadiness(shell::readinessof(actions(), state));
  shell::defineswitch("restrainsw", [](shell::Host& host, const std::string& action) { restrainsw(host, state, action); });
}

} // namespace restrain
