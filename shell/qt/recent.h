#pragma once
// The files a program loaded last, newest first, each with the action
// that loaded it, so that choosing one from File > Recent files loads it
// again the same way. Kept in the program's settings (shell/settings.h).

#include <cstddef>
#include <string>
#include <vector>

class QSettings;

namespace shell {

struct RecentFile {
  std::string action; // "LoadData"
  std::string path;   // absolute
  bool operator==(const RecentFile&) const = default;
};

// How many files the menu lists.
inline constexpr std::size_t recentcount = 8;

// The list after `file` was loaded: it comes first, an older entry of the
// same file goes (whichever action loaded it), and at most `keep` stay.
std::vector<RecentFile> addrecent(std::vector<RecentFile> list, RecentFile file, std::size_t keep = recentcount);

// The list in the settings, and storing it.
std::vector<RecentFile> readrecent(QSettings& settings);
void writerecent(QSettings& settings, const std::vector<RecentFile>& list);

// The program's list (empty in headless runs), and noting a file it loaded
// (nothing is kept in headless runs).
std::vector<RecentFile> recentfiles();
void noterecent(const RecentFile& file);
void forgetrecent(const std::string& path);

} // namespace shell
