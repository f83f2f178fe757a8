#!/usr/bin/env python3
"""report.py DIR NOTE RUNS PASSES WARMUP CHECKS: the tables of a bench/run.sh run from DIR (rows.tsv, hyperfine-*.json,
checks.tsv, the servers' logs) into DIR/latest.md; exits 1 when a check failed (a missed target is no failure).
report.py --readme README.md RESULTS: the tables of each Qt (RESULTS/latest-qt5.md, latest-qt6.md), each against its own
floor, into RESULTS/latest.md and between the bench-table markers of bench/README.md."""
import collections, glob, json, sys
from statistics import mean, median


def report(d, note, runs, passes, warmup, checks):
    rows, wall, cpu, codes, checked, floors = [], {}, {}, {}, {}, {"floor": [], "xfloor": []}
    for line in open(f"{d}/rows.tsv", encoding="utf-8"):
        key, label, _, code, starts, requests, n, _ = line.rstrip("\n").split("|")
        rows.append(dict(key=key, label=label or f"table of {int(n):,} entries (-l bench{n})",
                         expected=(int(code), int(starts), int(requests)), entries=int(n) if n else None))
    for path in sorted(glob.glob(f"{d}/hyperfine-*.json")):
        for r in json.load(open(path))["results"]:
            wall.setdefault(r["command"], []).extend(t * 1e3 for t in r["times"])
            cpu.setdefault(r["command"], []).extend([(r["user"] + r["system"]) * 1e3] * len(r["times"]))
            codes.setdefault(r["command"], []).extend(r["exit_codes"])
            floors.get(r["command"], []).append(median(r["times"]) * 1e3)
    for line in open(f"{d}/checks.tsv", encoding="utf-8"):
        key, code, rss, starts, requests, output = line.rstrip("\n").split("|", 5)
        checked.setdefault(key, []).append(((int(code), int(starts), int(requests)), int(rss) / 1024, output.strip()))
    for r in rows:  # rows on X (keys beginning with x) against the floor on X
        w, base = wall[r["key"]], "xfloor" if r["key"].startswith("x") else "floor"
        r.update(wall=median(w), min=min(w), max=max(w), cpu=mean(cpu[r["key"]]), ratio=median(w) / median(wall[base]),
                 cpu_ratio=mean(cpu[r["key"]]) / mean(cpu[base]), rss=median(c[1] for c in checked[r["key"]]))
    by = {r["key"]: r for r in rows}
    floor = by["floor"]
    md = ["| Row | Wall median (ms) | Min | Max | × floor | CPU mean (ms) | Peak RSS (MiB) | RSS − floor (MiB) |",
          "|---|---:|---:|---:|---:|---:|---:|---:|"]
    md += [f"| {r['label']} | {r['wall']:.1f} | {r['min']:.1f} | {r['max']:.1f} | {r['ratio']:.2f} | {r['cpu']:.1f} "
           f"| {r['rss']:.1f} | {'–' if r is floor else format(r['rss'] - floor['rss'], '+.1f')} |" for r in rows]
    md += ["", f"{note} {runs} runs per row in {passes} hyperfine passes (warm-up runs per row and pass: {warmup}; "
           "the rows' order rotated pass by pass): wall time median, min and max; CPU: user + system, hyperfine's "
           f"mean. Peak RSS: median of {checks} checked runs under GNU time (`%M`). Rows marked xcb ran on a private "
           "Xvfb and are set against the floor on it. The floor's median per pass ranged from "
           f"{min(floors['floor']):.1f} to {max(floors['floor']):.1f} ms (on X from {min(floors['xfloor']):.1f} to "
           f"{max(floors['xfloor']):.1f} ms): the machine's noise, to read the ratios against."]

    # String tables: what each size adds to the empty table, and how that grows with the entries.
    tables = sorted((r for r in rows if r["entries"] is not None), key=lambda r: r["entries"])
    for r in tables[1:]:
        r.update(added=r["wall"] - tables[0]["wall"], per=(r["wall"] - tables[0]["wall"]) * 1e3 / r["entries"])
    md += ["", "#### String table scaling", "", "| Entries | Wall median (ms) | Added vs. empty table (ms) "
           "| Per entry (µs) | Peak RSS (MiB) |", "|---:|---:|---:|---:|---:|"]
    md += [f"| {r['entries']:,} | {r['wall']:.1f} | {format(r['added'], '+.1f') if 'added' in r else '–'} | "
           f"{format(r['per'], '.2f') if 'per' in r else '–'} | {r['rss']:.1f} |" for r in tables]
    # Linear: each size adds its entries at the largest size's cost per entry, ±50 % + 2 ms of noise.
    largest, rate = tables[-1], tables[-1]["per"] / 1e3
    linear = all(abs(r["added"] - rate * r["entries"]) <= 0.5 * rate * r["entries"] + 2 for r in tables[1:])
    shares = ", ".join(f"{r['entries']:,}: {r['added'] / (rate * r['entries']):.2f}" for r in tables[1:-1])

    md += ["", "#### Targets", "", "| Target | Measured | |", "|---|---:|---|"]
    targets = [
        ("direct ≤ 1.00 × floor", by["direct"]["ratio"], "×", 1.00),
        ("direct, no locale ≤ 0.95 × floor", by["nolocale"]["ratio"], "×", 0.95),
        ("refused ≤ direct + 3 ms", by["refused"]["wall"] - by["direct"]["wall"], "ms", 3),
        ("second instance ≤ 0.70 × floor", by["second"]["ratio"], "×", 0.70),
        ("silent ≤ floor + 1,030 ms", by["silent"]["wall"] - floor["wall"], "ms", 1030),
        ("peak RSS of direct ≤ floor + 3 MiB", by["direct"]["rss"] - floor["rss"], "MiB", 3),
        ("10,000-entry table adds ≤ 60 ms", by["table10000"]["added"], "ms", 60),
        ("signed ≤ its unsigned twin (9.9 offered before) + 1 ms",
         by["signed"]["wall"] - by["offered"]["wall"], "ms", 1.0)]
    targets += [("direct over https ≤ 1.10 × floor", by["https"]["ratio"], "×", 1.10)] if "https" in by else []
    # On X: the starts that ask nothing, a second instance and the question, wall and CPU time alike.
    for key in ("xskip", "xnolocale", "xdirect", "xoffered"):
        targets += [(f"{by[key]['label']} ≤ 0.35 × floor on X{what}", by[key][ratio], "×", 0.35)
                    for what, ratio in (("", "ratio"), (", CPU", "cpu_ratio"))]
    targets += [(f"second instance (xcb) ≤ 0.25 × floor on X{what}", by["xsecond"][ratio], "×", 0.25)
                for what, ratio in (("", "ratio"), (", CPU", "cpu_ratio"))]
    targets += [("the question (xcb) ≤ the floor with the same question (reference)",
                 by["xquestion"]["wall"] / by["xfloorq"]["wall"], "×", 1.00)]
    for name, value, unit, limit in targets:
        md.append(f"| {name} | {value:{'.2f' if unit == '×' else '+.1f'}} {unit} | {'met' if value <= limit else 'missed'} |")
    md.append(f"| cost per entry linear from {tables[1]['entries']:,} to {largest['entries']:,} entries (each size within "
              f"±50 % + 2 ms of the {largest['entries']:,}-entry rate) | {shares} | {'met' if linear else 'missed'} |")

    md += ["", "#### Checks", ""]
    failed = [f"- {r['label']}: exit codes of the timed runs {sorted(set(codes[r['key']]))}, (exit code, product starts, "
              f"requests) of the checked runs {sorted({c[0] for c in checked[r['key']]})}; expected {r['expected']}" for r
              in rows if {r["expected"][0]} != set(codes[r["key"]]) or {r["expected"]} != {c[0] for c in checked[r["key"]]}]
    md += failed or ["- Every run ended with its row's exit code; in every checked run the product started exactly "
                     "when expected and the server was reached by the rows that ask it, once a run."]
    answers = collections.Counter("{0[5]} {0[6]} → {0[8]}".format(line.split())[1:] for line in open(f"{d}/access.log"))
    md += [] if "https" in by else ["- The https row was left out: it needs root and a mount namespace."]
    md += [f"- nginx answered {sum(answers.values())} requests: " + "; ".join(f"{n} × {a}" for a, n in answers.items()),
           f"- The silent server accepted {len(open(f'{d}/silent.log').readlines())} connections and answered none."]
    md += [f"- Output of {r['label']}: `{o}`" for r in rows for o in sorted({c[2] for c in checked[r["key"]]} - {""})]
    open(f"{d}/latest.md", "w", encoding="utf-8").write("\n".join(md) + "\n")
    print("\n".join(md))
    return 1 if failed else 0


def update_readme(readme, results, begin="<!-- bench-table:begin -->", end="<!-- bench-table:end -->"):
    head, rest = open(readme, encoding="utf-8").read().split(begin, 1)
    parts = [f"### Qt {qt}, against a floor built with Qt {qt}\n\n" + open(path, encoding="utf-8").read().strip()
             for qt in (5, 6) for path in glob.glob(f"{results}/latest-qt{qt}.md")]
    body = "\n\n".join(parts)
    open(f"{results}/latest.md", "w", encoding="utf-8").write(body + "\n")
    open(readme, "w", encoding="utf-8").write(f"{head}{begin}\n{body}\n{end}{rest.split(end, 1)[1]}")


if __name__ == "__main__":
    sys.exit(update_readme(*sys.argv[2:4]) if sys.argv[1] == "--readme" else report(*sys.argv[1:7]))
