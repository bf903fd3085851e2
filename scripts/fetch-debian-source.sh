#!/usr/bin/env bash
# Fetches and unpacks a Debian source package for a target build:
#   scripts/fetch-debian-source.sh <deps> <package>/<suite> <folder>
# unpacks it into <folder> (made anew). The source is fetched with a private
# apt configuration under <deps>/apt whose deb-src entries reuse the
# machine's own Debian sources; the system's apt files are not touched.
set -euo pipefail
deps=$1
source_package=$2
folder=$3
name=${source_package%%/*}

apt=$deps/apt
mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial" "$deps/src"
list=$apt/sources.list
: > "$list"
# deb822 files (URIs:/Suites:/Components:) and one-line files alike.
for f in /etc/apt/sources.list.d/*.sources; do
  [ -f "$f" ] || continue
  python3 - "$f" >> "$list" <<'PY'
import sys
stanzas = open(sys.argv[1]).read().split("\n\n")
for s in stanzas:
    fields = {}
    for line in s.splitlines():
        if line.startswith("#") or ":" not in line:
            continue
        k, v = line.split(":", 1)
        fields[k.strip()] = v.strip()
    if "deb" not in fields.get("Types", "").split() or "URIs" not in fields:
        continue
    for uri in fields["URIs"].split():
        for suite in fields.get("Suites", "").split():
            print(f"deb-src {uri} {suite} {fields.get('Components', 'main')}")
PY
done
for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
  [ -f "$f" ] || continue
  sed -n 's/^deb \(.*\)$/deb-src \1/p' "$f" >> "$list"
done
opts=(-o Dir::Etc::SourceList="$list" -o Dir::Etc::SourceParts=- \
      -o Dir::State::Lists="$apt/lists" -o Dir::Cache="$apt/cache" \
      -o APT::Sandbox::User=root)
echo "setup: fetching the $name source package"
apt-get "${opts[@]}" update -qq 2>/dev/null || true
(cd "$deps/src" && apt-get "${opts[@]}" source --download-only "$source_package" -qq)
rm -rf "$folder"
dpkg-source --no-check -x "$(ls "$deps"/src/"${name}"_*.dsc | head -n 1)" "$folder" >/dev/null
