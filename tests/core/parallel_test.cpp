#include "core/parallel.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

namespace {

// What one loop did: the chunks each run saw, the order they were
// accumulated in and the thread count prepare was told.
struct Trace {
  unsigned prepared = 0;
  std::vector<core::Chunk> ran;
  std::vector<Eigen::Index> accumulated;
};

Trace traced(core::Team& team, Eigen::Index n, const core::Split& split) {
  Trace t;
  t.ran.resize(static_cast<std::size_t>(core::chunkcount(n, split.chunk)));
  const bool finished = team.parallel_for(
      n, split, [&](unsigned threads) { t.prepared = threads; },
      [&](const core::Chunk& c, unsigned thread) {
        EXPECT_LT(thread, t.prepared);
        t.ran[static_cast<std::size_t>(c.index)] = c;
      },
      [&](const core::Chunk& c) { t.accumulated.push_back(c.index); });
  EXPECT_TRUE(finished);
  return t;
}

// The cut is the same on any team: the same chunks, accumulated in order.
// A loop of at most `alone` items, or of one chunk, runs on one thread.
TEST(parallel_for, CutsTheSameChunksOnAnyTeamAndAccumulatesThemInOrder) {
  struct Case {
    Eigen::Index n;
    core::Split split;
    unsigned threads, prepared;
  };
  for (const Case& c : {Case{103, {10, 0}, 1, 1}, Case{103, {10, 0}, 3, 3}, Case{103, {10, 0}, 64, 11},
                        Case{103, {10, 103}, 3, 1}, Case{10, {10, 0}, 3, 1}, Case{0, {10, 0}, 3, 1}}) {
    core::Team team(c.threads);
    const Trace t = traced(team, c.n, c.split);
    EXPECT_EQ(t.prepared, c.prepared) << c.n << " items on " << c.threads;
    ASSERT_EQ(t.accumulated.size(), t.ran.size());
    for (std::size_t q = 0; q < t.ran.size(); ++q) {
      EXPECT_EQ(t.accumulated[q], static_cast<Eigen::Index>(q));
      EXPECT_EQ(t.ran[q].index, static_cast<Eigen::Index>(q));
      EXPECT_EQ(t.ran[q].begin, static_cast<Eigen::Index>(q) * c.split.chunk);
      EXPECT_EQ(t.ran[q].end, std::min(c.n, t.ran[q].begin + c.split.chunk));
    }
  }
  EXPECT_EQ(core::threadcount(5), 5u);
  EXPECT_EQ(core::threadcount(0), std::max(1u, std::thread::hardware_concurrency()));
}

// Each chunk waits until two threads have started one: the loop can only
// end if its chunks really are run by two threads at once. The helper's
// chunk also waits for the caller's report, so it ends last: the caller
// reports after its own chunk and then once more for the whole loop.
TEST(parallel_for, RunsChunksOnSeveralThreadsAtOnceAndReportsOnTheCallingOne) {
  std::mutex m;
  std::condition_variable cv;
  std::set<std::thread::id> seen;
  std::vector<std::pair<std::thread::id, Eigen::Index>> reports;
  const bool finished = core::parallel_for(
      2, 2, {1, 0}, [](unsigned) {},
      [&](const core::Chunk&, unsigned thread) {
        std::unique_lock lock(m);
        seen.insert(std::this_thread::get_id());
        cv.notify_all();
        cv.wait(lock, [&] { return seen.size() >= 2 && (thread == 0 || !reports.empty()); });
      },
      [](const core::Chunk&) {},
      [&](Eigen::Index done) {
        const std::lock_guard lock(m);
        reports.emplace_back(std::this_thread::get_id(), done);
        cv.notify_all();
        return true;
      });
  EXPECT_TRUE(finished);
  EXPECT_EQ(seen.size(), 2u);
  const auto caller = std::this_thread::get_id();
  EXPECT_EQ(reports, (std::vector<std::pair<std::thread::id, Eigen::Index>>{{caller, 1}, {caller, 2}}));
}

// Answered false, a report stops the loop before its end and nothing is
// accumulated. What a chunk raises, on whichever thread, is raised to the
// caller, and the team serves its next loop.
TEST(parallel_for, StopsWhenToldAndRaisesWhatAChunkRaises) {
  int reports = 0, accumulated = 0;
  const bool finished = core::parallel_for(
      1000, 1, {1, 0}, [](unsigned) {}, [](const core::Chunk&, unsigned) {}, [&](const core::Chunk&) { ++accumulated; },
      [&](Eigen::Index done) {
        EXPECT_EQ(done, reports + 1);
        return ++reports < 3;
      });
  EXPECT_FALSE(finished);
  EXPECT_EQ(reports, 3);
  EXPECT_EQ(accumulated, 0);

  core::Team team(2);
  const auto raising = [&] {
    team.parallel_for(
        100, {1, 0}, [](unsigned) {},
        [](const core::Chunk& c, unsigned) {
          if (c.index == 57) throw std::runtime_error("chunk 57");
        },
        [&](const core::Chunk&) { ++accumulated; });
  };
  EXPECT_THROW(raising(), std::runtime_error);
  EXPECT_EQ(accumulated, 0);
  EXPECT_EQ(traced(team, 100, {7, 0}).accumulated.size(), 15u);
}

} // namespace
