#!/usr/bin/env bash
# Sets up, builds everything (program, tests, benchmarks) and runs the tests.
# Needs no display and no sound server: every test that needs a desktop starts
# its own private one (Xvfb, window manager, PulseAudio). The user's display
# and sound server are hidden from the tests.
#
#   GS_TEST_JOBS=N   tests to run at once (default: number of processors)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

start="$(gs_now)"
gs_install_packages
install_time="$(gs_seconds_since "$start")"
gs_say "== install: ${install_time} s"

start="$(gs_now)"
gs_build all
build_time="$(gs_seconds_since "$start")"
gs_say "== build: ${build_time} s"

# Nothing the tests start may reach the user's own display or sound server.
unset DISPLAY WAYLAND_DISPLAY XAUTHORITY PULSE_SERVER PULSE_COOKIE
isolated="$(mktemp -d /tmp/gs-test-env-XXXXXX)"
trap 'rm -rf "$isolated"' EXIT
printf 'autospawn = no\n' > "$isolated/client.conf"
chmod 0700 "$isolated"
[ -n "$(gs_owner)" ] && chown "$(gs_owner)" "$isolated" "$isolated/client.conf"
export XDG_RUNTIME_DIR="$isolated" PULSE_CLIENTCONFIG="$isolated/client.conf"

start="$(gs_now)"
status=0
gs_as_owner ctest --test-dir "$GS_BUILD" --output-on-failure --no-tests=error \
  -j "${GS_TEST_JOBS:-$GS_JOBS}" --timeout 900 || status=$?
tests_time="$(gs_seconds_since "$start")"
gs_say "== tests: ${tests_time} s"

# The same code again under the sanitizers, on a representative subset (see
# the README), and a short run of every fuzz target.
supp="$GS_ROOT/tests/sanitizers"
export GS_SOAK_RUNS="${GS_SOAK_RUNS_SANITIZED:-3}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$supp/lsan.supp:print_suppressions=0"
export TSAN_OPTIONS="suppressions=$supp/tsan.supp:print_suppressions=0"
start="$(gs_now)"
gs_sanitized_pass address \
  "core_services_test stage_window_test stage_timer_test show_layout_test show_runner soak_test pictures_decode_test music_format_test music_playback_test canvas_test" \
  '^(core_services_test|stage_window_test|stage_timer_test|show_layout_test_1920x1080|soak_test|pictures_decode_test|music_format_test|music_playback_test|canvas_test)$' ||
  status=1
gs_sanitized_pass thread "stage_timer_test show_runner soak_test music_playback_test" \
  '^(stage_timer_test|soak_test|music_playback_test)$' || status=1
sanitizers_time="$(gs_seconds_since "$start")"
gs_say "== sanitizers: ${sanitizers_time} s"

start="$(gs_now)"
gs_fuzz_smoke || status=1
fuzz_time="$(gs_seconds_since "$start")"
gs_say "== fuzz smoke: ${fuzz_time} s"

gs_say "== phases: install ${install_time} s, build ${build_time} s, tests ${tests_time} s," \
  "sanitizers ${sanitizers_time} s, fuzz smoke ${fuzz_time} s"
exit "$status"
