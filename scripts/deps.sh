# Sourced by run.sh and test.sh: installs whatever Debian 12 packages are missing.
quillon_packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite libgl-dev
  libsqlite3-dev sqlite3 googletest libgtest-dev libbenchmark-dev
  xvfb xauth poppler-utils fonts-dejavu-core util-linux
  libxlsxwriter-dev libminizip-dev mdbtools-dev python3 python3-openpyxl
  postgresql postgresql-common libpq-dev openssl
  libqpdf-dev qpdf libnss3-tools
  debhelper dpkg-dev fakeroot lintian desktop-file-utils appstream librsvg2-bin x11-utils imagemagick
  at-spi2-core python3-pyatspi dbus-daemon xdotool
)

quillon_ensure_packages() {
  local missing=()
  for p in "${quillon_packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing missing packages: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}
quillon_ensure_packages
