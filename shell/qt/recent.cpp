#include "shell/qt/recent.h"

#include "shell/qt/settings.h"

#include <QSettings>
#include <algorithm>

namespace shell {

namespace {

const QString group = QStringLiteral("RecentFiles");

} // namespace

std::vector<RecentFile> addrecent(std::vector<RecentFile> list, RecentFile file, std::size_t keep) {
  std::erase_if(list, [&](const RecentFile& r) { return r.path == file.path; });
  list.insert(list.begin(), std::move(file));
  if (list.size() > keep) list.resize(keep);
  return list;
}

std::vector<RecentFile> readrecent(QSettings& settings) {
  std::vector<RecentFile> list;
  const int n = settings.beginReadArray(group);
  for (int i = 0; i < n; ++i) {
    settings.setArrayIndex(i);
    RecentFile r{settings.value("action").toString().toStdString(), settings.value("path").toString().toStdString()};
    if (!r.action.empty() && !r.path.empty()) list.push_back(std::move(r));
  }
  settings.endArray();
  return list;
}

void writerecent(QSettings& settings, const std::vector<RecentFile>& list) {
  settings.remove(group); // a shorter list leaves no old entries behind
  settings.beginWriteArray(group, static_cast<int>(list.size()));
  for (std::size_t i = 0; i < list.size(); ++i) {
    settings.setArrayIndex(static_cast<int>(i));
    settings.setValue("action", QString::fromStdString(list[i].action));
    settings.setValue("path", QString::fromStdString(list[i].path));
  }
  settings.endArray();
}

std::vector<RecentFile> recentfiles() {
  const auto settings = programsettings();
  return settings ? readrecent(*settings) : std::vector<RecentFile>{};
}

void noterecent(const RecentFile& file) {
  if (const auto settings = programsettings()) writerecent(*settings, addrecent(readrecent(*settings), file));
}

void forgetrecent(const std::string& path) {
  if (const auto settings = programsettings()) {
    auto list = readrecent(*settings);
    std::erase_if(list, [&](const RecentFile& r) { return r.path == path; });
    writerecent(*settings, list);
  }
}

} // namespace shell
