#!/usr/bin/env bash
# Makes docs/scenes/stepNN.png, one picture of each 3D scene, with vorna-scene
# in virtual time (5 ms a frame, seed 1), so the same frames come out on every
# run. A frame number K is K x 5 ms into the scene; "end" is the scene's own
# last frame, for the scenes whose sharp last frame is their best.
# usage: shoot_scenes.sh path/to/vorna-scene [docs/scenes]
set -eu
tool="$1"
out="${2:-$(dirname "$0")/../../docs/scenes}"
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
shots="3:1600 4:1600 5:end 8:3200 9:600 10:1000 14:400 15:1000 16:1000 17:600 18:1600 19:400 20:600 21:end"
for pair in $shots; do
  step=${pair%%:*}
  frame=${pair#*:}
  if [ "$frame" = end ]; then
    limit=()
  else
    # One frame more: the banner is left out of a scene's last frame.
    limit=(--frames $((frame + 1)))
  fi
  SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy \
    "$tool" --quiet-audio --virtual 5 "${limit[@]}" --shot "$frame" "$work/$step.bmp" "$step" >/dev/null
  ffmpeg -loglevel error -y -i "$work/$step.bmp" -vf scale=400:300:flags=area "$out/$(printf 'step%02d' "$step").png"
  echo "step $step: frame $frame"
done
