#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test, the end
# to end tests in a real window under Xvfb included. Then the same tests
# again in a build with AddressSanitizer and UndefinedBehaviorSanitizer, and
# a bounded run of each fuzz target (clang's libFuzzer).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

echo "== release build: every test"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON
cmake --build build -j2
ctest --test-dir build --output-on-failure

echo "== sanitizer build: every test under ASan and UBSan"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON \
  -DPELLIWICK_SANITIZE=address,undefined
cmake --build build-asan -j2
# The end-to-end tests preload their speech log into the game, ahead of the
# sanitizer's runtime. The suppressions name findings proven to lie inside
# system libraries, each with its reason. The tests against a private
# speech-dispatcher run in the release build only: under the sanitizer,
# reading the daemon's thirteen thousand voices outlasts the time limits
# those tests hold the link to.
ASAN_OPTIONS="suppressions=$PWD/tests/asan.supp:verify_asan_link_order=0:detect_leaks=1" \
LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0" \
UBSAN_OPTIONS="print_stacktrace=1" \
  ctest --test-dir build-asan --output-on-failure \
  -E '^clang_format$|^WithDaemon|^WithSpeechd\.'

echo "== fuzz targets: a bounded run of each"
CXX=clang++-14 cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DBUILD_TESTING=OFF -DPELLIWICK_FUZZ=ON \
  -DPELLIWICK_SANITIZE=address,undefined,fuzzer-no-link
cmake --build build-fuzz -j2 --target fuzz_targets
ctest --test-dir build-fuzz --output-on-failure
