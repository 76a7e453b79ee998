#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test: the native, i386
# and asan presets, the threaded test programs under the tsan preset, the
# whole production under valgrind's memcheck, a short fuzzing smoke run of
# every loader, then the release checks. Each stage's time is printed at the end (docs/TESTING.md
# says what each stage checks).
set -euo pipefail
cd "$(dirname "$0")/.."

timings=()
stage() {  # stage NAME COMMAND...: runs the command and records how long it took
  local name="$1" started
  shift
  echo "==== $name"
  started=$(date +%s)
  "$@"
  timings+=("$(printf '%-10s %4d s' "$name" $(( $(date +%s) - started )))")
}

# Where the kernel has no 32-bit support, install-deps.sh runs i386 programs
# under qemu's user-mode emulator, 10 to 30 times slower. There the i386 stage
# leaves out the whole-production runs, the generators' reproductions and the
# release and sound tests (the native and asan stages run them all) and keeps
# what can differ between the two architectures: every unit test, the mixer
# and rasterizer references and the golden frames.
slow_under_emulation='^(modelgen_|picturegen_|icongen_|musicgen_|fontgen_|vorna_scene[.]tools|RunningOrder[.]|RecorderTool[.]|Recorder[.]|release[.]|sound[.]|vorna[.]fullRun|MusicAsset[.]OnePass|TimelineTest[.](TheMagnoliaGrows|SpaceInEveryStep))'
i386_emulated() { grep -qx enabled /proc/sys/fs/binfmt_misc/qemu-i386 2>/dev/null; }

preset() {
  cmake --preset "$1"
  cmake --build --preset "$1"
  if [ "$1" = i386 ] && i386_emulated; then
    echo "i386 programs run under qemu here: leaving out the tests that match $slow_under_emulation"
    ctest --preset "$1" -E "$slow_under_emulation"
  else
    ctest --preset "$1"
  fi
}

# ThreadSanitizer over the programs whose tests run more than one thread (the
# animators' timers, the playback thread, the whole production, the signal
# watcher) and the whole-program tests of the vorna executable; the other
# programs are single-threaded and take long under its slowdown.
tsan() {
  cmake --preset tsan
  cmake --build --preset tsan --target vorna test_framework test_music test_scenes test_reliability
  local dir
  for dir in framework music scenes reliability; do
    TSAN_OPTIONS="halt_on_error=1:suppressions=$PWD/tests/tsan.supp" \
      ctest --test-dir "build/tsan/tests/$dir" --output-on-failure -j2 --timeout 300
  done
}

# The whole production once more, under memcheck: no invalid access, no use
# of uninitialised values, no definitely lost block (tests/valgrind.supp holds
# the few reports that belong to the libraries, each with its reason).
memcheck() {
  valgrind --tool=memcheck --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite \
    --show-leak-kinds=definite --num-callers=30 --suppressions=tests/valgrind.supp \
    build/native/tests/reliability/test_reliability --gtest_filter='WholeRun.EveryStep*'
}

# The page: built with emscripten, then driven in Debian's chromium
# (tests/web/run.mjs; in CI a missing browser fails the stage), and its
# frames and music against the native build's (tests/web/run-compare.sh).
web() {
  export NODE_PATH=/usr/share/nodejs
  cmake --preset web
  cmake --build --preset web
  node tests/web/run.mjs
  tests/web/run-compare.sh
}
# The release built twice and compared byte for byte, its packages checked by
# Debian's own tools, its archive played in a bare Debian 12 root.
release_checks() { tests/release/release_check.sh "$PWD" build/release-check; }

stage deps ./scripts/install-deps.sh test
for p in native i386 asan; do stage "$p" preset "$p"; done
stage tsan tsan
stage valgrind memcheck
stage fuzz env FUZZ_SECONDS="${FUZZ_SECONDS:-60}" ./scripts/fuzz-smoke.sh
stage web web
stage release release_checks

echo "==== stage times"
printf '%s\n' "${timings[@]}"
