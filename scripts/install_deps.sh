#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the model scripts need.
# Safe to run more than once: apt-get skips what is already there.
set -euo pipefail

packages=(
  build-essential cmake pkg-config python3
  libeigen3-dev libpcl-dev libopencv-dev libyaml-cpp-dev
  libspdlog-dev libfmt-dev libsystemd-dev
  libprotobuf-dev protobuf-compiler
  libgtest-dev libgmock-dev libbenchmark-dev
  python3-numpy python3-onnx python3-torch
)

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ "${#missing[@]}" -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
