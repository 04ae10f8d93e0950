#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds and installs the release preset into
# build/install, and shows the home-screen widget for the default preferences location
# through the widget host.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh release
cmake --install build/release >/dev/null
host=build/install/bin/widget-host
"$host" timeline
echo
echo "widget-host is installed at $host; try '$host --help'."
