#!/usr/bin/env bash
# tarvik-cli parse and export of a 1,000,000-line table under address-space limits (ulimit -v)
# in 2 MiB steps across the range where the runs begin to fail, RUNS runs in all (default 200).
# Each pass over the range is shifted by another quarter step, so that together they also try
# the limits between the steps, where a fault may hide. Every run must end with exit 0 or 1,
# never by a signal; the older export stays or the new one is whole, and no temporary file is
# left. Prints a table of limits; exit status 1 on a fault.
#
#   bash tests/address_limit_sweep.sh [BUILD_DIR] [RUNS]
#
# The quick form of this check is the test AddressLimit.* in ctest.
set -euo pipefail

BUILD=$(cd "${1:-build}" && pwd)
RUNS=${2:-200}
CLI=$BUILD/bin/tarvik-cli
GEN=$BUILD/bin/gen_speedcams
[ -x "$GEN" ] || cmake --build "$BUILD" --target gen_speedcams >/dev/null
[ -x "$CLI" ] || { echo "missing $CLI: build first" >&2; exit 1; }

work=$(mktemp -d /tmp/tarvik-aslimit-XXXXXX)
trap 'rm -rf "$work"' EXIT
cd "$work"
"$GEN" --lines 1000000 --layout comma --seed 3 -o cams.txt
"$CLI" count cams.txt --ini Tarvik.ini >/dev/null
export_args=(export cams.txt -o o.csv --ini Tarvik.ini --areas "Весь мир" --force)
"$CLI" "${export_args[@]}" >/dev/null
whole=$(sha256sum <o.csv)

# limited KIB ARGS...: the command under that limit; its status (128 + signal when killed).
limited() {
  local kib=$1
  shift
  local rc=0
  (ulimit -v "$kib" && exec "$CLI" "$@") >/dev/null 2>stderr || rc=$?
  echo "$rc"
}

# least ARGS...: the least limit in MiB, in 2 MiB steps, under which the command works.
least() {
  local fails=8 works=1024 mid
  while [ $((works - fails)) -gt 2 ]; do
    mid=$(((fails + works) / 4 * 2))
    if [ "$(limited $((mid * 1024)) "$@")" = 0 ]; then works=$mid; else fails=$mid; fi
  done
  echo "$works"
}

faults=0
printf '%-7s %9s %5s %7s %7s %7s\n' command "limit KiB" runs "exit 0" "exit 1" other
for command in parse export; do
  if [ "$command" = parse ]; then args=(parse --quiet cams.txt); else args=("${export_args[@]}"); fi
  top=$(least "${args[@]}")
  steps=()
  for ((mib = top - 12; mib <= top + 4; mib += 2)); do steps+=($((mib * 1024))); done
  declare -A runs=() ok=() failed=() other=()
  for ((k = 0; k < RUNS / 2; k++)); do
    pass=$((k / ${#steps[@]}))
    kib=$((${steps[k % ${#steps[@]}]} + pass % 4 * 512))
    echo keep >o.csv
    rc=$(limited "$kib" "${args[@]}")
    runs[$kib]=$((${runs[$kib]:-0} + 1))
    case $rc in
      0) ok[$kib]=$((${ok[$kib]:-0} + 1)) ;;
      1) failed[$kib]=$((${failed[$kib]:-0} + 1)) ;;
      *)
        other[$kib]=$((${other[$kib]:-0} + 1))
        faults=$((faults + 1))
        echo "$command under $kib KiB: status $rc: $(head -c 300 stderr)" >&2
        ;;
    esac
    if [ "$(cat o.csv)" != keep ] && [ "$(sha256sum <o.csv)" != "$whole" ]; then
      faults=$((faults + 1))
      echo "$command under $kib KiB: o.csv is neither the old file nor a whole export" >&2
    fi
    if compgen -G '.*.tmp' >/dev/null; then
      faults=$((faults + 1))
      echo "$command under $kib KiB: left $(echo .*.tmp)" >&2
      rm -f .*.tmp
    fi
  done
  for kib in $(printf '%s\n' "${!runs[@]}" | sort -n); do
    printf '%-7s %9s %5s %7s %7s %7s\n' "$command" "$kib" "${runs[$kib]}" "${ok[$kib]:-0}" \
      "${failed[$kib]:-0}" "${other[$kib]:-0}"
  done
  unset runs ok failed other
done
echo "faults: $faults"
[ "$faults" = 0 ]
