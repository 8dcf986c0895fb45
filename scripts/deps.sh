# Sourced by run.sh and test.sh: installs the Debian packages that are missing.
VELKOR_PACKAGES=(cmake ninja-build g++ qt6-base-dev libzip-dev libgtest-dev libgmock-dev
                 libbenchmark-dev libgl1-mesa-dev pkg-config libmseed-dev poppler-utils libsystemd-dev
                 qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools)

velkor_install_deps() {
  local missing=() p
  for p in "${VELKOR_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo=sudo
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
}
