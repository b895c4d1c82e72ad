#!/usr/bin/env bash
# Runs fumewatch-cli of a release build over hostile and oversized inputs under an address-space
# cap, as a user of a small machine would meet them: the crafted cases of the reading-path probe
# (tests/support/probe_cases), then pictures and a video at the largest size the limits accept,
# through every image operation and every detection mode. Every run must end by itself within
# the time limit, without a signal, with the expected status (the crafted cases) or with 0 or a
# one-line error (the largest inputs; a mode whose buffers do not fit under a 2 GiB cap may also
# report it through its own message and do nothing). Prints one line per run and a summary; exits non-zero when
# any run failed.
#
#   scripts/probe-limits.sh [BUILD_DIR]     (default build; needs bin/fumewatch-cli, bin/probe_cases)
#   CAP_KB=6291456 TIME_LIMIT=300 scripts/probe-limits.sh
set -uo pipefail
cd "$(dirname "$0")/.."

BUILD=${1:-build}
CLI="$BUILD/bin/fumewatch-cli"
CASES="$BUILD/bin/probe_cases"
CAP_KB=${CAP_KB:-6291456}     # 6 GiB
TIME_LIMIT=${TIME_LIMIT:-300}  # seconds per run
for program in "$CLI" "$CASES"; do
  [[ -x $program ]] || { echo "probe-limits: $program is missing (build first)" >&2; exit 2; }
done
command -v ffmpeg >/dev/null || { echo "probe-limits: ffmpeg is missing" >&2; exit 2; }

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
failures=0
runs=0

# run NAME EXPECTED_STATUS|any FRAGMENT ARGS...
run() {
  local name=$1 expected=$2 fragment=$3
  shift 3
  local start end status output
  start=$(date +%s%N)
  output=$( (ulimit -v "${RUN_CAP_KB:-$CAP_KB}"; exec timeout -s KILL "$TIME_LIMIT" "$CLI" "$@") 2>&1)
  status=$?
  end=$(date +%s%N)
  local verdict=ok
  if ((status >= 124 && status != 125 && status != 126 && status != 127)) || ((status > 128)); then
    verdict="SIGNAL OR TIME LIMIT"
  elif [[ $expected != any && $status != "$expected" ]]; then
    verdict="STATUS (expected $expected)"
  elif [[ -n $fragment && $output != *"$fragment"* ]]; then
    verdict="MESSAGE"
  elif ((status == 1)) && (($(printf '%s\n' "$output" | wc -l) != 1)); then
    verdict="NOT ONE LINE"
  fi
  runs=$((runs + 1))
  [[ $verdict == ok ]] || failures=$((failures + 1))
  printf '%-6s status=%-3s %6ss  %s: %s\n' "$verdict" "$status" \
    "$(((end - start) / 1000000000)).$((((end - start) / 100000000) % 10))" \
    "$name" "$(printf '%s' "$output" | tail -n 1 | cut -c1-110)"
}

echo "== crafted inputs (address space capped at $((CAP_KB / 1024)) MiB)"
while IFS=$'\x1f' read -r -a fields; do
  run "${fields[2]}" "${fields[0]}" "${fields[1]}" "${fields[@]:3}"
done < <("$CASES" "$WORK/cases")

echo "== the largest pictures and video the limits accept (4096 x 4096)"
big=$WORK/big
mkdir -p "$big"
ffmpeg -loglevel error -f lavfi -i testsrc=size=4096x4096:rate=5 -frames:v 1 "$big/max.png"
ffmpeg -loglevel error -f lavfi -i testsrc=size=4096x4096:rate=5 -frames:v 1 "$big/max.bmp"
ffmpeg -loglevel error -f lavfi -i testsrc=size=4096x4096:rate=5 -frames:v 1 -q:v 3 "$big/max.jpg"
ffmpeg -loglevel error -f lavfi -i testsrc=size=4096x4096:rate=5 -frames:v 6 -c:v mjpeg -q:v 5 \
  "$big/max.avi"
for picture in max.png max.bmp max.jpg; do
  for op in grey "gradient 20" sobel "degrade 4" median "wavelet 3" fft-magnitude \
    "pseudo-colour 3" "label-regions 128"; do
    # shellcheck disable=SC2086
    run "image $op $picture" any "" image ${op%% *} "$big/$picture" "$big/out.bmp" \
      $([[ $op == *" "* ]] && echo "${op#* }")
  done
done
run "info at the limit" 0 "width=4096 height=4096 frames=6" info "$big/max.avi"
run "frame at the limit" 0 "" frame "$big/max.avi" 5 "$big/frame.jpg"
while IFS=$'\t' read -r mode _; do
  run "detect --mode $mode at the limit" any "" detect --mode "$mode" "$big/max.avi"
done < <("$CLI" modes)
run "bench at the limit" any "" bench --mode 7011 --frames 6 "$big/max.avi"
# A budget far above a 2 GiB cap lets the allocations themselves fail: reported, no signal.
for mode in 257 264 7004 7010; do
  RUN_CAP_KB=2097152 run "detect --mode $mode, budget above a 2 GiB cap" any "" \
    detect --mode "$mode" --memory-budget 64G "$big/max.avi"
done

echo "== $runs runs, $failures failed"
((failures == 0))
