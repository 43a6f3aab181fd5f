#include "shell/results.h"

#include "core/error.h"
#include "core/text_format.h"
#include "io/text_file.h"

namespace shell {

void AuxBoxsw(Host& host) {
  const std::vector<std::string> rows = host.results();
  // Refused before the dialog: an empty append would leave a file that
  // looks written, and spoil a grid of runs without a word.
  if (rows.empty())
    throw core::Error("AuxBoxsw: there are no results to append yet (in Tectsim, run DoStats first); no file was "
                      "written");
  host.echo("h =\n\n  AuxResults\n\n");
  const auto choice = host.uiappendfile("*.*", "File Name for Partial Warp Scores");
  if (!choice) throw core::Error("AuxBoxsw: no file was chosen, so the results were not saved");
  std::string text, whole;
  for (const auto& r : rows) whole += r;
  for (const auto& r : rows) {
    text += core::format("%s \n", r);
    host.echo(whole);
  }
  io::writefile(choice->path(), text, choice->replace ? io::WriteMode::Replace : io::WriteMode::Append);
}

} // namespace shell
