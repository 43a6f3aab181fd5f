#include "core/parallel.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace core {

unsigned threadcount(unsigned requested) {
  return requested != 0 ? requested : std::max(1u, std::thread::hardware_concurrency());
}

// The helper threads and what a shared loop hands them. A loop is a round:
// the caller posts it, wakes the helpers it needs and works too. When no
// chunk is left it closes the round, so that a helper that has not yet
// joined it (on a busy machine it may not have been given a core) stays
// out, and waits only for the helpers inside to leave: the loop's
// functions outlive every use, and no round waits on a helper that was
// never scheduled.
struct Team::Crew {
  std::mutex mutex;
  std::condition_variable wake, finished;
  std::vector<std::thread> helpers; // helper h is thread h + 1
  std::uint64_t round = 0;
  unsigned active = 1; // threads of the current round, the caller included
  unsigned inside = 0; // helpers working in the current round
  bool open = false;   // whether helpers may still join the current round
  bool quit = false;

  // The current round; written by the caller before it starts and read by
  // the helpers only within it.
  const std::function<void(const Chunk&, unsigned)>* run = nullptr;
  const Between* between = nullptr;
  Eigen::Index n = 0, chunk = 1;
  std::atomic<Eigen::Index> next{0}, done{0};
  std::atomic<bool> stop{false};
  std::exception_ptr error;
  Eigen::Index reported = 0; // the last count the caller reported

  ~Crew() {
    {
      const std::lock_guard lock(mutex);
      quit = true;
    }
    wake.notify_all();
    for (std::thread& t : helpers) t.join();
  }

  // Starts helpers until there are `count`; fewer if the system has no
  // more threads to give, and the others then carry their share.
  void hire(unsigned count) {
    while (helpers.size() < count) {
      try {
        helpers.emplace_back([this, id = static_cast<unsigned>(helpers.size()) + 1] { serve(id); });
      } catch (const std::system_error&) {
        return;
      }
    }
  }

  void serve(unsigned id) {
    std::uint64_t seen = 0;
    for (;;) {
      {
        std::unique_lock lock(mutex);
        wake.wait(lock, [&] { return quit || (round != seen && id < active); });
        if (quit) return;
        seen = round;
        if (!open) continue;
        ++inside;
      }
      work(id);
      const std::lock_guard lock(mutex);
      if (--inside == 0 && !open) finished.notify_one();
    }
  }

  // Tells the caller's report that `count` items have run; on the calling
  // thread only.
  void report(Eigen::Index count) {
    reported = count;
    if (between != nullptr && *between && !(*between)(count)) stop = true;
  }

  // Takes chunks until none is left, the loop is stopped or a chunk
  // raised; the caller (thread 0) alone reports between its chunks.
  void work(unsigned id) {
    try {
      for (Eigen::Index q; !stop && (q = next.fetch_add(1)) * chunk < n;) {
        const Chunk c{q, q * chunk, std::min(n, (q + 1) * chunk)};
        (*run)(c, id);
        done += c.end - c.begin;
        if (id == 0) report(done);
      }
    } catch (...) {
      const std::lock_guard lock(mutex);
      if (!error) error = std::current_exception();
      stop = true;
    }
  }
};

Team::Team(unsigned threads) : size_(threadcount(threads)), crew_(std::make_unique<Crew>()) {}

Team::~Team() = default;

unsigned Team::threadsfor(Eigen::Index n, const Split& split) const {
  const Eigen::Index chunks = chunkcount(n, split.chunk);
  if (n <= split.alone || chunks <= 1) return 1;
  return static_cast<unsigned>(std::min<Eigen::Index>(size_, chunks));
}

bool Team::loop(Eigen::Index n, Eigen::Index chunk, unsigned threads,
                const std::function<void(const Chunk&, unsigned)>& run, const Between& between) {
  Crew& c = *crew_;
  c.run = &run;
  c.between = &between;
  c.n = n;
  c.chunk = chunk;
  c.next = 0;
  c.done = 0;
  c.stop = false;
  c.error = nullptr;
  c.reported = 0;
  unsigned helpers = 0;
  if (threads > 1) {
    c.hire(threads - 1);
    helpers = std::min(threads - 1, static_cast<unsigned>(c.helpers.size()));
  }
  if (helpers > 0) {
    {
      const std::lock_guard lock(c.mutex);
      c.active = helpers + 1;
      c.open = true;
      ++c.round;
    }
    c.wake.notify_all();
  }
  c.work(0);
  if (helpers > 0) {
    std::unique_lock lock(c.mutex);
    c.open = false;
    c.finished.wait(lock, [&] { return c.inside == 0; });
  }
  if (c.error) std::rethrow_exception(c.error);
  // When helpers ran the last chunks the caller's last report fell short of
  // the end; tell it the whole loop has run, so that a progress bar always
  // reaches its end (and a cancel pressed meanwhile is still heard).
  if (!c.stop && c.reported != n) c.report(n);
  return !c.stop;
}

} // namespace core
