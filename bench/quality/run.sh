#!/usr/bin/env bash
# How close the held picture on the disc comes to the photo, ours side by
# side with the pipeline a skilled user would write (one ffmpeg process for
# the album, -target ntsc-vcd), on the same pictures in one run.
#
# Pictures: 11 CC0 photographs (lomiri-wallpapers), cropped to 4:3 at their
# camera size, a grain picture and a test pattern (zone plate, checkerboard,
# line gratings). Each is held 5 s (150 frames), with cuts between them.
#
# Reference: the source scaled with ImageMagick's Lanczos filter (-filter
# Lanczos -resize WxH!) into the rectangle each side shows: ours fills
# 352x240 with 10:11 pixels, the peer shows 320x240 between side bars (its
# picture is 10 % too narrow on a 4:3 screen). Only that rectangle is
# compared, in the luma of BT.601 TV range.
#
# Per picture: PSNR-Y of the first, middle and last frame of its hold and
# SSIM-Y of the last; the split into preparation (the picture handed to the
# stream encoder against the reference) and coding (the last frame against
# that picture); the hold's video bytes; and the hold's stillness (frames
# after the first 10 more than 1 dB below the hold's best, and the deepest
# such dip). Crops of the last frame at 2x (reference | ours | peer) go to
# OUT/crops.
#
# usage: bench/quality/run.sh [path/to/vcdalbum]   (default build/default/bin/vcdalbum)
# environment: OUT (default build/default/bench-quality), PHOTOS (folder of
#   the lomiri-wallpapers photos, default /usr/share/backgrounds), INPUTS
#   (an earlier run's OUT: its inputs and references are taken over)
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
vcdalbum="${1:-$root/build/default/bin/vcdalbum}"
[ -x "$vcdalbum" ] || { echo "no vcdalbum at $vcdalbum (build it first)" >&2; exit 2; }
out="$(realpath -m "${OUT:-$root/build/default/bench-quality}")"
photos="${PHOTOS:-/usr/share/backgrounds}"
for tool in ffmpeg ffprobe convert identify; do
  command -v "$tool" >/dev/null || { echo "$tool is missing (scripts/bootstrap installs it)" >&2; exit 2; }
done
inputs="${INPUTS:+$(realpath "$INPUTS")}"
rm -rf "$out"
mkdir -p "$out"/in "$out"/ref "$out"/ours "$out"/peer "$out"/crops "$out"/stats
cd "$out"
ff() { ffmpeg -nostdin -hide_banner -loglevel error -y "$@"; }

names=(seeding bridge dragonfly kleiber wine aitzgorri friends life picos sunset umang)
files=(seeding_by_Clements_Engelhardt Bridge_by_Sander_Klootwijk Dragonfly_by_Bolly Kleiber_by_Lukas_Baubkus
       Wine_by_Jakkub_Mede aitzgorri_by_Aitzol_Berasategi friends_by_Aitzol_Berasategi life_by_Aitzol_Berasategi
       picosdeeuropa_by_Aitzol_Berasategi sunset_by_Aitzol_Berasategi umang_by_Abhishek_Mudgal)
hold=150

# --- Inputs
if [ -n "$inputs" ]; then
  cp "$inputs"/in/*.jpg in/
  cp "$inputs"/ref/*.png ref/
else
echo "making the inputs ..." >&2
for i in "${!names[@]}"; do
  src="$photos/${files[$i]}.jpg"
  [ -f "$src" ] || { echo "$src is missing (install lomiri-wallpapers)" >&2; exit 2; }
  read -r w h < <(identify -format '%w %h\n' "$src[0]" | head -1)
  if (( w * 3 > h * 4 )); then cw=$(( h * 4 / 3 )) ch=$h; else cw=$w ch=$(( w * 3 / 4 )); fi
  convert "$src" -auto-orient -gravity center -crop "${cw}x${ch}+0+0" +repage -quality 95 "in/${names[$i]}.jpg"
done
# Grain: noise blurred to a few source pixels, so that after the shrink it
# sits at the finest detail the frame holds.
convert -size 2880x2160 xc:gray50 -seed 7 -attenuate 1.5 +noise Gaussian -blur 0x2.5 -auto-level \
        -quality 95 in/grain.jpg
# Test pattern: a zone plate up to the source's Nyquist frequency in the
# corners, a checkerboard and line gratings of several periods.
convert -size 2400x1800 xc: -fx '0.5+0.5*cos(pi*((i-1200)^2+(j-900)^2)/3000)' \
        \( -size 800x600 pattern:checkerboard -scale 200% \) -geometry +0+0 -composite \
        \( -size 800x300 xc: -fx 'floor(i/(4+2*floor(i/200)))%2' \) -geometry +1600+1500 -composite \
        -quality 95 in/pattern.jpg
fi
names+=(grain pattern)
count=${#names[@]}

# References, one per side's rectangle.
[ -n "$inputs" ] || for n in "${names[@]}"; do
  convert "in/$n.jpg" -filter Lanczos -resize '352x240!' "ref/${n}_ours.png"
  convert "in/$n.jpg" -filter Lanczos -resize '320x240!' "ref/${n}_peer.png"
done

# --- Ours: one album of the pictures, cut from one to the next.
{
  printf '{"title": "Quality", "seconds_per_picture": 5, "transitions": "none", "albums": [{"title": "Photos", "pictures": ['
  for i in "${!names[@]}"; do [ "$i" -gt 0 ] && printf ', '; printf '"in/%s.jpg"' "${names[$i]}"; done
  printf ']}]}\n'
} > project.json
echo "building ours ..." >&2
t0=$(date +%s.%N)
"$vcdalbum" build project.json --out ours --keep-work --verbose > /dev/null 2> ours/build.log
t1=$(date +%s.%N)
work=$(sed -n 's/.*work folder: //p' ours/build.log | head -1)
cp "$work/album0.mpg" ours/track.mpg
# What the stream encoder is handed: the prepared pictures, in TV range.
for i in "${!names[@]}"; do
  ff -i "$work/pictures/a0_$i.jpg" -vf format=yuv420p -frames:v 1 "ours/${names[$i]}_prep.y4m"
done
rm -rf "$work"

# --- The peer: one ffmpeg process for the album.
echo "building the peer's ..." >&2
fit="scale=352:240:force_original_aspect_ratio=decrease,pad=352:240:(ow-iw)/2:(oh-ih)/2,setsar=1,format=yuv420p"
inputs=() graph="" chain=""
for i in "${!names[@]}"; do
  inputs+=(-i "in/${names[$i]}.jpg")
  graph+="[$i:v]$fit,loop=loop=$((hold - 1)):size=1:start=0,settb=1001/30000,setpts=N,fps=30000/1001[v$i];"
  chain+="[v$i]"
done
t2=$(date +%s.%N)
ff "${inputs[@]}" -filter_complex "${graph}${chain}concat=n=$count:v=1:a=0[out]" -map "[out]" -target ntsc-vcd peer/track.mpg
t3=$(date +%s.%N)
for n in "${names[@]}"; do ff -i "in/$n.jpg" -vf "$fit" -frames:v 1 "peer/${n}_prep.y4m"; done

# --- Measuring
# Where each hold starts: the peer's last 150 frames each; ours are laid out
# on the clock, 5 s at 30000/1001 frames/s, so some last 149.
declare -A start
for i in $(seq 0 "$count"); do
  start[peer,$i]=$(( i * hold ))
  start[ours,$i]=$(awk -v i="$i" 'BEGIN { printf "%d", i * 5 * 30000 / 1001 + 0.5 }')
done
frames() { ffprobe -v error -select_streams v -count_frames -show_entries stream=nb_read_frames -of csv=p=0 "$1"; }
for side in ours peer; do
  total=$(frames "$side/track.mpg")
  [ "$total" -eq "${start[$side,$count]}" ] || { echo "$side: $total frames, expected ${start[$side,$count]}" >&2; exit 1; }
done
# A still shown for a whole hold, as a stream to compare frame by frame.
held() {  # side, suffix of the inputs' files, first input number -> sinputs, sgraph, schain
  local side=$1 suffix=$2 first=$3 i; sinputs=() sgraph="" schain=""
  for i in "${!names[@]}"; do
    sinputs+=(-i "${names[$i]}$suffix")
    sgraph+="[$((first + i)):v]format=yuv420p,loop=loop=$(( start[$side,$((i + 1))] - start[$side,$i] - 1 )):size=1:start=0,setpts=N[s$i];"
    schain+="[s$i]"
  done
}
compare() {  # side, what (ref|prep), crop of the picture rectangle
  local side=$1 what=$2 crop=$3 suffix
  if [ "$what" = ref ]; then suffix="_$side.png"; cd ref; else suffix="_prep.y4m"; cd "$side"; fi
  local prepcrop=null
  [ "$what" = prep ] && prepcrop="crop=$crop"
  held "$side" "$suffix" 1
  ff -i "$out/$side/track.mpg" "${sinputs[@]}" -filter_complex \
     "[0:v]format=yuv420p,settb=1001/30000,setpts=N,crop=$crop,split[a][b];${sgraph}${schain}concat=n=$count:v=1:a=0,settb=1001/30000,setpts=N,$prepcrop,split[c][d];[a][c]psnr=stats_file=$out/stats/$side-$what.psnr[p];[b][d]ssim=stats_file=$out/stats/$side-$what.ssim[s]" \
     -map '[p]' -f null - -map '[s]' -f null -
  cd "$out"
}
# The prepared pictures against the reference, one frame each.
prepared() {  # side, crop
  local side=$1 crop=$2 i
  : > "stats/$side-split.psnr"
  for i in "${!names[@]}"; do
    ff -i "$side/${names[$i]}_prep.y4m" -i "ref/${names[$i]}_$side.png" -filter_complex \
       "[0:v]crop=$crop[a];[1:v]format=yuv420p[b];[a][b]psnr=stats_file=-" -f null - | sed -n 1p >> "stats/$side-split.psnr"
  done
}
echo "measuring ..." >&2
compare ours ref 352:240:0:0
compare ours prep 352:240:0:0
compare peer ref 320:240:16:0
compare peer prep 320:240:16:0
prepared ours 352:240:0:0
prepared peer 320:240:16:0
# Video bytes of each hold, from the packets' frame numbers.
for side in ours peer; do
  ffprobe -v error -select_streams v -show_entries packet=pts,size -of csv=p=0 "$side/track.mpg" |
    sort -t, -k1,1n | awk -F, -v starts="$(for i in $(seq 0 "$count"); do printf '%s ' "${start[$side,$i]}"; done)" '
      BEGIN { n = split(starts, s, " ") }
      NR == 1 { p0 = $1 }
      { f = int(($1 - p0) / 3003 + 0.5); h = 0; while (h + 2 <= n && f >= s[h + 2]) ++h; b[h] += $2 }
      END { for (i in b) print i, b[i] }' | sort -n > "stats/$side.bytes"
done

# Crops of the last frame of each hold: the middle half of the picture, 2x.
for i in "${!names[@]}"; do
  n=${names[$i]}
  for side in ours peer; do
    last=$(( start[$side,$((i + 1))] - 1 ))
    ff -i "$side/track.mpg" -vf "select=eq(n\,$last)" -frames:v 1 "crops/${n}_$side.png"
  done
  convert "ref/${n}_ours.png" -crop 176x120+88+60 +repage -filter point -resize 200% crops/a.png
  convert "crops/${n}_ours.png" -crop 176x120+88+60 +repage -filter point -resize 200% crops/b.png
  convert "crops/${n}_peer.png" -crop 160x120+96+60 +repage -filter point -resize 200% crops/c.png
  convert crops/a.png crops/b.png crops/c.png -background gray -splice 4x0 +append "crops/${n}_2x.png"
  rm crops/a.png crops/b.png crops/c.png
done

# --- The table
val() { sed -n "$(( $2 + 1 ))p" "$1" | tr ' ' '\n' | sed -n "s/^$3://p"; }
printf '\nheld pictures against the Lanczos reference of each side'"'"'s rectangle (PSNR-Y dB, SSIM-Y)\n'
printf '%-10s | %-27s %-6s | %-27s %-6s | %-13s | %-13s | %-15s\n' "" "ours: first  middle  last" "SSIM" \
  "peer: first  middle  last" "SSIM" "ours prep/code" "peer prep/code" "bytes ours/peer"
sum() { awk '{ s += $1 } END { printf "%.2f", s / NR }'; }
: > stats/rows
for i in "${!names[@]}"; do
  row=()
  for side in ours peer; do
    f0=${start[$side,$i]} fe=$(( start[$side,$((i + 1))] - 1 ))
    fm=$(( (f0 + fe) / 2 ))
    row+=("$(val stats/$side-ref.psnr $f0 psnr_y)" "$(val stats/$side-ref.psnr $fm psnr_y)" "$(val stats/$side-ref.psnr $fe psnr_y)"
          "$(val stats/$side-ref.ssim $fe Y)")
  done
  for side in ours peer; do
    fe=$(( start[$side,$((i + 1))] - 1 ))
    row+=("$(val stats/$side-split.psnr $i psnr_y)" "$(val stats/$side-prep.psnr $fe psnr_y)")
  done
  row+=("$(awk -v i=$i '$1 == i { print $2 }' stats/ours.bytes)" "$(awk -v i=$i '$1 == i { print $2 }' stats/peer.bytes)")
  echo "${row[*]}" >> stats/rows
  printf '%-10s | %6.2f %6.2f %6.2f       %6.4f | %6.2f %6.2f %6.2f       %6.4f | %6.2f %6.2f | %6.2f %6.2f | %7d %7d\n' \
    "${names[$i]}" "${row[@]}"
done
awk '{ for (k = 1; k <= NF; ++k) s[k] += $k } END {
  printf "%-10s | %6.2f %6.2f %6.2f       %6.4f | %6.2f %6.2f %6.2f       %6.4f | %6.2f %6.2f | %6.2f %6.2f | %7d %7d\n",
    "mean", s[1]/NR, s[2]/NR, s[3]/NR, s[4]/NR, s[5]/NR, s[6]/NR, s[7]/NR, s[8]/NR, s[9]/NR, s[10]/NR, s[11]/NR, s[12]/NR, s[13]/NR, s[14]/NR }' stats/rows
awk '{ d = $3 - $7; if (NR == 1 || d < m) m = d; s += d } END { printf "ours - peer, last frame: mean %+.2f dB, worst picture %+.2f dB\n", s / NR, m }' stats/rows
printf 'track bytes: ours %d, peer %d\n' "$(stat -c %s ours/track.mpg)" "$(stat -c %s peer/track.mpg)"
printf 'build: ours %.1f s (whole disc), peer %.1f s (the track)\n' "$(awk "BEGIN { print $t1 - $t0 }")" "$(awk "BEGIN { print $t3 - $t2 }")"

printf '\nstillness of each hold: frames after the first 10 more than 1 dB below the hold'"'"'s best, deepest dip (dB);\n'
printf 'then the lowest and the mean PSNR-Y of those frames, over all holds (what a viewer sees between the settled pictures)\n'
for side in ours peer; do
  sed 's/.*psnr_y:\([^ ]*\).*/\1/' "stats/$side-ref.psnr" | awk -v side=$side -v names="${names[*]}" \
      -v starts="$(for i in $(seq 0 "$count"); do printf '%s ' "${start[$side,$i]}"; done)" '
    { p[NR - 1] = $1 }
    END {
      split(names, n, " "); split(starts, s, " "); line = side ":"; total = 0
      for (h = 0; h < length(n); ++h) {
        a = s[h + 1]; e = s[h + 2]
        best = -1; for (f = a; f < e; ++f) if (p[f] > best) best = p[f]
        c = 0; dip = 0
        for (f = a + 10; f < e; ++f) {
          d = best - p[f]; if (d > 1) ++c; if (d > dip) dip = d
          if (!seen || p[f] < low) low = p[f]; seen = 1; sum += p[f]; ++frames
        }
        total += c; line = line sprintf(" %s %d/%.1f", n[h + 1], c, dip)
      }
      print line; printf "%s: %d frames in all; after frame 10 the lowest %.2f dB, the mean %.2f dB\n", side, total, low, sum / frames
    }'
done
printf '\ncrops (reference | ours | peer, middle half of the last frame, 2x): %s/crops/*_2x.png\n' "$out"
