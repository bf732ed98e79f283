#!/usr/bin/env bash
# Installs the Debian package with apt and uses what it installed: the tools'
# version, a check against the installed reference data (the tools' default
# folder), the manual pages, the service's unit and user. Then purges it and
# finds nothing of it left but its system user. It changes the machine, so it
# runs only where KESTRIX_TEST_INSTALL=1 asks for it, as root.
# Usage: install_deb.sh DIST_FOLDER VERSION DATA_DIR
set -euo pipefail
dist=$1 version=$2 data=$3
[ "${KESTRIX_TEST_INSTALL:-}" = 1 ] || { echo "SKIP: KESTRIX_TEST_INSTALL=1 installs the package"; exit 77; }
fail() { echo "FAIL: $*" >&2; exit 1; }
[ "$(id -u)" -eq 0 ] || fail "installing the package needs root"
deb=$dist/kestrix_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || fail "no $deb: scripts/package.sh makes it"
! dpkg-query -W -f='${Status}' kestrix 2>/dev/null | grep -q installed || fail "kestrix is installed already"

tmp=$(mktemp -d)
export DEBIAN_FRONTEND=noninteractive
trap 'apt-get purge -y -qq kestrix >/dev/null 2>&1 || true; rm -rf "$tmp"' EXIT
ours() { find /etc /lib /usr /var/lib -name '*kestrix*' 2>/dev/null | sort; }
ours > "$tmp/before"

apt-get install -y -qq "$(realpath "$deb")" > "$tmp/apt" 2>&1 || fail "apt-get install: $(cat "$tmp/apt")"
[ "$(kestrix-check --version)" = "kestrix-check $version" ] || fail "kestrix-check --version: $(kestrix-check --version)"
status=0
(cd "$data" && /usr/bin/kestrix-check Cars) > "$tmp/out" 2> "$tmp/err" || status=$?
[ "$status" -eq 1 ] && [ ! -s "$tmp/err" ] || fail "kestrix-check: status $status: $(cat "$tmp/err")"
tail -n1 "$tmp/out" | grep -q '^6 descriptors: ' || fail "kestrix-check: $(tail -n1 "$tmp/out")"
for program in kestrix-check kestrix-collect kestrix-send kestrix-refbuild; do
  [ "$(man -w "$program")" = "/usr/share/man/man1/$program.1.gz" ] || fail "no manual page for $program"
done
systemd-analyze verify /lib/systemd/system/kestrix-collect.service > "$tmp/verify" 2>&1 \
  || fail "systemd-analyze verify: $(cat "$tmp/verify")"
getent passwd _kestrix >/dev/null || fail "no user _kestrix"
[ "$(stat -c %U "/var/lib/kestrix")" = _kestrix ] || fail "/var/lib/kestrix is not the service's"
[ -f /etc/kestrix/collect.conf ] && [ -f /etc/kestrix/roster.toml.example ] && [ -f /etc/kestrix/rules.toml.example ] \
  || fail "/etc/kestrix: $(ls /etc/kestrix)"

# What the service and its admin leave: a roster, received files.
echo '# players' > /etc/kestrix/roster.toml
install -d -o _kestrix /var/lib/kestrix/collection/alice
touch /var/lib/kestrix/collection/alice/BrackwellDescriptor.txt
apt-get purge -y -qq kestrix > "$tmp/apt" 2>&1 || fail "apt-get purge: $(cat "$tmp/apt")"
ours > "$tmp/after"
diff -u "$tmp/before" "$tmp/after" || fail "left behind after the purge"
getent passwd _kestrix >/dev/null || fail "the purge removed the user _kestrix"
echo "PASS: the Debian package installed, used and purged"
