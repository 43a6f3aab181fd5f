#include "tests/support/test_support.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace testsupport {

namespace fs = std::filesystem;

::testing::AssertionResult near(const Eigen::MatrixXd& a, const Eigen::MatrixXd& b, double tol) {
  if (a.rows() != b.rows() || a.cols() != b.cols())
    return ::testing::AssertionFailure() << "shapes differ: " << a.rows() << " x " << a.cols() << " against "
                                         << b.rows() << " x " << b.cols();
  for (Eigen::Index j = 0; j < a.cols(); ++j)
    for (Eigen::Index i = 0; i < a.rows(); ++i) {
      const double d = std::abs(a(i, j) - b(i, j));
      if (!(d <= tol) && !(std::isnan(a(i, j)) && std::isnan(b(i, j))))
        return ::testing::AssertionFailure() << "entry (" << i << ", " << j << "): " << a(i, j) << " against "
                                             << b(i, j) << " (difference " << d << ", tolerance " << tol << ")";
    }
  return ::testing::AssertionSuccess();
}

Eigen::RowVectorXd randomrow(Eigen::Index k, std::mt19937& rng, double slot) {
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  Eigen::RowVectorXd row(2 * k + 1);
  for (Eigen::Index j = 0; j < 2 * k; ++j) row(j) = u(rng);
  row(2 * k) = slot;
  return row;
}

Eigen::RowVectorXd similar(const Eigen::RowVectorXd& row, double scale, double angle, double dx, double dy) {
  Eigen::RowVectorXd out = row;
  const double c = std::cos(angle), s = std::sin(angle);
  for (Eigen::Index j = 0; j + 1 < row.size(); j += 2) {
    const double x = row(j), y = row(j + 1);
    out(j) = scale * (c * x - s * y) + dx;
    out(j + 1) = scale * (s * x + c * y) + dy;
  }
  return out;
}

namespace {

struct TempFolder {
  fs::path path;
  TempFolder() {
    path = fs::temp_directory_path() / ("tectomorph-test-" + std::to_string(::getpid()));
    fs::create_directories(path);
  }
  ~TempFolder() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
};

const fs::path& folder() {
  static TempFolder tmp;
  return tmp.path;
}

} // namespace

std::string temppath(std::string_view name) {
  static int counter = 0;
  return (folder() / (std::to_string(++counter) + "-" + std::string(name))).string();
}

std::string tempfile(std::string_view name, std::string_view content) {
  const std::string path = temppath(name);
  std::ofstream(path, std::ios::binary) << content;
  return path;
}

std::string example(std::string_view relative) { return std::string(TECTO_EXAMPLES_DIR) + "/" + std::string(relative); }

} // namespace testsupport
