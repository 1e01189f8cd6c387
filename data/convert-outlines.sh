#!/usr/bin/env bash
# Converts Natural Earth's coastlines and country borders, as the npm package world-atlas ships
# them in TopoJSON, into data/outlines.bin, the compact file the map window draws. The program
# has it built in as a resource, so the map needs no network and reads no file when it runs.
#
# Run once, by hand, when the outlines should be refreshed; the result is committed, so builds
# and tests never need npm. Needs npm and Node (any recent version) and the npm registry.
#
#   data/convert-outlines.sh [OUTPUT]
#     OUTPUT  defaults to data/outlines.bin beside this script
#
# Source: world-atlas 2.0.2 (ISC licence, by Mike Bostock), made from Natural Earth's
# "Admin 0 - Countries" and "Land" (public domain), at two scales: 1:110 million and 1:50
# million. Of each, every arc of the land outline is a coastline and every other arc of the
# countries is a border; the package's arcs are shared, so each border is drawn once. The cut
# lines of the source's projection are left out: stretches along the 180th meridian and along
# the South Pole's parallel, where the source closes the rings of Antarctica, Russia and Fiji.
#
# Output, all numbers little-endian:
#   magic "OXOL", u32 version 1, u32 number of levels (2)
#   per level, coarsest first:
#     u32 scale in millions (110, then 50), u32 lines, u32 points
#     per line, u32: points << 1 | kind (0 coastline, 1 border)
#     per point, i16 longitude, i16 latitude: degrees * 32767 / 180 and * 32767 / 90
#       (0.0055 and 0.0027 degrees a step, a few hundred metres)
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
out=${1:-$here/outlines.bin}
package=world-atlas@2.0.2

for tool in npm node tar; do
    command -v "$tool" >/dev/null 2>&1 || {
        echo "convert-outlines: $tool not found" >&2
        exit 1
    }
done

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

(cd "$tmp" && npm pack --silent "$package" >/dev/null)
tar -xzf "$tmp"/world-atlas-*.tgz -C "$tmp"

node - "$tmp/package" "$out" <<'EOF'
const fs = require('fs');
const [dir, out] = process.argv.slice(2);

// The arcs of a TopoJSON file as absolute positions in degrees.
function decodeArcs(topo) {
    const [sx, sy] = topo.transform.scale;
    const [tx, ty] = topo.transform.translate;
    return topo.arcs.map(arc => {
        let x = 0, y = 0;
        return arc.map(([dx, dy]) => {
            x += dx; y += dy;
            return [x * sx + tx, y * sy + ty];
        });
    });
}

// The indexes of every arc a geometry (or a collection of them) uses.
function arcsOf(geometry, into) {
    const walk = a => {
        if (typeof a === 'number') into.add(a < 0 ? ~a : a);
        else a.forEach(walk);
    };
    if (geometry.type === 'GeometryCollection') geometry.geometries.forEach(g => arcsOf(g, into));
    else if (geometry.arcs) walk(geometry.arcs);
    return into;
}

// A stretch along the 180th meridian or the South Pole's parallel is where the source cut the
// globe open, not a coast or a border.
function isCut([x1, y1], [x2, y2]) {
    const edge = 179.999;
    return (Math.abs(x1) >= edge && Math.abs(x2) >= edge && Math.sign(x1) === Math.sign(x2))
        || (y1 <= -89.99 && y2 <= -89.99);
}

function level(file, scale) {
    const topo = JSON.parse(fs.readFileSync(`${dir}/${file}`, 'utf8'));
    const arcs = decodeArcs(topo);
    const coast = arcsOf(topo.objects.land, new Set());
    const used = arcsOf(topo.objects.countries, new Set(coast));
    const lines = [];
    for (const index of [...used].sort((a, b) => a - b)) {
        const kind = coast.has(index) ? 0 : 1;
        let line = [];
        const points = arcs[index];
        for (let i = 0; i < points.length; ++i) {
            if (i > 0 && isCut(points[i - 1], points[i])) {
                if (line.length > 1) lines.push({kind, line});
                line = [];
            }
            line.push(points[i]);
        }
        if (line.length > 1) lines.push({kind, line});
    }
    return {scale, lines};
}

const levels = [level('countries-110m.json', 110), level('countries-50m.json', 50)];
const clamp = v => Math.max(-32767, Math.min(32767, Math.round(v)));
const parts = [];
const u32 = v => { const b = Buffer.alloc(4); b.writeUInt32LE(v); return b; };
parts.push(Buffer.from('OXOL'), u32(1), u32(levels.length));
for (const {scale, lines} of levels) {
    const points = lines.reduce((n, l) => n + l.line.length, 0);
    parts.push(u32(scale), u32(lines.length), u32(points));
    const counts = Buffer.alloc(4 * lines.length);
    lines.forEach((l, i) => counts.writeUInt32LE(l.line.length * 2 + l.kind, 4 * i));
    parts.push(counts);
    const xy = Buffer.alloc(4 * points);
    let at = 0;
    let west = 180, east = -180, south = 90, north = -90;
    for (const {line} of lines) {
        for (const [x, y] of line) {
            xy.writeInt16LE(clamp(x * 32767 / 180), at);
            xy.writeInt16LE(clamp(y * 32767 / 90), at + 2);
            at += 4;
            west = Math.min(west, x); east = Math.max(east, x);
            south = Math.min(south, y); north = Math.max(north, y);
        }
    }
    parts.push(xy);
    const borders = lines.filter(l => l.kind === 1).length;
    console.error(`convert-outlines: 1:${scale}m: ${lines.length} lines (${borders} borders), `
        + `${points} points, longitude ${west.toFixed(3)} to ${east.toFixed(3)}, `
        + `latitude ${south.toFixed(3)} to ${north.toFixed(3)}`);
}
const data = Buffer.concat(parts);
fs.writeFileSync(out, data);
console.error(`convert-outlines: wrote ${data.length} bytes to ${out}`);
EOF
