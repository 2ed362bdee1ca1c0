#!/usr/bin/env bash
# What a phone's video clip costs on a disc, in CPU seconds per second of
# video, in one run:
#   1. vcdalbum build of a disc whose one album is the clip;
#   2. the same disc with a still picture held as long instead, so that
#      1 minus 2 is the clip's own cost (decoding, turning upright, fitting,
#      the frame files and coding every frame anew);
#   3. the ffmpeg CLI's `-target ntsc-vcd` on the same clip (turned upright
#      by its own autorotation), the usual way to make a VCD stream of it.
# The clip: SIZE (default 1920x1080) at 30 frames/s, recorded sideways (a
# display matrix of 90 degrees), with AAC sound, CLIP_SECONDS long (default 10).
#
# usage: bench/clip/run.sh [path/to/vcdalbum]   (default build/default/bin/vcdalbum)
# environment: SIZE, CLIP_SECONDS, RUNS (rounds, default 3; the median is shown)
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
vcdalbum="${1:-$root/build/default/bin/vcdalbum}"
[ -x "$vcdalbum" ] || { echo "no vcdalbum at $vcdalbum (build it first)" >&2; exit 2; }
size="${SIZE:-1920x1080}" seconds="${CLIP_SECONDS:-10}" runs="${RUNS:-3}"
work="$(mktemp -d "${TMPDIR:-/tmp}/vcdalbum-bench-clip-XXXXXX")"
trap 'rm -rf "$work"' EXIT
cd "$work"

ff() { ffmpeg -nostdin -hide_banner -loglevel error -y "$@"; }
calc() { awk "BEGIN { printf \"%.3f\", $1 }"; }
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
# CPU seconds (user + system, all threads) of one command.
cpu() { /usr/bin/time -f "%U %S" -o cpu.txt "$@" > /dev/null 2>&1; awk '{ print $1 + $2 }' cpu.txt; }

echo "making a $seconds s clip of $size ..." >&2
ff -f lavfi -i "testsrc2=size=$size:rate=30" -f lavfi -i "sine=frequency=440:sample_rate=48000" -t "$seconds" \
   -c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac sideways.mp4
ff -i sideways.mp4 -c copy -metadata:s:v:0 rotate=90 clip.mp4
ff -f lavfi -i "testsrc2=size=$size" -frames:v 1 still.jpg
echo '{"title": "Clip", "albums": [{"title": "Clip", "pictures": [{"video": "clip.mp4"}]}]}' > clip.json
echo '{"title": "Clip", "albums": [{"title": "Still", "seconds_per_picture": '"$seconds"', "pictures": ["still.jpg"]}]}' > still.json

ours=() base=() peer=()
for r in $(seq "$runs"); do
  echo "round $r of $runs ..." >&2
  rm -rf out && mkdir out
  ours+=("$(cpu "$vcdalbum" build clip.json --out out -q)")
  rm -rf out && mkdir out
  base+=("$(cpu "$vcdalbum" build still.json --out out -q)")
  peer+=("$(cpu ffmpeg -nostdin -loglevel error -y -i clip.mp4 -target ntsc-vcd peer.mpg)")
done
o=$(printf '%s\n' "${ours[@]}" | median) b=$(printf '%s\n' "${base[@]}" | median) p=$(printf '%s\n' "${peer[@]}" | median)

echo "clip: $size, $seconds s, 30 frames/s, rotated, with sound; median of $runs rounds; $(nproc) cores"
printf '%-44s %8s %14s\n' "path" "CPU s" "CPU s / video s"
printf '%-44s %8s %14s\n' "vcdalbum build, the clip's album" "$o" "$(calc "$o / $seconds")"
printf '%-44s %8s %14s\n' "vcdalbum build, a still held as long" "$b" "$(calc "$b / $seconds")"
printf '%-44s %8s %14s\n' "vcdalbum, the clip's own cost (1 - 2)" "$(calc "$o - $b")" "$(calc "($o - $b) / $seconds")"
printf '%-44s %8s %14s\n' "ffmpeg -target ntsc-vcd" "$p" "$(calc "$p / $seconds")"
