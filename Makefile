# The two set-up commands: `make run` builds the program alone and starts it
# with the checkout's library files; `make test` builds and runs every test.
BUILD ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=

.PHONY: all build run test clean

all: build

$(BUILD)/CMakeCache.txt:
	@cmake -S . -B $(BUILD) $(CMAKE_FLAGS) >/dev/null

build: $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

# Only the program (its library files are used where they are, in lib/):
# no tests, fuzz targets or benchmarks. The build's messages go to a log,
# shown only when the build fails, so the session starts on a clean screen.
run: $(BUILD)/CMakeCache.txt
	@echo "Building tarva (the first time takes a few minutes)"
	@cmake --build $(BUILD) --target tarva -j $(JOBS) >$(BUILD)/make-run.log 2>&1 \
	  || { cat $(BUILD)/make-run.log; exit 1; }
	@TARVA_LIB=$(CURDIR)/lib/ $(BUILD)/tarva

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD)
