#!/usr/bin/env bash
# Sets up and builds greeting-show, then plays the show on the current X display.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

no_display() {
  gs_say ""
  gs_say "greeting-show needs a running X11 desktop, and $1."
  gs_say "Run this command from a terminal inside your desktop session (on Wayland,"
  gs_say "XWayland provides the X display). Over SSH, use 'ssh -X' or set DISPLAY to"
  gs_say "a display you own. To build and test without any display, run scripts/test.sh."
  exit 2
}

if [ -z "${DISPLAY:-}" ]; then
  no_display "DISPLAY is not set"
fi

gs_install_packages
gs_build greeting-show

# The show must reach the desktop of the user who started it, also through sudo.
owner="$(gs_owner)"
env_args=(DISPLAY="$DISPLAY")
if [ -n "$owner" ]; then
  home="$(getent passwd "$owner" | cut -d: -f6)"
  uid="$(id -u "$owner")"
  env_args+=(HOME="$home" XAUTHORITY="${XAUTHORITY:-$home/.Xauthority}")
  [ -d "/run/user/$uid" ] && env_args+=(XDG_RUNTIME_DIR="/run/user/$uid")
fi

if ! gs_as_owner env "${env_args[@]}" timeout 10 xdpyinfo >/dev/null 2>&1; then
  no_display "the X display '$DISPLAY' does not answer"
fi

gs_say "Starting the show (about two and a half minutes; Esc ends it after the first minute)."
exec_owner=()
[ -n "$owner" ] && exec_owner=(runuser -u "$owner" --)
exec "${exec_owner[@]}" env "${env_args[@]}" "$GS_BUILD/greeting-show"
