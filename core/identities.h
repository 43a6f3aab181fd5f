#pragma once
// What a data set says about its specimens besides their landmarks: which
// landmarks were not placed, and each specimen's name, image and scale.
//
// A landmark that a digitiser could not place (a broken genal spine, an
// eroded margin) is missing: inside the suite it is NaN in both of its
// coordinates, never a point. Files code it by one explicit rule (see
// MissingCode): the digitisers' -1 -1, and NaN or NA in a row-format file;
// every other number is a coordinate.

#include <Eigen/Core>

#include <cmath>
#include <limits>
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
  // (0-based), or "" when it has none. Blanks round the '=' and round the
  // value are no part of it ("ID = 5" is ID 5).
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

// A specimen as a text names it, in the form Identities::label writes:
// its number from 1 and its ID ("" for none). parselabel reads "12" or
// "12 (ID)" (the ID is the rest of the text inside the outer brackets: it
// may hold brackets of its own); number 0 for a text that is neither.
struct SpecimenLabel {
  long number = 0;
  std::string id;
};
SpecimenLabel parselabel(std::string_view text);

// The key of a key line, in capitals: "ID" of "ID=12" or "id = 12"
// (a letter, then letters, digits or '_', blanks, '='); "" for a line that
// is no key line. Blanks before
// the key are skipped.
std::string keyname(std::string_view line);

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

// Which points a reader takes for missing landmarks. `digitiser`: a point
// written -1 -1 exactly (the digitisers' code), and NaN or NA in a
// row-format file; every other number is a coordinate, whatever the signs
// of the file's other points. `negative`: besides, every point with
// a negative coordinate, as R's TPS readers offer for files of image
// coordinates whose digitiser marked a lost landmark with any negative
// pair.
enum class MissingCode { digitiser, negative };

// The rule in words, for the load report: "-1 -1, NaN and NA are missing"
// or "points with a negative coordinate, NaN and NA are missing".
const char* missingrule(MissingCode code);

// How a missing landmark was estimated (warp/missing.h places them):
// mirror reflects its partner across the specimen's axis of symmetry; the
// others learn from the other specimens in the frame of the landmarks
// present: tps (the spline from the consensus), regression (on the
// landmarks present), neighbours (the splines of the most similar
// specimens), blend (the mean of regression and neighbours) and mean (the
// mean shape fitted on the landmarks present). `automatic` asks for the
// one of least leave-one-out error; an estimate never carries it.
enum class Estimate { mirror, tps, regression, neighbours, blend, mean, automatic };

// "mirror", "tps", "regression", "neighbours", "blend", "mean" or "auto".
const char* methodname(Estimate method);
// The method of a name as a person types it (any case), or nothing.
std::optional<Estimate> estimatemethod(std::string_view name);

// One landmark placed by an estimate: its specimen row and landmark
// (0-based), how, whether auto chose the method, and the error the
// leave-one-out trial expects of it in % of centroid size (NaN when no
// trial was made).
struct EstimatedLandmark {
  Eigen::Index row;
  Eigen::Index landmark;
  Estimate method;
  bool chosen = false;
  double expected = std::numeric_limits<double>::quiet_NaN();
};

// The missing landmarks of a data set of k landmarks per row (a size slot
// after them is ignored).
MissingLandmarks findmissing(const Eigen::MatrixXd& x, Eigen::Index k);

// The report a load gives: "No landmark is missing." or "39 landmarks are
// missing in 13 specimens: specimen 4 (ID) lacks 5 and 7; specimen 9 lacks
// 2; ..." (landmarks numbered from 1). With a rule, it says which points
// were read as missing: "No landmark is missing (-1 -1, NaN and NA are
// missing)." and "39 landmarks are missing in 13 specimens (-1 -1, NaN and
// NA are missing): specimen 4 ...".
std::string missingreport(const MissingLandmarks& m, const Identities& ids);
std::string missingreport(const MissingLandmarks& m, const Identities& ids, MissingCode code);

// Landmark numbers from 1 as a person reads a list: "5", "5 and 7",
// "5, 7 and 9".
std::string landmarklist(const std::vector<Eigen::Index>& landmarks);

// The rows of a data set that have every landmark.
std::vector<Eigen::Index> completerows(const Eigen::MatrixXd& x, Eigen::Index k);

} // namespace core
