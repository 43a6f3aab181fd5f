#include "shell/names.h"

#include <gtest/gtest.h>

#include <string>

TEST(isvarname, AcceptsNamesAndRejectsEverythingElse) {
  EXPECT_TRUE(shell::isvarname("x1_a"));
  EXPECT_TRUE(shell::isvarname(std::string(31, 'a')));
  EXPECT_FALSE(shell::isvarname(std::string(32, 'a')));
  EXPECT_FALSE(shell::isvarname("1x"));
  EXPECT_FALSE(shell::isvarname("a-b"));
  EXPECT_FALSE(shell::isvarname("_a"));
  EXPECT_FALSE(shell::isvarname(""));
  EXPECT_FALSE(shell::isvarname("end"));
  EXPECT_EQ(shell::iskeyword().size(), 17u);
  EXPECT_TRUE(shell::iskeyword("otherwise"));
  EXPECT_FALSE(shell::iskeyword("End"));
}
