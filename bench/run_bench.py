#!/usr/bin/python3
"""Measures the cost and the delays of an end-of-session run with the real binary.

Runs in a sandbox of its own (scratch HOME, XDG folders and TMPDIR, a private
Xvfb display, a private D-Bus daemon standing in for the system bus with the
logind mock of python3-dbusmock on it): a power button pressed here can only
reach the mock. See README.md.

    /usr/bin/python3 bench/run_bench.py [path/to/quenby]
"""

import os
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, '..', 'tests', 'e2e'))

from harness import MAIN_BUTTONS, Sandbox, wait_until  # noqa: E402

TICKS = os.sysconf('SC_CLK_TCK')

# A slot program that notes when it starts and when it ends, and does nothing
# else: a small C program, so that its own start costs as little as possible.
STAMP_SOURCE = r"""
#include <stdio.h>
#include <time.h>
static double now(void)
{
    struct timespec t;
    clock_gettime(CLOCK_REALTIME, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}
int main(int argc, char **argv)
{
    double start = now();
    FILE *f = fopen(STAMPS, "a");
    if (!f || argc < 2)
        return 1;
    fprintf(f, "start %s %.6f\n", argv[1], start);
    fprintf(f, "end %s %.6f\n", argv[1], now());
    return fclose(f) != 0;
}
"""


def cpu_seconds(pid):
    """Processor time used so far by the process (all its threads)."""
    try:
        with open('/proc/%d/schedstat' % pid) as f:
            return int(f.read().split()[0]) / 1e9
    except (OSError, ValueError, IndexError):
        with open('/proc/%d/stat' % pid) as f:
            fields = f.read().rsplit(')', 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / TICKS


def settings(**values):
    base = {'Form1Top': '0', 'Form1Left': '0', 'byou': '0'}
    for n in range(1, 8):
        base['Check%d' % n] = '0'
    for n in range(1, 6):
        base['kidou%d' % n] = ''
    base.update({k: str(v) for k, v in values.items()})
    return base


def start_with(box, values):
    box.write_ini(settings(**values))
    app, window = box.start_and_wait_window()
    time.sleep(0.5)  # let start-up settle before measuring
    return app, window


def press(box, window, button):
    # Move away first: a move onto the spot where the pointer already is never reports back.
    box.x('xdotool', 'mousemove', '--sync', '700', '700')
    box.x('xdotool', 'mousemove', '--sync', '--window', window, *map(str, MAIN_BUTTONS[button]))
    clicked = time.time()
    box.x('xdotool', 'click', '1')
    return clicked


def quit_app(box, app, window):
    press(box, window, 'Cancel1')
    app.wait(10)


def cpu_while(box, values, seconds, done_file):
    """Share of one core used by the program between 1 s and 1 + seconds after the click."""
    app, window = start_with(box, values)
    press(box, window, 'test')
    time.sleep(1)
    before = cpu_seconds(app.pid)
    time.sleep(seconds)
    used = cpu_seconds(app.pid) - before
    if done_file:
        wait_until(lambda: os.path.exists(done_file), 10, 'the slot to finish')
    time.sleep(3)
    quit_app(box, app, window)
    return used, used / seconds * 100


def read_stamps(path):
    if not os.path.exists(path):
        return []
    with open(path) as f:
        return [line.split() for line in f if line.strip()]


def gaps_of(stamps):
    """Delay from each slot's end to the next slot's start, in milliseconds."""
    gaps = []
    for i in range(1, len(stamps) - 1, 2):
        end, start = stamps[i], stamps[i + 1]
        if end[0] == 'end' and start[0] == 'start' and int(start[1]) == int(end[1]) + 1:
            gaps.append((float(start[2]) - float(end[2])) * 1000)
    return gaps


def slot_to_slot(box, runs):
    stamps = os.path.join(box.work, 'stamps')
    script = os.path.join(box.work, 'stamp')
    source = script + '.c'
    with open(source, 'w') as f:
        f.write(STAMP_SOURCE)
    subprocess.run(['cc', '-O2', '-static', '-DSTAMPS="%s"' % stamps, '-o', script, source], check=True)
    values = {}
    for n in range(1, 6):
        values['Check%d' % n] = 1
        values['kidou%d' % n] = '%s %d' % (script, n)
    app, window = start_with(box, values)
    gaps = []
    for _ in range(runs):
        if os.path.exists(stamps):
            os.remove(stamps)
        press(box, window, 'test')
        wait_until(lambda: len(read_stamps(stamps)) >= 10, 20, 'five slots')
        time.sleep(1.2)  # the pause of 0 seconds, and the run's end
        gaps += gaps_of(read_stamps(stamps))
    quit_app(box, app, window)
    # The same five starts from a plain shell loop: what starting sh and the program costs anyway.
    baseline = []
    for _ in range(runs):
        os.remove(stamps)
        subprocess.run(['/bin/sh', '-c', 'for k in 1 2 3 4 5; do /bin/sh -c "%s $k"; done' % script], check=True)
        baseline += gaps_of(read_stamps(stamps))
    return gaps, baseline


def mock_log_times(box, method):
    times = []
    with open(os.path.join(box.root, 'logind-mock.log')) as f:
        for line in f:
            parts = line.split()
            if len(parts) >= 3 and parts[1] == method and parts[2] == 'True':
                times.append(float(parts[0]))
    return times


def click_to_power_request(box, tries):
    delays = []
    for _ in range(tries):
        seen = len(mock_log_times(box, 'PowerOff'))
        app, window = start_with(box, {})
        clicked = press(box, window, 'ok1')
        app.wait(10)
        times = wait_until(lambda: mock_log_times(box, 'PowerOff')[seen:], 5, 'the PowerOff request')
        if len(times) != 1:
            raise AssertionError('expected one PowerOff(true) per click, saw %d' % len(times))
        delays.append((times[0] - clicked) * 1000)
    return delays


def main():
    if len(sys.argv) > 1:
        os.environ['QUENBY_BINARY'] = os.path.abspath(sys.argv[1])
    elif 'QUENBY_BINARY' not in os.environ:
        os.environ['QUENBY_BINARY'] = os.path.join(HERE, '..', 'build', 'src', 'quenby')
    box = Sandbox('bench')
    try:
        slept = os.path.join(box.work, 'slept')
        used, share = cpu_while(box, {'Check1': 1, 'kidou1': 'sleep 10 && touch ' + slept}, 8, slept)
        print('CPU while a slot sleeps 10 s:   %.3f s over 8 s = %.2f %% of one core (goal < 1 %%)' % (used, share))
        used, share = cpu_while(box, {'byou': 10}, 8, None)
        print('CPU during a 10 s pause:        %.3f s over 8 s = %.2f %% of one core (goal < 1 %%)' % (used, share))
        gaps, baseline = slot_to_slot(box, 5)
        print('Slot end to next slot start:    median %.2f ms, max %.2f ms over %d gaps (goal: median < 5 ms)'
              % (statistics.median(gaps), max(gaps), len(gaps)))
        print('  the same from a shell loop:   median %.2f ms (what starting sh and the program costs anyway;'
              ' the difference, %.2f ms, is the run\'s own)'
              % (statistics.median(baseline), statistics.median(gaps) - statistics.median(baseline)))
        delays = click_to_power_request(box, 5)
        print('Click to PowerOff request:      median %.0f ms, max %.0f ms over %d clicks (nothing enabled, '
              'pause 0; at most 1 s by design)' % (statistics.median(delays), max(delays), len(delays)))
    finally:
        box.close()


if __name__ == '__main__':
    main()
