#!/usr/bin/env bash
# The whole saver process is the honest unit of a frame's cost: llvmpipe
# rasterises on threads of its own and the window system copies the frame.
# This runs the full-screen saver on an Xvfb server of its own, then (when
# XScreenSaver's glslideshow is installed and a scene builder is given) the
# slide show of glslideshow on the same two pictures with the same pan, zoom
# and fade times, and prints for each one line:
#   name resolution fps cpu_ms_per_frame rss_mb_first rss_mb_last
# CPU is user + system time of all the process's threads between second 10
# and the end; frames are the saver's TESSALOOM_FRAME_STATS rates, and the
# peer's buffer swaps (counted by a small LD_PRELOAD shim built here, at
# eglSwapBuffers or glXSwapBuffers).
# Compare the lines of one run only: the machine's load moves both.
#
#   bench/peer_frame.sh SAVER [SCENE_BUILDER] [SECONDS]      (both 1280x720 and 1920x1080)
# The saver must be built with TESSALOOM_DEMO_SCENE=valley.
#
# Full-screen passes per frame of the valley scene (what llvmpipe shades over
# the whole screen): the clear and the picture; the fade quad only while a
# fade is under way; no copy at Present while the back buffer is drawn in the
# window's own framebuffer.
set -euo pipefail
saver=$1
builder=${2:-}
seconds=${3:-40}
work=$(mktemp -d /tmp/tessaloom-peer.XXXXXX)
trap 'rm -rf "$work"' EXIT
peer=/usr/libexec/xscreensaver/glslideshow

if [ -n "$builder" ] && [ -x "$peer" ]; then
  # glslideshow reads PNG; ImageMagick converts the painted TGA pictures.
  "$(dirname "$0")/../scripts/deps" imagemagick
  mkdir -p "$work/pics" "$work/home"
  "$builder" --paint valley 1024x768 "$work/pics/valley.tga" >/dev/null
  "$builder" --paint dusk 1600x900 "$work/pics/dusk.tga" >/dev/null
  for p in valley dusk; do /usr/bin/convert "$work/pics/$p.tga" "$work/pics/$p.png" && rm "$work/pics/$p.tga"; done
  printf 'grabDesktopImages: False\ngrabVideoFrames: False\nchooseRandomImages: True\nimageDirectory: %s\n' \
    "$work/pics" >"$work/home/.xscreensaver"
  cat >"$work/swaps.c" <<'EOF'
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <time.h>
static long swaps;
static time_t last;
static void count(void) {
    ++swaps;
    time_t now = time(NULL);
    if (now != last) { last = now; fprintf(stderr, "swaps %ld\n", swaps); }
}
/* XScreenSaver draws through EGL or GLX, depending on its build. */
unsigned eglSwapBuffers(void* d, void* s) {
    static unsigned (*real)(void*, void*);
    if (!real) real = (unsigned (*)(void*, void*))dlsym(RTLD_NEXT, "eglSwapBuffers");
    count();
    return real(d, s);
}
void glXSwapBuffers(void* d, unsigned long w) {
    static void (*real)(void*, unsigned long);
    if (!real) real = (void (*)(void*, unsigned long))dlsym(RTLD_NEXT, "glXSwapBuffers");
    count();
    real(d, w);
}
EOF
  cc -shared -fPIC -O2 -o "$work/swaps.so" "$work/swaps.c" -ldl
fi

# measure NAME W H COMMAND...: one run on display :171, the line above on stdout.
measure() {
  local name=$1 w=$2 h=$3; shift 3
  Xvfb :171 -screen 0 "${w}x${h}x24" -nolisten tcp >/dev/null 2>&1 &
  local xvfb=$!
  for _ in $(seq 50); do [ -e /tmp/.X11-unix/X171 ] && break; sleep 0.1; done
  sleep 0.5
  DISPLAY=:171 "$@" 2>"$work/$name.log" &
  local pid=$!
  local tck; tck=$(getconf CLK_TCK)
  sleep 10
  local c0 r0 t0; c0=$(awk '{print $14 + $15}' "/proc/$pid/stat"); r0=$(awk '/VmRSS/ {print int($2 / 1024)}' "/proc/$pid/status")
  t0=$(date +%s.%N)
  local f0; f0=$(wc -l <"$work/$name.log")
  sleep $((seconds - 10))
  local c1 r1 t1; c1=$(awk '{print $14 + $15}' "/proc/$pid/stat"); r1=$(awk '/VmRSS/ {print int($2 / 1024)}' "/proc/$pid/status")
  t1=$(date +%s.%N)
  kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true
  kill "$xvfb"; wait "$xvfb" 2>/dev/null || true
  # Frames from second 10 on: the mean of the saver's per-second rates, or the peer's swap count.
  local fps
  if [ "$name" = peer ]; then
    fps=$(tail -n +"$f0" "$work/$name.log" | awk -v span="$(awk -v a="$t0" -v b="$t1" 'BEGIN {print b - a}')" \
      '/^swaps/ {if (first == "") first = $2; last = $2} END {print (last - first) / span}')
  else
    fps=$(tail -n +"$((f0 + 1))" "$work/$name.log" | grep -o '[0-9.]* fps' | awk '{s += $1; n++} END {print n ? s / n : 0}')
  fi
  awk -v n="$name" -v r="${w}x${h}" -v f="$fps" -v c="$(((c1 - c0)))" -v tck="$tck" -v s="$(awk -v a="$t0" -v b="$t1" 'BEGIN {print b - a}')" \
    -v r0="$r0" -v r1="$r1" 'BEGIN {ms = 0; if (f > 0) ms = 1000 * c / tck / s / f; printf "%-6s %-9s fps %5.1f  cpu %5.1f ms/frame  rss %d..%d MB\n", n, r, f, ms, r0, r1}'
}

for res in "1280 720" "1920 1080"; do
  set -- $res
  measure ours "$1" "$2" env SDL_AUDIODRIVER=dummy TESSALOOM_FRAME_STATS=1 TESSALOOM_REGISTRY_DIR="$work/registry" "$saver" /s
  if [ -f "$work/swaps.so" ]; then
    sleep 2
    measure peer "$1" "$2" env HOME="$work/home" PATH="/usr/libexec/xscreensaver:$PATH" LD_PRELOAD="$work/swaps.so" \
      "$peer" -root -duration 13 -pan 13 -fade 2 -cutoff 0
  fi
done
