#!/usr/bin/env bash
# Peak memory of `vcdalbum build` as a collection grows: the same small
# pictures, 40, 300 and 900 of them, in albums of 30 (a full 80-minute disc
# holds about 900), at --jobs 1 and --jobs 2. Memory should follow the work
# in flight, not the collection: the 900-picture build within 1.5x the
# 40-picture one. Beside it, for scale, the peak of one ffmpeg process that
# makes one album's stream from the same pictures.
#
# usage: bench/memory/run.sh [path/to/vcdalbum]   (default build/default/bin/vcdalbum)
# environment: COUNTS (default "40 300 900"), SIZE (default 640x480),
#   SECONDS_PER_PICTURE (default 3)
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
vcdalbum="${1:-$root/build/default/bin/vcdalbum}"
[ -x "$vcdalbum" ] || { echo "no vcdalbum at $vcdalbum (build it first)" >&2; exit 2; }
counts="${COUNTS:-40 300 900}" size="${SIZE:-640x480}" seconds="${SECONDS_PER_PICTURE:-3}"
per_album=30
work="$(mktemp -d "${TMPDIR:-/tmp}/vcdalbum-membench-XXXXXX")"
trap 'rm -rf "$work"' EXIT
cd "$work"
ff() { ffmpeg -nostdin -hide_banner -loglevel error -y "$@"; }
calc() { awk "BEGIN { print $1 }"; }

most=0
for n in $counts; do [ "$n" -gt "$most" ] && most=$n; done
echo "making $most pictures of $size ..." >&2
mkdir -p pics
# One ffmpeg run writes them all: a moving test pattern, each frame a picture.
ff -f lavfi -i "testsrc2=size=$size:rate=25" -frames:v "$most" -vf "noise=alls=12:allf=t" -q:v 4 pics/p%04d.jpg

# A project of `n` pictures in albums of $per_album, 10 albums to a menu.
project() {
  local n=$1 albums=$(( ($1 + per_album - 1) / per_album ))
  {
    echo '{"title": "Memory", "seconds_per_picture": '"$seconds"', "transitions": "CrossFade", "albums_per_menu": 10, "albums": ['
    for a in $(seq 0 $((albums - 1))); do
      [ "$a" -gt 0 ] && echo ','
      printf '{"title": "Album %d", "pictures": [' $((a + 1))
      local first=$((a * per_album + 1)) last=$(( (a + 1) * per_album ))
      [ "$last" -gt "$n" ] && last=$n
      for p in $(seq "$first" "$last"); do [ "$p" -gt "$first" ] && printf ', '; printf '"pics/p%04d.jpg"' "$p"; done
      printf ']}'
    done
    echo ']}'
  } > "project$n.json"
}

# Peak resident memory in MB of a command (the largest of it and the tools
# it runs, as wait4 reports), and its wall time.
peak() {
  local log=$1; shift
  local t0 t1
  t0=$(date +%s.%N)
  /usr/bin/time -f '%M' -o "$log.rss" "$@" > /dev/null 2> "$log"
  t1=$(date +%s.%N)
  printf '%d MB in %.0f s' "$(( $(tail -1 "$log.rss") / 1024 ))" "$(calc "$t1 - $t0")"
}

load=$(cut -d' ' -f1 /proc/loadavg)
printf 'peak RSS of vcdalbum build, pictures %s, %s s each, albums of %d, load before: %s\n' "$size" "$seconds" "$per_album" "$load"
declare -A mb
for n in $counts; do
  project "$n"
  for jobs in 1 2; do
    result=$(peak "run$n-$jobs.log" "$vcdalbum" build "project$n.json" --disc 80 --out "out$n-$jobs" --jobs "$jobs" -q)
    mb[$n-$jobs]=$(tail -1 "run$n-$jobs.log.rss")
    printf '  %4d pictures, --jobs %d: %s\n' "$n" "$jobs" "$result"
    rm -rf "out$n-$jobs"
  done
done
first=${counts%% *} last=${counts##* }
for jobs in 1 2; do
  printf '  ratio %d / %d pictures at --jobs %d: %.2f   (goal: <= 1.5)\n' "$last" "$first" "$jobs" \
    "$(calc "${mb[$last-$jobs]} / ${mb[$first-$jobs]}")"
done

# The peer: one ffmpeg process making one album's stream of $per_album
# pictures, each held $seconds s.
printf '  ffmpeg, one album of %d pictures: %s\n' "$per_album" \
  "$(peak peer.log ffmpeg -nostdin -y -framerate "1/$seconds" -i pics/p%04d.jpg -t $((per_album * seconds)) \
       -vf "scale=352:240:force_original_aspect_ratio=decrease,pad=352:240:(ow-iw)/2:(oh-ih)/2,fps=30000/1001" \
       -target ntsc-vcd peer.mpg)"
