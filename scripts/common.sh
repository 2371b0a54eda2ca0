# shellcheck shell=bash
# Shared by setup.sh, run.sh and test.sh; sourced, not run.

GS_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
GS_BUILD="$GS_ROOT/build"
GS_JOBS="$(nproc 2>/dev/null || echo 2)"

gs_say() { printf '%s\n' "$*" >&2; }
gs_die() { gs_say "error: $*"; exit 1; }

# Runs a command as root: directly when root, else through sudo.
gs_as_root() {
  if [ "$(id -u)" -eq 0 ]; then
    "$@"
  elif command -v sudo >/dev/null 2>&1; then
    sudo "$@"
  else
    gs_die "installing packages needs root: run this as root or install sudo"
  fi
}

# When started through sudo from a user's clone, builds, tests and the show
# run as that user, so build/ stays theirs and the show reaches their session.
gs_owner() {
  if [ "$(id -u)" -eq 0 ] && [ -n "${SUDO_USER:-}" ] && [ "$SUDO_USER" != root ] &&
     [ "$(stat -c %U "$GS_ROOT")" = "$SUDO_USER" ]; then
    printf '%s\n' "$SUDO_USER"
  fi
}

gs_as_owner() {
  local owner
  owner="$(gs_owner)"
  if [ -n "$owner" ]; then
    runuser -u "$owner" -- "$@"
  else
    "$@"
  fi
}

# Installs the packages of scripts/packages.txt that are missing.
gs_install_packages() {
  if ! command -v dpkg-query >/dev/null 2>&1 || ! command -v apt-get >/dev/null 2>&1; then
    gs_die "this set-up needs Debian 12 (or a close relative) with apt-get"
  fi
  local lines=() line choice found missing=()
  while IFS= read -r line; do
    line="${line%%#*}"
    line="${line//[[:space:]]/}"
    [ -n "$line" ] && lines+=("$line")
  done < "$GS_ROOT/scripts/packages.txt"
  # One query for all of them: "name status" for each package dpkg knows.
  local installed
  # shellcheck disable=SC2046
  installed=" $(dpkg-query -W -f='${Package}=${db:Status-Status} ' \
    $(printf '%s\n' "${lines[@]}" | tr '|' '\n') 2>/dev/null || true) "
  for line in "${lines[@]}"; do
    found=no
    for choice in ${line//|/ }; do
      if [[ "$installed" == *" $choice=installed "* ]]; then found=yes; break; fi
    done
    [ "$found" = no ] && missing+=("${line%%|*}")
  done
  if [ "${#missing[@]}" -eq 0 ]; then
    gs_say "All packages are installed."
    return 0
  fi
  gs_say "Installing: ${missing[*]}"
  gs_as_root env DEBIAN_FRONTEND=noninteractive apt-get update -q
  gs_as_root env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# Configures build/ and builds the given targets (all when none are given).
gs_build() {
  gs_as_owner cmake -S "$GS_ROOT" -B "$GS_BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DGS_BUILD_TESTS=ON -DGS_BUILD_BENCH=ON
  local targets=()
  local t
  for t in "$@"; do targets+=(--target "$t"); done
  gs_as_owner cmake --build "$GS_BUILD" -j "$GS_JOBS" "${targets[@]}"
}

# Builds the given targets with a sanitizer ("address": AddressSanitizer with
# UndefinedBehaviorSanitizer; "thread": ThreadSanitizer) into build-<kind>/,
# lightly optimised to keep the build short, and runs the tests matching the regex.
gs_sanitized_pass() {
  local kind="$1" targets="$2" regex="$3" dir="$GS_ROOT/build-$1" t args=()
  gs_say "== sanitizer pass: $kind"
  gs_as_owner cmake -S "$GS_ROOT" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1" -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g1" \
    -DGS_SANITIZE="$kind" -DGS_BUILD_TESTS=ON -DGS_BUILD_BENCH=OFF || return 1
  for t in $targets; do args+=(--target "$t"); done
  gs_as_owner cmake --build "$dir" -j "$GS_JOBS" "${args[@]}" || return 1
  gs_as_owner ctest --test-dir "$dir" --output-on-failure --no-tests=error -R "$regex" \
    -j "${GS_TEST_JOBS:-$GS_JOBS}" --timeout 900
}

# Builds the libFuzzer targets with clang into build-fuzz/ and runs each for
# a few seconds from its stored seeds.
gs_fuzz_smoke() {
  local dir="$GS_ROOT/build-fuzz"
  gs_say "== fuzz smoke runs"
  gs_as_owner env CC=clang CXX=clang++ cmake -S "$GS_ROOT" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DGS_FUZZ=ON -DGS_BUILD_TESTS=ON -DGS_BUILD_BENCH=OFF || return 1
  gs_as_owner cmake --build "$dir" -j "$GS_JOBS" --target fuzz_picture_gif fuzz_picture_bmp \
    fuzz_picture_pcx fuzz_picture_icon fuzz_sound_wave fuzz_sound_midi || return 1
  gs_as_owner ctest --test-dir "$dir" --output-on-failure --no-tests=error -L fuzz \
    -j "${GS_TEST_JOBS:-$GS_JOBS}"
}

gs_now() { date +%s.%N; }
gs_seconds_since() { awk -v a="$1" -v b="$(gs_now)" 'BEGIN { printf "%.1f", b - a }'; }
