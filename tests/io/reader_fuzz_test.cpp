// Malformed input for the file readers: random damage to valid row-format
// and TPS files must either load a well-formed data set or raise a
// core::Error with a message; never crash, hang or raise anything else.

#include "core/error.h"
#include "io/row_file.h"
#include "io/tps_file.h"
#include "tests/support/test_support.h"

#include <fstream>

namespace {

std::string damage(std::string text, std::mt19937& rng) {
  static const std::string alphabet = "0123456789 \t\n\r.,-+eE%LMlm=NaIfx\xff";
  std::uniform_int_distribution<int> kind(0, 5), count(1, 6);
  const int edits = count(rng);
  for (int e = 0; e < edits; ++e) {
    std::uniform_int_distribution<std::size_t> at(0, text.empty() ? 0 : text.size() - 1);
    const std::size_t p = at(rng);
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    switch (kind(rng)) {
      case 0: text.insert(p, 1, alphabet[pick(rng)]); break;
      case 1: if (!text.empty()) text.erase(p, 1); break;
      case 2: if (!text.empty()) text[p] = alphabet[pick(rng)]; break;
      case 3: text.resize(p); break; // truncated file
      case 4: text.insert(p, text.substr(p, 40)); break; // repeated stretch
      case 5: if (!text.empty()) text.erase(p, std::min<std::size_t>(text.size() - p, 30)); break;
    }
  }
  return text;
}

template <class Read>
void fuzz(const std::string& original, const std::string& name, unsigned seed, Read read) {
  std::mt19937 rng(seed);
  const std::string path = testsupport::temppath(name);
  int loaded = 0, refused = 0;
  for (int trial = 0; trial < 1500; ++trial) {
    const std::string text = damage(original, rng);
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    try {
      const Eigen::MatrixXd m = read(path);
      ASSERT_GT(m.rows(), 0);
      ASSERT_GT(m.cols(), 0);
      ++loaded;
    } catch (const core::Error& e) {
      ASSERT_NE(std::string(e.what()).find(path), std::string::npos) << "message does not name the file: " << e.what();
      ++refused;
    }
  }
  // Both outcomes occur, so the damage is neither always harmless nor
  // always fatal.
  EXPECT_GT(loaded, 50);
  EXPECT_GT(refused, 50);
}

} // namespace

TEST(readers, SurviveRandomDamageToRowFiles) {
  std::mt19937 rng(1);
  std::string text;
  for (int i = 0; i < 12; ++i) {
    Eigen::RowVectorXd row = testsupport::randomrow(4, rng, 2.5);
    text += io::formatrows(row, "%g ", " \n");
  }
  fuzz(text, "fuzz.txt", 7, [](const std::string& p) { return io::dload(p); });
}

TEST(readers, SurviveRandomDamageToTpsFiles) {
  std::mt19937 rng(2);
  Eigen::MatrixXd set(8, 11);
  for (Eigen::Index i = 0; i < 8; ++i) set.row(i) = testsupport::randomrow(5, rng, 1.0);
  std::string text;
  const std::string tps = io::formattps(core::Specimens(set));
  // Give it the keys a digitiser writes between blocks.
  std::size_t block = 0;
  for (std::size_t p = 0; p < tps.size();) {
    const std::size_t next = tps.find("LM=", p + 1);
    text += tps.substr(p, next == std::string::npos ? std::string::npos : next - p);
    text += "IMAGE=fossil" + std::to_string(block) + "LM.jpg\r\nID=" + std::to_string(block) + "\r\nSCALE=0.0125\r\n";
    ++block;
    if (next == std::string::npos) break;
    p = next;
  }
  fuzz(text, "fuzz.tps", 8, [](const std::string& p) { return io::readtpsfile(p).matrix(); });
}
