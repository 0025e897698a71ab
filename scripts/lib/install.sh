# Quiet Debian package installs for the project's scripts (as root). Source it, then:
#   install_packages PKG...
# installs those of PKG that are missing. It prints one line of its own, "installing N packages,
# about M s; log: PATH", and sends the package manager's output to that log (build/install.log, or
# INSTALL_LOG); each install appends to it. When an install fails, the log's last lines are shown
# and the function returns non-zero.

# Seconds one package takes to fetch, unpack and set up, about: on a fresh Debian 12 root the
# Windows set, 256 packages, took 79 s (the log's last line of an install says how long it took).
install_seconds_per_package=0.33

install_packages() {
    local missing=() p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -gt 0 ] || return 0

    local root
    root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
    local log=${INSTALL_LOG:-$root/build/install.log}
    mkdir -p "$(dirname "$log")"
    echo "== $(date -u '+%F %T') apt-get install ${missing[*]}" >>"$log"

    local apt=(env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 -y
               --no-install-recommends)
    if ! apt-get -o DPkg::Lock::Timeout=600 update >>"$log" 2>&1; then
        install_failed "$log" "apt-get update"
        return 1
    fi
    # Everything apt would install, the dependencies included, for the count and the estimate.
    local plan count seconds
    if ! plan=$("${apt[@]}" -s install "${missing[@]}" 2>>"$log"); then
        install_failed "$log" "apt-get install"
        return 1
    fi
    count=$(grep -c '^Inst ' <<<"$plan") || count=${#missing[@]}
    seconds=$(awk -v n="$count" -v s="$install_seconds_per_package" 'BEGIN { printf "%d", n * s + 5 }')
    echo "installing $count package$([ "$count" = 1 ] || echo s), about $seconds s; log: $log"
    local started=$SECONDS
    if ! "${apt[@]}" install "${missing[@]}" >>"$log" 2>&1 </dev/null; then
        install_failed "$log" "apt-get install"
        return 1
    fi
    echo "== $count packages installed in $((SECONDS - started)) s" >>"$log"
}

install_failed() { # LOG WHAT
    echo "$2 failed; the last lines of $1:" >&2
    tail -n 25 "$1" >&2
}
