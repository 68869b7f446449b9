#!/usr/bin/env bash
# Times the aperlume command-line tool against the free tools people use instead (GEGL's lens blur,
# an OpenCV disc filter, ImageMagick's convert) on one generated image. Not part of the test command,
# so it installs its peers itself (Debian, as root). Options: bench/compare_peers.py --help.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

missing=()
for p in gegl python3-opencv python3-numpy imagemagick time; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "compare_peers: installing ${missing[*]}" >&2
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Debian's interpreter on purpose: python3-opencv and python3-numpy live there, not in a pyenv one.
exec /usr/bin/python3 "$here/compare_peers.py" "$@"
