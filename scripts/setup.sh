#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, if missing.
set -u

required=(cmake ninja-build g++ clang libclang-rt-14-dev googletest libgtest-dev libbenchmark-dev abcmidi)
# abcmidi writes the default song's MIDI files for the installation folder.
# Third-party plug-ins for the host compatibility test, LilyPond for an import
# test, the formant tracker of the measurement scripts (praat); the tests skip
# without them.
optional=(dpf-plugins-vst lilypond praat)

missing() {
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || echo "$p"
  done
}

need=$(missing "${required[@]}")
want=$(missing "${optional[@]}")
[ -z "$need$want" ] && exit 0

sudo=""
if [ "$(id -u)" != 0 ]; then
  if command -v sudo >/dev/null; then sudo="sudo"; else
    [ -n "$need" ] && { echo "setup: please install: $need" >&2; exit 1; }
    echo "setup: optional packages not installed: $want" >&2; exit 0
  fi
fi

export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq >/dev/null || true
if [ -n "$need" ]; then
  echo "setup: installing $need"
  $sudo apt-get install -y -qq $need >/dev/null || { echo "setup: could not install: $need" >&2; exit 1; }
fi
if [ -n "$want" ]; then
  echo "setup: installing $want"
  $sudo apt-get install -y -qq $want >/dev/null || echo "setup: optional packages not installed: $want" >&2
fi
exit 0
