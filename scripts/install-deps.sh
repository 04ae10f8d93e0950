#!/usr/bin/env bash
# Installs the Debian packages this project builds, tests and draws with.
# Idempotent: apt-get runs only when a package is missing.
#   scripts/install-deps.sh            build and run
#   scripts/install-deps.sh --test     also what the tests need
#   scripts/install-deps.sh --fuzz     also clang 14 and its libFuzzer runtime
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  libsimdjson-dev nlohmann-json3-dev libsqlite3-dev uuid-dev libxxhash-dev
  libutf8proc-dev libcli11-dev libgtest-dev libgmock-dev libbenchmark-dev
  libcairo2-dev libpango1.0-dev libdeflate-dev zlib1g-dev libpng-dev fonts-inter fonts-noto-ui-core fonts-ipafont-gothic
  libcpp-httplib-dev bolt-16
)
for option in "$@"; do
  case "$option" in
    --test)
      packages+=(sqlite3 python3 chromium libxml2-dev nodejs)
      # Debian's npm, unless the installed nodejs brings an npm of its own.
      command -v npm >/dev/null || packages+=(npm) ;;
    --fuzz) packages+=(clang-14 libclang-rt-14-dev) ;;
    *) echo "install-deps.sh: unknown option $option (use --test, --fuzz)" >&2; exit 2 ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]} == 0)); then
  exit 0
fi

echo "installing: ${missing[*]}" >&2
sudo_cmd=()
if [[ $(id -u) -ne 0 ]]; then sudo_cmd=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
