import sys
from pathlib import Path

REPOSITORY = Path(__file__).resolve().parents[2]
# Run from a checkout without installing: the package beside these tests comes first.
sys.path.insert(0, str(REPOSITORY / "python"))
