#include "core/text_file.h"

#include "core/error.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

namespace core {

namespace {

std::string reason() { return errno != 0 ? std::strerror(errno) : "unknown error"; }

} // namespace

std::string readfile(const std::string& path) {
  errno = 0;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) throw Error("Cannot open file '" + path + "': " + reason());
  std::string text;
  char buffer[1 << 16];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, got);
  const bool failed = std::ferror(f) != 0;
  std::fclose(f);
  if (failed) throw Error("Cannot read file '" + path + "': " + reason());
  return text;
}

void writefile(const std::string& path, std::string_view text, WriteMode mode) {
  namespace fs = std::filesystem;
  if (mode == WriteMode::Append) {
    errno = 0;
    std::FILE* f = std::fopen(path.c_str(), "ab");
    if (f == nullptr) throw Error("Cannot open file '" + path + "' for writing: " + reason());
    const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    const bool closed = std::fclose(f) == 0;
    if (!ok || !closed) throw Error("Cannot write file '" + path + "': " + reason());
    return;
  }
  // Replace: write beside the target, then rename over it.
  const fs::path target(path);
  const std::string tmp = path + ".part" + std::to_string(std::random_device{}() % 1000000);
  errno = 0;
  std::FILE* f = std::fopen(tmp.c_str(), "wb");
  if (f == nullptr) throw Error("Cannot open file '" + path + "' for writing: " + reason());
  const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  const bool closed = std::fclose(f) == 0;
  std::error_code ec;
  if (!ok || !closed) {
    const std::string why = reason();
    fs::remove(tmp, ec);
    throw Error("Cannot write file '" + path + "': " + why);
  }
  fs::rename(tmp, target, ec);
  if (ec) {
    fs::remove(tmp, ec);
    throw Error("Cannot write file '" + path + "': " + ec.message());
  }
}

std::size_t line_of(std::string_view text, std::size_t offset) {
  std::size_t line = 1;
  for (std::size_t i = 0; i < offset && i < text.size(); ++i) {
    if (text[i] == '\n') ++line;
    else if (text[i] == '\r' && (i + 1 >= text.size() || text[i + 1] != '\n')) ++line;
  }
  return line;
}

} // namespace core
