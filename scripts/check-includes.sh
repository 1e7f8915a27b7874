#!/usr/bin/env bash
# Fails when a file under src/ includes from a higher layer, or when one
# front end includes the other. The layers, lowest first:
#   model, signal, serial, sending, platform, app, then gui and cli
# A folder may include from itself and from any folder below it.
set -euo pipefail
cd "$(dirname "$0")/.."
declare -A rank=([model]=0 [signal]=1 [serial]=2 [sending]=3 [platform]=4 [app]=5 [gui]=6 [cli]=6)
status=0
while IFS= read -r file; do
  from=${file#src/}
  from=${from%%/*}
  [ -n "${rank[$from]+x}" ] || { echo "$file: folder '$from' has no layer"; status=1; continue; }
  while IFS=: read -r line target; do
    to=${target%%/*}
    [ -n "${rank[$to]+x}" ] || continue   # a system or Qt header
    if [ "$to" != "$from" ] && [ "${rank[$to]}" -ge "${rank[$from]}" ]; then
      echo "$file:$line: $from includes \"$target\" from $to, which is not below it"
      status=1
    fi
  done < <(grep -n -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file" | sed -E 's/^([0-9]+):[^"]*"([^"]+)".*/\1:\2/')
done < <(find src -type f \( -name '*.h' -o -name '*.cpp' \) | sort)
if [ $status -eq 0 ]; then echo "include check: every include points down"; fi
exit $status
