#!/usr/bin/env bash
# Installs what the tests need (Debian, as root), builds the simulated
# platform with warnings as errors, and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(g++ cmake make nlohmann-json3-dev libgtest-dev python3 python3-jsonschema mandoc zsh)
if ! dpkg -s "${packages[@]}" >/dev/null 2>&1; then
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${packages[@]}"
fi

cmake -S . -B build -DPANOCTL_PLATFORM=sim -DPANOCTL_TESTS=ON -DPANOCTL_WERROR=ON
cmake --build build -j"$(nproc)"
ctest --test-dir build --output-on-failure -j"$(nproc)"
