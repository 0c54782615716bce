#!/usr/bin/env bash
# The tool's main job, on this machine: takes a revision-1.2 card record, shows
# it, upgrades it to revision 1.3, shows the result and takes it back down.
# Run as root on a fresh Debian 12 machine: it installs what is missing first.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh --native-only
cmake --preset native >/dev/null
cmake --build --preset native --target flashrecord >/dev/null

tool=build/native/tools/flashrecord/flashrecord
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

echo "== The revision-1.2 record of a card"
"$tool" show samples/nimbaPCI_HS.v12
echo
echo "== Upgrade to revision 1.3"
"$tool" upgrade samples/nimbaPCI_HS.v12 "$work/card.v13" --no
"$tool" show "$work/card.v13"
echo
echo "== And back to revision 1.2"
"$tool" downgrade "$work/card.v13" "$work/card.v12"
"$tool" show "$work/card.v12"
