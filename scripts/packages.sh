# Installs the Debian packages that the build and the tests need, only when
# one is missing. Source it and call ensure_packages. xvfb-run, which the
# demo and the README's shell examples use, needs xauth beside xvfb.
MSIKIT_PACKAGES="cmake make g++ libgtest-dev tcl8.6-dev tk8.6-dev libgd-dev xvfb xauth x11-utils"

ensure_packages() {
  local missing="" p
  for p in $MSIKIT_PACKAGES; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" ||
      missing+=" $p"
  done
  [ -z "$missing" ] && return 0
  echo "Installing:$missing"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo=sudo
  $sudo apt-get update -q
  # shellcheck disable=SC2086
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q $missing
}
