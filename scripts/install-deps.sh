#!/usr/bin/env bash
# Installs (as root, from Debian's packages) whatever the build, the tests and the demo need and is missing.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev
    libgtest-dev libgmock-dev googletest libbenchmark-dev
    libsndfile1-dev libmpg123-dev libcurl4-openssl-dev locales
    libcairo2-dev librsvg2-dev libfreetype-dev libx11-dev fonts-roboto-unhinted
    sox libsox-fmt-mp3 python3 xvfb xauth
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

echo "installing: ${missing[*]}" >&2
if [ "$(id -u)" -ne 0 ]; then
    echo "install-deps: run as root to install the missing packages" >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
