"""What the scripted checks share: every check prints one line, "ok" or
"FAIL" and what was checked; finish() prints how many failed and exits with 1
when any did."""
import sys

failures = []


def check(condition, what):
    print(('ok   ' if condition else 'FAIL ') + what)
    if not condition:
        failures.append(what)


def finish():
    print(f'{len(failures)} failed')
    sys.exit(1 if failures else 0)
