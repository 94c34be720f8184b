#!/usr/bin/env bash
# Whole-process timings of our decoders and scalers beside the reference tools, on the same
# input, interleaved so that load from other processes falls on both sides alike.
#   bench/compare.sh [BUILD_DIR] [REPETITIONS]
# BUILD_DIR is a Release build (default build-rel) with bench/qp_timing_tool built. Prints the
# median wall and CPU (user + system) seconds of each command and our/reference ratios.
set -euo pipefail

build=${1:-build-rel}
reps=${2:-5}
tool=$build/bench/qp_timing_tool
[ -x "$tool" ] || { echo "compare.sh: $tool not built" >&2; exit 1; }
for t in djpeg vips convert; do
  command -v "$t" >/dev/null || { echo "compare.sh: $t not installed (scripts/install-deps)" >&2; exit 1; }
done

work=${TMPDIR:-/tmp}/qp_compare
mkdir -p "$work"
if [ ! -s "$work/photo.bgra" ]; then
  "$tool" make-inputs "$work"
  "$tool" to-bgra "$work/photo.jpg" "$work/photo.bgra"
  "$tool" bgra-to-rgba "$work/photo.bgra" "$work/photo.rgba"
  # vips' own uncompressed format, four bands (R, G, B, A) like the others.
  vips rawload "$work/photo.rgba" "$work/photo.v" 6000 4000 4
fi

# name|command; the first word of each pair's name groups ours with its references.
commands=(
  "jpeg:qp|$tool load $work/photo.jpg"
  "jpeg:djpeg|djpeg -outfile /dev/null $work/photo.jpg"
  "resample:qp|$tool resample $work/photo.bgra $work/out.bgra 1920 1280"
  "resample:vips|env VIPS_CONCURRENCY=1 vips resize $work/photo.v $work/out.v 0.32 --kernel lanczos3"
  "resample:magick|env MAGICK_THREAD_LIMIT=1 convert -size 6000x4000 -depth 8 rgba:$work/photo.rgba -filter Lanczos -resize 1920x1280! rgba:$work/out.rgba"
)

results=$work/times.txt
: >"$results"
TIMEFORMAT='%R %U %S'
for ((r = 0; r < reps; r++)); do
  for entry in "${commands[@]}"; do
    name=${entry%%|*}
    cmd=${entry#*|}
    t=$( { time $cmd >/dev/null 2>&1; } 2>&1 )
    echo "$name $t" >>"$results"
  done
done

awk '
  {
    wall[$1] = wall[$1] " " $2; cpu[$1] = cpu[$1] " " ($3 + $4)
    usr[$1] = usr[$1] " " $3; sys[$1] = sys[$1] " " $4; order[NR] = $1
  }
  function median(list,   n, v, i, j, t) {
    n = split(list, v, " ")
    for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (v[j] < v[i]) { t = v[i]; v[i] = v[j]; v[j] = t }
    return n % 2 ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2
  }
  END {
    printf "%-18s %9s %9s %9s %9s\n", "command", "wall s", "cpu s", "user s", "sys s"
    for (i = 1; i <= NR; i++) {
      k = order[i]
      if (k in done) continue
      done[k] = 1; keys[++n] = k
      w[k] = median(wall[k]); c[k] = median(cpu[k])
      printf "%-18s %9.3f %9.3f %9.3f %9.3f\n", k, w[k], c[k], median(usr[k]), median(sys[k])
    }
    print ""
    for (i = 1; i <= n; i++) {
      split(keys[i], p, ":")
      if (p[2] == "qp") continue
      q = p[1] ":qp"
      printf "%-8s qp / %-7s wall %5.2fx   cpu %5.2fx\n", p[1], p[2], w[q] / w[keys[i]], c[q] / c[keys[i]]
    }
  }' "$results"
