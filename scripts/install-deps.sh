#!/usr/bin/env bash
# Installs the Debian packages that building, testing and the demo need;
# with the argument "pacote", only what building the tool and its package
# needs. Quiet and quick when everything is already there.
set -euo pipefail

pacotes=(
  build-essential cmake pkg-config dpkg-dev
  libssh-dev libcurl4-openssl-dev nlohmann-json3-dev
)
[[ ${1:-} == pacote ]] || pacotes+=(
  googletest libgtest-dev ccache
  # the lab: real sshd, su messages in Portuguese, TLS and the remote tools
  openssh-server sshpass openssl ca-certificates curl wget python3
  # the login shells customers use, and the old utilities of small appliances
  ksh mksh zsh fish tcsh busybox
  locales libc-l10n iproute2 util-linux procps zstd brotli
  # sanitizers and fuzzing
  clang libclang-rt-14-dev
  # the package test: hardening-check, lintian, man -l
  devscripts lintian man-db groff-base
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
