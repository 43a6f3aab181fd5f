#include "tests/shell/tiny_program.h"

#include "core/error.h"
#include "core/text_number.h"
#include "io/row_file.h"
#include "shell/actions.h"
#include "shell/shape_plot.h"

#include <new>
#include <vector>

namespace testsupport {

void tinysw(shell::Host& host, const std::string& action) {
  if (action == "Load") {
    const auto file = host.uigetfile("*.*", "Enter file to Load?");
    if (!file) throw core::Error("No file chosen");
    const Eigen::MatrixXd data = io::dload(file->path());
    host.setstring("FileBox", std::vector<std::string>{"Loaded:", file->name});
    shell::showshape(host.axes(), data, "bo");
  } else if (action == "Save") {
    const Eigen::MatrixXd slab = core::str2num(host.string("SlabBox").at(0));
    const auto file = host.uiputfile("*.*", "File Name");
    if (file) io::writerows(file->path(), slab, "%g ", " \n", io::WriteMode::Replace);
  } else if (action == "Hello") {
    host.msgbox("Hello there", "Greeting");
  } else if (action == "Report") {
    host.setresults({"line one", "line two"});
  } else if (action == "Long") {
    for (int i = 1; i <= 4; ++i) host.progress("Counting " + std::to_string(i * 250) + " of 1000", i / 4.0);
  } else if (action == "Hold") {
    // 64 MiB touched page by page, then given back.
    std::vector<char> block(64u << 20);
    for (std::size_t i = 0; i < block.size(); i += 4096) block[i] = 1;
    host.setstring("FileBox", std::to_string(block[block.size() / 2]));
  } else if (action == "Grow") {
    throw std::bad_alloc();
  } else if (action == "Fail") {
    host.setstring("FileBox", "before the error");
    throw core::Error("deliberate failure");
  } else {
    host.msgbox("Hopelessly lost, send help!", "");
  }
}

shell::Program tinyprogram() {
  shell::Program program;
  program.executable = "tiny";
  program.launcher = "Tiny";
  program.switchname = "tinysw";
  program.placeholders = {"pushbutton1"};
  program.define = [] { shell::defineswitch("tinysw", tinysw); };
  return program;
}

} // namespace testsupport
