#include "shell/qt/dragdrop.h"

#include "shell/qt/window.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>

namespace shell {

namespace {

// Watches the window for drags; drags over a control that takes no drops
// of its own reach the window.
class DropTarget : public QObject {
public:
  DropTarget(Figure* window, std::function<void(const QString&)> load)
      : QObject(window), window_(window), load_(std::move(load)) {
    setObjectName("DropTarget");
  }

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched != window_) return false;
    if (event->type() == QEvent::DragEnter) {
      // Every drag of URLs is taken, so that a refused one can say why
      // when it is dropped rather than show a bare "no entry" cursor.
      auto* e = static_cast<QDragEnterEvent*>(event);
      if (e->mimeData()->hasUrls()) e->acceptProposedAction();
      return true;
    }
    if (event->type() == QEvent::Drop) {
      auto* e = static_cast<QDropEvent*>(event);
      const Dropped d = droppedfile(e->mimeData());
      e->acceptProposedAction();
      if (d.path.isEmpty()) window_->setstatus(d.why);
      else load_(d.path);
      return true;
    }
    return false;
  }

private:
  Figure* window_;
  std::function<void(const QString&)> load_;
};

} // namespace

Dropped droppedfile(const QMimeData* data) {
  const QList<QUrl> urls = data != nullptr && data->hasUrls() ? data->urls() : QList<QUrl>{};
  if (urls.isEmpty()) return {{}, QObject::tr("Only files can be dropped here, to be loaded")};
  if (urls.size() > 1)
    return {{}, QObject::tr("%1 files were dropped: drop one file at a time").arg(urls.size())};
  if (!urls[0].isLocalFile())
    return {{}, QObject::tr("Only a file on this computer can be loaded, not %1").arg(urls[0].toDisplayString())};
  const QString path = urls[0].toLocalFile();
  if (!QFileInfo(path).isFile()) return {{}, QObject::tr("%1 is not a file that can be loaded").arg(path)};
  return {path, {}};
}

void acceptdrops(Figure* window, std::function<void(const QString& path)> load) {
  window->setAcceptDrops(true);
  window->installEventFilter(new DropTarget(window, std::move(load)));
}

} // namespace shell
