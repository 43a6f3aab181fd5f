#include "shell/qt/file_chooser.h"

#include "shell/qt/settings.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStringList>
#include <algorithm>

namespace shell {

namespace {

const QString folderkey = QStringLiteral("FileDialogs/Folder");

bool iswildcard(QChar c) { return c == '*' || c == '?' || c == '['; }

} // namespace

QString qtfilter(std::string_view filter) {
  const QString all = QStringLiteral("All files (*)");
  QStringList filters;
  for (const QString& f : QString::fromUtf8(filter.data(), static_cast<qsizetype>(filter.size()))
                              .split(';', Qt::SkipEmptyParts)) {
    const QString pattern = f.trimmed();
    if (pattern.isEmpty() || pattern == "*.*" || pattern == "*") continue;
    filters << pattern + " (" + pattern + ")";
  }
  filters << all;
  return filters.join(";;");
}

QString filterextension(const QString& namefilter) {
  const qsizetype open = namefilter.lastIndexOf('('), close = namefilter.lastIndexOf(')');
  const QString inner = open >= 0 && close > open ? namefilter.mid(open + 1, close - open - 1) : namefilter;
  const QStringList patterns = inner.split(' ', Qt::SkipEmptyParts);
  if (patterns.size() != 1 || !patterns[0].startsWith("*.")) return {};
  const QString extension = patterns[0].mid(2);
  if (extension.isEmpty() || std::any_of(extension.begin(), extension.end(), iswildcard)) return {};
  return extension;
}

QString withfilterextension(const QString& path, const QString& namefilter) {
  const QString extension = filterextension(namefilter);
  const QString name = QFileInfo(path).fileName();
  // "wellman.png" keeps its name, and so does "wellman.svg": a typed
  // extension says what the user wants. "wellman." is taken as typed too.
  if (extension.isEmpty() || name.isEmpty() || name.contains('.')) return path;
  return path + "." + extension;
}

namespace {

// The chosen filter's extension joins a bare name when the user presses
// Save, before the dialog checks whether the file exists, so the question
// (if any) names the file that will be written.
class ChooserDialog : public QFileDialog {
public:
  using QFileDialog::QFileDialog;
  bool addextension = false;

protected:
  void accept() override {
    if (addextension) setDefaultSuffix(filterextension(selectedNameFilter()));
    QFileDialog::accept();
  }
};

} // namespace

std::optional<QString> choosefile(QWidget* parent, FileDialog kind, std::string_view filter, std::string_view title,
                                  const QString& folder) {
  ChooserDialog dialog(parent, QString::fromUtf8(title.data(), static_cast<qsizetype>(title.size())), folder,
                     qtfilter(filter));
  dialog.setObjectName("FileDialog");
  const bool save = kind != FileDialog::Open;
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  // An append keeps what the file holds: asking whether to replace it
  // would say the opposite of what happens.
  if (kind == FileDialog::Append) dialog.setOption(QFileDialog::DontConfirmOverwrite);
  dialog.addextension = save;
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  const QString path = dialog.selectedFiles().front();
  if (path.isEmpty()) return std::nullopt;
  // A platform dialog that ignores the default suffix gets it here.
  return save ? withfilterextension(path, dialog.selectedNameFilter()) : path;
}

std::optional<QString> rememberedfolder() {
  const auto settings = programsettings();
  if (!settings) return std::nullopt;
  const QString folder = settings->value(folderkey).toString();
  if (folder.isEmpty() || !QFileInfo(folder).isDir()) return std::nullopt;
  return folder;
}

void rememberfolder(const QString& folder) {
  if (const auto settings = programsettings()) settings->setValue(folderkey, QDir::cleanPath(folder));
}

} // namespace shell
