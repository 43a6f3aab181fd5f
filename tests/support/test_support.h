#pragma once
// Tolerance helpers and fixture builders shared by the test suites.

#include "core/error.h"

#include <Eigen/Core>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <string_view>

namespace testsupport {

// Succeeds when a and b have the same shape and every entry differs by at
// most tol; otherwise names the first entry that does not.
::testing::AssertionResult near(const Eigen::MatrixXd& a, const Eigen::MatrixXd& b, double tol);

// A random configuration of k landmarks as a specimen row with a size slot
// (1 x (2k + 1)), coordinates uniform in [-1, 1], slot `slot`.
Eigen::RowVectorXd randomrow(Eigen::Index k, std::mt19937& rng, double slot = 1.0);

// The landmarks of a specimen row scaled by `scale`, turned counter-clockwise
// by `angle` radians about the origin and then moved by (dx, dy); the size
// slot is kept.
Eigen::RowVectorXd similar(const Eigen::RowVectorXd& row, double scale, double angle, double dx, double dy);

// A fresh file in a per-process temporary folder holding `content`; returns
// its path. The folder is removed when the process ends normally.
std::string tempfile(std::string_view name, std::string_view content);
// A path in the same folder with no file behind it yet.
std::string temppath(std::string_view name);

// The message of the core::Error that f() raises, or "no error" when it
// raises none, so that a test can compare the whole text a person reads.
template <class F>
std::string error_of(F f) {
  try {
    f();
  } catch (const core::Error& e) {
    return e.what();
  }
  return "no error";
}

// Path of a file under examples/.
std::string example(std::string_view relative);

} // namespace testsupport
