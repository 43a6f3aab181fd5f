#include "shell/program.h"

#include "shell/callables.h"
#include "shell/host.h"
#include "shell/names.h"
#include "shell/results.h"

#include <Eigen/Core>

namespace shell {

const std::vector<ActionLine>& sharedactions() {
  static const std::vector<ActionLine> lines = {
      {"SavePlot", "Saves the plot as a picture (PNG, SVG or PDF)", ActionKind::save},
  };
  return lines;
}

ActionKind kindof(const Program& program, std::string_view name) {
  return kindof(program.actions, name).value_or(kindof(sharedactions(), name).value_or(ActionKind::compute));
}

void defineshared() {
  define(callable("AuxBoxsw", 0, 0, [](const Values&, int) -> Values {
    AuxBoxsw(host());
    return {};
  }));
  define(callable("SavePlot", 0, 0, [](const Values&, int) -> Values {
    const auto choice = host().uiputfile("*.png", "Save the plot as PNG, SVG or PDF");
    if (choice) host().axes().save(choice->path());
    return {};
  }));
  define(callable("cla", 0, 1, [](const Values&, int) -> Values {
    host().axes().cla();
    return {};
  }));
  define(callable("isvarname", 1, 1, [](const Values& args, int) -> Values {
    const auto* s = args.empty() ? nullptr : std::get_if<std::string>(&args[0]);
    return {Eigen::MatrixXd::Constant(1, 1, s != nullptr && isvarname(*s) ? 1.0 : 0.0)};
  }));
  define(callable("iskeyword", 1, 1, [](const Values& args, int) -> Values {
    const auto* s = args.empty() ? nullptr : std::get_if<std::string>(&args[0]);
    return {Eigen::MatrixXd::Constant(1, 1, s != nullptr && iskeyword(*s) ? 1.0 : 0.0)};
  }));
}

} // namespace shell
