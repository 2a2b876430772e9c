# The two commands a newcomer needs:
#   make demo   set up what is missing, build, and run the plug-in's main job
#   make test   set up what is missing, build everything, run every test
# Each build has a CMake preset; see README.md.

.PHONY: all setup demo test test-native test-tsan test-release test-fuzz test-windows bench clean

all: test

setup:
	@scripts/setup

demo: setup
	@cmake --preset native-release >/dev/null
	@cmake --build --preset native-release --target veltrace_demo
	@build/native-release/tools/veltrace_demo

test: setup
	@$(MAKE) --no-print-directory test-native test-tsan test-release test-fuzz test-windows
	@echo "make test: every build and test passed"

test-native:
	cmake --workflow --preset native

test-tsan:
	cmake --workflow --preset native-tsan

test-release:
	cmake --workflow --preset native-release

test-fuzz:
	cmake --workflow --preset fuzz

test-windows:
	cmake --workflow --preset windows

bench: setup
	@cmake --preset native-release >/dev/null
	@cmake --build --preset native-release --target bench_event_paths
	@build/native-release/bench/bench_event_paths

clean:
	rm -rf build
