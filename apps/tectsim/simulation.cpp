#include "apps/tectsim/simulation.h"

#include "core/configurations.h"
#include "core/error.h"
#include "core/procrustes.h"
#include "core/random.h"
#include "core/strain.h"
#include "core/text_format.h"
#include "stats/distributions.h"
#include "stats/regression.h"
#include "stats/wilks.h"
#include "warp/partial_warps.h"
#include "warp/undeform.h"

#include <algorithm>
#include <limits>
#include <cmath>
#include <numeric>
#include <vector>

namespace tectsim {

namespace {

const char* const wilksformat =
    " \nWilks Lambda= %2.4f   F score= %2.4f  Percent variance explained: %.2f %% ,     df1=%g ,    df2=%g,  "
    "p value%s";
const char* const univariateformat =
    ", Univariate Results \nRegression Slope: %2.4f Regression Intercept: %2.4f Std. Deviation in Slope: %2.4f  "
    "Correlation Coefficient %2.4f  Zscore: %2.4f  p score %s";

// A tail probability as the report prints it, after "p value" or "p
// score": `equals` with it ("=%3.8g": "=0.0003053729"), or below the least
// positive double, where the tail underflows to 0, `bound` with that
// ("< 2.2e-308"): a p value is never printed as 0.
std::string pvalue(double p, const char* equals, const char* bound) {
  if (p < std::numeric_limits<double>::min()) return core::format(bound, std::numeric_limits<double>::min());
  return core::format(equals, p);
}

// Wilks' lambda of the partial warp scores of a set on the path positions
// of its specimens, which take the place of the size slot's column among
// the scores; its numbers go into `row` (the table's Wilks columns).
std::string wilks(const Eigen::MatrixXd& x, const Eigen::VectorXd& position, const std::string& label,
                  std::vector<double>& row) {
  const core::Superimposition s = core::getconsensus(x);
  Eigen::MatrixXd pwscore = warp::getpw_arbit(s.y, s.xpt);
  const Eigen::Index m = pwscore.rows(), n = pwscore.cols();
  const Eigen::Index p = n - 1;
  pwscore.col(p) = position;
  if (m <= p + 1)
    return "\n" + label + " \nWilks Lambda cannot be computed: " + std::to_string(m) + " specimens leave no degrees of " +
           "freedom for " + std::to_string(p) + " shape variables (more than " + std::to_string(p + 1) +
           " specimens are needed)";
  if (stats::wilkssingular(pwscore))
    return "\n" + label + " \nWilks Lambda cannot be computed: the " + std::to_string(m) + " specimens vary in " +
           "fewer independent directions than the " + std::to_string(p) + " shape variables, so their total matrix " +
           "is singular";
  const stats::WilksLambda w = stats::getWilkslambda(pwscore, pwscore.col(n - 1));
  const double plevel = stats::fupper(w.f, w.df1, w.df2);
  row = {w.lambda, w.f, 100 * (1 - w.lambda), w.df1, w.df2, plevel};
  return "\n" + label +
         core::format(wilksformat, w.lambda, w.f, 100 * (1 - w.lambda), w.df1, w.df2, pvalue(plevel, "=%3.8g", " < %.2g"));
}

// Procrustes distance from the consensus of the three specimens nearest
// the start of the path, regressed on path position; its numbers go into
// `row` (the table's regression columns).
std::string univariate(const Eigen::MatrixXd& x, const Eigen::VectorXd& position, const std::string& label,
                       const char* end, std::vector<double>& row) {
  const Eigen::Index n = x.cols();
  if (x.rows() < 3) throw core::Error("The univariate analysis needs at least three specimens");
  std::vector<Eigen::Index> order(static_cast<std::size_t>(x.rows()));
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](Eigen::Index a, Eigen::Index b) { return position(a) < position(b); });
  Eigen::MatrixXd first(3, n);
  for (int i = 0; i < 3; ++i) first.row(i) = x.row(order[static_cast<std::size_t>(i)]);
  const Eigen::RowVectorXd reference = core::getconsensus(first).y;
  const Eigen::MatrixXd pdistance = core::pdistbc(reference, core::getpsup(x, reference));
  const stats::Regression fit = stats::regstuf(position, pdistance.col(0));
  const double z = fit.z / fit.z_se;
  const double plevel = stats::normupper(z);
  row = {fit.slope, fit.intercept, fit.slope_se, fit.r, z, plevel};
  return "\n\n" + label +
         core::format(univariateformat, fit.slope, fit.intercept, fit.slope_se, fit.r, z, pvalue(plevel, "= %3.8g", "< %.2g")) +
         end;
}

} // namespace

Deformed maketecdef(const Eigen::MatrixXd& dcdata, const Eigen::MatrixXd& dndata, double defamp,
                    core::Angle defangle) {
  const Eigen::Matrix2d edef = core::simulateddeformation(defamp, defangle);
  const Eigen::Index m = dcdata.rows(), n = dcdata.cols();
  Eigen::MatrixXd ynewc(m, n), ynewn(m, n);
  for (Eigen::Index i = 0; i < m; ++i) {
    const double r = 6.283185307179586 * core::rand01();
    const Eigen::Matrix2d map = edef * core::rotation(r);
    ynewc.row(i) = core::xyfromvert((map * core::vertxy(dcdata.row(i))).transpose(), dcdata(i, n - 1));
    ynewn.row(i) = core::xyfromvert((map * core::vertxy(dndata.row(i))).transpose(), dndata(i, n - 1));
  }
  return {core::getconsensus(ynewc).xpt, core::getconsensus(ynewn).xpt};
}

int maxspecimens(Eigen::Index columns) {
  constexpr Eigen::Index most = 100000, cells = 3000000;
  return static_cast<int>(columns > 0 ? std::min(most, cells / columns) : most);
}

void checkexemplar(const Eigen::MatrixXd& rows, const std::string& name) {
  const Eigen::Index c = rows.cols();
  if (c % 2 == 0)
    throw core::Error(name + " holds " + std::to_string(c) + " numbers per row, an even count: a landmark row holds " +
                      "x and y of each landmark and then a size slot, 2k + 1 numbers");
  if (c < 7)
    throw core::Error(name + " holds " + std::to_string(c) + " numbers per row, fewer than the 7 of three landmarks " +
                      "and a size slot");
  for (Eigen::Index i = 0; i < rows.rows(); ++i)
    for (Eigen::Index j = 0; j < c; ++j)
      if (!std::isfinite(rows(i, j)))
        throw core::Error(name + ", row " + std::to_string(i + 1) + ", holds a value that is not a finite number");
}

Models buildmodels(const Eigen::MatrixXd& exemplar1, const Eigen::MatrixXd& exemplar2, const Parameters& p,
                   const std::function<void(double)>& progress) {
  if (exemplar1.size() == 0 || exemplar2.size() == 0)
    throw core::Error("Load the start and end shapes first");
  checkexemplar(exemplar1, "The start shape");
  checkexemplar(exemplar2, "The end shape");
  if (exemplar2.rows() != 1)
    throw core::Error("The end shape must be one specimen; its file holds " + std::to_string(exemplar2.rows()));
  if (exemplar1.cols() != exemplar2.cols())
    throw core::Error("The two exemplar shapes have different numbers of landmarks (" +
                      std::to_string((exemplar1.cols() - 1) / 2) + " and " + std::to_string((exemplar2.cols() - 1) / 2) + ")");
  if (p.nsamp < 3) throw core::Error("An experiment needs at least 3 specimens; the number asked for is " + std::to_string(p.nsamp));
  if (p.nsamp > maxspecimens(exemplar1.cols()))
    throw core::Error("An experiment of " + std::to_string((exemplar1.cols() - 1) / 2) + " landmarks simulates at most " +
                      std::to_string(maxspecimens(exemplar1.cols())) + " specimens; the number asked for is " +
                      std::to_string(p.nsamp));
  if (!(p.noiseamp >= 0)) throw core::Error("The noise amplitude must be zero or a positive number");
  if (!(p.defamp > 0) || !std::isfinite(p.defamp)) throw core::Error("The deformation amount must be a positive number");
  // The deformation's D has determinant cos 2a: at 45 degrees (and every
  // quarter turn from it) it flattens every specimen onto a line.
  if (std::abs(std::cos(2 * p.defangle.rad())) < 1e-9)
    throw core::Error("A deformation angle of " + core::format("%g", p.defangle.deg()) +
                      " degrees flattens every specimen onto a line (the deformation's determinant is cos 2a = 0); "
                      "choose another angle");

  Eigen::MatrixXd stack(3 * exemplar1.rows(), exemplar1.cols());
  stack << exemplar1, exemplar1, exemplar1;
  const Eigen::RowVectorXd exemplar1s = core::getconsensus(stack).y;
  const Eigen::RowVectorXd exemplar2s = core::getpsup(exemplar2, exemplar1s).row(0);
  const Eigen::RowVectorXd dpath = exemplar2s - exemplar1s;
  const Eigen::Index ne = exemplar1.cols();

  // Built afresh, exactly nsamp rows: no rows of an earlier run survive.
  Models m;
  m.cdata.resize(p.nsamp, ne);
  m.ndata.resize(p.nsamp, ne);
  m.position.resize(p.nsamp);
  for (int i = 0; i < p.nsamp; ++i) {
    const double xvar = core::rand01();
    m.position(i) = xvar;
    m.cdata.row(i) = exemplar1s + xvar * dpath;
    m.cdata(i, ne - 1) = xvar;
    m.ndata.row(i) = m.cdata.row(i);
    for (Eigen::Index j = 0; j < ne - 1; ++j) m.ndata(i, j) += p.noiseamp * core::randn();
    if (progress && (i + 1) % 4096 == 0) progress(0.5 * (i + 1) / p.nsamp);
  }
  const Deformed d = maketecdef(m.cdata, m.ndata, p.defamp, p.defangle);
  m.dcdata = d.ynewcp;
  m.dndata = d.ynewnp;
  m.cdata = core::getconsensus(m.cdata).xpt;
  m.ndata = core::getconsensus(m.ndata).xpt;
  if (progress) progress(0.75);
  m.udcdata = warp::undeformpca(m.dcdata, p.npca);
  m.udndata = warp::undeformpca(m.dndata, p.npca);
  if (progress) progress(1);
  return m;
}

Statistics statistics(const Models& m) {
  if (m.cdata.size() == 0) throw core::Error("Nothing to analyse yet: build the models first (Build models)");
  const Eigen::VectorXd& at = m.position;
  for (const Eigen::MatrixXd* set : {&m.cdata, &m.ndata, &m.dcdata, &m.dndata, &m.udcdata, &m.udndata})
    if (set->rows() != at.size())
      throw core::Error("A simulated set of " + std::to_string(set->rows()) + " specimens has " +
                        std::to_string(at.size()) + " positions along the path");
  Statistics out;
  const double nan = std::nan("");
  const auto block = [&](const std::string& set) -> SetStatistics& {
    for (SetStatistics& r : out.sets)
      if (r.set == set) return r;
    out.sets.push_back({set, std::vector<double>(6, nan), std::vector<double>(6, nan)});
    return out.sets.back();
  };
  // The report's blocks in their order of old; the table one row per set.
  const auto w = [&](const Eigen::MatrixXd& x, const char* set) { out.text += wilks(x, at, set, block(set).wilks); };
  const auto u = [&](const Eigen::MatrixXd& x, const char* set, const char* end) {
    out.text += univariate(x, at, set, end, block(set).regression);
  };
  block("Clean Data");
  w(m.ndata, "Noisy Data");
  w(m.dcdata, "Deformed Clean Data");
  w(m.dndata, "Deformed Noisy Data");
  u(m.cdata, "Clean Data", "\n");
  u(m.ndata, "Noisy Data", "\n");
  u(m.dcdata, "Deformed Clean Data", "\n");
  u(m.dndata, "Deformed Noisy Data", " \n");
  w(m.udcdata, "Retrodeformed Clean Data");
  w(m.udndata, "Retrodeformed Noisy Data");
  u(m.udcdata, "Retrodeformed Clean Data", "\n");
  u(m.udndata, "Retrodeformed Noisy Data", " \n");
  return out;
}

std::string dostats(const Models& m) { return statistics(m).text; }

} // namespace tectsim
