#include "warp/missing_methods.h"

#include "core/text_format.h"

#include <Eigen/Eigenvalues>
#include <Eigen/LU>
#include <Eigen/SVD>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

namespace warp::detail {

namespace {

using cd = std::complex<double>;
constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();

Eigen::VectorXcd pick(const Shape& z, const Indices& which) {
  Eigen::VectorXcd out(static_cast<Eigen::Index>(which.size()));
  for (std::size_t c = 0; c < which.size(); ++c) out(static_cast<Eigen::Index>(c)) = z(which[c]);
  return out;
}

double centroidsize(const Eigen::VectorXcd& z) {
  const cd c = z.mean();
  return std::sqrt((z.array() - c).abs2().sum());
}

// The spline kernel of a squared distance d: d ln d (r^2 ln r^2).
double kernel(double d) { return d > 0 ? d * std::log(d) : 0.0; }

// The m x p operator of the thin-plate spline through `src` at `at` (see
// tpsoperator), without merging; with smooth > 0 the spline approximates:
// smooth times the source's squared centroid size is added to the kernel's
// diagonal, so that coincident source points take the mean of their
// targets.
Eigen::MatrixXd splineoperator(const Eigen::VectorXcd& src, const Eigen::VectorXcd& at, double smooth) {
  const Eigen::Index p = src.size(), m = at.size();
  Eigen::MatrixXd L = Eigen::MatrixXd::Zero(p + 3, p + 3);
  for (Eigen::Index i = 0; i < p; ++i)
    for (Eigen::Index j = i + 1; j < p; ++j) L(i, j) = L(j, i) = kernel(std::norm(src(i) - src(j)));
  if (smooth > 0) {
    const double ss = (src.array() - src.mean()).abs2().sum();
    for (Eigen::Index i = 0; i < p; ++i) L(i, i) += smooth * ss;
  }
  for (Eigen::Index i = 0; i < p; ++i) {
    L(i, p) = L(p, i) = 1;
    L(i, p + 1) = L(p + 1, i) = src(i).real();
    L(i, p + 2) = L(p + 2, i) = src(i).imag();
  }
  Eigen::MatrixXd E(p + 3, m); // the evaluation rows, as columns
  for (Eigen::Index q = 0; q < m; ++q) {
    for (Eigen::Index i = 0; i < p; ++i) E(i, q) = kernel(std::norm(at(q) - src(i)));
    E(p, q) = 1;
    E(p + 1, q) = at(q).real();
    E(p + 2, q) = at(q).imag();
  }
  return L.partialPivLu().solve(E).transpose().leftCols(p);
}

// e moved towards base until no landmark is farther than bound from it.
void clip(Eigen::RowVectorXcd& e, const Eigen::RowVectorXcd& base, const Eigen::RowVectorXd& bound) {
  for (Eigen::Index c = 0; c < e.size(); ++c) {
    const cd d = e(c) - base(c);
    const double r = std::abs(d);
    if (r > bound(c)) e(c) = base(c) + d * (bound(c) / std::max(r, 1e-300));
  }
}

// Ridge regression of Y (n x q) on X (n x d), intercept unpenalised, the
// parameter lambda = t * trace(Xc'Xc) / d with t from 1e-5 to 1e3 in 33
// steps chosen by exact leave-one-out: with Xc = U S V' and the shrinkage
// f = s^2 / (s^2 + lambda), the fit is U diag(f) U'Yc, the leverage
// h_i = sum_j U_ij^2 f_j + 1/n, and the left-out residual (y - fit) / (1 - h).
// A new specimen's centred predictors x have the leverage (less 1/n)
// g = sum_j (V'x)_j^2 / (s_j^2 + lambda); `inverse` holds V scaled by
// 1 / sqrt(s_j^2 + lambda). A training specimen with g_i = sum_j U_ij^2 f_j,
// left out, stands at the leverage c^2 g_i / (1 - c g_i) (c = n / (n - 1))
// from the others' mean and scatter; `reach` is the largest of these: as
// far out as the leave-one-out trial tried the regression.
struct Ridge {
  Eigen::RowVectorXd xm, ym;
  Eigen::MatrixXd B, loo, inverse;
  double reach = 0;
};

Ridge ridge(const Eigen::MatrixXd& X, const Eigen::MatrixXd& Y) {
  const Eigen::Index n = X.rows();
  Ridge r;
  r.xm = X.colwise().mean();
  r.ym = Y.colwise().mean();
  const Eigen::MatrixXd Xc = X.rowwise() - r.xm, Yc = Y.rowwise() - r.ym;
  const Eigen::JacobiSVD<Eigen::MatrixXd> svd(Xc, Eigen::ComputeThinU | Eigen::ComputeThinV);
  const Eigen::VectorXd& all = svd.singularValues();
  Eigen::Index keep = 0;
  while (keep < all.size() && all(keep) > all(0) * 1e-10) ++keep;
  const Eigen::MatrixXd U = svd.matrixU().leftCols(keep), V = svd.matrixV().leftCols(keep);
  const Eigen::ArrayXd s2 = all.head(keep).array().square();
  const double scale = s2.sum() / static_cast<double>(std::max<Eigen::Index>(X.cols(), 1));
  const Eigen::MatrixXd UtY = U.transpose() * Yc;
  const Eigen::ArrayXXd U2 = U.array().square();
  double bestpress = inf, bestlambda = 0;
  for (int step = 0; step <= 32; ++step) {
    const double lambda = std::pow(10.0, -5 + step / 4.0) * scale;
    const Eigen::ArrayXd f = s2 / (s2 + lambda);
    const Eigen::MatrixXd fit = U * (f.matrix().asDiagonal() * UtY);
    const Eigen::ArrayXd h = (U2.rowwise() * f.transpose()).rowwise().sum() + 1.0 / static_cast<double>(n);
    const Eigen::MatrixXd res = (Yc - fit).array().colwise() / (1 - h);
    const double press = res.squaredNorm();
    if (press < bestpress) {
      bestpress = press;
      bestlambda = lambda;
      r.loo = Y - res;
    }
  }
  const Eigen::ArrayXd shrink = all.head(keep).array() / (s2 + bestlambda);
  r.B = V * (shrink.matrix().asDiagonal() * UtY);
  r.inverse = V * (s2 + bestlambda).rsqrt().matrix().asDiagonal();
  const double c = static_cast<double>(n) / static_cast<double>(n - 1);
  const Eigen::ArrayXd g = (U2.rowwise() * (s2 / (s2 + bestlambda)).transpose()).rowwise().sum();
  for (Eigen::Index i = 0; i < n; ++i)
    r.reach = std::max(r.reach, c * g(i) < 1 ? c * c * g(i) / (1 - c * g(i)) : inf);
  if (r.loo.size() == 0) r.loo = Y.rowwise() - r.ym; // nothing to shrink: every predictor constant
  return r;
}

Eigen::MatrixXd realcols(const Shapes& z) {
  Eigen::MatrixXd out(z.rows(), 2 * z.cols());
  out << z.real(), z.imag();
  return out;
}

Shapes complexcols(const Eigen::MatrixXd& r) {
  const Eigen::Index m = r.cols() / 2;
  Shapes out(r.rows(), m);
  out.real() = r.leftCols(m);
  out.imag() = r.rightCols(m);
  return out;
}

std::string percent(double v) { return v < 9.5 ? core::format("%.1g", v) : core::format("%.0f", v); }

// The smallest circle holding every point (Welzl's incremental form): the
// place nearest to the farthest of them, so the estimate of least worst
// error when nothing tells the points apart.
struct Circle {
  cd c;
  double r = 0;
  bool holds(cd p) const { return std::abs(p - c) <= r * (1 + 1e-12) + 1e-300; }
};

Circle through(cd a, cd b) { return {(a + b) / 2.0, std::abs(a - b) / 2}; }

Circle through(cd a, cd b, cd q) {
  const cd ab = b - a, aq = q - a;
  const double cross = ab.real() * aq.imag() - ab.imag() * aq.real();
  if (std::abs(cross) <= 1e-14 * std::norm(ab) + 1e-300) { // on one line: the outer two span it
    Circle best = through(a, b);
    for (const Circle& c : {through(a, q), through(b, q)})
      if (c.r > best.r) best = c;
    return best;
  }
  const cd centre = a + cd(0, -1) * (std::norm(ab) * aq - std::norm(aq) * ab) / (2 * cross);
  return {centre, std::abs(centre - a)};
}

Circle enclosing(const std::vector<cd>& p) {
  Circle c{p.empty() ? cd() : p[0], 0};
  for (std::size_t i = 1; i < p.size(); ++i) {
    if (c.holds(p[i])) continue;
    c = {p[i], 0};
    for (std::size_t j = 0; j < i; ++j) {
      if (c.holds(p[j])) continue;
      c = through(p[i], p[j]);
      for (std::size_t q = 0; q < j; ++q)
        if (!c.holds(p[q])) c = through(p[i], p[j], p[q]);
    }
  }
  return c;
}

} // namespace

Shape shapeof(const Eigen::MatrixXd& x, Eigen::Index i, Eigen::Index k) {
  Shape z(k);
  for (Eigen::Index j = 0; j < k; ++j) z(j) = cd(x(i, 2 * j), x(i, 2 * j + 1));
  return z;
}

Frame fitonto(const Shape& z, const Indices& P, const Shape& reference) {
  const Eigen::VectorXcd zp = pick(z, P), rp = pick(reference, P);
  Frame f;
  f.zc = zp.mean();
  f.rc = rp.mean();
  const Eigen::VectorXcd A = zp.array() - f.zc, R = rp.array() - f.rc;
  const cd rot = A.dot(R); // sum conj(A) R
  const double scale = std::sqrt(R.squaredNorm() / A.squaredNorm());
  f.a = scale * rot / std::abs(rot);
  return f;
}

double lineratio(const Eigen::VectorXcd& points) {
  const cd c = points.mean();
  double sxx = 0, syy = 0, sxy = 0;
  for (Eigen::Index i = 0; i < points.size(); ++i) {
    const cd d = points(i) - c;
    sxx += d.real() * d.real();
    syy += d.imag() * d.imag();
    sxy += d.real() * d.imag();
  }
  const double trace = sxx + syy;
  if (!(trace > 0)) return 0;
  const double least = std::max(0.0, trace / 2 - std::sqrt((sxx - syy) * (sxx - syy) / 4 + sxy * sxy));
  return std::sqrt(least / trace);
}

std::optional<Eigen::MatrixXd> tpsoperator(const Eigen::VectorXcd& src, const Eigen::VectorXcd& at, double merge) {
  const Eigen::Index p = src.size();
  const double tol = merge * centroidsize(src);
  std::vector<Eigen::Index> label(static_cast<std::size_t>(p));
  std::iota(label.begin(), label.end(), 0);
  for (Eigen::Index i = 0; i < p; ++i)
    for (Eigen::Index j = i + 1; j < p; ++j) {
      const auto li = label[static_cast<std::size_t>(i)], lj = label[static_cast<std::size_t>(j)];
      if (std::abs(src(i) - src(j)) <= tol && lj != li)
        for (auto& l : label)
          if (l == lj) l = li;
    }
  std::vector<Eigen::Index> groups = label;
  std::sort(groups.begin(), groups.end());
  groups.erase(std::unique(groups.begin(), groups.end()), groups.end());
  const auto c = static_cast<Eigen::Index>(groups.size());
  Eigen::MatrixXd A = Eigen::MatrixXd::Zero(c, p); // averaging of each group
  for (Eigen::Index g = 0; g < c; ++g) {
    double members = 0;
    for (Eigen::Index i = 0; i < p; ++i) members += label[static_cast<std::size_t>(i)] == groups[static_cast<std::size_t>(g)];
    for (Eigen::Index i = 0; i < p; ++i)
      if (label[static_cast<std::size_t>(i)] == groups[static_cast<std::size_t>(g)]) A(g, i) = 1 / members;
  }
  const Eigen::VectorXcd reps = A.cast<cd>() * src;
  if (c < 3 || lineratio(reps) < 1e-9) return std::nullopt;
  return splineoperator(reps, at, 0) * A;
}

// ---- refusal ------------------------------------------------------------

Geometry geometry(const Shape& z, const Indices& P, const Shape& consensus) {
  Geometry g;
  const Eigen::VectorXcd cp = pick(consensus, P);
  const double tol = merge_share * centroidsize(consensus.transpose());
  for (std::size_t a = 0; a < P.size(); ++a) {
    bool joined = false;
    for (Indices& group : g.groups)
      if (std::abs(consensus(P[a]) - consensus(group.front())) <= tol) {
        group.push_back(P[a]);
        joined = true;
        break;
      }
    if (!joined) g.groups.push_back({P[a]});
  }
  // A specimen whose landmarks present all lie at one point has nothing to
  // be fitted by, whatever the mean shape holds apart.
  if (P.size() > 1 && !(centroidsize(pick(z, P)) > 0)) g.groups = {P};
  g.own = lineratio(pick(z, P));
  g.mean = lineratio(cp);
  return g;
}

std::string cannotplace(const Geometry& g, const Indices& P) {
  if (P.empty()) return "no landmark is present";
  if (P.size() == 1) return "only landmark " + std::to_string(P[0] + 1) + " is present";
  if (g.groups.size() < 2) return "landmarks " + core::landmarklist(P) + ", the only ones present, coincide";
  return "";
}

std::string online(const Geometry& g, const Indices& P) {
  const std::string present = "the " + std::to_string(P.size()) + " landmarks present lie within ";
  if (g.own < line_share) return present + percent(100 * g.own) + " % of a line";
  if (g.mean < line_share) return present + percent(100 * g.mean) + " % of a line in the mean shape";
  return "";
}

std::string nospline(const Geometry& g, const Indices& P) {
  if (g.groups.size() < 3) {
    std::string same;
    for (const Indices& group : g.groups)
      if (group.size() > 1) same += (same.empty() ? "landmarks " : "; landmarks ") + core::landmarklist(group) + " coincide";
    if (same.empty()) return "only " + std::to_string(P.size()) + " landmarks are present, and a thin-plate spline needs three";
    return same + ": " + std::to_string(g.groups.size()) +
           " distinct landmarks present, and a thin-plate spline needs three";
  }
  return online(g, P);
}

// ---- the pattern ----------------------------------------------------------

Pattern::Pattern(const Shapes& train, const Shape& consensus, Indices P, Indices M,
                 const std::vector<Eigen::Index>& partner, const std::vector<core::Estimate>& wanted,
                 std::vector<bool> measured)
    : P_(std::move(P)), M_(std::move(M)), partner_(partner), consensus_(consensus), n_(train.rows()),
      measured_(std::move(measured)) {
  const auto p = static_cast<Eigen::Index>(P_.size()), m = static_cast<Eigen::Index>(M_.size());
  if (measured_.empty()) measured_.assign(static_cast<std::size_t>(n_), true);
  const auto wants = [&](core::Estimate e) {
    return std::find(wanted.begin(), wanted.end(), e) != wanted.end() ||
           ((e == core::Estimate::regression || e == core::Estimate::neighbours) &&
            std::find(wanted.begin(), wanted.end(), core::Estimate::blend) != wanted.end());
  };

  AP_.resize(n_, p);
  AM_.resize(n_, m);
  size_.resize(n_);
  for (Eigen::Index l = 0; l < n_; ++l) {
    const Shape z = train.row(l);
    const Frame f = fitonto(z, P_, consensus_);
    Shape fitted(z.size());
    for (Eigen::Index j = 0; j < z.size(); ++j) fitted(j) = f.to(z(j));
    for (Eigen::Index c = 0; c < p; ++c) AP_(l, c) = fitted(P_[static_cast<std::size_t>(c)]);
    for (Eigen::Index c = 0; c < m; ++c) AM_(l, c) = fitted(M_[static_cast<std::size_t>(c)]);
    size_(l) = centroidsize(fitted.transpose());
  }
  W_ = tpsoperator(pick(consensus_, P_), pick(consensus_, M_), merge_share);
  meanM_ = AM_.colwise().mean();
  const double others = static_cast<double>(n_ - 1);

  // mean
  const Eigen::RowVectorXcd total = AM_.colwise().sum();
  Shapes base(n_, m);
  for (Eigen::Index l = 0; l < n_; ++l) base.row(l) = (total - AM_.row(l)) / others;
  loo_[index(core::Estimate::mean)] = base;
  if (wants(core::Estimate::tps) && W_) loo_[index(core::Estimate::tps)] = AP_ * W_->transpose().cast<cd>();
  if (wants(core::Estimate::regression)) {
    const Ridge r = ridge(realcols(AP_), realcols(AM_));
    xm_ = r.xm, ym_ = r.ym, B_ = r.B, inverse_ = r.inverse, leverage_ = r.reach;
    loo_[index(core::Estimate::regression)] = complexcols(r.loo);
  }
  // A training specimen whose P are (nearly) on one line carries no
  // spline: it is no neighbour.
  usable_.resize(static_cast<std::size_t>(n_));
  Eigen::Index usable = 0;
  for (Eigen::Index l = 0; l < n_; ++l)
    usable += (usable_[static_cast<std::size_t>(l)] = lineratio(AP_.row(l).transpose()) > 1e-6);
  if (wants(core::Estimate::neighbours) && usable >= 2) {
    Wn_.resize(static_cast<std::size_t>(n_));
    for (Eigen::Index l = 0; l < n_; ++l)
      if (usable_[static_cast<std::size_t>(l)])
        Wn_[static_cast<std::size_t>(l)] =
            splineoperator(AP_.row(l).transpose(), AM_.row(l).transpose(), neighbour_smoothing);
    Shapes est(n_, m);
    Eigen::RowVectorXd d(n_);
    for (Eigen::Index j = 0; j < n_; ++j) {
      for (Eigen::Index l = 0; l < n_; ++l)
        d(l) = l == j || !usable_[static_cast<std::size_t>(l)] ? inf : (AP_.row(j) - AP_.row(l)).norm();
      est.row(j) = neighbours(AP_.row(j), d);
    }
    loo_[index(core::Estimate::neighbours)] = est;
  }
  const auto& reg = loo_[index(core::Estimate::regression)];
  const auto& nbr = loo_[index(core::Estimate::neighbours)];
  if (wants(core::Estimate::blend) && reg && nbr) loo_[index(core::Estimate::blend)] = (*reg + *nbr) / 2.0;

  // The guard: each landmark's reach is the farthest training specimen's
  // distance from the mean; left out, that specimen meets the second
  // farthest.
  reach_.resize(m);
  Eigen::RowVectorXd second(m);
  std::vector<Eigen::Index> farthest(static_cast<std::size_t>(m));
  for (Eigen::Index c = 0; c < m; ++c) {
    double top = -1, next = -1;
    Eigen::Index at = 0;
    for (Eigen::Index l = 0; l < n_; ++l) {
      const double dev = std::abs(AM_(l, c) - meanM_(c));
      if (dev > top) next = top, top = dev, at = l;
      else if (dev > next) next = dev;
    }
    reach_(c) = top;
    second(c) = n_ > 1 ? next : top;
    farthest[static_cast<std::size_t>(c)] = at;
  }
  for (core::Estimate e : learning) {
    if (e == core::Estimate::mean || e == core::Estimate::mirror || !loo_[index(e)]) continue;
    Shapes& est = *loo_[index(e)];
    for (Eigen::Index l = 0; l < n_; ++l) {
      Eigen::RowVectorXd bound = reach_;
      for (Eigen::Index c = 0; c < m; ++c)
        if (farthest[static_cast<std::size_t>(c)] == l) bound(c) = second(c);
      Eigen::RowVectorXcd row = est.row(l);
      clip(row, base.row(l), bound);
      est.row(l) = row;
    }
  }

  // The centre of each landmark's spread over the training specimens; left
  // out, a specimen on the circle leaves the others' circle.
  centre_.resize(m);
  centreloo_.resize(n_, m);
  for (Eigen::Index c = 0; c < m && wants(core::Estimate::automatic); ++c) {
    std::vector<cd> all(AM_.col(c).data(), AM_.col(c).data() + n_);
    const Circle whole = enclosing(all);
    centre_(c) = whole.c;
    for (Eigen::Index l = 0; l < n_; ++l) {
      centreloo_(l, c) = whole.c;
      if (std::abs(AM_(l, c) - whole.c) < whole.r * (1 - 1e-9)) continue;
      std::vector<cd> others = all;
      others.erase(others.begin() + l);
      centreloo_(l, c) = enclosing(others).c;
    }
  }

  // mirror, where every missing landmark's partner is present
  bool mirrorable = wants(core::Estimate::mirror) && !partner_.empty();
  for (Eigen::Index j : M_) {
    if (!mirrorable) break;
    const Eigen::Index q = partner_[static_cast<std::size_t>(j)];
    mirrorable = q >= 0 && q != j && std::find(M_.begin(), M_.end(), q) == M_.end();
  }
  if (mirrorable) {
    Shapes est(n_, m);
    for (Eigen::Index l = 0; l < n_; ++l) {
      Shape a(consensus_.size());
      a.setConstant(cd(nan, nan));
      for (Eigen::Index c = 0; c < p; ++c) a(P_[static_cast<std::size_t>(c)]) = AP_(l, c);
      est.row(l) = mirrored(a, M_, partner_);
    }
    loo_[index(core::Estimate::mirror)] = est;
  }
}

// The leave-one-out estimates of the method, the landmarks flagged in
// `centred` replaced by the centre of the others' spread.
Shapes Pattern::withcentres(core::Estimate method, const Tail& centred) const {
  Shapes est = *loo_[index(method)];
  for (std::size_t c = 0; c < centred.size(); ++c)
    if (centred[c]) est.col(static_cast<Eigen::Index>(c)) = centreloo_.col(static_cast<Eigen::Index>(c));
  return est;
}

Trial Pattern::trial(core::Estimate method, const Tail& centred) const {
  const Shapes est = withcentres(method, centred);
  Trial t;
  double count = 0;
  for (Eigen::Index l = 0; l < n_; ++l) {
    if (!measured_[static_cast<std::size_t>(l)]) continue;
    const double e = 100 * (est.row(l) - AM_.row(l)).cwiseAbs().mean() / size_(l);
    t.mean += e;
    t.rms += e * e;
    ++count;
  }
  t.mean /= count;
  t.rms = std::sqrt(t.rms / count);
  return t;
}

Tail Pattern::tail(core::Estimate method) const {
  const Shapes& est = *loo_[index(method)];
  // A landmark's leave-one-out root-mean-square and worst error, in % of
  // each judge's centroid size.
  const auto spread = [&](const Shapes& e, Eigen::Index c) {
    double sum2 = 0, worst = 0, count = 0;
    for (Eigen::Index l = 0; l < n_; ++l) {
      if (!measured_[static_cast<std::size_t>(l)]) continue;
      const double d = 100 * std::abs(e(l, c) - AM_(l, c)) / size_(l);
      sum2 += d * d;
      worst = std::max(worst, d);
      ++count;
    }
    return std::pair(std::sqrt(sum2 / count), worst);
  };
  Tail centred(M_.size(), false);
  for (std::size_t c = 0; c < M_.size(); ++c) {
    const auto [rms, worst] = spread(est, static_cast<Eigen::Index>(c));
    if (worst <= tail_floor) continue;
    const auto [crms, cworst] = spread(centreloo_, static_cast<Eigen::Index>(c));
    centred[c] = crms + cworst < rms + worst;
  }
  return centred;
}

Eigen::Index Pattern::judges() const {
  return static_cast<Eigen::Index>(std::count(measured_.begin(), measured_.end(), true));
}

core::Estimate Pattern::best(bool withtps) const {
  core::Estimate chosen = core::Estimate::mean;
  double least = inf;
  for (core::Estimate e : learning) {
    if (!offers(e) || (e == core::Estimate::tps && !withtps)) continue;
    const double rms = trial(e).rms;
    if (rms < least) least = rms, chosen = e;
  }
  return chosen;
}

Eigen::RowVectorXcd Pattern::neighbours(const Eigen::RowVectorXcd& tP, const Eigen::RowVectorXd& distance) const {
  std::vector<Eigen::Index> order(static_cast<std::size_t>(n_));
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](Eigen::Index a, Eigen::Index b) { return distance(a) < distance(b); });
  const auto finite = static_cast<int>((distance.array() < inf).count());
  const int K = std::min(neighbour_count, finite);
  double total = 0;
  Eigen::RowVectorXcd out = Eigen::RowVectorXcd::Zero(static_cast<Eigen::Index>(M_.size()));
  for (int q = 0; q < K; ++q) {
    const Eigen::Index l = order[static_cast<std::size_t>(q)];
    const double w = 1 / std::max(distance(l), 1e-12);
    total += w;
    out += w * (Wn_[static_cast<std::size_t>(l)].cast<cd>() * tP.transpose()).transpose();
  }
  return out / total;
}

Eigen::RowVectorXcd Pattern::regression(const Eigen::RowVectorXcd& tP) const {
  Eigen::RowVectorXd x(2 * tP.size());
  x << tP.real(), tP.imag();
  x -= xm_;
  // The leave-one-out trial judged the regression only as far out as its
  // left-out training specimens lay; a specimen beyond them all (a shape
  // the training set holds in none of its directions) is pulled back onto
  // that leverage rather than extrapolated.
  const double leverage = (x * inverse_).squaredNorm();
  if (leverage > leverage_) x *= std::sqrt(leverage_ / leverage);
  Eigen::MatrixXd y = x * B_ + ym_;
  return complexcols(y).row(0);
}

Eigen::RowVectorXcd Pattern::aligned(const Shape& z, const Eigen::RowVectorXcd& tP, core::Estimate method,
                                     const Frame& f) const {
  switch (method) {
  case core::Estimate::mirror: {
    Eigen::RowVectorXcd e = mirrored(z, M_, partner_);
    for (Eigen::Index c = 0; c < e.size(); ++c) e(c) = f.to(e(c));
    return e;
  }
  case core::Estimate::blend:
    return (aligned(z, tP, core::Estimate::regression, f) + aligned(z, tP, core::Estimate::neighbours, f)) / 2.0;
  case core::Estimate::tps: return (W_->cast<cd>() * tP.transpose()).transpose();
  case core::Estimate::regression: return regression(tP);
  case core::Estimate::neighbours: {
    Eigen::RowVectorXd d(n_);
    for (Eigen::Index l = 0; l < n_; ++l) d(l) = usable_[static_cast<std::size_t>(l)] ? (AP_.row(l) - tP).norm() : inf;
    return neighbours(tP, d);
  }
  default: return meanM_;
  }
}

Eigen::RowVectorXcd Pattern::estimate(const Shape& z, core::Estimate method, const Tail& centred) const {
  const Frame f = fitonto(z, P_, consensus_);
  Eigen::RowVectorXcd tP(static_cast<Eigen::Index>(P_.size()));
  for (std::size_t c = 0; c < P_.size(); ++c) tP(static_cast<Eigen::Index>(c)) = f.to(z(P_[c]));
  Eigen::RowVectorXcd e = aligned(z, tP, method, f);
  if (method != core::Estimate::mean) clip(e, meanM_, reach_);
  for (std::size_t c = 0; c < centred.size(); ++c)
    if (centred[c]) e(static_cast<Eigen::Index>(c)) = centre_(static_cast<Eigen::Index>(c));
  for (Eigen::Index c = 0; c < e.size(); ++c) e(c) = f.from(e(c));
  return e;
}

// ---- mirror ------------------------------------------------------------

// For a pair (l, r) with midpoint h and vector d = l - r, and u the unit
// direction of the line, |l - reflect(r)|^2 = 4 (n . (h - c))^2 + (u . d)^2:
// the midpoint should lie on the line, the pair's vector across it. A
// midline landmark m adds |m - reflect(m)|^2 = 4 (n . (m - c))^2. So the
// misfit over 4 is
//   sum over the axis points p (midline landmarks and pair midpoints) of
//   (n . (p - c))^2  +  1/4 sum over the pairs of (u . d)^2,
// least for c at the mean of the axis points, and with S their scatter
// matrix and V = sum d d' the pairs' it is n' S n + (trace V - n' V n) / 4:
// n is the eigenvector of S - V / 4 of the smaller eigenvalue. The points
// on the axis set its direction, the pair vectors stand across it, and
// either alone suffices: two midline landmarks and no complete pair, or a
// single complete pair. Nothing when the specimen has too little of either
// to tell a direction (the two eigenvalues equal).
std::optional<MirrorLine> mirrorline(const std::vector<Eigen::Vector2d>& axis,
                                     const std::vector<Eigen::Vector2d>& across) {
  if (axis.empty()) return std::nullopt;
  Eigen::Vector2d c = Eigen::Vector2d::Zero();
  for (const Eigen::Vector2d& p : axis) c += p;
  c /= static_cast<double>(axis.size());
  Eigen::Matrix2d s = Eigen::Matrix2d::Zero(), v = Eigen::Matrix2d::Zero();
  for (const Eigen::Vector2d& p : axis) s += (p - c) * (p - c).transpose();
  for (const Eigen::Vector2d& d : across) v += d * d.transpose();
  const Eigen::SelfAdjointEigenSolver<Eigen::Matrix2d> e(s - v / 4);
  const double spread = s.trace() + v.trace() / 4;
  if (!(e.eigenvalues()(1) - e.eigenvalues()(0) > 1e-12 * spread)) return std::nullopt;
  return MirrorLine{c, e.eigenvectors().col(0)};
}

Eigen::RowVectorXcd mirrored(const Shape& z, const Indices& M, const std::vector<Eigen::Index>& partner) {
  const auto lost = [&](Eigen::Index j) {
    return std::isnan(z(j).real()) || std::find(M.begin(), M.end(), j) != M.end();
  };
  const auto point = [&](Eigen::Index j) { return Eigen::Vector2d(z(j).real(), z(j).imag()); };
  std::vector<Eigen::Vector2d> axis, across;
  for (Eigen::Index j = 0; j < z.size(); ++j) {
    const Eigen::Index q = partner[static_cast<std::size_t>(j)];
    if (q < j || lost(j) || lost(q)) continue;
    if (q == j) axis.push_back(point(j));
    else {
      axis.push_back((point(j) + point(q)) / 2);
      across.push_back(point(j) - point(q));
    }
  }
  const std::optional<MirrorLine> line = mirrorline(axis, across);
  Eigen::RowVectorXcd out(static_cast<Eigen::Index>(M.size()));
  for (std::size_t c = 0; c < M.size(); ++c) {
    const Eigen::Index q = partner[static_cast<std::size_t>(M[c])];
    if (!line || q < 0 || lost(q)) {
      out(static_cast<Eigen::Index>(c)) = cd(nan, nan);
      continue;
    }
    const Eigen::Vector2d r = line->reflect(point(q));
    out(static_cast<Eigen::Index>(c)) = cd(r(0), r(1));
  }
  return out;
}

} // namespace warp::detail
