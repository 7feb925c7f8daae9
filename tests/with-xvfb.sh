#!/usr/bin/env bash
# Runs the given command under a private Xvfb display (1280 x 1024, 24 bit).
set -euo pipefail
exec xvfb-run --auto-servernum --server-args="-screen 0 1280x1024x24 -nolisten tcp" "$@"
