#!/usr/bin/env bash
# Runs scripts/install-deps against stand-ins for dpkg-query, apt-get, sudo and id, so the
# machine's packages are never touched. Each case prints "ok" or "FAIL" with the reason.
set -u
script=${1:?usage: install_deps_test.sh path/to/install-deps}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"

# dpkg-query as dpkg does it: a line per known package, a complaint and exit 1 for the rest.
cat >"$work/bin/dpkg-query" <<'SH'
#!/usr/bin/env bash
shift 2  # -W -f=...
rc=0
for p in "$@"; do
    if grep -qx "$p" "$FAKE_DB"; then echo "$p installed"; else
        echo "dpkg-query: no packages found matching $p" >&2; rc=1; fi
done
exit $rc
SH
# apt-get logs its arguments; install adds the packages unless told to fail.
cat >"$work/bin/apt-get" <<'SH'
#!/usr/bin/env bash
echo "apt-get $*" >>"$FAKE_LOG"
if [ -n "${FAKE_APT_FAIL:-}" ] && [[ " $* " == *" $FAKE_APT_FAIL "* ]]; then
    echo "E: Unable to locate package $FAKE_APT_FAIL" >&2; exit 100; fi
if [ "$1" != update ] && [ -z "${FAKE_APT_RECORD_ONLY:-}" ]; then
    for a in "$@"; do [[ $a == -* || $a == install ]] || echo "$a" >>"$FAKE_DB"; done
fi
SH
cat >"$work/bin/sudo" <<'SH'
#!/usr/bin/env bash
echo "sudo $*" >>"$FAKE_LOG"
[ -n "${FAKE_SUDO_PASSWORD:-}" ] && { echo "sudo: a password is required" >&2; exit 1; }
[ "$1" = -n ] && shift
exec "$@"
SH
cat >"$work/bin/id" <<'SH'
#!/usr/bin/env bash
echo "${FAKE_UID:-0}"
SH
chmod +x "$work/bin"/*

all=$(sed -n '/^packages=(/,/^)/p' "$script" | sed '1d;$d' | tr -s ' \n' '\n' | sed '/^$/d')
export PATH="$work/bin:$PATH" FAKE_DB="$work/db" FAKE_LOG="$work/log"
failed=0; passed=0
check() {  # check NAME CONDITION-RESULT: on failure, the run's status, stderr and calls
    if [ "$2" -eq 0 ]; then passed=$((passed + 1)); echo "ok   $1"; else
        failed=$((failed + 1))
        echo "FAIL $1: rc=$rc, stderr: $(cat "$work/err"), log: $(cat "$FAKE_LOG")"; fi
}
run() {  # run [env...]: runs the script with a fresh log, stdin not a terminal
    : >"$FAKE_LOG"
    env "$@" bash "$script" </dev/null >"$work/out" 2>"$work/err"
}

# All present: dpkg is asked, apt never is.
printf '%s\n' $all >"$FAKE_DB"
run; rc=$?
[ $rc -eq 0 ] && [ ! -s "$FAKE_LOG" ]; check "all present" $?

# Some missing: one update, then an install of exactly the missing ones.
printf '%s\n' $all | grep -vx -e cmake -e qt6-base-dev -e xvfb >"$FAKE_DB"
run; rc=$?
expected=$'apt-get update -qq\napt-get install -y -q --no-install-recommends cmake qt6-base-dev xvfb'
[ $rc -eq 0 ] && [ "$(cat "$FAKE_LOG")" = "$expected" ]
check "some missing" $?

# Nothing at all installed, as on a fresh machine, and not root: through sudo.
: >"$FAKE_DB"
run FAKE_UID=1000; rc=$?
[ $rc -eq 0 ] && grep -q "^sudo -n apt-get install" "$FAKE_LOG" &&
    [ "$(grep -c '^apt-get install' "$FAKE_LOG")" -eq 1 ]
check "none installed, through sudo" $?

# apt-get's status is the answer: a successful install is not second-guessed by asking dpkg
# again (here an apt-get that only records its calls, as on a machine being set up).
: >"$FAKE_DB"
run FAKE_APT_RECORD_ONLY=1; rc=$?
[ $rc -eq 0 ] && grep -q "^apt-get install" "$FAKE_LOG"
check "apt's success trusted" $?

# apt failing: non-zero and one line naming the missing packages and apt's reason.
printf '%s\n' $all | grep -vx -e sox -e xdotool >"$FAKE_DB"
run FAKE_APT_FAIL=xdotool; rc=$?
[ $rc -ne 0 ] && [ "$(wc -l <"$work/err")" -eq 1 ] &&
    grep -q "cannot install sox xdotool: apt-get install failed: E: Unable to locate package xdotool" "$work/err"
check "apt failing" $?

# A user whose sudo wants a password, with nobody at a terminal to give it.
run FAKE_UID=1000 FAKE_SUDO_PASSWORD=1; rc=$?
[ $rc -ne 0 ] && grep -q "cannot install sox xdotool: not root and sudo needs a password" "$work/err" &&
    ! grep -q "^apt-get" "$FAKE_LOG"
check "sudo needs a password" $?

echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
