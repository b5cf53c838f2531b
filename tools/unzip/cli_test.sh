#!/bin/sh
# tessark-unzip on the default skin: the listing, one entry's bytes, a damaged copy.
#   cli_test.sh TESSARK-UNZIP SKIN.zip SCRATCH-DIR
set -eu
tool="$1" skin="$2" dir="$3"
mkdir -p "$dir"
"$tool" "$skin" >"$dir/list.txt"
grep -q '^deflated .* list\.psp$' "$dir/list.txt"
grep -q '^stored .* 2026-01-01 12:00:00  skin\.txt$' "$dir/list.txt"
[ "$(wc -l <"$dir/list.txt")" -eq 23 ]
"$tool" "$skin" LISTITEM.PSP >"$dir/listitem.psp"
head -c 20 "$dir/listitem.psp" | grep -q 'Paint Shop Pro Image'
"$tool" "$skin" skin.txt | grep -q '^skin = Tessark Blue$'
status=0
"$tool" "$skin" nothing.txt >/dev/null 2>&1 || status=$?
[ "$status" -eq 1 ]
# Cut inside the first entry's data: the reader's message and exit code 2.
head -c 200 "$skin" >"$dir/cut.zip"
status=0
"$tool" "$dir/cut.zip" >"$dir/out.txt" 2>"$dir/err.txt" || status=$?
[ "$status" -eq 2 ]
grep -q 'contains an entry which extends beyond the supplied data' "$dir/err.txt"
[ ! -s "$dir/out.txt" ]
printf 'PK\003' >"$dir/short.zip"
status=0
"$tool" "$dir/short.zip" 2>"$dir/err.txt" || status=$?
[ "$status" -eq 2 ]
grep -q 'not a .ZIP file' "$dir/err.txt"
echo "tessark-unzip: all checks passed"
