#!/usr/bin/env bash
# Converts Debian's weather-util-data station list into data/stations.tsv,
# the station table that the sample generator (orvex_sample) reads.
#
# Run once, by hand, when the station list should be refreshed; the result is
# committed so that builds and tests never need weather-util-data.
#
#   data/convert-stations.sh [SOURCE_DIR] [OUTPUT]
#     SOURCE_DIR  defaults to /usr/share/weather-util (apt-get install weather-util-data)
#     OUTPUT      defaults to data/stations.tsv beside this script
#
# Output: one header line, then one station per line, tab-separated, sorted by icao:
#   icao  faa  wmo  lat  lon  description
#   icao  4-character ICAO identifier, upper case; only such stations are kept
#   faa   3-character FAA/IATA code, upper case, or empty. A K station (contiguous
#         United States) gets its ICAO id without the K, which is how FAA
#         identifiers are formed there (KHND -> HND, even where airports.gz lists
#         the IATA code HSH for it). Other stations take the code that airports.gz
#         gives them ("[anc]" / "station = panc"); of several, the smallest. A
#         code already taken by a K station is not given again, so a code names
#         one station only (RJTT does not get HND, which is KHND's).
#   wmo   5-digit station number. The source has no WMO numbers, so this one is
#         DERIVED, not real: the block (first two digits) is the WMO block of the
#         station's region, chosen from the ICAO prefix (K -> 72/74/69, C -> 71,
#         EG -> 03, ...), and the last three digits come from a hash of the ICAO
#         id; collisions move to the next free number. Deterministic for a given
#         station list, unique across the file.
#   lat, lon  decimal degrees with 4 decimals, north and east positive. The
#         source's "location = (a, b)" holds RADIANS, e.g. kswf (0.7243116,
#         -1.2932890) is 41.4999, -74.0999.
#   description  the source's description, tabs and backslashes replaced by spaces
# Stations whose location is "None" are left out.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
src=${1:-/usr/share/weather-util}
out=${2:-$here/stations.tsv}

for f in stations.gz airports.gz; do
    if [[ ! -r $src/$f ]]; then
        echo "convert-stations: $src/$f not found (apt-get install weather-util-data)" >&2
        exit 1
    fi
done

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# code -> station pairs from airports.gz, as "station<TAB>code".
zcat "$src/airports.gz" | awk '
    /^\[/ { code = substr($0, 2, length($0) - 2); next }
    /^station = / { st = $3; if (length(code) == 3) print st "\t" code }
' >"$tmp/airports"

# Stations with a 4-character id and a known location, as "id<TAB>latrad<TAB>lonrad<TAB>desc".
zcat "$src/stations.gz" | awk '
    function flush() {
        if (id != "" && length(id) == 4 && id ~ /^[a-z0-9]+$/ && loc != "")
            print id "\t" loc "\t" desc
        id = ""; loc = ""; desc = ""
    }
    /^\[/ { flush(); id = substr($0, 2, length($0) - 2); next }
    /^description = / { desc = substr($0, 15); gsub(/[\t\\]/, " ", desc); next }
    /^location = \(/ {
        s = substr($0, 13); gsub(/[() ]/, "", s)
        n = split(s, p, ",")
        if (n == 2) loc = p[1] "\t" p[2]
        next
    }
    END { flush() }
' | LC_ALL=C sort >"$tmp/stations"

LC_ALL=C awk -F '\t' '
    BEGIN {
        pi = atan2(0, -1)
        alnum = "0123456789abcdefghijklmnopqrstuvwxyz"
        # WMO blocks by region, most specific ICAO prefix first.
        blocks["k"] = "72 74 69"; blocks["c"] = "71"; blocks["pa"] = "70"; blocks["p"] = "91"
        blocks["mm"] = "76"; blocks["m"] = "78"; blocks["t"] = "78"
        blocks["s"] = "82 83 85 87"; blocks["a"] = "91"; blocks["n"] = "91"
        blocks["y"] = "94 95"; blocks["b"] = "04"
        blocks["e"] = "06"; blocks["ed"] = "10"; blocks["et"] = "10"; blocks["eg"] = "03"
        blocks["ei"] = "03"; blocks["eh"] = "06"; blocks["eb"] = "06"; blocks["ek"] = "06"
        blocks["en"] = "01"; blocks["es"] = "02"; blocks["ef"] = "02"; blocks["ep"] = "12"
        blocks["ee"] = "26"; blocks["ev"] = "26"; blocks["ey"] = "26"
        blocks["l"] = "13 14"; blocks["lf"] = "07"; blocks["le"] = "08"; blocks["lp"] = "08"
        blocks["li"] = "16"; blocks["lg"] = "16"; blocks["lt"] = "17"; blocks["lo"] = "11"
        blocks["lk"] = "11"; blocks["lz"] = "11"; blocks["lh"] = "12"; blocks["ls"] = "06"
        blocks["lr"] = "15"
        blocks["d"] = "65 61"; blocks["g"] = "61"; blocks["f"] = "67 68"; blocks["h"] = "63 62"
        blocks["o"] = "40 41"; blocks["r"] = "47"; blocks["rc"] = "46"; blocks["rp"] = "98"
        blocks["u"] = "27 28 29 30"; blocks["v"] = "42 43 48"; blocks["w"] = "96 48"
        blocks["z"] = "54 55 56 57"
    }
    pass == 1 { # the first pass over the stations: codes the K stations take
        if ($1 ~ /^k/) kcode[substr($1, 2)] = 1
        next
    }
    pass == 2 { # airports: code -> station
        st = $1; code = $2
        if (code in kcode) next
        if (!(st in faa) || code < faa[st]) faa[st] = code
        next
    }
    {
        id = $1
        lat = $2 * 180 / pi; lon = $3 * 180 / pi
        code = (id ~ /^k/) ? substr(id, 2) : ((id in faa) ? faa[id] : "")

        pre = substr(id, 1, 2)
        if (!(pre in blocks)) pre = substr(id, 1, 1)
        list = (pre in blocks) ? blocks[pre] : "99"
        nb = split(list, b, " ")
        h = 0
        for (i = 1; i <= length(id); i++)
            h = (h * 131 + index(alnum, substr(id, i, 1)) + 7) % 1000003
        slots = nb * 1000
        slot = h % slots
        for (tries = 0; tries < slots; tries++) {
            wmo = sprintf("%s%03d", b[int(slot / 1000) + 1], slot % 1000)
            if (!(wmo in used)) break
            slot = (slot + 1) % slots
        }
        if (tries == slots) { print "convert-stations: no free WMO number for " id > "/dev/stderr"; exit 1 }
        used[wmo] = 1

        la = sprintf("%.4f", lat); lo = sprintf("%.4f", lon)
        if (la == "-0.0000") la = "0.0000"
        if (lo == "-0.0000") lo = "0.0000"
        print toupper(id) "\t" toupper(code) "\t" wmo "\t" la "\t" lo "\t" $4
    }
' pass=1 "$tmp/stations" pass=2 "$tmp/airports" pass=3 "$tmp/stations" >"$tmp/body"

{
    printf 'icao\tfaa\twmo\tlat\tlon\tdescription\n'
    cat "$tmp/body"
} >"$out"
echo "convert-stations: wrote $(wc -l <"$tmp/body") stations to $out" >&2
