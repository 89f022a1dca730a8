#!/usr/bin/env bash
# Installs what is needed, builds Tobrin, and recovers the deleted files of the bundled
# demo disk into ./recovered.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target tobrin-cli
python3 tests/fixtures/build_fixtures.py build/fixtures --only demo >/dev/null

cli=(build/bin/tobrin-cli --disk build/fixtures/demo.img)
echo "== Volumes of the demo disk"
"${cli[@]}" volumes
mkdir -p recovered
for letter in $("${cli[@]}" volumes | awk 'NR > 1 && $3 != "unknown" { print $1 }'); do
  echo "== Deleted files on $letter"
  "${cli[@]}" scan "$letter"
  mkdir -p "recovered/${letter%:}"
  "${cli[@]}" recover "$letter" --to "recovered/${letter%:}" --all --tree
done
echo "== Recovered files are in $PWD/recovered"
