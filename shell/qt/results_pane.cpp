#include "shell/qt/results_pane.h"

#include "core/about.h"
#include "core/error.h"
#include "core/random.h"
#include "io/run_report.h"
#include "io/text_file.h"
#include "shell/qt/window.h"

#include <QBoxLayout>
#include <QCryptographicHash>
#include <filesystem>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QWindow>
#include <algorithm>
#include <climits>
#include <QSplitter>
#include <QTabWidget>
#include <QVBoxLayout>

namespace shell {

namespace {

QString qs(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

QString seconds(std::chrono::steady_clock::duration d) {
  return QString::number(std::chrono::duration<double>(d).count(), 'f', 2) + " s";
}

// The SHA-256 of a file's bytes in hex, read in blocks so that a large
// data set needs no copy in memory; empty when it cannot be read. Only a
// regular file is read: a FIFO or a device named in a dialog would never
// end (the loader itself refuses them with its own words).
std::string sha256(const std::string& path) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return {};
  QFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::ReadOnly)) return {};
  QCryptographicHash hash(QCryptographicHash::Sha256);
  if (!hash.addData(&file)) return {};
  return hash.result().toHex().toStdString();
}

} // namespace

ResultsPane::ResultsPane(RunInfo info, QWidget* parent)
    : QWidget(parent), info_(std::move(info)), started_(QDateTime::currentDateTime()),
      folder_(QDir::currentPath()) {
  setObjectName("ResultsPane");
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(4, 4, 4, 0);
  tabs_ = new QTabWidget(this);
  tabs_->setObjectName("ResultsTabs");
  tabs_->setDocumentMode(true);
  outer->addWidget(tabs_, 1);
  auto* log = new QWidget(tabs_);
  auto* layout = new QVBoxLayout(log);
  layout->setContentsMargins(0, 4, 0, 0);
  tabs_->addTab(log, tr("Log"));
  view_ = new QPlainTextEdit(log);
  view_->setObjectName("ResultsText");
  view_->setReadOnly(true);
  // Tables keep their columns in a fixed-width font; a line longer than
  // the pane is wide wraps, so that a message is read whole.
  view_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  view_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  view_->setContextMenuPolicy(Qt::CustomContextMenu);
  layout->addWidget(view_, 1);
  auto* row = new QHBoxLayout;
  saveresults_ = new QPushButton(tr("Save results…"), log);
  saveresults_->setObjectName("SaveResults");
  saveresults_->setToolTip(tr("Save the text of this pane as a text file"));
  savereport_ = new QPushButton(tr("Save run report…"), log);
  savereport_->setObjectName("SaveRunReport");
  savereport_->setToolTip(
      tr("Save a dated report of this run: program, version, seed, files loaded with their checksums, and every "
         "action with its results"));
  row->addWidget(saveresults_);
  row->addWidget(savereport_);
  row->addStretch(1);
  layout->addLayout(row);
  connect(saveresults_, &QPushButton::clicked, this, [this] { saveresultsdialog(); });
  connect(savereport_, &QPushButton::clicked, this, [this] { saverunreportdialog(); });
  connect(view_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    QMenu* menu = view_->createStandardContextMenu();
    menu->addSeparator();
    menu->addAction(tr("Save results…"), this, [this] { saveresultsdialog(); });
    menu->addAction(tr("Save run report…"), this, [this] { saverunreportdialog(); });
    menu->exec(view_->mapToGlobal(at));
    delete menu;
  });
}

void ResultsPane::append(const QString& text) {
  view_->appendPlainText(text);
  // The newest lines in sight, from their start.
  view_->verticalScrollBar()->setValue(view_->verticalScrollBar()->maximum());
  view_->horizontalScrollBar()->setValue(0);
}

void ResultsPane::showlog() { tabs_->setCurrentIndex(0); }
void ResultsPane::showreport() { tabs_->setCurrentIndex(tabs_->count() - 1); }

void ResultsPane::beginaction(const std::string& name, ActionKind kind) {
  action_ = name;
  save_ = kind == ActionKind::save;
  actionstart_ = std::chrono::steady_clock::now();
  inaction_ = true;
  actionresults_ = false;
  append("== " + qs(name) + "  " + QTime::currentTime().toString("HH:mm:ss") + " ==");
}

void ResultsPane::endaction(const std::string& failure, bool cancelled) {
  if (!inaction_) return;
  const QString took = seconds(std::chrono::steady_clock::now() - actionstart_);
  const QString name = qs(action_);
  if (cancelled) append("-- " + name + ": cancelled (" + took + ")");
  else if (!failure.empty()) append("-- " + name + ": failed: " + qs(failure) + " (" + took + ")");
  else append("-- " + name + ": " + took);
  // A save action that ran to its end keeps what was shown; any other
  // action that showed something leaves results to keep.
  if (save_ && failure.empty() && !cancelled) unsaved_ = false;
  else if (actionresults_ && !save_) unsaved_ = true;
  inaction_ = false;
  action_.clear();
}

void ResultsPane::message(std::string_view text, std::string_view title) {
  if (!title.empty()) append("[" + qs(title) + "]");
  append(qs(text));
  actionresults_ = true;
  if (!inaction_) unsaved_ = true;
}

void ResultsPane::report(const std::vector<std::string>& rows) {
  QStringList lines;
  for (const auto& r : rows) lines << QString::fromStdString(r);
  append(lines.join('\n'));
  actionresults_ = true;
  if (!inaction_) unsaved_ = true;
}

void ResultsPane::loaded(const std::string& path) {
  files_.push_back({path, sha256(path), QDateTime::currentDateTime()});
}

QString ResultsPane::text() const { return view_->toPlainText(); }

QString ResultsPane::runreport() const {
  io::RunReport r;
  r.program = info_.program;
  r.version = core::version();
  r.started = started_.toString(Qt::ISODate).toStdString();
  r.saved = QDateTime::currentDateTime().toString(Qt::ISODate).toStdString();
  if (info_.random) r.seed = core::seed();
  for (const LoadedFile& f : files_) r.files.push_back({f.path, f.sha256, f.when.toString("HH:mm:ss").toStdString()});
  r.log = text().toStdString();
  return QString::fromStdString(io::formatrunreport(r));
}

void ResultsPane::saveresults(const std::string& path) {
  QString t = text();
  if (!t.isEmpty() && !t.endsWith('\n')) t += '\n';
  io::writefile(path, t.toStdString(), io::WriteMode::Replace);
  unsaved_ = false;
}

void ResultsPane::saverunreport(const std::string& path) {
  io::writefile(path, runreport().toStdString(), io::WriteMode::Replace);
  unsaved_ = false;
}

bool ResultsPane::savedialog(bool runreport) {
  const QString caption = runreport ? tr("Save the run report") : tr("Save the results");
  const QString suggested =
      QDir(folder_).filePath(qs(info_.program) + (runreport ? "-run-" : "-results-") +
                             QDateTime::currentDateTime().toString("yyyyMMdd-HHmmss") + ".txt");
  const QString path = QFileDialog::getSaveFileName(this, caption, suggested, tr("Text files (*.txt);;All files (*)"));
  if (path.isEmpty()) return false;
  folder_ = QFileInfo(path).absolutePath();
  try {
    if (runreport) saverunreport(path.toStdString());
    else saveresults(path.toStdString());
  } catch (const std::exception& e) {
    QMessageBox::warning(this, caption, QString::fromUtf8(e.what()));
    return false;
  }
  return true;
}

bool ResultsPane::saveresultsdialog() { return savedialog(false); }
bool ResultsPane::saverunreportdialog() { return savedialog(true); }

ResultsPane* resultspane(const Figure* window) {
  return window == nullptr ? nullptr : window->findChild<ResultsPane*>("ResultsPane");
}

ResultsPane* addresultspane(Figure* window, RunInfo info) {
  if (ResultsPane* pane = resultspane(window)) return pane;
  auto* layout = qobject_cast<QBoxLayout*>(window->layout());
  if (layout == nullptr) throw core::Error("The window '" + window->name() + "' has no room for a results pane");
  QWidget* form = window->form();
  const int index = layout->indexOf(form);
  auto* splitter = new QSplitter(Qt::Horizontal, window);
  splitter->setObjectName("ResultsSplitter");
  splitter->setChildrenCollapsible(true);
  layout->removeWidget(form);
  splitter->addWidget(form);
  auto* pane = new ResultsPane(std::move(info), splitter);
  QWidget* report = embedlayout(window, "AuxBox", pane->tabs_);
  if (report->layout() != nullptr) report->layout()->setContentsMargins(0, 4, 0, 0);
  // The tab's title names it already.
  if (auto* heading = report->findChild<QLabel*>("resultsLabel")) heading->hide();
  pane->tabs_->addTab(report, report->windowTitle());
  splitter->addWidget(pane);
  splitter->setStretchFactor(0, 1);
  splitter->setStretchFactor(1, 0);
  layout->insertWidget(index, splitter, 1);
  if (headless()) pane->hide();
  else showresultspane(window);
  return pane;
}

void showresultspane(Figure* window) {
  ResultsPane* pane = resultspane(window);
  if (pane == nullptr || !pane->isHidden()) return;
  auto* splitter = qobject_cast<QSplitter*>(pane->parentWidget());
  const int formwidth = window->form()->width();
  // A shown window's own size may lag behind a resize asked just before
  // (the window system answers later); its platform window holds the
  // size asked for.
  const QSize before = window->isVisible() && window->windowHandle() != nullptr
                           ? window->windowHandle()->geometry().size()
                           : window->size();
  // The window grows by the pane, as far as the screen allows, so that
  // the layout beside it keeps its size.
  // A headless window is on no real screen: it grows by the whole pane.
  const int room = !headless() && window->screen() != nullptr ? window->screen()->availableGeometry().width() : INT_MAX;
  const int width = std::min(before.width() + 360 + splitter->handleWidth(), std::max(room, before.width()));
  const int panewidth = std::max(width - before.width() - splitter->handleWidth(), 240);
  pane->show();
  window->resize(width, before.height());
  splitter->setSizes({formwidth, panewidth});
}

bool askbeforeclose(const Figure* window) {
  const ResultsPane* pane = resultspane(window);
  return !headless() && pane != nullptr && pane->unsaved();
}

} // namespace shell
