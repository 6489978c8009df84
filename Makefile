# Thin front door. `scripts/bootstrap` prepares a bare machine; every target below assumes it ran.
# The venv's own tools (cmake, ninja, ruff) come first, whatever the machine has.
export PATH := $(CURDIR)/.venv/bin:$(PATH)
PYTHON := $(CURDIR)/.venv/bin/python
CMAKE_FLAGS := -G Ninja -DPython_EXECUTABLE=$(PYTHON)
JOBS ?= 2

.PHONY: bootstrap build test demo bench sanitize format lint clean

bootstrap:
	scripts/bootstrap

# compile_commands.json is linked at the top, where editors and clang-tidy look for it.
build:
	cmake -S . -B build $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=Release >/dev/null && cmake --build build -j $(JOBS)
	ln -sfn build/compile_commands.json compile_commands.json

test: build
	build/orvane_core_tests --gtest_brief=1
	PYTHONPATH=build/python $(PYTHON) -m pytest -q tests

demo: build
	PYTHONPATH=build/python $(PYTHON) examples/demo.py

bench: build
	PYTHONPATH=build/python $(PYTHON) bench/run.py

sanitize:
	scripts/sanitize

format:
	clang-format -i $$(git ls-files 'core/*.cpp' 'core/*.h' 'bindings/*.cpp' 'bindings/*.h')
	.venv/bin/ruff format python tests bench examples && .venv/bin/ruff check python tests bench examples

lint:
	scripts/lint

clean:
	rm -rf build build-asan
