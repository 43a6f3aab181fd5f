#include "shell/qt/guide.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <system_error>

namespace shell {

namespace fs = std::filesystem;

std::optional<fs::path> findguide(const fs::path& programdir, const fs::path& sourcedocs) {
  // The installed copy first: a program built from a checkout and then
  // installed should show the guide of its release, even while the
  // checkout that built it moves on.
  for (const fs::path& candidate :
       {programdir / TECTO_INSTALLED_DOCS / "guide.md", sourcedocs / "guide.md"}) {
    std::error_code ec;
    if (fs::is_regular_file(candidate, ec)) return candidate.lexically_normal();
  }
  return std::nullopt;
}

std::optional<fs::path> guidepath() {
  return findguide(QCoreApplication::applicationDirPath().toStdString(), TECTO_SOURCE_DOCS);
}

QTextBrowser* showguide(const fs::path& guide, QWidget* parent) {
  if (parent != nullptr)
    if (auto* open = parent->findChild<QDialog*>("UsersGuideWindow")) {
      open->show();
      open->raise();
      open->activateWindow();
      return open->findChild<QTextBrowser*>("UsersGuideText");
    }
  auto* window = new QDialog(parent, Qt::Window);
  window->setObjectName("UsersGuideWindow");
  window->setWindowTitle(QObject::tr("Tectomorph user's guide"));
  auto* layout = new QVBoxLayout(window);
  auto* row = new QHBoxLayout;
  auto* find = new QLineEdit(window);
  find->setObjectName("UsersGuideFind");
  find->setPlaceholderText(QObject::tr("Find in the guide (Enter: next)"));
  find->setClearButtonEnabled(true);
  auto* back = new QPushButton(QObject::tr("Back"), window);
  row->addWidget(find, 1);
  row->addWidget(back);
  layout->addLayout(row);

  auto* browser = new QTextBrowser(window);
  browser->setObjectName("UsersGuideText");
  // Links within the guide move in it; links to the web go to the browser.
  browser->setOpenLinks(true);
  browser->setOpenExternalLinks(true);
  const QString folder = QString::fromStdString(guide.parent_path().string());
  browser->setSearchPaths({folder});
  browser->setSource(QUrl::fromLocalFile(QString::fromStdString(guide.string())), QTextDocument::MarkdownResource);
  layout->addWidget(browser, 1);
  QObject::connect(back, &QPushButton::clicked, browser, &QTextBrowser::backward);
  QObject::connect(browser, &QTextBrowser::backwardAvailable, back, &QPushButton::setEnabled);
  back->setEnabled(false);
  // Enter finds the next match, wrapping round to the top once.
  QObject::connect(find, &QLineEdit::returnPressed, browser, [browser, find] {
    if (find->text().isEmpty()) return;
    if (!browser->find(find->text())) {
      browser->moveCursor(QTextCursor::Start);
      browser->find(find->text());
    }
  });

  // As large as the guide's pictures want, within the screen.
  QSize size(960, 760);
  if (const QScreen* screen = parent != nullptr ? parent->screen() : QGuiApplication::primaryScreen())
    size = size.boundedTo(screen->availableGeometry().size() * 9 / 10);
  window->resize(size);
  window->setAttribute(Qt::WA_DeleteOnClose);
  window->show();
  return browser;
}

} // namespace shell
