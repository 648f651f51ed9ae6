#!/usr/bin/env bash
# The Windows program draws the Linux program's picture: the same scene and size, one sample
# a pixel, each written as a PNG and compared pixel by pixel. Both draw on Mesa's llvmpipe;
# the Windows one through Wine. A wrong light, material or texture changes most of the
# picture; the first frame a context draws whole differs from one drawn over the still parts
# kept (the way Windows draws every frame) in some 150 edge pixels, so up to 1 in 1000 (250
# of 500x500) may differ, and not by much.
# The Windows program runs as a user has it: unpacked from its zip, in a folder of its own,
# with the backdrop picture found beside it rather than in the working folder.
# Usage: render_matches.sh LINUX_LUMETTA WINE_SH PREFIX WINDOWS_ZIP ASSETS_DIR
set -euo pipefail
linux=$1 wine=$2 prefix=$3 zip=$4 assets=$5
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 -m zipfile -e "$zip" "$work/unpacked"
exe=$work/unpacked/Lumetta/lumetta.exe
mkdir "$work/here"
cd "$work/here"
for options in "--samples 1" "--samples 1 --pattern 3 --frames 7 --yaw 20 --transparent"; do
  # shellcheck disable=SC2086
  (cd "$assets" && "$linux" --render "$work/here/linux.png" $options)
  # shellcheck disable=SC2086
  bash "$wine" run "$prefix" "$exe" --render windows.png $options
  differ=$(compare -metric AE linux.png windows.png null: 2>&1 || true)
  worst=$(compare -metric PAE linux.png windows.png null: 2>&1 | sed 's/.*(\(.*\))/\1/' || true)
  echo "render_matches: $options: $differ pixels differ, the most by $worst of full scale"
  if ! [[ $differ =~ ^[0-9]+$ ]] || [ "$differ" -gt 250 ]; then
    echo "render_matches: FAIL: more than 250 pixels differ" >&2
    exit 1
  fi
done
