#!/usr/bin/env bash
# Installs a native build into a fresh prefix and builds and runs the example C program against
# it twice: through pkg-config and through CMake's find_package(norvane). Its answers must be
# norvane-query's.
#   scripts/test-install.sh BUILD_DIR
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/native}
work=$PWD/build/install-test
prefix=$work/prefix
example=$PWD/dist/norvane/examples
rm -rf "$work"
mkdir -p "$work"

cmake --install "$build" --prefix "$prefix" >/dev/null
for f in bin/norvane bin/norvane-query include/norvane.h; do
  test -f "$prefix/$f" || { echo "install: $f missing"; exit 1; }
done
pc=$(find "$prefix" -name norvane.pc)
libdir=$(PKG_CONFIG_PATH=$(dirname "$pc") pkg-config --variable=libdir norvane)
for f in libnorvane.a libnorvane.so; do
  test -e "$libdir/$f" || { echo "install: $f missing in $libdir"; exit 1; }
done
# The shared library exports the C interface alone.
if nm -D --defined-only "$libdir/libnorvane.so" | awk '$2 ~ /[TWDB]/ {print $3}' | grep -v '^norvane_'; then
  echo "install: libnorvane.so exports more than norvane_*"
  exit 1
fi

# A database from the bundled sample, converted by the installed program.
(cd "$work" && cp "$OLDPWD/dist/norvane/sample/qqwry.dat" . && "$prefix/bin/norvane" qqwry.dat gbwry.dat >/dev/null)
addresses=(1.2.3.4 8.8.8.8 36.1.2.3 255.255.255.255)
expected=$("$prefix/bin/norvane-query" lookup "$work/gbwry.dat" "${addresses[@]}" || true)

check() { # the example's address, country and area beside norvane-query's lines
  local program=$1 got
  got=$("$program" "$work/gbwry.dat" "${addresses[@]}" | cut -f1-3 || true)
  if [ "$got" != "$expected" ]; then
    printf 'install: %s answered\n%s\nnot\n%s\n' "$program" "$got" "$expected"
    exit 1
  fi
  "$program" "$work/gbwry.dat" | head -2
}

echo "-- pkg-config"
flags=$(PKG_CONFIG_PATH=$(dirname "$pc") pkg-config --cflags --libs norvane)
cc -std=c99 -Wall -Wextra -pedantic -Werror "$example/lookup.c" $flags -Wl,-rpath,"$libdir" \
  -o "$work/lookup-pkg-config"
check "$work/lookup-pkg-config"
# Static: the archive and the private libraries pkg-config names for it.
cc -std=c99 -Wall -Wextra -pedantic -Werror "$example/lookup.c" \
  $(PKG_CONFIG_PATH=$(dirname "$pc") pkg-config --cflags norvane) "$libdir/libnorvane.a" \
  $(PKG_CONFIG_PATH=$(dirname "$pc") pkg-config --static --libs-only-l norvane | sed 's/-lnorvane//') \
  -o "$work/lookup-static"
check "$work/lookup-static"

echo "-- find_package(norvane)"
cmake -S "$example" -B "$work/cmake-build" -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_C_FLAGS="-Wall -Wextra -pedantic -Werror" >/dev/null
cmake --build "$work/cmake-build" >/dev/null
check "$work/cmake-build/lookup"
echo "install: OK"
