#!/usr/bin/env bash
# A frame of the full-screen saver at a fixed time, for comparing two builds
# pixel for pixel: the monotonic clock the saver reads is held in whole
# seconds until SECONDS and stopped there (an LD_PRELOAD shim built here), so
# two runs draw the same scene time; the root window is saved after it.
#   bench/still_frame.sh SAVER WIDTH HEIGHT SECONDS OUT.png
# e.g. compare -metric AE a.png b.png null:   (0: the same pixels)
set -euo pipefail
saver=$1 w=$2 h=$3 at=$4 out=$5
# ImageMagick's import saves the root window.
"$(dirname "$0")/../scripts/deps" imagemagick
work=$(mktemp -d /tmp/tessaloom-still.XXXXXX)
xvfb=""
saver_pid=""
cleanup() {
  [ -n "$saver_pid" ] && kill "$saver_pid" 2>/dev/null
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
cat >"$work/clock.c" <<'EOF'
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdlib.h>
#include <time.h>
static long long base = -1;
int clock_gettime(clockid_t id, struct timespec* ts) {
    static int (*real)(clockid_t, struct timespec*);
    if (!real) real = (int (*)(clockid_t, struct timespec*))dlsym(RTLD_NEXT, "clock_gettime");
    int r = real(id, ts);
    if (id != CLOCK_MONOTONIC || r != 0) return r;
    long long now = ts->tv_sec * 1000000000LL + ts->tv_nsec;
    if (base < 0) base = now;
    long long stop = base + (long long)(atof(getenv("STILL_AT")) * 1e9);
    /* Whole seconds until the stop: the saver's start reads the first one. */
    now = now > stop ? stop : base + (now - base) / 1000000000LL * 1000000000LL;
    ts->tv_sec = now / 1000000000LL;
    ts->tv_nsec = now % 1000000000LL;
    return 0;
}
EOF
cc -shared -fPIC -O2 -o "$work/clock.so" "$work/clock.c" -ldl
Xvfb -screen 0 "${w}x${h}x24" -nolisten tcp -displayfd 3 3>"$work/display" >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(head -1 "$work/display" | tr -d '[:space:]')"
STILL_AT=$at LD_PRELOAD="$work/clock.so" SDL_AUDIODRIVER=dummy TESSALOOM_REGISTRY_DIR="$work/registry" \
  "$saver" /s >/dev/null 2>&1 &
saver_pid=$!
sleep "$(awk -v t="$at" 'BEGIN {print t + 4}')"
import -display "$DISPLAY" -window root "$out"
