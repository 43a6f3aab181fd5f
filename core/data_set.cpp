#include "core/data_set.h"

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

Specimens& Specimens::readby(MissingCode code, std::vector<std::string> notes) {
  code_ = code;
  notes_ = std::move(notes);
  return *this;
}

Specimens Specimens::with(Eigen::MatrixXd rows) const {
  if (rows.rows() != y_.rows())
    throw Error("The " + std::to_string(y_.rows()) + " specimens were given " + std::to_string(rows.rows()) +
                " rows in their place");
  Specimens out(std::move(rows), ids_, source_, format_, scaled_);
  out.readby(code_, notes_);
  return out;
}

Specimens Specimens::subset(const std::vector<Eigen::Index>& rows) const {
  Specimens out(y_(rows, Eigen::all), ids_.subset(rows), source_, format_, scaled_);
  out.readby(code_, notes_);
  return out;
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

Specimens Specimens::inscale(const std::string& remedy) const {
  Eigen::VectorXd factors(n());
  for (Eigen::Index i = 0; i < n(); ++i) {
    const auto s = ids_.scale(static_cast<std::size_t>(i));
    if (!s)
      throw Error("Cannot apply the scale: specimen " + ids_.label(static_cast<std::size_t>(i)) + " of '" + name() +
                  "' has no SCALE= line with a positive number; " + remedy);
    factors(i) = *s;
  }
  return scaledby(factors);
}

Identities Specimens::writtenkeys() const {
  if (!scaled_) return ids_;
  Identities out = ids_;
  for (std::size_t i = 0; i < out.keys.size(); ++i) {
    std::vector<std::string> keys;
    for (const std::string& line : out.keys[i]) {
      Identities one;
      one.keys = {{line}};
      const std::string value = one.value(0, "SCALE");
      // SCALE=1 (or none) changed nothing when it was applied.
      if (value.empty() || value == "1") {
        keys.push_back(line);
        continue;
      }
      keys.push_back("SCALE=1");
      keys.push_back("COMMENT=coordinates multiplied by SCALE=" + value + " when read");
    }
    out.keys[i] = std::move(keys);
  }
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

namespace core {

std::string missingreport(const Specimens& data) {
  std::string out = missingreport(data.missinglandmarks(), data.ids(), data.missingcode());
  for (const std::string& note : data.notes()) out += " " + note;
  return out;
}

} // namespace core
