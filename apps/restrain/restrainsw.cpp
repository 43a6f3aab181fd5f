#include "apps/restrain/restrainsw.h"

#include "apps/restrain/bootstrap.h"
#include "apps/restrain/retro.h"
#include "apps/restrain/wellman.h"
#include "core/angles.h"
#include "core/error.h"
#include "core/procrustes.h"
#include "core/text_format.h"
#include "io/angle_file.h"
#include "io/tps_file.h"
#include "shell/actions.h"
#include "shell/boxes.h"
#include "shell/callables.h"
#include "shell/estimates.h"
#include "shell/file_dialogs.h"
#include "shell/shape_plot.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <numbers>
#include <string>
#include <string_view>
#include <vector>

namespace restrain {

namespace {

const char* const title = "Wellman Ellipse Calculation";

using shell::Entry;
using shell::Number;

// Restrain's boxes. Landmark numbers count from 1; whether the data have
// that many landmarks is checked where the baseline is used. A strain
// ratio beyond a thousand (or below a thousandth) is no rock's, and far
// beyond it the retrodeformed coordinates overflow; one that is not
// positive is refused by the strain itself, in its own words.
constexpr shell::Box PBox{"PBox", "number of permutations", Entry::number, Number::Whole, {0, maxpermutations}};
constexpr shell::Box BaseBox1{"BaseBox1", "first baseline landmark", Entry::number, Number::Whole};
constexpr shell::Box BaseBox2{"BaseBox2", "second baseline landmark", Entry::number, Number::Whole};
constexpr shell::Box UserR{"UserR", "strain ratio R", Entry::number, Number::Ratio, {1e-3, 1e3}};
constexpr shell::Box UserTheta{"UserTheta", "bearing theta' of the long axis, degrees", Entry::number, Number::Any,
                               {-360, 360}};
constexpr shell::Box TPBox{"TPBox", "the pooled angle pairs loaded last", Entry::shown};
constexpr shell::Box BootBox{"BootBox", "number of resamples", Entry::number, Number::Whole, {100, maxresamples}};

constexpr const shell::Box* all[] = {&shell::ApplyScale, &shell::NegativeMissing, &shell::FileBox, &TPBox,
                                     &PBox,              &BootBox,                &BaseBox1,       &BaseBox2,
                                     &UserR,             &UserTheta,              &shell::EstimateBox};
// What the actions read, in the order they read it.
constexpr const shell::Box* permuteboxes[] = {&PBox};
constexpr const shell::Box* bootboxes[] = {&BootBox};
constexpr const shell::Box* baselineboxes[] = {&BaseBox1, &BaseBox2};
constexpr const shell::Box* strainboxes[] = {&UserTheta, &UserR};
constexpr const shell::Box* retroboxes[] = {&BaseBox1, &BaseBox2, &UserTheta, &UserR};
constexpr const shell::Box* loadboxes[] = {&shell::ApplyScale, &shell::NegativeMissing};
constexpr const shell::Box* estimateboxes[] = {&shell::EstimateBox};

// The baseline landmarks typed in BaseBox1 and BaseBox2.
std::pair<int, int> baseline(shell::Host& host) {
  return {shell::boxwhole(host, BaseBox1), shell::boxwhole(host, BaseBox2)};
}

// The user's strain: R from UserR and theta' (degrees) from UserTheta.
core::Strain typedstrain(shell::Host& host) {
  const double theta = shell::boxnumber(host, UserTheta);
  return {shell::boxnumber(host, UserR), core::Bearing::degrees(theta)};
}

void require(bool loaded, const char* what) {
  if (!loaded) throw core::Error(what);
}

void requirealltp(const State& s) {
  require(s.alltp.size() > 0, "Load the pooled angle pairs first (Pooled t, p…)");
}

// The pooled pairs for the construction, with their specimens.
PairAngles wellmanpairs(const State& s) { return PairAngles::forwellman(s.alltp, s.alltpspecimen); }

// A report's paragraph naming the pairs left out ("" when none were).
std::string leftout(const PairAngles& pairs, const State& s) {
  const std::string line = leftoutline(pairs, s.alltp);
  return line.empty() ? "" : "\n\n" + line + ".";
}

// The midline bearing t of each specimen of the data set, its
// per-specimen angles joined to it by specimen (joinbearings).
std::vector<core::Bearing> bearings(const State& s) {
  require(!s.data.empty(), "Load a landmark data set first (Load data file… or Load TPS file…)");
  require(s.datatp.size() > 0, "Load the per-specimen angles first (Specimen t, p…)");
  return joinbearings(s.datatp, s.datatpnamed, s.data.ids(), s.data.n()).t;
}

// Names the specimens a retrodeformation left out, kept missing.
void sayunretrodeformed(shell::Host& host, const State& s, const std::vector<core::Bearing>& t, int b1, int b2) {
  const std::vector<LeftOut> out = unretrodeformable(s.data.matrix(), t, b1, b2);
  if (out.empty()) return;
  std::string list;
  for (const LeftOut& l : out)
    list += (list.empty() ? "" : "; ") + std::string("specimen ") +
            s.data.ids().label(static_cast<std::size_t>(l.row)) + " " + l.reason;
  host.note(core::format("note: %i of %i specimens were not retrodeformed and are kept missing: ", out.size(),
                         s.data.n()) + list);
}

// Names the retrodeformed specimens whose baseline rests on a landmark
// EstimateMissing placed.
void sayestimatedbaseline(shell::Host& host, const State& s, int b1, int b2) {
  // The estimates come in row then landmark order: a specimen's are
  // neighbours, at most its two baseline landmarks.
  std::vector<std::pair<Eigen::Index, std::vector<std::string>>> rows;
  for (const core::EstimatedLandmark& e : s.estimated) {
    const auto lm = static_cast<int>(e.landmark + 1);
    if ((lm != b1 && lm != b2) || std::isnan(s.ydata.matrix()(e.row, 2 * e.landmark))) continue;
    if (rows.empty() || rows.back().first != e.row) rows.emplace_back(e.row, std::vector<std::string>{});
    rows.back().second.push_back(std::to_string(lm) + " (" + core::methodname(e.method) + ")");
  }
  if (rows.empty()) return;
  std::string list;
  for (const auto& [row, lms] : rows)
    list += (list.empty() ? "" : "; ") + std::string("specimen ") + s.data.ids().label(static_cast<std::size_t>(row)) +
            (lms.size() == 1 ? " landmark " + lms[0] : " landmarks " + lms[0] + " and " + lms[1]);
  host.note(core::format("note: %i of %i specimens were retrodeformed on a baseline that rests on an estimate: ",
                         rows.size(), s.data.n()) +
            list);
}

// A fitted strain ellipse drawn in the construction's frame, named in the
// legend with its R and theta' (a label beside it would lie over the
// construction's lines, which fill the ellipse and reach beyond it).
void drawellipse(shell::Axes& axes, const Eigen::Vector2d& longaxis, double longhalf, double shorthalf,
                 std::string_view style, const std::string& what, const core::Strain& strain) {
  if (!(std::isfinite(longhalf) && std::isfinite(shorthalf) && longhalf > 0 && shorthalf > 0 && longaxis.allFinite()))
    return;
  const Eigen::MatrixX2d xy = ellipsepoints(longaxis, longhalf, shorthalf);
  axes.plot(xy.col(0), xy.col(1), style);
  axes.name(core::format("%s fit R = %.2f, theta' = %.1f", what, strain.R, strain.longaxis.deg()));
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
              r.strain);
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
  return problem.empty() ? "" : "\n\nWARNING: " + problem + "; \"Data with fitted strain\" will not use this fit.";
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

// New data, or new estimates in them, make the retrodeformed result of
// the old ones meaningless: it is forgotten, and said in one line.
void forgetresult(shell::Host& host, State& s,
                  const char* why = "of the specimens loaded before were cleared with the plot; retrodeform these "
                                    "specimens before saving") {
  if (s.ydata.empty()) return;
  s.ydata = {};
  s.yraw = {};
  s.yestimated.clear();
  host.note(std::string("note: the retrodeformed data ") + why);
}

// The working data set superimposed on its consensus, as Load draws it.
void drawdata(shell::Host& host, const State& s) {
  host.axes().cla();
  shell::showshape(host.axes(), s.data.matrix(), "bo", "specimens");
  shell::showshape(host.axes(), s.reference, "k+", "consensus");
  host.axes().title("Specimens superimposed on their consensus");
  host.axes().label("x (Procrustes units)", "y (Procrustes units)");
  // The numbers by which the baseline landmarks are chosen.
  shell::numberlandmarks(host.axes(), s.data.matrix(), s.reference);
}

void load(shell::Host& host, State& s) {
  s.data = shell::loadlandmarks(host);
  shell::dropresults(host, "specimens loaded before");
  s.rawdata = false;
  s.estimated.clear();
  const auto m = static_cast<double>(s.data.n()), n = static_cast<double>(s.data.matrix().cols());
  std::string box = core::format("File: %s \n %3.0f Specimens \n %3.0f Landmarks", s.data.name(), m, (n - 1) / 2);
  if (s.data.scaled()) box += "\n coordinates x SCALE=";
  host.setstring(shell::FileBox.tag, box);
  forgetresult(host, s);
  const core::Superimposition sup = core::getconsensus(s.data.matrix());
  s.reference = sup.y;
  s.data = s.data.with(sup.xpt);
  drawdata(host, s);
}

// The TPS dialog, reading a TPS or a row-format file by its content,
// scaled when ApplyScale is ticked and its missing landmarks said on the
// console. The specimens (kept in rdata even when the superimposition then
// fails) on their principal axes, plotted with the numbered consensus.
void loadtps(shell::Host& host, State& s) {
  s.rdata = shell::loadtpsbox(host);
  s.estimated.clear();
  forgetresult(host, s);
  shell::dropresults(host, "specimens loaded before");
  s.data = s.rdata.with(shell::plotprincipal(host, s.rdata.matrix()).xpt);
  s.rawdata = true;
}

// Places the missing landmarks of the loaded specimens by the method in
// EstimateBox: of the TPS data in their own frame (then superimposed
// again, so that both the retrodeformations on a baseline and the one in
// the file's frame have them), or of the row data as superimposed. The
// data are drawn again with the estimates marked; a retrodeformation made
// before is forgotten. Mirror would need a pair list, which Restrain has
// none of.
void estimatemissing(shell::Host& host, State& s) {
  require(!s.data.empty(), "Load a landmark data set first (Load data file… or Load TPS file…)");
  const core::Estimate method = shell::estimatemethod(host);
  if (method == core::Estimate::mirror)
    throw core::Error(shell::boxcalled(shell::EstimateBox) +
                      " holds 'mirror', which needs a pairs file, and Restrain reads none; type auto, tps, regression "
                      "or neighbours (or estimate by mirror in Symrestore, after retrodeformation)");
  std::vector<core::EstimatedLandmark> done =
      shell::placemissing(host, s.rawdata ? s.rdata : s.data, method, {}, "data set");
  if (done.empty()) return;
  forgetresult(host, s, "were cleared: they lack the estimates; retrodeform again before saving");
  if (s.rawdata)
    s.data = s.rdata.with(shell::plotprincipal(host, s.rdata.matrix()).xpt);
  else
    drawdata(host, s);
  shell::addestimates(s.estimated, done);
  shell::markestimates(host.axes(), s.data.matrix(), done);
}

void requireresult(const State& s) {
  require(!s.ydata.empty(), "Nothing to save yet: retrodeform the data first (Data with fitted strain, Data with R, θ′ or TPS data with R, θ′)");
}

// Writes the rows; false when the user cancelled the dialog.
bool save(shell::Host& host, const State& s, const char* dialogtitle) {
  requireresult(s);
  const auto file = host.uiputfile("*.*", dialogtitle);
  if (!file) return false;
  // The rows joined to their specimens: FILE.ids beside the file, when
  // any specimen has a key line to join (a TPS file without ID=, IMAGE=
  // or SCALE= lines gives none).
  shell::writewithestimates(file->path(), s.ydata, s.yestimated);
  return true;
}

void savetps(shell::Host& host, const State& s) {
  // Cancelling the first dialog cancels the whole save: no second dialog.
  if (!save(host, s, "File Name for RetroDeformed Data (row format)")) return;
  // The TPS file holds the coordinates before superimposition, which only
  // UserRetroTPS keeps; another run's would not belong to these specimens.
  if (s.yraw.empty() || s.yraw.n() != s.ydata.n() || s.yraw.matrix().cols() != s.ydata.matrix().cols()) {
    host.alert("The TPS file needs TPS data with R, θ′ first: only it keeps the retrodeformed coordinates before "
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
  if (!perspecimen) {
    io::PooledAngles read = io::readpooledangles(file.path(), "pooled t, p", shell::reading(host, fn));
    s.alltp = std::move(read.tp);
    s.alltpspecimen = std::move(read.specimen);
    // The fits of the pairs loaded before are no longer what is loaded.
    shell::dropresults(host, "angles loaded before");
    const Eigen::Index pairs = s.alltp.rows();
    const int specimens = s.alltpspecimen.size() > 0 ? s.alltpspecimen.maxCoeff() + 1 : 0;
    host.setstring(TPBox.tag, core::format("File: %s \n %i pairs", fn, pairs) +
                                  (specimens > 0 ? core::format(" from %i specimens", specimens)
                                                 : std::string(" (specimens not named)")));
    return;
  }
  io::SpecimenAngles read = io::readspecimenangles(file.path(), "specimen t, p", shell::reading(host, fn));
  s.datatp = std::move(read.tp);
  s.datatpnamed = std::move(read.labels);
  std::string text = core::format("File: %s \n t and mean p of %i specimens", fn, s.datatp.rows());
  bool mismatch = false;
  // Lines that name their specimens join them whatever their count.
  if (s.data.n() != s.datatp.rows()) {
    try {
      joinbearings(s.datatp, s.datatpnamed, s.data.ids(), s.data.n());
    } catch (const core::Error&) {
      text += " Error loading Data T and P values, mismatch in sample size";
      mismatch = true;
    }
  }
  if (mismatch) host.alert(text, "");
  else host.msgbox(text, "");
}

// The numerical refinement, started from the analytic bearing even when
// the conic is not an ellipse: the minimiser may still find a strain.
Refinement refined(const PairAngles& pairs, const AnalyticFit& a) {
  const core::Bearing start = a.fit.strain.longaxis;
  return refine(pairs, std::isfinite(start.rad()) ? start : core::Bearing::radians(0));
}

// The start of every fit that draws: the pooled pairs that have a vertex,
// on fresh axes held for what follows, with the analytic fit drawn and,
// unless the action draws a numerical fit of its own, the numerical one:
// the Wellman plot shows both fits whatever the action then does, even
// when it is cancelled.
struct Started {
  PairAngles pairs;
  AnalyticFit a;
  Refinement r;
};
Started startfit(shell::Host& host, const State& s, bool numerical = true) {
  requirealltp(s);
  host.axes().cla();
  host.axes().sethold(true);
  PairAngles pairs = wellmanpairs(s);
  AnalyticFit a = drawnfit(host, pairs);
  Refinement r;
  if (numerical) {
    r = refined(pairs, a);
    drawnrefinement(host, r, a);
  }
  return {std::move(pairs), std::move(a), r};
}

void dowellman(shell::Host& host, const State& s) {
  requirealltp(s);
  host.echo(core::format("alltp: %i pairs of t, p (degrees)\n", s.alltp.rows()));
  const auto [pairs, a, r] = startfit(host, s);
  const Eigen::Index m = pairs.size();
  host.echo(core::format("rtwo = %g, chitwo = %g\n", a.penalty.rtwo, a.penalty.chitwo));
  const std::string stemp =
      a.fit.ellipse ? core::format("ANALYTIC METHOD: The R value was %2.4f, θ′ was %3.4f, using %i paired t,p, "
                                   "The R^2 was %f Chi^2 was %f",
                                   a.fit.strain.R, a.fit.strain.longaxis.deg(), m, a.penalty.rtwo, a.penalty.chitwo)
                    : "ANALYTIC METHOD: " + notellipse(a, m) + ".";
  host.echo(core::format("pf = [%g %g], chi = %g\n", r.strain.R, r.strain.longaxis.rad(), r.chi));
  const std::string stempa = core::format("\n\nNUMERICAL METHOD: The R value was %2.4f, θ′ was %3.4f, using %i "
                                          "paired t,p, The R^2 was %f Chi^2 was %f",
                                          r.strain.R, r.strain.longaxis.deg(), m, r.penalty.rtwo, r.penalty.chitwo);
  host.msgbox(stemp + stempa + fitwarning(a) + leftout(pairs, s), title);
  shell::Table fits{"Wellman fits of the pooled pairs", {"method", "R", "theta'", "R^2", "Chi^2", "pairs"}, {}};
  const auto m_ = static_cast<double>(m);
  fits.add({"analytic", a.fit.strain.R, a.fit.strain.longaxis.deg(), a.penalty.rtwo, a.penalty.chitwo, m_});
  fits.add({"numerical", r.strain.R, r.strain.longaxis.deg(), r.penalty.rtwo, r.penalty.chitwo, m_});
  host.showtable(fits);
}

void permutewellman(shell::Host& host, const State& s) {
  const int nperms = shell::boxwhole(host, PBox);
  const auto [pairs, a, r] = startfit(host, s);
  const Eigen::Index m = pairs.size();
  const int total = pairs.specimens() > 0 ? 2 * nperms : nperms;
  const auto test = permutationtest(pairs, nperms, [&](double fraction) {
    return host.progress(
        core::format("Permutation test: %d of %d permutations", std::floor(fraction * total), total), fraction);
  });
  if (!test) {
    host.echo("Permutation test cancelled; nothing reported\n");
    return;
  }
  // One finding per line: the fit, the ranges over the shuffles, then
  // each p value with how many permutations it rests on.
  const std::string fitline =
      a.fit.ellipse ? core::format("Analytic fit: R = %2.4f, θ′ = %3.4f, from %i paired t,p", a.fit.strain.R,
                                   a.fit.strain.longaxis.deg(), m)
                    : "The " + notellipse(a, m) + ".";
  const std::string observed = core::format("\nObserved: R^2 = %f, Chi^2 = %f", a.penalty.rtwo, a.penalty.chitwo);
  const std::string ranges = core::format("\nOver the %i permutations (95 %% range): R^2 %f to %f, Chi^2 %f to %f",
                                          nperms, test->r2low, test->r2high, test->chilow, test->chihigh);
  // The p value counts shuffles by the R^2 each one's conic fit reaches.
  const std::string pairsp = "\nPermutation p value (pairs shuffled): " + ptext(permutationp(*test), nperms);
  // The pairs of a specimen share its midline, and with it its t and the
  // error of its midline: whole specimens are what a permutation may
  // exchange.
  const std::string specimensp =
      pairs.specimens() > 0
          ? core::format("\nSpecimen-level permutation p value: %s; the %i specimens permuted, each moving its p "
                         "values together to another specimen's t. The p value to read: the pairs of a specimen "
                         "share its midline, so this one holds its level, where the one above can be too small.",
                         ptext(specimenp(*test), nperms), pairs.specimens())
          : "\nThe pairs' specimens are not known (the angle file does not name them), so only the pairs were "
            "shuffled, and the p value above can be too small when the pairs of a specimen share its midline.";
  host.msgbox(fitline + observed + ranges + pairsp + specimensp + fitwarning(a) + leftout(pairs, s), title);
  shell::Table table{core::format("Permutation test of the Wellman fit (%i permutations)", nperms),
                     {"statistic", "observed", "95 % low", "95 % high", "p value", "permutations"}, {}};
  const double nan = std::nan(""), n_ = nperms;
  table.add({"R^2 (pairs shuffled)", a.penalty.rtwo, test->r2low, test->r2high, permutationp(*test), n_});
  table.add({"Chi^2 (pairs shuffled)", a.penalty.chitwo, test->chilow, test->chihigh, nan, n_});
  if (pairs.specimens() > 0) table.add({"R^2 (specimens permuted)", a.penalty.rtwo, nan, nan, specimenp(*test), n_});
  host.showtable(table);
}

// The bootstrap: the Wellman plot drawn as DoWellman draws it, the
// numerical fit's interval over it (in cyan: the ellipses of R's ends and
// the fan of theta'), the report in a message box and the intervals in the
// results window.
void bootstrap(shell::Host& host, const State& s) {
  const int resamples = shell::boxwhole(host, BootBox);
  const auto [pairs, a, r] = startfit(host, s, false);
  const auto b = bootstrapwellman(pairs, resamples, [&](double fraction) {
    return host.progress(core::format("Bootstrap: %d of %d resamples", std::floor(fraction * resamples), resamples),
                         fraction);
  });
  if (!b) {
    drawnrefinement(host, refined(pairs, a), a);
    host.echo("Bootstrap cancelled; nothing reported\n");
    return;
  }
  drawnrefinement(host, Refinement{b->numerical.estimate, 0, {}}, a);
  const stats::StrainInterval& n = b->numerical;
  for (const Eigen::MatrixX2d& line : intervallines(n, a.fit.ellipse ? 1 / std::sqrt(a.fit.lambda(1)) : 1)) {
    host.axes().plot(line.col(0), line.col(1), "c");
    host.axes().name(core::format("95 %% interval (numerical): R %.3f to %.3f, theta' %.2f to %.2f", n.R.low,
                                  n.R.high, core::axialdegrees(core::Bearing::radians(n.theta.low), 2),
                                  core::axialdegrees(core::Bearing::radians(n.theta.high), 2)));
  }
  std::string text;
  for (const std::string& line : bootstrapreport(*b)) text += (text.empty() ? "" : "\n") + line;
  host.msgbox(text + leftout(pairs, s), title);
  host.setresults(bootstraptable(*b));
  shell::Table table{core::format("Bootstrap of the Wellman fits (%i resamples, 95 %% intervals)", resamples), {"fit"}, {}};
  table.columns.insert(table.columns.end(), stats::intervalcolumns.begin(), stats::intervalcolumns.end());
  for (const auto& [name, interval] : {std::pair{"numerical", &b->numerical}, std::pair{"analytic", &b->analytic}}) {
    std::vector<shell::Cell> row{std::string(name)};
    for (double v : stats::intervalvalues(*interval)) row.emplace_back(v);
    table.add(std::move(row));
  }
  host.showtable(table);
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

// Each specimen row moved so that the centroid of its landmarks lies at
// the origin, then mapped by m; a row missing throughout stays so.
Eigen::MatrixXd centredmapped(const Eigen::MatrixXd& x, const Eigen::Matrix2d& m) {
  const Eigen::Index k = x.cols() / 2;
  Eigen::MatrixXd y = x;
  for (Eigen::Index i = 0; i < x.rows(); ++i) {
    Eigen::Vector2d sum = Eigen::Vector2d::Zero();
    int present = 0;
    for (Eigen::Index j = 0; j < k; ++j)
      if (!core::missing(x, i, j)) sum += Eigen::Vector2d(x(i, 2 * j), x(i, 2 * j + 1)), ++present;
    const Eigen::Vector2d c = present > 0 ? Eigen::Vector2d(sum / present) : Eigen::Vector2d::Zero();
    for (Eigen::Index j = 0; j < k; ++j) {
      const Eigen::Vector2d v = m * (Eigen::Vector2d(x(i, 2 * j), x(i, 2 * j + 1)) - c);
      y(i, 2 * j) = v(0), y(i, 2 * j + 1) = v(1);
    }
  }
  return y;
}

// A retrodeformation drawn where the strain acted: the specimens in the
// rock's frame (`found`: each at its bearing, or as digitised on the slab)
// each about its own centroid, on the left, and the same with the strain
// taken out on the right. Over the first lies the strain's ellipse (axis
// ratio R along theta', of the area of a circle whose radius is the
// specimens' root mean square distance from their centroids); over the
// second the same ellipse with the strain taken out, which is that circle
// when the strain was the specimens' own: a check by eye.
void drawremoval(shell::Axes& axes, const Eigen::MatrixXd& found, const core::Strain& strain, const char* how,
                 std::string_view resultstyle, std::string_view unit) {
  const Eigen::MatrixXd before = centredmapped(found, Eigen::Matrix2d::Identity());
  const Eigen::MatrixXd after = centredmapped(found, strain.removal());
  const Eigen::Index k = found.cols() / 2;
  double squares = 0, beforeright = -INFINITY, afterleft = INFINITY;
  Eigen::Index count = 0;
  for (Eigen::Index i = 0; i < found.rows(); ++i)
    for (Eigen::Index j = 0; j < k; ++j)
      if (!core::missing(before, i, j)) {
        squares += before(i, 2 * j) * before(i, 2 * j) + before(i, 2 * j + 1) * before(i, 2 * j + 1), ++count;
        beforeright = std::max(beforeright, before(i, 2 * j));
        afterleft = std::min(afterleft, after(i, 2 * j));
      }
  if (count == 0) return;
  const double radius = std::sqrt(squares / static_cast<double>(count));
  const double b = strain.longaxis.rad();
  const Eigen::MatrixX2d ellipse =
      ellipsepoints(Eigen::Vector2d(std::sin(b), std::cos(b)), radius * std::sqrt(strain.R), radius / std::sqrt(strain.R));
  const Eigen::MatrixX2d circle = ellipse * strain.removal().transpose();
  // The right-hand group starts half a radius beyond the left-hand one.
  const double shift = std::max(beforeright, ellipse.col(0).maxCoeff()) -
                       std::min(afterleft, circle.col(0).minCoeff()) + radius / 2;
  Eigen::MatrixXd moved = after;
  for (Eigen::Index j = 0; j < k; ++j) moved.col(2 * j).array() += shift;
  axes.cla();
  shell::showshape(axes, before, "bo", "as found (left)");
  shell::showshape(axes, moved, resultstyle, std::string("retrodeformed by the ") + how + " strain (right)");
  axes.plot(ellipse.col(0), ellipse.col(1), "m");
  axes.name(core::format("strain ellipse R = %.2f, theta' = %.1f", strain.R, strain.longaxis.deg()));
  axes.plot(circle.col(0).array() + shift, circle.col(1), "k");
  axes.name("the ellipse with the strain removed");
  axes.title(std::string("The ") + how + " strain removed, in the rock's frame");
  axes.label(std::string("x") + std::string(unit), std::string("y") + std::string(unit));
}

// Registered on the baseline, the specimens are measured in baseline
// lengths.
constexpr const char* baselineunit = " (baseline lengths)";

void doretro(shell::Host& host, State& s) {
  const auto [b1, b2] = baseline(host);
  requirealltp(s);
  const std::vector<core::Bearing> t = bearings(s);
  checkbaseline(host, s, t, b1, b2);
  const PairAngles pairs = wellmanpairs(s);
  const AnalyticFit a = analyticfit(pairs);
  if (!a.fit.ellipse)
    throw core::Error("The fitted strain cannot be removed: " + notellipse(a, pairs.size()) + "; type a strain ratio R and bearing θ′ and use Data with R, θ′ instead");
  // A fit that explains nothing would still give a strain ratio; the
  // retrodeformation it drove would look like a result.
  if (const std::string problem = fitproblem(a); !problem.empty())
    throw core::Error("The fitted strain cannot be removed: " + problem + "; type a strain ratio R and bearing θ′ and use Data with R, θ′ instead");
  host.msgbox(core::format("The R value was %2.4f, θ′ was %3.4f, using %i paired t,p", a.fit.strain.R,
                           a.fit.strain.longaxis.deg(), pairs.size()) +
                  leftout(pairs, s),
              title);
  s.ydata = s.data.with(retro_wellman3(s.data.matrix(), t, b1, b2, pairs));
  s.yraw = {};
  s.yestimated = s.estimated;
  sayunretrodeformed(host, s, t, b1, b2);
  sayestimatedbaseline(host, s, b1, b2);
  drawremoval(host.axes(), orientandremove(s.data.matrix(), t, b1, b2, Eigen::Matrix2d::Identity()), a.fit.strain,
              "fitted", "gd", baselineunit);
}

void doretrouser(shell::Host& host, State& s) {
  const auto [b1, b2] = baseline(host);
  const core::Strain strain = typedstrain(host);
  checkstrain(strain); // rejects R <= 0 before anything changes
  requirealltp(s);
  const std::vector<core::Bearing> t = bearings(s);
  checkbaseline(host, s, t, b1, b2);
  const Penalty pen = wellpenalty(strain, PairAngles::degrees(s.alltp));
  host.msgbox(core::format("The User-Supplied R value used = %2.4f, θ′ used = %3.4f R^2= %f based on all T,P entered",
                           strain.R, strain.longaxis.deg(), pen.rtwo),
              title);
  Eigen::MatrixXd ydata = retro_wellman4(s.data.matrix(), t, b1, b2, strain);
  const Eigen::MatrixXd found = orientandremove(s.data.matrix(), t, b1, b2, Eigen::Matrix2d::Identity());
  const Eigen::RowVectorXd mdata = presentmean(s.data.matrix());
  const auto fitted = [&](const Eigen::MatrixXd& present) { return core::getpsup(present, mdata); };
  sayunretrodeformed(host, s, t, b1, b2);
  s.data = s.data.with(fitted(s.data.matrix()));
  s.ydata = s.data.with(onpresent(ydata, fitted));
  s.yraw = {};
  s.yestimated = s.estimated;
  sayestimatedbaseline(host, s, b1, b2);
  drawremoval(host.axes(), found, strain, "typed", "r+", baselineunit);
}

void userretrotps(shell::Host& host, State& s) {
  const core::Strain strain = typedstrain(host);
  require(!s.rdata.empty(), "Load a TPS file first (Load TPS file…)");
  Retro5 r = retro_wellman5(s.rdata.matrix(), strain);
  const Eigen::RowVectorXd mdata = presentmean(r.y);
  s.ydata = s.rdata.with(core::getpsup(r.y, mdata));
  s.yraw = s.rdata.with(std::move(r.yraw));
  // The estimates are the TPS data's only when they were placed in them.
  s.yestimated = s.rawdata ? s.estimated : std::vector<core::EstimatedLandmark>{};
  // The TPS coordinates are the rock's frame itself.
  drawremoval(host.axes(), s.rdata.matrix(), strain, "typed", "r+",
              s.rdata.scaled() ? " (SCALE= units)" : " (data units)");
}

// What each action needs first, for the window's buttons.
const char* needsresult(const State& s) {
  return !s.ydata.empty() ? nullptr : "Retrodeform the data first (Data with fitted strain, Data with R, θ′ or TPS data with R, θ′)";
}
const char* needsalltp(const State& s) {
  return s.alltp.size() > 0 ? nullptr : "Load the pooled angle pairs first (Pooled t, p…)";
}
const char* needsdata(const State& s) {
  return s.data.empty() ? "Load a landmark data set first (Load data file… or Load TPS file…)" : nullptr;
}
const char* needsangles(const State& s) {
  if (const char* need = needsdata(s)) return need;
  if (s.datatp.size() == 0) return "Load the per-specimen angles first (Specimen t, p…)";
  return needsalltp(s);
}

// Forgets everything loaded and made, as the program starts.
void clear(shell::Host& host, State& s) {
  s = State{};
  shell::clearshown(host, {shell::FileBox.tag, TPBox.tag});
}

// Restrain's actions, in the order its message for an unknown action
// lists them.
using shell::ActionKind;
constexpr shell::Action<State> table[] = {
    {"Load", ActionKind::load, load, "Reads a row-format data set, superimposes it on its consensus and plots both",
     nullptr, loadboxes},
    {"LoadTPS", ActionKind::load, loadtps, "Reads a TPS file, superimposes it on its principal axis and plots it",
     nullptr, loadboxes},
    {"EstimateMissing", ActionKind::compute, estimatemissing,
     "Places the missing landmarks of the loaded specimens by the method in EstimateBox, before retrodeforming",
     needsdata, estimateboxes},
    {"SaveTPS", ActionKind::save, [](shell::Host& host, State& s) { savetps(host, s); },
     "Writes the retrodeformed data set as Save does, then (after UserRetroTPS) as TPS", needsresult},
    {"Save", ActionKind::save, [](shell::Host& host, State& s) { save(host, s, "File Name for RetroDeformed Data"); },
     "Writes the last retrodeformed data set, superimposed, in the row format", needsresult},
    {"LoadDataTP", ActionKind::load, [](shell::Host& host, State& s) { loadangles(host, s, true); },
     "Reads the per-specimen angles: one t, p line per specimen of the data set"},
    {"LoadAllTP", ActionKind::load, [](shell::Host& host, State& s) { loadangles(host, s, false); },
     "Reads the pooled (t, p) pairs"},
    {"DoWellman", ActionKind::compute, [](shell::Host& host, State& s) { dowellman(host, s); },
     "Fits the strain ellipse (R, theta') to the pooled angles, analytically and numerically", needsalltp},
    {"PermuteWellman", ActionKind::compute, [](shell::Host& host, State& s) { permutewellman(host, s); },
     "Tests the fit against PBox shuffles of p among t", needsalltp, permuteboxes},
    {"BootstrapWellman", ActionKind::compute, [](shell::Host& host, State& s) { bootstrap(host, s); },
     "Gives 95 % intervals of R and theta' from BootBox resamples of the specimens, drawn on the Wellman plot",
     needsalltp, bootboxes},
    {"DoRetro", ActionKind::compute, doretro,
     "Removes the fitted strain from every specimen, on the baseline BaseBox1, BaseBox2", needsangles, baselineboxes},
    {"DoRetroUser", ActionKind::compute, doretrouser,
     "Removes the strain typed in UserR and UserTheta, on the same baseline", nullptr, retroboxes},
    {"UserRetroTPS", ActionKind::compute, userretrotps,
     "Removes the strain typed in UserR and UserTheta from the TPS data, in their frame", nullptr, strainboxes},
    {"Clear", ActionKind::show, clear, "Forgets the landmark data, the angles and the results, and clears the plot"},
};

} // namespace

std::span<const shell::Action<State>> actions() { return table; }

shell::Boxes boxes() { return all; }

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
