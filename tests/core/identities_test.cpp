// Missing landmarks and specimen identities as messages name them.

#include "core/identities.h"

#include "tests/support/test_support.h"

#include <cmath>

TEST(missinglandmarks, ReportsNameTheSpecimensAndLandmarks) {
  Eigen::MatrixXd x = Eigen::MatrixXd::Ones(3, 7);
  EXPECT_EQ(core::missingreport(core::findmissing(x, 3), {}), "No landmark is missing.");
  x(0, 2) = x(0, 3) = std::nan("");
  EXPECT_EQ(core::missingreport(core::findmissing(x, 3), {}), "1 landmark is missing in 1 specimen: specimen 1 lacks 2.");
  x(2, 0) = x(2, 1) = x(2, 4) = x(2, 5) = std::nan("");
  core::Identities ids;
  ids.keys = {{"ID=a"}, {}, {"IMAGE=c.jpg", "ID= Phacops 7 "}};
  EXPECT_EQ(core::missingreport(core::findmissing(x, 3), ids),
            "3 landmarks are missing in 2 specimens: specimen 1 (a) lacks 2; specimen 3 (Phacops 7) lacks 1 and 3.");
  EXPECT_EQ(core::completerows(x, 3), (std::vector<Eigen::Index>{1}));
  // The size slot's own NaN is no landmark.
  Eigen::MatrixXd y = Eigen::MatrixXd::Ones(1, 7);
  y(0, 6) = std::nan("");
  EXPECT_TRUE(core::findmissing(y, 3).none());
}

TEST(missinglandmarks, NamesTheEstimateMethodsAsTyped) {
  EXPECT_EQ(core::estimatemethod("TPS"), core::Estimate::tps);
  EXPECT_EQ(core::estimatemethod("Mirror"), core::Estimate::mirror);
  EXPECT_EQ(core::estimatemethod("auto"), core::Estimate::automatic);
  EXPECT_EQ(core::estimatemethod("Neighbours"), core::Estimate::neighbours);
  EXPECT_FALSE(core::estimatemethod("median").has_value());
  EXPECT_STREQ(core::methodname(core::Estimate::mirror), "mirror");
  EXPECT_STREQ(core::methodname(core::Estimate::automatic), "auto");
}

TEST(specimenidentity, KeyLinesAreReadWithBlanksRoundTheirEqualsSign) {
  core::Identities ids;
  ids.keys = {{" ID = 5 ", "Scale\t=0.25", "IDENT=x", "COMMENT=ID=7"}};
  EXPECT_EQ(ids.id(0), "5");
  EXPECT_EQ(ids.scale(0), 0.25);
  EXPECT_EQ(core::keyname("  image = a.jpg"), "IMAGE");
  EXPECT_EQ(core::keyname("ID2=x"), "ID2");
  for (const char* none : {"= 5", "2D=x", "no key here", ""}) EXPECT_EQ(core::keyname(none), "") << none;
}
