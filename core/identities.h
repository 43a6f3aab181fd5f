#pragma once
// What a data set says about its specimens besides their landmarks: which
// landmarks were not placed, and each specimen's name, image and scale.
//
// A landmark that a digitiser could not place (a broken genal spine, an
// eroded margin) is missing: inside the suite it is NaN in both of its
// coordinates, never a point. TPS files code it as a pair of negative
// coordinates (usually -1 -1), row-format files as NaN or NA.

#include <Eigen/Core>

#include <cmath>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace core {

// True when landmark j (0-based) of row i of a data set (or of a single
// specimen row, i = 0) is missing.
template <class Derived>
bool missing(const Eigen::DenseBase<Derived>& x, Eigen::Index i, Eigen::Index j) {
  return std::isnan(x(i, 2 * j)) || std::isnan(x(i, 2 * j + 1));
}

// Per specimen, the key lines of its TPS block other than LM= and the
// semilandmark curves, as written ("ID=12", "IMAGE=a.jpg", "SCALE=0.01",
// "COMMENT=..."), in the file's order. Empty for a data set read from rows
// without a sidecar.
struct Identities {
  std::vector<std::vector<std::string>> keys;

  // No specimen has a key line (a TPS file without ID=, IMAGE=, ... lines
  // has one empty list per specimen).
  bool empty() const {
    for (const auto& k : keys)
      if (!k.empty()) return false;
    return true;
  }
  std::size_t size() const { return keys.size(); }
  // The value of `key` ("ID", "IMAGE", "SCALE", any case) of specimen i
  // (0-based), or "" when it has none.
  std::string value(std::size_t i, const std::string& key) const;
  std::string id(std::size_t i) const { return value(i, "ID"); }
  // The scale factor of specimen i (units per coordinate unit), or none
  // when it has no SCALE= line or its value is not a positive number.
  std::optional<double> scale(std::size_t i) const;
  // "12" or, when the specimen has an ID, "12 (ID)": specimen i + 1 as a
  // message names it.
  std::string label(std::size_t i) const;
  // The identities of the rows `rows` (0-based), in that order; empty
  // stays empty.
  Identities subset(const std::vector<Eigen::Index>& rows) const;
};

// Where landmarks are missing: per specimen with any, its 0-based row and
// the 0-based landmarks it lacks.
struct MissingLandmarks {
  struct Specimen {
    Eigen::Index row;
    std::vector<Eigen::Index> landmarks;
  };
  std::vector<Specimen> specimens;
  std::size_t count = 0; // landmarks missing in all

  bool none() const { return count == 0; }
};

// How a missing landmark was estimated (warp/missing.h places them):
// from the consensus by the thin-plate spline, or by mirroring its partner
// across the specimen's axis of symmetry.
enum class Estimate { mirror, tps };

// "mirror" or "tps".
const char* methodname(Estimate method);
// The method of a name as a person types it ("mirror", "tps", any case),
// or nothing.
std::optional<Estimate> estimatemethod(std::string_view name);

// One landmark placed by an estimate: its specimen row and landmark
// (0-based) and how.
struct EstimatedLandmark {
  Eigen::Index row;
  Eigen::Index landmark;
  Estimate method;
};

// The missing landmarks of a data set of k landmarks per row (a size slot
// after them is ignored).
MissingLandmarks findmissing(const Eigen::MatrixXd& x, Eigen::Index k);

// The report a load gives: "No landmark is missing." or "39 landmarks are
// missing in 13 specimens: specimen 4 (ID) lacks 5 and 7; specimen 9 lacks
// 2; ..." (landmarks numbered from 1).
std::string missingreport(const MissingLandmarks& m, const Identities& ids);

// The rows of a data set that have every landmark.
std::vector<Eigen::Index> completerows(const Eigen::MatrixXd& x, Eigen::Index k);

} // namespace core
