#include "shell/menus.h"

#include "core/about.h"
#include "shell/guide.h"
#include "shell/program.h"
#include "shell/window.h"

#include <QDesktopServices>
#include <QKeySequence>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QUrl>

namespace shell {

namespace {

QString qs(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

void openguide(Figure* window) {
  const auto guide = guidepath();
  if (!guide) {
    window->setstatus(
        QObject::tr("Cannot find the user's guide (PREFIX/share/doc/tectomorph/guide.md for programs in PREFIX/bin)"));
    return;
  }
  const QString path = QString::fromStdString(guide->string());
  if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
    window->setstatus(QObject::tr("No application opens the user's guide; read %1 in a text editor").arg(path));
}

QString abouttext(const Program& p) {
  const auto para = [](std::string_view s) { return "<p>" + qs(s).toHtmlEscaped() + "</p>"; };
  return "<h3>" + qs(p.launcher).toHtmlEscaped() + " " + qs(core::version()) + "</h3>" + para(p.summary) +
         para(core::copyrightline()) + para(core::licenceline()) + para(core::warrantyline());
}

} // namespace

QMenu* addhelpmenu(QMenuBar* bar, Figure* window, const Program& program) {
  QMenu* help = bar->addMenu(QObject::tr("&Help"));
  help->setObjectName("HelpMenu");
  QAction* guide = help->addAction(QObject::tr("&User's guide"), window, [window] { openguide(window); });
  guide->setObjectName("UsersGuide");
  guide->setShortcut(QKeySequence::HelpContents);
  const QString name = qs(program.launcher);
  const QString text = abouttext(program);
  QAction* about = help->addAction(QObject::tr("&About %1").arg(name), window, [window, name, text] {
    QMessageBox::about(window, QObject::tr("About %1").arg(name), text);
  });
  about->setObjectName("About");
  about->setMenuRole(QAction::AboutRole);
  return help;
}

QMenuBar* addmenubar(Figure* window, const Program& program) {
  if (auto* bar = window->findChild<QMenuBar*>("MenuBar", Qt::FindDirectChildrenOnly)) return bar;
  auto* bar = new QMenuBar(window);
  bar->setObjectName("MenuBar");
  addhelpmenu(bar, window, program);
  const int height = bar->sizeHint().height();
  window->layout()->setMenuBar(bar);
  window->resize(window->width(), window->height() + height);
  return bar;
}

} // namespace shell
