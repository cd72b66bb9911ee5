#!/usr/bin/env bash
# Builds the Debian package of the tool: hardened Release, without the test
# tools, from a fresh configuration. Prints the package's path.
#   bash scripts/pacote.sh [build folder, default build-pacote]
# then, on the jump host:  apt install ./build-pacote/atualizacao-em-massa_*.deb
set -euo pipefail
raiz=$(cd "$(dirname "$0")/.." && pwd)
cd "$raiz"
pasta=${1:-build-pacote}

bash scripts/install-deps.sh pacote
cmake --fresh -S . -B "$pasta" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$pasta" -j"$(nproc)"
rm -f "$pasta"/atualizacao-em-massa_*.deb
(cd "$pasta" && cpack -G DEB >/dev/null)
ls "$pasta"/atualizacao-em-massa_*.deb
