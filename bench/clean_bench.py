#!/usr/bin/python3
"""Measures what the temporary-files clean-up costs with the real helper.

The helper reads /proc once per clean-up to keep what running programs use.
This prints what that reading adds with 300 more processes running, each
holding files open and mapped, and how long emptying 100 000 files takes with
them running, and how long when the helper must also ask the kernel about
each file, as it does when a process of the user's own cannot be looked into.
See README.md.

    /usr/bin/python3 bench/clean_bench.py [path/to/quenby-clean]   # default: build/src/quenby-clean

Everything happens in a scratch folder of its own: the helper runs with HOME,
the XDG folders and TMPDIR inside it and empties only a folder inside it.
"""

import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
PROCESSES = 300
FILES_PER_PROCESS = 40  # held open, and as many more mapped
FILES_TO_EMPTY = 100_000
RUNS = 7

# A program that opens some files, maps others, says it is ready and waits:
# a small C program, so that 300 of them cost little memory.
HOLDER_SOURCE = r"""
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <unistd.h>
int main(int argc, char **argv)
{
    int count = atoi(argv[2]);
    char path[4096];
    for (int i = 0; i < 2 * count; ++i) {
        snprintf(path, sizeof path, "%s/%d", argv[1], i);
        int fd = open(path, O_RDONLY);
        if (fd < 0)
            return 1;
        if (i >= count) {
            if (mmap(NULL, 1, PROT_READ, MAP_SHARED, fd, 0) == MAP_FAILED)
                return 1;
            close(fd);
        }
    }
    if (write(1, "r", 1) != 1)
        return 1;
    pause();
    return 0;
}
"""


def scratch_environment(root):
    env = dict(os.environ)
    for name, folder in [('HOME', 'home'), ('XDG_CONFIG_HOME', 'config'), ('XDG_DATA_HOME', 'data'),
                         ('XDG_CACHE_HOME', 'cache'), ('XDG_STATE_HOME', 'state'),
                         ('XDG_RUNTIME_DIR', 'runtime'), ('TMPDIR', 'tmp')]:
        env[name] = os.path.join(root, folder)
        os.makedirs(env[name], mode=0o700, exist_ok=True)
    return env


def fill(folder, count, per_folder=1000):
    for n in range(count):
        sub = os.path.join(folder, 'd%03d' % (n // per_folder))
        if n % per_folder == 0:
            os.makedirs(sub, exist_ok=True)
        with open(os.path.join(sub, '%d.tmp' % n), 'w') as f:
            f.write('x')


def run_helper(helper, folder, env, wrapper=()):
    """Wall-clock and processor seconds the helper took to empty `folder`, and its report."""
    start = time.perf_counter()
    child = subprocess.Popen([*wrapper, helper, '--empty', folder], env=env, stderr=subprocess.PIPE, text=True)
    report = child.stderr.read()
    _, status, usage = os.wait4(child.pid, 0)
    took = time.perf_counter() - start
    child.returncode = os.waitstatus_to_exitcode(status)
    if child.returncode != 0:
        raise RuntimeError('quenby-clean failed: ' + report)
    return took, usage.ru_utime + usage.ru_stime, report.strip()


def small_clean(helper, folder, env):
    """Median wall-clock and processor time of emptying a folder of ten files:
    little beyond the start and the reading of /proc."""
    walls, cpus = [], []
    for _ in range(RUNS):
        fill(folder, 10)
        wall, cpu, _ = run_helper(helper, folder, env)
        walls.append(wall)
        cpus.append(cpu)
    return statistics.median(walls), statistics.median(cpus)


def start_holders(root, env):
    source = os.path.join(root, 'holder.c')
    program = os.path.join(root, 'holder')
    with open(source, 'w') as f:
        f.write(HOLDER_SOURCE)
    subprocess.run(['cc', '-O2', '-o', program, source], check=True)
    holders = []
    for p in range(PROCESSES):
        # Files of the same file system as the folder emptied, but outside it.
        files = os.path.join(root, 'held', str(p))
        os.makedirs(files)
        for i in range(2 * FILES_PER_PROCESS):
            with open(os.path.join(files, str(i)), 'w') as f:
                f.write('x')
        holder = subprocess.Popen([program, files, str(FILES_PER_PROCESS)], stdout=subprocess.PIPE, env=env)
        holders.append(holder)
    for holder in holders:
        if holder.stdout.read(1) != b'r':
            raise RuntimeError('a holder did not start')
    return holders


def hide_a_process(env):
    """Makes the helper's picture of /proc incomplete, so that it asks the
    kernel about each file: a process of the user's own made non-dumpable, as
    ssh-agent makes itself. Root may look into every process: for root, the
    helper runs in a process namespace of its own instead, which hides the
    others. Returns the hidden process (or None) and the helper's wrapper."""
    if os.geteuid() == 0:
        return None, ['unshare', '--pid', '--fork', '--mount-proc']
    hidden = subprocess.Popen([sys.executable, '-c', 'import ctypes, time; ctypes.CDLL(None).prctl(4, 0, 0, 0, 0); '
                               'print(flush=True); time.sleep(3600)'], stdout=subprocess.PIPE, env=env)
    hidden.stdout.readline()
    return hidden, []


def stop(holders):
    for holder in holders:
        holder.kill()
    for holder in holders:
        holder.wait()


def main():
    helper = os.path.abspath(sys.argv[1] if len(sys.argv) > 1
                             else os.path.join(HERE, '..', 'build', 'src', 'quenby-clean'))
    root = tempfile.mkdtemp(prefix='quenby-clean-bench-')
    holders = []
    try:
        env = scratch_environment(root)
        target = os.path.join(env['TMPDIR'], 'emptied')
        os.makedirs(target)
        before = len([n for n in os.listdir('/proc') if n.isdigit()])
        alone = small_clean(helper, target, env)
        holders = start_holders(root, env)
        crowded = small_clean(helper, target, env)
        print('load average: %.2f %.2f %.2f on %d cores' % (os.getloadavg() + (os.cpu_count(),)))
        print('processes running: %d, then %d' % (before, before + PROCESSES))
        print('helper on 10 files, median of %d: %.1f ms (%.1f ms of processor time) alone, '
              '%.1f ms (%.1f ms) with %d more processes holding %d files open and %d mapped each'
              % (RUNS, alone[0] * 1e3, alone[1] * 1e3, crowded[0] * 1e3, crowded[1] * 1e3, PROCESSES,
                 FILES_PER_PROCESS, FILES_PER_PROCESS))
        print('reading /proc for %d more processes adds %.1f ms (%.1f ms of processor time; goal: under 100 ms)'
              % (PROCESSES, (crowded[0] - alone[0]) * 1e3, (crowded[1] - alone[1]) * 1e3))
        fill(target, FILES_TO_EMPTY)
        wall, cpu, report = run_helper(helper, target, env)
        print('emptying %d files in %d folders with them running: %.2f s (%.2f s of processor time; goal: within 2 s)'
              % (FILES_TO_EMPTY, FILES_TO_EMPTY // 1000, wall, cpu))
        print('  ' + report)
        hidden, wrapper = hide_a_process(env)
        holders += [hidden] if hidden else []
        fill(target, FILES_TO_EMPTY)
        wall, cpu, report = run_helper(helper, target, env, wrapper)
        print('emptying them again, each file asked of the kernel: %.2f s (%.2f s of processor time; goal: within 2 s)'
              % (wall, cpu))
        print('  ' + report)
    finally:
        stop(holders)
        shutil.rmtree(root, ignore_errors=True)


if __name__ == '__main__':
    main()
