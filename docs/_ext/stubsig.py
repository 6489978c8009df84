"""Types from the stub, everything else from the module.

autodoc reads each callable's parameter names and defaults from the text
signature the module carries (``__text_signature__``). This extension adds the
parameter and return types that ``_core.pyi`` declares for the same names, so a
signature has one source for its shape (the module) and one for its types (the
stub). A stub that names other parameters than the module, or a documented
name the stub lacks, is reported as a warning, which ``-W`` turns into a
failed build.

Private aliases of the stub (``_Levels``, ``_Pairs``, ...) are expanded, so a
reader sees ``tuple[BookLevel, ...]`` rather than a name they cannot look up.
"""

from __future__ import annotations

import ast
import copy
import inspect
from pathlib import Path

from sphinx import addnodes
from sphinx.domains.python._annotations import _parse_annotation
from sphinx.util import logging

LOG = logging.getLogger(__name__)
MODULE = "orvane._core."


class _Stub:
    """The stub's functions, properties and attributes by qualified name."""

    def __init__(self, path: Path) -> None:
        tree = ast.parse(path.read_text(encoding="utf-8"), filename=str(path))
        self.aliases: dict[str, ast.expr] = {}
        self.imports: dict[str, str] = {}  # name -> its qualified name, for links
        self.functions: dict[str, ast.FunctionDef] = {}
        self.values: dict[str, ast.expr] = {}
        for node in tree.body:
            self._visit(node, "")

    def _visit(self, node: ast.stmt, prefix: str) -> None:
        if isinstance(node, ast.ImportFrom) and node.module:
            for alias in node.names:
                self.imports[alias.asname or alias.name] = f"{node.module}.{alias.name}"
        elif (
            isinstance(node, ast.Assign)
            and isinstance(node.value, ast.Call)
            and ast.unparse(node.value.func) == "TypeVar"
        ):
            # A type variable reads as its bound, or as Any.
            bound = [k.value for k in node.value.keywords if k.arg == "bound"]
            for target in node.targets:
                if isinstance(target, ast.Name):
                    self.aliases[target.id] = (
                        bound[0] if bound else ast.parse("typing.Any", mode="eval").body
                    )
        elif isinstance(node, ast.AnnAssign) and isinstance(node.target, ast.Name):
            name = node.target.id
            is_alias = isinstance(node.annotation, ast.Name) and node.annotation.id == "TypeAlias"
            if is_alias and node.value is not None:
                self.aliases[name] = node.value
            else:
                self.values[prefix + name] = node.annotation
        elif isinstance(node, ast.ClassDef):
            for child in node.body:
                self._visit(child, f"{node.name}.")
        elif isinstance(node, ast.FunctionDef):
            decorators = [ast.unparse(d) for d in node.decorator_list]
            if any(d.endswith(".setter") for d in decorators):
                return
            if "property" in decorators:
                self.values[prefix + node.name] = node.returns
            else:
                self.functions[prefix + node.name] = node

    def render(self, annotation: ast.expr | None) -> str:
        """An annotation as text: the stub's private aliases expanded, imported
        names qualified (``decimal.Decimal``) so that they link; the site shows
        them short."""
        if annotation is None:
            return ""
        aliases, imports = self.aliases, self.imports

        expanding: list[str] = []

        class Expand(ast.NodeTransformer):
            def visit_Name(self, node: ast.Name) -> ast.AST:
                if (
                    node.id in expanding
                ):  # a recursive alias (JSON values) shows its inner level as Any
                    return ast.parse("typing.Any", mode="eval").body
                if node.id in aliases:
                    expanding.append(node.id)
                    expanded = self.visit(copy.deepcopy(aliases[node.id]))
                    expanding.pop()
                    return expanded
                if node.id in imports:
                    return ast.parse(imports[node.id], mode="eval").body
                return node

        return ast.unparse(Expand().visit(copy.deepcopy(annotation)))


def _runtime_parameters(obj: object) -> list[inspect.Parameter] | None:
    try:
        signature = inspect.signature(obj)
    except (TypeError, ValueError):
        return None
    return [p for p in signature.parameters.values() if p.name not in ("self", "$self")]


def _stub_parameters(node: ast.FunctionDef) -> list[tuple[str, ast.arg, str]]:
    """(name, arg, kind) in order, without self."""
    args = node.args
    out = [(a.arg, a, "positional") for a in args.posonlyargs + args.args]
    if args.vararg:
        out.append((args.vararg.arg, args.vararg, "*"))
    out += [(a.arg, a, "keyword") for a in args.kwonlyargs]
    if args.kwarg:
        out.append((args.kwarg.arg, args.kwarg, "**"))
    return [entry for entry in out if entry[0] != "self"]


def _format(stub: _Stub, node: ast.FunctionDef, runtime: list[inspect.Parameter]) -> str:
    parts = []
    for (name, arg, kind), param in zip(_stub_parameters(node), runtime, strict=True):
        text = {"*": "*", "**": "**"}.get(kind, "") + name
        if arg.annotation is not None:
            text += f": {stub.render(arg.annotation)}"
        if param.default is not inspect.Parameter.empty:
            default = param.default
            shown = "..." if default is Ellipsis else repr(default)
            text += f" = {shown}" if arg.annotation is not None else f"={shown}"
        parts.append(text)
    return "(" + ", ".join(parts) + ")"


def process_signature(app, what, name, obj, options, args, retann):
    if not name.startswith(MODULE):
        return None
    stub = _STUBS[app.config.stubsig_stub]
    qualname = name[len(MODULE) :]
    if what in ("attribute", "property", "data"):
        return None  # typed in add_attribute_types: autodoc has no slot for it here
    if what == "class":
        node = stub.functions.get(qualname + ".__init__")
        if node is None:
            return "", ""  # no constructor callable from Python
    elif what in ("function", "method"):
        node = stub.functions.get(qualname)
        if node is None:
            LOG.warning("stubsig: %s is not in the stub", name, type="stubsig")
            return None
    else:
        return None
    runtime = _runtime_parameters(obj)
    stub_names = [n for n, _, _ in _stub_parameters(node)]
    if runtime is None:
        LOG.warning("stubsig: %s has no text signature", name, type="stubsig")
        return None
    runtime_names = [p.name for p in runtime]
    if runtime_names != stub_names:
        LOG.warning(
            "stubsig: %s takes (%s) but the stub says (%s)",
            name,
            ", ".join(runtime_names),
            ", ".join(stub_names),
            type="stubsig",
        )
        return None
    returns = "" if what == "class" else stub.render(node.returns)
    return _format(stub, node, runtime), returns


_STUBS: dict[object, _Stub] = {}


def add_attribute_types(app, doctree):
    """Give each documented attribute of the module the type the stub declares.

    autodoc finds no annotation on the attributes of an extension type, so the
    type is added to the rendered signature, as ``:type:`` would add it.
    """
    stub = _STUBS[app.config.stubsig_stub]
    for desc in doctree.findall(addnodes.desc):
        if desc.get("domain") != "py" or desc.get("objtype") not in ("attribute", "property"):
            continue
        for signature in desc.findall(addnodes.desc_signature):
            if signature.get("module") != MODULE.rstrip("."):
                continue
            qualname = signature.get("fullname", "")
            annotation = stub.values.get(qualname)
            if annotation is None:
                LOG.warning(
                    "stubsig: %s%s has no type in the stub",
                    MODULE,
                    qualname,
                    type="stubsig",
                    location=signature,
                )
                continue
            signature += addnodes.desc_annotation(
                "",
                "",
                addnodes.desc_sig_punctuation("", ":"),
                addnodes.desc_sig_space(),
                *_parse_annotation(stub.render(annotation), app.env),
            )


def builder_inited(app):
    _STUBS[app.config.stubsig_stub] = _Stub(Path(app.config.stubsig_stub))


def setup(app):
    app.add_config_value("stubsig_stub", "", "env")
    app.connect("builder-inited", builder_inited)
    app.connect("autodoc-process-signature", process_signature)
    app.connect("doctree-read", add_attribute_types)
    return {"version": "1", "parallel_read_safe": True, "parallel_write_safe": True}
