#!/usr/bin/env bash
# Reads the main window as a screen reader does, from outside the program: under a virtual X
# server of its own with the desktop's accessibility bus, it opens the program against a private
# database server holding the sample database, presses Search with the mouse, and prints what
# the accessibility bus gives for the result grid (role, size, column names, cells) and for the
# log memo (its first and last lines).
#
#   scripts/accessibility-check.sh
# Environment: BUILD_DIR (default build), the build to take the program from; DISPLAY_NUMBER
# (default 87), the virtual display's number.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-build}
[[ $build == /* ]] || build=$repo/$build
display=:${DISPLAY_NUMBER:-87}
server=$build/accessibilitydb

packages=(at-spi2-core python3-pyatspi dbus-x11 xdotool xvfb)
missing=()
for p in "${packages[@]}"; do
    [[ $(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null) == installed ]] || missing+=("$p")
done
if ((${#missing[@]})); then
    s=()
    ((EUID == 0)) || s=(sudo)
    "${s[@]}" apt-get -o DPkg::Lock::Timeout=300 install -y --no-install-recommends "${missing[@]}"
fi
[[ -x $build/app/OrvexNavigator ]] || cmake --build "$build" --target OrvexNavigator

xvfb_pid=""
cleanup() {
    [[ -n $xvfb_pid ]] && kill "$xvfb_pid" 2>/dev/null
    bash "$repo/scripts/dbserver.sh" stop "$server" >/dev/null 2>&1 || true
}
trap cleanup EXIT

bash "$repo/scripts/dbserver.sh" start "$server" >/dev/null
if [[ ! -f $server/sample.loaded ]]; then
    ORVEX_SAMPLE=$build/data/orvex_sample bash "$repo/scripts/dbserver.sh" load "$server" >/dev/null
fi
Xvfb "$display" -screen 0 1920x1200x24 >/dev/null 2>&1 &
xvfb_pid=$!
sleep 1

export DISPLAY=$display MYSQL_UNIX_PORT=$server/mysqld.sock QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
export ORVEX_PROGRAM=$build/app/OrvexNavigator
# One session bus for the accessibility bus, the program and the reader; it ends with them.
dbus-run-session -- bash -c '
    /usr/libexec/at-spi-bus-launcher --launch-immediately &
    sleep 1
    "$ORVEX_PROGRAM" &
    program=$!
    for _ in $(seq 50); do
        window=$(xdotool search --onlyvisible --name "Orvex" 2>/dev/null | head -1)
        [[ -n $window ]] && break
        sleep 0.2
    done
    eval "$(xdotool getwindowgeometry --shell "$window")"
    # The Search button, at its place in the constraint panel.
    xdotool mousemove $((X + 484)) $((Y + 282)) click 1
    sleep 4
    /usr/bin/python3 - <<"PYTHON"
import pyatspi

def find(acc, test, depth=0):
    if acc is None or depth > 30:
        return None
    if test(acc):
        return acc
    for i in range(acc.childCount):
        found = find(acc.getChildAtIndex(i), test, depth + 1)
        if found:
            return found
    return None

desktop = pyatspi.Registry.getDesktop(0)
app = find(desktop, lambda a: a.getRole() == pyatspi.ROLE_APPLICATION and "Orvex" in (a.name or ""))
grid = find(app, lambda a: a.getRole() == pyatspi.ROLE_TABLE)
table = grid.queryTable()
shown = min(table.nColumns, 11)
print("grid: role %s, name %r, %d rows, %d columns" % (grid.getRoleName(), grid.name, table.nRows, table.nColumns))
print("column names:", [table.getColumnDescription(c) for c in range(shown)])
for row in (0, 1, table.nRows - 1):
    print("row %d:" % row, [table.getAccessibleAt(row, c).name for c in range(shown)])
log = find(app, lambda a: a.name == "STATUS" and a.getRole() != pyatspi.ROLE_LABEL)
text = log.queryText()
print("log: role %s, %d characters" % (log.getRoleName(), text.characterCount))
print("log, first line:", repr(text.getTextAtOffset(0, pyatspi.TEXT_BOUNDARY_LINE_START)[0]))
print("log, last line:", repr(text.getTextAtOffset(text.characterCount, pyatspi.TEXT_BOUNDARY_LINE_START)[0]))
PYTHON
    kill $program
' 2> >(grep -v "dbus-daemon\|XGetInputFocus\|QStandardPaths\|SpiRegistry" >&2)
