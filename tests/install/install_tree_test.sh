#!/usr/bin/env bash
# Installs the build into a scratch DESTDIR under two prefixes and checks that
# each file lies where its reader looks: programs on PATH through links that
# resolve to lib/zorvan (where the driver finds Calivo.app beside itself), the
# simulator only when asked for, desktop entries whose command and icon exist,
# the autostart entry, a man page for every program, and the udev rule and
# modules-load.d file in the system's own folders whatever the prefix.
#   install_tree_test.sh BUILD_DIR RULES_DIR MODULES_LOAD_DIR AUTOSTART_DIR
set -uo pipefail
build=$1 rules_dir=$2 modules_dir=$3 autostart_dir=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL [$prefix]: $*"; failures=$((failures + 1)); }

desktop_key() {  # <file> <key>: the key's value in the [Desktop Entry] group
  sed -n "/^\[Desktop Entry\]/,/^\[/s/^$2=//p" "$1" | head -n 1
}

for prefix in /usr /opt/zorvan; do
  root=$work/root${prefix//\//_}
  if ! DESTDIR=$root cmake --install "$build" --prefix "$prefix" >"$work/log" 2>&1; then
    cat "$work/log"
    fail "cmake --install failed"
    continue
  fi
  p=$root$prefix

  for program in zorvan Calivo.app; do
    [ -x "$p/lib/zorvan/$program" ] || fail "$program missing from lib/zorvan"
    [ -L "$p/bin/$program" ] || { fail "bin/$program is not a link"; continue; }
    real=$(readlink -f "$p/bin/$program")
    [ "$real" = "$(readlink -f "$p/lib/zorvan/$program")" ] ||
      fail "bin/$program leads to $real, not lib/zorvan"
  done
  # The simulator is a developer's tool: only asked for does it reach bin.
  [ ! -e "$p/bin/zorvan-board-sim" ] || fail "zorvan-board-sim installed without being asked for"
  DESTDIR=$root cmake --install "$build" --prefix "$prefix" --component board-sim >"$work/log" 2>&1 ||
    { cat "$work/log"; fail "cmake --install --component board-sim failed"; }
  [ -x "$p/bin/zorvan-board-sim" ] || fail "zorvan-board-sim missing from its component"
  # The link's target is what /proc/self/exe names: Calivo.app must be beside it.
  [ -x "$(dirname "$(readlink -f "$p/bin/zorvan")")/Calivo.app" ] ||
    fail "Calivo.app is not beside the driver the link starts"
  for program in zorvan Calivo.app zorvan-board-sim; do
    "$p/bin/$program" --help >"$work/help" 2>&1 || fail "$program --help failed: $(cat "$work/help")"
  done

  for program in "$p"/bin/*; do
    name=$(basename "$program")
    [ -s "$p/share/man/man1/$name.1.gz" ] || fail "no man page for $name"
    gzip -t "$p/share/man/man1/$name.1.gz" 2>/dev/null || fail "man page of $name is no gzip file"
  done

  for entry in "$p/share/applications/zorvan.desktop" "$p/share/applications/calivo.desktop" \
    "$root$autostart_dir/zorvan.desktop"; do
    [ -f "$entry" ] || { fail "missing $entry"; continue; }
    command=$(desktop_key "$entry" Exec)
    [ -x "$p/bin/${command%% *}" ] || fail "$entry starts '$command', which is not in bin"
    icon=$(desktop_key "$entry" Icon)
    [ -f "$p/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "$entry has no icon '$icon'"
  done
  [ "$(desktop_key "$root$autostart_dir/zorvan.desktop" Exec)" = "zorvan --hidden" ] ||
    fail "the autostart entry does not start zorvan as a tray icon"

  [ -f "$root$rules_dir/60-zorvan.rules" ] || fail "udev rule not in $rules_dir"
  grep -qx uinput "$root$modules_dir/zorvan.conf" 2>/dev/null || fail "uinput not loaded at boot"
done

[ "$failures" -eq 0 ] && echo "install tree: all in place"
exit $((failures > 0))
