#!/usr/bin/env bash
# ensure_debian_packages PKG...: installs those of the named Debian packages
# that are missing (apt-get; as root, or through sudo). Sourced by the
# scripts that need system packages.
ensure_debian_packages() {
  local need=() pkg sudo=""
  for pkg in "$@"; do
    dpkg -s "$pkg" >/dev/null 2>&1 || need+=("$pkg")
  done
  [ ${#need[@]} -eq 0 ] && return 0
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  echo "installing system packages: ${need[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
    "${need[@]}" >/dev/null
}
