#!/usr/bin/env bash
# Installs what building and testing Tarvis needs on a Debian machine, when it
# is missing. Safe to run again.
set -euo pipefail

need=()
command -v cmake >/dev/null 2>&1 || need+=(cmake)
command -v g++ >/dev/null 2>&1 || need+=(g++)
command -v ninja >/dev/null 2>&1 || need+=(ninja-build)
command -v nm >/dev/null 2>&1 || need+=(binutils)
command -v python3 >/dev/null 2>&1 || need+=(python3)
[ -f /usr/include/gtest/gtest.h ] || need+=(libgtest-dev)
# The Python package: Debian's interpreter headers, pybind11 and pytest.
[ -x /usr/bin/python3 ] || need+=(python3)
[ -f /usr/bin/python3-config ] || need+=(python3-dev)
[ -f /usr/lib/cmake/pybind11/pybind11Config.cmake ] || need+=(pybind11-dev)
/usr/bin/python3 -c 'import pybind11' >/dev/null 2>&1 || need+=(python3-pybind11)
/usr/bin/python3 -c 'import pytest' >/dev/null 2>&1 || need+=(python3-pytest)
# GNU parallel: the README's recipe for building partitions in parallel, and
# the test of that recipe.
command -v parallel >/dev/null 2>&1 || need+=(parallel)

if [ ${#need[@]} -gt 0 ]; then
  echo "installing: ${need[*]}"
  if [ "$(id -u)" -eq 0 ]; then
    sudo=""
  else
    sudo="sudo"
  fi
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${need[@]}"
fi
