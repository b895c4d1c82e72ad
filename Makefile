# Fumewatch: set-up, build, run and test on a fresh Debian 12 machine.
BUILD ?= build
JOBS ?= $(shell nproc)
SAMPLE := data/samples/fire_smoke_outdoor_fixedcam_352x288.avi
MODE ?= 7010

.PHONY: all deps configure build run test bench classifiers clean

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

# The classifier files that come with the system (the five cascades and the Haar detector's
# Adaboost.kdz), trained from the smoke and non-smoke picture
# patches and a video without smoke (they are not part of the project: see
# data/classifiers/README.md). Each file's recipe (command, counts, rates per stage) is written
# beside it. Same seed, same bytes.
PATCHES ?= ../shared/data/patches
MINING_VIDEO ?= ../shared/data/real/nonsmoke_highway_cctv_320x240.avi
SEED ?= 1
CLASSIFIER_DIR := data/classifiers
TRAIN_byte := --stages 10
TRAIN_float := --stages 10
TRAIN_blbp := --stages 10
TRAIN_pltp := --stages 8
TRAIN_eoh := --stages 10
TRAIN_haar := --stages 10
FILE_byte := Byte_RealAdaboost.kdz
FILE_float := Float_RealAdaboost.kdz
FILE_blbp := BLBP_RealAdaboost.kdz
FILE_pltp := PLTP_RealAdaboost.kdz
FILE_eoh := EOH_RealAdaboost.kdz
TRAIN_nn := --hidden 32 --epochs 100 --rate 0.2
FILE_haar := Adaboost.kdz

classifiers: build
	@for f in byte float blbp pltp eoh haar; do \
	  case $$f in byte) a="$(TRAIN_byte)"; o=$(FILE_byte);; float) a="$(TRAIN_float)"; o=$(FILE_float);; \
	    blbp) a="$(TRAIN_blbp)"; o=$(FILE_blbp);; pltp) a="$(TRAIN_pltp)"; o=$(FILE_pltp);; \
	    eoh) a="$(TRAIN_eoh)"; o=$(FILE_eoh);; haar) a="$(TRAIN_haar)"; o=$(FILE_haar);; esac; \
	  cmd="fumewatch-cli train --flavour $$f --positives $(PATCHES)/smoke_train_32x24 --negatives $(PATCHES)/nosmoke_train_32x24 --out $(CLASSIFIER_DIR)/$$o --mine-video $(MINING_VIDEO) --hit-rate 0.998 --seed $(SEED) $$a"; \
	  echo "$$cmd"; \
	  { echo "command: $$cmd"; $(BUILD)/bin/$$cmd; } > $(CLASSIFIER_DIR)/$$o.recipe.txt || exit 1; \
	done
	@cmd="fumewatch-cli train --flavour nn --positives $(PATCHES)/smoke_train_32x24 --negatives $(PATCHES)/nosmoke_train_32x24 --out $(CLASSIFIER_DIR)/LBP_NeuralNet.kdz --seed $(SEED) $(TRAIN_nn)"; \
	  echo "$$cmd"; { echo "command: $$cmd"; $(BUILD)/bin/$$cmd; } > $(CLASSIFIER_DIR)/LBP_NeuralNet.kdz.recipe.txt || exit 1

clean:
	rm -rf $(BUILD)
