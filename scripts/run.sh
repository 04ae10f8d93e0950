#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds and installs the release preset, and shows
# the home-screen widget's timeline for the default preferences location.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh release
cmake --install build/release >/dev/null
build/release/examples/print_timeline
