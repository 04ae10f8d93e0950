#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds the dev preset (warnings as errors) and
# runs every test. Exits non-zero when anything fails.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --test
scripts/build.sh dev
ctest --preset dev -j "$(nproc 2>/dev/null || echo 2)"
