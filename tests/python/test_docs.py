"""The documentation holds to the code: every message the module can raise is
in the reference, every example in the README and the reference runs (a
virtual camera stands in), every relative link resolves, and the diagram of
a frame's path renders from its source."""

import json
import os
import re
import shutil
import subprocess

import pytest

from conftest import run_python

ROOT = os.path.normpath(os.path.join(os.path.dirname(__file__), "..", ".."))
REFERENCE = os.path.join(ROOT, "docs", "reference.md")
MESSAGES = os.path.join(ROOT, "src", "module", "messages.h")
PAGES = ["README.md", "docs/reference.md", "docs/internals.md", "docs/performance.md",
         "src/platform/README.md", "windows/README.md", "windows/runtime/README.md",
         "tests/uvc/profiles/README.md"]

# A copy of tests/ without the source tree (the packages' check runs the
# suite so on another interpreter) has no documentation to check.
pytestmark = pytest.mark.skipif(not os.path.exists(REFERENCE), reason="no documentation beside the tests")


def read(path):
    with open(os.path.join(ROOT, path), encoding="utf-8") as text:
        return text.read()


def messages():
    """Each message of messages.h as the code writes it (escapes kept)."""
    found = re.findall(r'constexpr const char \w+\[\] =((?:\s*"(?:[^"\\]|\\.)*")+);', read(MESSAGES))
    return ["".join(re.findall(r'"((?:[^"\\]|\\.)*)"', literal)) for literal in found]


def test_every_message_the_module_raises_is_in_the_reference_and_nowhere_but_messages_h():
    reference = read(REFERENCE)
    listed = messages()
    assert len(listed) > 40
    assert [text for text in listed if "`" + text + "`" not in reference] == []
    # The module raises only those: no message written out elsewhere.
    for folder in ("module", "graph", "device"):
        for name in sorted(os.listdir(os.path.join(ROOT, "src", folder))):
            if name.endswith(".cpp"):
                code = read(os.path.join("src", folder, name))
                assert re.findall(r'(?:raiseModuleError\(|return )"', code) == [], name


def examples(page):
    return re.findall(r"```python\n(.*?)```", read(page), re.S)


@pytest.mark.parametrize("page", ["README.md", "docs/reference.md"])
def test_every_example_runs_on_a_virtual_camera(page):
    pytest.importorskip("numpy")
    cameras = json.dumps([{"name": "Integrated Camera", "sizes": [[640, 480], [320, 240]]},
                          {"name": "USB Webcam C270", "sizes": [[174, 96]]}])
    found = examples(page)
    assert found
    for code in found:
        result = run_python(code, env={"QUORIN_VIRTUAL_CAMERAS": cameras, "DISPLAY": ""})
        assert result.returncode == 0, "{}\n{}".format(code, result.stderr)


def slug(heading):
    """A heading's anchor, as GitHub makes it."""
    text = re.sub(r"[^\w\- ]", "", heading.strip().lower().replace("`", ""))
    return text.replace(" ", "-")


def test_every_relative_link_and_anchor_resolves():
    broken = []
    for page in PAGES:
        for target in re.findall(r"\]\(([^)\s]+)\)", read(page)):
            if re.match(r"[a-z]+:", target):
                continue
            path, _, anchor = target.partition("#")
            resolved = os.path.normpath(os.path.join(ROOT, os.path.dirname(page), path)) if path else \
                os.path.join(ROOT, page)
            if not os.path.exists(resolved):
                broken.append((page, target))
            elif anchor:
                with open(resolved, encoding="utf-8") as text:
                    anchors = {slug(h) for h in re.findall(r"^#+ (.*)$", text.read(), re.M)}
                if anchor not in anchors:
                    broken.append((page, target))
    assert broken == []


def test_the_readme_is_a_first_screen_not_a_manual():
    readme = read("README.md")
    assert len(readme.splitlines()) <= 150
    quick_start = examples("README.md")[0]
    assert len(quick_start.strip().splitlines()) <= 15


def test_the_diagram_of_a_frames_path_renders_from_its_source():
    if not shutil.which("dot"):
        pytest.skip("Graphviz is not installed")
    rendered = subprocess.run(["dot", "-Tsvg", os.path.join(ROOT, "docs", "frame-path.dot")],
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, universal_newlines=True, check=True)
    labels = re.compile(r"<text[^>]*>([^<]*)</text>")
    assert labels.findall(rendered.stdout) == labels.findall(read("docs/frame-path.svg"))
    assert "frame-path.svg" in read("docs/reference.md")
