#!/usr/bin/env bash
# Runs a Windows program under Wine, quietly and without the Mono and Gecko install
# prompts, in the prefix named by WINEPREFIX (a prefix of its own under /tmp otherwise,
# created on first use). Also the emulator through which CTest runs the Windows build.
set -euo pipefail

export WINEPREFIX=${WINEPREFIX:-/tmp/vok-wine-$(id -u)}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
export WINEARCH=win64

exec wine "$@"
