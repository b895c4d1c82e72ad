# Fumewatch: set-up, build, run and test on a fresh Debian 12 machine.
BUILD ?= build
JOBS ?= $(shell nproc)
SAMPLE := data/samples/fire_smoke_outdoor_fixedcam_352x288.avi
MODE ?= 7010

.PHONY: all deps configure build run test bench clean

all: build

deps:
	./scripts/setup-deps.sh

configure: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# The main job: detection over the bundled sample clip, printing the alarm intervals.
run: build
	$(BUILD)/bin/fumewatch-cli detect --mode $(MODE) $(SAMPLE)

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

bench: build
	$(BUILD)/bin/fumewatch-cli bench --mode all $(SAMPLE)

clean:
	rm -rf $(BUILD)
