#!/usr/bin/env bash
# Sets everything up on a fresh Debian machine, builds Tarvis and runs the
# main job: the command-line host on its built-in demonstration.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
scripts/build.sh release
if [ -x build/tools/tarvis ]; then
  exec build/tools/tarvis demo "$@"
fi
exec build/tarvis_hello
