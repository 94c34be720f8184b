#!/usr/bin/env bash
# How long the user waits for a picture: drives the real viewer on a private virtual display and
# reads its "trace: shown <ms> <path>" lines (QUILLPIX_TRACE=1).
#
#   bench/stepping.sh [BUILD_DIR] [ROUNDS] [STEPS]
#
# QP_STEPPING_CASES="1 2 3 4 5" (the default) picks the cases below to run.
#
# 1. Stepping: a folder of twenty 6000 x 4000 JPEGs, fullscreen (fit to screen), Space every
#    0.6 s, STEPS steps (default 40), with "PrefetchMemoryMB" at its default of 512 and at 0
#    (off), ROUNDS times each (default 1), alternating, so load from other processes falls on
#    both alike. Prints the median and 95th percentile of the shown times and the peak
#    resident memory while stepping.
# 2. Held key: the same folder fullscreen, Space pressed 4 times a second (STEPS presses, no
#    pause), prefetch at 512 MiB: every press must show its photo; prints the same figures.
#    Then the same in the window at original size.
# 3. First picture: the same 6000 x 4000 JPEG opened alone in a folder and among 10,000 files,
#    alternating, 5 times each; prints the median time to the first picture and the ratio.
# 4. First picture beside other viewers: a 6000 x 4000 photo in a colour qp_first_paint finds
#    on the screen, among 10,000 files, opened by quillpix and by each of feh, qimgv and eog
#    that is installed, in turn, 5 times each; the time from the start of the process to the
#    first paint as seen on the screen (the same measure for every program).
# 5. Tagged photos: a copy of the folder whose photos carry an Adobe RGB profile and EXIF
#    orientation 3 (the pixels stored upside down, so the same picture shows), stepped with
#    pauses and with the held key at prefetch 512, alternating with the untagged folder,
#    ROUNDS times each; prints both sets of figures and the ratio of the medians, which should
#    stay within 1.10.
#
# BUILD_DIR holds bin/quillpix, bench/qp_timing_tool and bench/qp_first_paint (default build).
# The pictures are made once under ${TMPDIR:-/tmp}/qp_stepping. Needs xvfb-run and xdotool, and
# colord-data's profiles for case 5.
set -euo pipefail

if [ -z "${QP_STEPPING_INNER:-}" ]; then
  export QP_STEPPING_INNER=1
  exec xvfb-run -a -s "-screen 0 1920x1080x24" "$0" "$@"
fi

build=${1:-build}
rounds=${2:-1}
steps=${3:-40}
cases=${QP_STEPPING_CASES:-1 2 3 4 5}
want() { [[ " $cases " == *" $1 "* ]]; }
prog=$build/bin/quillpix
tool=$build/bench/qp_timing_tool
paint=$build/bench/qp_first_paint
for f in "$prog" "$tool" "$paint"; do
  [ -x "$f" ] || { echo "stepping.sh: $f not built" >&2; exit 1; }
done
command -v xdotool >/dev/null || { echo "stepping.sh: xdotool not installed" >&2; exit 1; }
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}

work=${TMPDIR:-/tmp}/qp_stepping
photos=$work/photos big=$work/big alone=$work/alone
if [ ! -s "$photos/photo-20.jpg" ]; then
  mkdir -p "$photos"
  "$tool" make-photos "$photos" 20
fi
if { want 3 || want 4; } && [ ! -e "$big/img-05000.jpg" ]; then
  rm -rf "$big" "$alone" "$work/tiny"
  mkdir -p "$big" "$alone" "$work/tiny"
  "$tool" make-photos "$work/tiny" 1 64 48
  for i in $(seq -w 1 10000); do
    [ "$i" = 05000 ] || ln "$work/tiny/photo-01.jpg" "$big/img-$i.jpg"
  done
  cp "$photos/photo-01.jpg" "$big/img-05000.jpg"
  cp "$photos/photo-01.jpg" "$alone/img-05000.jpg"
fi
if want 4 && [ ! -s "$big/img-05001m.jpg" ]; then
  rm -rf "$work/marked"
  mkdir -p "$work/marked"
  "$tool" make-marked "$work/marked" 6000 4000
  cp "$work/marked/photo-01.jpg" "$big/img-05001m.jpg"
fi

load() { cut -d' ' -f1-3 /proc/loadavg; }

# Starts the viewer on $2 with "PrefetchMemoryMB" = $1, its trace going to $3; sets $pid.
start() {
  local cfg
  cfg=$(mktemp -d)
  mkdir -p "$cfg/Quillpix"
  printf '[Settings]\nPrefetchMemoryMB=%s\n' "$1" >"$cfg/Quillpix/Quill Pix.conf"
  XDG_CONFIG_HOME=$cfg QUILLPIX_TRACE=1 "$prog" "$2" 2>"$3" &
  pid=$!
}

# Waits until file $1 holds $2 trace lines (at most 60 s).
wait_lines() {
  for _ in $(seq 1 600); do
    [ "$(grep -c '^trace: shown' "$1" || true)" -ge "$2" ] && return 0
    kill -0 "$pid" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}

stop() {
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}

# Median and 95th percentile (nearest rank) of the numbers on standard input.
stats() {
  sort -n | awk '{ v[NR] = $1 } END {
    if (NR == 0) { print "no samples"; exit }
    m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
    r = int(0.95 * NR); if (r < 0.95 * NR) r++
    printf "n=%d median=%g p95=%g min=%g max=%g", NR, m, v[r], v[1], v[NR] }'
}

results=$work/results
rm -rf "$results"
mkdir -p "$results"
echo "load before: $(load)"

# One stepping run with pauses: the viewer on first file $2 with prefetch $1, fullscreen, STEPS
# presses of Space 0.6 s apart. Leaves the shown times in $3.ms, the peak resident memory (kB)
# in $3.rss and the load at the end in $3.load; sets loadStart.
paused_run() {
  local budget=$1 first=$2 log=$3 win sampler
  start "$budget" "$first" "$log"
  wait_lines "$log" 1 || { echo "stepping.sh: no first picture" >&2; stop; exit 1; }
  win=$(xdotool search --name 'Quill Pix$' | tail -n 1)
  xdotool windowfocus --sync "$win"
  sleep 2                        # the folder is read and the neighbours decoded
  xdotool key Return             # fullscreen, fitted
  sleep 2
  # Resident memory sampled while stepping; the peak is kept.
  (peak=0; while kill -0 "$pid" 2>/dev/null; do
     rss=$(awk '/^VmRSS/ { print $2 }' "/proc/$pid/status" 2>/dev/null || echo 0)
     [ "${rss:-0}" -gt "$peak" ] && peak=$rss && echo "$peak" >"$log.rss"
     sleep 0.05
   done) &
  sampler=$!
  loadStart=$(load)
  for _ in $(seq 1 "$steps"); do
    xdotool key space
    sleep 0.6
  done
  sleep 2
  wait_lines "$log" $((steps + 1)) || true
  echo "$(load)" >"$log.load"
  stop
  wait "$sampler" 2>/dev/null || true
  grep '^trace: shown' "$log" | tail -n +2 | awk '{ print $3 }' >"$log.ms"
}

# One held-key run: the viewer on first file $1 with prefetch 512, fullscreen (or with $3 =
# window, in its window at original size), STEPS presses of Space four a second. Leaves $2.ms
# and $2.load; sets loadStart.
held_run() {
  local first=$1 log=$2 where=${3:-fullscreen} win
  start 512 "$first" "$log"
  wait_lines "$log" 1 || { echo "stepping.sh: no first picture" >&2; stop; exit 1; }
  win=$(xdotool search --name 'Quill Pix$' | tail -n 1)
  xdotool windowfocus --sync "$win"
  sleep 2
  [ "$where" = window ] || xdotool key Return
  sleep 2
  loadStart=$(load)
  xdotool key --delay 250 --repeat "$steps" space
  sleep 3
  wait_lines "$log" $((steps + 1)) || true
  echo "$(load)" >"$log.load"
  stop
  grep '^trace: shown' "$log" | tail -n +2 | awk '{ print $3 }' >"$log.ms"
}

# The median of the numbers in file $1.
median() {
  sort -n "$1" | awk '{ v[NR] = $1 } END {
    if (NR == 0) { print 0; exit }
    print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# 1. Stepping.
if want 1; then
  for ((r = 1; r <= rounds; r++)); do
    for budget in 512 0; do
      log=$results/step-$budget-$r.log
      paused_run "$budget" "$photos/photo-01.jpg" "$log"
      printf 'stepping prefetch=%-3s round %d: %s  peak RSS %d MB  (load %s -> %s)\n' "$budget" "$r" \
        "$(stats <"$log.ms")" $(( $(cat "$log.rss" 2>/dev/null || echo 0) / 1024 )) "$loadStart" "$(cat "$log.load")"
    done
  done
  for budget in 512 0; do
    cat "$results"/step-$budget-*.log.ms >"$results/all-$budget.ms"
    printf 'stepping prefetch=%-3s all rounds: %s\n' "$budget" "$(stats <"$results/all-$budget.ms")"
  done
fi

# 2. Held key: four presses a second, fullscreen.
if want 2; then
  for ((r = 1; r <= rounds; r++)); do
    log=$results/held-$r.log
    held_run "$photos/photo-01.jpg" "$log"
    printf 'held key (4/s) round %d: %s of %d presses  (load %s -> %s)\n' "$r" "$(stats <"$log.ms")" \
      "$steps" "$loadStart" "$(cat "$log.load")"
  done
  cat "$results"/held-*.log.ms >"$results/all-held.ms"
  printf 'held key (4/s) all rounds: %s\n' "$(stats <"$results/all-held.ms")"
  # The same in the window at original size, where the part on screen comes first.
  for ((r = 1; r <= rounds; r++)); do
    log=$results/window-held-$r.log
    held_run "$photos/photo-01.jpg" "$log" window
    printf 'held key (4/s) in a window, round %d: %s of %d presses  (load %s -> %s)\n' "$r" \
      "$(stats <"$log.ms")" "$steps" "$loadStart" "$(cat "$log.load")"
  done
  cat "$results"/window-held-*.log.ms >"$results/all-window-held.ms"
  printf 'held key (4/s) in a window, all rounds: %s\n' "$(stats <"$results/all-window-held.ms")"
fi

# 3. First picture, alone and among 10,000 files.
if want 3; then
  for _ in 1 2 3 4 5; do
    for where in alone big; do
      dir=$alone
      [ "$where" = big ] && dir=$big
      log=$results/first-$where.log
      start 512 "$dir/img-05000.jpg" "$log"
      wait_lines "$log" 1 || true
      stop
      grep '^trace: shown' "$log" | head -n 1 | awk '{ print $3 }' >>"$results/first-$where.ms"
    done
  done
  alone_ms=$(stats <"$results/first-alone.ms")
  big_ms=$(stats <"$results/first-big.ms")
  echo "first picture alone:        $alone_ms"
  echo "first picture among 10,000: $big_ms"
  a=$(sort -n "$results/first-alone.ms" | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }')
  b=$(sort -n "$results/first-big.ms" | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }')
  awk -v a="$a" -v b="$b" 'BEGIN { printf "ratio (median among 10,000 / median alone): %.2f\n", b / a }'
fi

# 4. First picture beside other viewers, measured on the screen from outside.
if want 4; then
  viewers=(quillpix)
  for v in feh qimgv eog; do command -v "$v" >/dev/null && viewers+=("$v"); done
  for _ in 1 2 3 4 5; do
    for v in "${viewers[@]}"; do
      cfg=$(mktemp -d)
      mkdir -p "$cfg/Quillpix"
      printf '[Settings]\nPrefetchMemoryMB=512\n' >"$cfg/Quillpix/Quill Pix.conf"
      cmd=("$v")
      [ "$v" = quillpix ] && cmd=("$prog")
      ms=$(XDG_CONFIG_HOME=$cfg "$paint" 20000 "${cmd[@]}" "$big/img-05001m.jpg" 2>/dev/null || true)
      echo "${ms:-timeout}" >>"$results/peer-$v.ms"
      rm -rf "$cfg"
      sleep 0.5
    done
  done
  for v in "${viewers[@]}"; do
    grep -v timeout "$results/peer-$v.ms" >"$results/peer-$v.ok" || true
    printf 'first paint on screen, %-8s among 10,000: %s (%d timeouts)\n' "$v" \
      "$(stats <"$results/peer-$v.ok")" "$(grep -c timeout "$results/peer-$v.ms" || true)"
  done
fi

# 5. Tagged photos beside untagged ones, alternating.
if want 5; then
  icc=/usr/share/color/icc/colord/AdobeRGB1998.icc
  [ -r "$icc" ] || { echo "stepping.sh: $icc missing (colord-data)" >&2; exit 1; }
  tagged=$work/tagged
  if [ ! -s "$tagged/photo-20.jpg" ]; then
    mkdir -p "$tagged"
    "$tool" make-photos "$tagged" 20 --icc "$icc" --orientation 3
  fi
  for ((r = 1; r <= rounds; r++)); do
    for kind in untagged tagged; do
      dir=$photos
      [ "$kind" = tagged ] && dir=$tagged
      log=$results/tag-step-$kind-$r.log
      paused_run 512 "$dir/photo-01.jpg" "$log"
      printf 'stepping %-8s prefetch=512 round %d: %s  peak RSS %d MB  (load %s -> %s)\n' "$kind" "$r" \
        "$(stats <"$log.ms")" $(( $(cat "$log.rss" 2>/dev/null || echo 0) / 1024 )) "$loadStart" "$(cat "$log.load")"
      log=$results/tag-held-$kind-$r.log
      held_run "$dir/photo-01.jpg" "$log"
      printf 'held key %-8s (4/s) round %d: %s of %d presses  (load %s -> %s)\n' "$kind" "$r" \
        "$(stats <"$log.ms")" "$steps" "$loadStart" "$(cat "$log.load")"
    done
  done
  for what in step held; do
    label=stepping
    [ "$what" = held ] && label="held key"
    for kind in untagged tagged; do
      cat "$results"/tag-$what-$kind-*.log.ms >"$results/tag-$what-$kind.ms"
      printf '%-8s %-8s all rounds: %s\n' "$label" "$kind" "$(stats <"$results/tag-$what-$kind.ms")"
    done
    awk -v t="$(median "$results/tag-$what-tagged.ms")" -v u="$(median "$results/tag-$what-untagged.ms")" \
      -v w="$label" 'BEGIN { printf "%s ratio (median tagged / median untagged): %s\n", w, (u > 0 ? sprintf("%.2f", t / u) : "n/a") }'
  done
fi

echo "load after: $(load)"
