#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine (as root), builds everything and runs every test.
# This is the README's test command and what CI runs.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=$(nproc)

# Everything, the Windows part too, before the tests: the check at the end that they leave
# nothing under /tmp then sees the tests alone, not the packages' own files.
bash scripts/setup.sh --windows
tmp_listing() { # the entries of /tmp and of /dev/shm, one a line
  local d
  for d in /tmp /dev/shm; do
    if [ -d "$d" ]; then ls -A "$d" | sed "s|^|$d/|"; fi
  done | sort
}
tmp_before=$(tmp_listing)

echo "== formatting (clang-format, style file at the top)"
find dist/norvane misc/Ostrine \( -name '*.cpp' -o -name '*.h' -o -name '*.c' \) -print0 |
  xargs -0 clang-format --dry-run --Werror

echo "== native build (warnings are errors) and tests"
cmake -S . -B build/native -DCMAKE_BUILD_TYPE=Release -DNORVANE_WERROR=ON >/dev/null
cmake --build build/native -j"$jobs"
ctest --test-dir build/native --output-on-failure -j"$jobs"

echo "== install into a fresh prefix; the example C program via pkg-config and find_package"
bash scripts/test-install.sh build/native

echo "== sanitizer build (AddressSanitizer, UndefinedBehaviorSanitizer) and tests"
CXX=clang++ CC=clang cmake -S dist/norvane -B build/sanitize -DCMAKE_BUILD_TYPE=Debug \
  -DNORVANE_SANITIZE=ON -DNORVANE_FUZZ=ON -DNORVANE_BENCH=OFF -DNORVANE_WERROR=ON >/dev/null
cmake --build build/sanitize -j"$jobs"
ctest --test-dir build/sanitize --output-on-failure -j"$jobs"

echo "== fuzzing the source reader for ${FUZZ_SECONDS:-60} s"
mkdir -p build/fuzz-corpus
"$root/build/sanitize/source_reader_fuzz" -max_total_time="${FUZZ_SECONDS:-60}" \
  -print_final_stats=1 build/fuzz-corpus dist/norvane/fuzz/seeds 2>build/fuzz.log \
  || { tail -50 build/fuzz.log; exit 1; }
tail -3 build/fuzz.log

echo "== fuzzing the database reader for ${QUERY_FUZZ_SECONDS:-30} s"
mkdir -p build/fuzz-db-corpus
"$root/build/sanitize/db_reader_fuzz" -max_total_time="${QUERY_FUZZ_SECONDS:-30}" \
  -print_final_stats=1 build/fuzz-db-corpus dist/norvane/fuzz/db_seeds 2>build/fuzz-db.log \
  || { tail -50 build/fuzz-db.log; exit 1; }
tail -3 build/fuzz-db.log

echo "== fuzzing the whole conversion with generated sources for ${CONVERSION_FUZZ_SECONDS:-45} s"
mkdir -p build/fuzz-conversion-corpus
"$root/build/sanitize/conversion_fuzz" -max_total_time="${CONVERSION_FUZZ_SECONDS:-45}" \
  -print_final_stats=1 build/fuzz-conversion-corpus 2>build/fuzz-conversion.log \
  || { tail -50 build/fuzz-conversion.log; exit 1; }
tail -3 build/fuzz-conversion.log

echo "== fuzzing the annotate scanner for ${ANNOTATE_FUZZ_SECONDS:-30} s"
mkdir -p build/fuzz-annotate-corpus
"$root/build/sanitize/annotate_fuzz" -max_total_time="${ANNOTATE_FUZZ_SECONDS:-30}" \
  -print_final_stats=1 build/fuzz-annotate-corpus dist/norvane/fuzz/annotate_seeds \
  2>build/fuzz-annotate.log || { tail -50 build/fuzz-annotate.log; exit 1; }
tail -3 build/fuzz-annotate.log

bash scripts/test-windows.sh

echo "== the tests left nothing under /tmp and /dev/shm"
# New entries that are still there a few seconds later (every program of this run has ended by
# now; on a shared machine other programs' short-lived files come and go meanwhile).
new=$(comm -13 <(echo "$tmp_before") <(tmp_listing))
if [ -n "$new" ]; then
  sleep 3
  new=$(comm -12 <(echo "$new") <(tmp_listing))
fi
if [ -n "$new" ]; then
  echo "left behind by the tests:"
  echo "$new" | sed 's/^/  /'
  exit 1
fi

echo "== all tests passed"
