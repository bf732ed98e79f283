#!/usr/bin/env bash
# Installs the Debian package with apt, over an earlier one, and uses what it
# installed: the tools' version, a check against the installed reference data
# (the tools' default folder), the manual pages, the service's unit and user,
# the example roster that opens no door. Then purges it and
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

# An earlier package kept its examples in /etc/kestrix as conffiles; the
# upgrade takes them away, keeping an edited one as .dpkg-bak.
earlier=$tmp/earlier
mkdir -p "$earlier/DEBIAN" "$earlier/etc/kestrix"
printf 'Package: kestrix\nVersion: 1.0.0\nArchitecture: %s\nMaintainer: test <test@kestrix.invalid>\nDescription: an earlier kestrix\n' \
  "$(dpkg --print-architecture)" > "$earlier/DEBIAN/control"
printf '/etc/kestrix/roster.toml.example\n/etc/kestrix/rules.toml.example\n' > "$earlier/DEBIAN/conffiles"
echo '# roster' > "$earlier/etc/kestrix/roster.toml.example"
echo '# rules' > "$earlier/etc/kestrix/rules.toml.example"
dpkg-deb --root-owner-group -b "$earlier" "$tmp/earlier.deb" >/dev/null
dpkg -i "$tmp/earlier.deb" > "$tmp/apt" 2>&1 || fail "dpkg -i the earlier package: $(cat "$tmp/apt")"
echo '# an edit' >> /etc/kestrix/rules.toml.example

apt-get install -y -qq "$(realpath "$deb")" > "$tmp/apt" 2>&1 || fail "apt-get install: $(cat "$tmp/apt")"
[ "$(kestrix-check --version)" = "kestrix-check $version" ] || fail "kestrix-check --version: $(kestrix-check --version)"
status=0
(cd "$data" && /usr/bin/kestrix-check Cars) > "$tmp/out" 2> "$tmp/err" || status=$?
[ "$status" -eq 1 ] && [ ! -s "$tmp/err" ] || fail "kestrix-check: status $status: $(cat "$tmp/err")"
tail -n1 "$tmp/out" | grep -q '^6 descriptors: ' || fail "kestrix-check: $(tail -n1 "$tmp/out")"
for program in kestrix-check kestrix-collect kestrix-send kestrix-refbuild; do
  [ "$(man -w "$program")" = "/usr/share/man/man1/$program.1.gz" ] || fail "no manual page for $program"
done
for section in FILES EXAMPLES 'SEE ALSO' REFUSALS 'LEAGUE PAGE'; do
  zcat /usr/share/man/man1/kestrix-collect.1.gz | grep -qx "\.SH \"\?$section\"\?" || fail "kestrix-collect(1) has no $section"
done
zcat /usr/share/man/man1/kestrix-collect.1.gz | grep -q '/etc/kestrix/roster.toml' || fail "kestrix-collect(1) names no roster"
cmp -s /usr/share/doc/kestrix/README.Debian "$data/../docs/server.md" || fail "README.Debian is not docs/server.md"
systemd-analyze verify /lib/systemd/system/kestrix-collect.service > "$tmp/verify" 2>&1 \
  || fail "systemd-analyze verify: $(cat "$tmp/verify")"
getent passwd _kestrix >/dev/null || fail "no user _kestrix"
[ "$(stat -c %U "/var/lib/kestrix")" = _kestrix ] || fail "/var/lib/kestrix is not the service's"
[ "$(ls /etc/kestrix | tr '\n' ' ')" = "collect.conf rules.toml.example.dpkg-bak " ] || fail "/etc/kestrix: $(ls /etc/kestrix)"
examples=/usr/share/doc/kestrix/examples
[ -f $examples/roster.toml.example ] && [ -f $examples/rules.toml.example ] || fail "$examples: $(ls $examples)"
if [ -x /usr/sbin/logrotate ]; then
  /usr/sbin/logrotate -d /etc/logrotate.d/kestrix > "$tmp/logrotate" 2>&1 \
    && grep -q 'weekly (52 rotations)' "$tmp/logrotate" || fail "logrotate -d: $(cat "$tmp/logrotate")"
fi
grep -qx 'RestartPreventExitStatus=2' /lib/systemd/system/kestrix-collect.service || fail "the unit restarts a refused start"

# The example roster, copied as it stands, opens no door: the collector refuses to start.
status=0
kestrix-collect --port 0 --dir "$tmp/collection" --roster $examples/roster.toml.example > /dev/null 2> "$tmp/err" || status=$?
[ "$status" -eq 2 ] && grep -q "roster.toml.example:13:16: the token_sha256 of \"alice\" is the examples' placeholder" "$tmp/err" \
  || fail "the example roster: status $status: $(cat "$tmp/err")"

# What the service and its admin leave: a roster, received files.
echo '# players' > /etc/kestrix/roster.toml
install -d -o _kestrix /var/lib/kestrix/collection/alice
touch /var/lib/kestrix/collection/alice/BrackwellDescriptor.txt
apt-get purge -y -qq kestrix > "$tmp/apt" 2>&1 || fail "apt-get purge: $(cat "$tmp/apt")"
ours > "$tmp/after"
diff -u "$tmp/before" "$tmp/after" || fail "left behind after the purge"
getent passwd _kestrix >/dev/null || fail "the purge removed the user _kestrix"
echo "PASS: the Debian package installed, used and purged"
