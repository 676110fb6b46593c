#!/usr/bin/env bash
# The whole night, measured: varnock against the same night written with C
# stdio and with iostreams (night_stdio, night_iostream). Input: TURNS lines
# of an off-menu choice (7), then 3, 3, 3; standard output to a file, checked
# byte for byte against varnock's with cmp. Prints the table and puts it in
# bench/README.md between its table markers; the profile of varnock's turn
# is left in build-bench/night/profile.txt.
#   Standard output always goes to a file: on a character device such as
#   /dev/null the program would add its console pause.
#   Needs: valgrind, strace, GNU time (apt-get install valgrind strace time).
#   TURNS (default 100000) and BIG_TURNS (default 1000000, peak RSS only).
set -euo pipefail
cd "$(dirname "$0")/.."
turns=${TURNS:-100000}
big=${BIG_TURNS:-1000000}
dir=build-bench/night

cmake -S . -B build-bench -DVARNOCK_BENCH=ON -DVARNOCK_TESTS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-bench -j"$(nproc)" --target varnock night_stdio night_iostream bench_streams >/dev/null
mkdir -p "$dir"
for n in 0 "$turns" "$big"; do
  awk -v n="$n" 'BEGIN { for (i = 0; i < n; i++) print 7; print 3; print 3; print 3 }' >"$dir/in.$n"
done

# Instructions executed in user space, the whole process under callgrind.
instructions() {
  valgrind --tool=callgrind --callgrind-out-file="$dir/cg.$1.$2" "$3" <"$dir/in.$2" >"$dir/out.cg" 2>/dev/null
  awk '/^(summary|totals):/ {print $2; exit}' "$dir/cg.$1.$2"
}
# The best of five runs: "wall-ns cpu-ns" (user + system) of the fastest.
timed() {
  local best=
  for _ in 1 2 3 4 5; do
    local t
    t=$(/usr/bin/time -f '%e %U %S' "$1" <"$dir/in.$turns" 2>&1 >"$dir/out.$2" | tail -n1)
    if [ -z "$best" ] || awk -v a="$t" -v b="$best" 'BEGIN { split(a, x); split(b, y); exit !(x[1] < y[1]) }'; then
      best=$t
    fi
  done
  awk -v t="$best" 'BEGIN { split(t, x); printf "%d %d\n", x[1] * 1e9, (x[2] + x[3]) * 1e9 }'
}
rss() { /usr/bin/time -f %M "$1" <"$dir/in.$2" 2>&1 >"$dir/out.rss" | tail -n1; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

table="| program | instructions / turn | × varnock | wall ns / turn | × varnock | CPU ns / turn | writes to stdout | output lines | reads from stdin | read request | peak RSS, $turns turns | peak RSS, $big turns |
|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|"
for entry in varnock:build-bench/varnock stdio:build-bench/bench/night_stdio iostream:build-bench/bench/night_iostream; do
  name=${entry%%:*} bin=${entry#*:}
  read -r ns cpu < <(timed "$bin" "$name")
  cmp "$dir/out.varnock" "$dir/out.$name"
  lines=$(wc -l <"$dir/out.$name")
  ir=$((($(instructions "$name" "$turns" "$bin") - $(instructions "$name" 0 "$bin")) / turns))
  # System calls of the process and its children: writes to standard output,
  # reads from standard input and their most common request size.
  strace -f -e trace=read,write -o "$dir/strace.$name" "$bin" <"$dir/in.$turns" >"$dir/out.strace"
  writes=$(grep -cE '^([0-9]+ +)?write\(1,' "$dir/strace.$name")
  reads=$(grep -cE '^([0-9]+ +)?read\(0,' "$dir/strace.$name")
  request=$(sed -nE 's/^([0-9]+ +)?read\(0, .*, ([0-9]+)\) += .*/\2/p' "$dir/strace.$name" | sort | uniq -c | sort -rn |
    awk 'NR == 1 {print $2}')
  rss_small=$(rss "$bin" "$turns") rss_big=$(rss "$bin" "$big")
  [ "$name" = varnock ] && base_ir=$ir base_ns=$ns
  table+="
| $name | $ir | $(ratio "$ir" "$base_ir") | $((ns / turns)) | $(ratio "$ns" "$base_ns") | $((cpu / turns)) | $writes | $lines | $reads | $request B | ${rss_small} KiB | ${rss_big} KiB |"
done
callgrind_annotate "$dir/cg.varnock.$turns" >"$dir/profile.txt" 2>/dev/null
rm -f "$dir"/out.* "$dir/in.$big"

echo "$table"
awk -v table="$table" '
  /<!-- night table -->/ { print; print table; skip = 1; next }
  /<!-- end of night table -->/ { skip = 0 }
  !skip' bench/README.md >"$dir/README.md" && cp "$dir/README.md" bench/README.md
