#!/usr/bin/env bash
# Installs the Debian packages that building, testing and the demo need.
# Quiet and quick when everything is already there.
set -euo pipefail

pacotes=(
  build-essential cmake pkg-config
  libssh-dev libcurl4-openssl-dev nlohmann-json3-dev
  googletest libgtest-dev
  # the lab: real sshd, su messages in Portuguese, TLS and the remote tools
  openssh-server sshpass openssl ca-certificates curl wget python3
  locales libc-l10n iproute2 util-linux procps zstd brotli
  # sanitizers and fuzzing
  clang libclang-rt-14-dev
)

faltando=()
for p in "${pacotes[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    faltando+=("$p")
  fi
done
if ((${#faltando[@]})); then
  if [[ $(id -u) -ne 0 ]]; then
    echo "install-deps: run as root to install: ${faltando[*]}" >&2
    exit 1
  fi
  echo "install-deps: installing ${faltando[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${faltando[@]}" >/dev/null
fi
