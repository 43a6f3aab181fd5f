#include "shell/qt/window.h"
#include "shell/qt/results_pane.h"
#include "shell/qt/window_host.h"

#include "tests/support/test_support.h"

#include <QAbstractButton>
#include <QApplication>
#include <QScrollArea>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>

using testsupport::error_of;

namespace {

const std::string tiny = std::string(TECTO_SHELL_DATA) + "/Tiny.fig";

void closeall() {
  for (shell::Figure* f : shell::figures()) delete f;
  QApplication::processEvents();
}

} // namespace

TEST(openfig, ReusesTheOpenWindowAndLoadsAnotherOnRequest) {
  shell::setheadless(true);
  shell::Figure* first = shell::openfig(tiny, "reuse");
  shell::Figure* again = shell::openfig(tiny, "reuse");
  EXPECT_EQ(first, again);
  EXPECT_EQ(shell::gcf(), first);
  shell::Figure* other = shell::openfig(tiny, "new");
  EXPECT_NE(other, first);
  // "reuse" now returns the newest window of the layout.
  EXPECT_EQ(shell::openfig(tiny, "reuse"), other);
  const auto& list = std::any_cast<const std::vector<QPointer<shell::Figure>>&>(
      shell::rootappdata().at("Tiny_SINGLETON_handle"));
  EXPECT_EQ(list.size(), 2u);
  // A closed window is dropped from the registry, and the next "reuse"
  // returns the one still open.
  delete other;
  EXPECT_EQ(shell::openfig(tiny, "reuse"), first);
  closeall();
}

TEST(openfig, RefusesOtherFilesAndPolicies) {
  EXPECT_EQ(error_of([] { shell::openfig("Tiny.txt"); }), "Argument must be a .fig file");
  EXPECT_EQ(error_of([] { shell::openfig(tiny, "again"); }), "Second input argument must be 'new' or 'reuse'.");
  EXPECT_EQ(error_of([] { shell::openfig("/nowhere/Nothing.fig"); }), "Cannot find the window layout 'Nothing.fig'");
  // Registry keys are cut to 31 characters.
  EXPECT_TRUE(shell::figures().empty());
}

TEST(guihandles, HoldsEveryValidTagOnceWithAllItsObjects) {
  shell::setheadless(true);
  shell::Figure* f = shell::openfig(tiny, "new");
  const shell::Handles h = shell::guihandles(f->form()->findChild<QLabel*>("FileBox"));
  EXPECT_TRUE(h.contains("Tiny"));
  EXPECT_TRUE(h.contains("FileBox"));
  EXPECT_TRUE(h.contains("axes1"));
  EXPECT_TRUE(h.contains("StatusLine"));
  EXPECT_FALSE(h.contains(""));
  EXPECT_FALSE(h.contains("1abc"));
  EXPECT_FALSE(h.contains("end"));
  ASSERT_TRUE(h.contains("Twin"));
  EXPECT_EQ(h.at("Twin").size(), 2u);
  EXPECT_EQ(shell::findobj("Twin").size(), 2u);

  shell::guidata(f, h);
  const auto stored = std::any_cast<shell::Handles>(shell::guidata(f->form()));
  EXPECT_EQ(stored.size(), h.size());
  QObject stray;
  EXPECT_EQ(error_of([&] { shell::guihandles(&stray); }), "H must be the handle to a figure or figure descendent.");
  closeall();
}

TEST(movegui, BringsAWindowHalfOffTheScreenBackWhole) {
  shell::setheadless(false);
  shell::Figure* f = shell::openfig(tiny, "new");
  const QRect screen = f->screen()->geometry();
  f->resize(300, 200);
  f->move(screen.right() - 100, screen.bottom() - 50);
  shell::movegui(f, "onscreen");
  EXPECT_TRUE(screen.contains(f->frameGeometry())) << f->frameGeometry().x() << "," << f->frameGeometry().y();

  // A window that fits is left where it is.
  f->move(screen.left() + 10, screen.top() + 20);
  const QPoint before = f->frameGeometry().topLeft();
  shell::movegui(f, "onscreen");
  EXPECT_EQ(f->frameGeometry().topLeft(), before);

  shell::movegui(f, "northeast");
  EXPECT_EQ(f->frameGeometry().right(), screen.right());
  EXPECT_EQ(f->frameGeometry().top(), screen.top());
  shell::movegui(f, 10, 20); // from the left and the bottom
  EXPECT_EQ(f->frameGeometry().left(), screen.left() + 10);
  EXPECT_EQ(f->frameGeometry().bottom(), screen.bottom() - 20);
  EXPECT_EQ(error_of([&] { shell::movegui(f, "upstairs"); }), "unrecognized position");
  shell::setheadless(true);
  closeall();
}

TEST(openfig, EditBoxesKeepTextLongerThanQtsDefaultLimitWhenTypedOrPasted) {
  shell::setheadless(true);
  shell::Figure* f = shell::openfig(tiny, "new");
  QLineEdit* box = nullptr;
  for (QObject* o : f->objects())
    if (o->objectName() == "SlabBox") box = qobject_cast<QLineEdit*>(o);
  ASSERT_NE(box, nullptr);
  // A list of 8,000 landmark numbers, as a person would paste it.
  QString list;
  for (int i = 1; i <= 8000; ++i) list += QString::number(i) + " ";
  ASSERT_GT(list.size(), 32767);
  box->clear();
  box->insert(list);
  EXPECT_EQ(box->text(), list);
  closeall();
}

TEST(progress, ShowsABarWhoseCancelStopsTheActionAndSaysNothingChanged) {
  shell::setheadless(true);
  shell::Figure* f = shell::openfig(tiny, "new");
  shell::WindowHost host(f->name());
  EXPECT_TRUE(host.progress("Reading big.txt", 0.25));
  auto* bar = f->findChild<QProgressBar*>();
  ASSERT_NE(bar, nullptr);
  EXPECT_FALSE(bar->isHidden());
  EXPECT_EQ(bar->value(), 250);
  EXPECT_EQ(f->status(), "Reading big.txt");
  QPushButton* cancel = nullptr;
  for (QPushButton* b : f->findChildren<QPushButton*>())
    if (b->text() == "Cancel") cancel = b;
  ASSERT_NE(cancel, nullptr);
  EXPECT_FALSE(cancel->isHidden());
  cancel->click();
  // The next report hears the request, however soon it comes.
  EXPECT_FALSE(host.progress("Reading big.txt", 0.26));
  host.endprogress();
  EXPECT_TRUE(bar->isHidden());
  EXPECT_TRUE(cancel->isHidden());
  EXPECT_EQ(f->status(), "Cancelled: nothing was changed");
  // The request ends with its action: the next one runs on.
  EXPECT_TRUE(host.progress("Reading other.txt", 0.5));
  host.endprogress();
  closeall();
}

// Every program window fits 1920x1080 magnified twice (960x540 device
// independent pixels, less a title bar and a menu bar): the control panel
// scrolls instead of holding the window tall, and at the least size the
// window takes no label or button is cut short.
TEST(splitpanels, EveryProgramWindowFitsAMagnifiedLaptopScreenWithNothingCut) {
  for (const char* name : {"Anglepick", "Restrain", "Symrestore", "Tectsim"}) {
    SCOPED_TRACE(name);
    shell::setheadless(false);
    shell::Figure* f = shell::openfig(name, "new");
    shell::splitpanels(f);
    shell::addresultspane(f, shell::RunInfo{name, false});
    shell::showresultspane(f);
    QWidget* panel = f->findChild<QWidget*>("controlPanel");
    ASSERT_NE(panel, nullptr);
    EXPECT_NE(qobject_cast<QScrollArea*>(panel->parentWidget()->parentWidget()), nullptr);
    const QSize least = f->minimumSizeHint();
    EXPECT_LE(least.width(), 960);
    EXPECT_LE(least.height(), 480);
    f->resize(least);
    QCoreApplication::sendPostedEvents();
    for (QWidget* w : panel->findChildren<QWidget*>()) {
      const auto* label = qobject_cast<QLabel*>(w);
      const bool oneline = label != nullptr && !label->wordWrap();
      if (!w->isVisible() || (!oneline && qobject_cast<QAbstractButton*>(w) == nullptr)) continue;
      EXPECT_GE(w->width(), w->minimumSizeHint().width()) << w->objectName().toStdString();
    }
    delete f;
  }
}
