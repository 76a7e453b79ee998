#!/bin/sh
# Makes the pictures of the production's look that docs/ and the README show:
#   docs/contact-sheet.jpg   one row per 3D step: four frames of a recording of
#                            that step (at a quarter, half, three quarters and
#                            the end of it) and the step's model on its own
#   docs/scenes/stepNN.png   the three-quarter frame of each 3D step, 400x300;
#                            the last frame for steps 5 and 21, which blur
#                            every frame but their sharp last one
#   docs/models/NAME.png     each model on its own, 400x300
#
#   tools/contact-sheet/make-contact-sheet.sh [BUILD_DIR] [DOCS_DIR]
#
# With STEPS set (say STEPS="4 5 14") only those steps are recorded, for a
# quick before-and-after look at a few of them; the sheet then holds just
# their rows.
#
# BUILD_DIR (default build/native) must hold vorna-record and vorna-view.
# Needs ImageMagick (convert). Recordings use vorna-record's fixed seed, so a
# second run paints the same frames.
set -eu
build=${1:-build/native}
docs=${2:-docs}
record=$build/tools/vorna-record/vorna-record
view=$build/tools/vorna-view/vorna-view
for tool in "$record" "$view"; do
    [ -x "$tool" ] || { echo "make-contact-sheet: no $tool (build it first)" >&2; exit 1; }
done
command -v convert >/dev/null || { echo "make-contact-sheet: needs ImageMagick's convert" >&2; exit 1; }
mkdir -p "$docs/scenes" "$docs/models"
# No time stamps in the PNG files, so a picture that did not change keeps its bytes.
stamp="-define png:exclude-chunks=date,time"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Each model on its own: pattern, file name, colour, rotation, position, extra switch.
models="sphere sphere FFFFFF 0.3,0.5,0 0,0,450 -
glob glob FFFFFF 0.3,0.5,0 0,0,0 -
OCTO octopus 0066FF -1.3,3.74,-0.01 60,110,-700 -
magnolia magnolia FFFFFF 0.25,-2.3,0 0,60,300 --per-face-color
cow cow 00AAAA 0.2,-0.7,0 0,0,300 -
SPRING spring 00AAAA 0.3,0.5,0 0,0,-350 -
teddy teddy FFBB00 0.2,0.4,0 0,0,350 -"
echo "$models" | while read -r pattern name color rotation position extra; do
    [ "$extra" = - ] && extra=
    # shellcheck disable=SC2086
    "$view" "$pattern" --color "$color" --rotate "$rotation" --position "$position" $extra \
        -o "$work/$name.png" >/dev/null
    # shellcheck disable=SC2086
    convert "$work/$name.png" -resize 400x300 $stamp "$docs/models/$name.png"
done

# The 3D steps and the model each one shows.
steps="3 sphere
4 glob
5 octopus
8 magnolia
9 magnolia
10 magnolia
14 cow
15 cow
16 cow
17 spring
18 teddy
19 teddy
20 teddy
21 teddy"
if [ -n "${STEPS:-}" ]; then
    steps=$(echo "$steps" | while read -r step name; do
        case " $STEPS " in *" $step "*) echo "$step $name" ;; esac
    done)
fi
rows=""
echo "$steps" > "$work/steps"
while read -r step name; do
    dir=$work/s$step
    "$record" --from "$step" --to "$step" -r 8 --frames -o "$dir.mp4" > "$work/log$step" 2>&1
    frames=$(sed -n "s/^scene $step: \([0-9]*\) frames.*/\1/p" "$work/log$step")
    [ -n "$frames" ] || { echo "make-contact-sheet: step $step recorded nothing" >&2; cat "$work/log$step" >&2; exit 1; }
    cells=""
    for quarter in 1 2 3 4; do
        index=$((frames * quarter / 4 - 1))
        [ "$index" -ge 0 ] || index=0
        cell=$work/cell$step-$quarter.png
        convert "$dir-frames/$(printf %06d "$index").ppm" -resize 200x150 "$cell"
        cells="$cells $cell"
        case " 5 21 " in *" $step "*) shown=4 ;; *) shown=3 ;; esac
        if [ "$quarter" = "$shown" ]; then
            # shellcheck disable=SC2086
            convert "$dir-frames/$(printf %06d "$index").ppm" -resize 400x300 $stamp "$docs/scenes/step$(printf %02d "$step").png"
        fi
    done
    convert -size 64x150 -background black -fill white -pointsize 28 -gravity center label:"$step" "$work/label$step.png"
    convert "$docs/models/$name.png" -resize 200x150 "$work/model$step.png"
    # shellcheck disable=SC2086
    convert "$work/label$step.png" $cells "$work/model$step.png" +append "$work/row$step.png"
    rm -rf "$dir-frames"
    rows="$rows $work/row$step.png"
    echo "$rows" > "$work/rows"
done < "$work/steps"
rows=$(cat "$work/rows")
heads=""
for title in step "a quarter" half "three quarters" end model; do
    width=200
    [ "$title" = step ] && width=64
    file=$work/head-$(echo "$title" | tr ' ' _).png
    convert -size ${width}x24 -background black -fill white -pointsize 16 -gravity center label:"$title" "$file"
    heads="$heads $file"
done
# shellcheck disable=SC2086
convert $heads +append "$work/head.png"
# shellcheck disable=SC2086
convert "$work/head.png" $rows -append -type TrueColor -quality 88 "$docs/contact-sheet.jpg"
echo "wrote $docs/contact-sheet.jpg, $docs/scenes/ and $docs/models/"
