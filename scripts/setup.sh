#!/usr/bin/env bash
# Installs the Debian packages greeting-show needs (only those missing) and
# builds it with CMake into build/.
#
#   scripts/setup.sh [TARGET...]    build the given targets (default: all)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

gs_install_packages
gs_build "$@"
