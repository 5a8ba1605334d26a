#!/usr/bin/env bash
# Draws the tray icon's three pictures (created, starting, listening) as SVG and as
# PNG at 16, 24, 32 and 48 pixels from one set of shapes, into proxy/host/tray/icons/.
# Needs ImageMagick (imagemagick). The results are committed; run it after a change here.
set -euo pipefail
cd "$(dirname "$0")/.."
out=proxy/host/tray/icons
mkdir -p "$out"
# The shapes on a 48 x 48 grid: a ring in the role's colour and a white funnel.
funnel="12,14 36,14 27.5,25 27.5,35 20.5,38.5 20.5,25"
ring="#1b2630"
declare -A fill=([created]="#8d949c" [starting]="#e3a21a" [listening]="#2f9e51")
for role in created starting listening; do
  # The created picture shows the funnel as an outline: nothing filters yet.
  if [ "$role" = created ]; then funnelFill=none; funnelStroke=white; else funnelFill=white; funnelStroke=none; fi
  cat > "$out/zpf-$role.svg" <<SVG
<svg xmlns="http://www.w3.org/2000/svg" width="48" height="48" viewBox="0 0 48 48">
  <circle cx="24" cy="24" r="21.5" fill="${fill[$role]}" stroke="$ring" stroke-width="3"/>
  <polygon points="$funnel" fill="$funnelFill" stroke="$funnelStroke" stroke-width="3" stroke-linejoin="round"/>
</svg>
SVG
  # Drawn 8 times larger and scaled down, so the small sizes stay smooth.
  big=$(echo "$funnel" | awk '{for (i = 1; i <= NF; i++) { split($i, p, ","); printf "%s%g,%g", (i > 1 ? " " : ""), p[1] * 8, p[2] * 8 }}')
  for size in 16 24 32 48; do
    /usr/bin/convert -size 384x384 xc:none \
      -fill "${fill[$role]}" -stroke "$ring" -strokewidth 24 -draw "circle 192,192 192,22" \
      -fill "$funnelFill" -stroke "$funnelStroke" -strokewidth 24 -draw "polygon $big" \
      -filter Lanczos -resize "${size}x${size}" -strip "PNG32:$out/zpf-$role-$size.png"
  done
done
ls "$out"
