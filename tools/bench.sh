#!/usr/bin/env bash
# Builds NAPKIT and its benchmark programs (bench/), runs them under Wine on a
# private X display and prints one table: each figure next to a baseline
# measured in the same run, their ratio and the goal. Numbers are printed,
# never asserted; the exit status only says whether the programs ran.
#   bash tools/bench.sh         the table
#   bash tools/bench.sh soak    only the soak (bench/soak_bench.cpp, a few
#                               minutes): prints its figures, also written
#                               to BUILD/bench/soak.txt
#   NAPKIT_BUILD_DIR   build folder (default build/; the build of tools/arch.sh goes
#                      to its x86 or x64 folder)
#   NAPKIT_BENCH_RUNS  start-up runs of each program (default 15)
# The table also goes to BUILD/bench/table.md, the raw figures to
# BUILD/bench/results.txt.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=tools/arch.sh
. "$root/tools/arch.sh"
runs=${NAPKIT_BENCH_RUNS:-15}
command=${1:-table}
case $command in
  table) target=benchmarks output=results.txt ;;
  soak) target=soak_bench output=soak.txt ;;
  *) echo "usage: bash tools/bench.sh [soak]" >&2; exit 2 ;;
esac

bash "$root/tools/setup.sh" >/dev/null
napkit_select_arch || exit 1
echo "bench: $NAPKIT_ARCH_REASON is measured" >&2
build=$(napkit_build_dir "$NAPKIT_ARCH")
napkit_build "$NAPKIT_ARCH" "$target" >/dev/null
if [ ! -f "$build/savers/logsaver.scr" ]; then
  echo "bench: $build/savers/logsaver.scr is missing (configure with NAPKIT_TESTS=ON)" >&2
  exit 1
fi

results=$build/bench/$output
: > "$results"
trap 'bash "$root/tools/session.sh" stop "$build"' EXIT
bash "$root/tools/session.sh" start "$build" --private-display

status=0
run_bench() {
  echo "bench: running $1" >&2
  # Wine's console output ends lines with CR LF.
  if ! (cd "$build" && NAPKIT_RUN_TIMEOUT=900 "$root/tools/wine-run.sh" "bench/$1.exe" "${@:2}") \
       | tr -d '\r' >> "$results"; then
    echo "bench: $1 failed" >&2
    status=1
  fi
}
if [ "$command" = soak ]; then
  run_bench soak_bench
  cat "$results"
  exit $status
fi
run_bench startup_bench "$runs"
run_bench poll_bench
run_bench catalogue_bench

# The program file: size and imported DLLs.
dump=$NAPKIT_TRIPLE-objdump
imports_of() { $dump -p "$1" | sed -n 's/^[[:space:]]*DLL Name: //p' | paste -sd, - | sed 's/,/, /g'; }
{
  echo "size.napkit_bytes $(stat -c %s "$build/NAPKIT.EXE")"
  echo "size.baseline_bytes $(stat -c %s "$build/bench/baseline_tray.exe")"
  echo "imports.napkit $(imports_of "$build/NAPKIT.EXE")"
  echo "imports.baseline $(imports_of "$build/bench/baseline_tray.exe")"
  echo "machine.cpu $(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1)"
  echo "machine.cores $(nproc)"
  echo "machine.memory_kib $(sed -n 's/^MemTotal:[[:space:]]*\([0-9]*\) kB/\1/p' /proc/meminfo)"
  echo "machine.wine $("$NAPKIT_WINE" --version) ($NAPKIT_ARCH build)"
  echo "machine.kernel $(uname -sr)"
  echo "machine.load $(cut -d' ' -f1-3 /proc/loadavg)"
  echo "machine.commit $(git -C "$root" rev-parse --short HEAD 2>/dev/null || echo unknown)"
  echo "machine.date $(date -u +%Y-%m-%d)"
} >> "$results"

python3 - "$results" "$build/bench/table.md" <<'PY'
import sys

results, table_path = sys.argv[1], sys.argv[2]
r = {}
for line in open(results, encoding="utf-8", errors="replace"):
    key, _, value = line.strip().partition(" ")
    if key:
        r[key] = value

def num(key):
    try:
        return float(r[key])
    except (KeyError, ValueError):
        return None

rows = []

def ms(v): return "—" if v is None else f"{v:,.2f} ms" if v < 10 else f"{v:,.1f} ms"
def us(v): return "—" if v is None else f"{v:,.0f} µs"
def kib(v): return "—" if v is None else f"{v:,.0f} KiB"

def ratio_row(measure, a, b, fmt, goal=None, extra="", base_extra=""):
    if a is None or b is None or b == 0:
        rows.append((measure, fmt(a), fmt(b), "—", f"≤ {goal} ×" if goal else "—",
                     "not measured" if goal else ""))
        return
    ratio = a / b
    verdict = ""
    if goal is not None:
        verdict = "met" if ratio <= goal else "NOT met"
    rows.append((measure, fmt(a) + extra, fmt(b) + base_extra, f"{ratio:.2f}",
                 f"≤ {goal} ×" if goal else "—", verdict))

def note(word, key, fmt):
    v = num(key)
    return "" if v is None else f" ({word} {fmt(v)})"

# Start-up: the ratio is the median of the ratios of the two starts of each
# round, which ran back to back.
n_runs = int(num("startup.runs") or 0)
a, b, p = num("startup.napkit_ms"), num("startup.baseline_ms"), num("startup.paired_ratio")
label = f"Start-up to tray icon, 10 savers (median of {n_runs})"
if None in (a, b, p) or b == 0:
    rows.append((label, ms(a), ms(b), "—", "≤ 1.5 ×", "not measured"))
else:
    rows.append((label, ms(a) + note("fastest", "startup.napkit_min_ms", ms),
                 ms(b) + note("fastest", "startup.baseline_min_ms", ms),
                 f"{p:.2f} (of the medians {a / b:.2f})", "≤ 1.5 ×",
                 "met" if p <= 1.5 else "NOT met"))
ticks = int(num("poll.ticks") or 0)
ratio_row(f"One poll tick (mean of {ticks:,})",
          num("poll.napkit_us"), num("poll.baseline_us"), us, 1.1,
          note("median", "poll.napkit_median_us", us),
          note("median", "poll.baseline_median_us", us))
# Catalogue: the ratio is the median of the ratios of builds and loops that
# ran back to back, which a burst of load elsewhere on the machine cannot
# tilt the way it can tilt a ratio of two separate averages.
sizes = [10, 100, 899]
paired = {}
for n in sizes:
    reps = int(num(f"catalogue.{n}.repetitions") or 0)
    found = num(f"catalogue.{n}.catalogued")
    label = f"Catalogue build, {n} savers (mean of the middle half of {reps})"
    if found is not None and int(found) != n:
        label += f" [{int(found)} catalogued]"
    a, b, p = (num(f"catalogue.{n}.napkit_ms"), num(f"catalogue.{n}.baseline_ms"),
               num(f"catalogue.{n}.paired_ratio"))
    if None in (a, b, p) or b == 0:
        rows.append((label, ms(a), ms(b), "—", "≤ 1.2 ×", "not measured"))
        continue
    paired[n] = p
    rows.append((label, ms(a) + note("plain mean", f"catalogue.{n}.napkit_mean_ms", ms),
                 ms(b) + note("plain mean", f"catalogue.{n}.baseline_mean_ms", ms),
                 f"{p:.2f} (of the means {a / b:.2f})", "≤ 1.2 ×",
                 "met" if p <= 1.2 else "NOT met"))
for n in sizes:
    ratio_row(f"  cost per saver at {n}", num(f"catalogue.{n}.napkit_us_per_saver"),
              num(f"catalogue.{n}.baseline_us_per_saver"), us)

# Linear growth: the bare loop does only the work that every file needs, so a
# program whose cost grows linearly keeps its ratio to the loop as the count
# grows (at 10 savers the fixed work of a build still shows).
if 100 in paired and 899 in paired:
    growth = paired[899] / paired[100]
    rows.append(("  growth: ratio at 899 over ratio at 100 savers",
                 f"{paired[899]:.2f} / {paired[100]:.2f}", "—", f"{growth:.2f}",
                 "linear: ≤ 1.25 ×", "met" if growth <= 1.25 else "NOT met"))

counter = r.get("memory.napkit.start.counter", "?")
start = num("memory.napkit.start.private_kib")
base_start = num("memory.baseline.start.private_kib")
points = [("after start", "start"),
          (f"after {int(num('memory.ticks') or 0):,} ticks", "ticks"),
          (f"after {int(num('memory.refreshes') or 0):,} refreshes", "refreshes")]
for label, point in points:
    v = num(f"memory.napkit.{point}.private_kib")
    extra = "" if point == "start" or v is None or start is None else f" ({v - start:+,.0f})"
    ratio_row(f"Private bytes {label} [{counter}]", v, base_start, kib, None, extra)
for label, point in points:
    if num(f"memory.napkit.{point}.gui_counted") == 1:
        value = (f"{int(num(f'memory.napkit.{point}.user_objects'))} / "
                 f"{int(num(f'memory.napkit.{point}.gdi_objects'))}")
        base = (f"{int(num('memory.baseline.start.user_objects') or 0)} / "
                f"{int(num('memory.baseline.start.gdi_objects') or 0)}")
    else:
        value, base = "n/a (GetGuiResources not implemented)", "n/a"
    rows.append((f"USER / GDI objects {label}", value, base, "—", "—", ""))

size, base_size = num("size.napkit_bytes"), num("size.baseline_bytes")
if size is not None and base_size:
    rows.append(("NAPKIT.EXE size, resources included",
                 f"{int(size):,} bytes ({size / 1024:.1f} KiB)",
                 f"{int(base_size):,} bytes", f"{size / base_size:.2f}", "≤ 44 KiB",
                 "met" if size <= 44 * 1024 else "NOT met"))
rows.append(("Imported DLLs", r.get("imports.napkit", "?"), r.get("imports.baseline", "?"),
             "—", "—", ""))

mem_gib = (num("machine.memory_kib") or 0) / 1024 / 1024
lines = [
    f"Machine: {r.get('machine.cpu', '?')}, {int(num('machine.cores') or 0)} cores, "
    f"{mem_gib:.1f} GiB memory; {r.get('machine.kernel', '?')}; {r.get('machine.wine', '?')}; "
    f"load average at the end {r.get('machine.load', '?')}; "
    f"commit {r.get('machine.commit', '?')}, {r.get('machine.date', '?')}",
    "Baselines: baseline_tray.exe (start-up, memory, size); the bare calls of a tick; "
    "a FindFirstFileA/LoadLibraryExA(AS_DATAFILE) loop over the same folders.",
    "",
    "| Measure | NAPKIT | Baseline | Ratio | Goal | |",
    "|---|---|---|---|---|---|",
]
lines += ["| " + " | ".join(row) + " |" for row in rows]
boxes = sum(int(num(k) or 0) for k in ("startup.boxes", "poll.boxes", "catalogue.boxes"))
failures = int(num("startup.failures") or 0)
if boxes:
    lines.append(f"\nWarning: {boxes} message box(es) appeared and were answered during the run.")
if failures:
    lines.append(f"\nWarning: {failures} start-up run(s) saw no tray icon within the time limit.")
text = "\n".join(lines) + "\n"
open(table_path, "w", encoding="utf-8").write(text)
sys.stdout.write(text)
PY
exit $status
