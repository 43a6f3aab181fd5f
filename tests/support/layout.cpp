#include "tests/support/layout.h"

#include "core/error.h"

#include <fstream>
#include <sstream>

namespace testsupport {

namespace {

std::string unescape(std::string_view s) {
  static const std::pair<std::string_view, char> entities[] = {
      {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    bool replaced = false;
    if (s[i] == '&')
      for (const auto& [entity, c] : entities)
        if (s.substr(i, entity.size()) == entity) {
          out += c;
          i += entity.size() - 1;
          replaced = true;
          break;
        }
    if (!replaced) out += s[i];
  }
  return out;
}

// The value of attribute `key` in a tag's text, or "".
std::string attribute(std::string_view tag, std::string_view key) {
  const std::string look = " " + std::string(key) + "=\"";
  const std::size_t at = tag.find(look);
  if (at == std::string_view::npos) return {};
  const std::size_t start = at + look.size(), end = tag.find('"', start);
  return unescape(tag.substr(start, end - start));
}

std::string elementname(std::string_view tag) {
  std::size_t end = 0;
  while (end < tag.size() && tag[end] != ' ' && tag[end] != '/' && tag[end] != '>' && tag[end] != '\n') ++end;
  return std::string(tag.substr(0, end));
}

} // namespace

std::optional<std::string> LayoutWidget::property(const std::string& key) const {
  const auto it = properties.find(key);
  if (it == properties.end()) return std::nullopt;
  return it->second;
}

std::vector<std::string> LayoutWidget::string() const {
  if (cls == "QCheckBox") return {property("checked").value_or("false") == "true" ? "1" : "0"};
  const std::string text = property(cls == "QPlainTextEdit" ? "plainText" : "text").value_or("");
  if (cls == "QLineEdit") return {text};
  std::vector<std::string> rows;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= text.size(); ++i)
    if (i == text.size() || text[i] == '\n') rows.push_back(text.substr(start, i - start)), start = i + 1;
  return rows;
}

std::vector<LayoutWidget> readlayout(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw core::Error("Cannot read the layout '" + path + "'");
  std::stringstream buffer;
  buffer << in.rdbuf();
  const std::string xml = buffer.str();

  // Open elements, innermost last: each with its tag name, and for a
  // widget the index of its entry; for a property its name.
  struct Open {
    std::string element, property;
    std::ptrdiff_t widget = -1;
  };
  std::vector<Open> open;
  std::vector<LayoutWidget> widgets;
  std::size_t at = 0;
  while ((at = xml.find('<', at)) != std::string::npos) {
    const std::size_t close = xml.find('>', at);
    if (close == std::string::npos) throw core::Error("The layout '" + path + "' ends inside a tag");
    const std::string_view tag(xml.data() + at + 1, close - at - 1);
    const std::size_t textstart = close + 1;
    at = close + 1;
    if (tag.empty() || tag.front() == '?' || tag.front() == '!') continue;
    if (tag.front() == '/') {
      if (open.empty() || open.back().element != elementname(tag.substr(1)))
        throw core::Error("The layout '" + path + "' closes <" + std::string(tag.substr(1)) + "> out of order");
      open.pop_back();
      continue;
    }
    const std::string element = elementname(tag);
    const bool selfclosing = tag.back() == '/';
    Open o{element, {}, -1};
    if (element == "widget") {
      widgets.push_back({attribute(tag, "class"), attribute(tag, "name"), {}});
      o.widget = static_cast<std::ptrdiff_t>(widgets.size() - 1);
    } else if (element == "property") {
      o.property = attribute(tag, "name");
    } else if ((element == "string" || element == "cstring" || element == "bool") && !selfclosing &&
               open.size() >= 2 && open.back().element == "property" && open[open.size() - 2].widget >= 0) {
      // A property of the widget itself, not of a layout or a font inside it.
      const std::size_t end = xml.find("</" + element + ">", textstart);
      if (end == std::string::npos) throw core::Error("The layout '" + path + "' does not close <" + element + ">");
      widgets[static_cast<std::size_t>(open[open.size() - 2].widget)].properties[open.back().property] =
          unescape(std::string_view(xml).substr(textstart, end - textstart));
    }
    if (!selfclosing) open.push_back(std::move(o));
  }
  if (!open.empty()) throw core::Error("The layout '" + path + "' leaves <" + open.back().element + "> open");
  return widgets;
}

std::string layoutfile(const std::string& launcher) { return std::string(TECTO_LAYOUTS_DIR) + "/" + launcher + ".fig"; }

} // namespace testsupport
