#!/usr/bin/env bash
# Installs the Debian 12 packages that building, testing and the demo need, when
# missing: compiler and CMake, Qt 6 Widgets, MariaDB client library, server and client
# (for the private test servers), openssl (their TLS certificate), the Spider engine (the
# archive split across servers), QCustomPlot for Qt 6 (the plot window), GoogleTest, Xvfb,
# and a font for offscreen GUI tests.
#
# The system MariaDB service is never started or enabled: the test bed runs its own
# server (scripts/dbserver.sh). While packages install, a policy-rc.d forbids service
# starts; a system server that the install started anyway is stopped by its pid, and
# on a systemd machine the unit is disabled again.
#
# Needs root (or sudo) only when something is missing.
set -euo pipefail

packages=(
    build-essential cmake pkg-config
    qt6-base-dev libqt6gui6 qt6-qpa-plugins libgl-dev
    libmariadb-dev mariadb-server mariadb-client openssl mariadb-plugin-spider
    libqcustomplot-dev libqcustomplot2.1-qt6
    libgtest-dev googletest
    xvfb xauth
    fonts-dejavu-core fonts-liberation2 fontconfig
)

note() { echo "install-deps: $*" >&2; }

# Host "localhost" over TCP (name:port) needs the name to resolve; a bare system
# without /etc/hosts (a minimal chroot or image) cannot, so give it the usual lines.
ensure_localhost() {
    getent hosts localhost >/dev/null 2>&1 && return 0
    note "localhost does not resolve: adding it to /etc/hosts"
    local s=()
    ((EUID == 0)) || s=(sudo)
    printf '127.0.0.1\tlocalhost\n::1\tlocalhost ip6-localhost ip6-loopback\n' |
        "${s[@]}" tee -a /etc/hosts >/dev/null
}
ensure_localhost

missing=()
for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
    [[ $status == installed ]] || missing+=("$p")
done

if ((${#missing[@]} == 0)); then
    note "all packages present"
    exit 0
fi
note "installing: ${missing[*]}"

sudo=()
if ((EUID != 0)); then
    command -v sudo >/dev/null 2>&1 || {
        note "not root and no sudo: install these as root: ${missing[*]}"
        exit 1
    }
    sudo=(sudo)
fi

# The system server's pid, if one runs (from its pid file).
system_server_pid() {
    local f pid
    for f in /run/mysqld/mysqld.pid /var/run/mysqld/mysqld.pid; do
        if [[ -s $f ]]; then
            pid=$(tr -dc '0-9' <"$f")
            if [[ -n $pid ]] && kill -0 "$pid" 2>/dev/null; then
                echo "$pid"
                return 0
            fi
        fi
    done
}
server_before=$(system_server_pid || true)
server_was_installed=1
[[ " ${missing[*]} " == *" mariadb-server "* ]] && server_was_installed=0

# Forbid service starts during the install, unless a policy is already in place.
policy=/usr/sbin/policy-rc.d
own_policy=0
if [[ ! -e $policy ]]; then
    printf '#!/bin/sh\n# Set by Orvex Navigator install-deps.sh while packages install.\nexit 101\n' |
        "${sudo[@]}" tee "$policy" >/dev/null
    "${sudo[@]}" chmod 755 "$policy"
    own_policy=1
fi
cleanup() {
    if ((own_policy)); then
        "${sudo[@]}" rm -f "$policy"
    fi
}
trap cleanup EXIT

export DEBIAN_FRONTEND=noninteractive
apt_opts=(-q -y -o Dpkg::Use-Pty=0 -o APT::Install-Recommends=false)
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -q -o Dpkg::Use-Pty=0 update >/dev/null
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get "${apt_opts[@]}" install "${missing[@]}" >/dev/null

# No system server may stay up or come up at boot because of this install.
if ((server_was_installed == 0)); then
    if [[ -d /run/systemd/system ]] && command -v systemctl >/dev/null 2>&1; then
        "${sudo[@]}" systemctl disable --now mariadb.service >/dev/null 2>&1 || true
    fi
    pid=$(system_server_pid || true)
    if [[ -n $pid && $pid != "$server_before" ]]; then
        note "stopping the system MariaDB server that the install started (pid $pid)"
        "${sudo[@]}" kill -TERM "$pid" || true
        for ((i = 0; i < 300; i++)); do
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.1
        done
    fi
fi

still=()
for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
    [[ $status == installed ]] || still+=("$p")
done
if ((${#still[@]})); then
    note "still missing after apt-get: ${still[*]}"
    exit 1
fi
note "done"
