#!/usr/bin/env bash
# Installs the Debian packages named as arguments that are not installed yet (as root, with
# apt-get); prints why when it cannot. Sourced by the README's two commands, so a fresh
# machine needs nothing done by hand. Returns 1 only when a package is still missing.
install_missing() {
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if ! command -v apt-get >/dev/null 2>&1 || [ "$(id -u)" != 0 ]; then
    echo "install_missing: cannot install ${missing[*]} (needs root and apt-get)" >&2
    return 1
  fi
  local log
  log=$(mktemp)
  if ! { apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"; } >"$log" 2>&1; then
    echo "install_missing: installing ${missing[*]} failed:" >&2
    tail -n 5 "$log" >&2
    rm -f "$log"
    return 1
  fi
  rm -f "$log"
}
