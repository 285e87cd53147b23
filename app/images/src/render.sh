#!/usr/bin/env bash
# Renders the 16x16 icons of the program from their sources here into
# app/images/. Run after editing a source; the build uses the PNGs only.
set -euo pipefail
cd "$(dirname "$0")"
for src in *.svg; do
    rsvg-convert -w 16 -h 16 "$src" -o "../${src%.svg}.png"
done
