#!/usr/bin/env bash
# Draws Quenby's own artwork with ImageMagick: the main window's banner, the
# 32 x 32 window icon (both also at twice the size, for screens of twice the
# density) and the menu icons (32, 48, 64, 128 and a scalable SVG).
# All pictures come from the shapes defined once below; run it again after
# changing them and commit the results. Needs ImageMagick (convert) and the
# DejaVu Serif face (fonts-dejavu-core) for the word mark.
#
#   tools/make-artwork.sh
set -euo pipefail
cd "$(dirname "$0")/.."

APP_ID=jp.tarven.Quenby
ART=src/main_window/art
ICONS=data/icons/hicolor
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# --- The icon -----------------------------------------------------------------
# A dusk tile (night blue fading to a low evening sun) carrying a power sign:
# the day's work is done, the machine goes to rest. Drawn on a 512 grid.
TILE_TOP='#1a2256'
TILE_MIDDLE='#8c4f8e'
TILE_BOTTOM='#f29150'
SIGN='#fff7ea'
# The sign's open ring: centre (256,280), radius 128, open 35 degrees either side of the top.
RING_PATH='M 329.4,175.2 A 128,128 0 1 1 182.6,175.2'
BAR_PATH='M 256,112 L 256,262'
SIGN_WIDTH=46

write_svg() {
    cat > "$1" <<SVG
<?xml version="1.0" encoding="UTF-8"?>
<svg xmlns="http://www.w3.org/2000/svg" width="512" height="512" viewBox="0 0 512 512">
  <defs>
    <linearGradient id="dusk" x1="0" y1="0" x2="0" y2="1">
      <stop offset="0" stop-color="${TILE_TOP}"/>
      <stop offset="0.5" stop-color="${TILE_MIDDLE}"/>
      <stop offset="1" stop-color="${TILE_BOTTOM}"/>
    </linearGradient>
  </defs>
  <rect x="16" y="16" width="480" height="480" rx="100" ry="100" fill="url(#dusk)"/>
  <g fill="none" stroke="${SIGN}" stroke-width="${SIGN_WIDTH}" stroke-linecap="round">
    <path d="${RING_PATH}"/>
    <path d="${BAR_PATH}"/>
  </g>
</svg>
SVG
}

draw_icon_master() {
    convert -size 512x256 "gradient:${TILE_TOP}-${TILE_MIDDLE}" \
        -size 512x256 "gradient:${TILE_MIDDLE}-${TILE_BOTTOM}" -append -alpha set \
        \( -size 512x512 xc:none -fill white -draw "roundrectangle 16,16 495,495 100,100" \) \
        -compose DstIn -composite -compose Over \
        -fill none -stroke "$SIGN" -strokewidth "$SIGN_WIDTH" \
        -draw "stroke-linecap round path '${RING_PATH}'" \
        -draw "stroke-linecap round path '${BAR_PATH}'" \
        "PNG32:$1"
}

write_icon_sizes() {
    local master=$1 size
    for size in 32 48 64 128; do
        mkdir -p "$ICONS/${size}x${size}/apps"
        convert "$master" -filter Lanczos -resize "${size}x${size}" -strip \
            "PNG32:$ICONS/${size}x${size}/apps/${APP_ID}.png"
    done
    mkdir -p "$ICONS/scalable/apps"
    write_svg "$ICONS/scalable/apps/${APP_ID}.svg"
    cp "$ICONS/32x32/apps/${APP_ID}.png" "$ART/icon.png"
    cp "$ICONS/64x64/apps/${APP_ID}.png" "$ART/icon@2x.png"
}

# --- The banner ---------------------------------------------------------------
# 289 x 145, an evening sky: dark at the top, where the green status line sits,
# warming to a pale glow at the bottom, where the dark-red version and credit
# lines sit. The sun sets right behind the icon in the middle. Stars and the
# word mark stay clear of the text lines painted over the banner:
#   status (32,8 233x17), icon (128,64 32x32), version (144,96), credit (32,112 233x28).
# Every figure below is in the banner's pixels and multiplied by SCALE, so the
# banner for screens of twice the density is drawn, not enlarged.
BANNER_W=289
BANNER_H=145
STARS=(6,9 18,31 11,52 24,6 270,12 281,35 275,55 262,4 40,34 247,38 54,47 232,50 3,72 285,76)
SCALE=1

# A length in the banner's pixels, at the scale being drawn.
s() { awk -v n="$1" -v s="$SCALE" 'BEGIN { print n * s }'; }

draw_sky() {
    convert -size "$(s $BANNER_W)x$(s 54)" gradient:'#040920-#1b1d4f' "$work/sky1.png"
    convert -size "$(s $BANNER_W)x$(s 36)" gradient:'#1b1d4f-#e49a8c' "$work/sky2.png"
    convert -size "$(s $BANNER_W)x$(s 55)" gradient:'#eaa892-#fdf4e8' "$work/sky3.png"
    convert "$work/sky1.png" "$work/sky2.png" "$work/sky3.png" -append "$work/sky.png"
}

draw_sun_glow() {
    # A soft warm disc, added on top of the sky around the icon.
    convert -size "$(s 300)x$(s 300)" radial-gradient:'#ffd9a8-black' -resize "$(s 300)x$(s 170)!" "$work/glow.png"
    convert "$work/sky.png" \( "$work/glow.png" \) -geometry "-$(s 6)+$(s 24)" -compose Screen -composite \
        "$work/sky-glow.png"
}

draw_stars() {
    local args=() star x y
    for star in "${STARS[@]}"; do
        x=$(s "${star%,*}")
        y=$(s "${star#*,}")
        args+=(-draw "circle $x,$y $((x + SCALE)),$y")
    done
    convert "$work/sky-glow.png" -fill '#fff3d6' -stroke none "${args[@]}" "$work/sky-stars.png"
}

draw_word_mark() {
    # The product name, letter-spaced, with a faint halo so it lifts off the sky.
    local type=(-font DejaVu-Serif -pointsize "$(s 22)" -kerning "$(s 3)")
    convert "$work/sky-stars.png" \
        \( -size "$(s $BANNER_W)x$(s $BANNER_H)" xc:none "${type[@]}" \
           -fill '#ffcf9e' -gravity North -annotate "+0+$(s 28)" 'Quenby' -blur "0x$(s 2.5)" \) \
        -compose Over -composite \
        "${type[@]}" -fill '#fff6ea' -gravity North \
        -annotate "+0+$(s 28)" 'Quenby' \
        -gravity NorthWest -fill none -stroke '#e7b48f' -strokewidth "$(s 1)" \
        -draw "line $(s 78),$(s 59) $(s 128),$(s 59)" -draw "line $(s 160),$(s 59) $(s 210),$(s 59)" \
        "$work/banner.png"
}

write_banner() {
    # Baseline JFIF, three colour components, 96 dots per inch (192 at twice the size).
    convert "$work/banner.png" -strip -type TrueColor -colorspace sRGB -interlace none \
        -sampling-factor 1x1 -quality 95 -units PixelsPerInch -density "$(s 96)" \
        "JPEG:$1"
}

draw_banner() {
    SCALE=$1
    draw_sky
    draw_sun_glow
    draw_stars
    draw_word_mark
    write_banner "$2"
}

mkdir -p "$ART" "$ICONS"
draw_icon_master "$work/icon-512.png"
write_icon_sizes "$work/icon-512.png"
draw_banner 1 "$ART/banner.jpg"
draw_banner 2 "$ART/banner@2x.jpg"
echo "artwork written: $ART/banner.jpg $ART/banner@2x.jpg $ART/icon.png $ART/icon@2x.png" \
    "$ICONS/*/apps/${APP_ID}.*"
