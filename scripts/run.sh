#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds and installs the release preset into
# build/install, shows the home-screen widget for the default preferences location
# through the widget host, and writes the gallery of every picture of the widget and
# the Live Activity into build/gallery (replacing the gallery's own files there).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh release
cmake --install build/release >/dev/null
host=build/install/bin/widget-host
"$host" timeline
echo
index="$("$host" gallery --output "$PWD/build/gallery" --force)"
echo "widget-host is installed at $host; try '$host --help'."
echo "The gallery of the widget and the Live Activity: file://$index"
