#!/usr/bin/env bash
# Every option a program's --help names is documented in its man page, the
# pages render without groff warnings, and they all carry the same date.
# Usage: man_pages_test.sh <build dir> <man page dir>
set -uo pipefail
bin=$1/bin
pages=$2
failed=0
fail() { echo "FAIL: $*"; failed=1; }

declare -A page_of=(
  [zorvan]=zorvan.1 [Calivo.app]=Calivo.app.1
  [zorvan-serial]=zorvan-serial.1 [zorvan-board-sim]=zorvan-board-sim.1
)
for program in "${!page_of[@]}"; do
  page=$pages/${page_of[$program]}
  [ -x "$bin/$program" ] || { echo "skip: $program is not built"; continue; }
  help=$(QT_QPA_PLATFORM=offscreen "$bin/$program" --help 2>&1)
  # roff writes a dash in an option as "\-".
  text=$(sed 's/\\-/-/g' "$page")
  for option in $(grep -oE -- '--[a-z][a-z0-9-]*' <<<"$help" | sort -u); do
    grep -qF -- "$option" <<<"$text" || fail "$program $option is not in ${page_of[$program]}"
  done
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "${page_of[$program]} renders with warnings: $warnings"
done

dates=$(for page in "$pages"/*.1; do awk '/^\.TH/ { print $4; exit }' "$page"; done | sort -u)
[ "$(wc -l <<<"$dates")" -eq 1 ] || fail "the pages' dates differ: $(tr '\n' ' ' <<<"$dates")"
[ $failed -eq 0 ] && echo "man pages: every option documented, one date ($dates)"
exit $failed
