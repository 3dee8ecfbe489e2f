# One-command set-up on Debian/Ubuntu: `make run` builds and starts Orvane, `make test` builds and runs the suite.
BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= $(shell nproc)
# Most test programs spend their time waiting on timers and sockets, not on a core: three to a core finish the suite
# in less than half the time of one to a core. The valgrind set and the sanitizer build are bound by their cores.
TEST_JOBS ?= $(shell echo $$((3 * $$(nproc))))
CMAKE_FLAGS ?=

APT_PACKAGES := cmake g++ make pkg-config ninja-build \
	qt6-base-dev qt6-multimedia-dev qt6-httpserver-dev qt6-svg-dev libqt6sql6-sqlite qt6-image-formats-plugins \
	qt6-qpa-plugins qcoro-qt6-dev nlohmann-json3-dev \
	libavformat-dev libavcodec-dev libswscale-dev libavutil-dev libjpeg-dev libxcb1-dev \
	ffmpeg gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-libav \
	fonts-dejavu-core sound-theme-freedesktop adwaita-icon-theme valgrind xvfb xauth xdotool curl clang-format

.PHONY: deps configure build run test test-sanitize test-valgrind install bench media screenshots format-check clean

deps:
	@missing=""; for p in $(APT_PACKAGES); do \
		dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "install ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
		echo "Installing:$$missing"; \
		SUDO=""; [ "$$(id -u)" -ne 0 ] && SUDO="sudo"; \
		$$SUDO apt-get update -qq && DEBIAN_FRONTEND=noninteractive $$SUDO apt-get install -y -qq $$missing; \
	fi

configure: deps
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

# Builds only the application and what it links, not the test suite.
run: configure
	cmake --build $(BUILD_DIR) -j $(JOBS) --target orvane
	@if [ -z "$$DISPLAY" ] && [ -z "$$WAYLAND_DISPLAY" ] && [ -z "$$QT_QPA_PLATFORM" ]; then \
		echo "No display found: starting Orvane under a virtual X server (xvfb-run)."; \
		xvfb-run -a $(BUILD_DIR)/src/app/orvane; \
	else \
		$(BUILD_DIR)/src/app/orvane; \
	fi

test: build
	cd $(BUILD_DIR) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(TEST_JOBS) -LE memcheck

# The whole suite under AddressSanitizer and UBSan.
test-sanitize:
	$(MAKE) test BUILD_DIR=build-asan BUILD_TYPE=Debug CMAKE_FLAGS=-DORVANE_SANITIZE=ON TEST_JOBS=$(JOBS)

# The coroutine-heavy tests under valgrind, on the same optimised build.
test-valgrind: build
	cd $(BUILD_DIR) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS) -L memcheck

# Every C++ file as .clang-format lays it out.
format-check: deps
	git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

install: build
	cmake --install $(BUILD_DIR)

# What only the benchmarks use: the thumbnailer a file manager runs, the gallery benchmark's reference.
BENCH_PACKAGES := ffmpegthumbnailer

# Every benchmark runs even when an earlier one misses its goal; the run fails if any did.
bench:
	$(MAKE) deps APT_PACKAGES="$(BENCH_PACKAGES)"
	$(MAKE) build BUILD_DIR=build-bench BUILD_TYPE=Release CMAKE_FLAGS="-DORVANE_BUILD_BENCH=ON"
	cmake --build build-bench --target run_benchmarks -- -k 0

# Renders the preset preview clips and pictures into resources/ (needs the ffmpeg command-line tool).
media: deps
	cmake -S tools/preset_media -B build-media -G Ninja -DCMAKE_BUILD_TYPE=Release
	cmake --build build-media -j $(JOBS)
	build-media/make_preset_media --out resources

# Renders every screen with sample data, offscreen, into docs/screenshots/<name>-light.png and -dark.png.
screenshots: build
	QT_QPA_PLATFORM=offscreen $(BUILD_DIR)/tools/screenshots/orvane_screenshots --out docs/screenshots
	ORVANE_DAY_SCREENSHOTS=$(CURDIR)/docs/screenshots $(BUILD_DIR)/tests/e2e/e2e_day

clean:
	rm -rf build build-asan build-bench build-media
