#include "warp/missing.h"

#include "core/configurations.h"
#include "core/error.h"
#include "core/parallel.h"
#include "core/procrustes.h"
#include "core/text_format.h"
#include "warp/missing_methods.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <string>

namespace warp {
namespace {

using detail::Indices;
using detail::Shape;
using cd = std::complex<double>;

// The slot counts as the centroid size of the landmarks present when it
// agrees with it to this share: a row file keeps six significant digits.
constexpr double slot_agreement = 1e-5;
// The least number of complete specimens that are learnt from alone; with
// fewer, every specimen learns from all the others.
constexpr std::size_t complete_training = 5;
// Rounds of estimates from all specimens (more change nothing measurable).
constexpr int rounds = 2;
// A method's leave-one-out trial needs this many judges.
constexpr Eigen::Index least_judges = 3;

Eigen::Index landmarkcount(const Eigen::MatrixXd& x) {
  if (x.cols() % 2 == 0)
    throw core::Error("estimatemissing: a data set has 2k + 1 columns (k landmarks and the size slot), but this one has " +
                      std::to_string(x.cols()));
  return x.cols() / 2;
}

std::vector<Eigen::Index> absent(const Eigen::MatrixXd& x, Eigen::Index i, Eigen::Index k) {
  std::vector<Eigen::Index> out;
  for (Eigen::Index j = 0; j < k; ++j)
    if (core::missing(x, i, j)) out.push_back(j);
  return out;
}

std::vector<Eigen::Index> present(const Eigen::MatrixXd& x, Eigen::Index i, Eigen::Index k) {
  std::vector<Eigen::Index> out;
  for (Eigen::Index j = 0; j < k; ++j)
    if (!core::missing(x, i, j)) out.push_back(j);
  return out;
}

Eigen::Vector2d point(const Eigen::MatrixXd& x, Eigen::Index i, Eigen::Index j) {
  return {x(i, 2 * j), x(i, 2 * j + 1)};
}

// Runs f(0) ... f(count - 1) on up to `threads` threads (0: every hardware
// thread), one item per chunk. Each call writes only its own results, so
// the outcome does not depend on the thread count.
template <class F>
void forall(std::size_t count, unsigned threads, F f) {
  core::parallel_for(
      static_cast<Eigen::Index>(count), threads, core::Split{1, 1}, [](unsigned) {},
      [&](const core::Chunk& c, unsigned) {
        for (Eigen::Index i = c.begin; i < c.end; ++i) f(static_cast<std::size_t>(i));
      },
      [](const core::Chunk&) {});
}

// ---- mirror ------------------------------------------------------------

// The pair list as partner per landmark: partner[j] = j for a midline
// landmark, the other member for a paired one, -1 for one the list leaves
// out.
std::vector<Eigen::Index> partners(const Eigen::MatrixXd& pairs, Eigen::Index k) {
  if (pairs.cols() != 2)
    throw core::Error("estimatemissing: the pair list has " + std::to_string(pairs.cols()) +
                      " columns; each line holds two landmark numbers (the same number twice for a midline landmark)");
  std::vector<Eigen::Index> partner(static_cast<std::size_t>(k), -1);
  for (Eigen::Index r = 0; r < pairs.rows(); ++r) {
    for (int c = 0; c < 2; ++c) {
      const double v = pairs(r, c);
      if (!(v >= 1 && v <= static_cast<double>(k)) || v != std::floor(v))
        throw core::Error("estimatemissing: the pair list, row " + std::to_string(r + 1) +
                          ": a landmark number is not one of the data set's landmarks 1 ... " + std::to_string(k));
    }
    const auto a = static_cast<Eigen::Index>(pairs(r, 0)) - 1, b = static_cast<Eigen::Index>(pairs(r, 1)) - 1;
    for (Eigen::Index j : {a, b})
      if (partner[static_cast<std::size_t>(j)] != -1)
        throw core::Error("estimatemissing: the pair list names landmark " + std::to_string(j + 1) +
                          " more than once (again in row " + std::to_string(r + 1) + ")");
    partner[static_cast<std::size_t>(a)] = b;
    partner[static_cast<std::size_t>(b)] = a;
  }
  return partner;
}

void placebymirror(const Eigen::MatrixXd& x, Eigen::Index k, const std::vector<Eigen::Index>& partner, Completion& c) {
  for (Eigen::Index i = 0; i < x.rows(); ++i) {
    const std::vector<Eigen::Index> lacks = absent(x, i, k);
    if (lacks.empty()) continue;
    std::vector<Eigen::Vector2d> axis, across;
    for (Eigen::Index j = 0; j < k; ++j) {
      const Eigen::Index p = partner[static_cast<std::size_t>(j)];
      if (p < j || core::missing(x, i, j) || core::missing(x, i, p)) continue; // each pair once, complete only
      if (p == j) axis.push_back(point(x, i, j));
      else {
        axis.push_back((point(x, i, j) + point(x, i, p)) / 2);
        across.push_back(point(x, i, j) - point(x, i, p));
      }
    }
    const std::optional<detail::MirrorLine> line = detail::mirrorline(axis, across);
    for (Eigen::Index j : lacks) {
      const Eigen::Index p = partner[static_cast<std::size_t>(j)];
      std::string why;
      if (p < 0) why = "the pair list leaves it out";
      else if (p == j) why = "a midline landmark has no partner to mirror";
      else if (core::missing(x, i, p)) why = "its partner " + std::to_string(p + 1) + " is missing too";
      else if (!line) why = "too few midline landmarks and complete pairs to place the axis of symmetry";
      if (!why.empty()) {
        c.unplaced.push_back({i, j, why});
        continue;
      }
      const Eigen::Vector2d m = line->reflect(point(x, i, p));
      c.y(i, 2 * j) = m(0);
      c.y(i, 2 * j + 1) = m(1);
      c.estimated.push_back({i, j, core::Estimate::mirror});
    }
  }
}

// ---- the learning methods ------------------------------------------------

// The methods a pattern tries for a request.
std::vector<core::Estimate> wanted(core::Estimate method) {
  if (method == core::Estimate::automatic) {
    std::vector<core::Estimate> all(detail::learning.begin(), detail::learning.end());
    all.push_back(core::Estimate::automatic);
    return all;
  }
  return {core::Estimate::mean, method};
}

// What became of one specimen: its estimates (in its own frame), or the
// reason it was refused.
struct Outcome {
  Eigen::RowVectorXcd values;
  core::Estimate method = core::Estimate::mean;
  bool chosen = false;
  double expected = std::nan("");
  std::string refusal;
};

// The specimen's estimate by the method asked for, from a pattern of its
// missing landmarks; refused when its geometry does not support it. With
// fewer than three judges no trial is made: auto then takes tps, or the
// mean where tps is refused. `limit` applies to auto (NaN: none).
Outcome place(const detail::Pattern& pattern, const Shape& z, const Indices& P, const Shape& consensus,
              core::Estimate method, double limit) {
  Outcome o;
  const detail::Geometry g = detail::geometry(z, P, consensus);
  if (o.refusal = detail::cannotplace(g, P); !o.refusal.empty()) return o;
  const std::string nospline = detail::nospline(g, P);
  const bool splines = nospline.empty() && pattern.offers(core::Estimate::tps);
  const bool judged = pattern.judges() >= least_judges;
  if (method == core::Estimate::tps && !splines) {
    o.refusal = nospline.empty() ? "no thin-plate spline passes through the mean shape's landmarks present" : nospline;
    return o;
  }
  if (method == core::Estimate::neighbours && !pattern.offers(method)) {
    o.refusal = "fewer than two of the specimens learnt from have these landmarks off one line";
    return o;
  }
  if (method == core::Estimate::automatic) {
    o.chosen = true;
    o.method = judged ? pattern.best(splines) : splines ? core::Estimate::tps : core::Estimate::mean;
  } else {
    o.method = method;
  }
  // auto places a landmark whose leave-one-out errors have a long tail at
  // the centre of the training specimens' spread of it.
  const detail::Tail centred = method == core::Estimate::automatic && judged ? pattern.tail(o.method) : detail::Tail();
  if (judged && pattern.offers(o.method)) o.expected = pattern.trial(o.method, centred).mean;
  if (method == core::Estimate::automatic && o.expected > limit) {
    const std::string line = detail::online(g, P);
    const std::string miss = "its best estimate would miss by " + core::format("%.1f", o.expected) +
                             " % of centroid size (leave-one-out; limit " + core::format("%g", limit) + " %)";
    o.refusal = line.empty() ? miss : line + ", and " + miss;
    return o;
  }
  o.values = pattern.estimate(z, o.method, centred);
  if (!o.values.allFinite()) o.refusal = "its estimate by " + std::string(core::methodname(o.method)) + " is not a finite number";
  return o;
}

// Per incomplete specimen its landmarks present and missing.
struct Incomplete {
  Eigen::Index row;
  Indices P, M;
};

Shape consensusof(const Eigen::MatrixXd& x, unsigned threads, Eigen::Index k) {
  return detail::shapeof(core::getconsensus(x, threads).y, 0, k);
}

void put(Eigen::MatrixXd& y, Eigen::Index i, const Indices& M, const Eigen::RowVectorXcd& values) {
  for (std::size_t c = 0; c < M.size(); ++c) {
    y(i, 2 * M[c]) = values(static_cast<Eigen::Index>(c)).real();
    y(i, 2 * M[c] + 1) = values(static_cast<Eigen::Index>(c)).imag();
  }
}

// Learns from the complete specimens: one pattern per set of missing
// landmarks, shared by the specimens that lack the same ones.
std::vector<Outcome> fromcomplete(const Eigen::MatrixXd& x, const std::vector<Incomplete>& todo,
                                  const std::vector<Eigen::Index>& whole, const std::vector<Eigen::Index>& partner,
                                  const EstimateOptions& o) {
  const Eigen::Index k = x.cols() / 2;
  const Eigen::MatrixXd complete = x(whole, Eigen::all);
  const Shape consensus = consensusof(complete, o.threads, k);
  detail::Shapes train(complete.rows(), k);
  for (Eigen::Index l = 0; l < complete.rows(); ++l) train.row(l) = detail::shapeof(complete, l, k);

  std::map<Indices, std::vector<std::size_t>> patterns;
  for (std::size_t s = 0; s < todo.size(); ++s) patterns[todo[s].M].push_back(s);
  std::vector<const std::vector<std::size_t>*> groups;
  for (const auto& [M, members] : patterns) groups.push_back(&members);
  std::vector<Outcome> out(todo.size());
  forall(groups.size(), o.threads, [&](std::size_t g) {
    const Incomplete& first = todo[groups[g]->front()];
    const detail::Pattern pattern(train, consensus, first.P, first.M, partner, wanted(o.method));
    for (std::size_t s : *groups[g])
      out[s] = place(pattern, detail::shapeof(x, todo[s].row, k), todo[s].P, consensus, o.method, o.limit);
  });
  return out;
}

// Learns from all specimens: the consensus of the landmarks present places
// each missing landmark by tps (the mean shape where tps is refused); then
// each specimen learns, round by round, from all the others with their
// current estimates, judged only by the specimens that have its missing
// landmarks measured.
std::vector<Outcome> fromall(const Eigen::MatrixXd& x, const std::vector<Incomplete>& todo,
                             const std::vector<Eigen::Index>& partner, const EstimateOptions& o) {
  const Eigen::Index n = x.rows(), k = x.cols() / 2;
  // The consensus leaves out the specimens it cannot fit (fewer than two
  // landmarks present, or all at one point): they are refused below.
  std::vector<Eigen::Index> fits;
  for (Eigen::Index i = 0; i < n; ++i) {
    const Indices P = present(x, i, k);
    double spread = 0;
    for (Eigen::Index j : P) spread += (point(x, i, j) - point(x, i, P.front())).squaredNorm();
    if (spread > 0) fits.push_back(i);
  }
  const Shape start = consensusof(x(fits, Eigen::all), o.threads, k);
  std::vector<Outcome> out(todo.size());
  std::vector<bool> kept(static_cast<std::size_t>(n), true);
  Eigen::MatrixXd F = x;
  for (std::size_t s = 0; s < todo.size(); ++s) {
    const Incomplete& t = todo[s];
    const Shape z = detail::shapeof(x, t.row, k);
    const detail::Geometry g = detail::geometry(z, t.P, start);
    Outcome& first = out[s];
    first.refusal = detail::cannotplace(g, t.P);
    if (first.refusal.empty() && o.method == core::Estimate::tps) first.refusal = detail::nospline(g, t.P);
    if (!first.refusal.empty()) {
      kept[static_cast<std::size_t>(t.row)] = false;
      continue;
    }
    std::optional<Eigen::MatrixXd> W;
    Eigen::VectorXcd src(static_cast<Eigen::Index>(t.P.size())), at(static_cast<Eigen::Index>(t.M.size()));
    for (std::size_t c = 0; c < t.P.size(); ++c) src(static_cast<Eigen::Index>(c)) = start(t.P[c]);
    for (std::size_t c = 0; c < t.M.size(); ++c) at(static_cast<Eigen::Index>(c)) = start(t.M[c]);
    if (detail::nospline(g, t.P).empty()) W = detail::tpsoperator(src, at, detail::merge_share);
    const detail::Frame f = detail::fitonto(z, t.P, start);
    Eigen::VectorXcd tP(src.size());
    for (std::size_t c = 0; c < t.P.size(); ++c) tP(static_cast<Eigen::Index>(c)) = f.to(z(t.P[c]));
    const Eigen::VectorXcd e = W ? Eigen::VectorXcd(W->cast<cd>() * tP) : at;
    first.values.resize(e.size());
    for (Eigen::Index c = 0; c < e.size(); ++c) first.values(c) = f.from(e(c));
    first.method = W ? core::Estimate::tps : core::Estimate::mean;
    first.chosen = o.method == core::Estimate::automatic;
    put(F, t.row, t.M, first.values);
  }
  std::vector<Eigen::Index> rows;
  for (Eigen::Index i = 0; i < n; ++i)
    if (kept[static_cast<std::size_t>(i)]) rows.push_back(i);
  const auto learners = static_cast<Eigen::Index>(rows.size()) - 1;
  if (learners < least_judges) {
    if (o.method != core::Estimate::automatic && o.method != core::Estimate::tps)
      throw core::Error(std::string("estimatemissing: ") + core::methodname(o.method) +
                        " learns from the other specimens and needs at least " + std::to_string(least_judges) +
                        " of them, but there are " + std::to_string(std::max<Eigen::Index>(learners, 0)));
    return out;
  }

  for (int round = 1; round <= rounds; ++round) {
    const Eigen::MatrixXd completed = F(rows, Eigen::all);
    const Shape consensus = consensusof(completed, o.threads, k);
    detail::Shapes all(completed.rows(), k);
    for (Eigen::Index l = 0; l < completed.rows(); ++l) all.row(l) = detail::shapeof(completed, l, k);
    Eigen::MatrixXd G = F;
    double moved = 0;
    std::vector<double> movedby(todo.size(), 0);
    forall(todo.size(), o.threads, [&](std::size_t s) {
      const Incomplete& t = todo[s];
      if (!kept[static_cast<std::size_t>(t.row)]) return;
      detail::Shapes train(learners, k);
      std::vector<bool> measured;
      for (std::size_t r = 0, l = 0; r < rows.size(); ++r) {
        if (rows[r] == t.row) continue;
        train.row(static_cast<Eigen::Index>(l++)) = all.row(static_cast<Eigen::Index>(r));
        bool has = true;
        for (Eigen::Index j : t.M) has = has && !core::missing(x, rows[r], j);
        measured.push_back(has);
      }
      const detail::Pattern pattern(train, consensus, t.P, t.M, partner, wanted(o.method), measured);
      const Shape z = detail::shapeof(x, t.row, k);
      Outcome next = place(pattern, z, t.P, consensus, o.method, round == rounds ? o.limit : std::nan(""));
      if (!next.refusal.empty()) {
        out[s] = next;
        return;
      }
      const double size = core::centsize(F.row(t.row).leftCols(2 * k))(0);
      for (std::size_t c = 0; c < t.M.size(); ++c)
        movedby[s] = std::max(movedby[s], std::abs(next.values(static_cast<Eigen::Index>(c)) -
                                                   cd(F(t.row, 2 * t.M[c]), F(t.row, 2 * t.M[c] + 1))) /
                                              size);
      put(G, t.row, t.M, next.values);
      out[s] = next;
    });
    for (double m : movedby) moved = std::max(moved, m);
    F = G;
    if (moved < 1e-5) break;
  }
  return out;
}

// The size slot follows the landmarks when it was their centroid size.
void followslots(const Eigen::MatrixXd& x, Eigen::Index k, Completion& c) {
  Eigen::Index last = -1;
  for (const core::EstimatedLandmark& e : c.estimated) {
    if (e.row == last) continue;
    last = e.row;
    const double before = core::centsize(x.row(e.row).leftCols(2 * k))(0);
    const double slot = x(e.row, 2 * k);
    if (std::abs(slot - before) <= slot_agreement * std::abs(before))
      c.y(e.row, 2 * k) = core::centsize(c.y.row(e.row).leftCols(2 * k))(0);
  }
}

std::string expectation(double expected) {
  return core::format("expected error %.2f %% of centroid size", expected);
}

} // namespace

std::size_t Completion::left() const {
  std::size_t n = unplaced.size();
  for (const Refusal& r : refused) n += r.landmarks.size();
  return n;
}

Completion estimatemissing(const Eigen::MatrixXd& x, const EstimateOptions& o, const core::Identities& ids) {
  (void)ids;
  const Eigen::Index k = landmarkcount(x);
  Completion c{x, {}, {}, {}, {}};
  if (o.method == core::Estimate::mirror && o.pairs.size() == 0)
    throw core::Error("estimatemissing: mirror needs the pair list, and none was given");
  const std::vector<Eigen::Index> partner = o.pairs.size() == 0 ? std::vector<Eigen::Index>{} : partners(o.pairs, k);
  if (o.method == core::Estimate::mirror) {
    c.basis = "each specimen's own symmetry";
    placebymirror(x, k, partner, c);
    followslots(x, k, c);
    return c;
  }

  std::vector<Incomplete> todo;
  for (Eigen::Index i = 0; i < x.rows(); ++i)
    if (std::vector<Eigen::Index> M = absent(x, i, k); !M.empty()) todo.push_back({i, present(x, i, k), std::move(M)});
  if (todo.empty()) return c;
  const std::vector<Eigen::Index> whole = core::completerows(x, k);
  std::vector<Outcome> out;
  if (whole.size() >= complete_training) {
    c.basis = "the " + std::to_string(whole.size()) + " complete specimens";
    out = fromcomplete(x, todo, whole, partner, o);
  } else {
    c.basis = "all " + std::to_string(x.rows()) + " specimens, each from the others with their estimates (" +
              std::to_string(whole.size()) + " complete; " + std::to_string(rounds) + " rounds)";
    out = fromall(x, todo, partner, o);
  }
  for (std::size_t s = 0; s < todo.size(); ++s) {
    const Incomplete& t = todo[s];
    if (!out[s].refusal.empty()) {
      c.refused.push_back({t.row, t.M, out[s].refusal});
      continue;
    }
    put(c.y, t.row, t.M, out[s].values);
    for (Eigen::Index j : t.M) c.estimated.push_back({t.row, j, out[s].method, out[s].chosen, out[s].expected});
  }
  followslots(x, k, c);
  return c;
}

Completion estimatemissing(const Eigen::MatrixXd& x, core::Estimate method, const Eigen::MatrixXd& pairs,
                           const core::Identities& ids) {
  EstimateOptions o;
  o.method = method;
  o.pairs = pairs;
  return estimatemissing(x, o, ids);
}

Completion estimatemissing(const core::Specimens& data, const EstimateOptions& options) {
  return estimatemissing(data.matrix(), options, data.ids());
}

std::vector<std::string> estimatereport(const Completion& c, const core::Identities& ids) {
  // Each list runs in row order, then landmark order; merged, each
  // specimen's landmarks read together.
  struct Line {
    Eigen::Index row, landmark;
    std::string text;
  };
  std::vector<Line> lines;
  const auto specimen = [&](Eigen::Index row) { return "specimen " + ids.label(static_cast<std::size_t>(row)) + ": "; };
  for (const core::EstimatedLandmark& e : c.estimated) {
    std::string text = specimen(e.row) + "landmark " + std::to_string(e.landmark + 1) + " estimated by " +
                       core::methodname(e.method) + (e.chosen ? ", chosen by auto" : "");
    if (!std::isnan(e.expected)) text += " (" + expectation(e.expected) + ")";
    lines.push_back({e.row, e.landmark, std::move(text)});
  }
  for (const UnplacedLandmark& u : c.unplaced)
    lines.push_back({u.row, u.landmark,
                     specimen(u.row) + "landmark " + std::to_string(u.landmark + 1) + " not estimated (" + u.reason + ")"});
  for (const Refusal& r : c.refused)
    lines.push_back({r.row, r.landmarks.front(),
                     specimen(r.row) + "landmark" + (r.landmarks.size() == 1 ? " " : "s ") +
                         core::landmarklist(r.landmarks) + " not estimated (" + r.reason + ")"});
  std::stable_sort(lines.begin(), lines.end(),
                   [](const Line& a, const Line& b) { return std::pair(a.row, a.landmark) < std::pair(b.row, b.landmark); });
  std::vector<std::string> out;
  for (Line& l : lines) out.push_back(std::move(l.text));
  return out;
}

std::string estimatesummary(const Completion& c, core::Estimate method, std::size_t missing) {
  if (missing == 0) return "No landmark is missing: nothing to estimate";
  std::string out = "Estimated " + std::to_string(c.estimated.size()) + " of " + std::to_string(missing) +
                    " missing landmarks by " + core::methodname(method);
  if (method == core::Estimate::automatic && !c.estimated.empty()) {
    std::map<std::string, std::size_t> picks;
    for (const core::EstimatedLandmark& e : c.estimated) ++picks[core::methodname(e.method)];
    std::string list;
    for (const auto& [name, count] : picks) list += (list.empty() ? "" : ", ") + name + " " + std::to_string(count);
    out += " (" + list + ")";
  }
  if (c.left() > 0) {
    std::vector<Eigen::Index> rows;
    for (const UnplacedLandmark& u : c.unplaced) rows.push_back(u.row);
    for (const Refusal& r : c.refused) rows.push_back(r.row);
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    out += "; " + std::to_string(c.left()) + " left missing in " + std::to_string(rows.size()) + " specimen" +
           (rows.size() == 1 ? "" : "s");
  }
  return out;
}

core::Identities markestimated(const core::Identities& ids, Eigen::Index n, const Completion& c) {
  if (c.estimated.empty()) return ids;
  core::Identities out = ids;
  out.keys.resize(static_cast<std::size_t>(n));
  // Per specimen its landmarks and how (one specimen has one method, but
  // the line names it per specimen so that merged files stay readable).
  std::map<Eigen::Index, std::vector<Eigen::Index>> byrow;
  std::map<Eigen::Index, core::EstimatedLandmark> how;
  for (const core::EstimatedLandmark& e : c.estimated) {
    byrow[e.row].push_back(e.landmark);
    how.insert_or_assign(e.row, e);
  }
  for (const auto& [row, landmarks] : byrow) {
    const core::EstimatedLandmark& e = how.at(row);
    std::string list;
    for (std::size_t l = 0; l < landmarks.size(); ++l) list += (l ? ", " : "") + std::to_string(landmarks[l] + 1);
    std::string method = core::methodname(e.method);
    if (e.chosen) method = "auto: " + method + (std::isnan(e.expected) ? "" : ", " + expectation(e.expected));
    out.keys.at(static_cast<std::size_t>(row))
        .push_back("COMMENT=estimated landmark" + std::string(landmarks.size() == 1 ? " " : "s ") + list + " (" +
                   method + ")");
  }
  return out;
}

} // namespace warp
