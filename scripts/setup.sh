# Shared by scripts/run and scripts/test: install what is missing, then configure and build.
# Sourced, not run.

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# Debian packages the build, the viewer and the tests need.
packages=(cmake g++ make pkg-config qtbase5-dev libgl-dev libglu1-mesa-dev libgl1-mesa-dri
          fonts-dejavu-core fonts-liberation2 libx11-dev xvfb xauth xcompmgr)

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

# configure_and_build BUILD_DIR [extra cmake arguments...]: configures once, builds incrementally:
# everything, or only the targets named in the array build_targets when the caller sets it.
configure_and_build() {
  local dir=$1; shift
  if [ ! -f "$dir/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
  fi
  local targets=()
  [ -n "${build_targets+x}" ] && targets=(--target "${build_targets[@]}")
  cmake --build "$dir" -j"$(nproc)" "${targets[@]}"
}
