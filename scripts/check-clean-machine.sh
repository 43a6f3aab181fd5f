#!/usr/bin/env bash
# Runs the README's set-up commands on a bare Debian 12, the way a new user
# would, so that a package the build needs but this machine happens to have
# cannot hide behind a green test run.
#
#   bash scripts/check-clean-machine.sh           full check
#   bash scripts/check-clean-machine.sh --quick   dependency step, configure, demo
#
# A minimal bookworm root (debootstrap --variant=minbase, from the mirror
# this machine's apt sources name) receives a copy of the working tree:
# every tracked file and every untracked one that git does not ignore, so
# uncommitted changes are checked too. In a chroot of that root, with /proc,
# /sys and /dev bound for the run and released on every way out:
#
#   full   the README's two commands, word for word as the README writes
#          them (the demo, then the tests); then the Debian package is made
#          with cpack and installed with apt-get into a second bare root that
#          has no build tools, where the demo's chain runs against the
#          installed programs.
#   quick  the dependency step (scripts/install-deps.sh), a full CMake
#          configure (tests and benchmarks included), and the README's demo
#          command.
#
# One line per step; a failing step prints the last lines of its log and
# the check exits non-zero. Needs root (debootstrap, chroot and mount).
#
# The bootstrapped root and the downloaded packages are cached outside the
# repository, in $TECTO_CHECK_CACHE (default /var/cache/tectomorph-check), so
# a second run starts from an unpacked copy instead of the network; each run
# works on a fresh copy, never on the cache itself. --refresh bootstraps the
# cached root again; --keep leaves the work folder for inspection.
# TECTO_CHECK_MIRROR overrides the mirror taken from the apt sources.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
quick=0 keep=0 refresh=0
for arg in "$@"; do
  case $arg in
    --quick) quick=1 ;;
    --keep) keep=1 ;;
    --refresh) refresh=1 ;;
    -h|--help) sed -n '2,/^set -euo/{/^set -euo/d;s/^# \{0,1\}//;p}' "$0"; exit 0 ;;
    *) echo "check-clean-machine: unknown option '$arg' (try --help)" >&2; exit 2 ;;
  esac
done

say() { echo "check-clean-machine: $*"; }
die() { say "$*" >&2; exit 1; }

[ "$(id -u)" -eq 0 ] || die "needs root (debootstrap, chroot and mount); run it as root"

cache=${TECTO_CHECK_CACHE:-/var/cache/tectomorph-check}
case $cache/ in "$here"/*) die "the cache '$cache' lies inside the repository; choose another TECTO_CHECK_CACHE" ;; esac
pristine=$cache/bookworm-minbase
archives=$cache/apt-archives
mkdir -p "$cache" "$archives/partial"

work=$(mktemp -d /var/tmp/tectomorph-check.XXXXXX)
logs=$work/logs
mkdir -p "$logs"
mounts=() # mount points to release, in the order they were made

# Every process still running inside a root keeps its mounts busy: end
# them first, then release the mounts in reverse order. The work folder is
# removed only when nothing is mounted under it any more, so that a bound
# /dev can never be deleted through it.
release() {
  local root pid i m
  for root in "$work"/root*; do
    [ -d "$root" ] || continue
    for pid in /proc/[0-9]*; do
      [ "$(readlink "$pid/root" 2>/dev/null)" = "$root" ] && kill -9 "${pid#/proc/}" 2>/dev/null || true
    done
  done
  for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do
    m=${mounts[i]}
    umount -R "$m" 2>/dev/null || umount -lR "$m" 2>/dev/null || true
  done
  mounts=()
}
cleanup() {
  local status=$?
  release
  if grep -q " $work/" /proc/mounts; then
    say "some mounts under $work could not be released; leaving it in place" >&2
  elif [ "$keep" -eq 1 ] || [ "$status" -ne 0 ]; then
    say "work folder kept: $work"
  else
    rm -rf "$work"
  fi
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

step_no=0
started=$(date +%s)
# step NAME COMMAND...: one line for the step, its output into a log; on
# failure the log's last lines and a non-zero exit.
step() {
  local name=$1 log slug start status
  shift
  step_no=$((step_no + 1))
  slug=${name//[^A-Za-z0-9]/-}; log=$logs/$(printf "%02d" "$step_no")-${slug:0:40}.log
  printf 'check-clean-machine: [%d] %-40s ' "$step_no" "$name"
  start=$(date +%s)
  set +e
  ("$@") > "$log" 2>&1
  status=$?
  set -e
  if [ "$status" -eq 0 ]; then
    printf 'ok (%ds)\n' "$(($(date +%s) - start))"
  else
    printf 'FAILED (%ds, exit %d)\n' "$(($(date +%s) - start))" "$status"
    echo "---- last lines of $log"
    tail -n 40 "$log"
    echo "----"
    exit 1
  fi
}

# The mirrors of this machine's apt sources, one-line or deb822 form.
apt_uri() { # suite
  local suite=$1 f
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -r "$f" ] || continue
    awk -v s="$suite" '$1 == "deb" { i = 2; if ($i ~ /^\[/) while ($i !~ /\]$/) i++; if ($i ~ /^\[/) i++;
      if ($(i + 1) == s) { print $i; exit } }' "$f"
  done
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -r "$f" ] || continue
    awk -v s="$suite" 'BEGIN { RS = ""; FS = "\n" }
      { types = uris = suites = ""; enabled = 1
        for (i = 1; i <= NF; i++) {
          if ($i ~ /^Types:/) types = $i
          else if ($i ~ /^URIs:/) { uris = $i; sub(/^URIs:[ \t]*/, "", uris) }
          else if ($i ~ /^Suites:/) suites = " " $i " "
          else if ($i ~ /^Enabled:[ \t]*no/) enabled = 0
        }
        if (enabled && types ~ /[ \t]deb([ \t]|$)/ && suites ~ "[ \t]" s "[ \t]") { split(uris, u, /[ \t]+/); print u[1]; exit } }' "$f"
  done
}
mirror=${TECTO_CHECK_MIRROR:-$(apt_uri bookworm | head -n 1)}
[ -n "$mirror" ] || die "no bookworm mirror in this machine's apt sources; set TECTO_CHECK_MIRROR"
security=$(apt_uri bookworm-security | head -n 1)

# The README's set-up commands, exactly as written: the shell lines of the
# code blocks under its set-up heading, the demo first, then the tests.
mapfile -t readme_commands < <(awk '
  /^## / { inside = ($0 ~ /^## Set-up/) }
  inside && /^```/ { block = !block; next }
  inside && block && NF { print }' "$here/README.md")
[ "${#readme_commands[@]}" -eq 2 ] ||
  die "README.md's set-up section should hold two commands, found ${#readme_commands[@]}"
demo_command=${readme_commands[0]}
test_command=${readme_commands[1]}

bootstrap() {
  command -v debootstrap > /dev/null ||
    { apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq debootstrap; }
  rm -rf "$pristine.new"
  debootstrap --variant=minbase bookworm "$pristine.new" "$mirror"
  echo "$mirror" > "$pristine.new/.tectomorph-mirror"
  rm -rf "$pristine"
  mv "$pristine.new" "$pristine"
}

# A fresh root from the cached one, with a fresh installation's apt sources
# and this machine's name service, and the package cache shared.
newroot() { # folder
  local root=$1
  cp -a "$pristine" "$root"
  rm -f "$root/.tectomorph-mirror"
  {
    echo "deb $mirror bookworm main"
    echo "deb $mirror bookworm-updates main"
    [ -n "$security" ] && echo "deb $security bookworm-security main"
  } > "$root/etc/apt/sources.list"
  cp -L /etc/resolv.conf "$root/etc/resolv.conf"
}
bind() { # root
  local root=$1
  mount -t proc proc "$root/proc" && mounts+=("$root/proc")
  mount -t sysfs sysfs "$root/sys" && mounts+=("$root/sys")
  mount --rbind /dev "$root/dev" && mounts+=("$root/dev")
  mount --make-rslave "$root/dev"
  mount --bind "$archives" "$root/var/cache/apt/archives" && mounts+=("$root/var/cache/apt/archives")
}
# A command line in a root, as root's login would run it: a plain
# environment, in the given folder.
inroot() { # root, folder, command line
  chroot "$1" /usr/bin/env -i HOME=/root LANG=C.UTF-8 TERM=dumb CI="${CI:-}" \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    bash -c "cd '$2' && $3"
}

copytree() { # root
  mkdir -p "$1/src/tectomorph"
  (cd "$here" && git ls-files -z --cached --others --exclude-standard |
    while IFS= read -r -d '' f; do [ -e "$f" ] && printf '%s\0' "$f"; done |
    tar --null -T - -cf -) | tar -xf - -C "$1/src/tectomorph"
}

say "mirror $mirror${security:+, security $security}; work folder $work"
say "mode: $([ "$quick" -eq 1 ] && echo quick || echo full)"
if [ "$refresh" -eq 1 ] || [ ! -x "$pristine/bin/bash" ] ||
  [ "$(cat "$pristine/.tectomorph-mirror" 2>/dev/null)" != "$mirror" ]; then
  step "bootstrap a minimal bookworm" bootstrap
else
  say "using the cached minimal root in $pristine"
fi

root=$work/root
src=/src/tectomorph
step "fresh root with the working tree" eval 'newroot "$root" && copytree "$root"'
bind "$root"
inroot "$root" / 'command -v g++ cmake' > /dev/null && die "the fresh root already has build tools"

if [ "$quick" -eq 1 ]; then
  step "dependencies (scripts/install-deps.sh)" inroot "$root" "$src" 'bash scripts/install-deps.sh'
  step "configure with tests and benchmarks" inroot "$root" "$src" \
    'cmake -S . -B build-configure -G Ninja -DTECTO_TESTS=ON -DTECTO_BENCH=ON'
  step "demo: $demo_command" inroot "$root" "$src" "$demo_command"
  step "demo output written" test -s "$root$src/demo-output/restrain-report.txt"
  say "quick check passed in $(($(date +%s) - started)) s"
  exit 0
fi

step "demo: $demo_command" inroot "$root" "$src" "$demo_command"
step "demo output written" test -s "$root$src/demo-output/restrain-report.txt"
step "tests: $test_command" inroot "$root" "$src" "$test_command"
step "Debian package (cpack -G DEB)" inroot "$root" "$src" \
  'cmake --build build && cd build && rm -f tectomorph_*.deb && cpack -G DEB'
deb=$(cd "$root$src/build" && ls tectomorph_*.deb)
release

# The package alone, on a machine that never built anything.
root2=$work/root-installed
step "second fresh root" newroot "$root2"
bind "$root2"
cp "$root$src/build/$deb" "$root2/root/"
step "apt-get install ./$deb" inroot "$root2" /root \
  "apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y ./$deb"
step "no build tools in the installed root" inroot "$root2" / '! command -v g++ && ! command -v cmake && ! command -v c++'
step "installed programs run the demo chain" inroot "$root2" /root \
  '/usr/share/tectomorph/demo-chain.sh /root/demo-output'
step "installed demo output written" test -s "$root2/root/demo-output/restrain-report.txt"
say "full check passed in $(($(date +%s) - started)) s"
