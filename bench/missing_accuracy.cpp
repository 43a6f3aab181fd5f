// missing_accuracy: how far each estimate of warp::estimatemissing lands
// from the true place, on the bundled real landmark sets with landmarks
// deleted at random. Each complete specimen in turn loses round(f k) of its
// k landmarks (at least one; f = 5, 10 and 20 %), the other specimens are
// the ones learnt from, and every method estimates them; the error is the
// distance from the true place in % of the specimen's centroid size. The
// same protocol as the numpy model bench/missing_accuracy.py ("table"),
// with its own random draws.
//
//   build/bin/missing_accuracy [--reps 10] [--sets plethodon,lizards,trilobites,sample]
//                              [--examples DIR] [--threads N] [--dump FILE] [--seed 25]
//
// --dump writes every pattern and estimate, one line each, for
// bench/missing_crosscheck.py to recompute with the numpy model. --seed
// draws another set of deletions, so that a gain can be told from the
// luck of one draw.

#include "core/configurations.h"
#include "core/procrustes.h"
#include "core/text_format.h"
#include "io/row_file.h"
#include "io/tps_file.h"
#include "warp/missing.h"
#include "warp/missing_methods.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <mutex>
#include <numeric>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

struct DataSet {
  std::string name;
  Eigen::MatrixXd x;     // complete specimens, row layout with the size slot
  Eigen::MatrixXd pairs; // pair list (1-based), empty when none
};

std::vector<DataSet> datasets(const std::string& examples) {
  std::vector<DataSet> out;
  out.push_back({"plethodon", io::dload(examples + "/plethodon_12lm/plethodon.txt"), {}});
  // 49 individuals digitised twice: one replicate each, or every
  // specimen's twin would stand beside it as its nearest neighbour.
  const Eigen::MatrixXd lizards = io::dload(examples + "/lizards_podarcis/lizards.txt");
  std::vector<Eigen::Index> first;
  for (Eigen::Index i = 0; i < lizards.rows(); i += 2) first.push_back(i);
  Eigen::MatrixXd lp = io::dload(examples + "/lizards_podarcis/lm_pairs.txt");
  lp.conservativeResize(lp.rows() + 4, 2);
  lp.bottomRows(4) << 1, 1, 12, 12, 18, 18, 23, 23; // the midline landmarks
  out.push_back({"lizards", lizards(first, Eigen::all), lp});
  const core::Specimens tri = io::readtpsfile(examples + "/trilomorph_cephala/cephala_tpsdig_all.tps");
  out.push_back({"trilobites", tri.matrix()(tri.completerows(), Eigen::all), {}});
  out.push_back({"sample", io::dload(examples + "/deformed_sample/deformed.txt"),
                 io::dload(examples + "/deformed_sample/pairs.txt")});
  return out;
}

const std::vector<core::Estimate> methods = {core::Estimate::mean,  core::Estimate::tps,
                                             core::Estimate::regression, core::Estimate::neighbours,
                                             core::Estimate::blend, core::Estimate::mirror,
                                             core::Estimate::automatic};

// One trial: specimen `row` of a set losing landmarks M.
struct Trial {
  Eigen::Index row;
  int percent, rep;
  std::vector<Eigen::Index> M;
};

struct Result {
  std::map<std::string, std::vector<double>> errors; // method -> per-landmark errors
  std::map<std::string, int> picks;
  double expected = 0, actual = 0;
  int autos = 0, overlimit = 0;
  std::string dump;
};

// The suite's former tps: the spline from the consensus's P onto the
// specimen's P at the consensus's M, nothing merged (but exactly
// coincident sources) and nothing guarded.
Eigen::RowVectorXcd plaintps(const warp::detail::Shape& consensus, const warp::detail::Shape& z,
                             const std::vector<Eigen::Index>& P, const std::vector<Eigen::Index>& M) {
  Eigen::VectorXcd src(static_cast<Eigen::Index>(P.size())), at(static_cast<Eigen::Index>(M.size()));
  for (std::size_t c = 0; c < P.size(); ++c) src(static_cast<Eigen::Index>(c)) = consensus(P[c]);
  for (std::size_t c = 0; c < M.size(); ++c) at(static_cast<Eigen::Index>(c)) = consensus(M[c]);
  const auto W = warp::detail::tpsoperator(src, at, 1e-9);
  const warp::detail::Frame f = warp::detail::fitonto(z, P, consensus);
  Eigen::VectorXcd tP(src.size());
  for (std::size_t c = 0; c < P.size(); ++c) tP(static_cast<Eigen::Index>(c)) = f.to(z(P[c]));
  const Eigen::VectorXcd e = W->cast<std::complex<double>>() * tP;
  Eigen::RowVectorXcd out(e.size());
  for (Eigen::Index c = 0; c < e.size(); ++c) out(c) = f.from(e(c));
  return out;
}

bool mirrorable(const Eigen::MatrixXd& pairs, Eigen::Index k, const std::vector<Eigen::Index>& M) {
  if (pairs.size() == 0) return false;
  std::vector<Eigen::Index> partner(static_cast<std::size_t>(k), -1);
  for (Eigen::Index r = 0; r < pairs.rows(); ++r) {
    const auto a = static_cast<Eigen::Index>(pairs(r, 0)) - 1, b = static_cast<Eigen::Index>(pairs(r, 1)) - 1;
    partner[static_cast<std::size_t>(a)] = b, partner[static_cast<std::size_t>(b)] = a;
  }
  for (Eigen::Index j : M) {
    const Eigen::Index q = partner[static_cast<std::size_t>(j)];
    if (q < 0 || q == j || std::find(M.begin(), M.end(), q) != M.end()) return false;
  }
  return true;
}

void run(const DataSet& set, const Trial& t, Result& r, bool dump) {
  const Eigen::Index k = set.x.cols() / 2;
  const double size = core::centsize(set.x.row(t.row).leftCols(2 * k))(0);
  Eigen::MatrixXd cut = set.x;
  for (Eigen::Index j : t.M) cut(t.row, 2 * j) = cut(t.row, 2 * j + 1) = std::nan("");
  const auto error = [&](Eigen::Index j, std::complex<double> e) {
    return 100 * std::abs(e - std::complex<double>(set.x(t.row, 2 * j), set.x(t.row, 2 * j + 1))) / size;
  };
  std::ostringstream line;
  line.precision(17);
  // Errors under `name`; the dump names the method as `said`.
  const auto record = [&](const std::string& name, const Eigen::RowVectorXcd& e, const std::string& said) {
    for (std::size_t c = 0; c < t.M.size(); ++c)
      r.errors[name].push_back(error(t.M[c], e(static_cast<Eigen::Index>(c))));
    if (!dump) return;
    line << set.name << ' ' << t.row << ' ' << t.percent << ' ' << t.rep << ' ' << said << " M";
    for (Eigen::Index j : t.M) line << ' ' << j;
    line << " E";
    for (Eigen::Index c = 0; c < e.size(); ++c) line << ' ' << e(c).real() << ' ' << e(c).imag();
    line << '\n';
  };

  std::vector<Eigen::Index> others, P;
  for (Eigen::Index i = 0; i < set.x.rows(); ++i)
    if (i != t.row) others.push_back(i);
  for (Eigen::Index j = 0; j < k; ++j)
    if (std::find(t.M.begin(), t.M.end(), j) == t.M.end()) P.push_back(j);
  const warp::detail::Shape consensus =
      warp::detail::shapeof(core::getconsensus(set.x(others, Eigen::all), 1).y, 0, k);
  record("plain tps", plaintps(consensus, warp::detail::shapeof(set.x, t.row, k), P, t.M), "plain");

  for (core::Estimate m : methods) {
    if (m == core::Estimate::mirror && !mirrorable(set.pairs, k, t.M)) continue;
    warp::EstimateOptions o;
    o.method = m;
    o.pairs = m == core::Estimate::mirror || m == core::Estimate::automatic ? set.pairs : Eigen::MatrixXd();
    o.limit = INFINITY; // as the model's table: every estimate counted
    o.threads = 1;
    const warp::Completion c = warp::estimatemissing(cut, o);
    if (!c.refused.empty() || c.estimated.size() != t.M.size()) {
      std::fprintf(stderr, "%s row %ld: %s refused (%s)\n", set.name.c_str(), static_cast<long>(t.row),
                   core::methodname(m), c.refused.empty() ? "unplaced" : c.refused[0].reason.c_str());
      continue;
    }
    Eigen::RowVectorXcd e(static_cast<Eigen::Index>(t.M.size()));
    for (std::size_t l = 0; l < t.M.size(); ++l)
      e(static_cast<Eigen::Index>(l)) = {c.y(t.row, 2 * t.M[l]), c.y(t.row, 2 * t.M[l] + 1)};
    std::string name = core::methodname(m);
    if (m == core::Estimate::automatic) {
      const core::EstimatedLandmark& first = c.estimated.front();
      ++r.picks[core::methodname(first.method)];
      ++r.autos;
      r.expected += first.expected;
      double actual = 0;
      for (std::size_t l = 0; l < t.M.size(); ++l) actual += error(t.M[l], e(static_cast<Eigen::Index>(l)));
      r.actual += actual / static_cast<double>(t.M.size());
      if (first.expected > 5) ++r.overlimit;
      record("auto", e, name + ":" + core::methodname(first.method));
      continue;
    }
    record(name, e, name);
  }
  r.dump += line.str();
}

void merge(Result& into, const Result& r) {
  for (const auto& [m, e] : r.errors) into.errors[m].insert(into.errors[m].end(), e.begin(), e.end());
  for (const auto& [m, c] : r.picks) into.picks[m] += c;
  into.expected += r.expected, into.actual += r.actual, into.autos += r.autos, into.overlimit += r.overlimit;
  into.dump += r.dump;
}

} // namespace

int main(int argc, char** argv) {
  int reps = 10, seed = 25;
  unsigned threads = std::max(1u, std::thread::hardware_concurrency());
  std::string sets = "plethodon,lizards,trilobites,sample", examples = TECTO_EXAMPLES_DIR, dumpfile;
  for (int a = 1; a + 1 < argc; a += 2) {
    const std::string opt = argv[a], val = argv[a + 1];
    if (opt == "--reps") reps = std::stoi(val);
    else if (opt == "--sets") sets = val;
    else if (opt == "--examples") examples = val;
    else if (opt == "--threads") threads = static_cast<unsigned>(std::stoi(val));
    else if (opt == "--dump") dumpfile = val;
    else if (opt == "--seed") seed = std::stoi(val);
    else {
      std::fprintf(stderr, "missing_accuracy: unknown option %s\n", opt.c_str());
      return 2;
    }
  }
  const int percents[] = {5, 10, 20};
  std::string dump;
  std::printf("| set | missing | method | mean %% | worst %% | n landmarks | mean below plain tps |\n"
              "|---|---|---|---|---|---|---|\n");
  std::string picks;
  for (const DataSet& set : datasets(examples)) {
    if (("," + sets + ",").find("," + set.name + ",") == std::string::npos) continue;
    const Eigen::Index n = set.x.rows(), k = set.x.cols() / 2;
    for (int percent : percents) {
      const Eigen::Index lose = std::max<Eigen::Index>(1, static_cast<Eigen::Index>(std::nearbyint(percent * k / 100.0)));
      std::vector<Trial> trials;
      for (Eigen::Index i = 0; i < n; ++i)
        for (int rep = 0; rep < reps; ++rep) {
          std::seed_seq draw{seed, percent, rep, static_cast<int>(i)};
          std::mt19937 rng(draw);
          std::vector<Eigen::Index> all(static_cast<std::size_t>(k));
          std::iota(all.begin(), all.end(), 0);
          std::shuffle(all.begin(), all.end(), rng);
          all.resize(static_cast<std::size_t>(lose));
          std::sort(all.begin(), all.end());
          trials.push_back({i, percent, rep, all});
        }
      std::vector<Result> results(trials.size());
      std::atomic<std::size_t> next{0};
      const auto work = [&] {
        for (std::size_t t; (t = next++) < trials.size();) run(set, trials[t], results[t], !dumpfile.empty());
      };
      std::vector<std::thread> team;
      for (unsigned h = 1; h < threads; ++h) team.emplace_back(work);
      work();
      for (std::thread& th : team) th.join();
      Result all;
      for (const Result& r : results) merge(all, r);
      dump += all.dump;
      double plain = 0;
      for (double e : all.errors["plain tps"]) plain += e;
      plain /= static_cast<double>(all.errors["plain tps"].size());
      for (const std::string m : {"plain tps", "mean", "tps", "regression", "neighbours", "blend", "mirror", "auto"}) {
        const std::vector<double>& e = all.errors[m];
        if (e.empty()) continue;
        const double mean = std::accumulate(e.begin(), e.end(), 0.0) / static_cast<double>(e.size());
        const double worst = *std::max_element(e.begin(), e.end());
        std::printf("| %s | %d %% | %s | %.2f | %.1f | %zu | %+.0f %% |\n", set.name.c_str(), percent, m.c_str(), mean,
                    worst, e.size(), 100 * (1 - mean / plain));
      }
      std::string list;
      for (const auto& [m, c] : all.picks) list += (list.empty() ? "" : ", ") + m + " " + std::to_string(c);
      picks += core::format("| %s | %i %% | %s | %.2f | %.2f | %i of %i |\n", set.name, percent, list,
                            all.expected / all.autos, all.actual / all.autos, all.overlimit, all.autos);
      std::fflush(stdout);
    }
  }
  std::printf("\nauto's choices, its expected error (leave-one-out, mean over trials) beside the actual, and the trials "
              "whose expected error exceeds the 5 %% limit (refused by default)\n\n"
              "| set | missing | picks | expected %% | actual %% | above 5 %% |\n|---|---|---|---|---|---|\n%s",
              picks.c_str());
  if (!dumpfile.empty()) std::ofstream(dumpfile) << dump;
  return 0;
}
