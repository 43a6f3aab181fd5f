#include "shell/qt/guide.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QAbstractTextDocumentLayout>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QImage>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <system_error>

namespace shell {

namespace fs = std::filesystem;

namespace {

// A heading's anchor as the guide's contents name it (GitHub's rule):
// lower case, blanks to hyphens, other punctuation dropped.
QString anchorof(const QString& heading) {
  QString out;
  for (const QChar c : heading.toLower())
    if (c.isLetterOrNumber() || c == '-' || c == '_') out += c;
    else if (c == ' ') out += '-';
  return out;
}

// Scrolls the browser so that the heading with that anchor is at the top;
// false when the guide has none.
bool showheading(QTextBrowser* browser, const QString& anchor) {
  for (QTextBlock b = browser->document()->begin(); b.isValid(); b = b.next())
    if (b.blockFormat().headingLevel() > 0 && anchorof(b.text()) == anchor) {
      const int y = static_cast<int>(browser->document()->documentLayout()->blockBoundingRect(b).top());
      browser->verticalScrollBar()->setValue(y);
      return true;
    }
  return false;
}

// Pictures wider than `width` are shown at that width, in proportion, so
// that a screenshot of a whole window is seen whole beside its text.
void fitpictures(QTextDocument* document, int width) {
  for (QTextBlock b = document->begin(); b.isValid(); b = b.next())
    for (auto it = b.begin(); !it.atEnd(); ++it) {
      const QTextFragment fragment = it.fragment();
      if (!fragment.charFormat().isImageFormat()) continue;
      QTextImageFormat picture = fragment.charFormat().toImageFormat();
      const QImage image = document->resource(QTextDocument::ImageResource, QUrl(picture.name())).value<QImage>();
      if (image.isNull() || image.width() <= width) continue;
      picture.setWidth(width);
      picture.setHeight(static_cast<double>(width) * image.height() / image.width());
      QTextCursor cursor(document);
      cursor.setPosition(fragment.position());
      cursor.setPosition(fragment.position() + fragment.length(), QTextCursor::KeepAnchor);
      cursor.setCharFormat(picture);
    }
}

} // namespace

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
  // Links within the guide move in it (Back returns); links to the web go
  // to the desktop's browser, and links to other files of the source tree
  // are left alone.
  browser->setOpenLinks(false);
  const QString folder = QString::fromStdString(guide.parent_path().string());
  browser->setSearchPaths({folder});
  browser->setSource(QUrl::fromLocalFile(QString::fromStdString(guide.string())), QTextDocument::MarkdownResource);
  fitpictures(browser->document(), 720);
  layout->addWidget(browser, 1);
  auto* history = new QList<int>;
  QObject::connect(window, &QObject::destroyed, [history] { delete history; });
  QObject::connect(browser, &QTextBrowser::anchorClicked, browser, [browser, back, history](const QUrl& url) {
    if (url.scheme() == "http" || url.scheme() == "https" || url.scheme() == "mailto") {
      QDesktopServices::openUrl(url);
      return;
    }
    if (!url.hasFragment() || !url.path().isEmpty()) return;
    const int from = browser->verticalScrollBar()->value();
    if (showheading(browser, url.fragment())) {
      history->push_back(from);
      back->setEnabled(true);
    }
  });
  QObject::connect(back, &QPushButton::clicked, browser, [browser, back, history] {
    if (history->isEmpty()) return;
    browser->verticalScrollBar()->setValue(history->takeLast());
    back->setEnabled(!history->isEmpty());
  });
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
