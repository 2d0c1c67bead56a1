"""Drives the real desktop program as a user does: a virtual screen of its own, a fresh
application folder, real key and mouse events, and what the user sees read back through the
accessibility tree (roles, names, states, texts, table cells).

Every wait is on a condition with a time limit; a failed wait or check raises ScenarioFailure
after a screenshot of the whole screen has been saved."""

import os
import re
import shutil
import signal
import subprocess
import tempfile
import time

WAIT = 20.0  # seconds a step may take on a loaded machine
POLL = 0.05


class ScenarioFailure(Exception):
    pass


class ScenarioSkipped(Exception):
    """The machine cannot give what the scenario needs (not a fault of the program)."""


class VirtualScreen:
    """An X server on a display number it picks itself, so parallel runs never collide."""

    def __init__(self, width=1400, height=900):
        read_end, write_end = os.pipe()
        self.process = subprocess.Popen(
            ['Xvfb', '-displayfd', str(write_end), '-screen', '0', f'{width}x{height}x24',
             '-nolisten', 'tcp', '-noreset'],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        number = b''
        deadline = time.monotonic() + WAIT
        while not number.endswith(b'\n'):
            if time.monotonic() > deadline or self.process.poll() is not None:
                raise ScenarioFailure('the virtual screen did not start')
            chunk = os.read(read_end, 16)
            if not chunk:
                raise ScenarioFailure('the virtual screen did not start')
            number += chunk
        os.close(read_end)
        self.display = ':' + number.decode().strip()

    def close(self):
        if self.process.poll() is None:
            self.process.terminate()
            self.process.wait(10)


class SessionPlace:
    """The runtime folder of this run's D-Bus session, and the screen its services belong to.

    The accessibility bus's launcher is started by the session bus on the first look at the
    accessibility tree, with the session's activation environment. Left alone, that holds no
    screen and no runtime folder, and every session on the machine then puts its accessibility
    bus at one and the same socket path: a later session takes the path over, and a program
    started after that asks its own session for the address and lands on another session's bus,
    where the scenario never sees it. A folder of its own for the socket, and the screen (on whose
    root window the launcher leaves the bus's address for the toolkit), keep each run apart."""

    def __init__(self, display):
        self.runtime = tempfile.mkdtemp(prefix='orvel-scenario-run-')
        os.environ['XDG_RUNTIME_DIR'] = self.runtime
        os.environ['DISPLAY'] = display
        result = subprocess.run(['dbus-update-activation-environment',
                                 f'DISPLAY={display}', f'XDG_RUNTIME_DIR={self.runtime}'],
                                capture_output=True, text=True, timeout=30)
        if result.returncode != 0:
            raise ScenarioFailure('the D-Bus session refused the screen and the runtime folder: '
                                  + result.stderr.strip())

    def remove(self):
        shutil.rmtree(self.runtime, ignore_errors=True)


class AppFolder:
    """A copy of the built program's folder: every start is a first start unless kept."""

    def __init__(self, bin_dir):
        self.path = tempfile.mkdtemp(prefix='orvel-scenario-')
        shutil.copytree(bin_dir, self.path, dirs_exist_ok=True, symlinks=True)
        try:
            os.remove(os.path.join(self.path, 'data', 'settings.xml'))
        except FileNotFoundError:
            pass

    def reports(self, *parts):
        return os.path.join(self.path, 'data reports', *parts)

    def add_report(self, group, name, definition, script):
        folder = self.reports(group)
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, name + '.xml'), 'w', encoding='utf-8') as f:
            f.write(definition)
        with open(os.path.join(folder, name + '.sql'), 'w', encoding='utf-8') as f:
            f.write(script)

    def remove(self):
        shutil.rmtree(self.path, ignore_errors=True)


def wait_until(what, condition, timeout=WAIT):
    """The condition's first true value; a failure names what was awaited."""
    deadline = time.monotonic() + timeout
    last_error = None
    while True:
        try:
            value = condition()
            if value:
                spent = time.monotonic() - (deadline - timeout)
                if spent > 1.0:  # where a slow scenario spends its time
                    print(f'  {spent:5.1f} s until: {what}', flush=True)
                return value
        except ScenarioFailure:
            raise
        except Exception as error:  # the tree changes under the reader: look again
            last_error = error
        if time.monotonic() > deadline:
            detail = f' ({last_error})' if last_error else ''
            raise ScenarioFailure(f'waited {timeout:.0f} s in vain for: {what}{detail}')
        time.sleep(POLL)


class Desktop:
    """One run of the program on its own screen and accessibility bus."""

    def __init__(self, scenario, bin_dir, shots_dir, folder=None, screen=None):
        self.scenario = scenario
        self.shots_dir = shots_dir
        self.screen = screen or VirtualScreen()
        self.own_screen = screen is None
        os.environ['DISPLAY'] = self.screen.display
        self.folder = folder or AppFolder(bin_dir)
        self.process = None
        self.shot_count = 0
        self._status_bar = None
        self.locale = 'pl_PL.UTF-8'  # the user's session language, as LANG and LC_ALL give it
        import pyatspi  # after DISPLAY is set: the accessibility bus belongs to this screen
        self.at = pyatspi

    # -- the program ----------------------------------------------------------------------

    def start(self):
        env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON='1', QT_QPA_PLATFORM='xcb',
                   LANG=self.locale, LC_ALL=self.locale, LANGUAGE=self.locale.split('_')[0])
        env.pop('QT_ACCESSIBILITY', None)
        # The registry is asked first, so that it is up before the program announces itself:
        # an announcement that races the registry's own start can be lost.
        wait_until('the accessibility registry',
                   lambda: self.at.Registry.getDesktop(0).childCount >= 0)
        self.log = open(os.path.join(self.shots_dir, f'{self.scenario}-program.log'), 'a')
        self.process = subprocess.Popen([os.path.join(self.folder.path, 'orvel-zestawnik')],
                                        env=env, stdout=self.log, stderr=self.log,
                                        start_new_session=True)
        self._status_bar = None
        # A loaded machine can take long to put a second start on the bus.
        self.app = wait_until('the program on the accessibility bus', self._find_app, 45)
        return self

    def _find_app(self):
        self.check_alive()
        desktop = self.at.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            app = desktop.getChildAtIndex(i)
            try:
                if app is not None and app.get_process_id() == self.process.pid:
                    return app
            except Exception:
                continue
        return None

    def check_alive(self):
        if self.process.poll() is not None:
            raise ScenarioFailure(f'the program ended (exit status {self.process.returncode})')

    def wait_exit(self, timeout=WAIT):
        wait_until('the program to end', lambda: self.process.poll() is not None, timeout)
        return self.process.returncode

    def stop(self):
        if self.process and self.process.poll() is None:
            os.killpg(self.process.pid, signal.SIGTERM)
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                os.killpg(self.process.pid, signal.SIGKILL)
                self.process.wait(10)
        if getattr(self, 'log', None):
            self.log.close()
            self.log = None

    def close(self, keep_folder=False):
        self.stop()
        if not keep_folder:
            self.folder.remove()
        if self.own_screen:
            self.screen.close()

    def screenshot(self, label):
        self.shot_count += 1
        name = re.sub(r'[^\w.-]+', '-', f'{self.scenario}-{self.shot_count:02d}-{label}')
        path = os.path.join(self.shots_dir, name + '.png')
        subprocess.run(['import', '-window', 'root', path], env=dict(os.environ),
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30)
        return path

    # -- finding what the user sees -------------------------------------------------------

    def role(self, node):
        return node.getRoleName()

    def label_of(self, node):
        """The name of the label that names the node (a combo box is named by its label)."""
        try:
            for relation in node.getRelationSet():
                if relation.getRelationType() == self.at.RELATION_LABELLED_BY:
                    for i in range(relation.getNTargets()):
                        return relation.getTarget(i).name
        except Exception:
            pass
        return None

    def showing(self, node):
        return node.getState().contains(self.at.STATE_SHOWING)

    def enabled(self, node):
        return node.getState().contains(self.at.STATE_ENABLED)

    def focused(self, node):
        return node.getState().contains(self.at.STATE_FOCUSED)

    def checked(self, node):
        return node.getState().contains(self.at.STATE_CHECKED)

    def _walk(self, node, match, found, only_showing, depth=0):
        if node is None or depth > 40:
            return
        try:
            if only_showing and depth > 0 and not self.showing(node):
                return
            if match(node):
                found.append(node)
            role = node.getRoleName()
            # The cells of a big result are read through the table, not walked.
            if role in ('table', 'tree table') and node.childCount > 200:
                return
            count = node.childCount
        except Exception:
            return
        for i in range(count):
            try:
                child = node.getChildAtIndex(i)
            except Exception:
                continue
            self._walk(child, match, found, only_showing, depth + 1)

    def find_all(self, role=None, name=None, root=None, only_showing=True, label=None):
        def match(node):
            if role is not None and node.getRoleName() != role:
                return False
            if name is not None:
                text = node.name
                if isinstance(name, re.Pattern):
                    if not name.search(text or ''):
                        return False
                elif text != name:
                    return False
            if label is not None and self.label_of(node) != label:
                return False
            return True

        found = []
        self._walk(root or self.app, match, found, only_showing)
        return found

    def find(self, role=None, name=None, root=None, label=None, timeout=WAIT, what=None):
        """The one showing control of that role and name, once it is there."""
        description = what or f'{role or "control"} "{name if name is not None else label}"'

        def one():
            self.check_alive()
            found = self.find_all(role, name, root, label=label)
            return found[0] if len(found) >= 1 else None

        return wait_until(description, one, timeout)

    def absent(self, role=None, name=None, root=None, timeout=WAIT):
        wait_until(f'{role} "{name}" to go away',
                   lambda: not self.find_all(role, name, root), timeout)

    def window(self, name, role=None, timeout=WAIT):
        """A top-level window or dialog of the program by its caption."""
        def top():
            self.check_alive()
            for i in range(self.app.childCount):
                node = self.app.getChildAtIndex(i)
                if node is None:
                    continue
                if role and node.getRoleName() != role:
                    continue
                title = node.name or ''
                ok = name.search(title) if isinstance(name, re.Pattern) else title == name
                if ok and self.showing(node):
                    return node
            return None
        return wait_until(f'the window "{name}"', top, timeout)

    def text_of(self, node):
        try:
            text = node.queryText()
            return text.getText(0, text.characterCount)
        except NotImplementedError:
            return node.name

    def wait_text(self, node, what, condition, timeout=WAIT):
        return wait_until(what, lambda: condition(self.text_of(node)) and self.text_of(node),
                          timeout)

    def wait_name(self, node, what, condition, timeout=WAIT):
        return wait_until(what, lambda: condition(node.name or '') and (node.name or ' '),
                          timeout)

    def wait_state(self, node, what, condition, timeout=WAIT):
        wait_until(what, lambda: condition(node), timeout)

    def status_bar(self):
        """The main window's status bar, looked up once per start: each look at the status
        would otherwise walk the whole window over the bus."""
        bar = self._status_bar
        try:
            if bar is not None and self.showing(bar):
                return bar
        except Exception:
            pass
        self._status_bar = self.find('status bar', None, what='the status bar')
        return self._status_bar

    def status(self, panel=1):
        bar = self.status_bar()
        labels = [c for c in (bar.getChildAtIndex(i) for i in range(bar.childCount))
                  if c is not None and c.getRoleName() == 'label']
        return labels[panel].name if panel < len(labels) else ''

    def wait_status(self, what, condition, panel=1, timeout=WAIT):
        return wait_until(f'the status bar to show {what}',
                          lambda: condition(self.status(panel)) and self.status(panel), timeout)

    # -- tables ---------------------------------------------------------------------------

    def table(self, node):
        return node.queryTable()

    def column_captions(self, node):
        table = self.table(node)
        captions = []
        for column in range(table.nColumns):
            header = table.getColumnHeader(column)
            captions.append(header.name if header is not None else
                            table.getColumnDescription(column))
        return captions

    def cell(self, node, row, column):
        return self.table(node).getAccessibleAt(row, column).name

    # -- input ----------------------------------------------------------------------------

    def key(self, *keys):
        """Keys as xdotool names them ("ctrl+s", "F5", "Return"), pressed one after another,
        sent to the window that has the keyboard focus."""
        self.check_alive()
        subprocess.run(['xdotool', 'key', '--clearmodifiers', '--delay', '40', *keys],
                       check=True, timeout=30)

    def type(self, text):
        self.check_alive()
        subprocess.run(['xdotool', 'type', '--clearmodifiers', '--delay', '30', '--', text],
                       check=True, timeout=60)

    def center(self, node):
        extents = node.queryComponent().getExtents(self.at.DESKTOP_COORDS)
        return extents.x + extents.width // 2, extents.y + extents.height // 2

    def extents(self, node):
        e = node.queryComponent().getExtents(self.at.DESKTOP_COORDS)
        return e.x, e.y, e.width, e.height

    def click_at(self, x, y, button=1, count=1):
        self.check_alive()
        # No --sync: it waits for a motion that never comes when the pointer is there already;
        # the server handles the move before the click that follows it anyway.
        command = ['xdotool', 'mousemove', str(x), str(y)]
        if count > 0:
            command += ['click', '--repeat', str(count), str(button)]
        subprocess.run(command, check=True, timeout=30)

    def click(self, node, dx=None, dy=None, button=1, count=1):
        """A real click: the pointer moves onto the control and the button goes down and up.
        dx, dy place the click relative to the control's top-left corner (else its middle)."""
        x, y, w, h = self.extents(node)
        self.click_at(x + (w // 2 if dx is None else dx), y + (h // 2 if dy is None else dy),
                      button, count)

    def drag(self, start, end):
        self.check_alive()
        (x0, y0), (x1, y1) = start, end
        subprocess.run(['xdotool', 'mousemove', str(x0), str(y0), 'mousedown', '1'],
                       check=True, timeout=30)
        steps = 8
        for i in range(1, steps + 1):
            subprocess.run(['xdotool', 'mousemove',
                            str(x0 + (x1 - x0) * i // steps), str(y0 + (y1 - y0) * i // steps)],
                           check=True, timeout=30)
        subprocess.run(['xdotool', 'mouseup', '1'], check=True, timeout=30)

    def x_window(self, title_pattern, timeout=WAIT):
        """The X window id of the newest shown top-level window whose title matches."""
        pattern = re.compile(title_pattern)

        def search():
            self.check_alive()
            result = subprocess.run(['xdotool', 'search', '--onlyvisible', '--pid',
                                     str(self.process.pid), '--name', '.'],
                                    capture_output=True, text=True, timeout=30)
            for window_id in reversed(result.stdout.split()):
                title = subprocess.run(['xdotool', 'getwindowname', window_id],
                                       capture_output=True, text=True, timeout=30).stdout
                if pattern.search(title.rstrip('\n')):
                    return window_id
            return None
        return wait_until(f'the X window "{title_pattern}"', search, timeout)

    def focus_window(self, title_pattern, timeout=WAIT):
        """The window system gives the window the keyboard, as a window manager does when the
        window appears or the user clicks its title (the screen has no window manager)."""
        window_id = self.x_window(title_pattern, timeout)
        subprocess.run(['xdotool', 'windowfocus', '--sync', window_id], check=True, timeout=30)
        return window_id

    def close_window(self, title_pattern):
        """The window system's close request, as the title bar's close button sends it."""
        from Xlib import X, display, protocol
        window_id = int(self.x_window(title_pattern), 0)
        d = display.Display(self.screen.display)
        try:
            window = d.create_resource_object('window', window_id)
            protocols = d.intern_atom('WM_PROTOCOLS')
            delete = d.intern_atom('WM_DELETE_WINDOW')
            event = protocol.event.ClientMessage(window=window, client_type=protocols,
                                                 data=(32, [delete, X.CurrentTime, 0, 0, 0]))
            window.send_event(event, event_mask=X.NoEventMask)
            # A round trip before the connection closes: this library's close does not wait
            # for the server as the C library's does, and on a busy server the close request
            # was then now and then never delivered.
            d.sync()
        finally:
            d.close()

    def move_window(self, title_pattern, x, y, width, height):
        """The window system moves and sizes the window, as a window manager does when the
        user drags its title bar and border."""
        window_id = self.x_window(title_pattern)
        subprocess.run(['xdotool', 'windowsize', '--sync', window_id, str(width), str(height)],
                       check=True, timeout=30)
        subprocess.run(['xdotool', 'windowmove', '--sync', window_id, str(x), str(y)],
                       check=True, timeout=30)

    def window_geometry(self, title_pattern):
        window_id = self.x_window(title_pattern)
        out = subprocess.run(['xdotool', 'getwindowgeometry', '--shell', window_id],
                             capture_output=True, text=True, check=True, timeout=30).stdout
        values = dict(line.split('=', 1) for line in out.split())
        return tuple(int(values[k]) for k in ('X', 'Y', 'WIDTH', 'HEIGHT'))
