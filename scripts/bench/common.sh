# Shared by the benchmark scripts (sourced, not run).

# install_missing PACKAGE...: installs the named Debian packages, with sudo when not root.
install_missing() {
    [ $# -gt 0 ] || return 0
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "$@" >/dev/null
}

# build_targets BUILD_DIR TARGET...: configures the build folder with the benchmarks, then builds.
build_targets() {
    local build=$1 source
    shift
    source=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
    # Benchmarks are built only when asked for; this asks, in a new build folder or an old one.
    if [ -f "$build/CMakeCache.txt" ]; then
        cmake -S "$source" -B "$build" -DQM_BUILD_BENCHMARKS=ON >/dev/null
    else
        cmake -S "$source" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQM_BUILD_BENCHMARKS=ON >/dev/null
    fi
    cmake --build "$build" -j2 --target "$@" >/dev/null
}
