#!/usr/bin/env bash
# The demo disc built, then previewed, in turns, and the wall times of both:
# making a preview (every track transcoded for the browser, the page
# written) should take less time than building the disc did.
#
# usage: bench/preview/run.sh [path/to/vcdalbum] [rounds]   (default build/default/bin/vcdalbum, 3)
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
vcdalbum="${1:-$root/build/default/bin/vcdalbum}"
rounds="${2:-3}"
[ -x "$vcdalbum" ] || { echo "no vcdalbum at $vcdalbum (build it first)" >&2; exit 2; }
work="$(mktemp -d "${TMPDIR:-/tmp}/vcdalbum-bench-XXXXXX")"
trap 'rm -rf "$work"' EXIT

now() { date +%s.%N; }
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
builds=() previews=()
for r in $(seq "$rounds"); do
  rm -rf "$work/demo" "$work/preview"
  start=$(now)
  "$vcdalbum" demo --out "$work/demo" --quiet 2>/dev/null
  builds+=("$(awk "BEGIN { print $(now) - $start }")")
  start=$(now)
  "$vcdalbum" preview "$work/demo/vcdalbum demo.cue" --out "$work/preview" --quiet 2>/dev/null
  previews+=("$(awk "BEGIN { print $(now) - $start }")")
  echo "round $r: build ${builds[-1]} s, preview ${previews[-1]} s"
done
b=$(printf '%s\n' "${builds[@]}" | median)
p=$(printf '%s\n' "${previews[@]}" | median)
echo "median of $rounds: build $b s, preview $p s, preview/build $(awk "BEGIN { printf \"%.2f\", $p / $b }")"
