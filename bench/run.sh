#!/usr/bin/env bash
# varnock against the same night written with C stdio, compiled as C
# (night_stdio_c) and as C++ (night_stdio), and with iostreams
# (night_iostream); standard output to a file, checked byte for byte
# against varnock's with cmp. Two tables, printed and put in bench/README.md
# between their markers:
#   the whole night: one night of 3, 3, 1 from start to exit - user-space
#   instructions, peak RSS and wall time (ROUNDS paired runs, default 60),
#   the size of the file and the shared objects it loads;
#   a turn: TURNS lines of an off-menu choice (7), then 3, 3, 3 - per turn
#   instructions and time, the system calls, and peak RSS up to BIG_TURNS.
# The profile of varnock's turn is left in build-bench/night/profile.txt.
#   Standard output always goes to a file: on a character device such as
#   /dev/null the program would add its console pause.
#   Needs: valgrind, strace, GNU time (apt-get install valgrind strace time).
#   TURNS (default 100000) and BIG_TURNS (default 1000000, peak RSS only).
set -euo pipefail
cd "$(dirname "$0")/.."
turns=${TURNS:-100000}
big=${BIG_TURNS:-1000000}
rounds=${ROUNDS:-60}
dir=build-bench/night

cmake --preset bench >/dev/null
cmake --build --preset bench -j"$(nproc)" \
  --target varnock night_stdio_c night_stdio night_iostream whole_night bench_streams >/dev/null
programs="varnock:build-bench/varnock stdio_c:build-bench/bench/night_stdio_c stdio:build-bench/bench/night_stdio
  iostream:build-bench/bench/night_iostream"
c_stdio=build-bench/bench/night_stdio_c
mkdir -p "$dir"
printf '3\n3\n1\n' >"$dir/in.331"
for n in 0 "$turns" "$big"; do
  awk -v n="$n" 'BEGIN { for (i = 0; i < n; i++) print 7; print 3; print 3; print 3 }' >"$dir/in.$n"
done

# Instructions executed in user space, the whole process under callgrind.
instructions() {
  valgrind --tool=callgrind --callgrind-out-file="$dir/cg.$1.$2" "$3" <"$dir/in.$2" >"$dir/out.cg" 2>/dev/null
  awk '/^(summary|totals):/ {print $2; exit}' "$dir/cg.$1.$2"
}
rss() { /usr/bin/time -f %M "$1" <"$dir/in.$2" 2>&1 >"$dir/out.rss" | tail -n1; }
# The median of five, for a night too short for one run to say.
rss5() { for _ in 1 2 3 4 5; do rss "$1" "$2"; done | sort -n | sed -n 3p; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
# Shared objects the loader maps, the loader itself included: 0 for a static file.
libraries() { { ldd "$1" 2>/dev/null || true; } | grep -c / || true; }

# The whole night, against C stdio. whole_night prints "file wall-µs
# ratio-to-the-first" for each program, C stdio first.
declare -A wall pair
while read -r file us r; do
  wall[$file]=$us pair[$file]=$r
done < <(build-bench/bench/whole_night "$rounds" "$dir/in.331" "$dir/out.whole" $c_stdio \
  $(for entry in $programs; do [ "${entry#*:}" = $c_stdio ] || echo "${entry#*:}"; done))
"$c_stdio" <"$dir/in.331" >"$dir/out.331"
c_ir=$(instructions stdio_c 331 "$c_stdio") c_peak=$(rss5 "$c_stdio" 331)
whole="| program | instructions | × C stdio | peak RSS | × C stdio | wall, median of $rounds | × C stdio, paired | file | shared objects |
|---|---:|---:|---:|---:|---:|---:|---:|---:|"
for entry in $programs; do
  name=${entry%%:*} bin=${entry#*:} file=${entry##*/}
  "$bin" <"$dir/in.331" | cmp "$dir/out.331" -
  ir=$c_ir peak=$c_peak
  [ "$bin" = "$c_stdio" ] || ir=$(instructions "$name" 331 "$bin") peak=$(rss5 "$bin" 331)
  whole+="
| $name | $ir | $(ratio "$ir" "$c_ir") | $peak KiB | $(ratio "$peak" "$c_peak") | ${wall[$file]} µs | ${pair[$file]} | $(stat -c %s "$bin") B | $(libraries "$bin") |"
done

# A turn. Five rounds of the long night, the programs in turn, so that a
# stall of the machine does not land on one program's runs; each one's
# fastest run gives "wall-ns cpu-ns" (user + system).
declare -A fastest
for _ in 1 2 3 4 5; do
  for entry in $programs; do
    name=${entry%%:*} bin=${entry#*:}
    t=$(/usr/bin/time -f '%e %U %S' "$bin" <"$dir/in.$turns" 2>&1 >"$dir/out.$name" | tail -n1)
    if [ -z "${fastest[$name]:-}" ] ||
       awk -v a="$t" -v b="${fastest[$name]}" 'BEGIN { split(a, x); split(b, y); exit !(x[1] < y[1]) }'; then
      fastest[$name]=$t
    fi
  done
done
table="| program | instructions / turn | × varnock | wall ns / turn | × varnock | CPU ns / turn | writes to stdout | output lines | reads from stdin | read request | peak RSS, $turns turns | peak RSS, $big turns |
|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|"
for entry in $programs; do
  name=${entry%%:*} bin=${entry#*:}
  read -r ns cpu < <(awk -v t="${fastest[$name]}" 'BEGIN { split(t, x); printf "%d %d\n", x[1] * 1e9, (x[2] + x[3]) * 1e9 }')
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

echo "$whole"
echo
echo "$table"
awk -v whole="$whole" -v table="$table" '
  /<!-- whole night table -->/ { print; print whole; skip = 1; next }
  /<!-- night table -->/ { print; print table; skip = 1; next }
  /<!-- end of (whole )?night table -->/ { skip = 0 }
  !skip' bench/README.md >"$dir/README.md" && cp "$dir/README.md" bench/README.md
