#include "io/run_report.h"

namespace io {

std::string formatrunreport(const RunReport& r) {
  std::string out = "Run report of " + r.program + " " + r.version + "\n";
  out += "Started: " + r.started + "\n";
  out += "Saved: " + r.saved + "\n";
  out += "Random seed: " +
         (r.seed ? std::to_string(*r.seed) + " (repeat with --seed " + std::to_string(*r.seed) + ")"
                 : std::string("none (this program draws no random numbers)")) +
         "\n";
  out += "Files loaded:\n";
  if (r.files.empty()) out += "  none\n";
  for (const RunReport::File& f : r.files)
    out += "  " + f.path + "\n    SHA-256 " + (f.sha256.empty() ? std::string("(the file could not be read)") : f.sha256) +
           ", loaded " + f.loaded + "\n";
  out += "Actions and results:\n";
  out += r.log;
  if (out.back() != '\n') out += '\n';
  return out;
}

} // namespace io
