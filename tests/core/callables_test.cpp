#include "core/callables.h"

#include "tests/support/test_support.h"

using testsupport::error_of;

namespace {

core::Callable counter(std::string name, int nin, int nout, int* calls) {
  core::Callable c;
  c.name = std::move(name);
  c.nin = nin;
  c.nout = nout;
  c.body = [calls](const core::Values& args, int) -> core::Values {
    ++*calls;
    return {Eigen::MatrixXd::Constant(1, 1, static_cast<double>(args.size()))};
  };
  return c;
}

} // namespace

TEST(call, RunsAFunctionByNameWithinItsDeclaredCounts) {
  int calls = 0;
  core::define(counter("test.centpos", 1, 1, &calls));
  const core::Values out = core::call("test.centpos", {std::string("x")}, 1);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(std::get<Eigen::MatrixXd>(out[0])(0, 0), 1);
  core::call("test.centpos", {}, 0); // fewer is fine
  EXPECT_EQ(calls, 2);
}

TEST(call, RaisesTheRunTimeErrorForTooManyInputsOrOutputs) {
  int calls = 0;
  core::define(counter("centpos", 1, 1, &calls));
  EXPECT_EQ(error_of([] { core::call("centpos", {std::string("a"), std::string("b")}); }),
            "Run-time Error: File: centpos Line: 1 Column: 1 The function \"centpos\" was called with more than the "
            "declared number of inputs (1).");
  EXPECT_EQ(error_of([] { core::call("centpos", {}, 2); }),
            "Run-time Error: File: centpos Line: 1 Column: 1 The function \"centpos\" was called with more than the "
            "declared number of outputs (1).");
  EXPECT_EQ(calls, 0);

  // A launcher's local function names its file and line.
  core::Callable local = counter("pushbutton1_Callback", 3, 0, &calls);
  local.file = "Anglepick/pushbutton1_Callback";
  local.line = 42;
  core::define(local);
  EXPECT_EQ(error_of([] { core::call("pushbutton1_Callback", core::Values(4, std::string("x"))); }),
            "Run-time Error: File: Anglepick/pushbutton1_Callback Line: 42 Column: 1 The function "
            "\"pushbutton1_Callback\" was called with more than the declared number of inputs (3).");
}

TEST(call, NamesAnUnknownFunction) {
  EXPECT_EQ(error_of([] { core::call("test.nosuch", {}); }), "Undefined function or variable 'test.nosuch'.");
}
