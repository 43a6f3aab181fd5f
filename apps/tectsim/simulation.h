#pragma once
// Simulated deformed fossil assemblages: specimens placed at random along
// the straight path in shape space between two exemplar shapes, a noisy
// copy, both deformed by one tectonic strain after a random turn each (a
// fossil lies in the rock at any bearing), and the deformation removed
// again by principal components. The statistics then ask how strongly
// shape depends on the position along the path in each set.

#include "core/angles.h"

#include <Eigen/Core>
#include <functional>
#include <string>
#include <vector>

namespace tectsim {

// The deformation of a bed: every specimen row of both sets turned by its
// own uniform random angle (one draw per specimen, shared by its clean and
// noisy version) and mapped by core::simulateddeformation(defamp,
// defangle), whose strain is core::Strain::simulated; each set then
// superimposed. Size slots are carried unchanged.
struct Deformed {
  Eigen::MatrixXd ynewcp, ynewnp;
};
Deformed maketecdef(const Eigen::MatrixXd& dcdata, const Eigen::MatrixXd& dndata, double defamp,
                    core::Angle defangle);

// The most specimens an experiment of rows of `columns` numbers simulates
// (every one if columns is 0): a hundred thousand, fewer for many landmarks
// so that the six sets, their superimpositions and the statistics stay
// within a few hundred megabytes (a million specimens of 14 landmarks took
// 2.6 GB); far more than a study of a bed needs.
int maxspecimens(Eigen::Index columns = 0);

// Checks a landmark row file meant as an exemplar: 2k + 1 numbers per row
// (k >= 3 landmarks and a size slot), all finite. Raises core::Error
// beginning with `name` and saying what is wrong.
void checkexemplar(const Eigen::MatrixXd& rows, const std::string& name);

struct Parameters {
  int nsamp = 30;           // simulated specimens
  double noiseamp = 0.01;   // standard deviation of the noise on every coordinate
  double defamp = 1.5;      // elongation of the deformation
  core::Angle defangle = core::Angle::degrees(45); // its angle parameter
  Eigen::MatrixXd npca;     // principal axes removed to undeform
};

// The six simulated sets, one row per simulated specimen in the same
// order in each, and each specimen's position along the path (0 ... 1),
// which the statistics regress shape on. The row files of the first four
// sets record the position in their size slot, which the superimposition
// carries along; the retrodeformed sets' slots hold the undeformation's.
struct Models {
  Eigen::MatrixXd cdata, ndata, dcdata, dndata, udcdata, udndata;
  Eigen::VectorXd position;
};

// Builds an experiment from the start shape (one or several specimens,
// their consensus) and the end shape (one specimen). Draws from the
// program's generator in a fixed order: per specimen one uniform (its
// position) and 2k normals (its noise), then one uniform per specimen for
// its turn. `progress` (fraction done) is asked now and then. Raises
// core::Error for an end shape of several specimens, exemplars that are
// not landmark rows (checkexemplar) or of different landmark counts, or
// parameters that make no experiment (more than maxspecimens included).
Models buildmodels(const Eigen::MatrixXd& exemplar1, const Eigen::MatrixXd& exemplar2, const Parameters& p,
                   const std::function<void(double)>& progress = {});

// The report of the statistics: Wilks' lambda of the partial warp scores
// on path position, and the regression of Procrustes distance on path
// position, for the clean, noisy, deformed and retrodeformed sets; one
// text whose blocks begin with their own line breaks.
std::string dostats(const Models& m);

// The same report with its numbers, one entry per set (clean, noisy,
// deformed clean and noisy, retrodeformed clean and noisy): Wilks' lambda,
// F, the variance explained in percent, df1, df2 and the p value; the
// regression's slope, intercept, standard deviation of the slope,
// correlation, z score and p value. NaN where a test was not made (Wilks'
// of the clean set, or a singular one).
struct SetStatistics {
  std::string set;
  std::vector<double> wilks, regression;
};
struct Statistics {
  std::string text; // as dostats gives it
  std::vector<SetStatistics> sets;
};
Statistics statistics(const Models& m);

} // namespace tectsim
