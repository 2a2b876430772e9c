"""Named checks for the test scripts: each failure is printed as it happens,
and the script ends with a non-zero exit saying how many failed."""
import sys


class Checklist:
    def __init__(self):
        self.failures = []

    def check(self, condition, what):
        if not condition:
            self.failures.append(what)
            print("FAILED:", what)
        return condition

    def finish(self, passed):
        """Ends the script: `passed` is printed when every check held."""
        if self.failures:
            sys.exit(f"{len(self.failures)} checks failed")
        print(passed)
