# The two set-up commands: `make run` builds the program alone and starts it
# with the checkout's library files; `make test` builds and runs every test.
# Both first make sure the Debian packages of tools/debian-packages.txt are
# there (installed when run as root; otherwise the apt-get line is printed
# and make stops before configuring).
BUILD ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=

.PHONY: all build run test clean

all: build

# Configures $(BUILD) unless that was done and generated its build files.
# A configure that fails removes the cache it began, so the next make
# configures again instead of finding a build directory with nothing to
# build. $(1): flags for a first configure.
define configure
@if [ ! -f $(BUILD)/CMakeCache.txt ] || { [ ! -f $(BUILD)/Makefile ] && [ ! -f $(BUILD)/build.ninja ]; }; then \
  cmake -S . -B $(BUILD) $(1) $(CMAKE_FLAGS) >/dev/null || { rm -f $(BUILD)/CMakeCache.txt; exit 1; }; \
fi
endef

# Everything, the tests too: a build directory that `make run` configured
# without them gets them now.
define configure_with_tests
@tools/debian-packages.sh build test
$(call configure,)
@if grep -q '^TARVA_TESTS:BOOL=OFF' $(BUILD)/CMakeCache.txt; then cmake -S . -B $(BUILD) -DTARVA_TESTS=ON >/dev/null; fi
endef

build:
	$(configure_with_tests)
	cmake --build $(BUILD) -j $(JOBS)

# Only the program (its library files are used where they are, in lib/):
# no tests, fuzz targets or benchmarks. The build's messages go to a log,
# shown only when the build fails; on a terminal one line shows CMake's
# percentages and is wiped at the end, so the session starts on a clean
# screen.
run:
	@tools/debian-packages.sh build
	$(call configure,-DTARVA_TESTS=OFF)
	@echo "Building tarva (the first time takes a few minutes)"
	@tools/build-progress.sh $(BUILD) tarva $(JOBS)
	@TARVA_LIB=$(CURDIR)/lib/ $(BUILD)/tarva

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD)
