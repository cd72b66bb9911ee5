#!/usr/bin/env bash
# The package as an operator gets it: built by the README's package command
# with GoogleTest and python3 out of sight, installed with apt into a
# throw-away copy of this system (an overlay of / in a private mount
# namespace), and checked there: the version mode from the PATH, the binary
# closed to all but root and the operators' group, the manual page, the
# completion, the files the README promises, hardening-check, lintian and
# the purge.
#   pacote_test.sh <source root> <build folder> <version>
set -uo pipefail
raiz=$1 pasta=$2 versao=$3
if [[ $(id -u) -ne 0 ]]; then
  echo "pacote: skipped, needs root (private mount namespaces)"
  exit 77
fi
# Every mount below dies with this namespace.
[[ ${PACOTE_NAMESPACE:-} ]] || exec unshare --mount env PACOTE_NAMESPACE=1 bash "$0" "$@"
falhas=0
falha() {
  echo "FAIL: $*"
  falhas=$((falhas + 1))
}
inicio=$SECONDS

# Hidden in a private mount namespace: any look-up of them fails the build.
esconder='for d in /usr/include/gtest /usr/include/gmock /usr/src/googletest /usr/lib/*/cmake/GTest; do
  if [[ -d $d ]]; then mount -t tmpfs -o ro tmpfs "$d" || exit 1; fi
done
mount --bind /dev/null "$(readlink -f /usr/bin/python3)" || exit 1'
unshare --mount bash -c "$esconder"'; exec bash "$1/scripts/pacote.sh" "$2"' _ "$raiz" "$pasta" ||
  { echo "pacote: the package command failed"; exit 1; }
echo "pacote: built in $((SECONDS - inicio)) s"

deb=$pasta/atualizacao-em-massa_${versao}_$(dpkg --print-architecture).deb
[[ -f $deb ]] || { echo "pacote: no $deb"; exit 1; }
# The throw-away root: this system seen through an overlay whose changes go
# to a tmpfs.
r=$pasta/raiz
mkdir -p "$r" "$pasta/camadas"
mount -t tmpfs tmpfs "$pasta/camadas" && mkdir "$pasta/camadas/"{alto,trabalho} &&
  mount -t overlay overlay -o "lowerdir=/,upperdir=$pasta/camadas/alto,workdir=$pasta/camadas/trabalho" "$r" &&
  for d in proc dev sys; do mount --rbind "/$d" "$r/$d" || exit 1; done || exit 1
cp "$deb" "$r/root/" || exit 1
chroot "$r" bash -c 'cd /root && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "./$1" >/dev/null' \
  _ "${deb##*/}" || { echo "pacote: apt install failed"; exit 1; }

dependencias=$(dpkg-deb -f "$deb" Depends)
for pacote in libssh-4 libcurl4 libc6 ca-certificates adduser; do
  [[ ", $dependencias," == *", $pacote"[\ ,]* ]] || falha "Depends lacks $pacote: $dependencias"
done

linha=$(chroot "$r" atualizacao_em_massa version x x x | sed -n 2p)
[[ $linha == "atualizacao_em_massa  $versao" ]] || falha "version mode printed '$linha'"

# The package ships the binary as root's alone; postinst's statoverride opens it to the group.
binario=/usr/bin/atualizacao_em_massa
[[ $(dpkg-deb -c "$deb" | grep " .$binario\$") == "-rwxr-x--- root/root "* ]] || falha "staged binary mode"
modo=$(chroot "$r" stat -c %U:%G:%a $binario)
[[ $modo == root:atualizacao-em-massa:750 ]] || falha "installed binary is $modo"
for comando in "head -c1 $binario" "$binario version x x x"; do
  chroot --userspec=nobody:nogroup "$r" $comando &>/dev/null && falha "nobody could run: $comando"
done
chroot --userspec=nobody:atualizacao-em-massa "$r" $binario version x x x >/dev/null || falha "the group cannot run it"

chroot "$r" man -w atualizacao_em_massa >/dev/null || falha "man does not find the page by name"
pagina=$r/usr/share/man/man1/atualizacao_em_massa.1.gz
avisos=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$pagina" 2>&1 >"$pasta/manual.txt")
[[ -z $avisos ]] || falha "man -l warns: $avisos"
for palavra in atualizarEmMassa listar version "STATUS DE SAÍDA" known_hosts atualizacao-em-massa; do
  grep -q "$palavra" "$pasta/manual.txt" || falha "manual page lacks '$palavra'"
done

# Completion: the words typed so far -> the words offered.
while IFS='|' read -r digitado esperado; do
  oferecido=$(bash -c 'source "$1"; read -ra COMP_WORDS <<<"$2"; [[ $2 == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _atualizacao_em_massa; echo "${COMPREPLY[*]}"' \
    _ "$r/usr/share/bash-completion/completions/atualizacao_em_massa" "$digitado")
  [[ $oferecido == "$esperado" ]] || falha "completion of '$digitado': '$oferecido', expected '$esperado'"
done <<'TABELA'
atualizacao_em_massa |atualizarEmMassa listar version
atualizacao_em_massa v|version
atualizacao_em_massa l|listar
atualizacao_em_massa atualizarEmMassa |1 2
atualizacao_em_massa listar |1 2
atualizacao_em_massa version |
atualizacao_em_massa atualizarEmMassa 1 |
TABELA

# The files the README's Install section lists, and nothing else.
prometidos=$(sed -n '/^## Install/,/^## /p' "$raiz/README.md" | sed -n 's|^    \(/usr/[^ ]*\)$|\1|p' | sort)
no_pacote=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {sub(/^\./, "", $6); print $6}' | sort)
[[ -n $prometidos && $prometidos == "$no_pacote" ]] ||
  falha "files differ from the README (< README, > package):
$(diff <(echo "$prometidos") <(echo "$no_pacote"))"

# Debian 12's start files carry no CET marking, so no binary linked there can
# show control-flow protection; Debian 12 does not ask for it either.
hardening-check --nocfprotection "$r/usr/bin/atualizacao_em_massa" || falha "hardening-check"
lintian --fail-on error "$deb" 2> >(grep -v "root privileges" >&2) || falha "lintian reports errors"

# Purge takes back the group and the override.
chroot "$r" dpkg --purge atualizacao-em-massa >/dev/null || falha "purge failed"
chroot "$r" getent group atualizacao-em-massa && falha "purge kept the group"
chroot "$r" dpkg-statoverride --list $binario && falha "purge kept the statoverride"

echo "pacote: $falhas failure(s), $((SECONDS - inicio)) s"
((falhas == 0))
