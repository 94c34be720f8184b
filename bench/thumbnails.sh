#!/usr/bin/env bash
# Measures the thumbnail grid: new thumbnails per second for two folders of 200 photos of 24
# megapixels (6000 x 4000 JPEG) and for 200 PNG and WebP pictures, cached thumbnails read per second,
# the time from entering the grid to a full first screen in a folder of 10,000 pictures with
# and without their thumbnails cached, and the peak resident memory of each run; then the
# real program's peak memory with the grid of the 10,000 pictures on a virtual display.
#
# Usage: bench/thumbnails.sh BUILD_DIR [WORK_DIR]   (WORK_DIR default: a temporary folder,
# about 3 GB; it is kept when given)
#
# The two photo folders: "photos" is the worst case, pictures that carry nothing but the
# picture (colour at full resolution, 4:4:4, quality 90, no EXIF thumbnail), so every byte of
# the 6 MB must be decoded; "camera" holds the same pictures as cameras and phones write them
# (colour at half resolution, 4:2:0, an EXIF thumbnail of 160 x 120 with the 3:2 picture
# between black bars, a 1616 x 1080 preview in a multi-picture index).
set -euo pipefail
build=$(cd "$1" && pwd)
work=${2:-$(mktemp -d)}
timing=$build/bench/qp_thumbnail_timing
mkdir -p "$work/photos" "$work/camera" "$work/mixed" "$work/many"
now_ms() { date +%s%3N; }

# Twenty different 24 MP photos, each copied ten times under other names: every copy is its
# own file to the cache.
make_photos() {  # KIND FOLDER
  [ -e "$2/photo-200.jpg" ] && return
  "$build/bench/qp_timing_tool" "$1" "$2" 20 6000 4000
  for i in $(seq 21 200); do
    cp "$2/photo-$(printf %02d $(( (i - 1) % 20 + 1 ))).jpg" "$2/photo-$i.jpg"
  done
}
make_photos make-photos "$work/photos"
make_photos make-camera "$work/camera"
[ -e "$work/mixed/pic-00199.webp" ] || "$timing" make-mixed "$work/mixed" 200
[ -e "$work/many/pic-09999.jpg" ] || "$timing" make-small "$work/many" 10000

echo "== 200 JPEG photos of 24 MP, worst case (4:4:4, nothing embedded): new, then cached"
rm -rf "$work/cache"
"$timing" new "$work/photos" "$work/cache/thumbnails"
"$timing" cached "$work/photos" "$work/cache/thumbnails"
echo "== 200 JPEG photos of 24 MP as cameras write them (4:2:0, EXIF thumbnail, preview): new, then cached"
rm -rf "$work/cache"
"$timing" new "$work/camera" "$work/cache/thumbnails"
"$timing" cached "$work/camera" "$work/cache/thumbnails"
echo "== the same camera photos, new thumbnails of the large size (256, a screen scaled twice)"
"$timing" new "$work/camera" "$work/cache/thumbnails" large
echo "== 200 PNG and WebP pictures of 1600 x 1200: new, then cached"
rm -rf "$work/cache"
"$timing" new "$work/mixed" "$work/cache/thumbnails"
"$timing" cached "$work/mixed" "$work/cache/thumbnails"
echo "== 10,000 JPEGs of 640 x 480, first screen of 1920 x 1000: uncached, then cached"
rm -rf "$work/cache"
"$timing" screen "$work/many" "$work/cache/thumbnails"
"$timing" new "$work/many" "$work/cache/thumbnails" | grep -E 'per_second|seconds'
"$timing" screen "$work/many" "$work/cache/thumbnails"

# The real program: G in the 10,000-picture folder, End, then Home, on a 1920 x 1080 screen.
if command -v xvfb-run >/dev/null && command -v xdotool >/dev/null && [ -x "$build/bin/quillpix" ]; then
  echo "== quillpix, grid of 10,000 cached pictures: peak resident memory"
  XDG_CACHE_HOME=$work/cache XDG_CONFIG_HOME=$work/config xvfb-run -a -s "-screen 0 1920x1080x24" \
    bash -c '
      "$0" "$1" & app=$!
      for _ in $(seq 1 100); do
        win=$(xdotool search --name "Quill Pix$" 2>/dev/null | tail -n 1 || true)
        [ -n "$win" ] && break; sleep 0.1
      done
      xdotool windowfocus --sync "$win"; sleep 1
      xdotool key g; sleep 3; xdotool key End; sleep 3; xdotool key Home; sleep 3
      grep -E "VmHWM|VmRSS" /proc/$app/status
      kill $app; wait $app 2>/dev/null || true' "$build/bin/quillpix" "$work/many/pic-00000.jpg"
fi
[ -n "${2:-}" ] || rm -rf "$work"
