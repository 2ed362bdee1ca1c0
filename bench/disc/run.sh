#!/usr/bin/env bash
# One reference disc made two ways in one run, and their wall times:
#   1. vcdalbum build (pictures prepared, menus drawn, transitions rendered,
#      streams encoded, image laid out by the library);
#   2. the ffmpeg program (one xfade chain per album, -target ntsc-vcd) plus
#      vcdxbuild with the same menu/album structure.
# The disc: 2 menus offering 3 and 2 albums, 8 pictures per album, 7
# transitions per album, 5 s per picture, music under every album.
#
# usage: bench/disc/run.sh [path/to/vcdalbum]   (default build/default/bin/vcdalbum)
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
vcdalbum="${1:-$root/build/default/bin/vcdalbum}"
[ -x "$vcdalbum" ] || { echo "no vcdalbum at $vcdalbum (build it first)" >&2; exit 2; }
work="$(mktemp -d "${TMPDIR:-/tmp}/vcdalbum-bench-XXXXXX")"
trap 'rm -rf "$work"' EXIT
cd "$work"

albums=5 pictures=8 seconds=5
ff() { ffmpeg -nostdin -hide_banner -loglevel error -y "$@"; }
now() { date +%s.%N; }
calc() { awk "BEGIN { print $1 }"; }

# --- Inputs: camera-sized pictures (the shared photo, recoloured, when it is
# there; else a generated pattern) and a minute of music.
photo="$root/../shared/testdata/bench/photo_1920x1080_q85_420.jpg"
mkdir -p pics
for a in $(seq 0 $((albums - 1))); do
  for p in $(seq 0 $((pictures - 1))); do
    n=$((a * pictures + p))
    if [ -f "$photo" ]; then
      ff -i "$photo" -vf "hue=h=$((n * 9)),crop=iw-$((n * 8)):ih-$((n * 4))" -q:v 3 "pics/$a-$p.jpg"
    else
      ff -f lavfi -i "testsrc2=size=1920x1080:rate=1" -frames:v 1 -vf "hue=h=$((n * 9))" -q:v 3 "pics/$a-$p.jpg"
    fi
  done
done
ff -f lavfi -i "sine=frequency=440:beep_factor=4:duration=60" -ac 2 -ar 44100 music.wav
ff -f lavfi -i "sine=frequency=330:duration=10" -ac 2 -ar 44100 menu.wav

# The same seven effects for both: ours by name, xfade's nearest kin.
ours=(CrossFade PushFromLeft IrisOpen WipeFromRight DissolveFromTop ZoomFromTopLeft VerticalBlinds)
theirs=(fade slideright circleopen wipeleft dissolve zoomin vertopen)

# --- 1. vcdalbum
{
  echo '{"title": "Bench", "menu_music": "menu.wav", "seconds_per_picture": '$seconds','
  echo ' "menus": [[1, 2, 3], [4, 5]], "albums": ['
  for a in $(seq 0 $((albums - 1))); do
    [ "$a" -gt 0 ] && echo ','
    printf '{"title": "Album %d", "music": "music.wav", "pictures": [' $((a + 1))
    for p in $(seq 0 $((pictures - 1))); do [ "$p" -gt 0 ] && printf ', '; printf '"pics/%d-%d.jpg"' "$a" "$p"; done
    printf '], "transitions": ['
    for t in $(seq 0 6); do [ "$t" -gt 0 ] && printf ', '; printf '"%s"' "${ours[$t]}"; done
    printf ']}'
  done
  echo ']}'
} > project.json
start=$(now)
"$vcdalbum" build project.json --out ours --quiet
ours_time=$(calc "$(now) - $start")

# --- 2. ffmpeg + vcdxbuild
# Every xfade overlaps one second of its two neighbours, so each picture is
# held longer in the chain: the album runs 8 x 5 + 7 x 1 = 47 s, like ours.
start=$(now)
mkdir -p peer
fit="scale=iw*1.1:ih,scale=352:240:force_original_aspect_ratio=decrease,pad=352:240:(ow-iw)/2:(oh-ih)/2,setsar=10/11,fps=30000/1001,format=yuv420p"
length=$((pictures * seconds + pictures - 1))
hold=$(calc "$seconds + 2 * ($pictures - 1) / $pictures")
for a in $(seq 0 $((albums - 1))); do
  inputs=() graph=""
  for p in $(seq 0 $((pictures - 1))); do
    inputs+=(-loop 1 -t "$hold" -i "pics/$a-$p.jpg")
    graph+="[$p:v]$fit[v$p];"
  done
  last="v0"
  for t in $(seq 1 $((pictures - 1))); do
    offset=$(calc "$t * ($hold - 1)")
    graph+="[$last][v$t]xfade=transition=${theirs[$((t - 1))]}:duration=1:offset=$offset[x$t];"
    last="x$t"
  done
  ff "${inputs[@]}" -i music.wav -filter_complex "${graph%;}" -map "[$last]" -map "$pictures:a" \
     -t "$length" -target ntsc-vcd "peer/album$a.mpg"
done
# Menu pages: a still each (ours are drawn; here the first picture stands in).
for m in 0 1; do
  ff -loop 1 -t 3.2 -i "pics/$m-0.jpg" -i menu.wav -vf "$fit" -map 0:v -map 1:a -t 3.2 -target ntsc-vcd "peer/menu$m.mpg"
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
  prev=(menu0 album0 album1 menu1 album3) next=(album1 album2 menu0 album4 menu1)
  for a in 0 1 2 3 4; do
    echo "<playlist id=\"album$a\"><prev ref=\"${prev[$a]}\"/><next ref=\"${next[$a]}\"/><wait>3</wait><play-item ref=\"albumitem$a\"/></playlist>"
  done
  echo "</pbc></videocd>"
} > peer/disc.xml
vcdxbuild -q -c "$work/peer/disc.cue" -b "$work/peer/disc.bin" peer/disc.xml >/dev/null
peer_time=$(calc "$(now) - $start")

ls -l ours/Bench.bin peer/disc.bin | awk '{print "  " $5 " bytes  " $9}'
printf 'vcdalbum build:        %6.2f s\n' "$ours_time"
printf 'ffmpeg + vcdxbuild:    %6.2f s\n' "$peer_time"
printf 'ratio (ours / theirs): %6.2f   (goal: <= 1.0 now, 0.5 later)\n' "$(calc "$ours_time / $peer_time")"
