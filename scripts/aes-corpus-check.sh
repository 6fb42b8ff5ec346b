#!/bin/bash
# SPDX-License-Identifier: GPL-3.0-or-later
# For each unencrypted "ok" corpus PDF: qpdf makes AES-128 (U/O), AES-256
# (U/O) and AES-256 with an empty user password; pagemint-cli opens each
# with the user and the owner password (page count vs qpdf), saves it, and
# the output must pass qpdf --check with both passwords and render page 1
# (pdftoppm -r 50) exactly like the encrypted file it was read from.
# Usage: scripts/aes-corpus-check.sh PAGEMINT_CLI CORPUS_DIR [MAX_FILES]
CLI=${1:?pagemint-cli}; CORPUS=${2:?corpus dir}; LIMIT=${3:-1000}
W=$(mktemp -d); trap 'rm -rf "$W"' EXIT
total=0; opened=0; pages_ok=0; checked=0; rendered=0; fail=0
while IFS=$'\t' read -r path pages; do
  [ "$LIMIT" -le 0 ] && break; LIMIT=$((LIMIT-1))
  src="$CORPUS/$path"
  for v in "128 U:U --use-aes=y" "256 U:U" "256 E:"; do
    set -- $v; bits=$1; user=${2#*:}; extra=$3
    enc="$W/enc.pdf"
    qpdf --encrypt "$user" O $bits $extra -- "$src" "$enc" 2>/dev/null; [ $? -le 3 ] || continue
    qp=$(qpdf --show-npages --password=O "$enc" 2>/dev/null)
    rm -f "$W"/src-*.ppm
    pdftoppm -r 50 -f 1 -l 1 -opw O "$enc" "$W/src" 2>/dev/null
    ref=$(ls "$W"/src-*.ppm 2>/dev/null | head -1); [ -n "$ref" ] || continue
    for pw in "$user" O; do
      total=$((total+1))
      n=$(timeout 120 "$CLI" --info "$enc" --password "$pw" 2>/dev/null | sed -n 's/^pages: //p')
      [ -n "$n" ] && opened=$((opened+1))
      [ "$n" = "$qp" ] && pages_ok=$((pages_ok+1))
      out="$W/out.pdf"; rm -f "$out"
      if ! timeout 120 "$CLI" "$enc" "$out" --password "$pw" >/dev/null 2>&1; then
        fail=$((fail+1)); echo "not written: $path aes-$bits pw='$pw'"; continue; fi
      if qpdf --check --password="$user" "$out" >/dev/null 2>&1 && qpdf --check --password=O "$out" >/dev/null 2>&1; then
        checked=$((checked+1)); else echo "qpdf --check fails: $path aes-$bits pw='$pw'"; fi
      rm -f "$W"/o-*.ppm "$W"/p-*.ppm
      pdftoppm -r 50 -f 1 -l 1 -upw "$user" "$out" "$W/o" 2>/dev/null
      pdftoppm -r 50 -f 1 -l 1 -opw O "$out" "$W/p" 2>/dev/null
      if cmp -s "$ref" "$(ls "$W"/o-*.ppm 2>/dev/null | head -1)" && cmp -s "$ref" "$(ls "$W"/p-*.ppm 2>/dev/null | head -1)"; then
        rendered=$((rendered+1)); else echo "render differs: $path aes-$bits pw='$pw'"; fi
    done
  done
done < <(awk -F'\t' 'NR>1 && $2=="pdf" && $7=="none" && $11=="ok" {print $1"\t"$4}' "$CORPUS/MANIFEST.tsv")
echo "aes corpus: $total opens tried, $opened opened, $pages_ok with qpdf's page count, $checked outputs pass qpdf --check with both passwords, $rendered render page 1 identically (user and owner), $fail not written"
