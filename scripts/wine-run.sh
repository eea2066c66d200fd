#!/usr/bin/env bash
# Test emulator for the cross-compiled binaries: runs one Windows program under Wine.
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh" 2>/dev/null
qv_wine_prefix
exec env LC_ALL=ja_JP.UTF-8 wine "$@"
