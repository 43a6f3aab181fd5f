#include "shell/shape_plot.h"

namespace shell {

double showshape(Axes& axes, const Eigen::MatrixXd& x, std::string_view xform, std::string_view name) {
  const Eigen::Index m = x.rows(), k = x.cols() > 0 ? (x.cols() - 1) / 2 : 0;
  Eigen::VectorXd px(m * k), py(m * k);
  for (Eigen::Index i = 0; i < m; ++i)
    for (Eigen::Index j = 0; j < k; ++j) {
      px(i * k + j) = x(i, 2 * j);
      py(i * k + j) = x(i, 2 * j + 1);
    }
  axes.sethold(true);
  axes.plot(px, py, xform, 3);
  if (!name.empty()) axes.name(name);
  axes.axisauto();
  axes.axisequal();
  return 1;
}

} // namespace shell
