# Headless settings shared by the test command and CI: no X server, no sound
# device, a throw-away registry.  Sourced by scripts/test.
export SDL_VIDEODRIVER=offscreen
export SDL_AUDIODRIVER=dummy
export EGL_PLATFORM=surfaceless
export MESA_SHADER_CACHE_DISABLE=true
export LIBGL_ALWAYS_SOFTWARE=1
if [ -z "${TESSALOOM_REGISTRY_DIR:-}" ]; then
  TESSALOOM_REGISTRY_DIR="$(mktemp -d /tmp/tessaloom-registry.XXXXXX)"
  export TESSALOOM_REGISTRY_DIR
fi
