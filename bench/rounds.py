#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The client's cost per poll round against norv-sim: CPU seconds of the window's thread and of the whole process per
round, and the peak resident memory. Starts norv-sim with the given number of hosts (its realistic schedule), logs in
as the demo does, runs the client offscreen polling every 5 seconds, lets it warm up, then measures over the rounds.

  bench/rounds.py BUILD_DIR [--hosts 10000] [--rounds 20] [--warmup 3]
"""
import argparse, os, re, subprocess, sys, tempfile, time

def ticks(path, fields):
    parts = open(path).read().rsplit(")", 1)[1].split()
    return sum(int(parts[f - 3]) for f in fields)  # utime and stime, counted from the state field (3)

def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("build")
    p.add_argument("--hosts", type=int, default=10000)
    p.add_argument("--rounds", type=int, default=20)
    p.add_argument("--warmup", type=int, default=3)
    a = p.parse_args()
    work = tempfile.mkdtemp(prefix="norv-rounds-")
    log = os.path.join(work, "requests.log")
    sim = subprocess.Popen([os.path.join(a.build, "tools/sim/norv-sim"), "--port", "0", "--hosts", str(a.hosts),
                            "--seed", "7", "--log", log], stdout=subprocess.PIPE, text=True)
    url = None
    while not url:
        line = sim.stdout.readline()
        if not line:
            sys.exit("norv-sim did not start")
        m = re.search(r"https?://\S+", line)
        url = m and m.group(0)
    env = dict(os.environ, XDG_CONFIG_HOME=os.path.join(work, "config"), QT_QPA_PLATFORM="offscreen",
               USER="norv-rounds-%d" % os.getpid())
    subprocess.run([os.path.join(a.build, "tools/demo/norv-demo-login"), url, "operator", "operator", "5"],
                   env=env, check=True, stdout=subprocess.DEVNULL)
    gui = subprocess.Popen([os.path.join(a.build, "src/norv-gui")], env=env, stderr=subprocess.DEVNULL)
    def trees():
        try:
            return sum(" GET /api/tree/status 200 " in l for l in open(log))
        except FileNotFoundError:
            return 0
    def wait(count):
        while trees() < count:
            if gui.poll() is not None:
                sys.exit("the client ended")
            time.sleep(0.2)
    try:
        wait(a.warmup + 1)
        time.sleep(2.5)  # the warm-up's last tree is shown
        hz = os.sysconf("SC_CLK_TCK")
        stat, main_stat = "/proc/%d/stat" % gui.pid, "/proc/%d/task/%d/stat" % (gui.pid, gui.pid)
        first, process0, window0 = trees(), ticks(stat, (14, 15)), ticks(main_stat, (14, 15))
        wait(first + a.rounds)
        time.sleep(2.5)
        process1, window1 = ticks(stat, (14, 15)), ticks(main_stat, (14, 15))
        peak = re.search(r"VmHWM:\s+(\d+) kB", open("/proc/%d/status" % gui.pid).read()).group(1)
        print("%d hosts, %d rounds: window thread %.3f s CPU per round, process %.3f s, peak %.0f MiB"
              % (a.hosts, a.rounds, (window1 - window0) / hz / a.rounds, (process1 - process0) / hz / a.rounds,
                 int(peak) / 1024))
    finally:
        gui.kill()
        sim.kill()

if __name__ == "__main__":
    main()
