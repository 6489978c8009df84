# Thin front door. Every target brings the machine up first (scripts/bootstrap: seconds when nothing
# is missing), so each works on a fresh clone on a bare Debian machine.
# The venv's own tools (cmake, ninja, ruff, auditwheel) come first, whatever the machine has.
export PATH := $(CURDIR)/.venv/bin:$(PATH)
VENV_PYTHON := $(CURDIR)/.venv/bin/python
CMAKE_FLAGS := -G Ninja -DPython_EXECUTABLE=$(VENV_PYTHON)
JOBS ?= 2

.PHONY: bootstrap build test demo bench sanitize wheel check-wheel bare-machine typecheck docs \
	fuzz stress lint format clean

bootstrap:
	@scripts/bootstrap

# compile_commands.json is linked at the top, where editors and clang-tidy look for it.
build: bootstrap
	cmake -S . -B build $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=Release >/dev/null && cmake --build build -j $(JOBS)
	ln -sfn build/compile_commands.json compile_commands.json

test: build
	build/orvane_core_tests --gtest_brief=1
	PYTHONPATH=build/python scripts/run-pytest $(VENV_PYTHON) -q tests

demo: build
	PYTHONPATH=build/python $(VENV_PYTHON) examples/demo.py

bench: build
	PYTHONPATH=build/python $(VENV_PYTHON) bench/run.py

sanitize: bootstrap
	scripts/sanitize

# A self-contained manylinux abi3 wheel in dist/: built by scikit-build-core, then auditwheel bundles
# the shared libraries that Debian has no position-independent archives of.
wheel: bootstrap
	rm -rf build/wheel-unrepaired dist/orvane-*.whl
	CMAKE_BUILD_PARALLEL_LEVEL=$(JOBS) $(VENV_PYTHON) -m pip wheel . -q --no-deps --no-build-isolation \
	  -w build/wheel-unrepaired
	auditwheel repair --strip -w dist build/wheel-unrepaired/orvane-*.whl
	scripts/check-wheel --structure-only

# The wheel under every CPython from 3.11 on that this machine has.
check-wheel: wheel
	scripts/check-wheel

# A fresh clone on a minimal Debian root: README's two commands; the wheel in a second root.
bare-machine: wheel
	scripts/bare-machine

# stubtest over the module, mypy --strict over examples/ and README's examples.
typecheck: build
	scripts/typecheck

# The documentation site in docs/_build/html, its examples run and its pages checked.
docs: build
	@scripts/bootstrap docs
	scripts/docs

format: bootstrap
	clang-format -i $$(git ls-files 'core/*.cpp' 'core/*.h' 'bindings/*.cpp' 'bindings/*.h' 'cmake/*.cpp' 'cmake/*.h')
	ruff format python tests bench examples reference docs && ruff check python tests bench examples reference docs

# The libFuzzer targets of the core, FUZZ_SECONDS each (default 30).
fuzz: bootstrap
	@scripts/bootstrap fuzz
	scripts/fuzz

# The module attacked from Python: the decoder fuzz (release and debug interpreters), every entry
# point repeated with its memory watched, threads on shared objects.
stress: build
	@scripts/bootstrap stress
	scripts/stress

# Formatting, ruff, codespell and clang-tidy over our own code.
lint: build
	@scripts/bootstrap lint
	scripts/lint

clean:
	rm -rf build build-asan dist
