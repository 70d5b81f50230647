# Shared set-up for ./picdex and ./run-tests: installs the Debian packages the build
# needs when they are missing, then configures and builds a build folder.
# Sourced, not run: defines picdex_install_deps and picdex_build.

PICDEX_PACKAGES=(
  cmake ninja-build g++ pkg-config
  libsqlite3-dev sqlite3 libjpeg62-turbo-dev libpng-dev libgif-dev libtiff-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libexiv2-dev libimage-exiftool-perl imagemagick
  clang libclang-rt-14-dev
  ntfs-3g wimtools
  e2fsprogs tmux hyperfine
)

picdex_install_deps() {
  local missing=() p
  for p in "${PICDEX_PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed'; then
      missing+=("$p")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "picdex needs these Debian packages; install them with:" >&2
    echo "  sudo apt-get install -y ${missing[*]}" >&2
    return 1
  fi
  echo "Installing: ${missing[*]}" >&2
  export DEBIAN_FRONTEND=noninteractive
  if ! apt-get install -y --no-install-recommends "${missing[@]}" >&2; then
    apt-get update >&2 && apt-get install -y --no-install-recommends "${missing[@]}" >&2 || return 1
  fi
}

# picdex_build <folder> [cmake options...]: configure (quick when nothing changed; it
# picks up areas added since the last run), then build incrementally.
picdex_build() {
  local dir=$1
  shift
  local type=()
  [ -f "$dir/CMakeCache.txt" ] || type=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
  cmake -S "$PICDEX_ROOT" -B "$dir" -G Ninja "${type[@]}" "$@" >&2 || return 1
  cmake --build "$dir" -j "$(nproc)" >&2
}
