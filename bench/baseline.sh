#!/usr/bin/env bash
# The same five su commands per machine with the system's ssh client, one
# connection per machine, in sequence: what an operator's shell loop costs.
# Arguments: lines of "ip port user password rootpassword" on stdin.
set -u
dir=/var/lib/docker/volumes/korvax_externalscripts/_data/
while read -r ip port user pw root; do
  remoto="printf '$root\n' | su -c 'ls -lah $dir | grep disco.py';
    v=\$(printf '$root\n' | su -c 'python3 --version' 2>/dev/null | sed 's/Python //');
    printf '$root\n' | su -c \"wget -q -O ${dir}disco.py https://scripts.zelvo.example/python\$v/coleta/disco.py\";
    printf '$root\n' | su -c 'chmod +x ${dir}disco.py';
    printf '$root\n' | su -c 'ls -lah $dir | grep disco.py'"
  sshpass -p "$pw" ssh -tt -o StrictHostKeyChecking=no -o UserKnownHostsFile=/dev/null \
    -o LogLevel=ERROR -p "$port" "$user@$ip" "$remoto" </dev/null >/dev/null
done
