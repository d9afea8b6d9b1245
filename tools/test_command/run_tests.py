"""The test command, ./run-tests, as its list of phases.

On Debian 12, as root, it installs what the tests need, builds setup.exe
(cross-compiled for Windows 98/Me), its 64-bit twin, a host build and a
sanitized host build, and runs each suite where the route table
(tools/host/host_route.py) says for this host: on the host, or in an emulated
PC begun as soon as the PC is made, beside the host's builds and tests. It
ends with where the time went, the Wine tests' times and the sweeps' counts.
"""

import argparse
import dataclasses
import os
import re
import subprocess
import sys
import threading
import time
from xml.etree import ElementTree

from tools import ROOT
from tools.host import emulated_pc, host_packages, host_route

BUILD = ROOT / "build"
PYTHON = "/usr/bin/python3"  # Debian's, which an emulated PC has too
TOOLCHAINS = ["cmake", "make", "g++", "clang", "libclang-rt-14-dev", "libgtest-dev",
              "libgmock-dev", "g++-mingw-w64-i686", "g++-mingw-w64-x86-64",
              "genisoimage"]  # the sample media pressed as disc images, for try-setup's tests
WINE_PACKAGES = (ROOT / "tools" / "host" / "wine-packages").read_text().split()
# The counts the sweeps and the fuzzer print, shown at the end.
COUNTS = re.compile(r"^((?:removal )?(?:fault|power-cut) points swept|recoveries|"
                    r"pairs of faults swept|faults followed by a power cut swept|"
                    r"stat::number_of_executed_units|stat::average_exec_per_sec): *(\d+)", re.M)
RESULTS = {"run": "Passed", "fail": "Failed", "notrun": "Skipped"}  # as JUnit's status says
# A passing test's output is kept to its end, where the counts are.
KEPT_OUTPUT = ["--test-output-size-passed", "16384", "--test-output-truncation", "tail"]

USAGE = """usage: ./run-tests [-L LABEL] [-R PATTERN]

Installs what the tests need (Debian 12, as root), builds setup.exe, its
64-bit twin and the host builds, and runs every test suite; ends with where
the time went. Status 0 when every test passed.

  -L LABEL    run only the tests with a label matching LABEL (a regular
              expression); each test's label is its suite: unit, fuzz,
              checks, tools, docs, wine (the shipped setup.exe on Wine), core
              (its core set), twin (the 64-bit twin), twin_calls, pages, pc
  -R PATTERN  run only the tests whose name matches PATTERN, for example
              -R 'Removal' or -R 'e2e.silent'
  -h, --help  print this and run nothing

The builds always run; a filter applies to every suite, and a suite runs only
where this host's route runs it. See docs/testing.md."""


def parse_arguments(argv):
    parser = argparse.ArgumentParser(prog="run-tests", add_help=False)
    parser.add_argument("-h", "--help", action="store_true")
    parser.add_argument("-L", dest="label")
    parser.add_argument("-R", dest="pattern")

    def error(message):
        print(f"run-tests: {message}; ./run-tests --help lists the options", file=sys.stderr)
        sys.exit(2)

    parser.error = error
    args = parser.parse_args(argv)
    if args.help:
        print(USAGE)
        sys.exit(0)
    args.filters = [*(["-L", args.label] if args.label else []),
                    *(["-R", args.pattern] if args.pattern else [])]
    return args


class Phases:
    """One line as each phase begins; its seconds are told at the end."""

    def __init__(self):
        self.times, self.name, self.started = [], None, time.monotonic()

    def begin(self, name):
        self.end()
        self.name, self.started = name, time.monotonic()
        print(f"== {name}", flush=True)

    def end(self):
        if self.name:
            self.took(time.monotonic() - self.started, self.name)
        self.name = None

    def took(self, seconds, name):
        self.times.append(f"{seconds:6.0f} s  {name}")


@dataclasses.dataclass
class TestResult:
    name: str
    seconds: float
    result: str   # "Passed", "Failed" or "Skipped"
    output: str


@dataclasses.dataclass
class SuiteRun:
    """One ctest run: where it ran, its status and each test's result."""
    what: str
    status: int
    results: list


def selected(suites):
    return ["-L", "^(" + "|".join(suites) + ")$"]


def results_of(junit):
    """Each test's result as ctest's JUnit report of a run gives it."""
    if not junit.exists():
        return []
    return [TestResult(case.get("name"), float(case.get("time") or 0),
                       RESULTS.get(case.get("status"), case.get("status")),
                       case.findtext("system-out") or "")
            for case in ElementTree.parse(junit).getroot().iter("testcase")]


def ctest(what, build, suites, filters, jobs, out=sys.stdout, extra=()):
    """Runs the tests of suites in the build folder, its output to out."""
    junit = BUILD / "logs" / (re.sub(r"\W+", "-", what).strip("-") + ".xml")
    junit.unlink(missing_ok=True)
    command = ["ctest", "--test-dir", str(build), "--output-on-failure", f"-j{jobs}",
               *selected(suites), "--output-junit", str(junit), *KEPT_OUTPUT, *extra, *filters]
    out.flush()
    status = subprocess.run(command, stdout=out, stderr=subprocess.STDOUT).returncode
    return SuiteRun(what, status, results_of(junit))


def install(packages):
    installed, problem = host_packages.install(packages)
    if installed:
        print("installed " + " ".join(installed) + (f" ({problem})" if problem else ""),
              flush=True)


def build(folder, *options, env=None):
    subprocess.run(["cmake", "-S", str(ROOT), "-B", str(BUILD / folder), *options], check=True,
                   stdout=subprocess.DEVNULL, env=env)
    subprocess.run(["cmake", "--build", str(BUILD / folder), f"-j{os.cpu_count()}"], check=True)


class PcPart:
    """The route's suites in the emulated PC, begun as soon as the PC is made
    and the host's build is configured, then the host's suites that judge
    what they made. Runs on its own thread; its output goes to its log, and
    it ends with its runs, its times and, where the PC could not run them,
    why not."""

    def __init__(self, filters):
        self.route, self.filters = None, filters  # the route is known once the twin is
        self.log = BUILD / "pc-tests.log"
        self.runs, self.times, self.unavailable = [], [], None
        # Made once per machine, from as soon as its own tools are there.
        self.started = time.monotonic()
        self.making = subprocess.Popen([PYTHON, "-m", "tools.host.emulated_pc", "make"],
                                       cwd=ROOT, preexec_fn=emulated_pc.die_with_this_process)
        self.scale = emulated_pc.slowdown()
        self.thread = threading.Thread(target=self.run)

    def run(self):
        with open(self.log, "w") as log:
            self.making.wait()
            self.times.append((time.monotonic() - self.started,
                               "making the emulated PC (beside the builds and host tests)"))
            started = time.monotonic()
            log.write("== tests: setup.exe end-to-end on Wine, in the emulated PC (Wine runs "
                      f"about {self.scale} times slower there)\n")
            log.flush()
            run = SuiteRun("in the emulated PC", 125, [])
            if self.making.returncode == 0:
                run = self.in_pc(log)
            self.times.append((time.monotonic() - started,
                               "tests: setup.exe end-to-end in the emulated PC"))
            if run.status == 125:
                self.unavailable = "the emulated PC could not be made or could not run them"
                log.write(f"== the Wine tests did not run: {self.unavailable} (above)\n")
                return
            self.runs.append(run)
            started = time.monotonic()
            log.write("== tests: from this host, on what the emulated PC made\n")
            # The fixtures they judge were made in the PC: none is run again.
            self.runs.append(ctest("after the emulated PC", BUILD / "host", self.route.after_pc,
                                   self.filters, 1, out=log, extra=["-FA", ".*"]))
            self.times.append((time.monotonic() - started,
                               "tests: from this host, on what the emulated PC made"))

    def in_pc(self, log):
        """The route's PC suites, run by ctest in the PC; 125 when it could not run them."""
        junit = BUILD / "logs" / "in-the-emulated-pc.xml"
        junit.unlink(missing_ok=True)
        command = [PYTHON, "-m", "tools.host.emulated_pc", "run", "--timeout", "4500", "--cwd",
                   str(ROOT), "--", "ctest", "--test-dir", str(BUILD / "host"),
                   "--output-on-failure", "-j2", *selected(self.route.pc), "--output-junit",
                   str(junit), *KEPT_OUTPUT, *self.filters]
        log.flush()
        status = subprocess.run(command, cwd=ROOT, stdout=log, stderr=subprocess.STDOUT).returncode
        return SuiteRun("in the emulated PC", status, results_of(junit))

    def wait_and_show(self):
        """Shows the PC's output so far, then as it comes, until it has ended."""
        shown = 0
        while True:
            alive = self.thread.is_alive()
            text = self.log.read_text(errors="replace") if self.log.exists() else ""
            sys.stdout.write(text[shown:])
            sys.stdout.flush()
            shown = len(text)
            if not alive:
                self.thread.join()
                return
            time.sleep(2)


def wine_test_times(runs):
    """The Wine tests of the runs, the longest first, one line each."""
    found = [(test.seconds, test.name, test.result) for run in runs for test in run.results
             if re.match(r"(twin\.)?(e2e|try_setup)\.", test.name)]
    return [f"{seconds:8.1f} s  {name}  ({result})" for seconds, name, result in
            sorted(found, reverse=True)]


def counts(runs):
    """The counts the sweeps and the fuzzer printed, added up by name and run."""
    total = {}
    for run in runs:
        for test in run.results:
            for name, number in COUNTS.findall(test.output):
                key = f"{name} ({run.what})"
                total[key] = total.get(key, 0) + int(number)
    return [f"{name}: {number}" for name, number in sorted(total.items())]


def skipped(runs):
    """Every test a run skipped, with the reason it gave."""
    return [f"{test.name} {run.what}: " + next(
                (line for line in test.output.splitlines() if "skipped" in line), "no reason given")
            for run in runs for test in run.results if test.result == "Skipped"]


def install_and_choose(filters, failures):
    """Installs what this host's route needs; returns the route's row of the
    table and, on an emulated PC's route, its part, whose making has begun."""
    # The route first: where it is the emulated PC, its making starts as soon
    # as its own tools are here, and goes on beside every other install.
    wine_route, reason = host_route.choose(host_route.this_host(install=True))
    pc = PcPart(filters) if wine_route == "emulated-pc" else None
    install(TOOLCHAINS)
    twin_missing = host_route.install_twin_wine()
    route_name = host_route.route_of(wine_route, twin_runs=twin_missing is None)
    install(["chromium"])  # the host judges try-setup's pages
    if wine_route == "direct":
        install(WINE_PACKAGES)
    elif wine_route == "emulated-pc":
        install(["imagemagick"])  # the host judges try-setup's screenshots
    print(f"== route: {route_name}" + (f" ({reason})" if reason else ""), flush=True)
    if pc is not None:
        pc.route = host_route.ROUTES[route_name]
        if twin_missing:
            print(f"== the 64-bit twin cannot run here ({twin_missing}): every scenario runs "
                  "in the emulated PC, slower", flush=True)
    if wine_route == "none":
        cannot_run(f"the Wine tests cannot run here: {reason}", failures)
    return host_route.ROUTES[route_name], pc


def cannot_run(why, failures):
    """One line; by hand the other suites tell what they can, and CI fails."""
    print(f"== {why}", flush=True)
    if os.environ.get("CI") == "true":
        failures.append(f"under CI the Wine tests must run: {why}")


def build_all(pc):
    build("win32", f"-DCMAKE_TOOLCHAIN_FILE={ROOT}/cmake/i686-w64-mingw32.cmake",
          "-DCMAKE_BUILD_TYPE=MinSizeRel")
    build("win64", f"-DCMAKE_TOOLCHAIN_FILE={ROOT}/cmake/x86_64-w64-mingw32.cmake",
          "-DCMAKE_BUILD_TYPE=MinSizeRel")
    # Optimised: the fault sweeps run about a hundred thousand simulated runs.
    build("host", "-DCMAKE_BUILD_TYPE=RelWithDebInfo", f"-DWINDOWS_BUILD_DIR={BUILD / 'win32'}",
          f"-DTWIN_BUILD_DIR={BUILD / 'win64'}", f"-DPython3_EXECUTABLE={PYTHON}",
          f"-DWINE_TIME_SCALE={pc.scale if pc else 1}")
    if pc is not None:
        pc.thread.start()  # the PC's ctest needs the host build's test list


def summary(phases, runs, failures):
    print("== where the time went")
    print("\n".join(phases.times))
    times = wine_test_times(runs)
    if times:
        print("== the Wine tests, the longest first")
        print("\n".join(times))
    print("== counts")
    print("\n".join(counts(runs)))
    failures += [f"tests failed {run.what}" for run in runs if run.status != 0]
    if os.environ.get("CI") == "true":
        failures += [f"under CI no test may skip: {test}" for test in skipped(runs)]
    for failure in failures:
        print(f"== {failure}")


def main(argv):
    args = parse_arguments(argv)
    os.chdir(ROOT)
    (BUILD / "logs").mkdir(parents=True, exist_ok=True)
    phases, runs, failures = Phases(), [], []
    phases.begin("installing what the tests need")
    route, pc = install_and_choose(args.filters, failures)
    phases.begin("builds: setup.exe for Windows 98 and Me, its 64-bit twin, the host's")
    build_all(pc)
    phases.begin("sanitized build (AddressSanitizer, UndefinedBehaviorSanitizer) with the fuzzer")
    build("sanitize", "-DCMAKE_BUILD_TYPE=RelWithDebInfo", "-DSANITIZE=ON",
          env=dict(os.environ, CC="clang", CXX="clang++"))
    # Every suite runs, whatever an earlier one found; the status tells if any failed.
    phases.begin(f"tests on this host: {', '.join(route.host)}")
    runs.append(ctest("on this host", BUILD / "host", route.host, args.filters, os.cpu_count()))
    phases.begin("tests: unit and fault sweep under the sanitizers, and the fuzzer")
    runs.append(ctest("under the sanitizers", BUILD / "sanitize", host_route.SANITIZED,
                      args.filters, os.cpu_count()))
    if pc is not None:
        phases.begin("the emulated PC's part, begun as soon as it was made (build/pc-tests.log)")
        pc.wait_and_show()
        runs += pc.runs
        for seconds, name in pc.times:
            phases.took(seconds, name)
        if pc.unavailable:
            cannot_run(f"the Wine tests did not run: {pc.unavailable}", failures)
    phases.end()
    summary(phases, runs, failures)
    return 1 if failures else 0


if __name__ == "__main__":
    try:
        sys.exit(main(sys.argv[1:]))
    except (host_packages.InstallError, subprocess.CalledProcessError) as error:
        print(f"run-tests: {error}", file=sys.stderr)
        sys.exit(1)
