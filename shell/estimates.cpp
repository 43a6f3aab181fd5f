#include "shell/estimates.h"

#include "core/error.h"
#include "io/landmark_file.h"
#include "io/sidecars.h"
#include "warp/missing.h"

#include <algorithm>
#include <utility>

namespace shell {

core::Estimate estimatemethod(Host& host) {
  const std::string typed = boxtext(host, EstimateBox);
  const auto method = core::estimatemethod(typed);
  if (!method || *method == core::Estimate::blend || *method == core::Estimate::mean)
    throw core::Error(boxcalled(EstimateBox) + " holds '" + typed +
                      "'; type auto, tps, regression, neighbours or mirror");
  return *method;
}

std::vector<core::EstimatedLandmark> placemissing(Host& host, core::Specimens& x, core::Estimate method,
                                                  const Eigen::MatrixXd& pairs, std::string_view what) {
  if (x.complete()) {
    host.print("No landmark is missing in the " + std::string(what) + ": nothing to estimate\n");
    return {};
  }
  const std::size_t missing = x.missinglandmarks().count;
  warp::Completion done = warp::estimatemissing(x.matrix(), method, pairs, x.ids());
  for (const std::string& line : warp::estimatereport(done, x.ids())) host.print(line + "\n");
  host.note(warp::estimatesummary(done, method, missing));
  x = x.with(std::move(done.y));
  return std::move(done.estimated);
}

void markestimates(Axes& axes, const Eigen::MatrixXd& x, const std::vector<core::EstimatedLandmark>& estimated) {
  if (estimated.empty()) return;
  Eigen::VectorXd px(static_cast<Eigen::Index>(estimated.size())), py(px.size());
  for (std::size_t i = 0; i < estimated.size(); ++i) {
    const auto& e = estimated[i];
    px(static_cast<Eigen::Index>(i)) = x(e.row, 2 * e.landmark);
    py(static_cast<Eigen::Index>(i)) = x(e.row, 2 * e.landmark + 1);
  }
  axes.sethold(true);
  axes.plot(px, py, "g*", 6);
  axes.name("estimated landmarks");
}

void addestimates(std::vector<core::EstimatedLandmark>& into, const std::vector<core::EstimatedLandmark>& more) {
  into.insert(into.end(), more.begin(), more.end());
  std::sort(into.begin(), into.end(), [](const auto& a, const auto& b) {
    return std::pair(a.row, a.landmark) < std::pair(b.row, b.landmark);
  });
}

void writewithestimates(const std::string& path, const core::Specimens& data,
                        const std::vector<core::EstimatedLandmark>& estimated) {
  io::writespecimens(path, data);
  if (!estimated.empty()) io::writeestimated(path, estimated);
}

} // namespace shell
