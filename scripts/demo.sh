#!/usr/bin/env bash
# The main job: learn a target from a reference file and render an audio file toward it.
# Makes with sox the files it is not given (a bright reference, a dull and boomy input), then runs the stand-in host.
#   scripts/demo.sh [REFERENCE [INPUT [OUTPUT]]]     (WAV, AIFF, FLAC or MP3; OUTPUT's extension chooses its format,
#                                                     and without one it takes the input's)
set -euo pipefail
# Relative names are taken from the folder the demo is run from, before it moves to the repository root.
absolute() { case "$1" in /*) printf '%s\n' "$1" ;; *) printf '%s\n' "$PWD/$1" ;; esac; }
given=()
for file in "$@"; do given+=("$(absolute "$file")"); done
set -- "${given[@]}"
cd "$(dirname "$0")/.."
# Every failure ends with a line saying what stopped the demo, also where the failing command printed nothing.
trap 'status=$?; echo "demo: stopped: \"$BASH_COMMAND\" failed with exit status $status" >&2' ERR

bash scripts/install-deps.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j "$(nproc)" --target aubrevane-host Aubrevane

demo=build/demo
mkdir -p "$demo"
reference=${1:-$demo/reference.wav}
input=${2:-$demo/input.wav}
output=${3:-$demo/output.wav}
# 20 s of pink noise each, stereo 48 kHz: the reference leans bright, the input dark and boomy.
if [ $# -lt 1 ]; then
    sox -q -n -r 48000 -c 2 -b 24 "$reference" synth 20 pinknoise gain -18 treble +6 4000 bass -3 150
fi
if [ $# -lt 2 ]; then
    sox -q -n -r 48000 -c 2 -b 24 "$input" synth 20 pinknoise gain -18 bass +8 150 treble -6 6000
fi
for file in "$reference" "$input"; do
    [ -f "$file" ] || { echo "demo: $file does not exist" >&2; exit 1; }
done

# The demo keeps its user folders beside the build, so it never touches the user's own presets and targets.
export XDG_DATA_HOME=${XDG_DATA_HOME:-$PWD/$demo/data}
build/aubrevane-host render "$input" "$output" --reference "$reference" --set Amount=100
echo "demo: learned $reference, rendered $input -> $output"

# A coarse look at the balance, measured with sox (which reads MP3 through libsox-fmt-mp3, as render reads it through
# libsndfile): RMS level in four frequency regions.
echo "RMS dB per region:      60-200 Hz  200-800 Hz  0.8-3.2 kHz  3.2-12 kHz"
for file in "$reference" "$input" "$output"; do
    levels=""
    for region in 60-200 200-800 800-3200 3200-12000; do
        levels+=$(sox "$file" -n remix - sinc "$region" stats 2>&1 | awk '/RMS lev dB/ { printf "%12s", $4 }')
    done
    printf "%-22s%s\n" "$(basename "$file")" "$levels"
done
