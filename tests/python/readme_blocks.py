"""The README's Python examples, as the test that runs them and mypy see them.

    python tests/python/readme_blocks.py DIR

writes each ```python block of README.md to DIR/readme_example_N.py.
"""

import pathlib
import re
import sys

ROOT = pathlib.Path(__file__).resolve().parents[2]
README = ROOT / "README.md"

# A fenced block opened by ```python at the start of a line, up to the next
# line that is only ```.
_BLOCK = re.compile(r"^```python\n(.*?)^```$", re.MULTILINE | re.DOTALL)


def python_blocks(text=None):
    """The source of each ```python block, in order."""
    if text is None:
        text = README.read_text(encoding="utf-8")
    return [match.group(1) for match in _BLOCK.finditer(text)]


def write_blocks(folder):
    folder = pathlib.Path(folder)
    folder.mkdir(parents=True, exist_ok=True)
    for number, source in enumerate(python_blocks(), 1):
        (folder / f"readme_example_{number}.py").write_text(source, encoding="utf-8")


if __name__ == "__main__":
    write_blocks(sys.argv[1])
