"""Runs one window-test module for CTest: status 0 passed, 1 failed, 77 skipped (every test in it was skipped)."""

import os
import sys
import unittest

SKIPPED = 77


def main(path):
    folder, name = os.path.split(os.path.abspath(path))
    sys.path.insert(0, folder)
    suite = unittest.defaultTestLoader.loadTestsFromName(os.path.splitext(name)[0])
    result = unittest.TextTestRunner(verbosity=2, stream=sys.stdout).run(suite)
    if not result.wasSuccessful():
        return 1
    if result.skipped and len(result.skipped) >= result.testsRun:
        return SKIPPED  # a module-level skip runs no test at all
    return 0 if result.testsRun > 0 else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
