// The help a program gives about itself: where it finds the user's guide,
// the window that shows it, and the Help menu of its window.
#include "shell/qt/guide.h"
#include "shell/qt/menus.h"
#include "shell/qt/program.h"
#include "shell/qt/window.h"

#include "tests/support/test_support.h"

#include <QAction>
#include <QApplication>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QImage>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTextBrowser>
#include <QTextDocument>
#include <QUrl>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

namespace {

void writefile(const fs::path& path) {
  fs::create_directories(path.parent_path());
  std::ofstream(path) << "# Tectomorph user's guide\n";
}

} // namespace

TEST(findguide, PrefersTheInstalledGuideToTheSourceTreeAndFallsBack) {
  const fs::path prefix = testsupport::temppath("installed-prefix");
  const fs::path source = testsupport::temppath("source-docs");
  const fs::path installed = prefix / "share/doc/tectomorph/guide.md";
  fs::create_directories(prefix / "bin");
  writefile(installed);
  writefile(source / "guide.md");

  // An installed program built from a checkout shows its installed guide.
  EXPECT_EQ(shell::findguide(prefix / "bin", source), installed);
  // The program of a build folder has none installed beside it.
  fs::remove(installed);
  EXPECT_EQ(shell::findguide(prefix / "bin", source), source / "guide.md");
  // An installed tree whose source checkout is gone: nothing to open.
  fs::remove(source / "guide.md");
  EXPECT_FALSE(shell::findguide(prefix / "bin", source).has_value());
  // A folder of that name is not a guide.
  fs::create_directories(installed);
  EXPECT_FALSE(shell::findguide(prefix / "bin", source).has_value());
}

TEST(guidepath, FindsTheSourceTreeGuideFromTheBuildFolder) {
  // The tests run from the build folder, where nothing is installed.
  const fs::path docs = fs::path(TECTO_EXAMPLES_DIR).parent_path() / "docs" / "guide.md";
  const auto guide = shell::guidepath();
  ASSERT_TRUE(guide.has_value());
  EXPECT_TRUE(fs::equivalent(*guide, docs));
}

TEST(addmenubar, GivesTheWindowOneHelpMenuAndKeepsItsLayoutSize) {
  shell::setheadless(true);
  shell::Figure* f = shell::openfig(std::string(TECTO_SHELL_DATA) + "/Tiny.fig", "new");
  // Larger than its least size, as the programs' windows open: the bar
  // then has room to take from the layout unless the window grows.
  f->resize(f->minimumSizeHint() + QSize(100, 200));
  QApplication::processEvents();
  const QSize form = f->form()->size();
  shell::Program p;
  p.executable = "tiny";
  p.launcher = "Tiny";
  p.summary = "Tiny: a window for tests.";

  QMenuBar* bar = shell::addmenubar(f, p);
  // Opening the program's window again (its launcher reuses it) adds no
  // second bar or menu.
  EXPECT_EQ(shell::addmenubar(f, p), bar);
  EXPECT_EQ(f->findChildren<QMenuBar*>().size(), 1);
  ASSERT_EQ(bar->actions().size(), 2);
  EXPECT_EQ(bar->actions()[0]->text(), "&File");
  EXPECT_EQ(bar->actions()[1]->text(), "&Help");

  const QList<QAction*> help = bar->actions()[1]->menu()->actions();
  ASSERT_EQ(help.size(), 2);
  EXPECT_EQ(help[0]->text(), "&User's guide");
  EXPECT_EQ(help[0]->shortcut(), QKeySequence(Qt::Key_F1));
  EXPECT_EQ(help[1]->text(), "&About Tiny");

  // The window grew by the bar: the layout, and the plot whose pictures
  // scripts save, keep the size they had.
  f->layout()->activate();
  QApplication::processEvents();
  EXPECT_EQ(f->form()->size(), form);
  // The bar is not a control of the layout: the handles stay the layout's.
  EXPECT_FALSE(shell::guihandles(f).contains("MenuBar"));
  delete f;
  QApplication::processEvents();
}

TEST(showguide, RendersTheGuideWithEveryPictureItNamesInOneWindow) {
  const auto guide = shell::guidepath();
  ASSERT_TRUE(guide.has_value());
  QWidget parent;
  QTextBrowser* browser = shell::showguide(*guide, &parent);
  ASSERT_NE(browser, nullptr);
  // Rendered, not shown as its Markdown source.
  const QString text = browser->document()->toPlainText();
  EXPECT_TRUE(text.startsWith("Tectomorph user's guide")) << text.left(80).toStdString();
  EXPECT_FALSE(text.contains("![")) << "an image link left as text";
  // Every picture the guide names is found beside it.
  std::ifstream in(*guide);
  const std::string markdown((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const QRegularExpression picture(R"(!\[[^\]]*\]\(([^)]+)\))");
  int pictures = 0;
  for (auto it = picture.globalMatch(QString::fromStdString(markdown)); it.hasNext(); ++pictures) {
    const QString name = it.next().captured(1);
    const QVariant image = browser->document()->resource(QTextDocument::ImageResource, QUrl(name));
    EXPECT_FALSE(image.isNull() || image.value<QImage>().isNull()) << name.toStdString();
  }
  EXPECT_GT(pictures, 3);
  // A link of the contents moves to its section, and Back returns.
  QScrollBar* scroll = browser->verticalScrollBar();
  scroll->setValue(0);
  emit browser->anchorClicked(QUrl("#12-walkthrough-the-bundled-trilobites-from-load-to-retrodeformation"));
  EXPECT_GT(scroll->value(), scroll->maximum() / 2);
  auto* back = browser->window()->findChild<QPushButton*>();
  ASSERT_NE(back, nullptr);
  back->click();
  EXPECT_EQ(scroll->value(), 0);
  // Asked again, the same window comes forward.
  EXPECT_EQ(shell::showguide(*guide, &parent), browser);
  EXPECT_EQ(parent.findChildren<QTextBrowser*>().size(), 1);
}
