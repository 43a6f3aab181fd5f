#include "shell/qt/window_host.h"

#include "core/error.h"
#include "shell/boxes.h"
#include "shell/qt/file_chooser.h"
#include "shell/qt/plot_axes.h"
#include "shell/qt/results_pane.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <algorithm>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <qcustomplot.h>
#include <utility>

namespace shell {

namespace {

QString joined(const std::vector<std::string>& rows) {
  QStringList list;
  for (const auto& r : rows) list << QString::fromStdString(r);
  return list.join('\n');
}

QString shown(QObject* control) {
  if (auto* e = qobject_cast<QLineEdit*>(control)) return e->text();
  if (auto* l = qobject_cast<QLabel*>(control)) return l->text();
  if (auto* p = qobject_cast<QPlainTextEdit*>(control)) return p->toPlainText();
  if (auto* t = qobject_cast<QTextEdit*>(control)) return t->toPlainText();
  if (auto* b = qobject_cast<QAbstractButton*>(control)) return b->text();
  throw core::Error("The control '" + control->objectName().toStdString() + "' holds no text");
}

} // namespace

std::vector<std::string> controlstring(QObject* control) {
  // A check box reads as the number a script sets it with: 1 ticked, 0 not.
  if (auto* b = qobject_cast<QAbstractButton*>(control); b != nullptr && b->isCheckable())
    return {b->isChecked() ? "1" : "0"};
  const QString text = shown(control);
  // Rows set by the program come back exactly as set, unless the user has
  // typed over them since.
  const QVariant stored = control->property("StringRows");
  if (stored.isValid()) {
    std::vector<std::string> rows;
    for (const QString& r : stored.toStringList()) rows.push_back(r.toStdString());
    if (joined(rows) == text) return rows;
  }
  if (qobject_cast<QLineEdit*>(control) != nullptr) return {text.toStdString()};
  return splitlines(text.toStdString());
}

void setcontrolstring(QObject* control, const std::vector<std::string>& rows) {
  if (auto* b = qobject_cast<QAbstractButton*>(control); b != nullptr && b->isCheckable()) {
    const std::string v = rows.empty() ? "" : rows[0];
    if (rows.size() != 1 || (v != "1" && v != "0"))
      throw core::Error("The check box " + control->objectName().toStdString() + " takes 1 (ticked) or 0, not '" +
                        (rows.empty() ? "" : v) + "'");
    b->setChecked(v == "1");
    return;
  }
  QStringList list;
  for (const auto& r : rows) list << QString::fromStdString(r);
  const QString text = list.join(qobject_cast<QLineEdit*>(control) != nullptr ? " " : "\n");
  if (auto* e = qobject_cast<QLineEdit*>(control)) {
    // An edit box cuts its text at maxLength (32,767 characters unless
    // said otherwise) without a word; the box must hold what was set, so
    // that what is shown and what is read agree.
    if (text.size() > e->maxLength()) e->setMaxLength(static_cast<int>(std::min<qsizetype>(text.size(), INT_MAX)));
    e->setText(text);
    if (e->text().size() != text.size())
      throw core::Error("The box " + control->objectName().toStdString() + " cannot hold " +
                        std::to_string(text.size()) + " characters; it holds at most " +
                        std::to_string(e->text().size()));
  } else if (auto* l = qobject_cast<QLabel*>(control)) l->setText(text);
  else if (auto* p = qobject_cast<QPlainTextEdit*>(control)) p->setPlainText(text);
  else if (auto* t = qobject_cast<QTextEdit*>(control)) t->setPlainText(text);
  else if (auto* b = qobject_cast<QAbstractButton*>(control)) b->setText(text);
  else throw core::Error("The control '" + control->objectName().toStdString() + "' holds no text");
  control->setProperty("StringRows", list);
}

WindowHost::WindowHost(std::string window)
    : window_(std::move(window)), folder_(std::filesystem::current_path().string() + "/"),
      guard_(std::make_unique<QObject>()) {}

WindowHost::~WindowHost() = default;

Figure* WindowHost::window() const {
  for (Figure* f : figures())
    if (f->name() == window_) return f;
  return openfig(window_, "reuse");
}

QObject* WindowHost::control(std::string_view tag) const {
  const std::vector<QObject*> found = findobj(tag);
  if (found.empty()) throw core::Error("No window holds a control with the Tag '" + std::string(tag) + "'");
  // The program's own window first, where several windows share a Tag.
  for (QObject* o : found)
    if (figureof(o)->name() == window_) return o;
  return found.front();
}

std::vector<std::string> WindowHost::string(std::string_view tag) const { return controlstring(control(tag)); }

void WindowHost::setstring(std::string_view tag, const std::vector<std::string>& rows) {
  setcontrolstring(control(tag), rows);
}

void WindowHost::setenable(std::string_view tag, bool on) {
  for (QObject* o : findobj(tag))
    if (auto* w = qobject_cast<QWidget*>(o)) setenabled(w, on);
  control(tag); // raises when there is no such control
}

std::optional<FileChoice> WindowHost::filedialog(bool save, std::string_view filter, std::string_view title) {
  QString path;
  shown_ = !answer_;
  if (answer_) {
    path = QString::fromStdString(*std::exchange(answer_, std::nullopt));
  } else {
    // The first dialog of a run opens where the program's last run left
    // off, when that folder still exists.
    if (!std::exchange(folderremembered_, true))
      if (const auto remembered = rememberedfolder()) folder_ = remembered->toStdString() + "/";
    const FileDialog kind = !save ? FileDialog::Open : appending_ ? FileDialog::Append : FileDialog::Save;
    const UserWait waiting; // not counted in the action's time
    const auto chosen = choosefile(window(), kind, filter, title, QString::fromStdString(folder_));
    if (!chosen) return std::nullopt;
    path = *chosen;
    rememberfolder(QFileInfo(path).absolutePath());
  }
  if (path.isEmpty()) return std::nullopt;
  const QFileInfo info(path);
  FileChoice choice{info.fileName().toStdString(), info.absolutePath().toStdString() + "/"};
  folder_ = choice.folder;
  if (!save) opened_ = choice.path();
  return choice;
}

std::optional<FileChoice> WindowHost::uigetfile(std::string_view filter, std::string_view title) {
  auto choice = filedialog(false, filter, title);
  if (choice) loaded(choice->path());
  return choice;
}

std::optional<FileChoice> WindowHost::uiputfile(std::string_view filter, std::string_view title) {
  auto choice = filedialog(true, filter, title);
  if (choice) writing(choice->path());
  return choice;
}

std::optional<FileChoice> WindowHost::uiappendfile(std::string_view filter, std::string_view title) {
  // Through uiputfile, so that a host answering saves from a script
  // answers appends alike.
  struct Appending {
    bool& flag;
    explicit Appending(bool& f) : flag(f) { flag = true; }
    ~Appending() { flag = false; }
  } appending(appending_);
  auto choice = uiputfile(filter, title);
  // A file chosen by a person that already holds something: adding to it
  // unasked would mix two runs' rows without a word. A file given by the
  // program (a test's answer) is asked about only when an answer waits.
  std::error_code error;
  if (!choice || !(shown_ || question_) || std::filesystem::file_size(choice->path(), error) == 0 || error)
    return choice;
  const std::vector<std::string> answers{"Replace", "Append", "Cancel"};
  const std::size_t answer = ask("The file '" + choice->name + "' already exists. Replace what it holds, or append "
                                 "after it?", "Save onto an existing file", answers, 1);
  if (answer == 2) return std::nullopt;
  choice->replace = answer == 0;
  return choice;
}

// A result belongs in the pane, where it stays with the run; a window
// without one shows it as an alert, so that it is not lost.
void WindowHost::msgbox(std::string_view text, std::string_view title) {
  ResultsPane* p = pane();
  if (p == nullptr) return alert(text, title);
  message(text, title);
  p->showlog();
  if (!headless()) showresultspane(window());
}

void WindowHost::alert(std::string_view text, std::string_view title) {
  auto* box = new QMessageBox(QMessageBox::Warning, QString::fromUtf8(title.data(), static_cast<qsizetype>(title.size())),
                              QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())), QMessageBox::Ok,
                              window());
  message(text, title);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setModal(false);
  box->show();
}

std::size_t WindowHost::ask(std::string_view text, std::string_view title, const std::vector<std::string>& answers,
                            std::size_t) {
  const auto qs = [](std::string_view t) { return QString::fromUtf8(t.data(), static_cast<qsizetype>(t.size())); };
  std::size_t chosen = answers.size() - 1;
  if (question_) {
    chosen = std::min(*std::exchange(question_, std::nullopt), answers.size() - 1);
  } else {
    QMessageBox box(QMessageBox::Question, qs(title), qs(text), QMessageBox::NoButton, window());
    std::vector<QAbstractButton*> buttons;
    for (std::size_t i = 0; i < answers.size(); ++i)
      buttons.push_back(box.addButton(qs(answers[i]), i + 1 == answers.size() ? QMessageBox::RejectRole
                                                                              : QMessageBox::AcceptRole));
    box.setEscapeButton(buttons.back());
    box.exec();
    const auto at = std::find(buttons.begin(), buttons.end(), box.clickedButton());
    if (at != buttons.end()) chosen = static_cast<std::size_t>(at - buttons.begin());
  }
  message(std::string(text) + "\nAnswered: " + answers[chosen], title);
  return chosen;
}

ResultsPane* WindowHost::pane() const {
  for (Figure* f : figures())
    if (f->name() == window_) return resultspane(f);
  return nullptr;
}

void WindowHost::beginaction(const std::string& name, ActionKind kind) {
  if (ResultsPane* p = pane()) p->beginaction(name, kind);
}

void WindowHost::endaction(const std::string& failure, bool cancelled) {
  if (ResultsPane* p = pane()) p->endaction(failure, cancelled);
}

void WindowHost::loaded(const std::string& path) {
  if (ResultsPane* p = pane()) p->loaded(path);
}

void WindowHost::used(const std::vector<std::string>& boxes) {
  if (ResultsPane* p = pane()) p->used(boxes);
}

void WindowHost::writing(const std::string& path) {
  if (ResultsPane* p = pane()) p->writing(path);
}

void WindowHost::wrote(const std::string& path) {
  if (ResultsPane* p = pane()) p->wrote(path);
}

void WindowHost::message(std::string_view text, std::string_view title) {
  if (ResultsPane* p = pane()) p->message(text, title);
}

void WindowHost::saverunreport(const std::string& path) {
  ResultsPane* p = pane();
  if (p == nullptr) throw core::Error("report: this window has no results pane");
  p->saverunreport(path);
}

Axes& WindowHost::axes() {
  QCustomPlot* plot = window()->plot();
  if (plot == nullptr) throw core::Error("The window '" + window_ + "' has no plot area");
  auto& slot = axes_[plot];
  if (!slot) {
    slot = std::make_unique<PlotAxes>(plot);
    // Forget the axes when their window goes.
    QObject::connect(plot, &QObject::destroyed, guard_.get(), [this, plot] { axes_.erase(plot); });
  }
  setcurrent(window());
  return *slot;
}

// The report goes to the pane of the program's window, in the log and as
// the text of its report tab; no second window opens over the plot.
void WindowHost::setresults(const std::vector<std::string>& rows) {
  ResultsPane* p = pane();
  if (p == nullptr) p = addresultspane(window(), RunInfo{window_, false});
  p->report(rows);
  setstring(AuxResults.tag, rows);
  p->showreport();
  if (!headless()) showresultspane(window());
}

void WindowHost::showtable(const Table& table) {
  Host::showtable(table);
  if (ResultsPane* p = pane()) p->showtable(table);
}

// The Results tab is there from the start: until a report fills it, it
// holds none (its empty box would read as one empty row).
std::vector<std::string> WindowHost::results() const {
  for (QObject* o : findobj(AuxResults.tag)) {
    std::vector<std::string> rows = controlstring(o);
    if (rows.size() == 1 && rows[0].empty()) rows.clear();
    return rows;
  }
  return {};
}

void WindowHost::clearresults() {
  for (QObject* o : findobj(AuxResults.tag)) setcontrolstring(o, {});
}

void WindowHost::closewindow() {
  if (Figure* f = gcf()) f->close();
}

bool WindowHost::progress(std::string_view what, double fraction) {
  Figure* f = window();
  // Drawing and input are handled a few dozen times a second, not on every
  // call, so that reporting never dominates the work.
  const std::int64_t now = QDateTime::currentMSecsSinceEpoch();
  if (now - lastevents_ >= 40 || fraction >= 1) {
    f->showprogress(QString::fromUtf8(what.data(), static_cast<qsizetype>(what.size())), fraction);
    QApplication::processEvents();
    lastevents_ = now;
  }
  return !f->cancelrequested();
}

void WindowHost::endprogress() {
  for (Figure* f : figures())
    if (f->name() == window_) {
      f->hideprogress();
      f->resetcancel();
    }
}

// Console output is buffered; the end of every action flushes it, so a
// computation's running commentary costs no system call per line.
void WindowHost::print(std::string_view text) { std::fwrite(text.data(), 1, text.size(), stdout); }

void WindowHost::echo(std::string_view text) {
  if (!quiet_) print(text);
}

void WindowHost::note(std::string_view line) {
  print(std::string(line) + "\n");
  noted(line);
}

// The pane hears the line as a report, so a scripted run, whose pane is
// hidden, prints it once.
void WindowHost::noted(std::string_view line) {
  if (ResultsPane* p = pane()) p->report({std::string(line)});
  for (Figure* f : figures())
    if (f->name() == window_) f->setstatus(QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size())));
}

} // namespace shell
