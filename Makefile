# NCFerry: set-up, build, run, test, benchmark, on Debian 12. Packages are installed as root
# (`sudo make deps` once); everything else runs as any user.
BUILD   ?= build
JOBS    ?= $(shell nproc)
PACKAGES = cmake g++ make pkg-config dpkg-dev qt6-base-dev qt6-serialport-dev qt6-svg-dev \
           libqt6sql6-sqlite libjpeg62-turbo-dev xvfb xauth imagemagick fonts-noto-cjk \
           qt6-translations-l10n ser2net

.PHONY: all deps configure build run test bench clean \
        sanitizer-deps configure-asan test-asan test-tsan fuzz fuzz-smoke \
        format format-check package test-package test-clean-root

# WERROR=ON turns compiler warnings into errors (CI does), WERROR=OFF back; the build folder
# keeps the last choice, so later commands need not repeat it.
WERROR  ?=
WERROR_FLAG = $(if $(WERROR),-DNCFERRY_WERROR=$(WERROR))

all: build

# Installs only what is missing, so a second run costs nothing. A user who is not root is
# stopped before apt with one line, rather than apt's own lock error.
MISSING  = $(shell for p in $(PACKAGES); do \
             dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "ok installed" || echo $$p; done)
NOT_ROOT = $(filter-out 0,$(shell id -u))

deps:
	$(if $(NOT_ROOT),$(if $(MISSING),$(error Packages missing ($(strip $(MISSING))): run  sudo make deps  once, then make as yourself)))
	@missing=""; for p in $(PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $$missing; \
	fi

configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(WERROR_FLAG) >/dev/null

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# Starts the program; without a display it runs on a virtual one.
run: build
	@if [ -n "$$DISPLAY" ] || [ -n "$$WAYLAND_DISPLAY" ]; then $(BUILD)/bin/ncferry; \
	else xvfb-run -a -s "-screen 0 1920x1080x24" $(BUILD)/bin/ncferry; fi

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS) --timeout 300

bench: build
	@failed=""; for b in $(BUILD)/bin/bench_*; do echo "== $$(basename $$b)"; \
	  QT_QPA_PLATFORM=offscreen $$b || failed="$$failed $$(basename $$b)"; done; \
	if [ -n "$$failed" ]; then echo "targets missed:$$failed"; exit 1; fi

clean:
	rm -rf $(BUILD) build-asan build-tsan

# --- Packaging: a .deb of ncferry, ncferry-cli and ncferry-sim (CPack; dpkg-shlibdeps finds
# the Qt packages it needs), and its check: lintian, AppStream, the service unit verified
# and rated, the CLI as a user with and without the serial group, started from a fresh home.
PKG_PACKAGES = dpkg-dev lintian appstream systemd socat file

package: build
	@$(MAKE) --no-print-directory deps PACKAGES="$(PKG_PACKAGES)"
	cd $(BUILD) && cpack -G DEB
	@ls -l $(BUILD)/ncferry_*.deb

test-package: package
	packaging/test-package.sh $(BUILD)

# The package installed by apt into a fresh Debian 12 root (debootstrap, from the archive) and
# used there by a normal user; kept in CLEAN_ROOT so a second run skips debootstrap. Needs
# root; not in CI, since it downloads.
CLEAN_ROOT ?= $(BUILD)/clean-root

test-clean-root: package
	packaging/test-clean-root.sh $(BUILD) $(CLEAN_ROOT)

# --- Formatting with the committed .clang-format (Debian's clang-format 14) -------------
FORMAT       = clang-format-14
FORMAT_FILES = $(shell git -c core.quotepath=off ls-files '*.cpp' '*.h')

format:
	@$(MAKE) --no-print-directory deps PACKAGES="$(FORMAT)"
	$(FORMAT) -i --style=file $(FORMAT_FILES)

# Lists the files that differ from their formatted form; fails when there are any.
format-check:
	@$(MAKE) --no-print-directory deps PACKAGES="$(FORMAT)"
	@bad=0; for f in $(FORMAT_FILES); do \
	  $(FORMAT) --style=file "$$f" | cmp -s - "$$f" || { echo "not formatted: $$f"; bad=$$((bad + 1)); }; \
	done; \
	if [ $$bad -gt 0 ]; then echo "$$bad files differ from .clang-format (make format)"; exit 1; fi; \
	echo "every file as .clang-format has it"

# --- Reliability: sanitizer builds and fuzz targets (clang from Debian) -------------------
SAN_PACKAGES = clang-14 libclang-rt-14-dev
SAN_CC       = clang-14
SAN_CXX      = clang++-14
LAUNCHER     = $(if $(shell command -v ccache),-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
# The threaded suites: serial line (local and behind a device server), send, receive, and
# auto mode.
# tst_receive_window is left out: Qt's pooled threads (used by the window, not by our code)
# report races whose stacks lie wholly inside Qt, in frames without names to suppress.
TSAN_TESTS  ?= ^(tst_library_journal|tst_send_pty|tst_send_pacing|tst_send_command|tst_receive_engine|tst_receive_command|tst_line_.*|tst_network_line|tst_network_windows|tst_automode_.*)$$
FUZZ_TIME   ?= 30

sanitizer-deps: deps
	@$(MAKE) --no-print-directory deps PACKAGES="$(SAN_PACKAGES)"

# Address + undefined behaviour over the whole suite; the first report fails the test. The
# same build holds the fuzz targets: its code carries libFuzzer's coverage hooks, which cost
# the tests little and spare CI a second instrumented build.
ASAN_FLAGS = -O1 -g -fsanitize=address,undefined,fuzzer-no-link -fno-sanitize-recover=all -fno-omit-frame-pointer
ASAN_ENV   = QT_QPA_PLATFORM=offscreen \
  ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:detect_stack_use_after_return=1 \
  LSAN_OPTIONS=suppressions=$(CURDIR)/reliability/lsan.supp:print_suppressions=0 \
  UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1:suppressions=$(CURDIR)/reliability/ubsan.supp

configure-asan: sanitizer-deps
	CC=$(SAN_CC) CXX=$(SAN_CXX) cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo $(LAUNCHER) \
	  $(WERROR_FLAG) \
	  -DNCFERRY_FUZZ=ON -DCMAKE_CXX_FLAGS="$(ASAN_FLAGS)" -DCMAKE_C_FLAGS="$(ASAN_FLAGS)" \
	  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null

test-asan: configure-asan
	cmake --build build-asan -j $(JOBS)
	cd build-asan && $(ASAN_ENV) ctest --output-on-failure -j $(JOBS) --timeout 600

test-tsan: sanitizer-deps
	CC=$(SAN_CC) CXX=$(SAN_CXX) cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo $(LAUNCHER) \
	  $(WERROR_FLAG) \
	  -DNCFERRY_TSAN=ON -DCMAKE_CXX_FLAGS="-O1 -fsanitize=thread -fno-omit-frame-pointer" \
	  -DCMAKE_C_FLAGS="-O1 -fsanitize=thread" \
	  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread" >/dev/null
	@# Only the threaded suites are built: the rest would cost build time and find nothing.
	cmake --build build-tsan -j $(JOBS) --target \
	  $$(cd build-tsan && ctest -N -R '$(TSAN_TESTS)' | awk '/Test +#/ {print $$3}')
	@# Reports go to files, not stderr: the command tests read what the commands print there.
	@# QT_NO_GLIB: Qt's own event dispatcher, whose internals the suppressions name.
	rm -rf build-tsan/reports; mkdir -p build-tsan/reports
	cd build-tsan && QT_QPA_PLATFORM=offscreen QT_NO_GLIB=1 \
	  TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:log_path=$(CURDIR)/build-tsan/reports/tsan:suppressions=$(CURDIR)/reliability/tsan.supp" \
	  ctest --output-on-failure -j $(JOBS) --timeout 600 -R '$(TSAN_TESTS)' \
	  || { cat reports/tsan.* 2>/dev/null; exit 1; }

# libFuzzer targets (fuzz/), each with its seed corpus under fuzz/corpus/<name>.
fuzz: configure-asan
	cmake --build build-asan -j $(JOBS) --target fuzz_targets

# Each target for FUZZ_TIME seconds from its seeds and the inputs of faults found before
# (fuzz/regressions/<name>); new inputs go to a scratch folder, so the seeds stay as checked
# in. A crash stops the run and leaves its input in build-asan/crashes/.
fuzz-smoke: fuzz
	@mkdir -p build-asan/crashes; for t in build-asan/bin/fuzz_*; do n=$$(basename $$t); \
	  rm -rf build-asan/work/$$n; mkdir -p build-asan/work/$$n; \
	  echo "== $$n ($(FUZZ_TIME) s)"; \
	  QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	  $$t -max_total_time=$(FUZZ_TIME) -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
	      -artifact_prefix=build-asan/crashes/$$n- build-asan/work/$$n fuzz/corpus/$$n \
	      $$(test -d fuzz/regressions/$$n && echo fuzz/regressions/$$n) 2>build-asan/$$n.log \
	    || { tail -60 build-asan/$$n.log; exit 1; }; \
	  grep -E "stat::number_of_executed_units|stat::peak_rss_mb" build-asan/$$n.log | tr '\n' ' '; echo; \
	done
