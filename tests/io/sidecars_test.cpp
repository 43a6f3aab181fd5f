// The sidecars of a row file read back as they were written, and an old
// list of estimates never outlives its data.

#include "io/sidecars.h"

#include "io/text_file.h"
#include "tests/support/test_support.h"

#include <filesystem>

TEST(sidecars, IdentitiesReadBackAsWritten) {
  using Keys = std::vector<std::vector<std::string>>;
  const Keys cases[] = {
      {{"ID=1", "SCALE=2"}, {}, {"ID=3"}},
      {{"IMAGE=a b.jpg", "COMMENT=x=1"}},
      {{}, {"ID=only the second"}},
  };
  for (const Keys& keys : cases) {
    core::Identities ids;
    ids.keys = keys;
    const std::string path = testsupport::temppath("ids.txt");
    io::writeids(path, ids);
    EXPECT_EQ(io::parseids(io::readfile(io::idspath(path)), "s").keys, keys);
  }
  // Identities without a key line write no sidecar.
  core::Identities none;
  none.keys = {{}, {}};
  const std::string bare = testsupport::temppath("bare.txt");
  io::writeids(bare, none);
  EXPECT_FALSE(std::filesystem::exists(io::idspath(bare)));
}

TEST(sidecars, EstimatedLandmarksAreListedFromOneAndReplaceAnOldList) {
  const std::string path = testsupport::temppath("filled.txt");
  io::writeestimated(path, {{1, 4, core::Estimate::mirror}, {1, 8, core::Estimate::tps}});
  EXPECT_EQ(io::readfile(io::estimatedpath(path)),
            "% estimated landmarks: specimen row, landmark (both numbered from 1), method\n2 5 mirror\n2 9 tps\n");
  io::writeestimated(path, {});
  EXPECT_EQ(io::readfile(io::estimatedpath(path)),
            "% estimated landmarks: specimen row, landmark (both numbered from 1), method\n");
}
