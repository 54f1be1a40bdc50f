# shellcheck shell=bash
# What the benchmark harnesses share; sourced by run.sh and latency.sh, which
# set root, build, work and run first.

# params SIZE: "B C S" of a size.
params() {
  case $1 in
    small) echo "3 100 100" ;;
    c300) echo "3 300 300" ;;
    b40) echo "40 50 50" ;;
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

# bench_app_dir [ROWS]: the program's setting and application directory under
# $work; ROWS is its FilasPorLote (1: one statement per row; empty: absent,
# the default chunks).
bench_app_dir() {
  mkdir -p "$work/xdg/Quenda" "$work/app"
  {
    printf 'Directorio=%s\n' "$work/app"
    if [ -n "${1:-}" ]; then printf 'FilasPorLote=%s\n' "$1"; fi
    if [ -n "${compression:-}" ]; then printf 'CompresionRed=SI\n'; fi
  } > "$work/xdg/Quenda/Varnex2009.conf"
}

# The two ways the program sends the row streams: chunks (FilasPorLote as
# -f gives it, the default when empty) and row by row (FilasPorLote=1).
mode_rows() { if [ "$1" = rowbyrow ]; then echo 1; else echo "${chunk_rows:-}"; fi; }

# fresh TEMPLATE: the scenario copied into $run.
fresh() { rm -rf "$run"; cp -a "$1" "$run"; }
