"""Sphinx configuration of the orvane._core site.

Signatures and docstrings come from the built module itself (autodoc); the
parameter and return types come from ``python/orvane/_core.pyi`` through the
local ``stubsig`` extension, which also fails the build when the stub and the
module disagree about a signature.
"""

import importlib
import os
import sys
from pathlib import Path

DOCS = Path(__file__).resolve().parent
ROOT = DOCS.parent
sys.path.insert(0, str(DOCS / "_ext"))

# Document the module that was built, not its stub: autodoc would otherwise load
# _core.pyi in place of a native module. The stub only lends its types (stubsig).
os.environ["SPHINX_AUTODOC_IGNORE_NATIVE_MODULE_TYPE_STUBS"] = "1"
importlib.import_module("orvane._core")

project = "orvane._core"
author = "the orvane developers"
copyright = "the orvane developers"

extensions = [
    "myst_parser",
    "sphinx.ext.autodoc",
    "sphinx.ext.intersphinx",
    "stubsig",
]

default_role = "literal"  # the docstrings write `name` for code, as Markdown does
source_suffix = {".rst": "restructuredtext", ".md": "markdown"}
exclude_patterns = ["_build", "test_*.py"]
myst_enable_extensions = ["colon_fence", "deflist"]
myst_heading_anchors = 3

# The module registers everything under orvane._core; show names short.
add_module_names = False
python_use_unqualified_type_names = True
autodoc_member_order = "bysource"
autodoc_typehints = "signature"
autodoc_default_options = {"members": False}
python_display_short_literal_types = True

stubsig_stub = str(ROOT / "python" / "orvane" / "_core.pyi")

# Links into Python's documentation, from the inventory Debian's python3.11-doc
# installs: the build reaches no network.
_python_inventory = "/usr/share/doc/python3.11/html/objects.inv"
intersphinx_mapping = {"python": ("https://docs.python.org/3", _python_inventory)}

# Every cross-reference must resolve; the only names that cannot are the
# stub's ``Any`` and the ``BookLevel`` records' home outside this site.
nitpicky = True

html_theme = "furo"
html_title = "orvane._core"
html_static_path = []
html_copy_source = False
html_show_sourcelink = False
pygments_style = "friendly"
