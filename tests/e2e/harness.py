"""A sandbox for driving the real quenby binary the way a user meets it.

Every Sandbox has its own scratch HOME, XDG folders and TMPDIR, its own Xvfb
display and its own D-Bus daemon standing in for the system bus, with the
logind mock of python3-dbusmock on it. The program is never started unless that
private bus answers and the name org.freedesktop.login1 on it belongs to the
mock: a power button pressed here can only reach the mock.

Run with /usr/bin/python3 (Debian's python3-dbusmock and python3-dbus live there).
"""

import ctypes
import os
import re
import shutil
import signal
import struct
import subprocess
import tempfile
import time

import dbus

LOGIND_NAME = 'org.freedesktop.login1'
LOGIND_PATH = '/org/freedesktop/login1'
LOGIND_MANAGER = 'org.freedesktop.login1.Manager'
MOCK_INTERFACE = 'org.freedesktop.DBus.Mock'
NOTIFY_NAME = 'org.freedesktop.Notifications'

MAIN_TITLE = 'TARVEN Inc. Quenby'
SETTINGS_TITLE = 'TARVEN Inc. Quenby  設定'
MESSAGE_TITLE = 'TARVEN Inc.QUENBY'
INI_NAME = 'TARVEN Inc.Quenby.ini'

# Centres of the main window's buttons, in pixels of its client area.
MAIN_BUTTONS = {
    'ok1': (330, 12), 'reboot': (330, 36), 'Suspend': (330, 60),
    'test': (330, 84), 'setting': (330, 108), 'Cancel1': (330, 132),
}
# Spots on the settings window, in pixels of its client area.
SETTINGS_SPOTS = {
    'Check1': (20, 30), 'Text1': (120, 57), 'ok2': (260, 418), 'Cancel2': (356, 418), 'Save': (448, 418),
}

REAL_SYSTEM_BUS_SOCKETS = ('/run/dbus/system_bus_socket', '/var/run/dbus/system_bus_socket')

BUS_CONFIG = """<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path={socket}</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
"""


class HarnessError(RuntimeError):
    pass


def binary_under_test():
    path = os.environ.get('QUENBY_BINARY') or shutil.which('quenby')
    if not path or not os.access(path, os.X_OK):
        raise HarnessError('no quenby binary: set QUENBY_BINARY')
    return path


def wait_until(predicate, timeout, what, interval=0.05):
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError('timed out waiting for ' + what)
        time.sleep(interval)


def read_ini(path):
    """The [set] section of the program's INI file as a dict of raw texts."""
    values, section = {}, None
    if os.path.exists(path):
        with open(path, encoding='utf-8') as f:
            for line in f.read().split('\n'):
                if line.startswith('['):
                    section = line.strip('[]')
                elif section == 'set' and '=' in line:
                    key, value = line.split('=', 1)
                    values[key] = unquote(value)
    return values


def unquote(value):
    if len(value) >= 2 and value[0] == '"' and value[-1] == '"':
        return value[1:-1].replace('\\"', '"').replace('\\\\', '\\')
    return value


def write_ini(path, values):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, 'w', encoding='utf-8') as f:
        f.write('[set]\n')
        for key, value in values.items():
            f.write('%s=%s\n' % (key, value))
    os.chmod(path, 0o600)


class FileWatch:
    """Counts what happens to one file name in a folder, through inotify."""

    IN_ACCESS, IN_MODIFY, IN_CLOSE_WRITE, IN_OPEN = 0x1, 0x2, 0x8, 0x20
    IN_MOVED_TO, IN_CREATE, IN_DELETE = 0x80, 0x100, 0x200
    IN_NONBLOCK = 0o4000

    def __init__(self, folder, name):
        self._libc = ctypes.CDLL('libc.so.6', use_errno=True)
        self._name = name.encode()
        self._fd = self._libc.inotify_init1(self.IN_NONBLOCK)
        if self._fd < 0:
            raise HarnessError('inotify_init1 failed')
        mask = (self.IN_ACCESS | self.IN_MODIFY | self.IN_CLOSE_WRITE | self.IN_OPEN
                | self.IN_MOVED_TO | self.IN_CREATE | self.IN_DELETE)
        if self._libc.inotify_add_watch(self._fd, folder.encode(), mask) < 0:
            raise HarnessError('inotify_add_watch failed on ' + folder)
        self.events = []

    def poll(self):
        while True:
            try:
                data = os.read(self._fd, 65536)
            except BlockingIOError:
                return self.events
            offset = 0
            while offset < len(data):
                _, mask, _, length = struct.unpack_from('iIII', data, offset)
                name = data[offset + 16:offset + 16 + length].rstrip(b'\0')
                offset += 16 + length
                if name == self._name:
                    self.events.append(mask)

    def replacements(self):
        """Atomic rewrites of the file: a finished copy renamed onto it."""
        return sum(1 for m in self.poll() if m & self.IN_MOVED_TO)

    def touched(self):
        return len(self.poll()) > 0


class _ClientMessage(ctypes.Structure):
    _fields_ = [('type', ctypes.c_int), ('serial', ctypes.c_ulong), ('send_event', ctypes.c_int),
                ('display', ctypes.c_void_p), ('window', ctypes.c_ulong), ('message_type', ctypes.c_ulong),
                ('format', ctypes.c_int), ('data', ctypes.c_long * 5)]


class _XEvent(ctypes.Union):
    _fields_ = [('xclient', _ClientMessage), ('pad', ctypes.c_long * 24)]


def ask_window_to_close(display, window):
    """What a window manager's close box does: sends WM_DELETE_WINDOW to the window."""
    xlib = _xlib()
    connection = xlib.XOpenDisplay(display.encode())
    if not connection:
        raise HarnessError('cannot open display ' + display)
    try:
        event = _XEvent()
        event.xclient.type = 33  # ClientMessage
        event.xclient.window = int(window)
        event.xclient.message_type = xlib.XInternAtom(connection, b'WM_PROTOCOLS', 0)
        event.xclient.format = 32
        event.xclient.data[0] = xlib.XInternAtom(connection, b'WM_DELETE_WINDOW', 0)
        event.xclient.data[1] = 0  # CurrentTime
        xlib.XSendEvent(connection, int(window), 0, 0, ctypes.byref(event))
        xlib.XFlush(connection)
    finally:
        xlib.XCloseDisplay(connection)


class _XWindowAttributes(ctypes.Structure):
    _fields_ = [('x', ctypes.c_int), ('y', ctypes.c_int), ('width', ctypes.c_int), ('height', ctypes.c_int),
                ('border_width', ctypes.c_int), ('depth', ctypes.c_int), ('visual', ctypes.c_void_p),
                ('root', ctypes.c_ulong), ('class_', ctypes.c_int), ('bit_gravity', ctypes.c_int),
                ('win_gravity', ctypes.c_int), ('backing_store', ctypes.c_int),
                ('backing_planes', ctypes.c_ulong), ('backing_pixel', ctypes.c_ulong),
                ('save_under', ctypes.c_int), ('colormap', ctypes.c_ulong), ('map_installed', ctypes.c_int),
                ('map_state', ctypes.c_int), ('all_event_masks', ctypes.c_long),
                ('your_event_mask', ctypes.c_long), ('do_not_propagate_mask', ctypes.c_long),
                ('override_redirect', ctypes.c_int), ('screen', ctypes.c_void_p)]


_X_ERROR_HANDLER = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)
# A window may go between listing it and reading it: its error is ignored, not fatal.
_ignore_x_error = _X_ERROR_HANDLER(lambda display, event: 0)
_xlib_library = None


def _xlib():
    global _xlib_library
    if _xlib_library is None:
        x = ctypes.CDLL('libX11.so.6')
        x.XOpenDisplay.restype = ctypes.c_void_p
        x.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x.XCloseDisplay.argtypes = [ctypes.c_void_p]
        x.XDefaultRootWindow.restype = ctypes.c_ulong
        x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        x.XInternAtom.restype = ctypes.c_ulong
        x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
        x.XQueryTree.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(ctypes.c_ulong),
                                 ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.POINTER(ctypes.c_ulong)),
                                 ctypes.POINTER(ctypes.c_uint)]
        x.XGetWindowAttributes.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(_XWindowAttributes)]
        x.XGetWindowProperty.argtypes = [
            ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_long, ctypes.c_long, ctypes.c_int,
            ctypes.c_ulong, ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.c_int),
            ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.c_ulong), ctypes.POINTER(ctypes.c_void_p)]
        x.XFree.argtypes = [ctypes.c_void_p]
        x.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.POINTER(_XEvent)]
        x.XFlush.argtypes = [ctypes.c_void_p]
        x.XSetErrorHandler(_ignore_x_error)
        _xlib_library = x
    return _xlib_library


def viewable_windows_named(display, title):
    """Ids of the viewable windows whose _NET_WM_NAME is exactly title.

    The name is read as the UTF-8 the window stored, so finding a window does
    not depend on any locale: not the program's, not this process's.
    """
    x = _xlib()
    connection = x.XOpenDisplay(display.encode())
    if not connection:
        raise HarnessError('cannot open display ' + display)
    try:
        net_wm_name = x.XInternAtom(connection, b'_NET_WM_NAME', 0)
        utf8_string = x.XInternAtom(connection, b'UTF8_STRING', 0)
        wanted = title.encode('utf-8')

        def name_of(window):
            kind, size, count, rest = ctypes.c_ulong(), ctypes.c_int(), ctypes.c_ulong(), ctypes.c_ulong()
            data = ctypes.c_void_p()
            if x.XGetWindowProperty(connection, window, net_wm_name, 0, 4096, 0, utf8_string, ctypes.byref(kind),
                                    ctypes.byref(size), ctypes.byref(count), ctypes.byref(rest),
                                    ctypes.byref(data)) != 0:
                return None
            try:
                if kind.value != utf8_string or size.value != 8 or not data.value:
                    return None
                return ctypes.string_at(data.value, count.value)
            finally:
                if data.value:
                    x.XFree(data)

        def viewable(window):
            attributes = _XWindowAttributes()
            return x.XGetWindowAttributes(connection, window, ctypes.byref(attributes)) and attributes.map_state == 2

        found = []

        def walk(window):
            root, parent = ctypes.c_ulong(), ctypes.c_ulong()
            children, count = ctypes.POINTER(ctypes.c_ulong)(), ctypes.c_uint()
            if not x.XQueryTree(connection, window, ctypes.byref(root), ctypes.byref(parent),
                                ctypes.byref(children), ctypes.byref(count)):
                return
            ids = [children[i] for i in range(count.value)]
            if children:
                x.XFree(children)
            for child in ids:
                if name_of(child) == wanted and viewable(child):
                    found.append(str(child))
                walk(child)

        walk(x.XDefaultRootWindow(connection))
        return found
    finally:
        x.XCloseDisplay(connection)


def locale_available(name):
    """Whether glibc has the locale (as `locale -a` lists it, e.g. ja_JP.utf8)."""
    listed = subprocess.run(['locale', '-a'], capture_output=True, text=True, env={'LC_ALL': 'C'}).stdout.split()
    wanted = name.lower().replace('-', '')
    return any(entry.lower().replace('-', '') == wanted for entry in listed)


class Sandbox:
    """One case's world: scratch folders, X server, private system bus, logind mock."""

    def __init__(self, name, screen='1024x768x24'):
        self._screen = screen
        base = os.environ.get('QUENBY_E2E_SCRATCH') or tempfile.gettempdir()
        os.makedirs(base, exist_ok=True)
        self.root = os.path.abspath(tempfile.mkdtemp(prefix=re.sub(r'\W', '_', name)[:24] + '-', dir=base))
        self._processes = []
        self.apps = []
        self._bus = None
        self._bus_folder = None
        self.display = None
        self.bus_address = None
        # The session language the program starts under (LANG); None keeps the caller's.
        self.language = None
        # Device pixels to a window pixel (QT_SCALE_FACTOR); None for the screen's own.
        self.scale = None
        try:
            self._make_folders()
            self._start_x()
            self._start_bus()
            self._start_logind_mock()
        except BaseException:
            self.close()
            raise

    # --- folders -------------------------------------------------------------
    def _make_folders(self):
        self.home = self._folder('home')
        self.config = self._folder('config')
        self.data = self._folder('data')
        self.runtime = self._folder('runtime', 0o700)
        self.tmp = self._folder('tmp')
        self.work = self._folder('work')
        self._folder('cache')
        self._folder('state')
        self.ini_path = os.path.join(self.config, INI_NAME)

    def _folder(self, name, mode=0o755):
        path = os.path.join(self.root, name)
        os.makedirs(path, exist_ok=True)
        os.chmod(path, mode)
        return path

    # --- X server --------------------------------------------------------------
    def _start_x(self):
        read_end, write_end = os.pipe()
        xvfb = subprocess.Popen(
            ['Xvfb', '-displayfd', str(write_end), '-screen', '0', self._screen,
             '-nolisten', 'tcp', '-noreset'],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            start_new_session=True)
        os.close(write_end)
        self._processes.append(xvfb)
        number = self._read_line(read_end, 10, 'Xvfb display number')
        self.display = ':' + number

    @staticmethod
    def _read_line(fd, timeout, what):
        deadline = time.monotonic() + timeout
        text = b''
        os.set_blocking(fd, False)
        try:
            while b'\n' not in text:
                if time.monotonic() > deadline:
                    raise HarnessError('timed out waiting for ' + what)
                try:
                    chunk = os.read(fd, 256)
                except BlockingIOError:
                    time.sleep(0.02)
                    continue
                if not chunk:
                    raise HarnessError(what + ': pipe closed')
                text += chunk
        finally:
            os.close(fd)
        return text.decode().strip()

    # --- private system bus ----------------------------------------------------
    def _start_bus(self):
        # D-Bus refuses socket paths longer than 99 bytes and the scratch folder
        # sits wherever the tree was cloned, so the socket gets a short private
        # folder of its own (0700, removed with the sandbox).
        self._bus_folder = tempfile.mkdtemp(prefix='quenby-bus-', dir='/tmp')
        socket_path = os.path.join(self._bus_folder, 'system_bus_socket')
        self.bus_socket = socket_path
        config = os.path.join(self.root, 'bus.conf')
        with open(config, 'w') as f:
            f.write(BUS_CONFIG.format(socket=socket_path))
        read_end, write_end = os.pipe()
        log_path = os.path.join(self.root, 'bus.log')
        with open(log_path, 'w') as log:
            daemon = subprocess.Popen(
                ['dbus-daemon', '--config-file=' + config, '--nofork', '--print-address=%d' % write_end],
                pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=log, start_new_session=True)
        os.close(write_end)
        self._processes.append(daemon)
        self._bus_daemon = daemon
        try:
            self.bus_address = self._read_line(read_end, 10, 'dbus-daemon address')
        except HarnessError as error:
            with open(log_path) as log:
                raise HarnessError('%s; dbus-daemon said: %s' % (error, log.read().strip()))
        self._bus = dbus.bus.BusConnection(self.bus_address)

    def _start_mock(self, template, name):
        env = dict(self._base_env(), DBUS_SYSTEM_BUS_ADDRESS=self.bus_address, DBUS_SESSION_BUS_ADDRESS=self.bus_address)
        log = open(os.path.join(self.root, template + '-mock.log'), 'w')
        mock = subprocess.Popen(['/usr/bin/python3', '-m', 'dbusmock', '--template', template],
                                env=env, stdout=log, stderr=subprocess.STDOUT, start_new_session=True)
        log.close()
        self._processes.append(mock)
        wait_until(lambda: self._bus.name_has_owner(name), 15, 'the %s mock on the private bus' % template)
        return mock

    def start_notification_mock(self):
        """The desktop's notification server: its Mock interface, with the calls it received."""
        self._start_mock('notification_daemon', NOTIFY_NAME)
        return dbus.Interface(self._bus.get_object(NOTIFY_NAME, '/org/freedesktop/Notifications', introspect=False), MOCK_INTERFACE)

    def _start_logind_mock(self):
        self._mock_process = self._start_mock('logind', LOGIND_NAME)
        # Bound to the mock's unique name: if anything else ever takes the logind
        # name, the guard below notices.
        self._mock_owner = self._bus.get_name_owner(LOGIND_NAME)
        self.mock = dbus.Interface(self._bus.get_object(self._mock_owner, LOGIND_PATH, introspect=False),
                                   MOCK_INTERFACE)

    def stop_bus(self):
        self._end(self._bus_daemon)

    def stop_logind_mock(self):
        self._end(self._mock_process)
        wait_until(lambda: not self._bus.name_has_owner(LOGIND_NAME), 5, 'the mock to leave the bus')

    def _refuse_unless_private_bus(self):
        """The last gate before the program starts: only the mock may answer power requests."""
        address = self.bus_address or ''
        if not address.startswith('unix:path=' + self.bus_socket + ','):
            raise HarnessError('refusing to start: the system bus is not this sandbox\'s private bus')
        if any(s in address for s in REAL_SYSTEM_BUS_SOCKETS):
            raise HarnessError('refusing to start: the address names the real system bus')
        try:
            owner = self._bus.get_name_owner(LOGIND_NAME)
            self.mock.GetCalls()
        except dbus.exceptions.DBusException as error:
            raise HarnessError('refusing to start: private bus or logind mock not answering: %s' % error)
        if owner != self._mock_owner:
            raise HarnessError('refusing to start: org.freedesktop.login1 is not the mock')

    def start_window_manager(self, title_layout):
        """Frames the windows (for pictures); the cases themselves run without one.

        title_layout names the caption bar's parts in openbox's letters
        (N window menu, L title, I minimise, M maximise, C close).
        """
        self._write_window_manager_config(title_layout)
        env = dict(self._base_env(), DISPLAY=self.display)
        wm = subprocess.Popen(['openbox', '--sm-disable'], env=env, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL, start_new_session=True)
        self._processes.append(wm)
        wait_until(lambda: '_NET_SUPPORTING_WM_CHECK' in self.x('xprop', '-root', check=False), 10,
                   'the window manager')

    def set_title_layout(self, title_layout):
        self._write_window_manager_config(title_layout)
        self.x('openbox', '--reconfigure')
        time.sleep(0.5)

    def _write_window_manager_config(self, title_layout):
        with open('/etc/xdg/openbox/rc.xml', encoding='utf-8') as f:
            config = f.read()
        config = re.sub(r'<titleLayout>\w*</titleLayout>', '<titleLayout>%s</titleLayout>' % title_layout, config)
        folder = os.path.join(self.config, 'openbox')
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, 'rc.xml'), 'w', encoding='utf-8') as f:
            f.write(config)

    # --- the program -------------------------------------------------------------
    def _base_env(self):
        keep = ('PATH', 'LANG', 'LC_ALL', 'LANGUAGE')
        env = {k: v for k, v in os.environ.items() if k in keep}
        env.update({
            'HOME': self.home,
            'XDG_CONFIG_HOME': self.config,
            'XDG_DATA_HOME': self.data,
            'XDG_CACHE_HOME': os.path.join(self.root, 'cache'),
            'XDG_STATE_HOME': os.path.join(self.root, 'state'),
            'XDG_RUNTIME_DIR': self.runtime,
            'TMPDIR': self.tmp,
        })
        env.setdefault('LANG', 'C.UTF-8')
        if self.language:
            for name in ('LC_ALL', 'LANGUAGE'):
                env.pop(name, None)
            env['LANG'] = self.language
        return env

    def program_env(self):
        env = self._base_env()
        env.update({
            'DISPLAY': self.display,
            'QT_QPA_PLATFORM': 'xcb',
            'QT_QPA_PLATFORMTHEME': '',
            'DBUS_SYSTEM_BUS_ADDRESS': self.bus_address,
            # Nothing of the real session either: the private bus stands in for it too.
            'DBUS_SESSION_BUS_ADDRESS': self.bus_address,
            'NO_AT_BRIDGE': '1',
        })
        if self.scale:
            env['QT_SCALE_FACTOR'] = str(self.scale)
        return env

    def start(self, binary=None, env_changes=None, output=None, args=()):
        """env_changes: variables to set, or to remove where the value is None.
        output: a descriptor for the program's standard output and error instead of its log.
        args: the program's arguments."""
        self._refuse_unless_private_bus()
        env = self.program_env()
        for key, value in (env_changes or {}).items():
            if value is None:
                env.pop(key, None)
            else:
                env[key] = value
        self._refuse_unless_scratch_folders(env)
        log = output if output is not None else open(os.path.join(self.root, 'program-%d.log' % len(self.apps)), 'w')
        app = subprocess.Popen([binary or binary_under_test()] + list(args), env=env, cwd=self.work,
                               stdout=log, stderr=subprocess.STDOUT, start_new_session=True)
        if output is None:
            log.close()
        self.apps.append(app)
        return app

    def _refuse_unless_scratch_folders(self, env):
        """The clean-ups empty TMPDIR (else /tmp) and the recent list under the
        data folder: no start reaches a folder outside the sandbox."""
        for name in ('HOME', 'XDG_CONFIG_HOME', 'XDG_DATA_HOME', 'TMPDIR'):
            if not env.get(name, '').startswith(self.root + '/'):
                raise AssertionError('refusing to start the program with %s outside the sandbox' % name)
        runtime = env.get('XDG_RUNTIME_DIR')
        if runtime is not None and not runtime.startswith(self.root + '/'):
            raise AssertionError('refusing to start the program with XDG_RUNTIME_DIR outside the sandbox')

    def start_and_wait_window(self, binary=None):
        app = self.start(binary)
        return app, self.wait_window(MAIN_TITLE, pid=app.pid)

    # --- X helpers -----------------------------------------------------------------
    def tool_env(self):
        """The environment of the harness's own X tools: C.UTF-8 whatever the program's language."""
        env = dict(self._base_env(), DISPLAY=self.display, LANG='C.UTF-8')
        for name in ('LC_ALL', 'LANGUAGE'):
            env.pop(name, None)
        return env

    def x(self, *args, check=True, timeout=10):
        env = self.tool_env()
        result = subprocess.run(list(args), env=env, capture_output=True, text=True, timeout=timeout)
        if check and result.returncode != 0:
            raise AssertionError('%s failed: %s' % (' '.join(args), result.stderr.strip()))
        return result.stdout

    def windows(self, title, pid=None):
        """Ids of the mapped windows whose title is exactly the given one."""
        ids = viewable_windows_named(self.display, title)
        if pid is not None:
            ids = [w for w in ids if self.window_pid(w) == pid]
        return ids

    def window_pid(self, window):
        out = self.x('xdotool', 'getwindowpid', window, check=False).strip()
        return int(out) if out.isdigit() else None

    def wait_window(self, title, pid=None, timeout=15):
        ids = wait_until(lambda: self.windows(title, pid), timeout, 'window "%s"' % title)
        return ids[0]

    def wait_no_window(self, title, timeout=10):
        wait_until(lambda: not self.windows(title), timeout, 'window "%s" to go' % title)

    def geometry(self, window):
        """Absolute position and size of the window's client area."""
        info = self.x('xwininfo', '-id', window)
        def field(name):
            return int(re.search(name + r':\s+(-?\d+)', info).group(1))
        return (field('Absolute upper-left X'), field('Absolute upper-left Y'),
                field('Width'), field('Height'))

    def properties(self, window):
        return self.x('xprop', '-id', window)

    def motif_hints(self, window):
        """(functions, decorations) the window asks of a window manager."""
        match = re.search(r'_MOTIF_WM_HINTS\(_MOTIF_WM_HINTS\) = (.*)', self.properties(window))
        fields = [int(v, 16) for v in match.group(1).split(', ')]
        return fields[1], fields[2]

    def frame_extents(self, window):
        """(left, right, top, bottom) borders a window manager put around the window."""
        match = re.search(r'_NET_FRAME_EXTENTS\(CARDINAL\) = (.*)', self.properties(window))
        return tuple(int(v) for v in match.group(1).split(', ')) if match else (0, 0, 0, 0)

    def close_window(self, window):
        ask_window_to_close(self.display, window)

    def click(self, window, spot):
        x, y = spot
        self.x('xdotool', 'mousemove', '--sync', '--window', window, str(x), str(y))
        self.x('xdotool', 'click', '1')

    def key(self, window, *keys):
        self.x('xdotool', 'windowfocus', '--sync', window)
        self.x('xdotool', 'key', '--clearmodifiers', *keys)

    def type_text(self, window, text):
        self.x('xdotool', 'windowfocus', '--sync', window)
        self.x('xdotool', 'type', '--delay', '5', text)

    def screenshot(self, path):
        self.x('import', '-window', 'root', path)

    def window_pixels(self, window, path):
        """The window's client area as raw RGB bytes; the picture is kept at path."""
        time.sleep(0.7)  # let the window finish painting
        x, y, width, height = self.geometry(window)
        self.x('import', '-window', 'root', '-crop', '%dx%d+%d+%d' % (width, height, x, y), '+repage', path)
        return subprocess.run(['convert', path, 'rgb:-'], env=self.tool_env(), capture_output=True, check=True,
                              timeout=10).stdout

    # --- the store and the mock -------------------------------------------------------
    def ini(self):
        return read_ini(self.ini_path)

    def write_ini(self, values):
        write_ini(self.ini_path, values)

    def watch_ini(self):
        return FileWatch(self.config, INI_NAME)

    def power_calls(self):
        """(method, args) of every power request that reached the mock, in order."""
        calls = []
        for _, method, args in self.mock.GetCalls():
            if str(method) in ('PowerOff', 'Reboot', 'Suspend', 'Hibernate', 'HybridSleep'):
                calls.append((str(method), [bool(a) if isinstance(a, dbus.Boolean) else a for a in args]))
        return calls

    def refuse_power(self, method, message):
        """Makes the mock answer a power request with a polkit-style refusal."""
        code = ("raise dbus.exceptions.DBusException(%r, name='org.freedesktop.DBus.Error.AccessDenied')"
                % message)
        self.mock.AddMethod(LOGIND_MANAGER, method, 'b', '', code)

    # --- tear-down -------------------------------------------------------------------
    def close(self):
        for app in self.apps:
            self._end(app)
        for process in reversed(self._processes):
            self._end(process)
        self._processes = []
        self.apps = []
        if self._bus_folder:
            shutil.rmtree(self._bus_folder, ignore_errors=True)

    @staticmethod
    def _end(process):
        if process.poll() is not None:
            return
        try:
            os.killpg(process.pid, signal.SIGTERM)
        except ProcessLookupError:
            return
        try:
            process.wait(5)
        except subprocess.TimeoutExpired:
            os.killpg(process.pid, signal.SIGKILL)
            process.wait(5)
