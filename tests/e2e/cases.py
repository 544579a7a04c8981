"""End-to-end cases: the real program in an X server, driven by clicks and keys."""

import contextlib
import json
import re
import os
import shutil
import signal
import socket
import stat
import subprocess
import tempfile
import time
import unittest

import dbus
import dbus.lowlevel
import harness
from harness import MAIN_BUTTONS, MAIN_TITLE, MESSAGE_TITLE, SETTINGS_SPOTS, SETTINGS_TITLE

MAIN_SIZE = (372, 146)
MWM_FUNC_MINIMIZE, MWM_FUNC_MAXIMIZE, MWM_FUNC_CLOSE = 0x08, 0x10, 0x20
MWM_DECOR_MENU, MWM_DECOR_MINIMIZE, MWM_DECOR_MAXIMIZE = 0x10, 0x20, 0x40


def read_bytes(path):
    with open(path, 'rb') as f:
        return f.read()


def read_lines(path):
    if not os.path.exists(path):
        return []
    with open(path) as f:
        return f.read().split()


class SandboxCase(unittest.TestCase):
    def setUp(self):
        self.box = harness.Sandbox(self.id().rsplit('.', 1)[-1])

    def tearDown(self):
        if self.passed():
            self.box.close()
            if not os.environ.get('QUENBY_E2E_KEEP'):
                shutil.rmtree(self.box.root, ignore_errors=True)
            return
        # Keep the scratch folder, the logs and a picture of the screen for the post-mortem.
        with contextlib.suppress(Exception):
            self.box.screenshot(os.path.join(self.box.root, 'screen-at-failure.png'))
        self.box.close()
        print('\n  kept for inspection: ' + self.box.root)

    def passed(self):
        result = self._outcome.result
        # A failed subTest is recorded under its own object, which points back here.
        return not any(getattr(test, 'test_case', test) is self for test, _ in result.failures + result.errors)

    def start(self):
        return self.box.start_and_wait_window()

    def assertEnds(self, app, timeout=10):
        try:
            app.wait(timeout)
        except subprocess.TimeoutExpired:
            self.fail('the program did not end')

    def assertRunning(self, app):
        self.assertIsNone(app.poll(), 'the program ended')

    def write_slot_script(self, name, log):
        path = os.path.join(self.box.work, name)
        with open(path, 'w') as f:
            # The sleep makes a program that is not waited for lose the race.
            f.write('#!/bin/sh\nsleep 0.4\necho %s >> "%s"\n' % (name, log))
        os.chmod(path, stat.S_IRWXU)
        return path


class JapaneseSession(SandboxCase):
    """The users' desktops run in Japanese: both windows must draw there as in C."""

    def pixels_under(self, language):
        self.box.language = language
        app, window = self.start()
        tag = language.split('.')[0]
        main = self.box.window_pixels(window, os.path.join(self.box.root, 'main-%s.png' % tag))
        self.box.click(window, MAIN_BUTTONS['setting'])
        settings_window = self.box.wait_window(SETTINGS_TITLE, pid=app.pid)
        settings = self.box.window_pixels(settings_window, os.path.join(self.box.root, 'settings-%s.png' % tag))
        os.kill(app.pid, signal.SIGTERM)
        self.assertEnds(app)
        # Off the windows, so that the next click moves the pointer and no button shows it.
        self.box.x('xdotool', 'mousemove', '700', '500')
        return main, settings

    # Catches faces looked up by names that only one language knows, and a
    # Japanese fixed-width face put first: the captions would change face and width.
    def test_both_windows_draw_the_same_under_japanese_and_c(self):
        # Without the locale, glibc would quietly run the "Japanese" session in C.
        self.assertTrue(harness.locale_available('ja_JP.UTF-8'),
                        'ja_JP.UTF-8 is not generated on this machine; tools/deps.sh --tests makes it')
        main_ja, settings_ja = self.pixels_under('ja_JP.UTF-8')
        main_c, settings_c = self.pixels_under('C.UTF-8')
        self.assertTrue(main_ja == main_c, 'the main window differs; pictures in ' + self.box.root)
        self.assertTrue(settings_ja == settings_c, 'the settings window differs; pictures in ' + self.box.root)


class HarnessGuard(SandboxCase):
    def test_the_program_is_not_started_outside_its_scratch_folders_nor_once_the_logind_mock_or_bus_is_gone(self):
        with self.assertRaises(AssertionError):
            self.box.start(env_changes={'TMPDIR': '/tmp'})
        for stop in (self.box.stop_logind_mock, self.box.stop_bus):
            stop()
            with self.assertRaises(harness.HarnessError):
                self.box.start()
            self.assertEqual(self.box.apps, [])


def launched_buses(home):
    """Session buses started for this home folder (an autolaunch leaves them running)."""
    def launched(pid):
        try:
            with open('/proc/%s/comm' % pid) as f, open('/proc/%s/environ' % pid, 'rb') as e:
                return f.read().strip() in ('dbus-launch', 'dbus-daemon') and ('HOME=' + home).encode() in e.read()
        except OSError:  # gone meanwhile
            return False
    return [int(p) for p in os.listdir('/proc') if p.isdigit() and launched(p)]


class MainWindowStart(SandboxCase):
    # A session bus that takes the connection and never answers held the
    # first window for ever (Qt's accessibility bridge waits for it), and a
    # session without one had a bus launched behind its back.
    def test_first_start_shows_a_top_most_unactivated_fixed_window_at_the_top_left_whatever_the_session_bus(self):
        folder = tempfile.mkdtemp(prefix='quenby-sb-', dir='/tmp')
        self.addCleanup(shutil.rmtree, folder, True)
        self.addCleanup(socket.create_server(os.path.join(folder, 'bus'), family=socket.AF_UNIX).close)
        for bus, address in [('healthy', self.box.bus_address), ('silent', 'unix:path=%s/bus' % folder), ('none', None),
                             ('launcher', 'autolaunch:')]:
            with self.subTest(session_bus=bus):
                app = self.box.start(env_changes={'DBUS_SESSION_BUS_ADDRESS': address})
                window = self.box.wait_window(MAIN_TITLE, pid=app.pid, timeout=10)
                self.assertEqual(self.box.geometry(window), (0, 0) + MAIN_SIZE)
                self.assertFalse(os.path.exists(self.box.ini_path), 'start-up wrote the store')
                props = self.box.properties(window)
                self.assertRegex(props, r'_NET_WM_STATE\(ATOM\) = .*_NET_WM_STATE_ABOVE')
                self.assertIn('_NET_WM_USER_TIME(CARDINAL) = 0', props)  # shown without activation
                for line in ('program specified minimum size: 372 by 146', 'program specified maximum size: 372 by 146',
                             'Icon (32 x 32)'):
                    self.assertIn(line, props)
                functions, decorations = self.box.motif_hints(window)
                self.assertEqual((functions & (MWM_FUNC_MINIMIZE | MWM_FUNC_MAXIMIZE | MWM_FUNC_CLOSE),
                                  decorations & (MWM_DECOR_MINIMIZE | MWM_DECOR_MAXIMIZE | MWM_DECOR_MENU)),
                                 (MWM_FUNC_CLOSE, MWM_DECOR_MENU))
                self.assertRunning(app)
                app.send_signal(signal.SIGKILL)
                app.wait(5)
                launched = launched_buses(self.box.home)
                for pid in launched:
                    os.kill(pid, signal.SIGKILL)
                self.assertEqual(launched, [], 'a session bus was launched')
                self.assertFalse(os.path.exists(os.path.join(self.box.home, '.dbus')))

    # Stored places are not clamped. A second copy ends without a window or the
    # store; then a killed first copy does not keep the next one out.
    def test_stored_position_is_honoured_unclamped_and_a_second_instance_leaves_it_alone(self):
        self.box.write_ini({'Form1Top': '0', 'Form1Left': '-150'})
        app, window = self.start()
        self.assertEqual(self.box.geometry(window)[:2], (-10, 0))
        app.send_signal(signal.SIGKILL)
        app.wait(5)
        self.box.wait_no_window(MAIN_TITLE)
        self.box.write_ini({'Form1Top': '1440', 'Form1Left': '2880'})
        first, window = self.start()
        self.assertEqual(self.box.geometry(window)[:2], (192, 96))
        before = read_bytes(self.box.ini_path)
        watch = self.box.watch_ini()
        second = self.box.start()
        self.assertEnds(second)
        time.sleep(0.3)
        self.assertEqual(self.box.windows(MAIN_TITLE, pid=second.pid), [])
        self.assertEqual(self.box.windows(MAIN_TITLE), [window])
        self.assertFalse(watch.touched(), 'the second copy opened the store')
        self.assertEqual(read_bytes(self.box.ini_path), before)
        self.assertRunning(first)
        first.send_signal(signal.SIGKILL)
        first.wait(5)
        self.box.wait_no_window(MAIN_TITLE)
        self.assertRunning(self.box.start_and_wait_window()[0])

    def test_quit_or_the_close_box_stores_the_current_position_once_and_ends_the_program(self):
        for how, (x, y) in [('quit', (30, 45)), ('close box', (60, 90))]:
            with self.subTest(how=how):
                app, window = self.start()
                self.box.x('xdotool', 'windowmove', '--sync', window, str(x), str(y))
                harness.wait_until(lambda: self.box.geometry(window)[:2] == (x, y), 5, 'the move')
                time.sleep(0.2)
                watch = self.box.watch_ini()
                if how == 'quit':
                    self.box.click(window, MAIN_BUTTONS['Cancel1'])
                else:
                    self.box.close_window(window)
                self.assertEnds(app)
                # One complete rewrite of the file holding both halves of the position.
                self.assertEqual(watch.replacements(), 1)
                ini = self.box.ini()
                self.assertEqual((ini.get('Form1Top'), ini.get('Form1Left')), (str(y * 15), str(x * 15)))
                self.assertEqual(stat.S_IMODE(os.stat(self.box.ini_path).st_mode), 0o600)


class FindingTheWindow(SandboxCase):
    def test_a_second_start_brings_the_running_copys_window_forward(self):
        self.box.start_window_manager('NLC')
        first, window = self.start()
        self.box.x('xdotool', 'windowminimize', '--sync', window)
        harness.wait_until(lambda: not self.box.windows(MAIN_TITLE), 5, 'the window to be minimised')
        second = self.box.start()
        self.assertEnds(second, 5)
        self.assertEqual(second.returncode, 0)
        self.assertEqual(self.box.wait_window(MAIN_TITLE, timeout=5), window)
        harness.wait_until(lambda: self.box.x('xdotool', 'getactivewindow', check=False).strip() == window, 5,
                           'the window to be active')
        self.assertRunning(first)

    def test_a_wayland_session_without_a_platform_chosen_gets_x11(self):
        # A listening socket where a compositor would be, in a short folder of
        # its own: the runtime folder may sit too deep for a socket's path.
        folder = tempfile.mkdtemp(prefix='quenby-wl-', dir='/tmp')
        self.addCleanup(shutil.rmtree, folder, True)
        self.addCleanup(socket.create_server(os.path.join(folder, 'wayland-0'), family=socket.AF_UNIX).close)
        app = self.box.start(env_changes={'QT_QPA_PLATFORM': None, 'WAYLAND_DISPLAY': os.path.join(folder, 'wayland-0'),
                                          'XDG_SESSION_TYPE': 'wayland'})
        window = self.box.wait_window(MAIN_TITLE, pid=app.pid)
        self.assertRegex(self.box.properties(window), r'_NET_WM_STATE\(ATOM\) = .*_NET_WM_STATE_ABOVE')


class Runs(SandboxCase):
    # Docks and task managers show a run's progress from the launcher-entry
    # signal on the session bus, with the pause's seconds left as the count.
    def test_run_only_runs_the_enabled_slots_in_order_cleans_up_shows_progress_and_stays_open(self):
        seen = os.path.join(self.box.root, 'launcher-entry.txt')
        with open(seen, 'w') as out:
            monitor = subprocess.Popen(['dbus-monitor', '--address', self.box.bus_address,
                                        "type='signal',interface='com.canonical.Unity.LauncherEntry'"],
                                       stdout=out, stderr=subprocess.DEVNULL)
        self.addCleanup(monitor.wait)
        self.addCleanup(monitor.terminate)
        log = os.path.join(self.box.work, 'order.txt')
        slots = [self.write_slot_script('slot%d' % n, log) for n in (1, 2, 3)]
        junk = os.path.join(self.box.tmp, 'old-download.part')
        nested = os.path.join(self.box.tmp, 'build-cache', 'a.o')
        recent_list = os.path.join(self.box.data, 'recently-used.xbel')
        recent_folder = os.path.join(self.box.data, 'RecentDocuments')
        kept = os.path.join(self.box.home, 'keep-me.txt')
        os.makedirs(os.path.dirname(nested))
        os.makedirs(recent_folder)
        for path in (junk, nested, recent_list, os.path.join(recent_folder, 'report.desktop'), kept):
            with open(path, 'w') as f:
                f.write('x')
        self.box.write_ini({'Check1': '1', 'kidou1': slots[0], 'Check2': '0', 'kidou2': slots[1],
                            'Check3': '1', 'kidou3': slots[2], 'Check6': '1', 'Check7': '1', 'byou': '2'})
        app, window = self.start()
        self.box.click(window, MAIN_BUTTONS['test'])

        def updates():
            with open(seen) as f:
                return f.read().split('member=Update')[1:]
        hidden = r'"progress-visible"\s+variant\s+boolean false'
        harness.wait_until(lambda: updates() and re.search(hidden, updates()[-1]), 20, 'the run to end')
        self.assertEqual(read_lines(log), ['slot1', 'slot3'])
        self.assertFalse(os.listdir(self.box.tmp) or os.path.exists(recent_list) or os.listdir(recent_folder))
        self.assertTrue(os.path.exists(kept))
        for update in updates():
            self.assertIn('string "application://jp.tarven.Quenby.desktop"', update)
        counts = [re.search(r'"count"\s+variant\s+int64 (\d+)', u).group(1) for u in updates()]
        self.assertEqual(counts[-4:-1], ['2', '1', '1'])
        self.assertRunning(app)
        self.assertEqual(self.box.windows(MAIN_TITLE), [window])
        self.assertEqual(self.box.power_calls(), [])

    # A refused request shows its message before the program ends. The run
    # options, what the desktop's timers start, run their button's run.
    def test_each_power_button_and_run_option_reaches_logind_once_interactively_and_ends(self):
        for how, method, refused in [('ok1', 'PowerOff', False), ('reboot', 'Reboot', False),
                                     ('Suspend', 'Suspend', False), ('--shutdown', 'PowerOff', False),
                                     ('--restart', 'Reboot', False), ('--suspend', 'Suspend', False),
                                     ('ok1', 'PowerOff', True)]:
            with self.subTest(how=how, refused=refused):
                self.box.mock.ClearCalls()
                if refused:
                    self.box.refuse_power('PowerOff', 'Interactive authentication required.')
                if how.startswith('--'):
                    app = self.box.start(args=[how])
                else:
                    app, window = self.start()
                    self.box.click(window, MAIN_BUTTONS[how])
                if refused:
                    self.box.key(self.box.wait_window(MESSAGE_TITLE, pid=app.pid), 'Return')
                self.assertEnds(app)
                self.assertEqual((app.returncode, self.box.power_calls()), (6 if refused else 0, [(method, [True])]))
                self.box.wait_no_window(MAIN_TITLE)

class PowerOnlyWhenAsked(SandboxCase):
    """The machine powers off only for the press that started the run, never once the user asked to stop."""

    def start_paused_run(self, button, pause=3):
        self.box.write_ini({'byou': str(pause)})
        self.box.x('xdotool', 'mousemove', '700', '500')  # so that the click below moves the pointer
        app, window = self.start()
        self.box.click(window, MAIN_BUTTONS[button])
        time.sleep(0.6)  # inside the pause
        return app, window

    # The pause also puts up a desktop notification saying what comes when,
    # whose 取り消す is one more way out; every way takes the notice down.
    def test_every_way_out_of_the_pause_ends_the_program_with_no_request_and_no_notice_left(self):
        notices = self.box.start_notification_mock()
        for number, how in enumerate(('click', 'alt+c', 'close box', '取り消す', 'server restarted'), 1):
            with self.subTest(how=how):
                self.box.mock.ClearCalls()
                notices.ClearCalls()
                app, window = self.start_paused_run('ok1')
                notify = harness.wait_until(lambda: notices.GetMethodCalls('Notify'), 5, 'the notification')[0][1]
                summary, actions = notify[3], notify[5]
                self.assertRegex(summary, r'^\d+:\d\d:\d\d にコンピュータをシャットダウンします$')
                self.assertEqual(list(actions), ['quenby-action', '取り消す'])
                if how == 'server restarted':
                    # The new server numbers afresh: ours is not its to close.
                    self.box._end(self.box._processes.pop())
                    notices = self.box.start_notification_mock()
                if how in ('click', 'server restarted'):
                    self.box.click(window, MAIN_BUTTONS['Cancel1'])
                elif how == 'alt+c':
                    self.box.key(window, 'alt+c')
                elif how == 'close box':
                    self.box.close_window(window)
                else:
                    # Only the server that took the notice speaks for it, closing it too.
                    for member, args in (('ActionInvoked', ('quenby-action', 'us')), ('NotificationClosed', (2, 'uu'))):
                        forged = dbus.lowlevel.SignalMessage('/org/freedesktop/Notifications', harness.NOTIFY_NAME, member)
                        forged.append(dbus.UInt32(number), args[0], signature=args[1])
                        self.box._bus.send_message(forged)
                    time.sleep(0.5)
                    self.assertRunning(app)
                    notices.EmitSignal(harness.NOTIFY_NAME, 'ActionInvoked', 'us',
                                       dbus.Array([dbus.UInt32(number), 'quenby-action'], signature='v'))
                self.assertEnds(app, timeout=1.5)
                self.assertEqual([list(args) for _, args in notices.GetMethodCalls('CloseNotification')],
                                 [] if how == 'server restarted' else [[number]])
                time.sleep(3)
                self.assertEqual(self.box.power_calls(), [])

    # Enter held on 設定 (Tab from 終了) opens the settings window, whose OK
    # the repeats used to press; held on that OK, the main window comes back
    # with the focus on 終了, and the repeats must not press it either.
    def test_a_held_enter_key_presses_nothing_in_either_window(self):
        self.box.start_window_manager('NLC')
        self.box.write_ini({'byou': '0'})
        app, window = self.start()
        self.box.key(window, 'Tab', 'Tab', 'Tab', 'Tab')
        watch = self.box.watch_ini()
        self.box.x('xdotool', 'keydown', 'Return')
        settings = self.box.wait_window(SETTINGS_TITLE, pid=app.pid)
        time.sleep(1.5)
        self.box.x('xdotool', 'keyup', 'Return')
        time.sleep(0.5)
        # The main window's place, stored as it went; nothing saved after it.
        self.assertEqual((self.box.windows(SETTINGS_TITLE, pid=app.pid), watch.replacements()), ([settings], 1))
        self.box.x('xdotool', 'windowfocus', '--sync', settings)
        self.box.x('xdotool', 'keydown', 'Return')
        time.sleep(1.5)
        self.box.x('xdotool', 'keyup', 'Return')
        self.box.wait_window(MAIN_TITLE, pid=app.pid)
        time.sleep(1.5)
        self.assertEqual(self.box.power_calls(), [])
        self.assertRunning(app)

    # A run's message (here error 5, after which the run goes on to power
    # off) used to block the main window: Cancel and the close box were
    # swallowed, and the machine went off once the message was answered.
    # Neither may a key held down answer the message unseen.
    def test_a_runs_message_leaves_cancel_working_and_a_held_key_unanswered(self):
        notes = os.path.join(self.box.work, 'notes.txt')
        with open(notes, 'w') as f:
            f.write('not a program\n')
        self.box.write_ini({'Check1': '1', 'kidou1': notes, 'byou': '1'})
        self.box.start_window_manager('NLC')
        self.box.x('xdotool', 'mousemove', '700', '500')
        app, window = self.start()
        # Enter on 終了, held on while the run's message comes up.
        self.box.x('xdotool', 'windowfocus', '--sync', window)
        self.box.x('xdotool', 'keydown', 'Return')
        message = self.box.wait_window(MESSAGE_TITLE, pid=app.pid)
        time.sleep(1.5)
        self.box.x('xdotool', 'keyup', 'Return')
        self.assertEqual(self.box.windows(MESSAGE_TITLE, pid=app.pid), [message])
        self.box.click(window, MAIN_BUTTONS['Cancel1'])
        self.assertEnds(app)
        time.sleep(2)
        self.assertEqual(self.box.power_calls(), [])

    # Started from a terminal or launcher that has gone, with no journal: the
    # first record of a run went to a pipe nobody reads and ended the program.
    # A press during a run-only pause used to be held back and carried out
    # after the run: a shut-down nobody asked for.
    def test_a_run_goes_on_when_standard_error_leads_nowhere_and_drops_presses_during_its_pause(self):
        log = os.path.join(self.box.work, 'ran.txt')
        slot = self.write_slot_script('slot1', log)
        self.box.write_ini({'Check1': '1', 'kidou1': slot, 'byou': '2'})
        reader, writer = os.pipe()
        os.close(reader)
        app = self.box.start(output=writer, env_changes={'QT_LOGGING_RULES': '*=false'})
        os.close(writer)
        window = self.box.wait_window(MAIN_TITLE, pid=app.pid)
        self.box.click(window, MAIN_BUTTONS['test'])
        harness.wait_until(lambda: read_lines(log) == ['slot1'], 15, 'the slot to run')
        time.sleep(0.3)  # inside the pause
        self.box.click(window, MAIN_BUTTONS['ok1'])
        self.box.key(window, 'alt+r')
        time.sleep(5)  # a press carried out after the run would have powered off by now
        self.assertEqual(self.box.power_calls(), [])
        self.assertRunning(app)

class CommandLineRuns(SandboxCase):
    # A timer firing while the program runs hands the run to the running
    # copy, from any session (a runtime folder of mode 0755, none and no
    # display as from cron), and waits for the outcome: the run's end, or a
    # drop during a run or while the settings window is open, machine left on.
    def test_a_run_option_goes_to_the_copy_that_runs_and_waits_for_its_outcome(self):
        log = os.path.join(self.box.work, 'ran.txt')
        self.box.write_ini({'Check1': '1', 'kidou1': self.write_slot_script('slot1', log), 'byou': '3'})
        first, window = self.start()
        second = self.box.start(args=['--run-only'], env_changes={'XDG_RUNTIME_DIR': self.box._folder('shared', 0o755)})
        harness.wait_until(lambda: read_lines(log) == ['slot1'], 15, 'the run in the first copy')
        third = self.box.start(args=['--shutdown'], env_changes={'XDG_RUNTIME_DIR': None, 'DISPLAY': None})
        self.assertEnds(third)
        self.assertEqual((third.returncode, second.poll()), (3, None))
        self.assertEnds(second)
        self.assertEqual((second.returncode, read_lines(log)), (0, ['slot1']))
        self.box.click(window, MAIN_BUTTONS['setting'])
        self.box.wait_window(SETTINGS_TITLE, pid=first.pid)
        fourth = self.box.start(args=['--suspend'])
        self.assertEnds(fourth)
        self.assertEqual((fourth.returncode, read_lines(log), self.box.power_calls()), (3, ['slot1'], []))
        self.assertRunning(first)


class SettingsWindow(SandboxCase):
    def open_settings(self):
        app, window = self.start()
        self.box.click(window, MAIN_BUTTONS['setting'])
        settings = self.box.wait_window(SETTINGS_TITLE, pid=app.pid)
        self.box.wait_no_window(MAIN_TITLE)
        return app, settings

    # Escape brings the main window back where it stood; OK stores what the
    # next run then uses.
    def test_settings_window_replaces_the_main_window_and_what_ok_applies_is_used_by_the_next_run(self):
        self.box.write_ini({'Form1Top': '1440', 'Form1Left': '2880', 'Form2Top': '300', 'Form2Left': '600'})
        app, settings = self.open_settings()
        self.assertEqual(self.box.geometry(settings)[:2], (40, 20))
        self.box.key(settings, 'Escape')
        window = self.box.wait_window(MAIN_TITLE, pid=app.pid)
        self.box.wait_no_window(SETTINGS_TITLE)
        self.assertEqual(self.box.geometry(window)[:2], (192, 96))
        self.assertEqual((self.box.ini().get('Form2Top'), self.box.ini().get('Form2Left')), ('300', '600'))
        log = os.path.join(self.box.work, 'ran.txt')
        script = self.write_slot_script('nightly', log)
        self.box.x('xdotool', 'mousemove', '700', '500')  # so that the click below moves the pointer
        self.box.click(window, MAIN_BUTTONS['setting'])
        settings = self.box.wait_window(SETTINGS_TITLE, pid=app.pid)
        self.box.click(settings, SETTINGS_SPOTS['Check1'])
        self.box.click(settings, SETTINGS_SPOTS['Text1'])
        self.box.type_text(settings, script)
        self.box.click(settings, SETTINGS_SPOTS['ok2'])
        window = self.box.wait_window(MAIN_TITLE, pid=app.pid)
        self.box.wait_no_window(SETTINGS_TITLE)
        ini = self.box.ini()
        self.assertEqual((ini.get('Check1'), ini.get('kidou1'), ini.get('byou')), ('1', script, '0'))
        self.box.click(window, MAIN_BUTTONS['test'])
        harness.wait_until(lambda: read_lines(log) == ['nightly'], 15, 'the configured program to run')
        self.assertRunning(app)

JOURNAL_SOCKET = '/run/systemd/journal/socket'
TEXT6 = (236, 362)


class RunFailuresAndRecord(SandboxCase):
    """A run that cannot do what it was set up for says so, runs once, and leaves a record."""

    def record(self, app):
        """The run's record: the program's lines in the journal, or on standard error without one."""
        if os.path.exists(JOURNAL_SOCKET):
            out = subprocess.run(['journalctl', '--no-pager', '-o', 'json', '-t', 'quenby'],
                                 capture_output=True, text=True).stdout
            entries = [json.loads(line) for line in out.splitlines() if line.strip()]
            # The program's own lines, and its clean-up helper's, which name this sandbox.
            return [e['MESSAGE'] for e in entries if isinstance(e.get('MESSAGE'), str)
                    and (e.get('_PID') == str(app.pid) or self.box.root in e['MESSAGE'])]
        with open(os.path.join(self.box.root, 'program-%d.log' % self.box.apps.index(app))) as f:
            # The clean-up helper's report comes under its own name.
            return [line[len('quenby: '):].rstrip('\n') if line.startswith('quenby: ') else line.rstrip('\n')
                    for line in f if line.startswith(('quenby: ', 'quenby-clean: '))]

    def write_script(self, name, body, mode=stat.S_IRWXU):
        path = os.path.join(self.box.work, name)
        with open(path, 'w') as f:
            f.write(body)
        os.chmod(path, mode)
        return path

    def dismiss_message(self, app):
        message = self.box.wait_window(MESSAGE_TITLE, pid=app.pid)
        self.box.key(message, 'Return')
        self.box.wait_no_window(MESSAGE_TITLE)

    def test_a_slot_naming_a_missing_program_stops_the_run_at_its_settings(self):
        log = os.path.join(self.box.work, 'ran.txt')
        after = self.write_slot_script('after', log)
        # A blank-free folder, so that the whole first word is the missing script.
        folder = tempfile.mkdtemp(prefix='quenby-slot-', dir='/tmp')
        self.addCleanup(shutil.rmtree, folder, True)
        self.box.write_ini({'Check1': '1', 'kidou1': os.path.join(folder, 'moved-away.sh') + ' --full',
                            'Check2': '1', 'kidou2': after, 'byou': '0'})
        app, window = self.start()
        self.box.click(window, MAIN_BUTTONS['ok1'])
        self.dismiss_message(app)
        self.box.wait_window(SETTINGS_TITLE, pid=app.pid)
        time.sleep(1)
        self.assertEqual(self.box.power_calls(), [])
        self.assertEqual(read_lines(log), [])
        self.assertRunning(app)
        self.assertIn('run stopped at slot 1', self.record(app))

    def test_a_file_that_cannot_be_run_gives_error_5_and_a_script_without_permission_runs(self):
        log = os.path.join(self.box.work, 'ran.txt')
        plain = stat.S_IRUSR | stat.S_IWUSR
        data = self.write_script('notes.txt', 'not a program\n', plain)
        # A script with an argument: its path must hold no blank, wherever the
        # tree was cloned, or the shell would take it apart.
        folder = tempfile.mkdtemp(prefix='quenby-slot-', dir='/tmp')
        self.addCleanup(shutil.rmtree, folder, True)
        script = os.path.join(folder, 'backup.sh')
        with open(script, 'w') as f:
            f.write('echo backup "$1" >> "%s"\n' % log)
        os.chmod(script, plain)
        self.box.write_ini({'Check1': '1', 'kidou1': data, 'Check2': '1', 'kidou2': script + ' nightly', 'byou': '0'})
        app, window = self.start()
        self.box.click(window, MAIN_BUTTONS['test'])
        self.dismiss_message(app)
        self.box.wait_window(SETTINGS_TITLE, pid=app.pid)
        harness.wait_until(lambda: read_lines(log) == ['backup', 'nightly'], 15, 'slot 2 to run after the error')
        self.assertEqual(self.box.windows(MESSAGE_TITLE, pid=app.pid), [])
        self.assertEqual(self.box.power_calls(), [])
        self.assertRunning(app)

    def test_presses_during_a_wait_start_nothing_and_power_nothing_off(self):
        log = os.path.join(self.box.work, 'ran.txt')
        script = self.write_script('slow.sh', '#!/bin/sh\necho start >> "%s"\nsleep 2\n' % log)
        self.box.write_ini({'Check1': '1', 'kidou1': script, 'byou': '0'})
        app, window = self.start()
        self.box.click(window, MAIN_BUTTONS['test'])
        harness.wait_until(lambda: read_lines(log) == ['start'], 10, 'the slot to start')
        # Never the same spot twice in a row: the pointer would not move.
        for button in ('ok1', 'test', 'Suspend'):
            self.box.click(window, MAIN_BUTTONS[button])
        harness.wait_until(lambda: 'run finished; run only, the machine stays on' in self.record(app), 15,
                           'the run to finish')
        time.sleep(0.5)
        self.assertEqual(read_lines(log), ['start'])
        self.assertEqual(self.box.power_calls(), [])
        self.assertRunning(app)
        self.assertEqual(sum('during the run was dropped' in line for line in self.record(app)), 3)

    # OK refused (a pause the run cannot honour, a ticked slot without a
    # program) writes nothing; OK that cannot save keeps the window and its edits.
    def test_ok_refused_or_unsaved_keeps_the_settings_window_open(self):
        app, window = self.start()
        self.box.click(window, MAIN_BUTTONS['setting'])
        settings = self.box.wait_window(SETTINGS_TITLE, pid=app.pid)
        stored = self.box.ini()
        for step, pause in [('pause', '40000'), ('empty slot', '5'), ('unsaved', None)]:
            with self.subTest(step=step):
                if pause:
                    self.box.click(settings, TEXT6)
                    self.box.key(settings, 'ctrl+a')
                    self.box.type_text(settings, pause)
                if step == 'empty slot':
                    self.box.click(settings, SETTINGS_SPOTS['Check1'])
                if step == 'unsaved':
                    # The settings file turns into a folder: no write can reach it.
                    os.remove(self.box.ini_path)
                    os.mkdir(self.box.ini_path)
                    self.box.click(settings, SETTINGS_SPOTS['Text1'])
                    self.box.type_text(settings, '/usr/local/bin/nightly')
                self.box.click(settings, SETTINGS_SPOTS['ok2'])
                self.dismiss_message(app)
                time.sleep(0.3)
                self.assertEqual(self.box.windows(SETTINGS_TITLE, pid=app.pid), [settings])
                self.assertEqual(self.box.windows(MAIN_TITLE), [])
                if step != 'unsaved':
                    self.assertEqual(self.box.ini(), stored)
        self.assertRunning(app)

    def test_a_run_leaves_every_step_on_record_and_each_slot_output_apart(self):
        script = self.write_script('says.sh', '#!/bin/sh\necho to the slot stream\nexit 4\n')
        for name in ('old.tmp', 'download.part'):
            with open(os.path.join(self.box.tmp, name), 'w') as f:
                f.write('x')
        # A program that holds its file open keeps it through the clean-up.
        with open(os.path.join(self.box.tmp, 'download.part')) as held:
            holder = subprocess.Popen(['sleep', '60'], stdin=held)
        self.addCleanup(holder.wait)
        self.addCleanup(holder.kill)
        self.box.write_ini({'Check1': '1', 'kidou1': script, 'Check6': '1', 'byou': '0'})
        app, window = self.start()
        self.box.click(window, MAIN_BUTTONS['test'])
        harness.wait_until(lambda: any('removed' in line for line in self.record(app))
                           and any(line.startswith('run finished') for line in self.record(app)), 15,
                           'the end of the run and the clean-up report')
        record = self.record(app)
        expected = ['run started by 実行のみ (run only)', 'slot 1: command.com /c ' + script,
                    'slot 1: started as process ', 'slot 1: ended with exit status 4 after ',
                    'clean-up 6: command.com /c deltree /Y ' + self.box.home + '\\temp\\*.*',
                    'clean-up 6: started as process ', 'pause of 0 s',
                    'run finished; run only, the machine stays on']
        found = [next((i for i, line in enumerate(record) if line.startswith(e)), None) for e in expected]
        self.assertNotIn(None, found, record)
        self.assertEqual(found, sorted(found), record)
        self.assertIn('quenby-clean: ' + self.box.tmp + ': 1 removed, 1 kept (1 in use)', record)
        self.assertEqual(os.listdir(self.box.tmp), ['download.part'])
        if os.path.exists(JOURNAL_SOCKET):
            slot = subprocess.run(['journalctl', '--no-pager', '-o', 'cat', '-t', 'quenby-slot1'],
                                  capture_output=True, text=True).stdout
            self.assertIn('to the slot stream', slot)
        else:
            # Without a journal a slot's output goes nowhere, never into the record.
            self.assertNotIn('to the slot stream', '\n'.join(record))


if __name__ == '__main__':
    program = unittest.main(verbosity=2, exit=False)
    result = program.result
    failed = len(result.failures) + len(result.errors)
    # One closing line in the plain form every runner's summary can be read as.
    print('end-to-end: %d passed, %d failed, %d skipped'
          % (result.testsRun - failed - len(result.skipped), failed, len(result.skipped)))
    raise SystemExit(0 if result.wasSuccessful() else 1)
