#!/usr/bin/env bash
# Builds Orvex Navigator's Debian package and checks it with Debian's own tools.
#
#   scripts/package.sh build
#       Installs what is missing, builds the program alone in build-deb/ with Debian's build
#       flags (no tests, benchmarks or sample generator), and makes the package
#       build-deb/orvex-navigator_<version>_<arch>.deb with CPack.
#   scripts/package.sh check [DEB]
#       Checks the package (default: the one in build-deb/):
#       - lintian: no error and no warning;
#       - its files: only the program and its desktop files, nothing of the tests, and no
#         maintainer scripts;
#       - desktop-file-validate on its desktop entry, no error and no warning;
#       - appstreamcli validate-tree on its files (metainfo, desktop entry, icon), strict;
#       - the icon's PNGs are the SVG as packaging/icons/render.sh renders it;
#       - installed with `apt-get install ./DEB` into a fresh Debian system made with
#         debootstrap (a chroot in build-deb/chroot), the program started as its desktop entry
#         says, on Qt's offscreen platform, shows its main window (packaging/check/
#         windowprobe.cpp, loaded into it, looks) and stores nothing in its home;
#       - after `apt-get purge`, nothing of it is left: no file of its list, no record in
#         dpkg, no file whose name or content mentions it (the logs and caches of apt and dpkg
#         aside, which keep the history of what was installed; on this machine itself the
#         contents only of the folders where packages register what they bring).
#       With ORVEX_PACKAGE_ON_HOST=1, or when debootstrap fails, the install, start and purge
#       are done on this machine itself instead (never while the package is installed here
#       already).
#       Ends with "package: N passed, N failed" and fails when any check failed.
#
# Needs root (apt-get, debootstrap, chroot). Environment: BUILD_DIR (default build-deb).
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$repo"
build=${BUILD_DIR:-build-deb}
[[ $build == /* ]] || build=$repo/$build
package_name=orvex-navigator
main_title="Orvex Navigator V1.0"

note() { echo "package: $*" >&2; }
die() {
    note "$*"
    exit 1
}

# Installs the Debian packages given that are missing.
need() {
    local missing=() p status
    for p in "$@"; do
        status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
        [[ $status == installed ]] || missing+=("$p")
    done
    ((${#missing[@]})) || return 0
    ((EUID == 0)) || die "not root: install these as root first: ${missing[*]}"
    note "installing: ${missing[*]}"
    DEBIAN_FRONTEND=noninteractive apt-get -q -o Dpkg::Use-Pty=0 update >/dev/null
    DEBIAN_FRONTEND=noninteractive apt-get -q -y -o Dpkg::Use-Pty=0 --no-install-recommends \
        install "${missing[@]}" >/dev/null
}

the_deb() {
    local debs=("$build"/"${package_name}"_*.deb)
    [[ -f ${debs[0]} ]] || die "no package in $build: run scripts/package.sh build first"
    ((${#debs[@]} == 1)) || die "more than one package in $build: ${debs[*]}"
    echo "${debs[0]}"
}

cmd_build() {
    bash scripts/install-deps.sh
    need dpkg-dev file
    # Debian's flags for its own packages, with every hardening feature.
    # shellcheck disable=SC2034 # all of them are set; the C++ and linker ones are used
    local CFLAGS CPPFLAGS CXXFLAGS LDFLAGS
    eval "$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --export=sh)"
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF \
        -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON \
        "-DCMAKE_CXX_FLAGS=$CXXFLAGS $CPPFLAGS" "-DCMAKE_EXE_LINKER_FLAGS=$LDFLAGS"
    cmake --build "$build" --parallel "$(nproc 2>/dev/null || echo 2)" \
        --target OrvexNavigator orvex_install_files
    rm -f "$build"/"${package_name}"_*.deb
    (cd "$build" && cpack -G DEB)
    local deb
    deb=$(the_deb)
    note "built $deb ($(stat -c %s "$deb") bytes)"
    dpkg-deb --field "$deb" Package Version Architecture Installed-Size Depends Recommends >&2
}

# --- checks ---------------------------------------------------------------------------------

passed=0
failed=0
failures=()
check_passed() {
    passed=$((passed + 1))
    note "PASS $1"
}
check_failed() {
    failed=$((failed + 1))
    failures+=("$1")
    note "FAIL $1"
}

check_lintian() {
    local deb=$1 status=0
    # Info tags are shown, not failed: spelling hints on place names in the station list.
    lintian --fail-on error,warning --display-info "$deb" || status=$?
    if ((status == 0)); then check_passed "lintian"; else check_failed "lintian (status $status)"; fi
}

# Every file in the package is one of the program's; the ones a desktop needs are all there.
check_contents() {
    local deb=$1 list bad missing=() f
    list=$(dpkg-deb --fsys-tarfile "$deb" | tar -t | sed 's|^\./|/|' | grep -v '/$')
    bad=$(grep -v -E '^/usr/(bin/orvex-navigator|share/applications/org\.orvex\.navigator\.desktop|share/metainfo/org\.orvex\.navigator\.metainfo\.xml|share/icons/hicolor/(scalable|[0-9]+x[0-9]+)/apps/org\.orvex\.navigator\.(svg|png)|share/man/man1/orvex-navigator\.1\.gz|share/doc/orvex-navigator/(copyright|changelog\.gz))$' <<<"$list" || true)
    for f in /usr/bin/orvex-navigator /usr/share/applications/org.orvex.navigator.desktop \
        /usr/share/metainfo/org.orvex.navigator.metainfo.xml \
        /usr/share/icons/hicolor/scalable/apps/org.orvex.navigator.svg \
        /usr/share/icons/hicolor/48x48/apps/org.orvex.navigator.png \
        /usr/share/man/man1/orvex-navigator.1.gz /usr/share/doc/orvex-navigator/copyright \
        /usr/share/doc/orvex-navigator/changelog.gz; do
        grep -qxF "$f" <<<"$list" || missing+=("$f")
    done
    sed 's/^/  /' <<<"$list" >&2
    # No maintainer scripts: the package makes no file but those of its list.
    local control
    control=$(dpkg-deb --ctrl-tarfile "$deb" | tar -t | sed 's|^\./||' | grep -v -x -E '|control|md5sums' || true)
    [[ -z $control ]] || bad+=${bad:+$'\n'}"control archive: $control"
    if [[ -z $bad && ${#missing[@]} -eq 0 ]]; then
        check_passed "package files: $(wc -l <<<"$list") files, all the program's; no maintainer scripts"
    else
        [[ -z $bad ]] || note "files that do not belong in the package:"$'\n'"$bad"
        ((${#missing[@]} == 0)) || note "files missing from the package: ${missing[*]}"
        check_failed "package files"
    fi
}

check_desktop_entry() {
    local tree=$1 out status=0
    out=$(desktop-file-validate "$tree/usr/share/applications/org.orvex.navigator.desktop" 2>&1) ||
        status=$?
    [[ -z $out ]] || echo "$out" >&2
    # Hints are shown but do not fail: the entry names two main categories (Science, Office)
    # on purpose, so it is found in both menus.
    if ((status == 0)) && ! grep -q -E ': (error|warning): ' <<<"$out"; then
        check_passed "desktop-file-validate"
    else
        check_failed "desktop-file-validate"
    fi
}

check_appstream() {
    local tree=$1 status=0
    # --no-net: the screenshot's web address is not reached from here; its form is checked.
    appstreamcli validate-tree --no-net --strict --pedantic "$tree" >&2 || status=$?
    if ((status == 0)); then check_passed "appstreamcli validate-tree"; else check_failed "appstreamcli validate-tree"; fi
}

check_icons() {
    local work=$1 png differ=()
    bash packaging/icons/render.sh "$work/icons"
    for png in "$work"/icons/*/org.orvex.navigator.png; do
        cmp -s "$png" "packaging/icons/${png#"$work"/icons/}" || differ+=("${png#"$work"/icons/}")
    done
    if ((${#differ[@]} == 0)); then
        check_passed "icon PNGs rendered from the SVG"
    else
        note "PNGs that differ from the SVG's rendering (run packaging/icons/render.sh): ${differ[*]}"
        check_failed "icon PNGs rendered from the SVG"
    fi
}

# --- install, start, purge ------------------------------------------------------------------

root=""      # the chroot, or empty for this machine
mounted=""   # its /proc while mounted

cleanup_root() {
    if [[ -n $mounted ]]; then
        umount "$mounted" 2>/dev/null || umount -l "$mounted" 2>/dev/null || true
        mounted=""
    fi
}
# Removes a chroot left by this script, its /proc unmounted first (also one that an interrupted
# run left mounted), and never crossing into another file system.
remove_chroot() {
    local dir=$1
    [[ -e $dir ]] || return 0
    if mountpoint -q "$dir/proc"; then
        umount "$dir/proc" || umount -l "$dir/proc"
    fi
    rm -rf --one-file-system "$dir"
}
trap cleanup_root EXIT

# Runs a command in the system under test, with a plain environment.
in_root() {
    local plain=(env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8
        DEBIAN_FRONTEND=noninteractive)
    if [[ -n $root ]]; then
        chroot "$root" "${plain[@]}" "$@"
    else
        "${plain[@]}" "$@"
    fi
}

# The archive this machine installs its own packages from, for its release.
apt_mirror() {
    local suite=$1
    {
        cat /etc/apt/sources.list.d/*.sources 2>/dev/null
        echo
    } | awk -v suite="$suite" '
        /^[ \t]*$/ { if (uri != "" && ok && deb) { print uri; exit } uri = ""; ok = 0; deb = 0; next }
        /^Types:/ { for (i = 2; i <= NF; i++) if ($i == "deb") deb = 1 }
        /^URIs:/ { uri = $2 }
        /^Suites:/ { for (i = 2; i <= NF; i++) if ($i == suite) ok = 1 }
    ' | head -n 1
    cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null |
        awk -v suite="$suite" '$1 == "deb" { sub(/\[[^]]*\] */, ""); if ($3 == suite) { print $2; exit } }'
}

make_chroot() {
    local base=$build/chroot-base.tar suite mirror new=$build/chroot-new
    # shellcheck source=/dev/null
    suite=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
    [[ -n $suite ]] || return 1
    if [[ ! -f $base ]]; then
        mirror=$(apt_mirror "$suite" | head -n 1)
        [[ -n $mirror ]] || {
            note "no apt source for $suite found on this machine"
            return 1
        }
        note "making a fresh $suite system with debootstrap from $mirror (takes a minute or two)"
        remove_chroot "$new"
        if ! debootstrap --variant=minbase "$suite" "$new" "$mirror" >"$build/debootstrap.log" 2>&1; then
            tail -n 20 "$build/debootstrap.log" >&2
            remove_chroot "$new"
            return 1
        fi
        tar -C "$new" -cf "$base.part" . && mv "$base.part" "$base"
        remove_chroot "$new"
    fi
    root=$build/chroot
    remove_chroot "$root"
    mkdir -p "$root"
    tar -C "$root" -xf "$base"
    # The same archives as this machine, and its name service.
    rm -f "$root"/etc/apt/sources.list "$root"/etc/apt/sources.list.d/*
    cp /etc/apt/sources.list.d/*.sources "$root/etc/apt/sources.list.d/" 2>/dev/null || true
    cp /etc/apt/sources.list.d/*.list "$root/etc/apt/sources.list.d/" 2>/dev/null || true
    [[ ! -f /etc/apt/sources.list ]] || cp /etc/apt/sources.list "$root/etc/apt/"
    cp /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true
    [[ -f $root/etc/hosts ]] || printf '127.0.0.1\tlocalhost\n' >"$root/etc/hosts"
    # No service of any package may start in there.
    printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
    chmod 755 "$root/usr/sbin/policy-rc.d"
    mount -t proc proc "$root/proc"
    mounted=$root/proc
}

# Files on the system under test whose name or content mentions the program, outside the
# folders that change by themselves and the logs and caches of apt and dpkg (which keep a
# history of what was installed). In the chroot every file is read. On this machine, where
# other work and other files lie (lists of names that happen to hold the word, say), names are
# looked for in the system's folders and contents only where packages register what they
# bring: /etc, and the menu, icon, metainfo, manual and dpkg folders with their caches.
mentions() {
    local named=(/usr /etc /var /opt /srv /root /home) read=(/usr /etc /var /opt /srv /root /home)
    if [[ -z $root ]]; then
        named=(/usr /etc /var/lib /opt)
        read=(/etc /usr/share/applications /usr/share/icons /usr/share/metainfo /usr/share/man
            /usr/share/mime /var/lib/dpkg/info /var/cache/man)
    fi
    in_root find "${read[@]}" -xdev \( -path /var/log -o -path /var/cache/apt -o -path /var/tmp \
        -o -path /var/lib/dpkg/status-old -o -path /var/lib/dpkg/available-old -o -path /var/backups \
        -o -path /var/lib/apt/lists -o -path /var/lib/docker -o -path /var/lib/containerd \) -prune \
        -o -type f -print0 2>/dev/null |
        in_root xargs -0 -r grep -l -i -a -e 'orvex' 2>/dev/null || true
    in_root find "${named[@]}" -xdev -iname '*orvex*' 2>/dev/null || true
}

check_install_start_purge() {
    local deb=$1 work=$2 on_host=${ORVEX_PACKAGE_ON_HOST:-0}
    if [[ $on_host != 1 ]] && ! make_chroot; then
        note "no chroot could be made: installing on this machine itself"
        on_host=1
    fi
    if [[ $on_host == 1 ]]; then
        root=""
        local status
        status=$(dpkg-query -W -f='${db:Status-Status}' "$package_name" 2>/dev/null || true)
        if [[ $status == installed ]]; then
            check_failed "install: $package_name is installed on this machine already; not touching it"
            return
        fi
    fi
    local where=${root:-this machine}

    # The window probe, built against this machine's Qt, which is the one the package needs.
    local probe=$work/windowprobe.so qt=()
    read -r -a qt <<<"$(pkg-config --cflags --libs Qt6Widgets)"
    g++ -std=c++20 -O2 -fPIC -shared -Wall -Wextra packaging/check/windowprobe.cpp "${qt[@]}" \
        -o "$probe"

    # 1. The one command a user types.
    local rdeb=$deb
    if [[ -n $root ]]; then
        rdeb=/tmp/$(basename "$deb")
        cp "$deb" "$root$rdeb"
    fi
    in_root apt-get -q -o Dpkg::Use-Pty=0 update >/dev/null
    if in_root apt-get -q -y -o Dpkg::Use-Pty=0 install "$rdeb" >"$work/install.log" 2>&1; then
        check_passed "apt-get install ./$(basename "$deb") on $where"
    else
        tail -n 30 "$work/install.log" >&2
        check_failed "apt-get install ./$(basename "$deb") on $where"
        return
    fi
    grep -E '^(Setting up|Unpacking) ' "$work/install.log" | sed 's/^/  /' >&2 || true
    in_root dpkg-query -L "$package_name" >"$work/files-of-package"

    # 2. The program, started as the menu starts it.
    local desktop=/usr/share/applications/org.orvex.navigator.desktop exec_line icon
    exec_line=$(sed -n 's/^Exec=//p' "${root}$desktop" | head -n 1)
    icon=$(sed -n 's/^Icon=//p' "${root}$desktop" | head -n 1)
    local rprobe=/tmp/windowprobe.so home=/tmp/smoke-home run=/tmp/smoke-run shot=/tmp/main-window.png
    [[ -n $root ]] || {
        rprobe=$probe
        home=$work/smoke-home
        run=$work/smoke-run
        shot=$work/main-window.png
    }
    [[ -z $root ]] || cp "$probe" "$root$rprobe"
    rm -rf "${root}$home" "${root}$run" "${root}$shot"
    mkdir -p "${root}$home" "${root}$run"
    chmod 700 "${root}$run"
    local status=0
    # shellcheck disable=SC2086 # the desktop entry's command line, split as the menu splits it
    in_root env HOME="$home" XDG_RUNTIME_DIR="$run" QT_QPA_PLATFORM=offscreen \
        WINDOWPROBE_TITLE="$main_title" WINDOWPROBE_RESOURCES=":/finder/stations.tsv" \
        WINDOWPROBE_DESKTOP_ID="$(basename "$desktop" .desktop)" \
        WINDOWPROBE_SCREENSHOT="$shot" LD_PRELOAD="$rprobe" \
        timeout 60 $exec_line >"$work/start.log" 2>&1 || status=$?
    sed 's/^/  /' "$work/start.log" >&2
    if ((status == 0)) && grep -q '^windowprobe: ok' "$work/start.log"; then
        cp "${root}$shot" "$work/main-window.png" 2>/dev/null || true
        check_passed "'$exec_line' from the menu entry shows its main window (image: $work/main-window.png)"
    else
        check_failed "'$exec_line' from the menu entry shows its main window (status $status)"
    fi
    local icons
    icons=$(in_root find /usr/share/icons/hicolor -name "$icon.png" -o -name "$icon.svg" | wc -l)
    if ((icons >= 2)); then
        check_passed "the menu entry's icon '$icon' is installed ($icons files)"
    else
        check_failed "the menu entry's icon '$icon' is installed"
    fi
    # The program stores nothing: what a start leaves in its home is the font library's cache
    # (and the cache folder that holds it).
    local stored
    stored=$(cd "${root}$home" && find . -mindepth 1 -path ./.cache/fontconfig -prune \
        -o ! -path ./.cache -print)
    if [[ -z $stored ]]; then
        check_passed "a start stores nothing in the user's home"
    else
        note "left in the home by one start: $stored"
        check_failed "a start stores nothing in the user's home"
    fi
    rm -rf "${root}$home" "${root}$run" "${root}$shot"
    [[ -z $root ]] || rm -f "$root$rprobe" "$root$rdeb"

    # 3. Removed without a trace.
    if ! in_root apt-get -q -y -o Dpkg::Use-Pty=0 purge "$package_name" >"$work/purge.log" 2>&1; then
        tail -n 30 "$work/purge.log" >&2
        check_failed "apt-get purge $package_name"
        return
    fi
    # man-db's trigger updates its index without dropping the pages that went (mandb -p), and
    # leaves that to its daily run; run it now, as that job does, before the index is read.
    if in_root sh -c 'command -v mandb' >/dev/null 2>&1; then
        in_root mandb --quiet >/dev/null 2>&1 || note "mandb failed; its index is read as it is"
    fi
    local left=() path record named
    while IFS= read -r path; do
        [[ $path != /. ]] || continue
        [[ -e ${root}$path || -L ${root}$path ]] || continue
        # A folder that other packages share stays.
        if [[ -d ${root}$path ]] && in_root dpkg-query -S "$path" >/dev/null 2>&1; then
            continue
        fi
        left+=("$path")
    done <"$work/files-of-package"
    # shellcheck disable=SC2016 # a dpkg-query format, not a shell expansion
    record=$(in_root dpkg-query -W -f='${db:Status-Status}' "$package_name" 2>/dev/null || true)
    record+=$(find "${root}/var/lib/dpkg/info" -maxdepth 1 \( -name "$package_name.*" \
        -o -name "$package_name:*" \) -printf ' %f')
    named=$(mentions | LC_ALL=C sort -u)
    if ((${#left[@]} == 0)) && [[ -z $record || $record == not-installed ]] && [[ -z $named ]]; then
        check_passed "apt-get purge $package_name leaves none of its $(wc -l <"$work/files-of-package") paths, no dpkg record, no file that names it"
    else
        ((${#left[@]} == 0)) || note "left after the purge: ${left[*]}"
        [[ -z $record || $record == not-installed ]] || note "dpkg still records: $record"
        [[ -z $named ]] || note "files that name it: $named"
        check_failed "apt-get purge $package_name leaves nothing"
    fi
}

cmd_check() {
    local deb=${1:-}
    [[ -n $deb ]] || deb=$(the_deb)
    [[ -f $deb ]] || die "no such package: $deb"
    deb=$(cd "$(dirname "$deb")" && pwd)/$(basename "$deb")
    bash scripts/install-deps.sh
    need lintian desktop-file-utils appstream librsvg2-bin debootstrap
    local work=$build/package-check
    cleanup_root
    remove_chroot "$build/chroot"
    rm -rf "$work"
    mkdir -p "$work/tree"
    dpkg-deb -x "$deb" "$work/tree"
    note "checking $deb"

    check_lintian "$deb"
    check_contents "$deb"
    check_desktop_entry "$work/tree"
    check_appstream "$work/tree"
    check_icons "$work"
    check_install_start_purge "$deb" "$work"
    cleanup_root
    [[ -z $root ]] || remove_chroot "$root"

    ((failed == 0)) || note "failed: ${failures[*]}"
    echo "package: $passed passed, $failed failed"
    ((failed == 0))
}

case ${1:-} in
build) cmd_build ;;
check)
    shift
    cmd_check "$@"
    ;;
*)
    echo "usage: scripts/package.sh build | check [DEB]" >&2
    exit 2
    ;;
esac
