#include "apps/restrain/retro.h"

#include "core/baseline.h"
#include "core/configurations.h"
#include "core/error.h"
#include "core/procrustes.h"
#include "core/text_format.h"

#include <cmath>
#include <map>

namespace restrain {

void checkstrain(const core::Strain& strain) {
  if (!(strain.R > 0) || !std::isfinite(strain.R))
    throw core::Error("The strain ratio R must be a positive number; it is " + core::format("%g", strain.R));
  if (!std::isfinite(strain.longaxis.rad())) throw core::Error("The bearing theta' must be a number");
}

std::vector<core::Bearing> midlinebearings(const Eigen::MatrixXd& datatp) {
  std::vector<core::Bearing> t;
  t.reserve(static_cast<std::size_t>(datatp.rows()));
  for (Eigen::Index i = 0; i < datatp.rows(); ++i) t.push_back(core::Bearing::degrees(datatp(i, 0)));
  return t;
}

JoinedBearings joinbearings(const Eigen::MatrixXd& datatp, const std::vector<core::SpecimenLabel>& named,
                            const core::Identities& ids, Eigen::Index n) {
  const auto lines = static_cast<std::size_t>(datatp.rows());
  JoinedBearings out;
  out.t.assign(static_cast<std::size_t>(n), core::Bearing::radians(std::nan("")));
  bool numbered = named.size() == lines && lines > 0, withids = numbered;
  for (const core::SpecimenLabel& l : named) {
    numbered = numbered && l.number > 0;
    withids = withids && !l.id.empty();
  }
  // The data set's IDs, each specimen's own: a join by ID needs them all,
  // all different.
  std::map<std::string, Eigen::Index> byid;
  for (Eigen::Index i = 0; i < n && withids; ++i) {
    const std::string id = ids.size() == static_cast<std::size_t>(n) ? ids.id(static_cast<std::size_t>(i)) : "";
    withids = !id.empty() && byid.emplace(id, i).second;
  }
  if (!numbered) {
    if (static_cast<Eigen::Index>(lines) != n)
      throw core::Error("The per-specimen angles hold " + std::to_string(lines) + " rows but the data set has " +
                        std::to_string(n) + " specimens, and their lines do not name their specimens; load the "
                        "angles of these specimens (Specimen t, p…), with a NaN line for a specimen without angles");
    out.t = midlinebearings(datatp);
    out.how = "line by line";
    return out;
  }
  out.how = withids ? "by ID" : "by specimen number";
  std::vector<std::size_t> lineof(static_cast<std::size_t>(n), lines);
  for (std::size_t l = 0; l < lines; ++l) {
    const core::SpecimenLabel& label = named[l];
    const std::string line = "line " + std::to_string(l + 1) + " of the per-specimen angles";
    Eigen::Index row = label.number - 1;
    if (withids) {
      const auto found = byid.find(label.id);
      if (found == byid.end())
        throw core::Error("The " + line + " names specimen ID " + label.id +
                          ", which the data set does not have; load the angles of these specimens (Specimen t, p…)");
      row = found->second;
    } else if (row >= n) {
      throw core::Error("The " + line + " names specimen " + std::to_string(label.number) + ", but the data set has " +
                        std::to_string(n) + " specimens; load the angles of these specimens (Specimen t, p…)");
    }
    std::size_t& first = lineof[static_cast<std::size_t>(row)];
    if (first != lines)
      throw core::Error("Lines " + std::to_string(first + 1) + " and " + std::to_string(l + 1) +
                        " of the per-specimen angles both name specimen " + ids.label(static_cast<std::size_t>(row)) +
                        "; a specimen has one line");
    first = l;
    out.t[static_cast<std::size_t>(row)] = core::Bearing::degrees(datatp(static_cast<Eigen::Index>(l), 0));
  }
  return out;
}

std::vector<LeftOut> unretrodeformable(const Eigen::MatrixXd& x, std::span<const core::Bearing> t, int b1, int b2) {
  std::vector<LeftOut> out;
  const Eigen::Index k = x.cols() / 2;
  if (b1 < 1 || b2 < 1 || b1 > k || b2 > k) return out; // basereg names a baseline that does not exist
  for (Eigen::Index i = 0; i < x.rows(); ++i) {
    std::vector<Eigen::Index> lacks;
    for (int b : {b1, b2})
      if (core::missing(x, i, b - 1)) lacks.push_back(b - 1);
    std::string why;
    if (!lacks.empty())
      why = "lacks baseline landmark" + std::string(lacks.size() == 1 ? " " : "s ") + core::landmarklist(lacks);
    if (static_cast<std::size_t>(i) < t.size() && std::isnan(t[static_cast<std::size_t>(i)].rad()))
      why += (why.empty() ? "" : " and ") + std::string("has no per-specimen angles");
    if (!why.empty()) out.push_back({i, why});
  }
  return out;
}

Eigen::MatrixXd orientandremove(const Eigen::MatrixXd& x, std::span<const core::Bearing> t, int b1, int b2,
                                const Eigen::Matrix2d& rdefmat) {
  if (static_cast<Eigen::Index>(t.size()) != x.rows())
    throw core::Error("The per-specimen angles hold " + std::to_string(t.size()) + " rows but the data set has " +
                      std::to_string(x.rows()) + " specimens; load the angles of these specimens (Specimen t, p…)");
  const Eigen::Index k = x.cols() / 2;
  Eigen::MatrixXd y(x.rows(), 2 * k + 1);
  y.setConstant(std::nan(""));
  y.col(2 * k).setOnes();
  std::vector<bool> out(static_cast<std::size_t>(x.rows()), false);
  for (const LeftOut& l : unretrodeformable(x, t, b1, b2)) out[static_cast<std::size_t>(l.row)] = true;
  std::vector<Eigen::Index> rows;
  for (Eigen::Index i = 0; i < x.rows(); ++i)
    if (!out[static_cast<std::size_t>(i)]) rows.push_back(i);
  const Eigen::MatrixXd xbc = core::basereg(x(rows, Eigen::all), b1, b2);
  Eigen::Matrix2d quarter;
  quarter << 0, -1, 1, 0; // the baseline from +x to +y
  for (std::size_t r = 0; r < rows.size(); ++r) {
    const Eigen::Index i = rows[r];
    // Clockwise by the compass bearing, then the strain taken out.
    const Eigen::Matrix2d m = rdefmat * core::rotation(-t[static_cast<std::size_t>(i)].rad()) * quarter;
    y.row(i) = core::xyfromvert((m * core::vertxy(xbc.row(static_cast<Eigen::Index>(r)))).transpose(), 1);
  }
  return y;
}

Eigen::MatrixXd onpresent(const Eigen::MatrixXd& y, const std::function<Eigen::MatrixXd(const Eigen::MatrixXd&)>& f) {
  const Eigen::Index k = y.cols() / 2;
  std::vector<Eigen::Index> rows;
  for (Eigen::Index i = 0; i < y.rows(); ++i)
    if (!y.row(i).head(2 * k).array().isNaN().all()) rows.push_back(i);
  if (static_cast<Eigen::Index>(rows.size()) == y.rows()) return f(y);
  Eigen::MatrixXd out = y;
  out(rows, Eigen::all) = f(y(rows, Eigen::all));
  return out;
}

namespace {

// The retrodeformed specimens superimposed, those left out kept missing.
Eigen::MatrixXd superimposed(const Eigen::MatrixXd& y) {
  if (y.rows() > 0 && y.leftCols(y.cols() - 1).array().isNaN().all())
    throw core::Error("No specimen could be retrodeformed: each lacks a baseline landmark or its per-specimen angles");
  return onpresent(y, [](const Eigen::MatrixXd& present) { return core::getconsensus(present).xpt; });
}

} // namespace

Eigen::MatrixXd retro_wellman3(const Eigen::MatrixXd& x, std::span<const core::Bearing> t, int b1, int b2,
                               const PairAngles& pooled) {
  const EllipseFit fit = wellman2(vertices(pooled));
  if (!fit.ellipse)
    throw core::Error("The conic fitted to the pooled pairs is not an ellipse, so there is no strain to remove");
  return superimposed(orientandremove(x, t, b1, b2, fit.strain.removal()));
}

Eigen::MatrixXd retro_wellman4(const Eigen::MatrixXd& x, std::span<const core::Bearing> t, int b1, int b2,
                               const core::Strain& strain) {
  checkstrain(strain);
  return superimposed(orientandremove(x, t, b1, b2, strain.removal()));
}

Retro5 retro_wellman5(const Eigen::MatrixXd& x, const core::Strain& strain) {
  checkstrain(strain);
  const Eigen::Matrix2d rdefmat = strain.removal();
  Retro5 out;
  out.yraw.resize(x.rows(), 2 * (x.cols() / 2) + 1);
  for (Eigen::Index i = 0; i < x.rows(); ++i)
    out.yraw.row(i) = core::xyfromvert((rdefmat * core::vertxy(x.row(i))).transpose(), 1);
  out.y = core::getconsensus(out.yraw).xpt;
  return out;
}

} // namespace restrain
