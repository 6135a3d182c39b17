#!/usr/bin/env python3
"""Prints the speed table of the instrument road from the benchmarks' JSON outputs.

Each row is the ratio (or, where marked, the difference) of two benchmarks' medians from one run of one
benchmark program (both sides measured interleaved in the same process, so machine noise falls on both),
or a counter a benchmark reports (a count per query, or a ratio it measured itself), compared with its goal; a
row without a goal only reports its figure. Beside the figure: the least of the repetitions' figures (each
repetition's numerator against the same repetition's denominator) and their spread, the greatest less the
least, which says how far apart two runs of the table may read.

    bench/table.py RESULTS_DIR        reads RESULTS_DIR/<run>.json as scripts/bench writes them
Exit code 0 when every row was measured (met or missed) or skipped for a reason its benchmark gave (an
error message starting "skipped:", such as a missing pyvisa-py), 1 when a row could not be measured.
"""

import json
import os
import sys

# (the row's text, the run's file, numerator, denominator, time kind, goal, "<=" or ">=")
# A run is one program with one pinning; "real" is wall time, for pairs where a peer process does half the
# work, "cpu" the calling thread's time for pairs that stay in the process; "real-us-difference" is the
# numerator's wall time less the denominator's, in microseconds; "counter:<name>" a counter of the numerator
# (no denominator); a whole goal (wake-ups per query) is met when the figure rounded to one decimal meets it.
ROWS = [
    ("trace line with no tracer / snprintf", "trace",
     "BM_TraceInfoNoTracer", "BM_PlainFormat", "cpu", 1.5, "<="),
    ("long trace line with no tracer / snprintf", "trace",
     "BM_TraceInfoLongNoTracer", "BM_PlainFormatLong", "cpu", 1.5, "<="),
    # blocks of 100 queries of each side in turn, each side against an instrument of its own
    ("VISA connection query / raw C write+read", "instrel",
     "BM_ConnectionQueryPaired", None, "counter:ratio", 1.2, "<="),
    ("1 MB answer through the VISA session / raw C", "instrel",
     "BM_SessionMegabyte", "BM_RawSocketMegabyte", "real", 1.5, "<="),
    ("1 MB answer through the connection / the session", "instrel",
     "BM_ConnectionMegabyte", "BM_SessionMegabyte", "real", 1.3, "<="),
    ("Xlatrix parse of one reading / hand-written", "xlatrix",
     "BM_XlatrixParseReading", "BM_HandParseReading", "cpu", 10, "<="),
    ("Xlatrix parse of a 10-value list / hand-written", "xlatrix",
     "BM_XlatrixParseFetch", "BM_HandParseFetch", "cpu", 10, "<="),
    ("Xlatrix compose / hand-written", "xlatrix",
     "BM_XlatrixComposeConfigure", "BM_HandComposeConfigure", "cpu", 5, "<="),
    ("Xlatrix parse of 62,500 values / hand-written", "xlatrix",
     "BM_XlatrixParseLargeFetch", "BM_HandParseLargeFetch", "cpu", 10, "<="),
    ("cross-process Invoke / Unix-socket ping-pong, one core", "rpc-one-core",
     "CrossProcessInvoke", "UnixSocketPingPong", "real", 1.5, "<="),
    ("cross-process Invoke / Unix-socket ping-pong, two cores", "rpc",
     "CrossProcessInvoke", "UnixSocketPingPong", "real", 1.5, "<="),
    # frames a channel's reader thread read and handed over to the thread that runs them, per call of a run
    # on one core (an Echo, a Bounce calling back); a reader that took every frame handed over one per call
    ("reader hand-offs per call, server's side, one core", "rpc-one-core",
     "CrossProcessHandOffs", None, "counter:server_hand_offs_per_call", 0.01, "<="),
    ("reader hand-offs per call, caller's side, one core", "rpc-one-core",
     "CrossProcessHandOffs", None, "counter:client_hand_offs_per_call", 0.01, "<="),
    ("JScript property read of a socket in rigmont / raw C query", "road",
     "BM_ScriptSocketRead", "BM_BareQuery", "real", 3, "<="),
    ("Preset/Test/Reset with one such read / raw C query", "road",
     "BM_RoadOfOneTest", "BM_BareQuery", "real", 5, "<="),
    ("SetNextTestExecSession, 100,000 rows / near-empty (SQLite)", "results",
     "NextSessionManyRows/SQLite", "NextSessionOneRow/SQLite", "real", 2, "<="),
    ("SetNextTestExecSession, 100,000 rows / near-empty (PostgreSQL)", "results",
     "NextSessionManyRows/PostgreSQL", "NextSessionOneRow/PostgreSQL", "real", 2, "<="),
    # rows/s of SaveResult against rows/s of the bare insert: the bare insert's time over SaveResult's
    ("SaveResult on PostgreSQL, rows/s / bare prepared ODBC insert", "results",
     "BareInsert/PostgreSQL", "SaveResult/PostgreSQL", "real", 0.7, ">="),
    # per point of 10,000 added one by one, each painted before the call returns (only what the point adds,
    # so the cost stays flat as the curve grows); no goal is set
    ("graph point from JScript into the graph host / engine call", "graph",
     "BM_GraphScript/graph_point", "BM_GraphScript/engine_call", "real", None, None),
    # the station as a user runs it (nothing pinned): a JScript loop of DMM.Identify() in scrivon through
    # rigmont against pyvisa-py's query() of the same instrument; then both with one busy process per core
    ("JScript query in scrivon through rigmont / pyvisa-py query()", "station",
     "BM_StationScriptQuery", "BM_PyVisaQuery", "real", 1.5, "<="),
    ("the same with one busy process per core", "station",
     "BM_StationScriptQueryBusy", "BM_PyVisaQueryBusy", "real", 2, "<="),
    # a script's query through scrivon and rigmont: each thread's wake-ups per query (docs/ARCHITECTURE.md,
    # road (a))
    ("wake-ups per query: scrivon's worker", "station",
     "BM_StationQueryWakeUps", None, "counter:scrivon_worker", 1, "<="),
    ("wake-ups per query: rigmont's main thread", "station",
     "BM_StationQueryWakeUps", None, "counter:rigmont_main", 2, "<="),
    ("wake-ups per query: the instrument", "station",
     "BM_StationQueryWakeUps", None, "counter:instrument", 1, "<="),
    # the readers' goal is none (their hand-offs are the rpc rows above); the periodic waits of idle threads
    # (timers, the server's idle poll) land here too, so this row only reports
    ("wake-ups per query: channel readers and other threads", "station",
     "BM_StationQueryWakeUps", None, "counter:other_threads", None, None),
    ("wake-ups per query: those three together", "station",
     "BM_StationQueryWakeUps", None, "counter:total", 4, "<="),
    # a difference, not a ratio: the executive's own microseconds per test, as the process's CPU time of a
    # sequence's run less the bare worker's, in alternating blocks of 20 tests (the median block)
    ("test executive's own CPU time per test, us (sequence run - bare worker)", "runvex",
     "BM_ExecutiveOwnCpuPaired", None, "counter:own_cpu_us_per_test", 50, "<="),
]

# Microseconds per time unit of Google Benchmark's JSON.
MICROSECONDS = {"ns": 1e-3, "us": 1.0, "ms": 1e3, "s": 1e6}


def base_name(entry):
    """A benchmark's name without the suffixes its options add."""
    name = entry.get("run_name", entry.get("name", ""))
    base = name.split("/min_time")[0].split("/iterations:")[0].split("/real_time")[0]
    return base.split("/manual_time")[0]


def figures(entry, scale):
    """The times of one benchmark entry, and its counters (any other number in it)."""
    real = entry.get("real_time")
    found = {"real": real, "cpu": entry.get("cpu_time"),
             "real-us": None if real is None else real * scale}
    cpu = entry.get("process_cpu_us_per_test")
    found["cpu-us"] = cpu
    for key, value in entry.items():
        if isinstance(value, (int, float)) and key not in found:
            found["counter:" + key] = value
    return found


def medians(path):
    """The median times per iteration of one run, by benchmark name without its suffixes, each with the
    list of its repetitions' figures under "repetitions"; a benchmark that skipped itself with a message
    starting "skipped:" stands as that message."""
    try:
        with open(path, encoding="utf-8") as file:
            report = json.load(file)
    except (OSError, ValueError):
        return {}
    found = {}
    for entry in report.get("benchmarks", []):
        if entry.get("error_occurred") and entry.get("error_message", "").startswith("skipped:"):
            found.setdefault(base_name(entry), {"skipped": entry["error_message"]})
            continue
        if entry.get("error_occurred"):
            continue
        if entry.get("run_type") == "aggregate" and entry.get("aggregate_name") != "median":
            continue
        base = base_name(entry)
        scale = MICROSECONDS.get(entry.get("time_unit", "ns"), 1e-3)
        times = figures(entry, scale)
        repetitions = found.get(base, {}).get("repetitions", [])
        if entry.get("run_type") != "aggregate":
            repetitions = repetitions + [times]
        # A median beats the single runs it summarises; a lone run stands when there was no repetition.
        if entry.get("run_type") == "aggregate" or base not in found or "aggregate" not in found[base]:
            kept = dict(times)
            if entry.get("run_type") == "aggregate":
                kept["aggregate"] = True
            found[base] = kept
        found[base]["repetitions"] = repetitions
    return found


def figure_of(top, bottom, difference):
    """The row's figure from its numerator's and denominator's values (no denominator: the numerator)."""
    if bottom is None:
        return top
    return top - bottom if difference else top / bottom


def spread(run, numerator, denominator, kind, difference):
    """The least figure of the repetitions, and the greatest less the least; None when fewer than two."""
    tops = [times.get(kind) for times in run.get(numerator, {}).get("repetitions", [])]
    bottoms = [None] * len(tops)
    if denominator is not None:
        bottoms = [times.get(kind) for times in run.get(denominator, {}).get("repetitions", [])]
    values = [figure_of(top, bottom, difference) for top, bottom in zip(tops, bottoms)
              if top is not None and (denominator is None or bottom)]
    if len(values) < 2:
        return None
    return min(values), max(values) - min(values)


def main():
    if len(sys.argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    folder = sys.argv[1]
    runs = {}
    lines = []
    complete = True
    for text, run, numerator, denominator, kind, goal, sense in ROWS:
        if run not in runs:
            runs[run] = medians(os.path.join(folder, run + ".json"))
        difference = kind.endswith("-difference")
        kind = kind.removesuffix("-difference")
        top = runs[run].get(numerator, {}).get(kind)
        bottom = None if denominator is None else runs[run].get(denominator, {}).get(kind)
        wanted = "-" if goal is None else f"{sense} {goal:g}"
        names = [name for name in (numerator, denominator) if name is not None]
        skipped = [runs[run].get(name, {}).get("skipped") for name in names]
        if any(skipped):
            lines.append((text, "skipped", "", "", wanted, next(reason for reason in skipped if reason)))
            continue
        if top is None or (denominator is not None and not bottom):
            lines.append((text, "not measured", "", "", wanted, "missed"))
            complete = False
            continue
        figure = figure_of(top, bottom, difference)
        least = spread(runs[run], numerator, denominator, kind, difference)
        places = 3 if goal is not None and 0 < goal < 0.1 else 2
        low, wide = ("", "") if least is None else (f"{least[0]:.{places}f}", f"{least[1]:.{places}f}")
        if goal is None:
            lines.append((text, f"{figure:.{places}f}", low, wide, wanted, "measured"))
            continue
        judged = round(figure, 1) if kind.startswith("counter:") and goal == int(goal) else figure
        met = judged <= goal if sense == "<=" else judged >= goal
        lines.append((text, f"{figure:.{places}f}", low, wide, wanted, "met" if met else "missed"))
    width = max(len(line[0]) for line in lines)
    print(f"{'pair (ratio of medians) or count':<{width}}  {'today':>12}  {'least':>8}  {'spread':>8}  "
          f"{'goal':>7}  result")
    for text, figure, low, wide, goal, result in lines:
        print(f"{text:<{width}}  {figure:>12}  {low:>8}  {wide:>8}  {goal:>7}  {result}")
    return 0 if complete else 1


if __name__ == "__main__":
    sys.exit(main())
