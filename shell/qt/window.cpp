#include "shell/qt/window.h"

#include "core/error.h"
#include "shell/names.h"
#include "shell/qt/plot_axes.h"

#include <QAbstractButton>
#include <QApplication>
#include <QBoxLayout>
#include <QPalette>
#include <QBuffer>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QSplitter>
#include <QStyle>
#include <QLineEdit>
#include <QUiLoader>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>
#include <filesystem>
#include <qcustomplot.h>

namespace shell {

namespace {

CallbackRunner& runner() {
  static CallbackRunner r;
  return r;
}

bool& headlessflag() {
  static bool h = false;
  return h;
}

QPointer<Figure>& current() {
  static QPointer<Figure> f;
  return f;
}

std::vector<QPointer<Figure>>& allfigures() {
  static std::vector<QPointer<Figure>> list;
  return list;
}

// Builds the widgets of a layout, making the plot area a QCustomPlot, and
// remembers every widget it makes: those are the window's objects.
class Loader : public QUiLoader {
public:
  std::vector<QObject*> made;

  QWidget* createWidget(const QString& className, QWidget* parent, const QString& name) override {
    QWidget* w = className == "QCustomPlot" ? new QCustomPlot(parent) : QUiLoader::createWidget(className, parent, name);
    if (w != nullptr) {
      w->setObjectName(name);
      // An edit box would cut typed or pasted text at 32,767 characters
      // without a word, and the action would then read less than the user
      // gave; a long list of landmarks or angles is kept whole.
      if (auto* edit = qobject_cast<QLineEdit*>(w)) edit->setMaxLength(INT_MAX);
      made.push_back(w);
    }
    return w;
  }
};

using Registry = std::vector<QPointer<Figure>>;

std::string registrykey(const std::string& base) { return (base + "_SINGLETON_handle").substr(0, 31); }

// The form of a layout file, every widget it made in `loader.made`.
QWidget* loadform(const std::string& base, const std::string& folder, Loader& loader, QWidget* parent = nullptr) {
  const QByteArray xml = layoutxml(folder.empty() ? base + ".fig" : folder + "/" + base + ".fig");
  QBuffer buffer;
  buffer.setData(xml);
  buffer.open(QIODevice::ReadOnly);
  QWidget* form = loader.load(&buffer, parent);
  if (form == nullptr)
    throw core::Error("Cannot read the window layout '" + base + ".fig': " + loader.errorString().toStdString());
  return form;
}

// A push button calls what its Callback names.
void connectcallbacks(Figure* figure, const std::vector<QObject*>& objects) {
  for (QObject* o : objects) {
    auto* button = qobject_cast<QAbstractButton*>(o);
    const QVariant cb = o->property("Callback");
    if (button == nullptr || !cb.isValid()) continue;
    QObject::connect(button, &QAbstractButton::clicked, figure, [figure, button, text = cb.toString().toStdString()] {
      if (runner()) runner()(figure, button, text);
    });
  }
}

Figure* loadfigure(const std::string& base, const std::string& folder) {
  Loader loader;
  QWidget* form = loadform(base, folder, loader);
  auto* figure = new Figure(base, form, loader.made);
  allfigures().push_back(figure);
  connectcallbacks(figure, loader.made);
  return figure;
}

// A scroll area as wide as the panel it holds wants to be, with room for
// its vertical scroll bar, so that the panel is never cut at the side
// while the window is wide enough; it can still be dragged narrower.
class PanelScroll : public QScrollArea {
public:
  using QScrollArea::QScrollArea;
  QSize sizeHint() const override {
    const QSize inner = widget() != nullptr ? widget()->sizeHint() : QSize(0, 0);
    const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    return {inner.width() + bar + 2 * frameWidth(), QScrollArea::sizeHint().height()};
  }
  QSize minimumSizeHint() const override { return {std::min(sizeHint().width(), 160), 80}; }
};

// The box layout under `layout` (itself included) that holds `w`.
QBoxLayout* holder(QLayout* layout, QWidget* w) {
  if (layout == nullptr) return nullptr;
  if (auto* box = qobject_cast<QBoxLayout*>(layout); box != nullptr && box->indexOf(w) >= 0) return box;
  for (int i = 0; i < layout->count(); ++i)
    if (QBoxLayout* found = holder(layout->itemAt(i)->layout(), w)) return found;
  return nullptr;
}

void placeframe(QWidget* w, int left, int top, int fwidth, int fheight) {
  const QRect frame = w->frameGeometry(), inner = w->geometry();
  const int dw = frame.width() - inner.width(), dh = frame.height() - inner.height();
  if (fwidth < frame.width() || fheight < frame.height()) w->resize(fwidth - dw, fheight - dh);
  w->move(left, top); // a top-level window moves by its frame
}

} // namespace

Figure::Figure(std::string name, QWidget* form, std::vector<QObject*> objects)
    : name_(std::move(name)), form_(form) {
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(form->windowTitle().isEmpty() ? QString::fromStdString(name_) : form->windowTitle());
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(form, 1);

  // The layout may bring its own status line; otherwise add one.
  status_ = form->findChild<QLabel*>("StatusLine");
  auto* row = new QHBoxLayout;
  row->setContentsMargins(6, 0, 6, 4);
  if (status_ == nullptr) {
    status_ = new QLabel(this);
    status_->setObjectName("StatusLine");
    objects.push_back(status_);
    row->addWidget(status_, 1);
  }
  status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  bar_ = new QProgressBar(this);
  bar_->setRange(0, 1000);
  bar_->setMaximumWidth(240);
  bar_->hide();
  cancelbutton_ = new QPushButton(tr("Cancel"), this);
  cancelbutton_->setToolTip(tr("Stop the running action; it then changes nothing"));
  cancelbutton_->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
  cancelbutton_->hide();
  if (row->count() == 0) row->addStretch(1); // the layout's own status line sits above
  QObject::connect(cancelbutton_, &QPushButton::clicked, this, [this] { cancel_ = true; });
  row->addWidget(bar_);
  row->addWidget(cancelbutton_);
  layout->addLayout(row);
  resize(form->size().expandedTo(QSize(200, 100)));

  objects_.reserve(objects.size());
  for (QObject* o : objects) objects_.emplace_back(o);
  // The plot area looks as it will once something is drawn in it (white,
  // boxed, no grid) from the moment the window opens.
  if (QCustomPlot* p = plot()) PlotAxes{p};
}

std::vector<QObject*> Figure::objects() const {
  std::vector<QObject*> out;
  for (const auto& o : objects_)
    if (o) out.push_back(o.data());
  return out;
}

void Figure::adopt(const std::vector<QObject*>& objects) {
  for (QObject* o : objects) objects_.emplace_back(o);
}

QCustomPlot* Figure::plot() const { return form_->findChild<QCustomPlot*>(); }

void Figure::setstatus(const QString& text) { status_->setText(text); }
QString Figure::status() const { return status_->text(); }

void Figure::showprogress(const QString& what, double fraction) {
  status_->setText(what);
  progresstext_ = what;
  bar_->setValue(static_cast<int>(std::clamp(fraction, 0.0, 1.0) * 1000));
  bar_->show();
  cancelbutton_->show();
}

void Figure::hideprogress() {
  bar_->hide();
  cancelbutton_->hide();
  // The progress report goes with the bar, unless an error has taken its
  // place; a cancelled action says so.
  if (!progresstext_.isEmpty() && status_->text() == progresstext_)
    status_->setText(cancel_ ? tr("Cancelled: nothing was changed") : QString());
  progresstext_.clear();
}

namespace {
const char* const afterlock = "EnabledAfterAction";
}

void Figure::lockbuttons() {
  if (locked_) return;
  for (QAbstractButton* b : findChildren<QAbstractButton*>()) {
    if (b == cancelbutton_) continue;
    b->setProperty(afterlock, b->isEnabled());
    b->setEnabled(false);
  }
  locked_ = true;
}

void Figure::unlockbuttons() {
  if (!locked_) return;
  locked_ = false;
  for (QAbstractButton* b : findChildren<QAbstractButton*>()) {
    const QVariant after = b->property(afterlock);
    if (!after.isValid()) continue;
    b->setProperty(afterlock, QVariant());
    b->setEnabled(after.toBool());
  }
}

void Figure::closeEvent(QCloseEvent* event) {
  if (closeguard_ && !closeguard_()) {
    event->ignore();
    return;
  }
  QWidget::closeEvent(event);
}

void setenabled(QWidget* control, bool on) {
  if (control->property(afterlock).isValid()) control->setProperty(afterlock, on);
  else control->setEnabled(on);
}

void setcallbackrunner(CallbackRunner r) { runner() = std::move(r); }

void setheadless(bool h) { headlessflag() = h; }
bool headless() { return headlessflag(); }

QByteArray layoutxml(const std::string& filename) {
  namespace fs = std::filesystem;
  const fs::path asked(filename);
  // A layout beside the program (or at the folder given) overrides the
  // built-in one, so a user can edit a window in Qt Designer.
  fs::path beside = asked.has_parent_path()
                        ? asked
                        : fs::path(QCoreApplication::applicationDirPath().toStdString()) / asked.filename();
  for (const QString& candidate :
       {QString::fromStdString(beside.string()), ":/layouts/" + QString::fromStdString(asked.filename().string())}) {
    QFile file(candidate);
    if (file.exists() && file.open(QIODevice::ReadOnly)) return file.readAll();
  }
  throw core::Error("Cannot find the window layout '" + asked.filename().string() + "'");
}

Figure* openfig(std::string_view filename, std::string_view policy) {
  namespace fs = std::filesystem;
  const fs::path path{std::string(filename)};
  const std::string ext = path.extension().string();
  if (!ext.empty() && ext != ".fig") throw core::Error("Argument must be a .fig file");
  if (policy != "new" && policy != "reuse") throw core::Error("Second input argument must be 'new' or 'reuse'.");
  const std::string base = path.stem().string(), folder = path.parent_path().string();

  const std::string key = registrykey(base);
  auto& data = rootappdata();
  Registry list;
  if (auto it = data.find(key); it != data.end()) list = std::any_cast<Registry>(it->second);
  std::erase_if(list, [](const QPointer<Figure>& f) { return f.isNull(); });

  if (policy == "new" || list.empty()) list.emplace_back(loadfigure(base, folder));
  Figure* figure = list.back();
  data[key] = list;

  movegui(figure, "onscreen");
  if (!headless()) {
    figure->show();
    figure->raise();
    figure->activateWindow();
  } else if (!figure->isVisible()) {
    // Laid out as if shown, so that its plot has the size a person would
    // see (pictures saved by scripts depend on it), but never on screen.
    figure->setAttribute(Qt::WA_DontShowOnScreen);
    figure->show();
  }
  setcurrent(figure);
  return figure;
}

QWidget* embedlayout(Figure* window, std::string_view name, QWidget* parent) {
  Loader loader;
  QWidget* form = loadform(std::string(name), "", loader, parent);
  // Shown inside another window, a form is a plain widget.
  form->setWindowFlags(Qt::Widget);
  window->adopt(loader.made);
  connectcallbacks(window, loader.made);
  return form;
}

void splitpanels(Figure* window) {
  QWidget* panel = window->form()->findChild<QWidget*>("controlPanel");
  QCustomPlot* plot = window->plot();
  // A headless window is on no screen to fit, and keeps the layout its
  // saved pictures have always been drawn in.
  if (headless() || panel == nullptr || plot == nullptr ||
      qobject_cast<QScrollArea*>(panel->parentWidget()->parentWidget()) != nullptr)
    return;
  QBoxLayout* body = holder(window->form()->layout(), panel);
  if (body == nullptr || body->indexOf(plot) < 0) return;
  const int index = std::min(body->indexOf(panel), body->indexOf(plot));
  body->removeWidget(panel);
  body->removeWidget(plot);
  auto* scroll = new PanelScroll;
  scroll->setObjectName("ControlScroll");
  scroll->setFrameShape(QFrame::NoFrame);
  scroll->setWidgetResizable(true);
  scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  scroll->setWidget(panel);
  auto* splitter = new QSplitter(Qt::Horizontal);
  splitter->setObjectName("PanelSplitter");
  splitter->setChildrenCollapsible(false);
  splitter->addWidget(scroll);
  splitter->addWidget(plot);
  splitter->setStretchFactor(0, 0);
  splitter->setStretchFactor(1, 1);
  body->insertWidget(index, splitter, 1);
}

Figure* figureof(QObject* h) {
  for (QObject* o = h; o != nullptr; o = o->parent())
    if (auto* f = dynamic_cast<Figure*>(o)) return f;
  throw core::Error("H must be the handle to a figure or figure descendent.");
}

Handles guihandles(QObject* h) {
  Figure* figure = h != nullptr ? figureof(h) : gcf();
  if (figure == nullptr) throw core::Error("H must be the handle to a figure or figure descendent.");
  Handles handles;
  for (QObject* o : figure->objects()) {
    const std::string tag = o->objectName().toStdString();
    if (isvarname(tag)) handles[tag].push_back(o);
  }
  return handles;
}

std::any guidata(QObject* h) {
  auto& data = figureof(h)->appdata();
  const auto it = data.find("UsedByGUIData_m");
  return it == data.end() ? std::any() : it->second;
}

void guidata(QObject* h, std::any value) { figureof(h)->appdata()["UsedByGUIData_m"] = std::move(value); }

void movegui(QWidget* h, std::string_view position) {
  if (h == nullptr) throw core::Error("handle of figure or descendant required");
  QWidget* w = h->window();
  QCoreApplication::processEvents(); // pending drawing first, so sizes are current
  const QRect screen = w->screen() != nullptr ? w->screen()->geometry() : QRect(0, 0, 1024, 768);
  const QRect frame = w->frameGeometry();
  const int fw = std::min(frame.width(), screen.width()), fh = std::min(frame.height(), screen.height());
  const int left = screen.left(), top = screen.top();
  const int right = screen.left() + screen.width() - fw, bottom = screen.top() + screen.height() - fh;
  const int cx = left + (screen.width() - fw) / 2, cy = top + (screen.height() - fh) / 2;
  int x = frame.left(), y = frame.top();
  if (position == "onscreen") {
    x = std::clamp(x, left, right);
    y = std::clamp(y, top, bottom);
  } else if (position == "north") x = cx, y = top;
  else if (position == "south") x = cx, y = bottom;
  else if (position == "east") x = right, y = cy;
  else if (position == "west") x = left, y = cy;
  else if (position == "northeast") x = right, y = top;
  else if (position == "southeast") x = right, y = bottom;
  else if (position == "northwest") x = left, y = top;
  else if (position == "southwest") x = left, y = bottom;
  else if (position == "center") x = cx, y = cy;
  else throw core::Error("unrecognized position");
  placeframe(w, x, y, fw, fh);
}

void movegui(QWidget* h, double dx, double dy) {
  if (h == nullptr) throw core::Error("handle of figure or descendant required");
  QWidget* w = h->window();
  const QRect screen = w->screen() != nullptr ? w->screen()->geometry() : QRect(0, 0, 1024, 768);
  const QRect frame = w->frameGeometry();
  const int x = dx >= 0 ? screen.left() + static_cast<int>(dx)
                        : screen.left() + screen.width() - frame.width() + static_cast<int>(dx);
  const int y = dy >= 0 ? screen.top() + screen.height() - frame.height() - static_cast<int>(dy)
                        : screen.top() - static_cast<int>(dy);
  placeframe(w, x, y, frame.width(), frame.height());
}

Figure* gcf() { return current().data(); }
void setcurrent(Figure* figure) { current() = figure; }

std::vector<Figure*> figures() {
  std::vector<Figure*> out;
  for (const auto& f : allfigures())
    if (f) out.push_back(f.data());
  return out;
}

std::vector<QObject*> findobj(std::string_view tag) {
  std::vector<QObject*> found;
  const QString t = QString::fromUtf8(tag.data(), static_cast<qsizetype>(tag.size()));
  for (Figure* f : figures())
    for (QObject* o : f->objects())
      if (o->objectName() == t) found.push_back(o);
  return found;
}

void usecontrolcolour(QWidget* window) {
  QPalette palette = window->palette();
  palette.setColor(QPalette::Window, QApplication::palette().color(QPalette::Button));
  window->setPalette(palette);
  window->setAutoFillBackground(true);
}

std::map<std::string, std::any>& rootappdata() {
  static std::map<std::string, std::any> data;
  return data;
}

} // namespace shell
