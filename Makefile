# The two commands a newcomer needs:
#   make demo   set up what is missing, build, and run the plug-in's main job
#   make test   set up what is missing, build everything, run every test
# Each build has a CMake preset; see README.md.

.PHONY: soak all setup demo lv2 test test-native test-tsan test-release test-fuzz test-lv2 test-web test-windows bench picture lv2-picture web web-picture validate dist clean

all: test

# Each target installs what it needs the first time it runs (scripts/setup).
setup:
	@scripts/setup

demo:
	@scripts/setup demo
	@cmake --preset windows >/dev/null
	@cmake --build --preset windows --target QvMfxVeltrace veltrace-host
	@scripts/demo

# The LV2 bundle (build/lv2/veltrace.lv2) and the native veltrace-host (build/lv2/veltrace-host).
lv2:
	@scripts/setup lv2
	@cmake --preset lv2 >/dev/null
	@cmake --build --preset lv2
	@echo "lv2: the bundle is build/lv2/veltrace.lv2, the native tool build/lv2/veltrace-host"

# The browser edition in build/web, served on 127.0.0.1 at a free port (or
# WEB_PORT) until Ctrl-C; WEB_BUILD_ONLY=1 only builds it.
web:
	@scripts/setup web
	@cmake --preset web >/dev/null
	@cmake --build --preset web
	@if [ -n "$(WEB_BUILD_ONLY)" ]; then echo "web: the page is build/web/site/index.html"; \
	else /usr/bin/python3 web/serve.py build/web/site $(WEB_PORT); fi

# Ends by comparing the machine with what it was before (scripts/leftovers),
# whether the tests passed or not.
test:
	@scripts/setup test
	@mkdir -p build && scripts/leftovers snapshot build/leftovers-before
	@$(MAKE) --no-print-directory test-native test-tsan test-release test-fuzz test-lv2 test-web test-windows; \
		status=$$?; scripts/leftovers compare build/leftovers-before || status=1; exit $$status
	@echo "make test: every build and test passed"

test-native:
	cmake --workflow --preset native

test-tsan:
	cmake --workflow --preset native-tsan

test-release:
	cmake --workflow --preset native-release

test-fuzz:
	cmake --workflow --preset fuzz

test-lv2:
	cmake --workflow --preset lv2

# After test-lv2: the page's output is compared with the native veltrace-host's.
test-web:
	cmake --workflow --preset web

# After test-lv2: the Windows tests compare the two faces of veltrace-host.
test-windows:
	cmake --workflow --preset windows

bench:
	@scripts/setup bench
	@cmake --preset native-release >/dev/null
	@cmake --build --preset native-release --target bench_event_paths count_instructions count_plugin_instructions smf_dump
	@cmake --preset windows >/dev/null
	@cmake --build --preset windows --target QvMfxVeltrace veltrace-host
	@scripts/bench-host
	@scripts/setup lv2 web
	@cmake --preset lv2 >/dev/null && cmake --build --preset lv2 >/dev/null
	@cmake --preset web >/dev/null && cmake --build --preset web >/dev/null
	@/usr/bin/python3 tests/web/bench_web.py build/web/site build/lv2/veltrace-host build/lv2/veltrace.lv2
	@bench/instruction-ratios build/native-release/bench/count_instructions \
		build/native-release/bench/count_plugin_instructions build/native-release
	@build/native-release/bench/bench_event_paths --benchmark_color=false

# The installer, the zip for registering by hand, the Debian package of the LV2
# edition and their checksums, in build/dist; the Windows files signed when
# VELTRACE_SIGN_PFX names a certificate (see README.md). No Wine needed.
dist:
	@scripts/setup dist
	@scripts/dist

# The long reliability run against the module that ships; see docs/reliability.md.
validate:
	@scripts/setup validate
	@for preset in native-tsan native-release fuzz windows; do \
		cmake --preset $$preset >/dev/null && cmake --build --preset $$preset || exit 1; done
	@scripts/validate

# The rigs that start servers and displays (jalv on JACK, the picture, Wine),
# RUNS times (default 10) under load and once with a killed JACK server.
soak:
	@scripts/setup lv2
	@scripts/setup windows
	@for preset in lv2 windows; do \
		cmake --preset $$preset >/dev/null && cmake --build --preset $$preset || exit 1; done
	@scripts/soak

# docs/page.png: the property page of the built module, captured under Wine.
picture:
	@scripts/setup demo
	@cmake --preset windows >/dev/null
	@cmake --build --preset windows --target page_snapshot
	@scripts/wine-session start build/windows
	@scripts/wine-run build/windows build/windows/tools/page_snapshot.exe build/windows/page.bmp \
		build/windows/QvMfxVeltrace.dll; status=$$?; scripts/wine-session stop build/windows; exit $$status
	@scripts/bmp-to-png build/windows/page.bmp docs/page.png
	@echo "wrote docs/page.png"

# docs/web.png: the page with the demo file loaded, in headless Chromium.
web-picture:
	@WEB_BUILD_ONLY=1 $(MAKE) --no-print-directory web
	@/usr/bin/python3 tests/web/picture.py build/web/site docs/web.png

# docs/lv2.png: the LV2 plug-in's controls in jalv's generic window.
lv2-picture: lv2
	@scripts/lv2-picture build/lv2/veltrace.lv2 docs/lv2.png

clean:
	rm -rf build
