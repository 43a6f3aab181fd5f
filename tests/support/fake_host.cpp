#include "tests/support/fake_host.h"

#include "core/error.h"
#include "tests/support/layout.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

namespace testsupport {

void FakeAxes::clear() {
  plots.clear();
  texts.clear();
  titletext.clear();
  xlabel.clear();
  ylabel.clear();
  legend.clear();
  legendstyles.clear();
}

void FakeAxes::cla() {
  clear();
  ++cleared;
}

void FakeAxes::plot(const Eigen::VectorXd& x, const Eigen::VectorXd& y, std::string_view style, double) {
  // With hold off a plot replaces what was drawn, as in a window.
  if (!hold_) clear();
  plots.push_back({x, y, std::string(style)});
}

void FakeAxes::name(std::string_view name) {
  if (plots.empty()) throw core::Error("There is no plotted set to name '" + std::string(name) + "'");
  if (name.empty()) return;
  const std::string& style = plots.back().style;
  for (std::size_t i = 0; i < legend.size(); ++i)
    if (legend[i] == name && legendstyles[i] == style) return;
  legend.emplace_back(name);
  legendstyles.push_back(style);
}

void FakeAxes::text(double x, double y, std::string_view label) { texts.push_back({x, y, std::string(label)}); }

void FakeAxes::axisauto() {
  double lo[2] = {INFINITY, INFINITY}, hi[2] = {-INFINITY, -INFINITY};
  for (const Plot& p : plots)
    for (Eigen::Index i = 0; i < p.x.size(); ++i)
      if (std::isfinite(p.x(i)) && std::isfinite(p.y(i))) {
        lo[0] = std::min(lo[0], p.x(i)), hi[0] = std::max(hi[0], p.x(i));
        lo[1] = std::min(lo[1], p.y(i)), hi[1] = std::max(hi[1], p.y(i));
      }
  if (lo[0] <= hi[0]) limits_ = {lo[0], hi[0], lo[1], hi[1]};
}

std::size_t FakeAxes::pointcount() const {
  std::size_t n = 0;
  for (const Plot& p : plots)
    for (Eigen::Index i = 0; i < p.x.size(); ++i) n += !std::isnan(p.x(i)) && !std::isnan(p.y(i));
  return n;
}

FakeHost::FakeHost(const std::string& launcher) {
  if (!launcher.empty()) *this = fromfile(layoutfile(launcher));
}

FakeHost FakeHost::fromfile(const std::string& path) {
  FakeHost host;
  for (const LayoutWidget& w : readlayout(path))
    if (!w.name.empty() && !host.controls_.contains(w.name)) host.controls_[w.name] = w.string();
  return host;
}

namespace {

core::Error notag(std::string_view tag) {
  return core::Error("No window holds a control with the Tag '" + std::string(tag) + "'");
}

} // namespace

std::vector<std::string> FakeHost::string(std::string_view tag) const {
  const auto it = controls_.find(tag);
  if (it == controls_.end()) throw notag(tag);
  return it->second;
}

void FakeHost::setstring(std::string_view tag, const std::vector<std::string>& rows) {
  const auto it = controls_.find(tag);
  if (it == controls_.end()) throw notag(tag);
  it->second = rows;
}

void FakeHost::setresults(const std::vector<std::string>& rows) { controls_["AuxResults"] = rows; }

std::vector<std::string> FakeHost::results() const {
  const auto it = controls_.find("AuxResults");
  return it == controls_.end() ? std::vector<std::string>{} : it->second;
}

void FakeHost::setenable(std::string_view tag, bool on) {
  if (!controls_.contains(tag)) throw notag(tag);
  if (on) disabled.erase(std::string(tag));
  else disabled.insert(std::string(tag));
}

std::optional<shell::FileChoice> FakeHost::next(std::string_view title) {
  dialogs.emplace_back(title);
  if (answers.empty()) return std::nullopt;
  const std::string answer = answers.front();
  answers.pop_front();
  if (answer == "-") return std::nullopt;
  const std::filesystem::path path(answer);
  std::string folder = path.parent_path().string();
  if (!folder.empty() && folder.back() != '/') folder += '/';
  return shell::FileChoice{path.filename().string(), folder};
}

std::optional<shell::FileChoice> FakeHost::uigetfile(std::string_view, std::string_view title) { return next(title); }
std::optional<shell::FileChoice> FakeHost::uiputfile(std::string_view, std::string_view title) { return next(title); }

void FakeHost::msgbox(std::string_view text, std::string_view title) {
  boxes.push_back({std::string(text), std::string(title)});
}

std::size_t FakeHost::ask(std::string_view text, std::string_view title, const std::vector<std::string>& answers,
                          std::size_t unasked) {
  questions.push_back({std::string(text), std::string(title)});
  if (replies.empty()) return unasked;
  const std::size_t reply = replies.front();
  replies.pop_front();
  return std::min(reply, answers.size() - 1);
}

bool FakeHost::progress(std::string_view, double) {
  ++progresscalls;
  return cancelafter < 0 || progresscalls <= cancelafter;
}

} // namespace testsupport
