"""Checks of the documentation site, run by scripts/docs after the build.

- every example in the pages runs and prints what the page shows;
- every name the module registers has an entry in the reference;
- every internal link and anchor of the built site resolves;
- the front page and a reference page render in headless Chromium, styled.
"""

import doctest
import html.parser
import os
import re
import shutil
import subprocess
import zlib
from pathlib import Path
from urllib.parse import unquote, urlsplit

import pytest

DOCS = Path(__file__).resolve().parent
SITE = DOCS / "_build" / "html"
SHOTS = DOCS / "_build" / "screenshots"
PAGES = sorted(
    p for p in [*DOCS.glob("*.md"), *DOCS.glob("reference/*.rst")] if "_build" not in p.parts
)
FENCE = re.compile(r"^([ \t]*)(`{3,}|~{3,})[ \t]*(\{[^}]*\}|[\w+-]*)", re.MULTILINE)
RUN = "pycon"  # the one fence language whose blocks are examples
COMMANDS = {"sh", "toctree", "include", "image"}  # fences that are not examples


def site():
    if not (SITE / "index.html").exists():
        pytest.fail("the site is not built: run scripts/docs")
    return SITE


# -- examples ---------------------------------------------------------------


def examples_of(page: Path) -> str:
    """The page's text with Markdown fences blanked (line numbers kept)."""
    text = page.read_text(encoding="utf-8")
    if page.suffix != ".md":
        return text
    return "\n".join("" if FENCE.match(line) else line for line in text.split("\n"))


@pytest.mark.parametrize("page", PAGES, ids=lambda p: str(p.relative_to(DOCS)))
def test_examples_run(page):
    text = examples_of(page)
    test = doctest.DocTestParser().get_doctest(text, {}, page.name, str(page), 0)
    runner = doctest.DocTestRunner(
        optionflags=doctest.ELLIPSIS | doctest.NORMALIZE_WHITESPACE, verbose=False
    )
    report = []
    runner.run(test, out=report.append)
    assert runner.failures == 0, "".join(report)


def test_every_code_block_is_an_example_or_a_command():
    """A Python block without prompts would not run: forbid it."""
    untested = []
    for page in PAGES:
        if page.suffix != ".md":
            continue
        for match in FENCE.finditer(page.read_text(encoding="utf-8")):
            language = match.group(3).strip("{}")
            if language and language not in COMMANDS | {RUN}:
                untested.append(f"{page.name}: {language}")
    assert not untested


# -- the reference covers the module ------------------------------------------


def inventory() -> set[str]:
    """Names of the objects.inv that Sphinx wrote."""
    data = (site() / "objects.inv").read_bytes()
    body = zlib.decompress(data.split(b"\n", 4)[4]).decode()
    return {line.split(" ", 1)[0] for line in body.splitlines() if " py:" in line}


def registered() -> set[str]:
    """Every name the module registers, with the public members of its classes."""
    import orvane._core as core

    names = {"orvane._core.__version__"}
    for name, value in vars(core).items():
        if name.startswith("_"):
            continue
        names.add(f"orvane._core.{name}")
        if isinstance(value, type):
            names |= {
                f"orvane._core.{name}.{member}"
                for member in vars(value)
                if not member.startswith("_")
            }
    return names


def test_reference_covers_every_registered_name():
    missing = registered() - inventory()
    assert not missing, f"not in the reference: {sorted(missing)}"


# -- internal links -----------------------------------------------------------


class _Page(html.parser.HTMLParser):
    def __init__(self):
        super().__init__()
        self.ids: set[str] = set()
        self.links: list[str] = []

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        if "id" in attrs:
            self.ids.add(attrs["id"])
        if tag == "a" and "name" in attrs:
            self.ids.add(attrs["name"])
        for key in ("href", "src"):
            if attrs.get(key):
                self.links.append(attrs[key])


def test_internal_links_resolve():
    pages = {}
    for path in site().rglob("*.html"):
        parser = _Page()
        parser.feed(path.read_text(encoding="utf-8"))
        pages[path.resolve()] = parser
    broken = []
    for path, parser in pages.items():
        for link in parser.links:
            parts = urlsplit(link)
            if parts.scheme or parts.netloc or link.startswith(("mailto:", "javascript:")):
                continue
            target = (path.parent / unquote(parts.path)).resolve() if parts.path else path
            if target.is_dir():
                target = target / "index.html"
            if not target.exists():
                broken.append(f"{path.relative_to(SITE)}: {link}")
            elif parts.fragment and target in pages and parts.fragment not in pages[target].ids:
                broken.append(f"{path.relative_to(SITE)}: {link} (no such anchor)")
    assert not broken, "\n".join(broken)


# -- rendering ----------------------------------------------------------------


def chromium() -> str:
    found = shutil.which("chromium") or shutil.which("chromium-browser")
    if not found:
        pytest.fail("headless Chromium is needed: apt-get install chromium")
    return found


def screenshot(page: str, width: int = 1280, height: int = 1600) -> Path:
    SHOTS.mkdir(parents=True, exist_ok=True)
    out = SHOTS / (page.replace("/", "-").removesuffix(".html") + ".png")
    out.unlink(missing_ok=True)
    run = subprocess.run(
        [
            chromium(),
            "--headless",
            "--no-sandbox",
            "--disable-gpu",
            "--hide-scrollbars",
            f"--window-size={width},{height}",
            f"--screenshot={out}",
            (site() / page).as_uri(),
        ],
        check=False,
        capture_output=True,
        text=True,
        timeout=120,
        env={**os.environ, "HOME": str(SHOTS)},
    )
    assert out.exists(), run.stderr[-2000:]
    return out


@pytest.mark.parametrize("page", ["index.html", "reference/book.html"])
def test_page_renders_styled(page):
    from PIL import Image

    image = Image.open(screenshot(page)).convert("RGB")
    assert image.size == (1280, 1600)
    colours = image.getcolors(maxcolors=1 << 16)
    assert colours is None or len(colours) > 50, "a blank page"
    # The theme paints the navigation sidebar in its own grey: without the
    # stylesheet the left edge is plain white. (That every stylesheet the page
    # names exists is test_internal_links_resolve's.)
    sidebar = image.crop((0, 0, 200, image.height)).getcolors(maxcolors=1 << 16)
    assert sidebar is not None
    grey = max(sidebar)[1]
    assert grey != (255, 255, 255) and min(grey) > 200, f"no styled sidebar: {grey}"
