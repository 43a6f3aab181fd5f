#pragma once
// Angle files: the t and p angles Anglepick measures and Restrain fits the
// strain ellipse to. Plain row-format text in degrees, one line per pair or
// per specimen, in one of three layouts:
//
//   pairs  "t<TAB>p<TAB>slab<TAB> % specimen LABEL" per measured pair
//   birch  "t<TAB>p" per measured pair
//   means  "t<TAB>mean p<TAB>slab<TAB> % specimen LABEL" per specimen
//
// t and p in "%f" form; LABEL is the specimen's number from 1, with its ID
// in brackets when it has one. The comment after the percent sign is
// skipped by the row reader, so every layout reads back as two or three
// columns of numbers. In the means layout a specimen that gave no angles
// keeps its line, "NaN<TAB>NaN<TAB>slab<TAB> % specimen LABEL", so that
// the lines of the specimens after it stay theirs however the file is
// joined to its data set.

#include "core/identities.h"
#include "core/progress.h"

#include <Eigen/Core>
#include <string>
#include <string_view>
#include <vector>

namespace io {

enum class AngleLayout { pairs, birch, means };

// The text of an angle file from the angles of n specimens: tlist (1 x n)
// each specimen's t, plist (n x pairs) its p of every pair, both radians,
// NaN for a pair not measured; np (1 x n) the pairs measured per specimen,
// 0 for a specimen that gave no angles (no line in the pairs and birch
// layouts, a NaN line in the means layout). A mean p is that of the pairs
// measured. `slab` is written as a whole number.
std::string formatangles(AngleLayout layout, const Eigen::RowVectorXd& tlist, const Eigen::MatrixXd& plist,
                         const Eigen::RowVectorXi& np, double slab, const core::Identities& ids);

// Checks numbers read from an angle file: t and p, degrees in [0, 360], in
// columns 1 and 2 of every line (with `gaps`, a line may hold NaN in both:
// a specimen without angles). Raises core::Error naming the file by
// `name`, the action that read it, the line and the value otherwise; a file
// of 2k + 1 >= 5 columns has the layout of landmark data (k landmarks and a
// size slot) and is said to look like it.
void checkangles(const Eigen::MatrixXd& tp, const std::string& name, std::string_view action, bool gaps = false);

// Reads an angle file as the row reader does and checks it (checkangles,
// the file named by its name without the folder).
Eigen::MatrixXd readangles(const std::string& path, std::string_view action, const core::Progress& progress = {});

// Pooled angles with the specimen of every pair, where the file names it.
struct PooledAngles {
  Eigen::MatrixXd tp;
  // Each row's specimen, 0, 1, ... in order of first appearance; empty when
  // the file does not say (specimensof).
  Eigen::VectorXi specimen;
};

// The specimens of pooled angle lines from their comments: one specimen is
// a run of consecutive lines with the same comment, the same slab (column
// 3, when there is one) and the same t, as the pairs layout writes a
// specimen's pairs; files of several slabs joined end to end keep their
// specimens apart. Empty (not known) when a line has no comment (the birch
// layout).
Eigen::VectorXi specimensof(const Eigen::MatrixXd& tp, const std::vector<std::string>& comments);

// readangles, keeping the specimens.
PooledAngles readpooledangles(const std::string& path, std::string_view action, const core::Progress& progress = {});

// The specimen a line's comment names, as formatangles writes it
// ("specimen 12 (ID)", the text after the percent sign; core::parselabel);
// number 0 when it names none.
core::SpecimenLabel anglelabel(std::string_view comment);

// Per-specimen angles (the means layout) as they are joined to a data
// set: each line's numbers (t, p, ... in degrees; NaN NaN for a specimen
// without angles) and the specimen it names.
struct SpecimenAngles {
  Eigen::MatrixXd tp;
  std::vector<core::SpecimenLabel> labels; // one per line
};
// Reads and checks them as readangles does, NaN lines allowed.
SpecimenAngles readspecimenangles(const std::string& path, std::string_view action, const core::Progress& progress = {});

} // namespace io
