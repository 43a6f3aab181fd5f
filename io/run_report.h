#pragma once
// The run report: what a program did in one run, as a text file a person
// keeps beside the results. It names the program and its version, when
// the run started and when the report was saved, the seed of the random
// draws, every file loaded through a dialog with its SHA-256 checksum, and
// then the log of the results pane (each action's heading, message boxes,
// reports and summary).
//
//   Run report of restrain 0.1.0
//   Started: 2024-05-01T10:00:00
//   Saved: 2024-05-01T10:05:00
//   Random seed: 42 (repeat with --seed 42)
//   Files loaded:
//     /data/deformed.txt
//       SHA-256 3a7b..., loaded 10:00:12
//   Actions and results:
//   == Load  10:00:12 ==
//   ...

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace io {

struct RunReport {
  std::string program; // "restrain"
  std::string version;
  std::string started, saved;        // local times, ISO 8601
  std::optional<std::uint64_t> seed; // none: the program draws no random numbers
  struct File {
    std::string path;
    std::string sha256; // hex; empty when the file could not be read
    std::string loaded; // the time it was chosen, HH:MM:SS
  };
  std::vector<File> files;
  std::string log; // the results pane's text
};

// The report's text, ending with a line end.
std::string formatrunreport(const RunReport& report);

} // namespace io
