"""Runs one scenario of the desktop program: run_scenario.py BIN_DIR SHOTS_DIR NAME.

ctest starts it inside a D-Bus session of its own (dbus-run-session), so the accessibility bus
and the program belong to this run only. Exit status 0 when the scenario held, 1 when it found a
fault (the message and the screenshot of the failure point are printed), 2 on wrong usage, 77
when the machine lacks what the scenario needs (skipped)."""

import os
import sys
import time
import traceback

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from desktop import ScenarioFailure, ScenarioSkipped  # noqa: E402

SKIPPED = 77  # ctest's skip code for the scenarios
import scenarios  # noqa: E402


def main():
    if len(sys.argv) != 4 or sys.argv[3] not in scenarios.ALL:
        names = ', '.join(sorted(scenarios.ALL))
        print(f'usage: run_scenario.py BIN_DIR SHOTS_DIR NAME (NAME one of: {names})',
              file=sys.stderr)
        return 2
    bin_dir, shots_dir, name = sys.argv[1:]
    os.makedirs(shots_dir, exist_ok=True)
    started = time.monotonic()
    session = scenarios.Session(name, bin_dir, shots_dir)
    try:
        scenarios.ALL[name](session)
    except ScenarioSkipped as reason:
        print(f'{name}: skipped: {reason}')
        return SKIPPED
    except ScenarioFailure as failure:
        shot = session.failure_shot()
        print(f'{name}: FAILED: {failure}', file=sys.stderr)
        print(f'{name}: screenshot of the failure point: {shot}', file=sys.stderr)
        return 1
    except Exception:
        shot = session.failure_shot()
        traceback.print_exc()
        print(f'{name}: screenshot of the failure point: {shot}', file=sys.stderr)
        return 1
    finally:
        session.close()
    print(f'{name}: passed in {time.monotonic() - started:.1f} s')
    return 0


if __name__ == '__main__':
    sys.exit(main())
