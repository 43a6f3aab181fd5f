#include "io/angle_file.h"

#include "core/angles.h"
#include "core/error.h"
#include "core/text_format.h"
#include "io/row_file.h"

#include <cmath>
#include <filesystem>

namespace io {

std::string formatangles(AngleLayout layout, const Eigen::RowVectorXd& tlist, const Eigen::MatrixXd& plist,
                         const Eigen::RowVectorXi& np, double slab, const core::Identities& ids) {
  std::string out;
  for (Eigen::Index i = 0; i < tlist.size(); ++i) {
    const std::string specimen = ids.label(static_cast<std::size_t>(i));
    // A specimen that gave no angles (landmarks missing) has no pair, and
    // a NaN line among the means, where each specimen has its line.
    if (np(i) == 0) {
      if (layout == AngleLayout::means) out += core::format("NaN\tNaN\t%i\t %% specimen %s", slab, specimen) + "\n";
      continue;
    }
    const double t = core::Bearing::radians(tlist(i)).deg();
    if (layout == AngleLayout::means) {
      // The mean of the pairs measured: a pair with a missing landmark
      // has no p.
      double sum = 0;
      int count = 0;
      bool all = true;
      for (Eigen::Index j = 0; j < plist.cols(); ++j) {
        if (std::isnan(plist(i, j))) all = false;
        else sum += plist(i, j), ++count;
      }
      const double mean = all ? plist.row(i).mean() : sum / count;
      out += core::format("%f\t%f\t%i\t %% specimen %s", t, core::Angle::radians(mean).deg(), slab, specimen) + "\n";
      continue;
    }
    for (Eigen::Index j = 0; j < plist.cols(); ++j) {
      if (std::isnan(plist(i, j))) continue;
      const double p = core::Angle::radians(plist(i, j)).deg();
      out += layout == AngleLayout::pairs ? core::format("%f\t%f\t%i\t %% specimen %s", t, p, slab, specimen) + "\n"
                                          : core::format("%f\t%f\n", t, p);
    }
  }
  return out;
}

void checkangles(const Eigen::MatrixXd& tp, const std::string& name, std::string_view action, bool gaps) {
  const Eigen::Index c = tp.cols();
  const std::string file = "The angle file '" + name + "' (" + std::string(action) + ")";
  const bool landmarks = c >= 5 && c % 2 == 1;
  const std::string looks =
      landmarks ? core::format("it looks like landmark data (%i landmarks and a size slot), not angles: landmark data "
                               "are loaded with Load",
                               (c - 1) / 2)
                : "";
  if (c < 2)
    throw core::Error(file + ", line 1, holds " + std::to_string(c) +
                      " number; an angle file needs t and p, degrees, in columns 1 and 2 of every line");
  for (Eigen::Index i = 0; i < tp.rows(); ++i) {
    if (gaps && std::isnan(tp(i, 0)) && std::isnan(tp(i, 1))) continue;
    for (Eigen::Index j = 0; j < 2; ++j) {
      const double v = tp(i, j);
      if (!(v >= 0 && v <= 360))
        throw core::Error(file + core::format(", line %i, column %i holds %g, which is not an angle in degrees from 0 "
                                              "to 360",
                                              i + 1, j + 1, v) +
                          (landmarks ? core::format("; with %i numbers per line ", c) + looks : ""));
    }
  }
  if (landmarks) throw core::Error(file + core::format(" holds %i numbers per line, so ", c) + looks);
}

Eigen::MatrixXd readangles(const std::string& path, std::string_view action, const core::Progress& progress) {
  Eigen::MatrixXd tp = dload(path, progress);
  checkangles(tp, std::filesystem::path(path).filename().string(), action);
  return tp;
}

Eigen::VectorXi specimensof(const Eigen::MatrixXd& tp, const std::vector<std::string>& comments) {
  const Eigen::Index n = tp.rows();
  if (static_cast<Eigen::Index>(comments.size()) != n) return {};
  Eigen::VectorXi specimen(n);
  int count = -1;
  for (Eigen::Index i = 0; i < n; ++i) {
    const auto k = static_cast<std::size_t>(i);
    if (comments[k].empty()) return {};
    const bool same = i > 0 && comments[k] == comments[k - 1] && tp(i, 0) == tp(i - 1, 0) &&
                      (tp.cols() < 3 || tp(i, 2) == tp(i - 1, 2));
    specimen(i) = same ? count : ++count;
  }
  return specimen;
}

PooledAngles readpooledangles(const std::string& path, std::string_view action, const core::Progress& progress) {
  std::vector<std::string> comments;
  PooledAngles out;
  out.tp = dload(path, progress, &comments);
  checkangles(out.tp, std::filesystem::path(path).filename().string(), action);
  out.specimen = specimensof(out.tp, comments);
  return out;
}

core::SpecimenLabel anglelabel(std::string_view comment) {
  constexpr std::string_view word = "specimen ";
  if (!comment.starts_with(word)) return {};
  return core::parselabel(comment.substr(word.size()));
}

SpecimenAngles readspecimenangles(const std::string& path, std::string_view action, const core::Progress& progress) {
  std::vector<std::string> comments;
  SpecimenAngles out;
  out.tp = dload(path, progress, &comments);
  checkangles(out.tp, std::filesystem::path(path).filename().string(), action, true);
  for (const std::string& comment : comments) out.labels.push_back(anglelabel(comment));
  return out;
}

} // namespace io
