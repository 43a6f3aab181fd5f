#include "shell/file_dialogs.h"

#include "core/error.h"
#include "core/row_file.h"

namespace shell {

Loaded mfload(Host& host) {
  const auto choice = host.uigetfile("*.*", "Enter file to Load?");
  if (!choice) throw core::Error("No file was chosen, so nothing was loaded");
  return {core::dload(choice->path()), choice->name};
}

core::TpsFile gettpsfile2(Host& host, double cs) {
  const auto choice = host.uigetfile("*.tps", "Specify TPS file to load");
  if (!choice) throw core::Error("No TPS file was chosen, so nothing was loaded");
  core::TpsFile tps = core::readtpsfile(choice->path(), cs);
  tps.fname = choice->name;
  return tps;
}

} // namespace shell
