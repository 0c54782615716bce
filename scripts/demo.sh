#!/usr/bin/env bash
# The tool's main job on a fresh simulated PC in a temporary folder: start-up,
# the card list, the upgrade of the revision-1.2 card to 1.3, and the list again.
# Run as root on a fresh Debian 12 machine: it installs what is missing first.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh --native-only
cmake --preset native >/dev/null
cmake --build --preset native --target flashupdate_cli flashrecord >/dev/null

cli=build/native/frontends/cli/flashupdate-cli
pc=$(mktemp -d)/pc
trap 'rm -rf "$(dirname "$pc")"' EXIT

echo "== Cards on the simulated PC ($pc)"
"$cli" list --machine "$pc"
echo
echo "== Flash upgraden, card 0"
# Status 4: done, but the erase also took card 0's calibration table after its
# record; the output says where, and the backup keeps it.
status=0
"$cli" upgrade 0 --machine "$pc" || status=$?
echo "(status $status)"
[ "$status" -eq 0 ] || [ "$status" -eq 4 ]
echo
echo "== Cards afterwards"
"$cli" list --machine "$pc"
echo
echo "== The backup taken before the write"
# flashrecord's listing opens with a five-line summary: card, serial number,
# customer, revision and the record's date.
build/native/tools/flashrecord/flashrecord show "$pc"/C/FLASH_0_*.SAV | head -n 5
