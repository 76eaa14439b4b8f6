#!/usr/bin/env bash
# Speed and memory benchmarks: bash bench/run.sh BUILD_DIR (`make bench` builds and runs it).
#
# Each section is a shell function; add your own below the existing ones and list it in
# SECTIONS at the end. Helpers for sections:
#   table LINES LAYOUT [EXTRA...]  path of a generated table (comma|bar), made once per build
#   measure COMMAND [ARGS...]      runs it BENCH_RUNS times; sets BEST_S, MEDIAN_S, MAXRSS_KB
#   ratio A B                      A / B with two decimals
#   verdict OK_CONDITION           "ok" or "MISSED" for an awk condition
set -euo pipefail

BUILD=${1:-build}
BIN=$BUILD/bin
DATA=$BUILD/bench-data
BENCH_RUNS=${BENCH_RUNS:-5}
mkdir -p "$DATA"

for tool in "$BIN/runstat" "$BIN/gen_speedcams" "$BIN/tarvik-cli"; do
  [ -x "$tool" ] || { echo "missing $tool: run 'cmake --build $BUILD --target benchmarks'" >&2; exit 1; }
done

table() {
  local lines=$1 layout=$2
  shift 2
  local name="cams_${lines}_${layout}${*:+_$(echo "$*" | tr -d ' -')}.txt"
  local path="$DATA/$name"
  if [ ! -s "$path" ]; then
    "$BIN/gen_speedcams" --lines "$lines" --layout "$layout" --seed 1 "$@" -o "$path.tmp"
    mv "$path.tmp" "$path"
  fi
  echo "$path"
}

measure() {
  local out
  out=$("$BIN/runstat" -n "$BENCH_RUNS" -- "$@")
  eval "$out"
  BEST_S=$best_s MEDIAN_S=$median_s MAXRSS_KB=$maxrss_kb
  if [ "$status" != 0 ]; then echo "  warning: '$1' exited with $status" >&2; fi
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

verdict() { awk "BEGIN { print (($1) ? \"ok\" : \"MISSED\") }"; }

# ---- parse: tarvik-cli parse --quiet against mawk on the same 1,000,000-line tables -------
section_parse() {
  local lines=1000000
  echo "== parse: tarvik-cli parse --quiet, $lines lines, best of $BENCH_RUNS runs"
  command -v mawk >/dev/null || { echo "  mawk is not installed: skipped"; return; }
  for layout in comma bar; do
    local file size sep mb t tm rss m budget
    file=$(table "$lines" "$layout")
    size=$(stat -c %s "$file")
    sep=','
    [ "$layout" = bar ] && sep='|'
    measure "$BIN/tarvik-cli" parse --quiet "$file"
    t=$BEST_S tm=$MEDIAN_S rss=$MAXRSS_KB
    measure mawk -F"$sep" 'NR>1{x+=$2;y+=$3;n++} END{print n}' "$file"
    m=$BEST_S
    # Budget: the file, 40 bytes per record and 20 MB.
    budget=$(( (size + 40 * lines + 20 * 1024 * 1024) / 1024 ))
    mb=$(awk -v s="$size" 'BEGIN { printf "%.1f", s / 1048576 }')
    echo "  $layout ($mb MiB): tarvik ${t} s (median ${tm}), mawk ${m} s," \
         "speed-up $(ratio "$m" "$t")x [$(verdict "$m >= 2 * $t")]," \
         "wall <= 0.2 s [$(verdict "$t <= 0.2")]"
    echo "  $layout peak RSS $((rss / 1024)) MiB, budget $((budget / 1024)) MiB [$(verdict "$rss <= $budget")]"
  done
}

# ---- convert: the reference export job against mawk; the filter stage with 100 areas ------
# Job: the 1,000,000-line comma table, one enabled area 35 < X < 40, 54 < Y < 57, types 1..7
# described as "Камера {speed}", the profile "{x},{y},{desc}" in UTF-8, everything ticked.
section_convert() {
  local lines=1000000
  echo "== convert: tarvik-cli export (load, parse, filter, export), $lines lines, best of $BENCH_RUNS runs"
  [ -x "$BIN/convert_tool" ] || { echo "  missing $BIN/convert_tool: skipped"; return; }
  local file size ini t tm rss m same budget written
  file=$(table "$lines" comma)
  size=$(stat -c %s "$file")
  ini="$DATA/convert_bench.ini"
  "$BIN/convert_tool" ini "$ini"
  measure "$BIN/tarvik-cli" export "$file" -o "$DATA/convert_tarvik" --ini "$ini" --force
  t=$BEST_S tm=$MEDIAN_S rss=$MAXRSS_KB
  written=$(wc -l < "$DATA/convert_tarvik.csv")
  if command -v mawk >/dev/null; then
    local prog='NR>1 && $2>35 && $2<40 && $3>54 && $3<57 {printf "%f,%f,Камера %d\r\n",$2,$3,$5}'
    measure sh -c 'LC_ALL=C mawk -F, "$1" "$2" > "$3"' sh "$prog" "$file" "$DATA/convert_mawk.csv"
    m=$BEST_S
    same=MISSED
    cmp -s "$DATA/convert_tarvik.csv" "$DATA/convert_mawk.csv" && same=ok
    echo "  export of $written lines: tarvik ${t} s (median ${tm}), mawk ${m} s," \
         "speed-up $(ratio "$m" "$t")x [$(verdict "$m >= 3 * $t")]," \
         "wall <= 0.3 s [$(verdict "$t <= 0.3")], output byte-identical to mawk [$same]"
  else
    echo "  export of $written lines: tarvik ${t} s (median ${tm}), wall <= 0.3 s" \
         "[$(verdict "$t <= 0.3")]; mawk is not installed: no comparison"
  fi
  # Budget: the file, 40 bytes per record and 30 MB.
  budget=$(( (size + 40 * lines + 30 * 1024 * 1024) / 1024 ))
  echo "  export peak RSS $((rss / 1024)) MiB, budget $((budget / 1024)) MiB [$(verdict "$rss <= $budget")]"
  local records areas area_hits best_s median_s
  eval "$("$BIN/convert_tool" filter "$file" 100 "$BENCH_RUNS")"
  echo "  filter stage, $records records x $areas areas ($area_hits area hits): ${best_s} s" \
       "(median ${median_s}) [$(verdict "$best_s <= 0.3")]"
}

# ---- params: save + clear + load of 1,000 filters, 100 schemas x 50 entries, 20 profiles ----
section_params() {
  echo "== params: the parameter stages of a 0x2C task (save, clear, load), median of 5 repetitions"
  [ -x "$BIN/bench_params" ] || { echo "  missing $BIN/bench_params (needs Google Benchmark): skipped"; return; }
  local csv
  csv=$("$BIN/bench_params" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
          --benchmark_format=csv 2>/dev/null)
  for name in SaveParams LoadParams SaveClearLoad; do
    local line wall cpu
    line=$(echo "$csv" | grep "^\"BM_${name}_median\"")
    wall=$(echo "$line" | cut -d, -f3)
    cpu=$(echo "$line" | cut -d, -f4)
    if [ "$name" = SaveClearLoad ]; then
      echo "  $name: ${wall} ms wall, ${cpu} ms CPU, limit 50 ms [$(verdict "$wall < 50")]"
    else
      echo "  $name: ${wall} ms wall, ${cpu} ms CPU"
    fi
  done
}

# ---- main window: start-up to the first paint; Open of the 1,000,000-line table ----------
section_mainwin() {
  local lines=1000000
  echo "== main window (offscreen): start-up, and Open of $lines lines to refreshed lists"
  [ -x "$BIN/main_window_timing" ] || { echo "  missing $BIN/main_window_timing (needs Qt): skipped"; return; }
  local file qt_init_s startup_s open_best_s open_median_s longest_pause_ms progress_reports type_rows
  file=$(table "$lines" comma)
  mkdir -p "$BUILD/xdg-runtime" && chmod 700 "$BUILD/xdg-runtime"
  eval "$(QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$BUILD/xdg-runtime" \
          "$BIN/main_window_timing" "$file" "$BENCH_RUNS")"
  echo "  start-up to the shown window: ${startup_s} s (Qt itself ${qt_init_s} s)" \
       "[$(verdict "$startup_s < 0.5")]"
  echo "  Open to refreshed lists: ${open_best_s} s (median ${open_median_s})" \
       "[$(verdict "$open_best_s < 1")]; $progress_reports progress reports shown," \
       "longest pause of the window ${longest_pause_ms} ms"
}

SECTIONS=(section_parse section_convert section_params section_mainwin)
for section in "${SECTIONS[@]}"; do "$section"; done
