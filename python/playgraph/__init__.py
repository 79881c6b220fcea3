"""playgraph: branching video playgraphs, from Python.

The classes and functions are those of the C++ library, with its names:
classes keep their C++ names, members are the snake_case of theirs
(misspellings included: bredth_first_traversal_from_segment_id,
as_deafault_next), getters are properties, and a parameter named ``from`` is
``from_``. Dictionaries cross the boundary as copies: ints stay ints (64-bit,
signed or unsigned, exact), floats floats, keys keep their order, and None
is the null marker. See the README's Python section.
"""

import os as _os

from . import _playgraph

globals().update({name: value for name, value in vars(_playgraph).items()
                  if not name.startswith("_")})
__version__ = _playgraph.__version__


def dump(value, file, pretty=False):
    """Writes dumps(value, pretty) to file: a path (str or os.PathLike,
    written as UTF-8) or an object with a write(str) method."""
    text = dumps(value, pretty)
    if isinstance(file, (str, _os.PathLike)):
        with open(file, "w", encoding="utf-8") as out:
            out.write(text)
    else:
        file.write(text)


__all__ = sorted(name for name in globals() if not name.startswith("_"))
