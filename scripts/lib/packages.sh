#!/usr/bin/env bash
# Installs the Debian packages the program, its build and its tests need.
# Quiet and quick when everything is already there.
set -euo pipefail

QV_BUILD_PACKAGES=(
  cmake ninja-build g++ pkg-config clang-format ccache
  qt6-base-dev qt6-multimedia-dev qt6-speech-dev qt6-declarative-dev
  libqt6sql6-sqlite libqt6svg6
  libgmime-3.0-dev libxml2-dev libcurl4-openssl-dev libmp3lame-dev
  qt6-base-private-dev libgtest-dev googletest
)
QV_RUNTIME_PACKAGES=(
  open-jtalk open-jtalk-mecab-naist-jdic hts-voice-nitech-jp-atr503-m001
  fonts-ipafont-gothic ca-certificates
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good
  pulseaudio
)
QV_TEST_PACKAGES=(
  dovecot-core dovecot-pop3d dovecot-imapd postfix openssl curl python3 lame
)

# The HTS voice lives in Debian's contrib section.
qv_enable_contrib() {
  local f=/etc/apt/sources.list.d/debian.sources
  if [ -f "$f" ] && grep -q '^Components: main$' "$f"; then
    sed -i 's/^Components: main$/Components: main contrib/' "$f"
    QV_APT_UPDATED=0
  elif [ -f /etc/apt/sources.list ] && grep -qE '^deb .* main$' /etc/apt/sources.list; then
    sed -i -E 's/^(deb .* main)$/\1 contrib/' /etc/apt/sources.list
    QV_APT_UPDATED=0
  fi
}

qv_missing() {
  local p missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$' || missing+=("$p")
  done
  echo "${missing[@]:-}"
}

# qv_install GROUP... where GROUP is build, runtime or test
qv_install() {
  local want=() g
  for g in "$@"; do
    case "$g" in
      build) want+=("${QV_BUILD_PACKAGES[@]}") ;;
      runtime) want+=("${QV_RUNTIME_PACKAGES[@]}") ;;
      test) want+=("${QV_TEST_PACKAGES[@]}") ;;
    esac
  done
  local missing
  missing=$(qv_missing "${want[@]}")
  [ -z "$missing" ] && return 0
  if [ "$(id -u)" != 0 ]; then
    echo "quorvel: missing packages ($missing); run as root to install them" >&2
    return 1
  fi
  qv_enable_contrib
  echo "quorvel: installing $missing" >&2
  export DEBIAN_FRONTEND=noninteractive
  # Keep package scripts from starting system-wide mail daemons.
  local made_policy=0
  if [ ! -e /usr/sbin/policy-rc.d ]; then
    printf '#!/bin/sh\nexit 101\n' >/usr/sbin/policy-rc.d && chmod +x /usr/sbin/policy-rc.d && made_policy=1
  fi
  echo "postfix postfix/main_mailer_type select No configuration" | debconf-set-selections
  apt-get -o DPkg::Lock::Timeout=300 update -qq >/dev/null
  # shellcheck disable=SC2086
  apt-get -o DPkg::Lock::Timeout=300 install -y -qq --no-install-recommends --no-remove $missing >/dev/null
  [ "$made_policy" = 1 ] && rm -f /usr/sbin/policy-rc.d
  return 0
}
