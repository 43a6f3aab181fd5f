#include "shell/script.h"

#include "core/error.h"
#include "io/csv.h"
#include "core/progress.h"
#include "shell/callables.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <new>
#include <filesystem>
#include <sys/resource.h>

namespace shell {

namespace fs = std::filesystem;

ScriptHost::ScriptHost(Host& window, RunLog* log)
    : window_(window), log_(log), start_(fs::current_path().string()) {}

std::vector<std::string> ScriptHost::answer(std::vector<std::string> files) {
  std::vector<std::string> unused(answers_.begin(), answers_.end());
  answers_.assign(files.begin(), files.end());
  return unused;
}

std::optional<FileChoice> ScriptHost::next(std::string_view title) {
  if (answers_.empty()) return std::nullopt;
  const std::string word = answers_.front();
  answers_.pop_front();
  if (word == "-") return std::nullopt;
  // "" would name the run's folder; no dialog can answer with no name.
  if (word.empty())
    throw core::Error("The file name for \"" + std::string(title) + "\" is empty: give a name, or - to cancel");
  fs::path path(word);
  if (path.is_relative()) path = fs::path(start_) / path;
  path = path.lexically_normal();
  return FileChoice{path.filename().string(), path.parent_path().string() + "/"};
}

std::optional<FileChoice> ScriptHost::uigetfile(std::string_view, std::string_view title) {
  auto choice = next(title);
  if (log_ != nullptr && choice) log_->loaded(choice->path());
  return choice;
}
std::optional<FileChoice> ScriptHost::uiputfile(std::string_view, std::string_view title) {
  auto choice = next(title);
  if (log_ != nullptr && choice) log_->writing(choice->path());
  return choice;
}

void ScriptHost::msgbox(std::string_view text, std::string_view title) {
  if (log_ != nullptr) log_->message(text, title); // kept in the log, printed once
  print(title.empty() ? "== ==\n" : "== " + std::string(title) + " ==\n");
  print(text);
  print("\n\n");
}

std::size_t ScriptHost::ask(std::string_view text, std::string_view title, const std::vector<std::string>& answers,
                            std::size_t unasked) {
  if (log_ != nullptr) log_->message(std::string(text) + "\nAnswered without asking: " + answers.at(unasked), title);
  return Host::ask(text, title, answers, unasked);
}

void ScriptHost::setresults(const std::vector<std::string>& rows) {
  window_.setresults(rows);
  print("== Results ==\n");
  for (std::size_t i = 0; i < rows.size(); ++i) print(rows[i] + (i + 1 < rows.size() ? "\n" : ""));
  print("\n\n");
}

bool ScriptHost::progress(std::string_view what, double fraction) {
  if (progressout_ == nullptr) return true;
  const auto now = std::chrono::steady_clock::now();
  if (progresswidth_ > 0 && std::chrono::duration<double>(now - progressshown_).count() < progressinterval_)
    return true;
  progressshown_ = now;
  std::string line(what);
  const int percent = static_cast<int>(std::clamp(fraction, 0.0, 1.0) * 100);
  line += " (" + std::to_string(percent) + " %)";
  // Blank out what is left of a longer line shown before.
  const std::size_t width = line.size();
  if (width < progresswidth_) line.append(progresswidth_ - width, ' ');
  progresswidth_ = width;
  std::fprintf(progressout_, "\r%s", line.c_str());
  std::fflush(progressout_);
  return true;
}

void ScriptHost::endprogress() {
  if (progressout_ != nullptr && progresswidth_ > 0) {
    std::fprintf(progressout_, "\r%s\r", std::string(progresswidth_, ' ').c_str());
    std::fflush(progressout_);
  }
  progresswidth_ = 0;
}

// Console output is buffered; the end of every command flushes it.
void ScriptHost::print(std::string_view text) { std::fwrite(text.data(), 1, text.size(), stdout); }

void ScriptHost::echo(std::string_view text) {
  if (!quiet_) print(text);
}

// The log hears the line as a report, so that it is printed once.
void ScriptHost::note(std::string_view line) {
  print(std::string(line) + "\n");
  if (log_ != nullptr) log_->noted(line);
}

std::vector<std::string> scriptwords(std::string_view line) {
  std::vector<std::string> words;
  std::string word;
  bool inword = false, quoted = false;
  for (char c : line) {
    if (quoted) {
      if (c == '"') quoted = false;
      else word += c;
    } else if (c == '"') {
      quoted = inword = true;
    } else if (c == '#') {
      break;
    } else if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      if (inword) words.push_back(word);
      word.clear();
      inword = false;
    } else {
      word += c;
      inword = true;
    }
  }
  if (quoted) throw core::Error("a double quote is not closed");
  if (inword) words.push_back(word);
  return words;
}

namespace {

// One command of a script.
void command(const std::vector<std::string>& words, ScriptHost& host, const Program& program,
             const std::string& start) {
  const std::string& verb = words[0];
  const auto resolve = [&](const std::string& file) {
    const fs::path p(file);
    return (p.is_relative() ? fs::path(start) / p : p).lexically_normal().string();
  };
  if (verb == "set") {
    if (words.size() < 2) throw core::Error("set needs a Tag and the text to type into it");
    std::string text;
    for (std::size_t i = 2; i < words.size(); ++i) text += (i > 2 ? " " : "") + words[i];
    host.setstring(words[1], text);
  } else if (verb == "show") {
    if (words.size() != 2) throw core::Error("show needs one Tag");
    for (const std::string& row : host.string(words[1])) host.print(row + "\n");
  } else if (verb == "plot") {
    if (words.size() != 2) throw core::Error("plot needs one file name (.png, .svg or .pdf)");
    host.axes().save(resolve(words[1]));
    if (host.log() != nullptr) host.log()->wrote(resolve(words[1]));
  } else if (verb == "report") {
    if (words.size() != 2) throw core::Error("report needs one file name");
    if (host.log() == nullptr) throw core::Error("report: this window has no results pane");
    host.log()->saverunreport(resolve(words[1]));
  } else if (verb == "export") {
    if (words.size() != 2 || !io::iscsvname(words[1])) throw core::Error("export needs one file name ending in .csv");
    const std::optional<Table>& table = host.table();
    if (!table)
      throw core::Error(host.lastaction().empty()
                            ? "export: no action has run yet, so there is no table to write"
                            : "export: the last action, " + host.lastaction() + ", showed no table; nothing was written");
    writecsv(resolve(words[1]), *table);
  } else {
    // An action of the switch (or the Results tab's save), the words
    // after it answering its dialogs.
    const std::vector<std::string> files(words.begin() + 1, words.end());
    host.answer(files);
    host.setlastaction(verb);
    const RunningAction running(verb); // titles its plots, when asked
    RunLog* log = host.log();
    if (log != nullptr) {
      log->beginaction(verb, kindof(program, verb));
      log->used(boxesused(host, program.actions, verb));
    }
    try {
      if (verb == "AuxBoxsw") shell::call("AuxBoxsw", {}, 0);
      else shell::call(program.switchname, {verb}, 0);
    } catch (const std::exception& e) {
      if (log != nullptr) log->endaction(e.what(), dynamic_cast<const core::Cancelled*>(&e) != nullptr);
      throw;
    }
    if (log != nullptr) log->endaction();
    const std::vector<std::string> unused = host.answer({});
    if (!unused.empty()) {
      std::string list;
      for (const auto& u : unused) list += " " + u;
      std::fprintf(stderr, "note: %s used fewer file names than given; unused:%s\n", verb.c_str(), list.c_str());
    }
  }
}

} // namespace

namespace {

// The next line of a script. LF, CR LF and a lone CR all end a line, so a
// script saved on any system runs every command. A CR's LF is skipped when
// it comes, never waited for, so a script typed on standard input runs
// line by line. False at the end of the text.
bool nextline(std::istream& in, std::string& line, bool& skiplf) {
  line.clear();
  bool read = false;
  for (int c; (c = in.get()) != std::char_traits<char>::eof();) {
    if (skiplf) {
      skiplf = false;
      if (c == '\n') continue;
    }
    read = true;
    if (c == '\n') return true;
    if (c == '\r') {
      skiplf = true;
      return true;
    }
    line += static_cast<char>(c);
  }
  return read;
}

// The peak resident memory of one command. Linux restarts the process's
// high-water mark at its present size when "5" is written to
// /proc/self/clear_refs; VmHWM in /proc/self/status is then the most the
// command held. Where that is refused (another system, a locked-down
// /proc), the peak is the process's since it started.
bool restartpeak() {
  std::FILE* f = std::fopen("/proc/self/clear_refs", "w");
  if (f == nullptr) return false;
  const bool written = std::fputs("5", f) >= 0;
  return std::fclose(f) == 0 && written;
}

// The high-water mark of resident memory in KiB.
double peakkib() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.starts_with("VmHWM:")) return std::strtod(line.c_str() + 6, nullptr);
  struct rusage usage {};
  ::getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss); // KiB on Linux
}

// Times one command and measures its peak memory for a timed run.
class Timer {
public:
  explicit Timer(std::FILE* out) : out_(out) {
    if (out_ == nullptr) return;
    restarted_ = restartpeak();
    start_ = std::chrono::steady_clock::now();
  }
  void report(int lineno, const std::string& verb) const {
    if (out_ == nullptr) return;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    std::fprintf(out_, "timing: line %d %s %.3f s, peak %s%.1f MiB\n", lineno, verb.c_str(), seconds,
                 restarted_ ? "" : "so far ", peakkib() / 1024.0);
    std::fflush(out_);
  }

private:
  std::FILE* out_;
  bool restarted_ = false;
  std::chrono::steady_clock::time_point start_{};
};

} // namespace

int runscript(std::istream& script, const std::string& scriptname, ScriptHost& host, const Program& program) {
  const std::string start = fs::current_path().string();
  host.startin(start);
  std::string line;
  int lineno = 0;
  bool skiplf = false;
  while (nextline(script, line, skiplf)) {
    ++lineno;
    // An editor's UTF-8 byte-order mark is not part of the first command.
    if (lineno == 1 && line.starts_with("\xEF\xBB\xBF")) line.erase(0, 3);
    std::vector<std::string> words;
    try {
      words = scriptwords(line);
      if (words.empty()) continue;
      const Timer timer(host.timingout());
      command(words, host, program, start);
      host.endprogress();
      std::fflush(stdout);
      timer.report(lineno, words[0]);
    } catch (const std::bad_alloc&) {
      std::fflush(stdout);
      std::fprintf(stderr, "%s\n(%s, line %d%s%s)\n", outofmemory(words.empty() ? "this command" : words[0]).c_str(),
                   scriptname.c_str(), lineno, words.empty() ? "" : ": ", words.empty() ? "" : words[0].c_str());
      return 1;
    } catch (const std::exception& e) {
      std::fflush(stdout);
      std::fprintf(stderr, "%s\n(%s, line %d%s%s)\n", e.what(), scriptname.c_str(), lineno, words.empty() ? "" : ": ",
                   words.empty() ? "" : words[0].c_str());
      return 1;
    }
  }
  std::fflush(stdout);
  if (script.bad()) {
    std::fprintf(stderr, "Cannot read the script '%s' after line %d\n", scriptname.c_str(), lineno);
    return 1;
  }
  return 0;
}

std::string outofmemory(std::string_view what) {
  return "Not enough memory for " + std::string(what) +
         ": the machine could not give it the memory it needed; nothing more of it was done";
}

} // namespace shell
