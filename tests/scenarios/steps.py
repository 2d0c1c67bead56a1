"""The steps that many scenarios share: the login, the database, a report from the tree."""

import re

from desktop import ScenarioFailure, wait_until

MAIN_TITLE = re.compile(r'^Orvel-Zestawnik [0-9.]+')
MAIN_X_TITLE = '^Orvel-Zestawnik [0-9.]+$'
LOGIN_TITLE = re.compile(r': login$')


def expect(condition, message):
    if not condition:
        raise ScenarioFailure(message)


def main_window(d):
    return d.window(MAIN_TITLE, role='frame')


def log_in(d):
    """Start and log in to the offered demo folder with the keyboard (Enter on "Połącz")."""
    login = d.window(LOGIN_TITLE)
    server = d.find('combo box', label='Nazwa serwera', root=login)
    expect(server.name.startswith('sqlite:'), f'the login offers "{server.name}", not the demo')
    d.find('push button', 'Połącz', root=login)
    d.focus_window(': login$')
    d.key('Return')
    d.wait_status('the user after the login', lambda t: t.startswith(' Użytkownik:') or
                  t.startswith('Użytkownik:'), panel=0)
    d.focus_window(MAIN_X_TITLE)
    return main_window(d)


def choose_database(d, name='HURTOWNIA'):
    """The database list by its key, then the arrows until the database shows."""
    base = d.find('combo box', label='Baza')
    wait_until('the database list to be usable', lambda: d.enabled(base))
    d.key('alt+b')
    wait_until('the database list to take the focus', lambda: d.focused(base))
    for _ in range(10):
        if base.name == name:
            break
        shown = base.name
        d.key('Down')
        # The list's own text, not the status bar, says the key was taken: under load the
        # status bar can be read before the change has even begun, and one Down too many
        # passes the database.
        wait_until('the database list to move on', lambda: base.name != shown)
        d.wait_status('the database change to end',
                      lambda t: 'Zmiana bazy' not in t)
    expect(base.name == name, f'the database list shows "{base.name}", not {name}')
    d.wait_status('"OK" or a loaded report',
                  lambda t: t.strip() in ('OK', 'Baza nie została ustawiona !') or
                  'Raport nie' in t)
    return base


def report_tree(d):
    return d.find('tree', 'Lista raportów')


def tree_items(d, tree):
    """The tree's rows as the user reads them, top to bottom."""
    rows = []
    for i in range(tree.childCount):
        node = tree.getChildAtIndex(i)
        if node is not None and node.getRoleName() in ('tree item', 'list item', 'table cell'):
            rows.append(node)
    return rows


def choose_report(d, name):
    """Alt+R into the report tree, then Down until the report is selected and loaded."""
    tree = report_tree(d)
    d.key('alt+r')
    wait_until('the report tree to take the focus', lambda: d.focused(tree))
    for _ in range(20):
        selected = [n for n in tree_items(d, tree)
                    if d.at.STATE_SELECTED in n.getState().getStates()]
        if selected and selected[0].name == name:
            break
        d.key('Down')
        # Each report passed on the way loads; the next key waits for its end.
        d.wait_status('the report to load', lambda t: 'Ładowanie' not in t)
    selected = [n for n in tree_items(d, tree)
                if d.at.STATE_SELECTED in n.getState().getStates()]
    expect(selected and selected[0].name == name,
           f'the tree selects "{selected[0].name if selected else ""}", not "{name}"')
    d.wait_status(f'"{name}" loaded', lambda t: t.strip() == 'OK')
    return tree


def param_input(d, caption, role='text'):
    return d.find(role, caption, what=f'the parameter input "{caption}"')


def result_grid(d):
    return d.find('table', 'Wynik raportu')


def run_with_f5(d):
    """F5 from wherever the focus is; the result once the status bar shows the run's time."""
    d.key('F5')
    d.wait_status('the run to end', lambda t: t.startswith('OK, czas generowania raportu'),
                  timeout=60)
    return result_grid(d)


def message_box(d, text_part=None):
    """The message box that is up now, found by a part of its text."""
    def box():
        d.check_alive()
        for i in range(d.app.childCount):
            node = d.app.getChildAtIndex(i)
            if node is None or node.getRoleName() not in ('alert', 'dialog'):
                continue
            if not d.showing(node):
                continue
            labels = d.find_all('label', root=node)
            text = ' '.join(label.name or '' for label in labels)
            if text_part is None or text_part in text:
                return node
        return None
    return wait_until(f'a message box with "{text_part}"', box)


def answer(d, box, button, back_to=MAIN_X_TITLE):
    """A click on the box's button, as the user answers it. The screen has no window manager,
    so the keyboard is given back to the window under the box (back_to) as one would."""
    d.click(d.find('push button', button, root=box))
    if back_to is None:
        return
    wait_until('the box to close', lambda: not d.showing(box))
    d.focus_window(back_to)


# The entries of the menu behind "Zapisz", reached by the arrows from its key: CSV is the
# first, the PDF document the last and the workbook the one above it.
EXPORT_MENU_KEYS = {'csv': ['Down'], 'xlsx': ['Up', 'Up'], 'pdf': ['Up']}


def save_through_dialog(d, kind, path):
    """The export menu behind "Zapisz" by its key and the arrows, then the file's path typed
    into the real file dialog and Enter."""
    d.focus_window(MAIN_X_TITLE)
    # The menu is a pop-up, which the toolkit keeps off the accessibility tree.
    d.key('alt+z', *EXPORT_MENU_KEYS[kind], 'Return')
    dialog = d.window(re.compile('^(Zapisz|Arkusz)'), role='dialog')
    name = d.find('text', re.compile('^Nazwa pliku'), root=dialog,
                  what='the file name field of the save dialog')
    d.focus_window('^' + re.escape(dialog.name) + '$')
    d.click(name)
    d.key('ctrl+a')
    d.type(path)
    d.key('Return')
    return dialog
