#include "core/specimens.h"

#include "core/error.h"

#include <utility>

namespace core {

Specimens::Specimens(Eigen::MatrixXd rows, Identities ids, std::string source, Format format, bool scaled)
    : y_(std::move(rows)), ids_(std::move(ids)), source_(std::move(source)), format_(format), scaled_(scaled) {
  if (!ids_.keys.empty() && ids_.size() != static_cast<std::size_t>(y_.rows()))
    throw Error("A data set of " + std::to_string(y_.rows()) + " specimens was given the identities of " +
                std::to_string(ids_.size()));
  findmissing();
}

void Specimens::findmissing() {
  missing_ = core::findmissing(y_, k());
  lacking_ = Eigen::VectorX<Eigen::Index>::Zero(y_.rows());
  for (const auto& s : missing_.specimens) lacking_(s.row) = static_cast<Eigen::Index>(s.landmarks.size());
}

Specimens Specimens::with(Eigen::MatrixXd rows) const {
  if (rows.rows() != y_.rows())
    throw Error("The " + std::to_string(y_.rows()) + " specimens were given " + std::to_string(rows.rows()) +
                " rows in their place");
  return Specimens(std::move(rows), ids_, source_, format_, scaled_);
}

Specimens Specimens::subset(const std::vector<Eigen::Index>& rows) const {
  return Specimens(y_(rows, Eigen::all), ids_.subset(rows), source_, format_, scaled_);
}

Specimens Specimens::scaledby(const Eigen::VectorXd& factors) const {
  if (factors.size() != n())
    throw Error("The " + std::to_string(n()) + " specimens were given " + std::to_string(factors.size()) +
                " scale factors");
  // A missing landmark stays NaN: what is missing is known already.
  Specimens out = *this;
  const Eigen::Index c = format_ == Format::tps ? y_.cols() : 2 * k();
  for (Eigen::Index i = 0; i < n(); ++i) out.y_.row(i).head(c) *= factors(i);
  out.scaled_ = true;
  return out;
}

Eigen::VectorXd Specimens::sizes() const {
  if (y_.cols() % 2 == 0) return {};
  return y_.col(y_.cols() - 1);
}

std::string Specimens::name() const {
  const std::size_t slash = source_.find_last_of('/');
  return slash == std::string::npos ? source_ : source_.substr(slash + 1);
}

std::vector<Eigen::Index> Specimens::completerows() const {
  std::vector<Eigen::Index> rows;
  rows.reserve(static_cast<std::size_t>(n()));
  for (Eigen::Index i = 0; i < n(); ++i)
    if (lacking_(i) == 0) rows.push_back(i);
  return rows;
}

} // namespace core
