#pragma once
// Loops shared among threads, with results that do not depend on how many.
//
// A loop over the items 0 ... n - 1 is cut into chunks of a fixed size, the
// same whatever the thread count. One thread runs a whole chunk and keeps
// what it makes of it in that chunk's or those items' own place (a slot per
// item, a partial sum per chunk); whatever is added across chunks is added
// afterwards, on the calling thread, in chunk order. The arithmetic, and
// with it every bit of the result, is then that of one thread running the
// chunks in order, however many threads ran them and whichever took which.
//
// The shape is libigl's parallel_for: prepare(threads) once, with the
// number of threads the loop will use (thread numbers 0 ... threads - 1;
// the calling thread is 0), so that each can keep its own scratch;
// run(chunk, thread) once per chunk; accumulate(chunk) once per chunk, in
// chunk order, on the calling thread, after every chunk has run.

#include <Eigen/Core>

#include <algorithm>
#include <functional>
#include <memory>

namespace core {

// The thread count a request gives: the request itself, or for 0 one
// thread per hardware thread (at least one).
unsigned threadcount(unsigned requested);

// How a loop is cut. Every result is the same for any thread count; only
// the sums a caller adds per chunk can depend on the chunk size.
struct Split {
  Eigen::Index chunk = 1; // items per chunk
  // A loop of at most this many items runs on the calling thread alone,
  // where waking other threads would cost more than they save. A loop of
  // one chunk always does.
  Eigen::Index alone = 0;
};

// One chunk of a loop: its number (0, 1, ... in item order) and its items
// begin ... end - 1.
struct Chunk {
  Eigen::Index index, begin, end;
};

// The number of chunks a loop over n items is cut into.
inline Eigen::Index chunkcount(Eigen::Index n, Eigen::Index chunk) {
  return n <= 0 ? 0 : (n + chunk - 1) / chunk;
}

// Reports between chunks: `done` items have run so far. Called on the
// calling thread only, after each chunk it ran itself (a window must hear
// of progress on the thread that started the action), and once more with
// done = n when other threads ran the last chunks, so the last report is
// always the whole loop; answering false stops the handing out of chunks
// (at that last report, the loop counts as stopped all the same).
using Between = std::function<bool(Eigen::Index done)>;

// The threads of one computation, kept for all its loops: a computation
// that runs thousands of short loops (one per trial of a minimisation, one
// per pass of an iteration) starts its threads once. Threads are started
// with the first loop that is shared, so a computation whose loops all run
// alone starts none.
class Team {
public:
  explicit Team(unsigned threads = 0); // 0: one per hardware thread
  ~Team();
  Team(const Team&) = delete;
  Team& operator=(const Team&) = delete;

  // The most threads a loop uses, the calling one included.
  unsigned size() const { return size_; }

  // Runs a loop over n items cut by `split` (see the top of this header).
  // Returns false when `between` stopped it: the chunks not yet handed out
  // are not run and nothing is accumulated. What run raises is raised here,
  // once every thread has stopped; nothing is accumulated then either.
  template <class Prepare, class Run, class Accumulate>
  bool parallel_for(Eigen::Index n, const Split& split, Prepare&& prepare, Run&& run, Accumulate&& accumulate,
                    const Between& between = {}) {
    const unsigned threads = threadsfor(n, split);
    prepare(threads);
    const std::function<void(const Chunk&, unsigned)> task = std::ref(run);
    if (!loop(n, split.chunk, threads, task, between)) return false;
    const Eigen::Index chunks = chunkcount(n, split.chunk);
    for (Eigen::Index q = 0; q < chunks; ++q) accumulate(Chunk{q, q * split.chunk, std::min(n, (q + 1) * split.chunk)});
    return true;
  }

private:
  // The threads a loop of n items takes: one if it runs alone, else the
  // team's size, never more than there are chunks.
  unsigned threadsfor(Eigen::Index n, const Split& split) const;
  bool loop(Eigen::Index n, Eigen::Index chunk, unsigned threads, const std::function<void(const Chunk&, unsigned)>& run,
            const Between& between);

  unsigned size_;
  struct Crew;
  std::unique_ptr<Crew> crew_;
};

// A single loop on a team of its own, for a computation with one loop.
template <class Prepare, class Run, class Accumulate>
bool parallel_for(Eigen::Index n, unsigned threads, const Split& split, Prepare&& prepare, Run&& run,
                  Accumulate&& accumulate, const Between& between = {}) {
  Team team(threads);
  return team.parallel_for(n, split, prepare, run, accumulate, between);
}

} // namespace core
