// The simulation from its definition, and a statistical check that it
// does what it claims.

#include "apps/tectsim/simulation.h"

#include "core/procrustes.h"
#include "core/random.h"
#include "io/row_file.h"
#include "stats/wilks.h"
#include "tests/support/test_support.h"
#include "warp/partial_warps.h"

#include <boost/math/special_functions/beta.hpp>

#include <cmath>
#include <regex>
#include <string>
#include <vector>

namespace {

// The salamander heads: the first five specimens as the start shape, a
// specimen of the other species as the end shape.
struct Exemplars {
  Eigen::MatrixXd start, end;
  Exemplars() {
    const Eigen::MatrixXd heads = io::dload(testsupport::example("plethodon_12lm/plethodon.txt"));
    start = heads.topRows(5);
    end = heads.row(30);
  }
};

tectsim::Parameters parameters(int nsamp, double noise, double defamp, double defangledeg) {
  tectsim::Parameters p;
  p.nsamp = nsamp;
  p.noiseamp = noise;
  p.defamp = defamp;
  p.defangle = core::Angle::degrees(defangledeg);
  p.npca = Eigen::MatrixXd::Constant(1, 1, 1);
  return p;
}

// Partial Procrustes distance between matching rows of two sets.
Eigen::VectorXd rowdistances(const Eigen::MatrixXd& a, const Eigen::MatrixXd& b) {
  Eigen::VectorXd d(a.rows());
  for (Eigen::Index i = 0; i < a.rows(); ++i) {
    const Eigen::MatrixXd ai = a.row(i), bi = b.row(i);
    const Eigen::MatrixXd fitted = core::getpsup(bi, core::getpsup(ai, ai));
    d(i) = (fitted.leftCols(a.cols() - 1) - core::getpsup(ai, ai).leftCols(a.cols() - 1)).norm();
  }
  return d;
}

} // namespace

TEST(buildmodels, CarriesPathPositionsAndHonoursItsParameters) {
  const Exemplars ex;
  core::setseed(1);
  const tectsim::Models none = tectsim::buildmodels(ex.start, ex.end, parameters(25, 0, 1, 0));
  EXPECT_TRUE(testsupport::near(none.ndata, none.cdata, 0));
  for (const Eigen::MatrixXd* set : {&none.cdata, &none.ndata, &none.dcdata, &none.dndata}) {
    ASSERT_EQ(set->rows(), 25);
    EXPECT_TRUE((set->col(24).array() > 0).all() && (set->col(24).array() < 1).all());
  }
  // No strain: the deformed specimens only differ by their turn.
  EXPECT_LT(rowdistances(none.cdata, none.dcdata).maxCoeff(), 1e-9);
  // An angle of 90 degrees swaps x and y: a mirror image of each specimen.
  const tectsim::Models swapped = tectsim::buildmodels(ex.start, ex.end, parameters(10, 0, 1, 90));
  Eigen::MatrixXd mirrored = swapped.cdata;
  for (int j = 0; j < 12; ++j) mirrored.col(2 * j).swap(mirrored.col(2 * j + 1));
  EXPECT_LT(rowdistances(mirrored, swapped.dcdata).maxCoeff(), 1e-9);
  // A smaller second run leaves no rows of the first.
  EXPECT_EQ(tectsim::buildmodels(ex.start, ex.end, parameters(4, 0.01, 1.5, 30)).cdata.rows(), 4);
  // The same seed builds the same experiment.
  core::setseed(7);
  const tectsim::Models a = tectsim::buildmodels(ex.start, ex.end, parameters(12, 0.01, 1.5, 30));
  core::setseed(7);
  const tectsim::Models b = tectsim::buildmodels(ex.start, ex.end, parameters(12, 0.01, 1.5, 30));
  EXPECT_TRUE(testsupport::near(a.udndata, b.udndata, 0));
  EXPECT_EQ(testsupport::error_of([&] { tectsim::buildmodels(ex.start, ex.start, parameters(12, 0, 1, 0)); }),
            "The end shape must be one specimen; its file holds 5");
  EXPECT_EQ(testsupport::error_of([&] { tectsim::buildmodels(ex.start, ex.end, parameters(12, 0, 1.5, 135)); }),
            "A deformation angle of 135 degrees flattens every specimen onto a line (the deformation's determinant is "
            "cos 2a = 0); choose another angle");
}

TEST(dostats, ReportsItsBlocksInOrderWithTheirDegreesOfFreedom) {
  const Exemplars ex;
  core::setseed(2);
  const std::string report = tectsim::dostats(tectsim::buildmodels(ex.start, ex.end, parameters(40, 0.002, 2, 30)));
  std::size_t at = 0;
  for (const char* block :
       {"\nNoisy Data \nWilks", "\nDeformed Clean Data \nWilks", "\nDeformed Noisy Data \nWilks",
        "\n\nClean Data, Univariate", "\n\nNoisy Data, Univariate", "\n\nDeformed Clean Data, Univariate",
        "\n\nDeformed Noisy Data, Univariate", "\nRetrodeformed Clean Data \nWilks", "\nRetrodeformed Noisy Data \nWilks",
        "\n\nRetrodeformed Clean Data, Univariate", "\n\nRetrodeformed Noisy Data, Univariate"}) {
    const std::size_t found = report.find(block, at);
    ASSERT_NE(found, std::string::npos) << block << "\n" << report;
    at = found + 1;
  }
  // p = 2k - 4 = 20 shape variables, 40 specimens: df2 = 40 - 20 - 1.
  EXPECT_NE(report.find("df1=20 ,    df2=19,"), std::string::npos) << report;
  // The clean specimens lie on the path: their distance from its start
  // grows with their position, beyond any doubt.
  const std::regex clean(R"(Clean Data, Univariate Results \nRegression Slope: (\S+) .* p score (?:= +|< )(\S+)\n)");
  std::smatch m;
  ASSERT_TRUE(std::regex_search(report, m, clean)) << report;
  EXPECT_GT(std::stod(m[1]), 0);
  EXPECT_LT(std::stod(m[2]), 1e-6);
}

TEST(dostats, SaysSoWhenTooFewSpecimensMakeWilksSingular) {
  const Exemplars ex;
  core::setseed(3);
  const std::string report = tectsim::dostats(tectsim::buildmodels(ex.start, ex.end, parameters(12, 0.01, 1.5, 30)));
  EXPECT_NE(report.find("\nNoisy Data \nWilks Lambda cannot be computed: 12 specimens leave no degrees of freedom for "
                        "20 shape variables (more than 21 specimens are needed)"),
            std::string::npos)
      << report;
  EXPECT_EQ(report.find("NaN"), std::string::npos) << report;
}

// The p value of each Wilks block is the upper tail of F, with every digit
// kept far below 1e-16: the bundled exemplars, 200 specimens, seed 1, as
// the demonstration runs them. The tail is computed here from the
// incomplete beta of the complement, 1 - F(x; v1, v2) = I_{v2/(v2 + v1 x)}(v2/2,
// v1/2), with F recomputed at full precision from the same sets.
TEST(dostats, GivesTheUpperTailOfFAsItsWilksPValue) {
  core::setseed(1);
  tectsim::Parameters p = parameters(200, 0.01, 1.5, 30);
  const tectsim::Models m = tectsim::buildmodels(io::dload(testsupport::example("tectsim/start.txt")),
                                                 io::dload(testsupport::example("tectsim/end.txt")), p);
  const std::string report = tectsim::dostats(m);
  const std::regex line("(Noisy Data|Deformed Noisy Data|Retrodeformed Noisy Data) \nWilks Lambda= \\S+ +F score= (\\S+) .*"
                        "df1=(\\S+) ,    df2=(\\S+),  p value=(\\S+)");
  std::vector<std::smatch> blocks;
  for (auto it = std::sregex_iterator(report.begin(), report.end(), line); it != std::sregex_iterator(); ++it)
    blocks.push_back(*it);
  ASSERT_EQ(blocks.size(), 3u) << report;

  Eigen::MatrixXd udn = m.udndata;
  udn.col(udn.cols() - 1) = m.dndata.col(m.dndata.cols() - 1);
  const Eigen::MatrixXd* sets[] = {&m.ndata, &m.dndata, &udn};
  for (std::size_t b = 0; b < 3; ++b) {
    SCOPED_TRACE(blocks[b][1].str());
    const core::Superimposition sup = core::getconsensus(*sets[b]);
    const Eigen::MatrixXd pw = warp::getpw_arbit(sup.y, sup.xpt);
    const stats::WilksLambda w = stats::getWilkslambda(pw, pw.col(pw.cols() - 1));
    // The report's F and degrees of freedom are those recomputed.
    EXPECT_NEAR(std::stod(blocks[b][2]), w.f, 5e-5);
    EXPECT_EQ(std::stod(blocks[b][3]), w.df1);
    EXPECT_EQ(std::stod(blocks[b][4]), w.df2);
    const double tail = boost::math::ibeta(w.df2 / 2, w.df1 / 2, w.df2 / (w.df2 + w.df1 * w.f));
    const double printed = std::stod(blocks[b][5]);
    EXPECT_NEAR(printed / tail, 1, 1e-4) << printed << " against " << tail;
    // Far below what 1 - cdf could show.
    EXPECT_LT(printed, 1e-40);
  }
}
