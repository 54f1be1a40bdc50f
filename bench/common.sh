# shellcheck shell=bash
# What the benchmark harnesses share; sourced by run.sh and latency.sh, which
# set root, build, work and run first.

# params SIZE: "B C S" of a size.
params() {
  case $1 in
    small) echo "3 100 100" ;;
    medium) echo "5 2000 2000" ;;
    large) echo "10 5000 5000" ;;
    *) echo "unknown size $1" >&2; exit 2 ;;
  esac
}

# bench_build TARGET...: the targets in $build (RelWithDebInfo).
bench_build() {
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
  cmake --build "$build" -j2 --target "$@" > /dev/null
}

# bench_app_dir: the program's setting and application directory under $work.
bench_app_dir() {
  mkdir -p "$work/xdg/Quenda" "$work/app"
  printf 'Directorio=%s\n' "$work/app" > "$work/xdg/Quenda/Varnex2009.conf"
}

# fresh TEMPLATE: the scenario copied into $run.
fresh() { rm -rf "$run"; cp -a "$1" "$run"; }
