"""The scenarios: each drives the real window as a user does and reads back what the user sees.

A scenario is a function of one Session; ALL names them for the runner and for ctest."""

import codecs
import os
import re
import subprocess
import zipfile

from desktop import (WAIT, AppFolder, Desktop, ScenarioFailure, ScenarioSkipped, SessionPlace,
                     VirtualScreen, wait_until)
from steps import (MAIN_X_TITLE, answer, choose_database, choose_report, expect, log_in,
                   main_window, message_box, param_input, report_tree, result_grid,
                   run_with_f5, save_through_dialog, tree_items)

SAMPLES = 'Przykłady'


class Session:
    """One scenario's screen and application folder; the program may be started more than once
    on them (a restart)."""

    def __init__(self, name, bin_dir, shots_dir, width=1920, height=1080):
        self.name = name
        self.bin_dir = bin_dir
        self.shots_dir = shots_dir
        self.screen = VirtualScreen(width, height)
        # Before anything looks at the accessibility tree, which starts the accessibility bus.
        try:
            self.place = SessionPlace(self.screen.display)
        except BaseException:
            self.screen.close()
            raise
        self.folder = AppFolder(bin_dir)
        self.home = os.path.join(self.folder.path, 'home')
        os.makedirs(self.home)
        os.environ['HOME'] = self.home
        os.environ['XDG_CONFIG_HOME'] = os.path.join(self.home, '.config')
        self.desktop = None

    def start(self, locale=None):
        if self.desktop is None:
            self.desktop = Desktop(self.name, self.bin_dir, self.shots_dir, self.folder,
                                   self.screen)
        if locale:
            self.desktop.locale = locale
        self.desktop.start()
        return self.desktop

    def failure_shot(self):
        if self.desktop is None:
            return None
        return self.desktop.screenshot('failure')

    def close(self):
        if self.desktop is not None:
            self.desktop.stop()
        self.folder.remove()
        self.screen.close()
        self.place.remove()


def number(text):
    """A number as the grid shows it in Polish ("1 234,56")."""
    return float(text.replace('\u00a0', '').replace(' ', '').replace(',', '.'))


def logged_in_report(s, report, database='HURTOWNIA', locale=None):
    d = s.start(locale)
    log_in(d)
    choose_database(d, database)
    choose_report(d, report)
    return d


def column_values(d, grid, column, rows):
    return [d.cell(grid, row, column) for row in range(rows)]


def header_cell(d, grid, caption):
    table = d.table(grid)
    for column in range(table.nColumns):
        header = table.getColumnHeader(column)
        if header is not None and header.name == caption:
            return column, header
    raise ScenarioFailure(f'the grid has no column "{caption}"')


def grab(d, x, y, w, h, label):
    path = os.path.join(d.shots_dir, f'{d.scenario}-{label}.png')
    subprocess.run(['import', '-window', 'root', '-crop', f'{w}x{h}+{x}+{y}', '+repage', path],
                   check=True, timeout=30)
    return path


def settled_title(d, header, label):
    """The title's picture once the grid has stopped repainting it: its place and its picture
    the same on two looks in a row (a sort refits the columns after the rows are in order)."""
    last = {}

    def steady():
        x, y, w, h = d.extents(header)
        d.click_at(5, 5, count=0)  # the pointer off the titles: no hover look in the pictures
        # The title's inside, its caption and its sort mark, without the borders it shares.
        path = grab(d, x + 2, y + 2, w - 8, h - 4, label)
        previous = last.get('shot')
        if previous and previous[0] == (x, y, w, h) and same_picture(previous[1], path):
            return (x, y, w, h), path
        keep = path + '.previous.png'
        os.replace(path, keep)
        last['shot'] = ((x, y, w, h), keep)
        return None

    return wait_until(f'the title "{label}" to settle', steady)


def same_picture(a, b):
    result = subprocess.run(['compare', '-metric', 'AE', a, b, 'null:'], capture_output=True,
                            text=True, timeout=30)
    return result.stderr.strip() == '0'


# ---------------------------------------------------------------------------------------------


def run(s):
    """Log in with the keyboard, a database and a report with the arrows, a refused number, F5,
    a sort by a click on a title and a column dragged elsewhere with its sort mark."""
    d = logged_in_report(s, 'Faktury kontrahenta')
    amount = param_input(d, 'Kwota brutto od')
    d.click(amount)
    wait_until('the amount input to take the focus', lambda: d.focused(amount))
    d.type('12x')
    d.key('Tab')
    box = message_box(d, 'Wprowadzona wartość nie jest liczbą')
    answer(d, box, 'OK')
    wait_until('the focus back in the refused input', lambda: d.focused(amount))
    d.key('ctrl+a')
    d.type('1000')
    expect(d.text_of(amount) == '1000', f'the amount input shows "{d.text_of(amount)}"')

    grid = run_with_f5(d)
    captions = d.column_captions(grid)
    for caption in ('Numer', 'Kontrahent', 'Brutto', 'Netto'):
        expect(caption in captions, f'the grid has no column "{caption}": {captions}')
    rows = d.table(grid).nRows
    expect(rows > 5, f'the grid shows {rows} rows')
    brutto, header = header_cell(d, grid, 'Brutto')
    # The title must be seen whole, its sort mark included: the columns are fitted to their
    # values, so the window is made as wide as the screen, as a user widens it.
    gx, gy, gw, gh = d.extents(grid)
    if sum(d.extents(header)[0:3:2]) > gx + gw - 20:
        d.move_window(MAIN_X_TITLE, 0, 0, 1900, 1000)
        wait_until('the "Brutto" title to be seen whole', lambda: sum(
            d.extents(header)[0:3:2]) <= sum(d.extents(grid)[0:3:2]) - 20)
    values = [number(v) for v in column_values(d, grid, brutto, rows)]
    expect(min(values) >= 1000, f'a gross amount below the filter: {min(values)}')

    # A click on the title sorts ascending.
    d.click(header)
    wait_until('the grid sorted by "Brutto"', lambda: [
        number(v) for v in column_values(d, grid, brutto, rows)] == sorted(values))
    (x, y, w, h), before = settled_title(d, header, 'mark-before')
    # Dragged over the first columns: the column moves, its mark and its order stay.
    first = d.table(grid).getColumnHeader(0)
    fx, fy, fw, fh = d.extents(first)
    d.drag((x + w // 2, y + h // 2), (fx + 5, fy + fh // 2))
    wait_until('the "Brutto" column to move left', lambda: d.extents(header)[0] < x)
    (nx, ny, nw, nh), after = settled_title(d, header, 'mark-after')
    expect(nw == w and same_picture(before, after),
           'the moved title of "Brutto" looks different from before the move (sort mark lost)')
    now = [number(v) for v in column_values(d, grid, brutto, rows)]
    expect(now == sorted(values), 'the rows lost their order when the column moved')
    d.screenshot('sorted-and-moved')


def date_click(s):
    """A click into the grey text of an unticked date, then a date typed: the input shows the
    typed date alone."""
    d = logged_in_report(s, 'Sprzedaż w okresie')
    date_from = param_input(d, 'Data od')
    tick = d.find('check box', 'Data od: ustawiona')
    expect(not d.checked(tick), 'the date "Data od" is ticked on a fresh start')
    grey = d.text_of(date_from)
    x, y, w, h = d.extents(date_from)
    d.click(date_from, dx=w * 2 // 3)  # inside the grey text, past its first digits
    wait_until('the date input to take the focus', lambda: d.focused(date_from))
    d.type('31.12.2024')
    shown = d.text_of(date_from)
    d.screenshot('typed-date')
    expect(shown == '31.12.2024',
           f'the date input shows "{shown}" after typing 31.12.2024 over "{grey}"')


def export(s):
    """CSV and XLSX through the real file dialog, each written twice: the overwrite question
    answered "Tak" replaces the file."""
    d = logged_in_report(s, 'Faktury kontrahenta')
    grid = run_with_f5(d)
    rows = d.table(grid).nRows
    captions = [c for c in d.column_captions(grid)]
    target_dir = os.path.join(s.home, 'eksport')
    os.makedirs(target_dir)
    for kind, file_name, check in (('csv', 'faktury.csv', check_csv),
                                   ('xlsx', 'faktury.xlsx', check_xlsx)):
        path = os.path.join(target_dir, file_name)
        for attempt in (1, 2):
            if attempt == 2:
                with open(path, 'wb') as f:
                    f.write(b'stale')
            save_through_dialog(d, kind, path)
            if attempt == 2:
                box = message_box(d, 'istnieje')
                d.screenshot(f'overwrite-{file_name}')
                answer(d, box, 'Tak')
            wait_written(d, file_name)
            expect(open(path, 'rb').read() != b'stale', f'{file_name} was not replaced')
            check(path, captions, rows)


def wait_written(d, file_name, timeout=WAIT):
    """The status bar's word that the file was written: "Zapisano N wierszy do pliku „NAME”"."""
    return d.wait_status(f'"Zapisano … do pliku „{file_name}”"', lambda t: t.startswith(
        'Zapisano ') and f'do pliku \u201e{file_name}\u201d' in t, timeout=timeout)


def check_csv(path, captions, rows):
    def whole():
        text = open(path, 'rb').read().decode('cp1250')
        lines = [line for line in text.split('\r\n') if line]
        return lines if len(lines) == rows + 1 else None
    lines = wait_until(f'{os.path.basename(path)} with {rows} rows', whole)
    for caption in ('Numer', 'Kontrahent', 'Brutto'):
        expect(caption in lines[0], f'the CSV header "{lines[0]}" lacks "{caption}"')


def check_xlsx(path, captions, rows):
    def readable():
        try:
            with zipfile.ZipFile(path) as book:
                return book.read('xl/sharedStrings.xml').decode('utf-8') if \
                    'xl/sharedStrings.xml' in book.namelist() else \
                    book.read('xl/worksheets/sheet1.xml').decode('utf-8')
        except (zipfile.BadZipFile, KeyError, OSError):
            return None
    text = wait_until(f'{os.path.basename(path)} readable as a workbook', readable)
    for caption in ('Numer', 'Kontrahent', 'Brutto'):
        expect(caption in text, f'the workbook lacks the caption "{caption}"')


LONG_RUN_DEFINITION = '''<?xml version="1.0" encoding="utf-8" standalone="yes"?>
<Zestawnik>
  <version>1.0</version>
  <params></params>
</Zestawnik>
'''
LONG_RUN_SCRIPT = '''-- [Orvel_Zestawnik_PARAMETRY]
WITH c(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM c WHERE n < 2000000000)
SELECT COUNT(*) AS Liczba FROM c
'''


def cancel(s):
    """Esc during a long run stops it: the status bar says so and the window is usable."""
    s.folder.add_report('Testy', 'Długie liczenie', LONG_RUN_DEFINITION, LONG_RUN_SCRIPT)
    d = logged_in_report(s, 'Długie liczenie')
    run_button = d.find('push button', 'Uruchom')
    d.key('F5')
    d.wait_status('the run to be under way', lambda t: t.startswith('Wykonywanie'))
    d.screenshot('running')
    d.key('Escape')
    d.wait_status('the run to be stopped', lambda t: t.startswith('Przerwano'), timeout=30)
    wait_until('"Uruchom" usable again', lambda: d.enabled(run_button))
    expect(d.find_all('label', 'Raport jest pusty'), 'a stopped run shows a result')


def restart(s):
    """The window's place and size set through the window system come back after a restart."""
    d = s.start()
    log_in(d)
    choose_database(d)
    place = (60, 50, 900, 620)
    d.move_window(MAIN_X_TITLE, *place)
    wait_until('the window at its new place', lambda: d.window_geometry(MAIN_X_TITLE) == place)
    d.close_window(MAIN_X_TITLE)
    status = d.wait_exit()
    expect(status == 0, f'the program ended with status {status}')
    d.stop()
    d = s.start()
    d.window(re.compile(': login$'))
    main_window(d)
    try:
        wait_until(f'the window back at {place}',
                   lambda: d.window_geometry(MAIN_X_TITLE) == place)
    except ScenarioFailure:
        raise ScenarioFailure(f'the window came back at {d.window_geometry(MAIN_X_TITLE)}, '
                              f'not at {place}')
    d.screenshot('restored')


# -- the editors ------------------------------------------------------------------------------


def editor(d, caption):
    """The editor of a tab: the tab clicked first, then the editor."""
    tab = d.find('page tab', re.compile('^' + re.escape(caption) + r'\*?$'))
    d.click(tab)
    return tab, d.find('text', caption, what=f'the editor "{caption}"')


def type_in_editor(d, caption, keys_before, text):
    tab, ed = editor(d, caption)
    d.click(ed)
    wait_until(f'the editor "{caption}" to take the focus', lambda: d.focused(ed))
    d.key(*keys_before)
    d.type(text)
    wait_until(f'the tab "{caption}" marked changed', lambda: tab.name == caption + '*')
    return tab, ed


def file_text(path):
    data = open(path, 'rb').read()
    try:
        return data.decode('utf-8')
    except UnicodeDecodeError:
        return data.decode('cp1250')


def report_file(s, name, extension):
    return s.folder.reports(SAMPLES, name + extension)


def edit_both_editors(s, d):
    sql_tab, sql = type_in_editor(d, 'Zapytanie SQL', ['ctrl+Home'], '-- notatka\n')
    def_tab, definition = type_in_editor(d, 'Definicja', ['ctrl+End'], '\n<!-- uwaga -->')
    return sql_tab, sql, def_tab, definition


def editor_save_on_tab(s):
    """Ctrl+S right after a click on the editor's tab saves that editor."""
    d = logged_in_report(s, 'Faktury kontrahenta')
    def_file = report_file(s, 'Faktury kontrahenta', '.xml')
    def_tab, definition = type_in_editor(d, 'Definicja', ['ctrl+End'], '\n<!-- uwaga -->')
    # A look at the report list and back by a click on the tab, then Ctrl+S at once.
    d.click(d.find('page tab', 'Raport'))
    d.key('alt+r')
    wait_until('the report tree to take the focus', lambda: d.focused(report_tree(d)))
    d.click(def_tab)
    wait_until('the definition editor shown again', lambda: d.showing(definition))
    d.key('ctrl+s')
    d.screenshot('after-ctrl-s')
    wait_until('Ctrl+S after a click on the tab "Definicja*" to save it',
               lambda: 'uwaga' in file_text(def_file) and def_tab.name == 'Definicja', 10)


def editor_save_keeps_other(s):
    """Saving the definition with Ctrl+S keeps the script editor's unsaved text, and the other
    way round."""
    d = logged_in_report(s, 'Faktury kontrahenta')
    sql_file = report_file(s, 'Faktury kontrahenta', '.sql')
    def_file = report_file(s, 'Faktury kontrahenta', '.xml')
    sql_tab, sql, def_tab, definition = edit_both_editors(s, d)
    d.key('ctrl+s')  # the focus is in the definition editor
    wait_until('the definition saved', lambda: 'uwaga' in file_text(def_file) and
               def_tab.name == 'Definicja')
    d.screenshot('definition-saved')
    d.click(sql_tab)
    expect('-- notatka' in d.text_of(sql),
           'saving the definition dropped the script editor\'s unsaved line "-- notatka"')
    expect(sql_tab.name == 'Zapytanie SQL*',
           f'the script editor lost its changed mark: tab "{sql_tab.name}"')
    expect('-- notatka' not in file_text(sql_file), 'the script was saved without being asked')


def editor_question(s):
    """The unsaved-change question on a report switch, answered with each of its buttons."""
    d = logged_in_report(s, 'Faktury kontrahenta')
    sql_file = report_file(s, 'Faktury kontrahenta', '.sql')
    saved = file_text(sql_file)
    tree = report_tree(d)

    def switch_to(name):
        item = [n for n in tree_items(d, tree) if n.name == name]
        expect(item, f'the tree has no "{name}"')
        d.click(item[0])

    def selected():
        items = [n for n in tree_items(d, tree)
                 if d.at.STATE_SELECTED in n.getState().getStates()]
        return items[0].name if items else ''

    sql_tab, sql = type_in_editor(d, 'Zapytanie SQL', ['ctrl+Home'], '-- pierwsza\n')
    d.click(d.find('page tab', 'Raport'))
    for button in ('Anuluj', 'Nie zapisuj'):
        switch_to('Stany magazynowe')
        box = message_box(d, 'Zapisać zmiany w raporcie')
        d.screenshot(f'question-{button}')
        answer(d, box, button)
        if button == 'Anuluj':
            wait_until('the report kept after Anuluj', lambda: selected() == 'Faktury kontrahenta')
            expect(sql_tab.name == 'Zapytanie SQL*', 'Anuluj dropped the unsaved mark')
            expect('-- pierwsza' in d.text_of(sql), 'Anuluj dropped the unsaved text')
        else:
            d.wait_status('"Stany magazynowe" loaded', lambda t: t.strip() == 'OK')
            wait_until('the switch after Nie zapisuj', lambda: selected() == 'Stany magazynowe')
            expect(file_text(sql_file) == saved, 'Nie zapisuj wrote the script')
    switch_to('Faktury kontrahenta')
    d.wait_status('"Faktury kontrahenta" loaded again', lambda t: t.strip() == 'OK')
    sql_tab, sql = type_in_editor(d, 'Zapytanie SQL', ['ctrl+Home'], '-- druga\n')
    expect('-- pierwsza' not in d.text_of(sql), 'the dropped edit came back')
    switch_to('Stany magazynowe')
    answer(d, message_box(d, 'Zapisać zmiany w raporcie'), 'Zapisz')
    wait_until('the script saved by Zapisz', lambda: '-- druga' in file_text(sql_file))
    wait_until('the switch after Zapisz', lambda: selected() == 'Stany magazynowe')


def editor_f5(s):
    """F5 in the script editor with an unsaved line asks first; Zapisz saves and runs it."""
    d = logged_in_report(s, 'Faktury kontrahenta')
    sql_file = report_file(s, 'Faktury kontrahenta', '.sql')
    type_in_editor(d, 'Zapytanie SQL', ['ctrl+End'], '\n-- uruchomione z edytora')
    d.key('F5')
    answer(d, message_box(d, 'Zapisać zmiany'), 'Zapisz')
    d.wait_status('the run to end', lambda t: t.startswith('OK, czas generowania raportu'),
                  timeout=60)
    expect('-- uruchomione z edytora' in file_text(sql_file), 'the run did not save the script')
    d.click(d.find('page tab', 'Raport'))
    grid = result_grid(d)
    expect(d.table(grid).nRows > 0, 'the run from the editor shows no rows')


def find_bar(s):
    """Ctrl+F opens the find bar in the script editor; Esc in its field closes it and gives
    the keys back to the editor."""
    d = logged_in_report(s, 'Faktury kontrahenta')
    tab, sql = editor(d, 'Zapytanie SQL')
    d.click(sql)
    wait_until('the script editor to take the focus', lambda: d.focused(sql))
    d.key('ctrl+f')
    field = d.find('text', 'Znajdź:')
    wait_until('the find field to take the focus', lambda: d.focused(field))
    d.type('JOIN')
    d.key('Return')
    d.key('Escape')
    d.screenshot('after-escape')
    wait_until('Esc in the find field to close the find bar',
               lambda: not d.find_all('text', 'Znajdź:'), 5)
    wait_until('the focus back in the script editor', lambda: d.focused(sql), 5)


def run_unsaved_asks(s):
    """F5 in the main window with an unsaved script line asks before running."""
    d = logged_in_report(s, 'Faktury kontrahenta')
    type_in_editor(d, 'Zapytanie SQL', ['ctrl+End'], '\n-- niezapisane')
    d.click(d.find('page tab', 'Raport'))
    d.key('F5')
    try:
        message_box(d, 'Zapisać zmiany')
    except ScenarioFailure:
        raise ScenarioFailure('F5 with the unsaved script line ran without asking')


def template_parameter(s):
    """A new report from the template takes a parameter from the add-parameter dialog and
    runs with it at once."""
    d = s.start()
    log_in(d)
    choose_database(d)
    d.click(d.find('push button', 'Nowy'))
    dialog = d.window('Nowy raport')
    d.focus_window('^Nowy raport$')
    name = d.find('text', 'Nazwa', root=dialog)
    d.click(name)
    d.key('ctrl+a')
    d.type('Roczny')
    answer(d, dialog, 'OK')
    d.wait_status('the new report loaded', lambda t: t.strip() == 'OK')
    editor(d, 'Definicja')
    d.click(d.find('push button', 'Wstaw parametr'))
    add = d.window('Dodaj parametr')
    d.focus_window('^Dodaj parametr$')
    for caption, text in (('Nazwa', 'Rok'), ('Opis', 'Rok')):
        field = d.find('text', caption, root=add)
        d.click(field)
        d.key('ctrl+a')
        d.type(text)
    kind = d.find('combo box', label='Typ', root=add)
    if kind.name != 'liczba całkowita':
        d.click(kind)
        d.click(d.find('list item', 'liczba całkowita'))
    wait_until('the type "liczba całkowita" chosen', lambda: kind.name == 'liczba całkowita')
    answer(d, add, 'OK')
    definition = s.folder.reports('Roczny.xml')
    wait_until('the parameter "Rok" saved in the definition',
               lambda: '<name>Rok</name>' in file_text(definition))
    tab, sql = editor(d, 'Zapytanie SQL')
    d.screenshot('script-after-add')
    expect(re.search(r'DECLARE\s+@Rok\s+INT', d.text_of(sql), re.I),
           'the add-parameter dialog declared nothing in the script made from the template')
    d.click(d.find('page tab', 'Raport'))
    year = param_input(d, 'Rok')
    d.click(year)
    d.type('2024')
    d.key('F5')
    try:
        box = message_box(d, 'Zapisać zmiany')
        answer(d, box, 'Zapisz')
    except ScenarioFailure:
        pass
    def ended():
        text = d.status()
        boxes = [b for b in (d.app.getChildAtIndex(i) for i in range(d.app.childCount))
                 if b is not None and b.getRoleName() == 'alert' and d.showing(b)]
        if boxes:
            labels = ' '.join(l.name for l in d.find_all('label', root=boxes[0]))
            raise ScenarioFailure(f'the run of the new report failed: {labels}')
        return text.startswith('OK, czas generowania raportu')
    wait_until('the run of the new report', ended, 60)
    grid = result_grid(d)
    expect(d.cell(grid, 0, 0) == 'Nowy raport', 'the new report shows no row')



def run_saved_version(s):
    """F5 with an unsaved script line, answered "Nie zapisuj": the saved report runs, the status
    bar says so, and the script on screen and on disk stay as they were."""
    d = logged_in_report(s, 'Faktury kontrahenta')
    sql_file = report_file(s, 'Faktury kontrahenta', '.sql')
    saved = file_text(sql_file)
    sql_tab, sql = type_in_editor(d, 'Zapytanie SQL', ['ctrl+End'], '\n-- niezapisane')
    d.click(d.find('page tab', 'Raport'))
    d.key('F5')
    box = message_box(d, 'Zapisać zmiany')
    d.screenshot('run-question')
    answer(d, box, 'Nie zapisuj')
    shown = d.wait_status('the run of the saved version to end', lambda t: t.startswith(
        'OK, czas generowania raportu'), timeout=60)
    expect('Uruchomiono zapisaną wersję raportu' in shown,
           f'the status bar after "Nie zapisuj" says "{shown}", not that the saved version ran')
    expect(d.table(result_grid(d)).nRows > 0, 'the saved version ran without rows')
    expect(file_text(sql_file) == saved, '"Nie zapisuj" wrote the script')
    expect(sql_tab.name == 'Zapytanie SQL*', f'the script tab lost its mark: "{sql_tab.name}"')
    expect('-- niezapisane' in d.text_of(sql), 'the unsaved line is gone from the editor')


def find_bar_replace(s):
    """Ctrl+H opens the find bar with its replace field; Esc in the replace field closes the bar,
    the keys go back to the script editor and nothing typed lands in the bar."""
    d = logged_in_report(s, 'Faktury kontrahenta')
    tab, sql = editor(d, 'Zapytanie SQL')
    d.click(sql)
    wait_until('the script editor to take the focus', lambda: d.focused(sql))
    d.key('ctrl+h')
    replace = d.find('text', 'Zamień na:')
    d.click(replace)
    wait_until('the replace field to take the focus', lambda: d.focused(replace))
    d.type('nowe')
    d.key('Escape')
    d.screenshot('after-escape')
    wait_until('Esc in the replace field to close the find bar',
               lambda: not d.find_all('text', 'Zamień na:') and not d.find_all('text', 'Znajdź:'))
    wait_until('the focus back in the script editor', lambda: d.focused(sql))
    before = d.text_of(sql)
    d.key('ctrl+Home')
    d.type('-- po zamknieciu')
    d.key('Return')
    lines = '-- po zamknieciu\n' + before.replace('\r\n', '\n')
    try:
        wait_until('the keys after Esc typed into the script',
                   lambda: d.text_of(sql).replace('\r\n', '\n') == lines)
    except ScenarioFailure:
        raise ScenarioFailure(f'the script begins {d.text_of(sql)[:60]!r} after Esc and typing, '
                              f'not {lines[:60]!r}')
    expect(tab.name == 'Zapytanie SQL*', f'the script tab shows "{tab.name}" after typing')


def parameter_buttons(s):
    """The parameter panel's Z, W and U: each does what it says to the input and the status bar
    says what was done."""
    d = logged_in_report(s, 'Faktury kontrahenta')
    amount = param_input(d, 'Kwota brutto od')
    d.click(amount)
    wait_until('the amount input to take the focus', lambda: d.focused(amount))
    d.key('ctrl+a')
    d.type('1500')
    # The one-letter buttons are named for a screen reader by what they do.
    for button, status, value in (('Zapamiętaj', 'Zapisano wartości parametrów', '1500'),
                                  ('Wyczyść', 'Wyczyszczono wartości parametrów', ''),
                                  ('Ustaw domyślne', 'Ustawiono domyślne wartości parametrów',
                                   '1500')):
        d.click(d.find('push button', re.compile('^' + button + ' wartości parametrów')))
        d.wait_status(f'"{status}" after {button}', lambda t: t.strip() == status)
        wait_until(f'the amount input to show "{value}" after {button}',
                   lambda: d.text_of(amount) == value)
    d.screenshot('after-u')


def outside_change(s):
    """A definition changed on disk while it has an unsaved edit: Ctrl+S asks first. "Wczytaj
    ponownie" shows the file's text; "Zastąp" writes the editor's text over it."""
    d = logged_in_report(s, 'Faktury kontrahenta')
    def_file = report_file(s, 'Faktury kontrahenta', '.xml')
    for choice, typed, outside in (('Wczytaj ponownie', '<!-- moja -->', '<!-- obca -->'),
                                   ('Zastąp', '<!-- druga moja -->', '<!-- druga obca -->')):
        tab, definition = type_in_editor(d, 'Definicja', ['ctrl+End'], '\n' + typed)
        with open(def_file, 'a', encoding='utf-8') as f:
            f.write('\n' + outside + '\n')
        d.click(definition)
        wait_until('the definition editor to take the focus', lambda: d.focused(definition))
        d.key('ctrl+s')
        box = message_box(d, 'został zmieniony poza programem')
        d.screenshot(f'outside-{choice}')
        answer(d, box, choice)
        if choice == 'Zastąp':
            wait_until('the editor\'s text written over the outside change',
                       lambda: typed in file_text(def_file) and
                       'druga obca' not in file_text(def_file) and tab.name == 'Definicja')
        else:
            wait_until('the outside change shown in the editor', lambda: outside in
                       d.text_of(definition) and typed not in d.text_of(definition))
            expect(typed not in file_text(def_file), '"Wczytaj ponownie" wrote the editor')
            expect(tab.name == 'Definicja', f'the reloaded tab shows "{tab.name}"')


def login_host_port(s):
    """A failed login to "host,port": the database list is emptied, and the next login offers
    the server as one entry, not split at its comma."""
    d = s.start()
    log_in(d)
    base = choose_database(d)
    d.click(d.find('push button', re.compile('^Login')))
    login = d.window(re.compile(': login$'))
    d.focus_window(': login$')
    server = d.find('text', 'Nazwa serwera', root=login)
    d.click(server)
    d.key('ctrl+a')
    d.type('127.0.0.1,1')
    user = d.find('text', label='użytkownik', root=login)
    d.click(user)
    d.key('ctrl+a')
    d.type('sa')
    d.key('Return')
    box = message_box(d)
    d.screenshot('failed-login')
    answer(d, box, 'OK')
    d.wait_status('"Nie połączone !"', lambda t: t.strip() == 'Nie połączone !', panel=0)
    try:
        # An empty list is read by its label's name.
        wait_until('the database list emptied', lambda: (base.name or '').strip() in ('', 'Baza'))
    except ScenarioFailure:
        raise ScenarioFailure(f'the database list shows "{base.name}" after the failed login')
    d.click(d.find('push button', re.compile('^Login')))
    login = d.window(re.compile(': login$'))
    d.focus_window(': login$')
    combo = d.find('combo box', label='Nazwa serwera', root=login)
    d.click(combo, dx=d.extents(combo)[2] - 6)  # the drop-down's arrow
    items = wait_until('the server list to drop down', lambda: [
        n.name for n in d.find_all('list item', root=d.app) if n.name])
    d.screenshot('server-list')
    expect('127.0.0.1,1' in items, f'the server list lacks "127.0.0.1,1": {items}')
    expect('1' not in items and '127.0.0.1' not in items,
           f'the server list split "127.0.0.1,1": {items}')


def kerberos_line(s):
    """The login's ticket line under Windows authentication: "Brak biletu" with an empty ticket
    cache, the principal with a ticket in it, and no line under SQL Server authentication."""
    cache = os.path.join(s.home, 'krb5cc')
    os.environ['KRB5CCNAME'] = 'FILE:' + cache
    open(cache, 'wb').close()
    d = s.start()
    login = d.window(re.compile(': login$'))
    d.focus_window(': login$')
    d.click(d.find('radio button', 'uwierzytelnianie Windows', root=login))
    d.find('label', re.compile('^Brak biletu Kerberos: zaloguj się poleceniem kinit$'),
           root=login)
    d.screenshot('no-ticket')
    d.click(d.find('radio button', 'uwierzytelnianie SQL Server', root=login))
    wait_until('the ticket line hidden under SQL Server authentication',
               lambda: not d.find_all('label', re.compile('Kerberos'), root=login))
    write_ticket_cache(cache, 'analityk', 'ORVEL.TEST', hours=10)
    d.click(d.find('radio button', 'uwierzytelnianie Windows', root=login))
    d.find('label', re.compile(r'^Bilet Kerberos: analityk@ORVEL\.TEST, ważny do '
                               r'(\d\d\.\d\d\.\d{4} )?\d\d:\d\d$'), root=login)
    d.screenshot('ticket')


def write_ticket_cache(path, user, realm, hours):
    """A ticket cache file holding one ticket-granting ticket, as kinit leaves it (the ticket
    itself is not real: the line is read from the cache alone)."""
    import struct
    import time

    def counted(data):
        return struct.pack('>I', len(data)) + data

    def principal(*parts):
        return struct.pack('>II', 1, len(parts)) + counted(realm.encode()) + b''.join(
            counted(p.encode()) for p in parts)
    now = int(time.time())
    end = now + hours * 3600
    client = principal(user)
    data = struct.pack('>HH', 0x0504, 0) + client
    data += client + principal('krbtgt', realm) + struct.pack('>H', 18) + counted(b'\0' * 32)
    data += struct.pack('>IIII', now, now, end, end) + b'\0' + struct.pack('>III', 0, 0, 0)
    data += counted(b'ticket') + counted(b'')
    with open(path, 'wb') as f:
        f.write(data)


def date_en_us(s):
    """Under an English session a date is shown in the user's short form with a four-digit
    year, a typed date is taken as typed, and the report runs with it."""
    d = logged_in_report(s, 'Sprzedaż w okresie', locale='en_US.UTF-8')
    date_from = param_input(d, 'Data od')
    grey = d.text_of(date_from)
    expect(re.fullmatch(r'\d{1,2}/\d{1,2}/\d{4}', grey),
           f'the unticked date shows "{grey}", not the short US form with a four-digit year')
    d.click(date_from)
    wait_until('the date input to take the focus', lambda: d.focused(date_from))
    d.type('1/31/2024')
    wait_until('the typed date shown as typed', lambda: d.text_of(date_from) == '1/31/2024')
    d.key('F5')

    def ended():
        boxes = [b for b in (d.app.getChildAtIndex(i) for i in range(d.app.childCount))
                 if b is not None and b.getRoleName() == 'alert' and d.showing(b)]
        if boxes:
            labels = ' '.join(lb.name for lb in d.find_all('label', root=boxes[0]))
            raise ScenarioFailure(f'the run with 1/31/2024 was refused: {labels}')
        return d.status().startswith('OK, czas generowania raportu')
    wait_until('the run with the typed date', ended, 60)
    d.screenshot('run-en-us')
    expect(d.text_of(date_from) == '1/31/2024',
           f'the date input shows "{d.text_of(date_from)}" after the run')


def cell_node(d, grid, row, column):
    return d.table(grid).getAccessibleAt(row, column)


def cell_seen(d, grid, row, column):
    """The cell is inside the grid's visible part."""
    gx, gy, gw, gh = d.extents(grid)
    x, y, w, h = d.extents(cell_node(d, grid, row, column))
    return w > 0 and h > 0 and x >= gx and y >= gy and x + w <= gx + gw and y + h <= gy + gh


def resize_column(d, header, by):
    """The title's right border dragged by the given pixels, as a user widens a column."""
    x, y, w, h = d.extents(header)
    d.drag((x + w - 2, y + h // 2), (x + w - 2 + by, y + h // 2))
    wait_until(f'the column {"wider" if by > 0 else "narrower"} by {abs(by)} px',
               lambda: abs(d.extents(header)[2] - (w + by)) <= 2)


def shows_whole(d, grid, header, row, column, label):
    """A right-aligned cell shows its text whole when widening its column only moves the text:
    the cell's picture is then the right part of the wider cell's picture. A cut text ("1369…",
    "###") shows more of itself once there is room, and the pictures differ."""
    def picture(tag):
        node = cell_node(d, grid, row, column)
        last = {}

        def steady():
            x, y, w, h = d.extents(node)
            d.click_at(5, 5, count=0)
            path = grab(d, x + 2, y + 2, w - 5, h - 4, f'{label}-{tag}')
            before = last.get('shot')
            if before and before[0] == (x, y, w, h) and same_picture(before[1], path):
                return (x, y, w, h), path
            keep = path + '.previous.png'
            os.replace(path, keep)
            last['shot'] = ((x, y, w, h), keep)
            return None
        return wait_until(f'the cell of row {row + 1} to settle', steady)

    (x, y, w, h), narrow = picture('fitted')
    resize_column(d, header, 120)
    (x2, y2, w2, h2), _ = picture('wide')
    right = grab(d, x2 + 2 + (w2 - w), y2 + 2, w - 5, h - 4, f'{label}-wide-right')
    whole = same_picture(narrow, right)
    resize_column(d, header, -120)
    return whole


def tool_tip(d):
    for i in range(d.app.childCount):
        node = d.app.getChildAtIndex(i)
        if node is not None and node.getRoleName() == 'tool tip' and d.showing(node):
            return node.name or d.text_of(node)
    return None


def big_result(s):
    """A result of a million rows: its amounts are shown whole at the end (Ctrl+End) and at
    the top of a descending sort; a column made too narrow shows "###" with the whole value in
    the cell's hint."""
    d = logged_in_report(s, 'Duży wynik')
    grid = run_with_f5(d)
    rows = d.table(grid).nRows
    expect(rows == 1000000, f'the grid shows {rows} rows, not a million')
    kwota, header = header_cell(d, grid, 'Kwota')
    d.click(cell_node(d, grid, 0, 0))
    wait_until('the grid to take the focus', lambda: d.focused(grid))
    d.key('ctrl+End')
    wait_until('the last row in view after Ctrl+End', lambda: cell_seen(d, grid, rows - 1, 0))
    d.screenshot('ctrl-end')
    row = rows - 2  # a row that is neither the current one nor under the pointer
    value = d.cell(grid, row, kwota)
    expect(number(value) > 1000000, f'row {row + 1} holds {value}, not a seven-digit amount')
    expect(shows_whole(d, grid, header, row, kwota, 'end'),
           f'the amount {value} of row {row + 1} is not shown whole after Ctrl+End')

    amounts = [(i * 7919) % 137000000 for i in range(rows)]
    smallest, biggest = min(amounts) / 100, max(amounts) / 100
    # The first click sorts ascending, the second (once the first is done) descending. The
    # second is off the first's place: a quick sort would make two clicks there a double-click.
    d.click(header)
    wait_until('the grid sorted by "Kwota" ascending',
               lambda: number(d.cell(grid, 0, kwota)) == smallest, 60)
    d.click(header, dx=d.extents(header)[2] // 4)
    wait_until('the grid sorted by "Kwota" descending',
               lambda: number(d.cell(grid, 0, kwota)) == biggest, 60)
    wait_until('the grid to keep the focus', lambda: d.focused(grid))
    d.key('ctrl+Home')
    wait_until('the top rows in view after Ctrl+Home', lambda: cell_seen(d, grid, 1, kwota))
    d.screenshot('sorted-descending')
    value = d.cell(grid, 1, kwota)
    expect(shows_whole(d, grid, header, 1, kwota, 'sorted'),
           f'the amount {value} of row 2 is not shown whole after a descending sort')

    x, y, w, h = d.extents(header)
    resize_column(d, header, 30 - w)
    cx, cy = d.center(cell_node(d, grid, 1, kwota))
    d.click_at(cx, cy, count=0)
    hint = wait_until('the hint of the narrowed amount', lambda: tool_tip(d))
    d.screenshot('narrowed-hint')
    expect(hint == value, f'the narrowed amount\'s hint is "{hint}", not "{value}"')


LONG_CELL_SCRIPT = '''-- [Orvel_Zestawnik_PARAMETRY]
SELECT 1 AS Nr, hex(zeroblob(20000)) AS Tekst
'''


def long_cell_export(s):
    """A 40,000-character cell written to a workbook: the status bar says that a cell was cut
    to the sheet's limit, and the workbook holds the cut text."""
    s.folder.add_report('Testy', 'Długi tekst', LONG_RUN_DEFINITION, LONG_CELL_SCRIPT)
    d = logged_in_report(s, 'Długi tekst')
    grid = run_with_f5(d)
    expect(len(d.cell(grid, 0, 1)) == 40000,
           f'the grid\'s cell holds {len(d.cell(grid, 0, 1))} characters, not 40000')
    path = os.path.join(s.home, 'dlugi.xlsx')
    save_through_dialog(d, 'xlsx', path)
    shown = d.wait_status('the note of the cut cell', lambda t: 'skrócono' in t)
    d.screenshot('cut-note')
    expect(re.search(r'\b1 komórkę skrócono do 32 767 znaków \(limit arkusza\)', shown),
           f'the status bar says "{shown}"')
    with zipfile.ZipFile(path) as book:
        parts = ''.join(book.read(n).decode('utf-8') for n in book.namelist()
                        if n.startswith('xl/') and n.endswith('.xml'))
    expect('0' * 32767 in parts and '0' * 32768 not in parts,
           'the workbook does not hold the text cut to 32 767 characters')


PRINTED_ROWS = 600000
PRINTED_SCRIPT = f'''-- [Orvel_Zestawnik_PARAMETRY]
WITH n (i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < {PRINTED_ROWS})
SELECT i AS Nr, CASE WHEN i % 2 = 0 THEN 'parzysta' ELSE 'nieparzysta' END AS Opis,
  i * 1.25 AS Kwota FROM n OPTION (MAXRECURSION 0)
'''


def pdf_export_stop(s):
    """A large result saved as a PDF over an older file: the status bar's progress bar counts
    the rows on the pages drawn while the grid stays usable, Esc stops it, and the older file
    is left as it was, with nothing beside it."""
    s.folder.add_report('Testy', 'Wynik do druku', LONG_RUN_DEFINITION, PRINTED_SCRIPT)
    d = logged_in_report(s, 'Wynik do druku')
    grid = run_with_f5(d)
    expect(d.table(grid).nRows == PRINTED_ROWS, f'the grid shows {d.table(grid).nRows} rows')
    folder = os.path.join(s.home, 'pdf')
    os.makedirs(folder)
    path = os.path.join(folder, 'wynik.pdf')
    with open(path, 'wb') as f:
        f.write(b'stary plik')
    save_through_dialog(d, 'pdf', path)
    answer(d, message_box(d, 'istnieje'), 'Tak')
    bar = d.find('progress bar', 'Postęp zapisu', what='the export\'s progress bar', timeout=60)
    d.wait_status('the export under way', lambda t: t.strip() == 'Zapisywanie wyniku...')
    # The user reads on in the grid meanwhile.
    d.focus_window(MAIN_X_TITLE)
    d.click(cell_node(d, grid, 0, 0))
    wait_until('the grid to take the focus', lambda: d.focused(grid))
    d.key('Page_Down', 'Page_Down')
    wait_until('the grid scrolled down', lambda: cell_seen(d, grid, 60, 0))
    wait_until('some pages drawn',
               lambda: bar.queryValue().currentValue > PRINTED_ROWS // 20, 60)
    d.screenshot('pdf-progress')
    d.key('Escape')
    d.wait_status('the stopped export', lambda t: t.strip() == 'Zapis przerwany', timeout=60)
    d.screenshot('pdf-stopped')
    expect(open(path, 'rb').read() == b'stary plik', 'the older PDF file was changed')
    left = sorted(os.listdir(folder))
    expect(left == ['wynik.pdf'], f'the folder holds {left}')


# -- the newer exports: PDF, print preview, CSV encoding, progress and stop, a refused folder --


def pdf_text(path, *options):
    result = subprocess.run(['pdftotext', *options, path, '-'], capture_output=True, text=True,
                            timeout=60)
    expect(result.returncode == 0, f'pdftotext cannot read {path}: {result.stderr.strip()}')
    return result.stdout


def pdf_info(path):
    """pdfinfo's fields of a whole PDF file, or None while it is not one."""
    if not os.path.exists(path):
        return None
    result = subprocess.run(['pdfinfo', path], capture_output=True, text=True, timeout=60)
    if result.returncode != 0:
        return None
    return dict(line.split(':', 1) for line in result.stdout.splitlines() if ':' in line)


def pdf_export(s):
    """"Zapisz" → "Dokument PDF…" through the real file dialog: the file is a PDF whose pages
    hold the report's title and the grid's values, and the status bar says what was written."""
    d = logged_in_report(s, 'Faktury kontrahenta')
    grid = run_with_f5(d)
    rows = d.table(grid).nRows
    numer, _ = header_cell(d, grid, 'Numer')
    first, last = d.cell(grid, 0, numer), d.cell(grid, rows - 1, numer)
    ran = d.status()
    path = os.path.join(s.home, 'faktury.pdf')
    save_through_dialog(d, 'pdf', path)
    # Written in the background the export ends with its word in the status bar; written at
    # once the window tells nothing and leaves the run's text. Either way, only then is the
    # file whole.
    status = d.wait_status('the PDF export to end', lambda t: (
        t.startswith('Zapisano ') or t == ran) and pdf_info(path)
        and not d.find_all('progress bar', 'Postęp zapisu'), timeout=60)
    d.screenshot('pdf-written')
    if status.startswith('Zapisano '):
        said = re.fullmatch('Zapisano ([0-9 \u00a0\u202f]+) wierszy do pliku \u201efaktury\\.pdf'
                            '\u201d, czas: .+', status)
        expect(said and int(re.sub(r'\D', '', said.group(1))) == rows,
               f'the status bar says "{status}" of {rows} rows')
    info = pdf_info(path)
    pages = int(info.get('Pages', '0').strip())
    expect(pages >= 1, f'the PDF has {pages} pages')
    expect(info.get('Title', '').strip() == 'Faktury kontrahenta',
           f'the PDF\'s title is "{info.get("Title", "").strip()}"')
    first_page = pdf_text(path, '-f', '1', '-l', '1')
    expect('Faktury kontrahenta' in first_page, 'the first page lacks the report\'s title')
    expect(first in first_page, f'the first page lacks the first row\'s "{first}"')
    expect(last in pdf_text(path, '-f', str(pages), '-l', str(pages)),
           f'the last page lacks the last row\'s "{last}"')


def print_preview(s):
    """Ctrl+P opens the print preview in Polish on the shown result; Esc closes it and the
    window goes on working."""
    d = logged_in_report(s, 'Faktury kontrahenta')
    run_with_f5(d)
    d.focus_window(MAIN_X_TITLE)
    d.key('ctrl+p')
    preview = d.window('Podgląd wydruku', role='dialog')
    d.focus_window('^Podgląd wydruku$')
    # The toolkit's own commands of the preview, in the user's language.
    for role, name in PREVIEW_COMMANDS:
        d.find(role, name, root=preview, what=f'the preview\'s {role} "{name}"')
    pages = d.find('label', re.compile(r'^/ \d+$'), root=preview, what='the preview\'s page count')
    expect(int(pages.name[2:]) > 1, f'the preview of the whole result shows "{pages.name}" pages')
    page = d.find('text', 'Numer strony', root=preview)
    expect(d.text_of(page) == '1', f'the preview opens at page "{d.text_of(page)}"')
    d.click(d.find('push button', 'Następna strona', root=preview))
    wait_until('the second page after "Następna strona"', lambda: d.text_of(page) == '2')
    d.screenshot('preview')
    d.key('Escape')
    wait_until('the preview closed by Esc', lambda: not d.showing(preview))
    d.focus_window(MAIN_X_TITLE)
    grid = run_with_f5(d)
    expect(d.table(grid).nRows > 0, 'the run after the preview shows no rows')


PREVIEW_COMMANDS = (('push button', 'Wydrukuj'), ('push button', 'Ustawienia strony'),
                    ('check box', 'Pejzaż'), ('check box', 'Dopasuj szerokość'))


# The settings' choice (None: never chosen), the codec the CSV file is then written in, and
# its first bytes.
CSV_ENCODINGS = ((None, 'cp1250', b''),
                 ('UTF-8', 'utf-8', b''),
                 ('UTF-8 ze znacznikiem BOM', 'utf-8', codecs.BOM_UTF8))


def choose_csv_encoding(d, previous, choice):
    """"Ustawienia" by its key, the encoding list reached by Tab and chosen by the arrows,
    then Enter for "OK"."""
    d.focus_window(MAIN_X_TITLE)
    d.key('alt+t')
    dialog = d.window('Ustawienia')
    d.focus_window('^Ustawienia$')
    encoding = d.find('combo box', label='Kodowanie plików CSV', root=dialog)
    expect(encoding.name == previous,
           f'the settings offer the encoding "{encoding.name}", not the kept "{previous}"')
    separator = d.find('text', label='Separator dla CSV', root=dialog)
    d.click(separator)
    wait_until('the separator field to take the focus', lambda: d.focused(separator))
    d.key('Tab')
    wait_until('the encoding list to take the focus', lambda: d.focused(encoding))
    d.key('Home')
    for _ in range(len(CSV_ENCODINGS)):
        if encoding.name == choice:
            break
        d.key('Down')
    wait_until(f'"{choice}" chosen', lambda: encoding.name == choice)
    d.screenshot(f'encoding-{choice}')
    d.key('Return')
    wait_until('the settings closed by Enter', lambda: not d.showing(dialog))


def csv_encoding(s):
    """CSV files in Windows-1250 by default, and in UTF-8 without or with its mark once
    chosen in the settings: the Polish letters of the captions and values in the file's
    bytes."""
    d = logged_in_report(s, 'Faktury kontrahenta')
    grid = run_with_f5(d)
    # The captions and the first rows' values that hold Polish letters.
    shown = d.column_captions(grid) + [d.cell(grid, row, column) for row in range(5)
                                       for column in range(d.table(grid).nColumns)]
    polish = sorted({text for text in shown if any(ord(ch) > 127 for ch in text)})
    expect(len(polish) > 3, f'the report shows few texts with Polish letters: {polish}')
    previous = 'Windows-1250'
    for choice, codec, mark in CSV_ENCODINGS:
        if choice:
            choose_csv_encoding(d, previous, choice)
            previous = choice
        file_name = f'{codec}{"-bom" if mark else ""}.csv'
        path = os.path.join(s.home, file_name)
        save_through_dialog(d, 'csv', path)
        wait_written(d, file_name)
        data = open(path, 'rb').read()
        what = choice or 'the default'
        expect(data.startswith(mark) and not (not mark and data.startswith(codecs.BOM_UTF8)),
               f'the file written in {what} begins {data[:3]!r}')
        for text in polish:
            expect(text.encode(codec) in data, f'the file written in {what} lacks "{text}" '
                   f'in {codec}: it begins {data[:120]!r}')
        data[len(mark):].decode(codec)  # the whole file, not only the texts looked for


def progress_value(d, bar):
    value = bar.queryValue()
    return value.currentValue, value.maximumValue


def export_stop(s):
    """A million rows to a workbook: the status bar shows the rows written out of all rows;
    "Przerwij" stops it with "Zapis przerwany", the old file stays byte for byte, nothing else
    is left in its folder, and the commands are usable again."""
    d = logged_in_report(s, 'Duży wynik')
    grid = run_with_f5(d)
    rows = d.table(grid).nRows
    folder = os.path.join(s.home, 'eksport')
    os.makedirs(folder)
    path = os.path.join(folder, 'duzy.xlsx')
    old = b'PK\x03\x04 the workbook of yesterday'
    with open(path, 'wb') as f:
        f.write(old)
    save_through_dialog(d, 'xlsx', path)
    answer(d, message_box(d, 'istnieje'), 'Tak')
    bar_panel = d.status_bar()
    bar = d.find('progress bar', 'Postęp zapisu', root=bar_panel)
    written, total = wait_until('rows written, not all', lambda: (
        0 < progress_value(d, bar)[0] < progress_value(d, bar)[1]) and progress_value(d, bar))
    expect(total == rows, f'the progress counts {total:.0f} rows of the {rows} shown')
    run_button = d.find('push button', 'Uruchom')
    expect(not d.enabled(run_button), '"Uruchom" is usable while the result is being saved')
    d.screenshot('progress')
    d.click(d.find('push button', 'Przerwij', root=bar_panel))
    d.wait_status('"Zapis przerwany"', lambda t: t == 'Zapis przerwany')
    d.screenshot('stopped')
    expect(not d.find_all('progress bar', 'Postęp zapisu'), 'the progress bar stays up')
    expect(open(path, 'rb').read() == old, 'the stopped export changed the old file')
    expect(os.listdir(folder) == ['duzy.xlsx'],
           f'the folder holds {sorted(os.listdir(folder))} after the stop')
    for role, name, label in (('push button', 'Uruchom', None), ('push button', 'Zapisz', None),
                              ('combo box', None, 'Baza'), ('tree', 'Lista raportów', None)):
        control = d.find(role, name, label=label)
        wait_until(f'{role} "{name or label}" usable after the stop',
                   lambda: d.enabled(control))


class ReadOnlyFolder:
    """An empty folder no one may write, root included: a file system mounted read-only."""

    def __init__(self, path):
        self.path = path
        os.makedirs(path)
        if os.geteuid() != 0:
            raise ScenarioSkipped('mounting a read-only folder needs root')
        result = subprocess.run(['mount', '-t', 'tmpfs', '-o', 'ro,size=1m', 'tmpfs', path],
                                capture_output=True, text=True, timeout=30)
        if result.returncode != 0:
            raise ScenarioSkipped(f'mount refused the read-only folder: {result.stderr.strip()}')

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        # Lazily when busy: the program may still look into it after a failure.
        if subprocess.run(['umount', self.path], capture_output=True, timeout=30).returncode:
            subprocess.run(['umount', '-l', self.path], capture_output=True, timeout=30)
        return False


def export_read_only(s):
    """A workbook into a folder that cannot be written: the error box says why, no file is
    left, and the window goes on working."""
    with ReadOnlyFolder(os.path.join(s.home, 'tylko-odczyt')) as folder:
        d = logged_in_report(s, 'Faktury kontrahenta')
        run_with_f5(d)
        path = os.path.join(folder.path, 'faktury.xlsx')
        save_through_dialog(d, 'xlsx', path)
        box = message_box(d)
        text = ' '.join(label.name or '' for label in d.find_all('label', root=box))
        d.screenshot('refused')
        # The system's own reason in the user's language, with the file it concerns.
        expect('faktury.xlsx' in text and 'System plików wyłącznie do odczytu' in text,
               f'the error box says "{text}"')
        answer(d, box, 'OK')
        expect(not os.listdir(folder.path),
               f'the refused export left {os.listdir(folder.path)}')
        grid = run_with_f5(d)
        expect(d.table(grid).nRows > 0, 'the run after the refused export shows no rows')


# -- what a screen reader reads ---------------------------------------------------------------

# The roles a user operates; each needs a name of its own or a label that names it.
OPERATED_ROLES = {'push button', 'toggle button', 'text', 'password text', 'combo box',
                  'check box', 'radio button', 'tree', 'table', 'tree table', 'page tab',
                  'spin button', 'list'}


def unnamed_controls(d, root, where):
    found = []
    for node in d.find_all(None, None, root=root):
        role = node.getRoleName()
        if role in OPERATED_ROLES and not (node.name or '').strip() and not d.label_of(node):
            parent = node.parent
            found.append(f'{where}: {role} at {d.extents(node)[:2]} in '
                         f'{parent.getRoleName()} "{parent.name}"')
    return found


def names(s):
    """Every control the user operates in the login, the main window (result, both editors)
    and the dialogs has a name a screen reader can read."""
    d = s.start()
    missing = unnamed_controls(d, d.window(re.compile(': login$')), 'login')
    log_in(d)
    choose_database(d)
    choose_report(d, 'Sprzedaż w okresie')
    run_with_f5(d)
    missing += unnamed_controls(d, main_window(d), 'the main window')
    for tab in ('Zapytanie SQL', 'Definicja'):
        editor(d, tab)
        missing += unnamed_controls(d, main_window(d), f'the tab "{tab}"')
    d.click(d.find('push button', 'Wstaw parametr'))
    dialog = d.window('Dodaj parametr')
    missing += unnamed_controls(d, dialog, '"Dodaj parametr"')
    answer(d, dialog, 'Anuluj')
    d.click(d.find('page tab', 'Raport'))
    for button, title in (('Format wyniku', 'Format wyniku'), ('Ustawienia', 'Ustawienia'),
                          ('O programie', 'O programie'), ('Nowy', 'Nowy raport'),
                          ('Drukuj', 'Podgląd wydruku')):
        d.click(d.find('push button', button))
        dialog = d.window(title)
        missing += unnamed_controls(d, dialog, f'"{title}"')
        d.focus_window('^' + re.escape(title) + '$')
        d.key('Escape')
        wait_until(f'"{title}" closed by Esc', lambda: not d.showing(dialog))
        d.focus_window(MAIN_X_TITLE)
    expect(not missing, 'controls without a name:\n  ' + '\n  '.join(missing))


ALL = {f.__name__: f for f in (run, date_click, export, cancel, restart, editor_save_on_tab,
                               editor_save_keeps_other, editor_question, editor_f5, find_bar,
                               run_unsaved_asks, template_parameter, names, run_saved_version,
                               find_bar_replace, parameter_buttons, outside_change,
                               login_host_port, kerberos_line, date_en_us, big_result,
                               long_cell_export, pdf_export_stop, pdf_export, print_preview,
                               csv_encoding, export_stop, export_read_only)}
