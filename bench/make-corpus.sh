#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# make-corpus.sh - build the photo corpus for the batch-resizer benchmarks.
#
# Everything comes from Debian wallpaper packages fetched with `apt-get download`
# (no other network access). Idempotent: packages already downloaded/extracted and
# corpus files already present are reused; delete $CORPUS (or $SRC) to rebuild.
#
# Result:
#   $CORPUS/jpg/    20 real photographs, byte-identical to the packaged files
#                   (2056..6028 px long side, 4.1-20.4 MP, mixed baseline/progressive,
#                   4:2:0 / 4:2:2 / 4:4:4, q70..q100 as shipped)
#   $CORPUS/jpg12/  10 x 12 MP (4000x3000 or 3000x4000) versions of the largest real
#                   photos: centre-cropped to 4:3, ImageMagick -filter Lanczos resize,
#                   saved baseline, 4:2:0, quality 92 (the "camera/phone JPEG" case)
#   $CORPUS/png/    10 x 8-bit RGB PNGs, 2000 px long side, made from real photos
#                   (Lanczos downscale; zlib level 6 + adaptive filtering, i.e. what a
#                   typical PNG writer produces) - no real PNG photographs exist in the
#                   wallpaper packages (their PNGs are renders/illustrations)
#   $CORPUS/png-art/ 12 artwork PNGs (renders and illustrations from the same packages) at
#                   their shipped size: 8-bit RGB or RGBA files are copied byte for byte,
#                   others (grey-alpha) converted to 8-bit RGBA; several are transparent
#                   and several hold only a few hundred colours
#   $CORPUS/MANIFEST.tsv   dimensions, bytes, JPEG params, source, author, licence, sha256
#   $CORPUS/LICENSES/      debian/copyright of each package (+ KDE metadata.json)
#
# Needs: apt-get (after `apt-get update`), dpkg-deb, imagemagick (real /usr/bin/convert),
#        coreutils. Run as a user that may write $CORPUS and $SRC.
set -euo pipefail

CORPUS=${CORPUS:-/tmp/corpus}
SRC=${CORPUS_SRC:-/tmp/corpus-src}
# Use ImageMagick by absolute path: some machines put a different `convert` first in PATH.
IM_CONVERT=/usr/bin/convert
IM_IDENTIFY=/usr/bin/identify

for t in apt-get dpkg-deb "$IM_CONVERT" "$IM_IDENTIFY" sha256sum; do
  command -v "$t" >/dev/null 2>&1 || { echo "missing: $t (apt-get install -y imagemagick)" >&2; exit 1; }
done

PKGS=(lomiri-wallpapers-16.04 lomiri-wallpapers-20.04 plasma-workspace-wallpapers mate-backgrounds)

mkdir -p "$SRC/debs" "$SRC/x" "$CORPUS"/{jpg,jpg12,png,png-art,LICENSES}

# ---------------------------------------------------------------- fetch + extract
for p in "${PKGS[@]}"; do
  if ! ls "$SRC/debs/${p}"_*.deb >/dev/null 2>&1; then
    echo "downloading $p"
    (cd "$SRC/debs" && apt-get download "$p")
  fi
  deb=$(ls "$SRC/debs/${p}"_*.deb | sort | tail -1)
  if [ ! -e "$SRC/x/$p/.extracted" ]; then
    rm -rf "$SRC/x/$p"; mkdir -p "$SRC/x/$p"
    dpkg-deb -x "$deb" "$SRC/x/$p"
    touch "$SRC/x/$p/.extracted"
  fi
  cp -f "$SRC/x/$p/usr/share/doc/$p/copyright" "$CORPUS/LICENSES/$p.copyright"
  dpkg-deb -f "$deb" Version > "$SRC/x/$p/.version"
done

L16=lomiri-wallpapers-16.04/usr/share/backgrounds
L20=lomiri-wallpapers-20.04/usr/share/backgrounds
KDE=plasma-workspace-wallpapers/usr/share/wallpapers
MATE=mate-backgrounds/usr/share/backgrounds/mate

# Real photographs (chosen by eye: renders, illustrations and grayscale images excluded).
# name | path under $SRC/x | author | licence (from the package's debian/copyright;
#                                     KDE ones: debian/copyright says GPL-2+ for Files: *,
#                                     the wallpaper's metadata.json says LGPLv3)
JPG_LIST=$(cat <<EOF
01_kleiber|$L20/Kleiber_by_Lukas_Baubkus.jpg|Lukas Baubkus|CC-BY-SA-3.0
02_seeding|$L16/seeding_by_Clements_Engelhardt.jpg|Clemens Engelhardt|CC0-1.0
03_bridge|$L16/Bridge_by_Sander_Klootwijk.jpg|Sander Klootwijk|CC-BY-SA-4.0
04_sunset|$L16/sunset_by_Aitzol_Berasategi.jpg|Aitzol Berasategi|CC-BY-4.0
05_dragonfly|$L16/Dragonfly_by_Bolly.jpg|"Bolly"|CC-BY-SA-4.0
06_picosdeeuropa|$L16/picosdeeuropa_by_Aitzol_Berasategi.jpg|Aitzol Berasategi|CC-BY-4.0
07_life|$L16/life_by_Aitzol_Berasategi.jpg|Aitzol Berasategi|CC-BY-4.0
08_aitzgorri|$L16/aitzgorri_by_Aitzol_Berasategi.jpg|Aitzol Berasategi|CC-BY-4.0
09_friends|$L16/friends_by_Aitzol_Berasategi.jpg|Aitzol Berasategi|CC-BY-4.0
10_wine|$L16/Wine_by_Jakkub_Mede.jpg|Jakub Mede|CC-BY-4.0
11_fig|$L16/Picture_0B_by_freespace.jpg|Trevor "Freespace"|CC-BY-4.0
12_path|$KDE/Path/contents/images/2560x1600.jpg|Risto Saukonpää|GPL-2+ (debian/copyright) / LGPLv3 (metadata.json)
13_onestandsout|$KDE/OneStandsOut/contents/images/2560x1600.jpg|Risto Saukonpää|GPL-2+ (debian/copyright) / LGPLv3 (metadata.json)
14_colorfulcups|$KDE/ColorfulCups/contents/images/2560x1600.jpg|Dmitri Popov|GPL-2+ (debian/copyright) / LGPLv3 (metadata.json)
15_eveningglow|$KDE/EveningGlow/contents/images/2560x1600.jpg|Ian Hex|GPL-2+ (debian/copyright) / LGPLv3 (metadata.json)
16_fallenleaf|$KDE/FallenLeaf/contents/images/2560x1600.jpg|Martin Klapetek|GPL-2+ (debian/copyright) / LGPLv3 (metadata.json)
17_bythewater|$KDE/BytheWater/contents/images/2560x1600.jpg|Maciej Wiklo|GPL-2+ (debian/copyright) / LGPLv3 (metadata.json)
18_kite|$KDE/Kite/contents/images/2560x1600.jpg|Risto Saukonpää|GPL-2+ (debian/copyright) / LGPLv3 (metadata.json)
19_wood|$MATE/nature/Wood.jpg|Jean-François Fortin Tam|GPL-2+
20_twowings|$MATE/nature/TwoWings.jpg|Charles Barbin, Hylke Bons|GPL-2+
EOF
)

# 12 MP set: source name (from JPG_LIST) | target geometry
JPG12_LIST=$(cat <<'EOF'
01_kleiber|4000x3000
02_seeding|4000x3000
03_bridge|4000x3000
04_sunset|4000x3000
05_dragonfly|4000x3000
06_picosdeeuropa|4000x3000
07_life|4000x3000
08_aitzgorri|4000x3000
09_friends|3000x4000
10_wine|3000x4000
EOF
)

# PNG set: source name | long side
PNG_LIST=$(cat <<'EOF'
01_kleiber|2000
02_seeding|2000
03_bridge|2000
04_sunset|2000
05_dragonfly|2000
06_picosdeeuropa|2000
10_wine|2000
12_path|2000
14_colorfulcups|2000
15_eveningglow|2000
EOF
)

# Artwork PNGs: name | path under $SRC/x | author | licence (as for JPG_LIST)
ART_LIST=$(cat <<EOF
01_arccolors|$MATE/abstract/Arc-Colors-Transparent-Wallpaper.png|MATE developers|GPL-2+
02_flow|$MATE/abstract/Flow.png|Daniel Galleguillos, Hylke Bons|GPL-2+
03_gulp|$MATE/abstract/Gulp.png|Daniel Galleguillos, Hylke Bons|GPL-2+
04_silk|$MATE/abstract/Silk.png|Patryk Zawadzki|GPL-2+
05_spring|$MATE/abstract/Spring.png|Patryk Zawadzki|GPL-2+
06_waves|$MATE/abstract/Waves.png|Patryk Zawadzki|GPL-2+
07_floatintomate|$MATE/desktop/Float-into-MATE.png|François Vogelweith, Joseph Krieger|GPL-2+
08_matestripesdark|$MATE/desktop/MATE-Stripes-Dark.png|Adam Erdman|GPL-2+
09_stripes|$MATE/desktop/Stripes.png|Jakub Steiner|GPL-2+
10_cold|$MATE/desktop/Ubuntu-Mate-Cold-no-logo.png|Goce Mitevski|CC-BY-SA-4.0
11_flyingkonqui|$KDE/FlyingKonqui/contents/images/2560x1600.png|Timothée Giet|GPL-2+ (debian/copyright) / LGPLv3 (metadata.json)
12_cascade|$KDE/Cascade/contents/images/3840x2160.png|Ken Vermette|GPL-2+ (debian/copyright) / LGPLv3 (metadata.json)
EOF
)

src_of() { # name -> absolute source path
  local line; line=$(grep "^$1|" <<<"$JPG_LIST"); echo "$SRC/x/$(cut -d'|' -f2 <<<"$line")"
}

# ---------------------------------------------------------------- jpg: copies
while IFS='|' read -r name rel author lic; do
  [ -n "$name" ] || continue
  out="$CORPUS/jpg/$name.jpg"
  if [ ! -e "$out" ] || ! cmp -s "$SRC/x/$rel" "$out"; then
    cp -f "$SRC/x/$rel" "$out"
  fi
done <<<"$JPG_LIST"
for d in Path OneStandsOut ColorfulCups EveningGlow FallenLeaf BytheWater Kite; do
  cp -f "$SRC/x/$KDE/$d/metadata.json" "$CORPUS/LICENSES/kde-$d.metadata.json"
done

# ---------------------------------------------------------------- jpg12: 4000x3000 q92 4:2:0
while IFS='|' read -r name geo; do
  [ -n "$name" ] || continue
  out="$CORPUS/jpg12/${name}_${geo}.jpg"
  [ -s "$out" ] && continue
  w=${geo%x*}; h=${geo#*x}
  read -r sw sh < <("$IM_IDENTIFY" -format '%w %h\n' "$(src_of "$name")")
  # centre crop to the target aspect ratio, then Lanczos to exactly WxH
  if [ $((sw * h)) -gt $((sh * w)) ]; then cw=$((sh * w / h)); ch=$sh; else cw=$sw; ch=$((sw * h / w)); fi
  "$IM_CONVERT" "$(src_of "$name")" -auto-orient -gravity center -crop "${cw}x${ch}+0+0" \
      +repage -filter Lanczos -resize "${w}x${h}!" \
      -strip -sampling-factor 2x2,1x1,1x1 -interlace none -quality 92 "$out.tmp.jpg"
  mv "$out.tmp.jpg" "$out"
done <<<"$JPG12_LIST"

# ---------------------------------------------------------------- png: 2000 px, 8-bit RGB
while IFS='|' read -r name long; do
  [ -n "$name" ] || continue
  out="$CORPUS/png/${name}.png"
  [ -s "$out" ] && continue
  "$IM_CONVERT" "$(src_of "$name")" -auto-orient -filter Lanczos -resize "${long}x${long}" \
      -strip -depth 8 -define png:compression-level=6 -define png:compression-filter=5 \
      "PNG24:$out.tmp.png"
  mv "$out.tmp.png" "$out"
done <<<"$PNG_LIST"

# ---------------------------------------------------------------- png-art: 8-bit RGB/RGBA
while IFS='|' read -r name rel author lic; do
  [ -n "$name" ] || continue
  out="$CORPUS/png-art/$name.png"
  [ -s "$out" ] && continue
  kind=$("$IM_IDENTIFY" -format '%[png:IHDR.bit-depth-orig] %[png:IHDR.color-type-orig]\n' "$SRC/x/$rel" | head -1)
  case "$kind" in
    "8 2"|"8 6") cp -f "$SRC/x/$rel" "$out.tmp.png" ;;
    *) "$IM_CONVERT" "$SRC/x/$rel" -depth 8 "PNG32:$out.tmp.png" ;;
  esac
  mv "$out.tmp.png" "$out"
done <<<"$ART_LIST"
for d in FlyingKonqui Cascade; do
  cp -f "$SRC/x/$KDE/$d/metadata.json" "$CORPUS/LICENSES/kde-$d.metadata.json"
done

# ---------------------------------------------------------------- manifest
{
  printf 'set\tfile\twidth\theight\tMP\tbytes\tformat_params\tsource_package\tsource_path\tauthor\tlicence\tsha256\n'
  emit() { # set file name
    local set=$1 f=$2 name=$3 line rel author lic pkg ver params
    line=$(printf '%s\n%s\n' "$JPG_LIST" "$ART_LIST" | grep "^$name|"); rel=$(cut -d'|' -f2 <<<"$line")
    author=$(cut -d'|' -f3 <<<"$line"); lic=$(cut -d'|' -f4 <<<"$line")
    pkg=${rel%%/*}; ver=$(cat "$SRC/x/$pkg/.version")
    if [ "${f##*.}" = jpg ]; then
      params=$("$IM_IDENTIFY" -format 'q%Q %[jpeg:sampling-factor] interlace=%[interlace]' "$f" 2>/dev/null)
    else
      params=$("$IM_IDENTIFY" -format '%[png:IHDR.bit-depth-orig]-bit color-type=%[png:IHDR.color-type-orig]' "$f" 2>/dev/null || echo png)
    fi
    read -r w h < <("$IM_IDENTIFY" -format '%w %h\n' "$f")
    printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$set" "$(basename "$f")" "$w" "$h" \
      "$(awk -v w="$w" -v h="$h" 'BEGIN{printf "%.2f", w*h/1e6}')" "$(stat -c %s "$f")" "$params" \
      "$pkg $ver" "/${rel#*/}" "$author" "$lic" "$(sha256sum "$f" | cut -d' ' -f1)"
  }
  for f in "$CORPUS"/jpg/*.jpg;   do n=$(basename "$f" .jpg); emit jpg "$f" "$n"; done
  for f in "$CORPUS"/jpg12/*.jpg; do n=$(basename "$f" .jpg); emit jpg12 "$f" "${n%_*}"; done
  for f in "$CORPUS"/png/*.png;   do n=$(basename "$f" .png); emit png "$f" "$n"; done
  for f in "$CORPUS"/png-art/*.png; do n=$(basename "$f" .png); emit png-art "$f" "$n"; done
} > "$CORPUS/MANIFEST.tsv"

echo "corpus: $(ls "$CORPUS"/jpg | wc -l) jpg, $(ls "$CORPUS"/jpg12 | wc -l) jpg12, $(ls "$CORPUS"/png | wc -l) png, $(ls "$CORPUS"/png-art | wc -l) png-art in $CORPUS"
column -t -s $'\t' "$CORPUS/MANIFEST.tsv" | cut -c1-150
