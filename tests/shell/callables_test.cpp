#include "shell/callables.h"

#include "core/error.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <span>
#include <vector>

using testsupport::error_of;

// Every case works on a registry of its own, so that no test replaces a
// function the programs or other tests define by name.
namespace {

shell::Callable counter(std::string name, int nin, int nout, int* calls) {
  shell::Callable c;
  c.name = std::move(name);
  c.nin = nin;
  c.nout = nout;
  c.body = [calls](const shell::Values& args, int) -> shell::Values {
    ++*calls;
    return {Eigen::MatrixXd::Constant(1, 1, static_cast<double>(args.size()))};
  };
  return c;
}

TEST(call, RunsAFunctionByNameWithinItsDeclaredCounts) {
  shell::Registry r;
  int calls = 0;
  r.define(counter("centpos", 1, 1, &calls));
  const shell::Values out = r.call("centpos", {std::string("x")}, 1);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(std::get<Eigen::MatrixXd>(out[0])(0, 0), 1);
  r.call("centpos", {}, 0); // fewer is fine
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(r.names(), std::vector<std::string>{"centpos"});
}

TEST(call, RaisesTheRunTimeErrorForTooManyInputsOrOutputs) {
  shell::Registry r;
  int calls = 0;
  r.define(counter("centpos", 1, 1, &calls));
  EXPECT_EQ(error_of([&] { r.call("centpos", {std::string("a"), std::string("b")}); }),
            "Run-time Error: File: centpos Line: 1 Column: 1 The function \"centpos\" was called with more than the "
            "declared number of inputs (1).");
  EXPECT_EQ(error_of([&] { r.call("centpos", {}, 2); }),
            "Run-time Error: File: centpos Line: 1 Column: 1 The function \"centpos\" was called with more than the "
            "declared number of outputs (1).");
  EXPECT_EQ(calls, 0);

  // A launcher's local function names its file and line.
  shell::Callable local = counter("pushbutton1_Callback", 3, 0, &calls);
  local.file = "Anglepick/pushbutton1_Callback";
  local.line = 42;
  r.define(local);
  EXPECT_EQ(error_of([&] { r.call("pushbutton1_Callback", shell::Values(4, std::string("x"))); }),
            "Run-time Error: File: Anglepick/pushbutton1_Callback Line: 42 Column: 1 The function "
            "\"pushbutton1_Callback\" was called with more than the declared number of inputs (3).");
}

TEST(call, NamesAnUnknownFunction) {
  const shell::Registry r;
  EXPECT_EQ(error_of([&] { r.call("nosuch", {}); }), "Undefined function or variable 'nosuch'.");
  // The program's own registry answers alike.
  EXPECT_EQ(error_of([] { shell::call("test.nosuch", {}); }), "Undefined function or variable 'test.nosuch'.");
}

TEST(objective, IsFoundByTheNameItWasRegisteredUnder) {
  shell::Registry r;
  r.defineobjective("bowl", [](const Eigen::VectorXd& p, std::span<const Eigen::MatrixXd>) {
    return (p.array() - 7).square().sum();
  }, 1);
  EXPECT_EQ(r.objective("bowl")(Eigen::Vector2d(7, 9), {}), 4);
  const core::MinimiseResult m = r.fminsearch("bowl", Eigen::Vector2d(1, 1), {1e-8, 1e-8, 0, 0});
  EXPECT_NEAR(m.x[0], 7, 1e-6);
  EXPECT_NEAR(m.x[1], 7, 1e-6);

  // Called by name, it takes numbers and answers with its value.
  const shell::Values v = r.call("bowl", {Eigen::MatrixXd(Eigen::Vector2d(8, 7))}, 1);
  EXPECT_EQ(std::get<Eigen::MatrixXd>(v[0])(0, 0), 1);
  EXPECT_EQ(error_of([&] { r.call("bowl", {std::string("8")}, 1); }),
            "The parameter vector of an objective function must be numbers");

  // A second registration under the same name replaces the first.
  r.defineobjective("bowl", [](const Eigen::VectorXd&, std::span<const Eigen::MatrixXd>) { return -1.0; }, 1);
  EXPECT_EQ(r.objective("bowl")(Eigen::Vector2d(7, 9), {}), -1);
}

TEST(objective, NamesTheUnknownObjectiveInItsError) {
  shell::Registry r;
  EXPECT_EQ(error_of([&] { r.objective("nowhere"); }), "Undefined objective function \"nowhere\"");
  EXPECT_THROW(r.fminsearch("nowhere", Eigen::Vector2d(1, 1)), core::Error);
  // A function that is not an objective is not one by name either.
  int calls = 0;
  r.define(counter("centpos", 1, 1, &calls));
  EXPECT_EQ(error_of([&] { r.objective("centpos"); }), "Undefined objective function \"centpos\"");
}

TEST(objective, RefusesMoreExtraArgumentsThanItDeclares) {
  shell::Registry r;
  int evaluations = 0;
  r.defineobjective("shifted", [&](const Eigen::VectorXd& p, std::span<const Eigen::MatrixXd> extra) {
    ++evaluations;
    return (p - extra[0].col(0)).squaredNorm();
  }, 2);
  const std::vector<Eigen::MatrixXd> one{Eigen::Vector2d(3, -1)};
  EXPECT_NEAR(r.fminsearch("shifted", Eigen::Vector2d(0, 0), {1e-8, 1e-8, 0, 0}, one).x[0], 3, 1e-6);
  const std::vector<Eigen::MatrixXd> two{Eigen::Vector2d(3, -1), Eigen::Vector2d(0, 0)};
  evaluations = 0;
  EXPECT_EQ(error_of([&] { r.fminsearch("shifted", Eigen::Vector2d(0, 0), {}, two); }),
            "Run-time Error: File: shifted Line: 1 Column: 1 The function \"shifted\" was called with "
            "more than the declared number of inputs (2).");
  EXPECT_EQ(evaluations, 0); // refused before the first evaluation
}

} // namespace

TEST(parsecallback, ReadsNamesTextsAndNumbers) {
  const auto [name, args] = shell::parsecallback("restrainsw('Load')");
  EXPECT_EQ(name, "restrainsw");
  ASSERT_EQ(args.size(), 1u);
  EXPECT_EQ(std::get<std::string>(args[0]), "Load");
  const auto [n2, a2] = shell::parsecallback("CopyBigImage(1)");
  EXPECT_EQ(std::get<Eigen::MatrixXd>(a2.at(0))(0, 0), 1);
  EXPECT_TRUE(shell::parsecallback("AuxBoxsw").second.empty());
  const auto [n3, a3] = shell::parsecallback("f('it''s', 2)");
  EXPECT_EQ(std::get<std::string>(a3.at(0)), "it's");
  EXPECT_EQ(error_of([] { shell::parsecallback("f('open"); }), "The Callback 'f('open' is not a call of a function");
}
