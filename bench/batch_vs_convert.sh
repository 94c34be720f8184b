#!/usr/bin/env bash
# Whole-process throughput of the batch converter beside a shell loop that runs
# `quillpix -convert` once per file, on the same folder of 200 mixed pictures (one in ten of
# them damaged), both converting to WebP.
#   bench/batch_vs_convert.sh [BIN_DIR] [REPETITIONS]
# BIN_DIR holds quillpix and QuillpixBatch (default build/bin; a Release build gives the
# fairest numbers). Each repetition runs both sides, alternating which goes first, so load from
# other processes falls on both alike; the median wall time of each side is reported.
set -euo pipefail

bin=${1:-build/bin}
reps=${2:-3}
for p in quillpix QuillpixBatch; do
  [ -x "$bin/$p" ] || { echo "batch_vs_convert.sh: $bin/$p not built" >&2; exit 1; }
done
command -v convert >/dev/null || { echo "batch_vs_convert.sh: ImageMagick missing (scripts/install-deps)" >&2; exit 1; }

work=${TMPDIR:-/tmp}/qp_batch_bench
export XDG_CONFIG_HOME=$work/config
mkdir -p "$work/in" "$XDG_CONFIG_HOME"
if [ "$(ls "$work/in" | wc -l)" -ne 200 ]; then
  rm -rf "$work/in" && mkdir -p "$work/in"
  # A few camera-sized pictures in JPEG and PNG, copied under 200 names.
  convert -size 1600x1200 plasma:fractal -seed 1 "$work/s0.jpg"
  convert -size 1200x1600 plasma:fractal -seed 2 -quality 90 "$work/s1.jpg"
  convert -size 1280x960 gradient:navy-orange -attenuate 0.6 +noise Gaussian "$work/s2.png"
  convert -size 1024x768 plasma:fractal -seed 3 "$work/s3.png"
  for i in $(seq 0 199); do
    case $((i % 4)) in 0|1) ext=jpg ;; *) ext=png ;; esac
    if [ $((i % 10)) -eq 7 ]; then
      head -c 3000 "$work/s$((i % 4)).$ext" > "$work/in/p$i.$ext"   # cut short
    else
      cp "$work/s$((i % 4)).$ext" "$work/in/p$i.$ext"
    fi
  done
fi

# Wall, user and system seconds of a command, as "real user sys" (children included).
timed() {
  local TIMEFORMAT='%R %U %S'
  { time "$@" > /dev/null 2>&1; } 2>&1
}
convert_each() {
  local f name
  for f in "$work"/in/*; do
    name=$(basename "$f")
    "$bin/quillpix" -convert "$f" "$work/loop/${name%.*}.webp" || true
  done
}
loop_run() {
  rm -rf "$work/loop" && mkdir -p "$work/loop"
  timed convert_each
}
convert_batch() {
  "$bin/QuillpixBatch" -to webp -out "$work/batch" "$work/in" > "$work/report.txt" || true
}
batch_run() {
  rm -rf "$work/batch" && mkdir -p "$work/batch"
  timed convert_batch
}

load_before=$(cut -d' ' -f1 /proc/loadavg)
loops=() batches=()
for r in $(seq 1 "$reps"); do
  if [ $((r % 2)) -eq 1 ]; then
    loops+=("$(loop_run)"); batches+=("$(batch_run)")
  else
    batches+=("$(batch_run)"); loops+=("$(loop_run)")
  fi
done
median() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
field() { local n=$1; shift; for run in "$@"; do echo "$run" | awk -v n="$n" '{print $n}'; done; }
cpu() { for run in "$@"; do echo "$run" | awk '{printf "%.2f\n", $2 + $3}'; done; }
loop=$(median $(field 1 "${loops[@]}"))
batch=$(median $(field 1 "${batches[@]}"))
loop_cpu=$(median $(cpu "${loops[@]}"))
batch_cpu=$(median $(cpu "${batches[@]}"))
rate() { awk -v t="$1" 'BEGIN {printf "%.1f", 200 / t}'; }
echo "cores: $(nproc), load average before: $load_before, after: $(cut -d' ' -f1 /proc/loadavg)"
echo "files: 200 ($(head -1 "$work/report.txt"))"
echo "quillpix -convert loop: wall ${loop} s ($(rate "$loop") files/s), CPU ${loop_cpu} s"
echo "QuillpixBatch:          wall ${batch} s ($(rate "$batch") files/s), CPU ${batch_cpu} s"
echo "speed-up (wall):        $(awk -v a="$loop" -v b="$batch" 'BEGIN {printf "%.2f", a / b}')x"
echo "runs (real user sys):   loop: ${loops[*]// /,}   batch: ${batches[*]// /,}"
# Same files out of both sides.
diff <(cd "$work/loop" && ls) <(cd "$work/batch" && ls) >/dev/null && echo "outputs: same file names on both sides"
