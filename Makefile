# The project's commands. Each installs what it needs first (tools/setup-machine.sh).
# Where this host cannot execute 32-bit code (or HD_TEST_X64=1), the tests, the
# demo and the benchmarks run on an x86_64 build of the same sources; see tools/host-arch.
MAKEFLAGS += --no-print-directory
BUILD := build
# The same commit builds the same bytes: the linker and xorriso take their
# dates from here.
export SOURCE_DATE_EPOCH ?= $(shell git log -1 --format=%ct 2>/dev/null)
# `make medium PRODUCT=dir LABEL=NAME`: without PRODUCT, the sample medium.
PRODUCT ?=
LABEL ?= ZELARIT_ORVENTA
# Signing HD.EXE on the disc: SIGN_CERT=cert.pem SIGN_KEY=key.pem, or
# SIGN_PFX=file.pfx; SIGN_TIMESTAMP=URL of an RFC 3161 timestamp authority.
# The key's password only from the environment variable SIGN_PASS.
SIGN_CERT ?=
SIGN_KEY ?=
SIGN_PFX ?=
SIGN_TIMESTAMP ?=

.PHONY: all setup build test demo bench medium clean

all: build

setup:
	@tools/setup-machine.sh

build: setup
	@tools/build $(BUILD)

test: build
	@HD_HEADLESS=1 tools/with-display tools/run-tests $(BUILD)

medium: build
	@tools/make-medium.py --installer $(BUILD)/bin/HD.EXE --out $(BUILD)/medium.iso $(if $(PRODUCT),--product "$(PRODUCT)") --label "$(LABEL)" \
	  $(if $(SIGN_CERT),--sign-cert "$(SIGN_CERT)") $(if $(SIGN_KEY),--sign-key "$(SIGN_KEY)") \
	  $(if $(SIGN_PFX),--sign-pfx "$(SIGN_PFX)") $(if $(SIGN_TIMESTAMP),--sign-timestamp "$(SIGN_TIMESTAMP)")

demo: build
	@tools/with-display tools/demo $(BUILD)

bench: build
	@HD_HEADLESS=1 tools/with-display tools/bench $(BUILD)

clean:
	rm -rf $(BUILD)
