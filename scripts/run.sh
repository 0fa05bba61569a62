#!/usr/bin/env bash
# Installs what is needed and builds. The export demo is added with the export run.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
./scripts/build.sh
