#!/usr/bin/env bash
# The desktop files: every program's entry opens the files it is handed
# (%F) and names the TPS and text types; the shared-mime-info package makes
# *.tps application/x-tps once a desktop's database is rebuilt from it.
# desktop-file-validate, where installed, has the last word on the entries.
# Usage: desktop_entries_test.sh PACKAGING-FOLDER SCRATCH-FOLDER
set -euo pipefail
packaging=$1 scratch=$2
status=0
for entry in "$packaging"/applications/*.desktop; do
  grep -Eq '^Exec=[a-z]+ %F$' "$entry" || { echo "$entry: Exec does not take %F" >&2; status=1; }
  grep -Eq '^MimeType=(.*;)?application/x-tps;(.*;)?text/plain;' "$entry" ||
    { echo "$entry: MimeType does not name application/x-tps and text/plain" >&2; status=1; }
  if command -v desktop-file-validate > /dev/null; then desktop-file-validate "$entry" || status=1; fi
done
if command -v update-mime-database > /dev/null; then
  rm -rf "$scratch" && mkdir -p "$scratch/packages"
  cp "$packaging/mime/tectomorph.xml" "$scratch/packages/"
  update-mime-database "$scratch"
  grep -q '^[0-9]*:application/x-tps:\*\.tps$' "$scratch/globs2" ||
    { echo "the mime package does not make *.tps application/x-tps" >&2; status=1; }
else
  xmllint --noout "$packaging/mime/tectomorph.xml" || status=1
fi
exit $status
