#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the normal build,
# an ASan+UBSan build (LeakSanitizer on), a ThreadSanitizer build of the
# session and the machine loop (the connect-ahead threads) with their lab
# suites, and the fuzz targets (libFuzzer, clang) for a fixed short time each.
set -uo pipefail
raiz=$(cd "$(dirname "$0")/.." && pwd)
cd "$raiz"
jobs=$(nproc)

bash scripts/install-deps.sh || exit 1

# Optimised without debug information in the normal build, and -O1 -g1 in the
# instrumented ones: enough for readable reports, and the builds are the
# longest part of this command.
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE=-O2 >/dev/null || exit 1
cmake --build build -j"$jobs" || exit 1

# The suites against the lab spend most of their time in the pauses of the
# SSH sessions, so the other two builds compile meanwhile.
ctest --test-dir build --output-on-failure -j3 >build/ctest.log 2>&1 &
normal=$!

construir() {
  cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug "-DCMAKE_CXX_FLAGS_DEBUG=-O1 -g1" \
    -DATUALIZACAO_SANITIZE=ON >/dev/null &&
    cmake --build build-asan -j"$jobs" >build-asan/compilacao.log 2>&1 &&
    cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug "-DCMAKE_CXX_FLAGS_DEBUG=-O1 -g1" \
      -DATUALIZACAO_SANITIZE_THREAD=ON >/dev/null &&
    cmake --build build-tsan -j"$jobs" --target atualizacao_em_massa ssh_lab_test workflow_tests \
      atualizacao_lab_test >build-tsan/compilacao.log 2>&1 &&
    CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=Debug "-DCMAKE_CXX_FLAGS_DEBUG=-O1 -g1" \
      -DATUALIZACAO_FUZZ=ON -DFUZZ_SECONDS="${FUZZ_SECONDS:-10}" >/dev/null &&
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

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# The demo and the lab's self-test run no code of the sanitized build; the
# strict-sequence twins only serve the report comparison of the normal build.
ctest --test-dir build-asan --output-on-failure -j4 -LE "demo|sequencial" -E lab_selftest 2>&1 |
  tee build-asan/ctest.log
# A data race makes the program or the suite fail (status 66, a report on stderr).
TSAN_OPTIONS=halt_on_error=1:exitcode=66:second_deadlock_stack=1 \
  ctest --test-dir build-tsan --output-on-failure -j3 \
  -R '^(ssh_lab|atualizacao_lab_(desfechos|senhas|selecao)|(Antecipacao|Procedimento)[.].*)$' 2>&1 |
  tee build-tsan/ctest.log
ctest --test-dir build-fuzz --output-on-failure -j2 -L fuzz 2>&1 | tee build-fuzz/ctest.log

# One closing line over the three runs.
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
