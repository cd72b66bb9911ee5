#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the normal build
# (with the package test), an ASan+UBSan build (LeakSanitizer on, clang)
# that also holds the fuzz targets (libFuzzer), run for a fixed short time
# each, and a ThreadSanitizer build of the session and the machine loop (the
# connect-ahead threads) with their lab suites. The builds are the presets of
# CMakePresets.json.
set -uo pipefail
raiz=$(cd "$(dirname "$0")/.." && pwd)
cd "$raiz" || exit 1
jobs=$(nproc)

bash scripts/install-deps.sh || exit 1

# Optimised without debug information in the normal build, and -O1 -g1 in the
# instrumented ones: enough for readable reports, and the builds are the
# longest part of this command (at -O0 they compile hardly faster, and their
# suites under ASan take twice as long). Each line of this command's own says how
# long it has run.
inicio=$SECONDS
marco() { echo "test: $1 after $((SECONDS - inicio)) s"; }
cmake --preset release >/dev/null || exit 1

if ! cmake --build build -j"$jobs"; then
  exit 1
fi
marco "the normal build"

# The suites against the lab spend most of their time in the pauses of the
# SSH sessions, so the two sanitizer builds compile meanwhile, side by side,
# and each build's suites start as soon as it is done. The sanitizers'
# options are in the test presets. The demo, the lab's self-test and the
# package test run no code of the sanitized builds, and the strict-sequence
# twins only serve the report comparison of the normal build. A data race
# makes the program or a suite fail (status 66, a report on stderr). Five
# of the normal build's tests run at once: most of them sleep in the strict
# build's fixed pauses or wait on the lab's sessions. (Built side by side
# from the start, or with the sanitizer builds at a lower priority, the
# whole took longer: the machine is busy compiling either way.)
{
  ctest --test-dir build --output-on-failure -j5 >build/ctest.log 2>&1
  marco "the normal build's tests"
} &
corridas=($!)
sanitizada() {
  local preset=$1 pasta=$2 gentileza=$3
  shift 3
  cmake --preset "$preset" "$@" >/dev/null &&
    nice -n "$gentileza" cmake --build --preset "$preset" -j"$jobs" >"$pasta/compilacao.log" 2>&1 ||
    return 1
  marco "the $preset build"
  ctest --preset "$preset" >"$pasta/ctest.log" 2>&1
  marco "the $preset tests"
  return 0
}
# ASan's suites are the longest of the three runs: its build goes first,
# and TSan's, whose suites are shorter, yields to it.
sanitizada asan build-asan 0 -DFUZZ_SECONDS="${FUZZ_SECONDS:-10}" &
construcoes=($!)
sanitizada tsan build-tsan 5 &
construcoes+=($!)
construiu=0
for c in "${construcoes[@]}"; do
  wait "$c" || construiu=1
done
wait "${corridas[@]}"
cat build/ctest.log build-asan/ctest.log build-tsan/ctest.log 2>/dev/null
if ((construiu != 0)); then
  cat build-asan/compilacao.log build-tsan/compilacao.log 2>/dev/null | tail -50
  echo "test: a sanitizer build failed"
  exit 1
fi

# One closing line over every run.
python3 - build/ctest.log build-asan/ctest.log build-tsan/ctest.log <<'PY'
import re, sys
passados = falhos = 0
for caminho in sys.argv[1:]:
    texto = open(caminho, errors="replace").read()
    m = re.search(r"tests passed, (\d+) tests? failed out of (\d+)", texto)
    if not m:
        print("test: no summary in %s" % caminho)
        falhos += 1
        continue
    falhos += int(m.group(1))
    passados += int(m.group(2)) - int(m.group(1))
print("%d passed, %d failed" % (passados, falhos))
sys.exit(1 if falhos else 0)
PY
