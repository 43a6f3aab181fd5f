#pragma once
// A window layout file (.fig, Qt Designer's XML) read without Qt: each
// named widget with its class and the properties the tests look at.
// Enough for seeding a host's controls with their initial Strings and for
// checking the boxes the programs declare against the layouts.

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

struct LayoutWidget {
  std::string cls;  // "QLineEdit"
  std::string name; // the Tag
  // The direct properties of type string, cstring or bool ("text",
  // "buddy", "checked", "plainText", "Callback" ...), as written.
  std::map<std::string, std::string> properties;

  std::optional<std::string> property(const std::string& key) const;
  // The String a window shows at start: a check box's "1" or "0", an
  // edit box's one row, a label's or text box's rows, a button's caption.
  std::vector<std::string> string() const;
};

// The widgets of the layout file at `path`, in the order of the file.
// Raises core::Error when the file cannot be read or is not well formed
// as far as the reading goes.
std::vector<LayoutWidget> readlayout(const std::string& path);

// The path of the program's layout, layouts/<launcher>.fig in the source
// tree.
std::string layoutfile(const std::string& launcher);

} // namespace testsupport
