# NCFerry: set-up, build, run, test, benchmark.  Runs as root on Debian 12.
BUILD   ?= build
JOBS    ?= $(shell nproc)
PACKAGES = cmake g++ make pkg-config qt6-base-dev qt6-serialport-dev qt6-svg-dev \
           libqt6sql6-sqlite libjpeg62-turbo-dev xvfb xauth imagemagick fonts-noto-cjk \
           qt6-translations-l10n

.PHONY: all deps configure build run test bench clean

all: build

# Installs only what is missing, so a second run costs nothing.
deps:
	@missing=""; for p in $(PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $$missing; \
	fi

configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# Starts the program; without a display it runs on a virtual one.
run: build
	@if [ -n "$$DISPLAY" ] || [ -n "$$WAYLAND_DISPLAY" ]; then $(BUILD)/bin/ncferry; \
	else xvfb-run -a -s "-screen 0 1920x1080x24" $(BUILD)/bin/ncferry; fi

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS) --timeout 300

bench: build
	@for b in $(BUILD)/bin/bench_*; do echo "== $$(basename $$b)"; QT_QPA_PLATFORM=offscreen $$b || exit 1; done

clean:
	rm -rf $(BUILD)
