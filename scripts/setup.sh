# Shared by scripts/run and scripts/test: install what is missing, then configure and build.
# Sourced, not run.

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# Debian packages the build, the viewer and the tests need. Qt 6 as Debian ships it: the base
# modules (with the xcb platform plugin, qt6-qpa-plugins) and QOpenGLWidget's own module.
packages=(cmake g++ make pkg-config qt6-base-dev libqt6opengl6-dev libgl-dev libglu1-mesa-dev libgl1-mesa-dri
          fonts-dejavu-core fonts-liberation2 libx11-dev xvfb xauth xcompmgr
          libgdal-dev)
# What the build against Qt 5.15 needs besides (scripts/test --qt5).
qt5_packages=(qtbase5-dev)

# The Qt a build folder is made for: 6, unless the caller sets terrain_qt=5 before configuring.
terrain_qt=${terrain_qt:-6}

# needs_configure DIR: DIR has no CMake cache yet, or one made for the other Qt; a folder once
# configured for Qt 5 must not quietly stay on it when Qt 6 is asked for, nor the other way.
needs_configure() {
  local cached
  [ -f "$1/CMakeCache.txt" ] || return 0
  cached=$(sed -n 's/^TERRAIN_QT:[A-Z]*=//p' "$1/CMakeCache.txt")
  [ "$cached" = "$terrain_qt" ] && return 1
  echo "$1 was configured for Qt ${cached:-?}: configuring it afresh for Qt $terrain_qt" >&2
  return 0
}

ensure_packages() {
  local missing=() p
  for p in "$@"; do
    dpkg -s "$p" 2>/dev/null | grep -q '^Status: install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
      sudo apt-get update && sudo DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
      return
    fi
    echo "Missing Debian packages. Install them with:" >&2
    echo "  sudo apt-get install ${missing[*]}" >&2
    exit 1
  fi
  echo "Installing: ${missing[*]}"
  apt-get update
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
}

# configure_and_build BUILD_DIR [extra cmake arguments...]: configures once for $terrain_qt
# (afresh, dropping the old cache, when it was made for the other Qt), builds incrementally:
# everything, or only the targets named in the array build_targets when the caller sets it.
configure_and_build() {
  local dir=$1; shift
  if needs_configure "$dir"; then
    cmake --fresh -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTERRAIN_QT="$terrain_qt" "$@"
  fi
  local targets=()
  [ -n "${build_targets+x}" ] && targets=(--target "${build_targets[@]}")
  cmake --build "$dir" -j"$(nproc)" "${targets[@]}"
}
