import os
import sys
import time
from pathlib import Path

REPOSITORY = Path(__file__).resolve().parents[2]
FIXTURES = REPOSITORY / "tests/fixtures"
# Run from a checkout without installing: the package beside these tests comes first.
sys.path.insert(0, str(REPOSITORY / "python"))
# The library converts certificate times through the C library's local time: Korean time is
# exact only in a process that runs in Korea's zone.
os.environ["TZ"] = "KST-9"
time.tzset()
