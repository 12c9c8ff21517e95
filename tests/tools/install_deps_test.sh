#!/bin/sh
# tools/install-deps.sh against stand-ins for id, dpkg, dpkg-query, apt-get and
# sudo: what it installs, through what, and what it tells a user who cannot.
# Usage: install_deps_test.sh tools/install-deps.sh
set -u
given=$1
case $given in /*) ;; *) given=$PWD/$given ;; esac
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A copy beside a stand-in for the fetch of the libraries' sources, which logs its call.
mkdir "$work/tools"
script=$work/tools/install-deps.sh
cp "$given" "$script"
cat > "$work/tools/fetch-debian-sources.sh" <<'END'
#!/bin/sh
folder=$1
shift
echo "fetch ${folder##*/tools/} $*" >> "$FAKE_LOG"
END
chmod +x "$work/tools/fetch-debian-sources.sh"
failures=0
fail() { echo "install-deps: $*" >&2; failures=$((failures + 1)); }

bin=$work/bin
mkdir "$bin"
for tool in grep env; do ln -s "$(command -v $tool)" "$bin/$tool"; done
# The stand-ins: FAKE_UID is the user, FAKE_INSTALLED the packages installed,
# FAKE_ARCHS the foreign architectures; apt-get, dpkg and sudo log their calls.
cat > "$bin/id" <<'END'
#!/bin/sh
echo "$FAKE_UID"
END
cat > "$bin/dpkg-query" <<'END'
#!/bin/sh
for p in $FAKE_INSTALLED; do [ "$p" = "$3" ] && { printf installed; exit 0; }; done
exit 1
END
cat > "$bin/dpkg" <<'END'
#!/bin/sh
[ "$1" = --print-foreign-architectures ] && { echo $FAKE_ARCHS; exit 0; }
echo "dpkg $*" >> "$FAKE_LOG"
END
cat > "$bin/apt-get" <<'END'
#!/bin/sh
echo "apt-get $*" >> "$FAKE_LOG"
END
cat > "$bin/sudo" <<'END'
#!/bin/sh
echo "sudo $1" >> "$FAKE_LOG"
exec "$@"
END
chmod +x "$bin"/*
all=$(sed -n 's/^packages="\(.*\)"$/\1/p' "$script")
[ -n "$all" ] || fail "no package list in $script"

# run UID INSTALLED SUDO ARGS...: sets status, err and log.
run() {
    uid=$1 installed=$2 with_sudo=$3
    shift 3
    : > "$work/log"
    rm -f "$bin/sudo.off"
    [ "$with_sudo" = yes ] || mv "$bin/sudo" "$bin/sudo.off"
    status=0
    PATH=$bin FAKE_UID=$uid FAKE_INSTALLED=$installed FAKE_ARCHS="" FAKE_LOG=$work/log \
        /bin/sh "$script" "$@" > "$work/out" 2> "$work/err" || status=$?
    [ -e "$bin/sudo.off" ] && mv "$bin/sudo.off" "$bin/sudo"
    err=$(cat "$work/err")
    log=$(cat "$work/log")
}

# Everything there: nothing to do, whoever asks.
run 1000 "$all" no
[ "$status" -eq 0 ] && [ -z "$log$err" ] || fail "with everything installed: status $status, $err$log"

# Root: apt-get itself installs only what is missing.
run 0 "$all" no hyperfine
[ "$status" -eq 0 ] || fail "root: status $status: $err"
echo "$log" | grep -qx "apt-get install -y -q --no-install-recommends hyperfine" ||
    fail "root: not 'apt-get install ... hyperfine': $log"

# A user with sudo: through sudo, and the i386 architecture first for Wine.
run 1000 "$all" yes --windows
[ "$status" -eq 0 ] || fail "sudo: status $status: $err"
first=$(echo "$log" | sed -n 1,2p | tr '\n' ' ')
[ "$first" = "sudo dpkg dpkg --add-architecture i386 " ] || fail "sudo: not the architecture first: $log"
echo "$log" | grep -q "^apt-get install .* wine32:i386" || fail "sudo: wine32 not installed: $log"
echo "$log" | grep -q "^sudo apt-get" || fail "sudo: apt-get not through sudo: $log"
[ "$(echo "$log" | tail -1)" = "fetch ../build-windows libspng-dev liblzma-dev libflac-dev" ] ||
    fail "sudo: the libraries' sources not fetched last: $log"

# A user without sudo: nothing run, the packages named, one command for root.
for args in "--package" "--windows"; do
    run 1000 "$all" no $args
    [ "$status" -eq 1 ] || fail "no sudo ($args): status $status, not 1"
    [ -z "$log" ] || fail "no sudo ($args): ran $log"
    echo "$err" | grep -q "sudo: not found" && fail "no sudo ($args): ran sudo"
    command=$(echo "$err" | sed -n 's/^    //p')
    case $args in
        --package) expected="apt-get update && apt-get install -y --no-install-recommends file lintian desktop-file-utils appstream" ;;
        --windows) expected="dpkg --add-architecture i386 && apt-get update && apt-get install -y --no-install-recommends g++-mingw-w64-i686 libz-mingw-w64-dev googletest wine wine32:i386 xdotool" ;;
    esac
    [ "$command" = "$expected" ] || fail "no sudo ($args): the command for root is '$command', not '$expected'"
    echo "$err" | grep -q "missing: $(echo "$expected" | sed 's/.*recommends //')" || fail "no sudo ($args): $err"
done

[ "$failures" -eq 0 ] && echo "install-deps: passed"
exit $((failures > 0))
