# Shared settings of the Windows release scripts (sourced, not run).
# shellcheck shell=bash
qt_version=5.15.8
openssl_version=3.0
target=i686-w64-mingw32
qt_prefix=${VELMORA_QT_WIN:-$HOME/.cache/velmora/qt5-$target-$qt_version}
# Sources and the build trees beside the prefix, so one cache folder holds it all.
qt_work=${VELMORA_QT_WORK:-$qt_prefix.work}
qt_stamp=$qt_prefix/.velmora-built

# The posix-thread mingw compilers under their plain names, first on PATH, so that Qt's
# CROSS_COMPILE prefix and OpenSSL's find them without changing the system's alternatives.
mingw_shims() {
    local dir=$1
    mkdir -p "$dir"
    local tool
    for tool in gcc g++ c++ cpp; do
        ln -sf "/usr/bin/$target-$tool-posix" "$dir/$target-$tool"
    done
    for tool in ar ranlib windres strip nm objdump dlltool ld as; do
        ln -sf "/usr/bin/$target-$tool" "$dir/$target-$tool"
    done
    PATH=$dir:$PATH
    export PATH
}

# A long step with a log of its own; its last lines are shown when it fails.
step() {
    local name=$1 log=$2
    shift 2
    local t0=$SECONDS
    echo "[$(date +%H:%M:%S)] $name ... (log: $log)"
    if ! "$@" >>"$log" 2>&1; then
        echo "FAILED: $name; last lines of $log:" >&2
        tail -n 30 "$log" >&2
        return 1
    fi
    echo "[$(date +%H:%M:%S)] $name done in $((SECONDS - t0)) s"
}

# The Debian packages among the arguments that are not installed, one a line.
missing_packages() {
    local p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || echo "$p"
    done
}

# Installs the packages among the arguments that are missing (as root or through sudo); an
# ":i386" package brings the i386 architecture in first.
install_packages() {
    local missing sudo=""
    mapfile -t missing < <(missing_packages "$@")
    [ ${#missing[@]} -eq 0 ] && return 0
    [ "$(id -u)" -ne 0 ] && sudo=sudo
    echo "installing ${missing[*]}"
    if printf '%s\n' "${missing[@]}" | grep -q ':i386$' && ! dpkg --print-foreign-architectures | grep -qx i386; then
        $sudo dpkg --add-architecture i386
    fi
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update -qq
    $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}
