#pragma once
// The bundled deformed sample with landmarks deleted at random, as a
// digitiser would leave them on broken fossils: a tenth of the specimens
// lose one to three landmarks each, written as "-1 -1" in a copy of the
// TPS text, everything else left as it was written.

#include <algorithm>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace damagedsample {

struct Damaged {
  std::string text;                              // the TPS text with the deletions
  std::vector<std::pair<int, int>> deleted;      // (specimen, landmark), both from 0
  std::set<int> specimens;                       // the specimens that lost any
  bool lacks(int specimen, int landmark) const {
    return std::find(deleted.begin(), deleted.end(), std::pair{specimen, landmark}) != deleted.end();
  }
};

inline Damaged damage(const std::string& path, unsigned seed) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  // The line of each block's LM= key and its landmark count.
  std::vector<std::size_t> blocks;
  int k = 0;
  for (std::size_t i = 0; i < lines.size(); ++i)
    if (lines[i].rfind("LM=", 0) == 0) {
      blocks.push_back(i);
      k = std::stoi(lines[i].substr(3));
    }
  const int n = static_cast<int>(blocks.size());
  std::mt19937 rng(seed);
  std::vector<int> order(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) order[static_cast<std::size_t>(i)] = i;
  std::shuffle(order.begin(), order.end(), rng);
  Damaged out;
  for (int r = 0; r < std::max(1, n / 10); ++r) {
    const int specimen = order[static_cast<std::size_t>(r)];
    std::vector<int> landmarks(static_cast<std::size_t>(k));
    for (int j = 0; j < k; ++j) landmarks[static_cast<std::size_t>(j)] = j;
    std::shuffle(landmarks.begin(), landmarks.end(), rng);
    const int count = 1 + static_cast<int>(rng() % 3);
    for (int c = 0; c < count; ++c) {
      const int j = landmarks[static_cast<std::size_t>(c)];
      lines[blocks[static_cast<std::size_t>(specimen)] + 1 + static_cast<std::size_t>(j)] = "-1 -1";
      out.deleted.emplace_back(specimen, j);
      out.specimens.insert(specimen);
    }
  }
  std::ostringstream text;
  for (const std::string& line : lines) text << line << "\n";
  out.text = text.str();
  return out;
}

} // namespace damagedsample
