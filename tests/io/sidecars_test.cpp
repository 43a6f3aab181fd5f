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
    const std::string path = testsupport::tempfile("ids.txt", std::string(keys.size(), '\n'));
    io::writeids(path, ids);
    EXPECT_EQ(io::parseids(io::readfile(io::idspath(path)), "s").keys, keys);
  }
  // Identities without a key line write no sidecar.
  core::Identities none;
  none.keys = {{}, {}};
  const std::string bare = testsupport::tempfile("bare.txt", "1 2 3\n");
  io::writeids(bare, none);
  EXPECT_FALSE(std::filesystem::exists(io::idspath(bare)));
}

TEST(sidecars, EstimatedLandmarksAreListedFromOneAndReplaceAnOldList) {
  const std::string path = testsupport::tempfile("filled.txt", "1 2 3\n4 5 6\n");
  const std::string whose = "% sidecar of '" + std::filesystem::path(path).filename().string() +
                            "': 2 rows, checksum " + io::checksum("1 2 3\n4 5 6\n") + "\n";
  io::writeestimated(path, {{1, 4, core::Estimate::mirror}, {1, 8, core::Estimate::regression}});
  EXPECT_EQ(io::readfile(io::estimatedpath(path)),
            whose + "% estimated landmarks: specimen row, landmark (both numbered from 1), method\n2 5 mirror\n"
                    "2 9 regression\n");
  io::writeestimated(path, {});
  EXPECT_EQ(io::readfile(io::estimatedpath(path)),
            whose + "% estimated landmarks: specimen row, landmark (both numbered from 1), method\n");
  // What the first line says is read back.
  const auto of = io::whose(io::readfile(io::estimatedpath(path)));
  ASSERT_TRUE(of.has_value());
  EXPECT_EQ(of->rows, 2u);
  EXPECT_EQ(of->checksum, io::checksum("1 2 3\n4 5 6\n"));
  EXPECT_EQ(of->name, std::filesystem::path(path).filename().string());
}
