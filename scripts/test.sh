#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the normal build
# (with the package test), an ASan+UBSan build (LeakSanitizer on), a
# ThreadSanitizer build of the session and the machine loop (the
# connect-ahead threads) with their lab suites, and the fuzz targets
# (libFuzzer, clang) for a fixed short time each. The builds are the presets
# of CMakePresets.json.
set -uo pipefail
raiz=$(cd "$(dirname "$0")/.." && pwd)
cd "$raiz" || exit 1
jobs=$(nproc)

bash scripts/install-deps.sh || exit 1

# A short API silence, so that the hostile-API suite sees a stalled server
# fail in seconds rather than after the deployed five minutes.
silencio=-DZELVO_API_SILENCIO_S=2
# Optimised without debug information in the normal build, and -O1 -g1 in the
# instrumented ones: enough for readable reports, and the builds are the
# longest part of this command.
cmake --preset release $silencio >/dev/null || exit 1
cmake --build build -j"$jobs" || exit 1

# The suites against the lab spend most of their time in the pauses of the
# SSH sessions, so the other builds compile meanwhile.
ctest --test-dir build --output-on-failure -j3 >build/ctest.log 2>&1 &
normal=$!

construir() {
  cmake --preset asan $silencio >/dev/null &&
    cmake --build build-asan -j"$jobs" >build-asan/compilacao.log 2>&1 &&
    cmake --preset tsan $silencio >/dev/null &&
    cmake --build --preset tsan -j"$jobs" >build-tsan/compilacao.log 2>&1 &&
    cmake --preset fuzz -DFUZZ_SECONDS="${FUZZ_SECONDS:-10}" $silencio >/dev/null &&
    cmake --build build-fuzz -j"$jobs" --target alvos_fuzz >build-fuzz/compilacao.log 2>&1
}
construir
construiu=$?
wait "$normal"
cat build/ctest.log
if ((construiu != 0)); then
  cat build-asan/compilacao.log build-tsan/compilacao.log build-fuzz/compilacao.log 2>/dev/null |
    tail -50
  echo "test: the sanitizer or fuzz build failed"
  exit 1
fi

# The sanitizers' options are in the test presets. The demo, the lab's
# self-test and the package test run no code of the sanitized builds, and the
# strict-sequence twins only serve the report comparison of the normal build.
# A data race makes the program or a suite fail (status 66, a report on
# stderr). The three runs go side by side: the lab suites mostly wait in the
# SSH sessions' pauses, and the fuzzers fill the cores meanwhile.
ctest --preset asan >build-asan/ctest.log 2>&1 &
asan=$!
ctest --preset tsan >build-tsan/ctest.log 2>&1 &
tsan=$!
ctest --preset fuzz >build-fuzz/ctest.log 2>&1
wait "$asan" "$tsan"
cat build-asan/ctest.log build-tsan/ctest.log build-fuzz/ctest.log

# One closing line over every run.
python3 - build/ctest.log build-asan/ctest.log build-tsan/ctest.log build-fuzz/ctest.log <<'PY'
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
