#!/usr/bin/env bash
# Runs a command on a fresh Xvfb screen managed by openbox: with-wm.sh openbox.
#   with-openbox.sh <command> [arguments...]
exec "$(dirname "$0")/with-wm.sh" openbox "$@"
