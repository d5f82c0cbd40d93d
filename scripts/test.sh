#!/usr/bin/env bash
# Installs what the tests need (on Debian, as root), builds the simulated
# platform with warnings as errors, and runs the whole test suite.
# Elsewhere (macOS) nothing is installed: the packages come from the system's
# own package manager first (README, "Set up"), and PANOCTL_WERROR=OFF builds
# with warnings not treated as errors.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(g++ cmake make nlohmann-json3-dev libtomlplusplus-dev libgtest-dev python3 python3-jsonschema mandoc zsh pkg-config)
if command -v dpkg >/dev/null 2>&1; then
    if ! dpkg -s "${packages[@]}" >/dev/null 2>&1; then
        apt-get update -qq
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${packages[@]}"
    fi
else
    echo "test.sh: not a Debian system, installing nothing"
fi

jobs=$(getconf _NPROCESSORS_ONLN)
cmake -S . -B build -DPANOCTL_PLATFORM=sim -DPANOCTL_TESTS=ON -DPANOCTL_WERROR="${PANOCTL_WERROR:-ON}" \
    -DBUILD_SHARED_LIBS=ON
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"
