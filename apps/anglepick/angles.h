#pragma once
// The two angles the Wellman strain analysis consumes, measured on one
// specimen: t, the compass bearing of its midline, and p, the angle between
// each bilateral landmark pair and that midline. Radians throughout.

#include "core/angles.h"

#include <Eigen/Core>
#include <string>
#include <vector>

namespace anglepick {

struct TpAngles {
  // The midline's compass bearing (core::Bearing::from_angle of its
  // direction), in [0, 2 pi).
  core::Bearing tp = core::Bearing::radians(0);
  Eigen::RowVectorXd plist; // the p angle of every pair row, radians in [0, pi]
  int pcount = 0;         // number of pair rows
};

// Measures t and p on one specimen row (x1 y1 ... xk yk, a size slot may
// follow) with a protocol of landmark numbers: a row (a, 0) names a
// midline landmark, a row (a, b) a bilateral pair whose midpoint lies on
// the midline. The midline is the least-squares line through those points,
// read from the first row's point towards the second's. Raises core::Error
// naming the row for a protocol of fewer than two rows or two columns, a
// landmark number outside 1 ... k (0 allowed in the second column), a pair
// of one landmark with itself, or first two rows that name one point; and
// for a specimen with a coordinate that is not finite, whose midline points
// all coincide, or whose first two points do not differ along the midline.
TpAngles get_tp(const Eigen::RowVectorXd& data, const Eigen::MatrixXd& proto);

// The protocol checks of get_tp on their own, against k landmarks.
void checkprotocol(const Eigen::MatrixXd& proto, Eigen::Index k);

// t and p of a specimen that may lack landmarks (NaN, core::missing). A
// protocol row is measured only when all its landmarks are present: a pair
// with a missing member gives no p, and a midline landmark or a pair's
// midpoint that is missing drops out of the midline fit. The midline keeps
// its direction only while the points of protocol rows 1 and 2 are both
// there; without them, with fewer than two midline points, or with no pair
// left, the specimen gives no angles and `absent` says why. A complete
// specimen gets exactly get_tp's angles.
struct PresentAngles {
  core::Bearing tp = core::Bearing::radians(0); // the midline's compass bearing; NaN when absent
  Eigen::RowVectorXd plist; // one entry per pair row of the protocol, NaN where not measured
  std::string absent;       // why the specimen gives no angles; empty when it does
};
PresentAngles get_tp_present(const Eigen::RowVectorXd& data, const Eigen::MatrixXd& proto);

// The summary line of the measured specimens, from each one's t (radians)
// and the mean of its p (radians): their count, the circular mean and the
// circular standard deviation sqrt(-2 ln Rbar) of t, Rbar being the mean
// resultant length of the unit vectors of t (t is the bearing of a
// directed midline, 0 to 360 degrees), and the mean of the specimens'
// mean p, each specimen counting once whatever its number of pairs. Where
// Rbar is below minresultant the bearings cancel (t = 10 and 190): both
// the mean and the deviation are said to be undefined.
inline constexpr double minresultant = 1e-12;
std::string summaryline(const std::vector<double>& t, const std::vector<double>& meanp);

} // namespace anglepick
