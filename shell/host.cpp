#include "shell/host.h"

#include "core/error.h"

#include <algorithm>

namespace shell {

std::vector<std::string> charmatrix(std::vector<std::string> rows) {
  std::size_t width = 0;
  for (const auto& r : rows) width = std::max(width, r.size());
  for (auto& r : rows) r.resize(width, ' ');
  return rows;
}

std::vector<std::string> splitlines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\n' && text[i] != '\r') continue;
    lines.emplace_back(text.substr(start, i - start));
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < text.size() || lines.empty()) lines.emplace_back(text.substr(start));
  return lines;
}

namespace {

Host*& running() {
  static Host* h = nullptr;
  return h;
}

} // namespace

Host& host() {
  if (running() == nullptr) throw core::Error("No program window is running");
  return *running();
}

void sethost(Host* h) { running() = h; }

} // namespace shell
