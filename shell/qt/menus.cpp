#include "shell/qt/menus.h"

#include "core/about.h"
#include "core/random.h"
#include "shell/qt/dragdrop.h"
#include "shell/qt/guide.h"
#include "shell/callables.h"
#include "shell/host.h"
#include "shell/program.h"
#include "shell/readiness.h"
#include "shell/qt/recent.h"
#include "shell/qt/results_pane.h"
#include "shell/qt/table_view.h"
#include "shell/qt/window.h"
#include "shell/qt/window_host.h"

#include <QAbstractButton>
#include <QEvent>
#include <QDir>
#include <QFileInfo>
#include <QKeySequence>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <algorithm>
#include <utility>

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
  showguide(*guide, window);
}

// Made when About is chosen, so that the seed is the one in force then.
QString abouttext(const Program& p) {
  const auto para = [](std::string_view s) { return "<p>" + qs(s).toHtmlEscaped() + "</p>"; };
  QString text = "<h3>" + qs(p.launcher).toHtmlEscaped() + " " + qs(core::version()) + "</h3>" + para(p.summary);
  if (p.random) {
    const QString seed = QString::number(core::seed());
    text += "<p>" + QObject::tr("Random seed of this run: %1 (repeat it with --seed %1)").arg(seed) + "</p>";
  }
  return text + para(core::copyrightline()) + para(core::licenceline()) + para(core::warrantyline());
}

// The action a button runs through the program's switch ("LoadData" of
// "anglepicksw('LoadData')"), or nothing for a button that calls another
// function.
std::string buttonaction(QObject* button, const Program& program) {
  const QVariant callback = button->property("Callback");
  if (!callback.isValid()) return {};
  try {
    const auto [name, args] = parsecallback(callback.toString().toStdString());
    if (name != program.switchname || args.empty()) return {};
    const auto* action = std::get_if<std::string>(&args[0]);
    return action != nullptr ? *action : std::string();
  } catch (const std::exception&) {
    return {};
  }
}

QAbstractButton* callbackbutton(Figure* window, const QString& callback) {
  for (QObject* o : window->objects())
    if (auto* b = qobject_cast<QAbstractButton*>(o); b != nullptr && b->property("Callback").toString() == callback)
      return b;
  return nullptr;
}

// A menu entry takes its button's enabled state, now and whenever it
// changes (readiness, or every button disabled while an action runs).
class EnabledMirror : public QObject {
public:
  EnabledMirror(QAbstractButton* button, QAction* entry) : QObject(entry), entry_(entry) {
    entry->setEnabled(button->isEnabled());
    button->installEventFilter(this);
  }
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::EnabledChange)
      if (auto* w = qobject_cast<QWidget*>(watched)) entry_->setEnabled(w->isEnabled());
    return false;
  }

private:
  QAction* entry_;
};

// A dialog's entry reads as one: "Load Data…". A button whose text is
// told apart only by the row it sits in ("Clean…") gives its accessible
// name, which says the whole of it.
QString entrytext(const QAbstractButton* button) {
  QString text = (button->accessibleName().isEmpty() ? button->text() : button->accessibleName()).simplified();
  if (!text.endsWith("...") && !text.endsWith(QChar(0x2026))) text += QChar(0x2026);
  return text;
}

QAction* buttonentry(QMenu* menu, QAbstractButton* button, const QString& text, const QString& name) {
  QAction* entry = menu->addAction(text, button, [button] { button->click(); });
  entry->setObjectName(name);
  new EnabledMirror(button, entry);
  return entry;
}

// The last files loaded, listed when the menu opens (so that a window
// never reads the settings unless a person looks at the list).
void fillrecent(QMenu* menu, Figure* window, const Program& program) {
  menu->clear();
  const std::vector<RecentFile> list = recentfiles();
  int n = 0;
  for (const RecentFile& r : list) {
    const QString path = QString::fromStdString(r.path);
    QAction* entry = menu->addAction(QStringLiteral("&%1 %2").arg(++n).arg(QFileInfo(path).fileName()), window,
                                     [window, &program, r, path] {
      if (!QFileInfo(path).isFile()) {
        forgetrecent(r.path);
        window->setstatus(QObject::tr("%1 is no longer there; it has left the recent files").arg(path));
        return;
      }
      loadwith(window, program, r.action, path);
    });
    entry->setToolTip(QDir::toNativeSeparators(path));
    entry->setStatusTip(QDir::toNativeSeparators(path));
  }
  if (list.empty()) menu->addAction(QObject::tr("No recent files"))->setEnabled(false);
}

// After every action of a button: a file it loaded joins the recent files
// (not after an error or a cancel), and readiness is looked at again.
void afteraction(Figure* window, const Program& program, const std::string& action) {
  auto* h = dynamic_cast<WindowHost*>(&host());
  const auto opened = h != nullptr ? h->takeopened() : std::nullopt;
  const QString status = window->status();
  const bool failed = status.startsWith(QObject::tr("Error: ")) || status.contains("cancelled");
  if (opened && kindof(program, action) == ActionKind::load && !failed) noterecent({action, *opened});
  refreshreadiness(window, program);
}

} // namespace

QAbstractButton* actionbutton(Figure* window, const Program& program, const std::string& action) {
  for (QObject* o : window->objects())
    if (auto* b = qobject_cast<QAbstractButton*>(o); b != nullptr && buttonaction(b, program) == action) return b;
  return nullptr;
}

void loadwith(Figure* window, const Program& program, const std::string& action, const QString& path) {
  QAbstractButton* button = actionbutton(window, program, action);
  auto* h = dynamic_cast<WindowHost*>(&host());
  if (button == nullptr || h == nullptr) {
    window->setstatus(QObject::tr("This window has no %1 button to load %2").arg(qs(action), path));
    return;
  }
  if (!button->isEnabled()) {
    window->setstatus(QObject::tr("%1 cannot run now, so %2 was not loaded").arg(button->text().simplified(), path));
    return;
  }
  h->answernext(path.toStdString());
  button->click(); // the button's own path: one action at a time, errors on the status line
  h->forgetanswer();
}

void refreshreadiness(Figure* window, const Program& program) {
  for (QObject* o : window->objects()) {
    auto* b = qobject_cast<QAbstractButton*>(o);
    const std::string action = b != nullptr ? buttonaction(b, program) : std::string();
    if (action.empty()) continue;
    const bool disabledbyus = b->property("WaitsForReadiness").toBool();
    if (const auto need = needs(action)) {
      if (!disabledbyus) b->setProperty("ReadyToolTip", b->toolTip());
      b->setProperty("WaitsForReadiness", true);
      b->setEnabled(false);
      b->setToolTip(QString::fromStdString(*need));
    } else if (disabledbyus) {
      b->setProperty("WaitsForReadiness", false);
      b->setEnabled(true);
      b->setToolTip(b->property("ReadyToolTip").toString());
    }
  }
}

QMenu* addfilemenu(QMenuBar* bar, Figure* window, const Program& program) {
  QMenu* file = bar->addMenu(QObject::tr("&File"));
  file->setObjectName("FileMenu");
  bool load = false, save = false;
  for (const ActionLine& a : program.actions) {
    const bool isload = a.kind == ActionKind::load, issave = a.kind == ActionKind::save;
    if (!isload && !issave) continue;
    QAbstractButton* button = actionbutton(window, program, a.name);
    if (button == nullptr) continue;
    QAction* entry = buttonentry(file, button, entrytext(button), QString::fromStdString("Menu" + a.name));
    entry->setStatusTip(QString::fromStdString(a.description));
    if (isload && !std::exchange(load, true)) entry->setShortcut(QKeySequence::Open);
    if (issave && !std::exchange(save, true)) entry->setShortcut(QKeySequence::Save);
  }
  QMenu* recent = file->addMenu(QObject::tr("&Recent files"));
  recent->setObjectName("RecentMenu");
  QObject::connect(recent, &QMenu::aboutToShow, recent, [recent, window, &program] {
    fillrecent(recent, window, program);
  });
  file->addSeparator();
  // The table the results pane shows, as CSV; enabled while it shows one
  // (the pane is added after the menu, so it is looked up when asked).
  QAction* csv = file->addAction(QObject::tr("&Export table as CSV") + QChar(0x2026), window, [window] {
    if (ResultsPane* pane = resultspane(window)) pane->tablebox()->exportdialog();
  });
  csv->setObjectName("MenuExportTable");
  QObject::connect(file, &QMenu::aboutToShow, csv, [csv, window] {
    const ResultsPane* pane = resultspane(window);
    csv->setEnabled(pane != nullptr && pane->tablebox()->table().has_value());
  });
  if (QAbstractButton* plot = callbackbutton(window, "SavePlot"))
    buttonentry(file, plot, QObject::tr("Save &plot") + QChar(0x2026), "MenuSavePlot");
  file->addSeparator();
  QAction* quit = file->addAction(QObject::tr("&Quit"), window, [window] { window->close(); });
  quit->setObjectName("MenuQuit");
  quit->setShortcut(QKeySequence::Quit);
  quit->setMenuRole(QAction::QuitRole);
  return file;
}

QMenu* addhelpmenu(QMenuBar* bar, Figure* window, const Program& program) {
  QMenu* help = bar->addMenu(QObject::tr("&Help"));
  help->setObjectName("HelpMenu");
  QAction* guide = help->addAction(QObject::tr("&User's guide"), window, [window] { openguide(window); });
  guide->setObjectName("UsersGuide");
  guide->setShortcut(QKeySequence::HelpContents);
  const QString name = qs(program.launcher);
  QAction* about = help->addAction(QObject::tr("&About %1").arg(name), window, [window, name, &program] {
    QMessageBox::about(window, QObject::tr("About %1").arg(name), abouttext(program));
  });
  about->setObjectName("About");
  about->setMenuRole(QAction::AboutRole);
  return help;
}

QMenuBar* addmenubar(Figure* window, const Program& program) {
  if (auto* bar = window->findChild<QMenuBar*>("MenuBar", Qt::FindDirectChildrenOnly)) return bar;
  auto* bar = new QMenuBar(window);
  bar->setObjectName("MenuBar");
  addfilemenu(bar, window, program);
  addhelpmenu(bar, window, program);
  const int height = bar->sizeHint().height();
  window->layout()->setMenuBar(bar);
  window->resize(window->width(), window->height() + height);

  // After each action of a button (connected after the button's own
  // callback, so this runs once the action has ended).
  for (QObject* o : window->objects())
    if (auto* b = qobject_cast<QAbstractButton*>(o); b != nullptr && b->property("Callback").isValid())
      QObject::connect(b, &QAbstractButton::clicked, window,
                       [window, &program, action = buttonaction(b, program)] { afteraction(window, program, action); });
  refreshreadiness(window, program);

  // A dropped file is loaded by the program's main load action, the first
  // of its table.
  const auto main = std::find_if(program.actions.begin(), program.actions.end(),
                                 [](const ActionLine& a) { return a.kind == ActionKind::load; });
  if (main != program.actions.end())
    acceptdrops(window, [window, &program, action = main->name](const QString& path) {
      loadwith(window, program, action, path);
    });
  return bar;
}

} // namespace shell
