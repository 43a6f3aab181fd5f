#include "shell/qt/figure_copy.h"
#include "shell/actions.h"
#include "shell/qt/plot_axes.h"
#include "shell/shape_plot.h"

#include "core/error.h"
#include "tests/support/test_support.h"

#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QMimeData>
#include <qcustomplot.h>

#include <random>

using testsupport::error_of;

namespace {

std::vector<QCPCurve*> curves(QCustomPlot& p) {
  std::vector<QCPCurve*> out;
  for (int i = 0; i < p.plottableCount(); ++i) out.push_back(qobject_cast<QCPCurve*>(p.plottable(i)));
  return out;
}

std::vector<std::pair<double, double>> points(const QCPCurve* c) {
  std::vector<std::pair<double, double>> out;
  for (const QCPCurveData& d : *c->data()) out.emplace_back(d.key, d.value);
  return out;
}

// Drawn at y's scale, the x range must fill the axis box to within a pixel.
::testing::AssertionResult equalscaled(QCustomPlot& p) {
  p.replot();
  const QRect r = p.axisRect()->rect();
  const double perpixel = p.yAxis->range().size() / r.height();
  const double off = p.xAxis->range().size() / perpixel - r.width();
  if (std::abs(off) <= 1) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "x range is " << off << " pixels off equal scaling in a " << r.width()
                                       << " x " << r.height() << " box";
}

::testing::AssertionResult contains(const shell::Limits& l, const Eigen::MatrixXd& x) {
  for (Eigen::Index i = 0; i < x.rows(); ++i)
    for (Eigen::Index j = 0; j + 1 < x.cols(); j += 2)
      if (x(i, j) < l[0] || x(i, j) > l[1] || x(i, j + 1) < l[2] || x(i, j + 1) > l[3])
        return ::testing::AssertionFailure() << "(" << x(i, j) << ", " << x(i, j + 1) << ") is off the limits";
  return ::testing::AssertionSuccess();
}

// m specimen rows of k landmarks plus a size slot, spread `sx` by `sy`.
Eigen::MatrixXd dataset(Eigen::Index m, Eigen::Index k, double sx, double sy, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> u(-1, 1);
  Eigen::MatrixXd x(m, 2 * k + 1);
  for (Eigen::Index i = 0; i < m; ++i) {
    for (Eigen::Index j = 0; j < k; ++j) x(i, 2 * j) = sx * u(rng), x(i, 2 * j + 1) = sy * u(rng);
    x(i, 2 * k) = 1;
  }
  return x;
}

class PlotTest : public ::testing::Test {
protected:
  PlotTest() { plot.resize(600, 450); }
  QCustomPlot plot;
  shell::PlotAxes axes{&plot};
};

TEST_F(PlotTest, ShowshapeDrawsLandmarksInSpecimenOrderAsOnePlottable) {
  const Eigen::MatrixXd x = dataset(3, 4, 1, 1, 1);
  EXPECT_FALSE(axes.hold());
  EXPECT_EQ(shell::showshape(axes, x), 1);
  EXPECT_TRUE(axes.hold());
  ASSERT_EQ(curves(plot).size(), 1u);
  const auto p = points(curves(plot)[0]);
  ASSERT_EQ(p.size(), 12u);
  for (std::size_t n = 0; n < p.size(); ++n)
    EXPECT_EQ(p[n], std::make_pair(x(n / 4, 2 * (n % 4)), x(n / 4, 2 * (n % 4) + 1))) << "point " << n;
  EXPECT_EQ(curves(plot)[0]->scatterStyle().shape(), QCPScatterStyle::ssDisc); // default "k."

  // Rows without the size slot lose their last landmark.
  axes.cla();
  shell::showshape(axes, dataset(2, 4, 1, 1, 2).leftCols(8), "bo");
  EXPECT_EQ(axes.pointcount(), 6u);
}

TEST_F(PlotTest, SuccessiveShowshapesOverlayAndKeepEverythingInEqualScale) {
  const Eigen::MatrixXd wide = dataset(20, 5, 10, 1, 3), tall = dataset(20, 5, 1, 30, 4);
  shell::showshape(axes, wide, "bo");
  EXPECT_TRUE(contains(axes.limits(), wide));
  EXPECT_TRUE(equalscaled(plot));
  shell::showshape(axes, tall, "r+");
  ASSERT_EQ(curves(plot).size(), 2u);
  EXPECT_EQ(axes.pointcount(), 200u);
  EXPECT_EQ(curves(plot)[0]->scatterStyle().pen().color(), QColor(Qt::blue));
  EXPECT_EQ(curves(plot)[1]->scatterStyle().pen().color(), QColor(Qt::red));
  EXPECT_DOUBLE_EQ(curves(plot)[1]->scatterStyle().size(), 3 * plot.logicalDpiY() / 72.0);
  EXPECT_TRUE(contains(axes.limits(), wide));
  EXPECT_TRUE(contains(axes.limits(), tall));
  EXPECT_TRUE(equalscaled(plot));

  // Equal scaling follows the window when it is resized to another shape.
  plot.show();
  plot.resize(300, 700);
  QCoreApplication::processEvents();
  EXPECT_TRUE(equalscaled(plot));
  EXPECT_TRUE(contains(axes.limits(), tall));
  EXPECT_TRUE(contains(axes.limits(), wide));
}

TEST_F(PlotTest, StylesGiveColourMarkerOrLine) {
  struct Case {
    const char* style;
    QColor colour;
    QCPScatterStyle::ScatterShape shape;
  };
  const QColor green(0, 128, 0);
  const Case cases[] = {
      {"bo", Qt::blue, QCPScatterStyle::ssCircle},          {"ro", Qt::red, QCPScatterStyle::ssCircle},
      {"rv", Qt::red, QCPScatterStyle::ssTriangleInverted}, {"r>", Qt::red, QCPScatterStyle::ssCustom},
      {"r+", Qt::red, QCPScatterStyle::ssPlus},             {"k+", Qt::black, QCPScatterStyle::ssPlus},
      {"ko", Qt::black, QCPScatterStyle::ssCircle},         {"kd", Qt::black, QCPScatterStyle::ssDiamond},
      {"md", Qt::magenta, QCPScatterStyle::ssDiamond},      {"gd", green, QCPScatterStyle::ssDiamond},
      {"gv", green, QCPScatterStyle::ssTriangleInverted},   {"k.", Qt::black, QCPScatterStyle::ssDisc},
      {"cx", Qt::cyan, QCPScatterStyle::ssCross},           {"y*", Qt::yellow, QCPScatterStyle::ssStar},
      {"ws", Qt::white, QCPScatterStyle::ssSquare},         {"b^", Qt::blue, QCPScatterStyle::ssTriangle},
      {"g", green, QCPScatterStyle::ssNone},                {"k-", Qt::black, QCPScatterStyle::ssNone}};
  const Eigen::VectorXd v = Eigen::VectorXd::LinSpaced(3, 0, 1);
  for (const Case& c : cases) {
    axes.plot(v, v, c.style);
    const QCPCurve* curve = curves(plot).back();
    const bool line = c.shape == QCPScatterStyle::ssNone;
    EXPECT_EQ(curve->scatterStyle().shape(), c.shape) << c.style;
    EXPECT_EQ(curve->lineStyle(), line ? QCPCurve::lsLine : QCPCurve::lsNone) << c.style;
    EXPECT_EQ((line ? curve->pen() : curve->scatterStyle().pen()).color(), c.colour) << c.style;
  }
  EXPECT_EQ(curves(plot).size(), 1u); // hold is off: each plot replaced the last

  // The custom triangles point the way their character does.
  axes.plot(v, v, "r>");
  const QRectF right = curves(plot).back()->scatterStyle().customPath().boundingRect();
  axes.plot(v, v, "r<");
  const QRectF left = curves(plot).back()->scatterStyle().customPath().boundingRect();
  EXPECT_GT(right.right(), -right.left());
  EXPECT_GT(-left.left(), left.right());

  for (const char* bad : {"zq", "q", "", "b-o", "bz"})
    EXPECT_NE(error_of([&] { axes.plot(v, v, bad); }).find(std::string("'") + bad + "'"), std::string::npos)
        << bad;
  EXPECT_EQ(error_of([&] { axes.plot(v, Eigen::VectorXd(2), "bo"); }), "Cannot plot 3 x values against 2 y values");
}

TEST_F(PlotTest, AutomaticLimitsCoverTextsAndSinglePoints) {
  axes.text(4, -2, "only a label");
  const shell::Limits alone = axes.limits();
  // One point opens to 2 x 2, with 3 % margins.
  EXPECT_TRUE(testsupport::near(Eigen::Vector4d(alone[0], alone[1], alone[2], alone[3]),
                                Eigen::Vector4d(2.94, 5.06, -3.06, -0.94), 1e-12));

  axes.sethold(true);
  axes.plot(Eigen::Vector2d(0, 1), Eigen::Vector2d(0, 1), "bo");
  axes.text(5, -3, "far");
  axes.axisauto();
  axes.axisequal();
  const shell::Limits l = axes.limits();
  EXPECT_LE(l[0], 0);
  EXPECT_GE(l[1], 5);
  EXPECT_LE(l[2], -3);
  EXPECT_GE(l[3], 1);
  EXPECT_TRUE(equalscaled(plot));

  // Fixed limits stay through later plots; automatic ones follow them.
  axes.setlimits({-1, 1, -1, 1});
  axes.plot(Eigen::Vector2d(9, 9), Eigen::Vector2d(9, 9), "ko");
  EXPECT_EQ(axes.limits(), (shell::Limits{-1, 1, -1, 1}));
  axes.axisauto();
  EXPECT_NEAR(axes.limits()[1], 9 + 0.03 * 9, 1e-12);
  EXPECT_NE(error_of([&] { axes.setlimits({1, 1, 0, 1}); }), "no error");

  // Without hold a plot starts afresh: texts gone, tight limits, not equal.
  axes.axisequal();
  axes.sethold(false);
  axes.plot(Eigen::Vector2d(0, 10), Eigen::Vector2d(0, 1), "b");
  EXPECT_EQ(plot.plottableCount(), 1);
  EXPECT_EQ(plot.itemCount(), 0);
  const shell::Limits fresh = axes.limits();
  EXPECT_TRUE(testsupport::near(Eigen::Vector4d(fresh[0], fresh[1], fresh[2], fresh[3]),
                                Eigen::Vector4d(-0.3, 10.3, -0.03, 1.03), 1e-12));

  axes.cla();
  EXPECT_EQ(plot.plottableCount(), 0);
  EXPECT_EQ(plot.itemCount(), 0);
  EXPECT_EQ(axes.pointcount(), 0u);
  EXPECT_TRUE(plot.xAxis->visible());
}

TEST_F(PlotTest, SavesPngSvgAndPdfByExtension) {
  shell::showshape(axes, dataset(5, 4, 1, 1, 5), "bo");
  axes.text(0, 0, "label");
  const std::pair<const char*, const char*> files[] = {{"a.png", "\x89PNG"}, {"a.svg", "<?xml"}, {"a.pdf", "%PDF"}};
  for (const auto& [name, magic] : files) {
    const std::string path = testsupport::temppath(name);
    axes.save(path);
    QFile f(QString::fromStdString(path));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << name;
    const QByteArray head = f.read(5);
    EXPECT_TRUE(head.startsWith(magic)) << name;
    EXPECT_GT(f.size(), 500) << name;
  }
  EXPECT_EQ(error_of([&] { axes.save("x.bmp"); }),
            "Cannot save the plot as 'x.bmp': use a .png, .svg or .pdf file name");
  EXPECT_EQ(error_of([&] { axes.save("/no/such/folder/p.svg"); }),
            "Cannot write the plot to '/no/such/folder/p.svg': No such file or directory");
  EXPECT_EQ(error_of([&] { axes.save("/no/such/folder/p.png"); }),
            "Cannot write the plot to '/no/such/folder/p.png': No such file or directory");
}

TEST_F(PlotTest, HundredThousandPointsGoInOnePlottableInOrder) {
  const Eigen::VectorXd x = Eigen::VectorXd::LinSpaced(100000, 1, 0), y = x.array().square();
  axes.plot(x, y, "k.", 3);
  ASSERT_EQ(curves(plot).size(), 1u);
  EXPECT_EQ(axes.pointcount(), 100000u);
  // x falls, so a plottable that sorts by x would have turned them round.
  const auto p = points(curves(plot)[0]);
  for (Eigen::Index i = 0; i < x.size(); ++i) ASSERT_EQ(p[i], std::make_pair(x(i), y(i))) << i;
}

TEST(FigureCopy, CopiesAtTheWindowsShapeThenLeavesAutomaticEqualLimits) {
  QWidget window;
  window.resize(800, 400);
  QCustomPlot plot(&window);
  plot.setGeometry(0, 0, 300, 300);
  shell::PlotAxes axes(&plot);
  const Eigen::MatrixXd x = dataset(10, 6, 2, 1, 6);
  shell::showshape(axes, x, "kd");
  axes.setlimits({-5, 5, -4, 6});

  const shell::FigureCopy copy = shell::copybigimage(&plot);
  const shell::Limits widened{-5.3, 5.3, -4.3, 6.3};
  for (int i = 0; i < 4; ++i) EXPECT_NEAR(copy.widened[i], widened[i], 1e-12) << i;
  const shell::Limits& w = copy.widened;
  EXPECT_TRUE(contains(copy.drawn, Eigen::RowVector4d(w[0], w[2], w[1], w[3])));
  EXPECT_EQ(copy.image.size(), QSize(1600, 800));
  EXPECT_TRUE(copy.svg.startsWith("<?xml"));
  EXPECT_TRUE(copy.svg.contains("<svg"));
  const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
  ASSERT_NE(mime, nullptr);
  EXPECT_EQ(mime->data("image/svg+xml"), copy.svg);
  EXPECT_TRUE(mime->hasImage());

  // Afterwards: automatic limits with equal scaling, the old ones dropped.
  const shell::Limits after = axes.limits();
  EXPECT_GT(after[0], -2.5);
  EXPECT_TRUE(contains(after, x));
  EXPECT_TRUE(equalscaled(plot));
  axes.sethold(true);
  axes.plot(Eigen::Matrix<double, 1, 1>(40), Eigen::Matrix<double, 1, 1>(0), "ro");
  EXPECT_GE(axes.limits()[1], 40);

  // The copy was drawn equal-scaled at the window's size, not the plot's.
  axes.setcanvas(window.size());
  axes.setlimits(copy.drawn);
  axes.axisequal();
  EXPECT_EQ(axes.limits(), copy.drawn);
  axes.resetcanvas();
}

} // namespace

namespace {

// Each style's points in drawing order, the gaps between joined calls left
// out, and the sequence of styles as the curves are drawn (one entry per
// change of style).
struct Drawing {
  std::vector<std::pair<QColor, std::vector<std::pair<double, double>>>> runs;
};

Drawing drawing(QCustomPlot& p) {
  Drawing d;
  for (QCPCurve* c : curves(p)) {
    const QColor colour = c->lineStyle() == QCPCurve::lsNone ? c->scatterStyle().pen().color() : c->pen().color();
    if (d.runs.empty() || d.runs.back().first != colour) d.runs.push_back({colour, {}});
    for (const auto& [x, y] : points(c))
      if (!std::isnan(x)) d.runs.back().second.emplace_back(x, y);
  }
  return d;
}

// A construction as Restrain draws it: many small triangles, then the two
// axes, then markers in several calls with a label between them.
void construction(shell::PlotAxes& axes) {
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> u(-2, 2);
  axes.cla();
  axes.sethold(true);
  for (int i = 0; i < 400; ++i) {
    const double vx = u(rng), vy = u(rng);
    axes.plot(Eigen::Vector4d(0, vx, 0, 0), Eigen::Vector4d(1, vy, -1, 1), "k");
  }
  axes.plot(Eigen::Vector3d(1.5, 0, -1.5), Eigen::Vector3d(0.5, 0, -0.5), "b");
  axes.plot(Eigen::Vector3d(-0.3, 0, 0.3), Eigen::Vector3d(0.9, 0, -0.9), "r");
  for (int i = 0; i < 30; ++i) axes.plot(Eigen::Vector2d(u(rng), u(rng)), Eigen::Vector2d(u(rng), u(rng)), "bo");
  axes.text(0, 0, "label");
  for (int i = 0; i < 30; ++i) axes.plot(Eigen::Vector2d(u(rng), u(rng)), Eigen::Vector2d(u(rng), u(rng)), "bo");
  axes.plot(Eigen::Vector2d(0, 0), Eigen::Vector2d(1, 1), "bo", 9); // another marker size: a curve of its own
  axes.axisequal();
}

} // namespace

TEST(PlotBatching, JoinedCallsDrawTheSamePointsInTheSameOrderAsOneCurveEach) {
  QCustomPlot joined, separate;
  joined.resize(600, 450);
  separate.resize(600, 450);
  shell::PlotAxes a(&joined), b(&separate);
  b.setbatching(false);
  construction(a);
  construction(b);

  EXPECT_EQ(separate.plottableCount(), 400 + 2 + 60 + 1);
  // The triangles, each axis, the markers before and after the label, and
  // the larger marker.
  EXPECT_EQ(joined.plottableCount(), 6);
  EXPECT_EQ(a.pointcount(), b.pointcount());
  EXPECT_EQ(a.pointcount(), 400u * 4 + 6 + 120 + 2);
  EXPECT_EQ(a.limits(), b.limits());

  const Drawing da = drawing(joined), db = drawing(separate);
  ASSERT_EQ(da.runs.size(), db.runs.size());
  for (std::size_t i = 0; i < da.runs.size(); ++i) {
    EXPECT_EQ(da.runs[i].first, db.runs[i].first) << "run " << i;
    EXPECT_EQ(da.runs[i].second, db.runs[i].second) << "run " << i;
  }
  // The gaps keep the triangles apart: no line joins one to the next.
  const auto* lines = qobject_cast<QCPCurve*>(joined.plottable(0));
  ASSERT_NE(lines, nullptr);
  EXPECT_EQ(lines->data()->size(), 400 * 4 + 399);

  // And the pictures agree pixel for pixel.
  const QImage ia = joined.toPixmap(600, 450).toImage(), ib = separate.toPixmap(600, 450).toImage();
  EXPECT_EQ(ia, ib);

  // Hold off starts afresh: the next call does not extend an old curve.
  a.sethold(false);
  a.plot(Eigen::Vector2d(0, 1), Eigen::Vector2d(0, 1), "k");
  EXPECT_EQ(joined.plottableCount(), 1);
  EXPECT_EQ(a.pointcount(), 2u);
}

TEST_F(PlotTest, MissingLandmarksAreNeitherMarkedNorCountedAndBreakLines) {
  const double nan = std::nan("");
  axes.sethold(true);
  axes.plot(Eigen::Vector4d(0, nan, 2, 3), Eigen::Vector4d(0, 1, nan, 3), "bo");
  ASSERT_EQ(curves(plot).size(), 1u);
  EXPECT_EQ(points(curves(plot)[0]), (std::vector<std::pair<double, double>>{{0, 0}, {3, 3}}));
  axes.plot(Eigen::Vector3d(0, nan, 5), Eigen::Vector3d(0, nan, -5), "k");
  EXPECT_EQ(axes.pointcount(), 4u);
  // The limits are those of the points that are there.
  EXPECT_NEAR(axes.limits()[1], 5 + 0.03 * 5, 1e-12);
  EXPECT_NEAR(axes.limits()[2], -5 - 0.03 * 8, 1e-12);
}

namespace {

// A fixed picture with every kind of thing the programs draw: lines joined
// over many calls, markers of several styles and sizes, a missing
// landmark, texts, equal scaling at a wide window's shape.
void fixedpicture(shell::PlotAxes& axes) {
  axes.cla();
  axes.sethold(true);
  for (int i = 0; i < 12; ++i) {
    const double a = 0.5 * i;
    axes.plot(Eigen::Vector4d(0, std::cos(a), 0.3 * std::sin(a), 0), Eigen::Vector4d(0, std::sin(a), 0.2, 0), "k");
  }
  axes.plot(Eigen::Vector3d(-1.2, 0, 1.2), Eigen::Vector3d(-0.4, 0, 0.4), "b");
  axes.plot(Eigen::Vector3d(0.2, 0, -0.2), Eigen::Vector3d(-0.6, 0, 0.6), "r");
  const Eigen::MatrixXd specimens = dataset(6, 5, 1.1, 0.8, 21);
  shell::showshape(axes, specimens, "bo");
  Eigen::MatrixXd consensus = specimens.colwise().mean();
  consensus(0, 2) = std::nan("");
  shell::showshape(axes, consensus, "rv");
  for (int j = 0; j < 5; ++j) axes.text(consensus(0, 2 * j), consensus(0, 2 * j + 1), std::to_string(j + 1));
  axes.plot(Eigen::Vector2d(-0.5, 0.5), Eigen::Vector2d(-0.9, 0.9), "gd", 9);
}

} // namespace

// The picture of axes that never call for labels, a title or names must be
// the one drawn before those existed: the reference PNG was saved by the
// plotting code as it was then, from this same fixed picture.
TEST(PlotReference, WithoutLabelsTitleOrNamesThePngIsTheOldOneByteForByte) {
  QCustomPlot plot;
  plot.resize(640, 400);
  shell::PlotAxes axes(&plot);
  fixedpicture(axes);
  const std::string path = testsupport::temppath("reference.png");
  axes.save(path);
  QFile made(QString::fromStdString(path)), reference(QStringLiteral(TECTO_SHELL_DATA "/plot_reference.png"));
  ASSERT_TRUE(made.open(QIODevice::ReadOnly));
  ASSERT_TRUE(reference.open(QIODevice::ReadOnly)) << "no reference picture; this one is " << path;
  const QByteArray a = made.readAll(), b = reference.readAll();
  EXPECT_EQ(QImage::fromData(a), QImage::fromData(b)) << "the pixels differ; see " << path;
  EXPECT_TRUE(a == b) << "the PNG bytes differ; see " << path;

  // Axes that had a title, labels and a legend, once cleared, draw the old
  // picture again: the title's row and the legend leave no trace.
  axes.title("Something");
  axes.label("x (mm)", "y (mm)");
  axes.name("triangles");
  axes.save(testsupport::temppath("titled.png"));
  fixedpicture(axes);
  const std::string again = testsupport::temppath("again.png");
  axes.save(again);
  QFile redrawn(QString::fromStdString(again));
  ASSERT_TRUE(redrawn.open(QIODevice::ReadOnly));
  EXPECT_TRUE(redrawn.readAll() == b) << "the picture after clearing differs; see " << again;
}

namespace {

QCPTextElement* titleof(QCustomPlot& p) {
  for (int i = 0; i < p.plotLayout()->elementCount(); ++i)
    if (auto* t = qobject_cast<QCPTextElement*>(p.plotLayout()->elementAt(i))) return t;
  return nullptr;
}

std::vector<std::string> legendnames(QCustomPlot& p) {
  std::vector<std::string> out;
  if (!p.legend->visible()) return out;
  for (int i = 0; i < p.legend->itemCount(); ++i)
    if (auto* item = qobject_cast<QCPPlottableLegendItem*>(p.legend->item(i)))
      out.push_back(item->plottable()->name().toStdString());
  return out;
}

const QCPCurve* keyof(QCustomPlot& p, int i) {
  return qobject_cast<const QCPCurve*>(qobject_cast<QCPPlottableLegendItem*>(p.legend->item(i))->plottable());
}

} // namespace

TEST_F(PlotTest, LegendKeysOneEntryPerNamedSetInOrderWithItsLook) {
  const Eigen::Vector2d v(0, 1);
  axes.sethold(true);
  EXPECT_TRUE(legendnames(plot).empty());
  for (int i = 0; i < 3; ++i) axes.plot(v, v, "k"); // construction: unnamed
  EXPECT_FALSE(plot.legend->visible());
  for (int i = 0; i < 4; ++i) { // one specimen per call, all one set
    axes.plot(v * i, v, "bo", 3);
    axes.name("specimens");
  }
  axes.plot(v, v * 2, "rv");
  axes.name("consensus");
  axes.text(0, 0, "1");
  axes.plot(v, v * 3, "bo", 3);
  axes.name("specimens"); // after a text: another curve, the same key
  axes.plot(v, v, "r");
  axes.name("long axis");
  axes.plot(v, v, "rv");
  axes.name(""); // no key for an empty name
  axes.plot(v, v, "b");
  axes.name("consensus"); // one name in another style is another key
  EXPECT_EQ(legendnames(plot), (std::vector<std::string>{"specimens", "consensus", "long axis", "consensus"}));
  EXPECT_EQ(axes.pointcount(), 2u * 12);

  // Each key draws its set's marker or line in its colour.
  EXPECT_EQ(keyof(plot, 0)->scatterStyle().shape(), QCPScatterStyle::ssCircle);
  EXPECT_EQ(keyof(plot, 0)->scatterStyle().pen().color(), QColor(Qt::blue));
  EXPECT_DOUBLE_EQ(keyof(plot, 0)->scatterStyle().size(), 3 * plot.logicalDpiY() / 72.0);
  EXPECT_EQ(keyof(plot, 0)->lineStyle(), QCPCurve::lsNone);
  EXPECT_EQ(keyof(plot, 1)->scatterStyle().shape(), QCPScatterStyle::ssTriangleInverted);
  EXPECT_EQ(keyof(plot, 2)->lineStyle(), QCPCurve::lsLine);
  EXPECT_EQ(keyof(plot, 2)->pen().color(), QColor(Qt::red));
  EXPECT_EQ(keyof(plot, 3)->pen().color(), QColor(Qt::blue));
  // Below the axes (and their tick labels), over no data.
  plot.replot();
  const QRect box = plot.axisRect()->outerRect(), legend = plot.legend->outerRect();
  EXPECT_GE(legend.top(), box.bottom()) << "legend over the axes";
  EXPECT_LT(legend.bottom(), plot.height() + 1);

  // Naming keeps calls joined: the specimens' first four calls are one
  // curve, as without names.
  int curvesdrawn = 0;
  for (const QCPCurve* c : curves(plot)) curvesdrawn += c->dataCount() > 0;
  EXPECT_EQ(curvesdrawn, 7); // k, bo, rv, bo, r, rv, b

  axes.cla();
  EXPECT_TRUE(legendnames(plot).empty());
  EXPECT_EQ(plot.legend->itemCount(), 0);
  EXPECT_EQ(error_of([&] { axes.name("nothing"); }), "There is no plotted set to name 'nothing'");
}

TEST_F(PlotTest, TitleAndLabelsShowUntilTheAxesAreCleared) {
  const Eigen::Vector2d v(0, 1);
  axes.plot(v, v, "bo");
  plot.replot();
  const QRect bare = plot.axisRect()->rect();
  axes.name("specimens");
  axes.title("Procrustes superimposition");
  axes.label("x (Procrustes units)", "y (Procrustes units)");
  ASSERT_NE(titleof(plot), nullptr);
  EXPECT_EQ(titleof(plot)->text(), "Procrustes superimposition");
  EXPECT_EQ(plot.xAxis->label(), "x (Procrustes units)");
  EXPECT_EQ(plot.yAxis->label(), "y (Procrustes units)");
  plot.replot();
  const QRect titled = plot.axisRect()->rect();
  EXPECT_GT(titled.top(), bare.top() + 10); // the title's row
  EXPECT_LT(titled.bottom(), bare.bottom() - 10); // the x label
  EXPECT_GT(titled.left(), bare.left() + 10); // the y label
  axes.title("Retitled");
  EXPECT_EQ(titleof(plot)->text(), "Retitled");
  EXPECT_EQ(plot.plotLayout()->rowCount(), 3); // title, axes, legend
  axes.title("");
  EXPECT_EQ(titleof(plot), nullptr);
  EXPECT_EQ(plot.plotLayout()->rowCount(), 2);

  // A plot with hold off clears them, as cla() does.
  axes.title("Old");
  axes.plot(v, v, "k");
  EXPECT_EQ(titleof(plot), nullptr);
  EXPECT_EQ(plot.xAxis->label(), "");
  EXPECT_EQ(plot.yAxis->label(), "");
  EXPECT_TRUE(legendnames(plot).empty());
  axes.title("Old");
  axes.label("a", "b");
  axes.cla();
  EXPECT_EQ(titleof(plot), nullptr);
  EXPECT_EQ(plot.xAxis->label(), "");
  axes.plot(v, v, "bo"); // the same limits as at first: the same axis box
  plot.replot();
  EXPECT_EQ(plot.axisRect()->rect(), bare);
}

TEST_F(PlotTest, EqualScalingAndLimitsHoldWithTitleLabelsAndLegend) {
  const Eigen::MatrixXd wide = dataset(20, 5, 10, 1, 7), tall = dataset(20, 5, 1, 30, 8);
  shell::showshape(axes, wide, "bo", "wide");
  axes.title("Two data sets");
  axes.label("x (mm)", "y (mm)");
  EXPECT_TRUE(equalscaled(plot));
  EXPECT_TRUE(contains(axes.limits(), wide));
  shell::showshape(axes, tall, "r+", "tall");
  EXPECT_EQ(legendnames(plot), (std::vector<std::string>{"wide", "tall"}));
  EXPECT_TRUE(contains(axes.limits(), wide));
  EXPECT_TRUE(contains(axes.limits(), tall));
  EXPECT_TRUE(equalscaled(plot));
  // Settled lazily: a title given after the limits were last worked out
  // still leaves the drawing equal-scaled.
  axes.limits();
  axes.title("A title\nof two lines");
  EXPECT_TRUE(equalscaled(plot));
  plot.show();
  plot.resize(350, 700);
  QCoreApplication::processEvents();
  EXPECT_TRUE(equalscaled(plot));
  EXPECT_TRUE(contains(axes.limits(), tall));
}

TEST_F(PlotTest, SavedPicturesCarryTitleLabelsAndLegend) {
  shell::showshape(axes, dataset(5, 4, 1, 1, 9), "bo", "Specimens");
  axes.title("Wellman construction");
  axes.label("x (mm)", "y (mm)");
  const std::string svg = testsupport::temppath("titled.svg");
  axes.save(svg);
  QFile f(QString::fromStdString(svg));
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  const QByteArray text = f.readAll();
  for (const char* s : {"Wellman construction", "x (mm)", "y (mm)", "Specimens"})
    EXPECT_TRUE(text.contains(s)) << s;
  // The figure copy draws them too.
  const shell::FigureCopy copy = shell::copybigimage(&plot);
  for (const char* s : {"Wellman construction", "x (mm)", "Specimens"}) EXPECT_TRUE(copy.svg.contains(s)) << s;
  EXPECT_NE(titleof(plot), nullptr);
}

TEST_F(PlotTest, ActionTitlesNameTheActionThatDrewUnlessTheActionGaveOne) {
  const Eigen::Vector2d v(0, 1);
  shell::setrunningaction("DoWellman");
  axes.plot(v, v, "k"); // action titles are off until a program turns them on
  EXPECT_EQ(titleof(plot), nullptr);

  shell::setactiontitles(true);
  axes.sethold(true);
  axes.plot(v, v, "b");
  ASSERT_NE(titleof(plot), nullptr);
  EXPECT_EQ(titleof(plot)->text(), "DoWellman");
  axes.title("Wellman plot");
  EXPECT_EQ(titleof(plot)->text(), "Wellman plot");
  shell::setrunningaction("DoRetro");
  axes.plot(v, v, "r");
  EXPECT_EQ(titleof(plot)->text(), "Wellman plot"); // the explicit title wins
  axes.cla();
  EXPECT_EQ(titleof(plot), nullptr); // clearing draws nothing
  axes.text(0, 0, "a");
  EXPECT_EQ(titleof(plot)->text(), "DoRetro");
  shell::setrunningaction("");
  axes.cla();
  axes.plot(v, v, "r"); // outside an action: no title
  EXPECT_EQ(titleof(plot), nullptr);
  shell::setactiontitles(false);
}
