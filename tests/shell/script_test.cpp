// The script language: lines split into words.

#include "shell/script.h"

#include "core/error.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using testsupport::error_of;

TEST(scriptwords, SplitsAtBlanksKeepsQuotesAndDropsComments) {
  EXPECT_EQ(shell::scriptwords("Load  \"a b.txt\" c.txt # later"),
            (std::vector<std::string>{"Load", "a b.txt", "c.txt"}));
  EXPECT_EQ(shell::scriptwords("   # only a comment"), std::vector<std::string>{});
  EXPECT_EQ(shell::scriptwords("set Box \"\""), (std::vector<std::string>{"set", "Box", ""}));
  EXPECT_EQ(error_of([] { shell::scriptwords("Load \"open"); }), "a double quote is not closed");
}
