"""Renders the main window and the settings window with a sample configuration,
on a Japanese desktop as the users have it, at 1x (main.png, settings.png) and
at twice the density (main@2x.png, settings@2x.png).

Uses the end-to-end sandbox: scratch HOME, a private X server with a window
manager for the frames, and a private bus with the logind mock, so nothing of
the real user is read or changed.

    /usr/bin/python3 tools/screenshots.py <quenby binary> <output folder>
"""

import os
import shutil
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'tests', 'e2e'))
import harness  # noqa: E402


def sample_configuration():
    # Paths are only shown, never run: nothing here is clicked but the settings button.
    scripts = '/home/hanako/bin'
    return {
        'Form1Top': '0', 'Form1Left': '0', 'Form2Top': '0', 'Form2Left': '0',
        'Check1': '1', 'kidou1': os.path.join(scripts, 'backup-documents.sh'),
        'Check2': '1', 'kidou2': os.path.join(scripts, 'sync-mail.sh'),
        'Check3': '0', 'kidou3': os.path.join(scripts, 'update-index.sh'),
        'Check4': '0', 'kidou4': '',
        'Check5': '0', 'kidou5': '',
        'Check6': '1', 'Check7': '1', 'byou': '5',
    }


def capture(box, window, path):
    """The window with its frame, cut out of a picture of the whole screen."""
    time.sleep(0.7)  # let the window and its frame finish painting
    x, y, width, height = box.geometry(window)
    left, right, top, bottom = box.frame_extents(window)
    crop = '%dx%d+%d+%d' % (width + left + right, height + top + bottom, max(0, x - left), max(0, y - top))
    box.x('import', '-window', 'root', '-crop', crop, '+repage', path)
    print('wrote ' + path)


def shoot(binary, out, scale):
    suffix = '' if scale == 1 else '@%dx' % scale
    box = harness.Sandbox('screenshots', screen='2048x1024x24')
    box.language = 'ja_JP.UTF-8'
    box.scale = scale
    try:
        box.write_ini(sample_configuration())
        # The caption bars as the windows ask for them: the main window has its
        # window menu and a close box, the settings window a close box only.
        box.start_window_manager('NLC')
        app, main_window = box.start_and_wait_window(binary)
        capture(box, main_window, os.path.join(out, 'main%s.png' % suffix))
        box.set_title_layout('LC')
        x, y = harness.MAIN_BUTTONS['setting']
        box.click(main_window, (x * scale, y * scale))
        settings = box.wait_window(harness.SETTINGS_TITLE, pid=app.pid)
        capture(box, settings, os.path.join(out, 'settings%s.png' % suffix))
    finally:
        box.close()
        shutil.rmtree(box.root, ignore_errors=True)


def main(binary, out):
    os.makedirs(out, exist_ok=True)
    for scale in (1, 2):
        shoot(binary, out, scale)


if __name__ == '__main__':
    main(os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2]))
