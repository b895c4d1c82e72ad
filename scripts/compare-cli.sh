#!/usr/bin/env bash
# Runs two fumewatch-cli programs over the same clips and modes and compares, byte for byte, what
# each writes: the mode list, and per clip and mode the exit status, stdout, stderr, the alarm log
# beside the video and the panes saved by `detect --panes`. Each program works on its own copy of
# every clip in a temporary folder, so nothing is written beside the originals.
#
# The clock is frozen for both programs (faketime), so that a mode that seeds from the clock
# (the second mixture, 264) draws the same seed in both.
#
# usage: scripts/compare-cli.sh [--every K] [--modes "N N ..."] OLD_CLI NEW_CLI CLIP...
#   --every K   save the panes after every K-th frame (default 1: every frame)
#   --modes     the modes to compare (default: every mode OLD_CLI lists)
# Prints one line per clip and mode, "identical" or what differs; exits 1 when anything differs.
set -euo pipefail

every=1
modes=""
while [ $# -gt 0 ]; do
  case "$1" in
    --every) every="$2"; shift 2 ;;
    --modes) modes="$2"; shift 2 ;;
    -h|--help) sed -n '2,13p' "$0"; exit 0 ;;
    *) break ;;
  esac
done
if [ $# -lt 3 ]; then
  sed -n '2,13p' "$0" >&2
  exit 2
fi
old=$(realpath "$1")
new=$(realpath "$2")
shift 2
command -v faketime >/dev/null || { echo "compare-cli: faketime is needed (scripts/setup-deps.sh)" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/compare-cli.XXXXXX")
trap 'rm -rf "$work"' EXIT
frozen=(env DONT_FAKE_MONOTONIC=1 faketime -f '2026-01-01 00:00:00')

"$old" modes >"$work/modes.old"
"$new" modes >"$work/modes.new"
failed=0
if cmp -s "$work/modes.old" "$work/modes.new"; then
  echo "modes: identical"
else
  echo "modes: DIFFERENT"
  diff "$work/modes.old" "$work/modes.new" || true
  failed=1
fi
[ -n "$modes" ] || modes=$(cut -f1 "$work/modes.old" | tr '\n' ' ')

# run SIDE PROGRAM CLIP MODE: the detection run of one program in $work/SIDE.
run() {
  local side="$1" program="$2" clip="$3" mode="$4"
  local dir="$work/$side"
  rm -rf "$dir"
  mkdir -p "$dir/panes"
  cp "$clip" "$dir/clip.avi"
  local rc=0
  "${frozen[@]}" "$program" detect --mode "$mode" "$dir/clip.avi" --panes "$dir/panes" \
    --every "$every" >"$dir/stdout" 2>"$dir/stderr" </dev/null || rc=$?
  echo "$rc" >"$dir/rc"
  [ -f "$dir/clip.txt" ] || : >"$dir/clip.txt"
  (cd "$dir/panes" && find . -type f -print0 | sort -z | xargs -0 -r sha256sum) >"$dir/panes.sha"
  rm -rf "$dir/panes"
}

for clip in "$@"; do
  name=$(basename "$clip")
  for mode in $modes; do
    run old "$old" "$clip" "$mode" &
    run new "$new" "$clip" "$mode" &
    wait
    diffs=()
    for part in rc stdout stderr clip.txt panes.sha; do
      cmp -s "$work/old/$part" "$work/new/$part" || diffs+=("$part")
    done
    panes=$(wc -l <"$work/old/panes.sha")
    if [ ${#diffs[@]} -eq 0 ]; then
      echo "$name mode $mode: identical ($panes pane pictures, $(wc -l <"$work/old/clip.txt") log lines)"
    else
      echo "$name mode $mode: DIFFERENT in ${diffs[*]}"
      failed=1
    fi
  done
done
exit "$failed"
