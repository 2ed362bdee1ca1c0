#!/usr/bin/env bash
# One reference disc made three ways in one run, with the median wall time
# of several rounds each:
#   1. vcdalbum build --jobs 1;
#   2. vcdalbum build --jobs <cores>;
#   3. the pipeline a skilled user would write: one ffmpeg process per
#      stream, every picture decoded once and held with the loop filter,
#      xfade between the held pictures, -target ntsc-vcd, then vcdxbuild
#      with the same menu/album structure.
# The disc: 2 menus offering 3 and 2 albums, 8 camera-sized noisy pictures
# per album, 5 s per picture, 7 one-second cross-fades per album, music
# under every album (245 s of album video).
#
# usage: bench/disc/run.sh [path/to/vcdalbum]   (default build/default/bin/vcdalbum)
# environment: RUNS (rounds, default 3), SIZE (pictures, default 4000x3000),
#   MOTION (pan-zoom: our albums move; the peer's pictures stay still),
#   BASELINE (another vcdalbum, an earlier build say, timed with --jobs
#   <cores> in the same rounds, so that a change's cost is measured under
#   the same load)
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
vcdalbum="${1:-$root/build/default/bin/vcdalbum}"
[ -x "$vcdalbum" ] || { echo "no vcdalbum at $vcdalbum (build it first)" >&2; exit 2; }
baseline="${BASELINE:-}"
[ -z "$baseline" ] || [ -x "$baseline" ] || { echo "no vcdalbum at $baseline" >&2; exit 2; }
runs="${RUNS:-3}" size="${SIZE:-4000x3000}" motion="${MOTION:-none}" cores="$(nproc)"
work="$(mktemp -d "${TMPDIR:-/tmp}/vcdalbum-bench-XXXXXX")"
trap 'rm -rf "$work"' EXIT
cd "$work"

albums=5 pictures=8 seconds=5
ff() { ffmpeg -nostdin -hide_banner -loglevel error -y "$@"; }
calc() { awk "BEGIN { print $1 }"; }
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# --- Inputs: noisy camera-sized pictures (noise keeps JPEG from making them
# cheap), a minute of music for the albums and some for the menus.
echo "making $((albums * pictures)) pictures of $size ..." >&2
mkdir -p pics
for a in $(seq 0 $((albums - 1))); do
  for p in $(seq 0 $((pictures - 1))); do
    n=$((a * pictures + p))
    ff -f lavfi -i "testsrc2=size=$size:rate=1" -frames:v 1 \
       -vf "hue=h=$((n * 9)),noise=alls=24:allf=u:all_seed=$n" -q:v 3 "pics/$a-$p.jpg"
  done
done
ff -f lavfi -i "sine=frequency=440:beep_factor=4:duration=60" -ac 2 -ar 44100 music.wav
ff -f lavfi -i "sine=frequency=330:duration=10" -ac 2 -ar 44100 menu.wav

# --- 1 and 2. vcdalbum
{
  echo '{"title": "Bench", "menu_music": "menu.wav", "seconds_per_picture": '$seconds', "motion": "'$motion'",'
  echo ' "menus": [[1, 2, 3], [4, 5]], "albums": ['
  for a in $(seq 0 $((albums - 1))); do
    [ "$a" -gt 0 ] && echo ','
    printf '{"title": "Album %d", "music": "music.wav", "pictures": [' $((a + 1))
    for p in $(seq 0 $((pictures - 1))); do [ "$p" -gt 0 ] && printf ', '; printf '"pics/%d-%d.jpg"' "$a" "$p"; done
    printf '], "transitions": ['
    for t in $(seq 1 $((pictures - 1))); do [ "$t" -gt 1 ] && printf ', '; printf '"CrossFade"'; done
    printf ']}'
  done
  echo ']}'
} > project.json

# --- 3. ffmpeg + vcdxbuild
# Frames at 30000/1001 fps: a cross-fade is 30 frames, as ours. Every picture
# shows alone for 150 frames and takes part in the fades on either side, so
# the album runs 8 x 150 + 7 x 30 = 1410 frames, like ours.
fade=30 still=$((seconds * 30))
fit="scale=iw*1.1:ih,scale=352:240:force_original_aspect_ratio=decrease,pad=352:240:(ow-iw)/2:(oh-ih)/2,setsar=10/11,format=yuv420p"
album_frames=$((pictures * still + (pictures - 1) * fade))
album_seconds=$(calc "$album_frames * 1001 / 30000")
peer() {
  mkdir -p peer
  for a in $(seq 0 $((albums - 1))); do
    local inputs=() graph="" last="v0" shown=0
    for p in $(seq 0 $((pictures - 1))); do
      local frames=$((still + fade))
      [ "$p" -gt 0 ] && [ "$p" -lt $((pictures - 1)) ] && frames=$((still + 2 * fade))
      inputs+=(-i "pics/$a-$p.jpg")
      graph+="[$p:v]$fit,loop=loop=$((frames - 1)):size=1:start=0,settb=1001/30000,setpts=N,fps=30000/1001[v$p];"
      if [ "$p" -gt 0 ]; then
        graph+="[$last][v$p]xfade=transition=fade:duration=$(calc "$fade * 1001 / 30000"):offset=$(calc "($shown - $fade) * 1001 / 30000")[x$p];"
        last="x$p"
        shown=$((shown - fade))
      fi
      shown=$((shown + frames))
    done
    ff "${inputs[@]}" -i music.wav -filter_complex "${graph%;}" -map "[$last]" -map "$pictures:a" \
       -af "afade=t=out:st=$(calc "$album_seconds - 1"):d=1" -t "$album_seconds" -target ntsc-vcd "peer/album$a.mpg"
  done
  # Menu pages: a still each (ours are drawn; here an album's first picture stands in).
  for m in 0 1; do
    ff -i "pics/$m-0.jpg" -i menu.wav -filter_complex "[0:v]$fit,loop=loop=95:size=1:start=0,settb=1001/30000,setpts=N,fps=30000/1001[v]" \
       -map "[v]" -map 1:a -t 3.2 -target ntsc-vcd "peer/menu$m.mpg"
  done
  {
    cat <<XML
<?xml version="1.0"?>
<!DOCTYPE videocd PUBLIC "-//GNU//DTD VideoCD//EN" "http://www.gnu.org/software/vcdimager/videocd.dtd">
<videocd xmlns="http://www.gnu.org/software/vcdimager/1.0/" class="vcd" version="2.0">
<info><album-id>BENCH</album-id><volume-count>1</volume-count><volume-number>1</volume-number><restriction>0</restriction></info>
<pvd><volume-id>BENCH</volume-id><system-id>CD-RTOS CD-BRIDGE</system-id></pvd>
<sequence-items>
XML
    for m in 0 1; do
      echo "<sequence-item src=\"$work/peer/menu$m.mpg\" id=\"menuitem$m\"><default-entry id=\"menuentry$m\"/></sequence-item>"
      if [ $m -eq 0 ]; then range="0 1 2"; else range="3 4"; fi
      for a in $range; do
        echo "<sequence-item src=\"$work/peer/album$a.mpg\" id=\"albumitem$a\"><default-entry id=\"albumentry$a\"/></sequence-item>"
      done
    done
    echo "</sequence-items><pbc>"
    echo "<selection id=\"menu0\"><prev ref=\"menu0\"/><next ref=\"menu1\"/><wait>-1</wait><loop jump-timing=\"immediate\">0</loop><play-item ref=\"menuitem0\"/><select ref=\"album0\"/><select ref=\"album1\"/><select ref=\"album2\"/><select ref=\"menu1\"/></selection>"
    echo "<selection id=\"menu1\"><prev ref=\"menu0\"/><next ref=\"menu1\"/><wait>-1</wait><loop jump-timing=\"immediate\">0</loop><play-item ref=\"menuitem1\"/><select ref=\"album3\"/><select ref=\"album4\"/></selection>"
    local prev=(menu0 album0 album1 menu1 album3) next=(album1 album2 menu0 album4 menu1)
    for a in 0 1 2 3 4; do
      echo "<playlist id=\"album$a\"><prev ref=\"${prev[$a]}\"/><next ref=\"${next[$a]}\"/><wait>3</wait><play-item ref=\"albumitem$a\"/></playlist>"
    done
    echo "</pbc></videocd>"
  } > peer/disc.xml
  vcdxbuild -q -c "$work/peer/disc.cue" -b "$work/peer/disc.bin" peer/disc.xml >/dev/null
}

# Wall and CPU seconds of a command, appended to $1.wall and $1.cpu.
timed() {
  local name=$1; shift
  local t0 c0 t1 c1
  t0=$(date +%s.%N) c0=$(awk '{ print $14 + $15 + $16 + $17 }' /proc/$$/stat)
  "$@"
  t1=$(date +%s.%N) c1=$(awk '{ print $14 + $15 + $16 + $17 }' /proc/$$/stat)
  calc "$t1 - $t0" >> "$name.wall"
  calc "($c1 - $c0) / $(getconf CLK_TCK)" >> "$name.cpu"
}

load=$(cut -d' ' -f1 /proc/loadavg)
echo "$runs rounds on $cores cores (load $load) ..." >&2
for r in $(seq 1 "$runs"); do
  timed ours1 "$vcdalbum" build project.json --out ours1 --jobs 1 --verbose > /dev/null 2> ours1.log
  timed oursN "$vcdalbum" build project.json --out oursN --jobs "$cores" --verbose > /dev/null 2> oursN.log
  [ -z "$baseline" ] || timed base "$baseline" build project.json --out base --jobs "$cores" > /dev/null 2> base.log
  timed peer peer
  rm -rf peer base
done
cmp -s ours1/Bench.bin oursN/Bench.bin && same="yes" || same="NO"

m1=$(median < ours1.wall) mN=$(median < oursN.wall) mp=$(median < peer.wall)
# CPU seconds (user + system, children included) say what the work costs
# when other programs share the cores and wall times mean less.
cpu() { median < "$1.cpu"; }
printf 'median of %d rounds, %d cores, pictures %s, motion %s, load before: %s\n' "$runs" "$cores" "$size" "$motion" "$load"
printf '  vcdalbum build --jobs 1:   %6.2f s  (CPU %6.2f s)\n' "$m1" "$(cpu ours1)"
printf '  vcdalbum build --jobs %d:   %6.2f s  (CPU %6.2f s)\n' "$cores" "$mN" "$(cpu oursN)"
[ -z "$baseline" ] || printf '  baseline --jobs %d:         %6.2f s  (CPU %6.2f s; ours / baseline CPU %.2f)\n' \
  "$cores" "$(median < base.wall)" "$(cpu base)" "$(calc "$(cpu oursN) / $(cpu base)")"
printf '  ffmpeg + vcdxbuild:        %6.2f s  (CPU %6.2f s)\n' "$mp" "$(cpu peer)"
printf '  ratio --jobs %d / pipeline: %6.2f   (goal: <= 0.5)\n' "$cores" "$(calc "$mN / $mp")"
printf '  ratio --jobs 1 / pipeline: %6.2f\n' "$(calc "$m1 / $mp")"
printf '  CPU ratio --jobs %d / pipeline: %6.2f\n' "$cores" "$(calc "$(cpu oursN) / $(cpu peer)")"
printf '  scaling 1 -> %d jobs:       %6.2fx\n' "$cores" "$(calc "$m1 / $mN")"
printf '  images of --jobs 1 and --jobs %d identical: %s\n' "$cores" "$same"
for j in 1 N; do
  printf 'stages of the last --jobs %s run:\n' "$j"
  grep -E '^[a-z][a-z ]+: [0-9.]+ s$' "ours$j.log" | sed 's/^/  /'
done
