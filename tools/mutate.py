#!/usr/bin/env python3
"""Mutation testing: do the tests fail when the product code is wrong?

Each mutant in tools/mutants.txt is one small change of the kind a
programmer makes by mistake. For each one this script puts the change into
the source, rebuilds incrementally, runs ctest, and puts the source back
(always: on a failed build, an exception, Ctrl-C or SIGTERM too; a run that
was killed outright is undone at the start of the next). A mutant is
"killed" when some test fails, "survived" when every test passes, "invalid"
when it does not compile (fix the mutant). Mutants marked "equivalent" cannot
change behaviour; they are run all the same, to show that no test fails.

  tools/mutate.py            every mutant, a table, and the score
  tools/mutate.py --only ID  only that mutant (repeatable, or ID,ID,...)
  tools/mutate.py --check    each mutant's text occurs exactly once (no build)
  tools/mutate.py --under web/   only the mutants of files under web/

A mutant of the C++ is built in build-mutate/ (Debug with AddressSanitizer
and UndefinedBehaviorSanitizer, so an out-of-bounds byte counts as a
failure) and tested by ctest; tests matching --slow run only for a mutant
that the others did not kill. A mutant of the page (web/) is tested by the
page's node tables, then, if they all pass, by the browser test, on the
site that --page-build (default build-web/, configured with emcmake) puts
together from the changed file.
"""
import argparse
import json
import os
import re
import signal
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
LIST = Path(__file__).resolve().with_name("mutants.txt")
KEYS = {"file", "from", "to", "breaks", "equivalent"}


class Mutant:
    def __init__(self, ident, line):
        self.id, self.line, self.fields = ident, line, {}

    def __getitem__(self, key):
        return self.fields.get(key) or ""


def parse(path):
    """[id] opens a mutant; "key: value" lines follow. A key with nothing
    after the colon takes the "|" lines below it, each without its "|",
    joined by line ends: text that spans lines or needs its indentation."""
    mutants, errors, current, key = [], [], None, None
    for number, raw in enumerate(path.read_text().splitlines(), 1):
        where = f"{path.name}:{number}"
        if raw.startswith("|"):
            if current is None or key is None:
                errors.append(f"{where}: '|' line outside a multi-line value")
            else:
                value = current.fields[key]
                current.fields[key] = raw[1:] if value is None else value + "\n" + raw[1:]
            continue
        key = None
        line = raw.strip()
        if not line or line.startswith("#"):
            continue
        header = re.fullmatch(r"\[([\w.-]+)\]", line)
        if header:
            current = Mutant(header.group(1), number)
            mutants.append(current)
        elif current is not None and ":" in line and line.split(":", 1)[0] in KEYS:
            name, value = (part.strip() for part in line.split(":", 1))
            if name in current.fields:
                errors.append(f"{where}: {name} given twice")
            if value:
                current.fields[name] = value
            else:
                current.fields[name], key = None, name
        else:
            errors.append(f"{where}: not understood: {line}")
    return mutants, errors


def check(mutants):
    """Everything that makes a mutant unusable, one message each."""
    errors, seen = [], set()
    for m in mutants:
        where = f"[{m.id}] ({LIST.name}:{m.line})"
        if m.id in seen:
            errors.append(f"{where}: the id is used twice")
        seen.add(m.id)
        missing = [k for k in ("file", "from", "to", "breaks") if k not in m.fields]
        if missing:
            errors.append(f"{where}: missing {', '.join(missing)}")
            continue
        if not m["from"] or m["from"] == m["to"]:
            errors.append(f"{where}: from is empty or the same as to")
            continue
        source = ROOT / m["file"]
        if not source.is_file():
            errors.append(f"{where}: no file {m['file']}")
            continue
        found = source.read_text().count(m["from"])
        if found != 1:
            errors.append(f"{where}: its text occurs {found} times in {m['file']}, not once")
    return errors


class Source:
    """The one file a mutant changes; the original is kept in the build
    directory until it is back, so a killed run is undone by the next."""

    def __init__(self, build):
        self.saved = build / "mutant-in-source.json"

    def restore(self):
        if self.saved.exists():
            kept = json.loads(self.saved.read_text())
            (ROOT / kept["file"]).write_text(kept["text"])
            self.saved.unlink()

    def apply(self, m):
        path = ROOT / m["file"]
        text = path.read_text()
        self.saved.write_text(json.dumps({"file": m["file"], "text": text}))
        path.write_text(text.replace(m["from"], m["to"], 1))


def run(command, limit, log, extra_env=None):
    """True when the command succeeds within `limit` seconds. It runs in a
    process group of its own, all of which is killed when it overruns or
    this script is stopped: no compiler or test is left behind."""
    env = dict(os.environ, **(extra_env or {}))
    # A mutant that loops and keeps what it writes must not eat the machine.
    env["ASAN_OPTIONS"] = "hard_rss_limit_mb=2048:" + env.get("ASAN_OPTIONS", "")
    with open(log, "w") as out:
        child = subprocess.Popen(command, cwd=ROOT, stdout=out, stderr=subprocess.STDOUT, env=env,
                                 start_new_session=True)
        try:
            return child.wait(timeout=limit) == 0
        except subprocess.TimeoutExpired:
            out.write(f"\n[mutate.py] stopped after {limit} s\n")
            return False
        finally:
            if child.poll() is None:
                os.killpg(child.pid, signal.SIGKILL)
                child.wait()


def failed_tests(log):
    """Names under ctest's "The following tests FAILED:"."""
    text = Path(log).read_text(errors="replace")
    tail = text.split("The following tests FAILED:", 1)
    if len(tail) < 2:
        return []
    return re.findall(r"^\s*\d+ - (\S+)", tail[1], re.M)


def ctest(args, build, select, log, limit):
    command = ["ctest", "--test-dir", str(build), "-j", str(args.jobs), "--timeout", str(limit)] + select
    ok = run(command, limit * 4, log)
    failed = failed_tests(log)
    return ok, failed or ([] if ok else ["(ctest itself: see " + str(log) + ")"])


def is_page(m):
    return m["file"].startswith("web/")


PAGE_TESTS = ROOT / "tests" / "web"
BROWSER_TEST = PAGE_TESTS / "night.test.mjs"


def node_test(files, log, limit, env=None):
    """node --test: (passed, the names of the tests that failed)."""
    ok = run(["node", "--test", *map(str, files)], limit, log, env)
    failed = re.findall(r"^\s*not ok \d+ - (.+)$", Path(log).read_text(errors="replace"), re.M)
    return ok, failed or ([] if ok else ["(node itself: see " + str(log) + ")"])


def page_test(args, page, log):
    """The node tables; when they all pass, the browser test on the site
    built from the source as it is now."""
    tables = sorted(f for f in PAGE_TESTS.glob("*.test.mjs") if f != BROWSER_TEST)
    ok, failed = node_test(tables, log, args.timeout)
    if not ok:
        return ok, failed
    if not run(["cmake", "--build", str(page)], 600, page / "mutant-build.log"):
        return False, ["(the site did not build: see " + str(page / "mutant-build.log") + ")"]
    env = {"VARNOCK_SITE": str(page / "site"), "VARNOCK_TRAPPING": str(page / "tests" / "web" / "trapping")}
    return node_test([BROWSER_TEST], log.with_suffix(".browser.log"), args.slow_timeout, env)


def test_mutant(args, build, page, source, m):
    """(status, failing tests, seconds)."""
    start = time.monotonic()
    source.apply(m)
    try:
        logs = build / "mutant-logs"
        logs.mkdir(exist_ok=True)
        if is_page(m):
            ok, failed = page_test(args, page, logs / f"{m.id}.log")
        else:
            if not run(["cmake", "--build", str(build), "-j", str(args.jobs)], 1800, build / "mutant-build.log"):
                return "invalid", [], time.monotonic() - start
            select = ["-E", args.slow] if args.slow else []
            ok, failed = ctest(args, build, select, logs / f"{m.id}.log", args.timeout)
            if ok and args.slow:
                ok, failed = ctest(args, build, ["-R", args.slow], logs / f"{m.id}.slow.log", args.slow_timeout)
    finally:
        source.restore()
    return ("survived" if ok else "killed"), failed, time.monotonic() - start


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--check", action="store_true", help="only check that every mutant applies")
    parser.add_argument("--only", action="append", default=[], metavar="ID", help="run only these mutants")
    parser.add_argument("--under", action="append", default=[], metavar="DIR/",
                        help="run only the mutants of files under this folder (repeatable)")
    parser.add_argument("--build", default=str(ROOT / "build-mutate"), help="build directory (default build-mutate)")
    parser.add_argument("--page-build", default=str(ROOT / "build-web"),
                        help="the page's build directory, configured with emcmake (default build-web)")
    parser.add_argument("--jobs", type=int, default=2, help="build and test jobs (default 2)")
    parser.add_argument("--timeout", type=int, default=120, help="seconds one test may take (default 120)")
    parser.add_argument("--slow", default="HugeInput", help="regex of tests run only when no other test fails")
    parser.add_argument("--slow-timeout", type=int, default=600, help="seconds one of those may take (default 600)")
    args = parser.parse_args()

    mutants, errors = parse(LIST)
    errors += check(mutants)
    if errors:
        print("\n".join(errors), file=sys.stderr)
        return 1
    if args.check:
        marked = sum(1 for m in mutants if m["equivalent"])
        print(f"{len(mutants)} mutants ({marked} marked equivalent): each text occurs exactly once")
        return 0
    wanted = {i for ids in args.only for i in ids.split(",") if i}
    unknown = wanted - {m.id for m in mutants}
    if unknown:
        print(f"no such mutant: {', '.join(sorted(unknown))}", file=sys.stderr)
        return 1
    chosen = [m for m in mutants if (not wanted or m.id in wanted)
              and (not args.under or any(m["file"].startswith(folder) for folder in args.under))]
    if not chosen:
        print("no mutant chosen", file=sys.stderr)
        return 1

    build = Path(args.build).resolve()
    build.mkdir(parents=True, exist_ok=True)
    page = Path(args.page_build).resolve()
    source = Source(build)
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(130))  # unwinds through the restores
    source.restore()
    print("building and testing the unchanged code ...", flush=True)
    if any(not is_page(m) for m in chosen):
        # Configured every time: a build directory made some other way gets the sanitizers too.
        if not run(["cmake", "-S", str(ROOT), "-B", str(build), "-DCMAKE_BUILD_TYPE=Debug", "-DVARNOCK_SANITIZE=ON",
                    "-DVARNOCK_LTO=OFF", "-DVARNOCK_COVERAGE=OFF", "-DVARNOCK_WERROR=OFF"], 600,
                   build / "mutant-build.log"):
            print(f"configuring {build} failed: see {build / 'mutant-build.log'}", file=sys.stderr)
            return 1
        if not run(["cmake", "--build", str(build), "-j", str(args.jobs)], 3600, build / "mutant-build.log") or \
                not ctest(args, build, [], build / "mutant-test.log", args.slow_timeout)[0]:
            print(f"the unchanged code does not build or pass: see {build}/mutant-*.log", file=sys.stderr)
            return 1
    if any(is_page(m) for m in chosen):
        if not (page / "CMakeCache.txt").is_file():
            print(f"no page build in {page}: emcmake cmake --preset web", file=sys.stderr)
            return 1
        if not page_test(args, page, build / "mutant-page-test.log")[0]:
            print(f"the unchanged page does not pass: see {build}/mutant-page-test*.log", file=sys.stderr)
            return 1

    width = max(len(m.id) for m in chosen)
    print(f"{'mutant':<{width}}  {'result':<10} {'secs':>5}  failing tests", flush=True)
    results, started = {}, time.monotonic()
    record = open(build / "mutate-results.tsv", "w")  # id, result, every failing test
    try:
        for m in chosen:
            status, failed, secs = test_mutant(args, build, page, source, m)
            if m["equivalent"]:
                status = "KILLED-EQ" if status == "killed" else "equivalent" if status == "survived" else status
            results[m.id] = status
            shown = ", ".join(failed[:3]) + (f" (+{len(failed) - 3})" if len(failed) > 3 else "")
            print(f"{m.id:<{width}}  {status:<10} {secs:5.0f}  {shown}", flush=True)
            record.write(f"{m.id}\t{status}\t{' '.join(failed)}\n")
            record.flush()
    except KeyboardInterrupt:
        print("interrupted; the source is as it was", file=sys.stderr)
        return 130

    count = lambda s: sum(1 for v in results.values() if v == s)
    killed, survived, invalid = count("killed"), count("survived"), count("invalid")
    scored = killed + survived
    print(f"\nscore: {killed} killed / {scored} non-equivalent"
          + (f" = {100.0 * killed / scored:.1f} %" if scored else "")
          + f"; {count('equivalent')} equivalent, {invalid} invalid, {count('KILLED-EQ')} killed though marked"
          + f" equivalent; {time.monotonic() - started:.0f} s")
    for m in chosen:
        if results[m.id] in ("survived", "invalid", "KILLED-EQ"):
            print(f"  {results[m.id]:<10} {m.id}: {m['breaks']}")
    return 0 if survived == invalid == count("KILLED-EQ") == 0 else 2


if __name__ == "__main__":
    sys.exit(main())
