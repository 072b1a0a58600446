#!/usr/bin/env bash
# How well `vexillo-cli similar` finds what icon makers do to an icon: the
# first icon of each of 15 modules of FOLDER whose icon has 32- and 48-pixel
# 32-bit images is altered with ImageMagick into four variants, each an .ico
# file of one image:
#   resize   the 48-pixel image resized to 40 pixels;
#   colour   the 32-pixel image a little brighter, paler and of shifted hue;
#   border   the 32-pixel image in a 1-pixel black border (34 pixels), its
#            transparent pixels kept;
#   palette  the 48-pixel image reduced to 256 colours and its alpha to a
#            mask (8 bits a pixel).
# The 60 variants are mixed among up to 300 other icons (FOLDER's other
# icons, then those of OTHER, searched like 'scan'), and each original is
# looked for among them. Prints, for each kind of variant, for how many of
# the 15 it is found, and how many of the first three results of all
# searches are not a variant of the icon looked for.
# Usage: bench/similar_variants.sh VEXILLO-CLI FOLDER [OTHER...]
# (FOLDER: Wine's modules, /usr/lib/x86_64-linux-gnu/wine/x86_64-windows;
# OTHER: for instance ../shared/corpus.)
set -euo pipefail
cli=$1
folder=$2
shift 2
command -v convert >/dev/null || { echo "ImageMagick's convert is missing (scripts/install-deps.sh)" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/icons" "$work/others" "$work/set" "$work/png"
"$cli" extract "$folder" --out "$work/icons" 2>/dev/null || true
[ $# -eq 0 ] || "$cli" extract "$@" --out "$work/others" 2>/dev/null || true

# The index of an icon's WIDTHxWIDTH 32-bit image, as 'images' counts.
image_of() { "$cli" images "$1" | awk -v w="$2" '$2 == w && $3 == w && $4 == 32 { print $1; exit }'; }

kinds=(resize colour border palette)
targets=()
declare -A taken
for icon in "$work"/icons/*.ico; do
    name=$(basename "$icon")
    module=${name%%_*}
    if [ -n "${taken[$module]:-}" ] || [ ${#targets[@]} -eq 15 ]; then continue; fi
    taken[$module]=1
    i32=$(image_of "$icon" 32)
    i48=$(image_of "$icon" 48)
    if [ -z "$i32" ] || [ -z "$i48" ]; then continue; fi
    t=${#targets[@]}
    targets+=("$name")
    "$cli" png "$icon" "$i32" "$work/png/$t-32.png"
    "$cli" png "$icon" "$i48" "$work/png/$t-48.png"
    convert "$work/png/$t-48.png" -resize 40x40 "$work/set/$t-resize.ico"
    convert "$work/png/$t-32.png" -modulate 105,80,110 "$work/set/$t-colour.ico"
    convert "$work/png/$t-32.png" -compose Copy -bordercolor black -border 1 "$work/set/$t-border.ico"
    convert "$work/png/$t-48.png" -channel A -threshold 50% +channel -colors 256 "$work/set/$t-palette.ico"
done
[ ${#targets[@]} -eq 15 ] || { echo "only ${#targets[@]} icons with 32- and 48-pixel images in $folder" >&2; exit 2; }

# The others: FOLDER's other icons, then OTHER's, up to 300.
others=0
for icon in "$work"/icons/*.ico "$work"/others/*.ico; do
    if [ ! -e "$icon" ] || [ $others -eq 300 ]; then continue; fi
    for target in "${targets[@]}"; do [ "$(basename "$icon")" = "$target" ] && continue 2; done
    cp "$icon" "$work/set/other-$((others += 1)).ico"
done

declare -A found
false_matches=0
for t in "${!targets[@]}"; do
    results=$("$cli" similar "$work/icons/${targets[$t]}" "$work/set" 2>/dev/null | cut -f2) || true
    for kind in "${kinds[@]}"; do
        grep -qx "$work/set/$t-$kind.ico" <<<"$results" && found[$kind]=$((${found[$kind]:-0} + 1))
    done
    false_matches=$((false_matches + $(head -n3 <<<"$results" | grep -cv "^$work/set/$t-" || true)))
done
line="15 icons among $others others: found"
for kind in "${kinds[@]}"; do line+=" $kind ${found[$kind]:-0}/15"; done
echo "$line; false matches in the first three: $false_matches"
