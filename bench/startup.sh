#!/usr/bin/env bash
# Start-up benchmark: how long Kestrun takes, on the demo prefix, until its window is drawn
# with the scan done (the load event's scan runs before the window is shown), against a bare
# Qt 6 window of the same size; N runs each, alternately, on one Xvfb server.
#   bench/startup.sh [N] [BUILD-FOLDER]        (N=20, build/)
# Prints the median times, their ratio (goal: Kestrun within 1.15x of the bare window) and
# the peak resident set of both. A bare window with one label is measured too: it pays Qt's
# font set-up, which any window with text does. Needs xvfb-run, x11-utils and a build with
# bench/startup's programs (first_shown needs libx11-dev and libxdamage-dev). KEEP=FILE keeps
# the raw results.
#
# HIVE_BYTES=N compares registry sizes instead: Kestrun on a prefix whose system.reg is a win64
# hive of about N bytes in Wine's layout (bench/hive_bench --write-hive) against Kestrun on one
# whose system.reg holds only the game's key, alternately (goal: within 5% for a fresh prefix's
# 2.9 MB, HIVE_BYTES=2900000, and within 10% for 20 MB; the hive is read whole, so the peak memory
# may grow by the hive's size, no more).
set -euo pipefail
runs=${1:-20}
build=${2:+$(realpath "$2")}
cd "$(dirname "$0")/.."
build=${build:-$PWD/build}

hive_bytes=${HIVE_BYTES:-}
cmake --build "$build" -j 2 --target kestrun bare_window first_shown ${hive_bytes:+hive_bench} >/dev/null
kestrun=$build/kestrun
bare=$build/bench/startup/bare_window
waiter=$build/bench/startup/first_shown
[ -x "$waiter" ] || { echo "first_shown was not built: install libx11-dev and libxdamage-dev" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
scripts/demo-prefix "$work/prefix"
if [ -n "$hive_bytes" ]; then
  scripts/demo-prefix "$work/big"
  "$build/bench/hive_bench" --write-hive=0 "$work/prefix/system.reg"
  "$build/bench/hive_bench" --write-hive="$hive_bytes" "$work/big/system.reg"
  echo "system.reg: $(stat -c %s "$work/big/system.reg") bytes against $(stat -c %s "$work/prefix/system.reg")"
fi

cat >"$work/runs" <<RUNS
#!/usr/bin/env bash
set -uo pipefail
export WINEPREFIX="$work/prefix" QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$work/runtime"
mkdir -p -m 700 "\$XDG_RUNTIME_DIR"
for _ in \$(seq 300); do xwininfo -root >/dev/null 2>&1 && break; sleep 0.1; done
run() { local name=\$1; shift; echo "\$name \$("$waiter" "\$@" || echo failed)"; }
# One untimed start of each warms the file cache.
run warmup "$kestrun" >/dev/null
run warmup "$bare" >/dev/null
for i in \$(seq $runs); do
  run kestrun "$kestrun"
  if [ -n "$hive_bytes" ]; then
    WINEPREFIX="$work/big" run big "$kestrun"
  else
    run bare "$bare"
    run labelled "$bare" --label
  fi
done
RUNS
chmod +x "$work/runs"
xvfb-run -a -s "-screen 0 1024x768x24" "$work/runs" >"$work/results"
[ -z "${KEEP:-}" ] || cp "$work/results" "$KEEP"

awk -v runs="$runs" -v hive="$hive_bytes" '
  function median(list, n,   i, j, t) {
    for (i = 2; i <= n; i++)
      for (j = i; j > 1 && list[j - 1] > list[j]; j--) { t = list[j]; list[j] = list[j - 1]; list[j - 1] = t }
    return n % 2 ? list[(n + 1) / 2] : (list[n / 2] + list[n / 2 + 1]) / 2
  }
  $2 !~ /^shown_ms=/ { failed++; next }
  {
    split($2, a, "="); split($3, b, "=")
    n[$1]++; ms[$1, n[$1]] = a[2]; rss[$1, n[$1]] = b[2]
  }
  END {
    if (hive) {
      # A busy machine sometimes fails a start (no display yet): the medians of the rest stand.
      if (failed > runs / 4 || n["kestrun"] == 0 || n["big"] == 0) { printf "%d runs failed: no figures\n", failed; exit 1 }
      if (failed) printf "failed runs:    %d, left out\n", failed
      for (p in n) {
        delete t; delete r
        for (i = 1; i <= n[p]; i++) { t[i] = ms[p, i]; r[i] = rss[p, i] }
        medMs[p] = median(t, n[p]); medRss[p] = median(r, n[p])
      }
      printf "runs each:      %d, alternating, after one warm-up\n", runs
      printf "window drawn:   big hive %.1f ms, game key only %.1f ms (medians)\n", medMs["big"], medMs["kestrun"]
      printf "ratio:          %.2fx\n", medMs["big"] / medMs["kestrun"]
      printf "peak memory:    big hive %.1f MiB, game key only %.1f MiB (median maxrss), %+.2f MiB\n", medRss["big"] / 1024, medRss["kestrun"] / 1024, (medRss["big"] - medRss["kestrun"]) / 1024
      exit 0
    }
    if (failed || n["kestrun"] == 0 || n["bare"] == 0 || n["labelled"] == 0) {
      printf "%d runs failed: no figures\n", failed; exit 1
    }
    for (p in n) {
      delete t; delete r
      for (i = 1; i <= n[p]; i++) { t[i] = ms[p, i]; r[i] = rss[p, i] }
      medMs[p] = median(t, n[p]); medRss[p] = median(r, n[p])
    }
    printf "runs each:      %d, alternating, after one warm-up\n", runs
    printf "window drawn:   Kestrun %.1f ms, bare Qt window %.1f ms, with one label %.1f ms (medians)\n", medMs["kestrun"], medMs["bare"], medMs["labelled"]
    printf "ratio:          %.2fx the bare window (goal: at most 1.15x); %.2fx the labelled one\n", medMs["kestrun"] / medMs["bare"], medMs["kestrun"] / medMs["labelled"]
    printf "peak memory:    Kestrun %.1f MiB, bare %.1f MiB, labelled %.1f MiB (median maxrss)\n", medRss["kestrun"] / 1024, medRss["bare"] / 1024, medRss["labelled"] / 1024
  }' "$work/results"
