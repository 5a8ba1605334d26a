#!/usr/bin/env bash
# Filter database update from nginx on loopback: a database of KEYS URL keys in
# CATEGORIES category files, published with zpfctl publish, fetched and installed with
# zpfctl update. Prints the update's seconds and peak memory next to the time zpfctl
# takes to decipher the same files (the floor: the update deciphers each file once to
# check its end line). Target: within 2 times that floor, peak memory under 20 MB.
#
# Run by hand on Debian 12 after a build: bash bench/update_bench.sh
# Settings (environment): BUILD_DIR=build KEYS=1000000 CATEGORIES=40 PORT=23600 ROUNDS=3
# Everything started here is stopped at the end, and the temporary folder removed.
set -euo pipefail
cd "$(dirname "$0")/.."

BUILD_DIR=${BUILD_DIR:-build}
KEYS=${KEYS:-1000000}
CATEGORIES=${CATEGORIES:-40}
PORT=${PORT:-23600}
ROUNDS=${ROUNDS:-3}
bin=$PWD/$BUILD_DIR/bin
nginx=$(command -v nginx || echo /usr/sbin/nginx)
[ -x "$bin/zpfctl" ] || { echo "update_bench: build zpfctl first ($bin/zpfctl)" >&2; exit 1; }
[ -x "$nginx" ] || { echo "update_bench: nginx is missing (tools/deps.sh installs it)" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "update_bench: /usr/bin/time is missing (apt-get install time)" >&2; exit 1; }

tmp=$(mktemp -d)
nginx_pid=""
cleanup() {
    [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null && wait "$nginx_pid" 2>/dev/null
    rm -rf "$tmp"
}
trap cleanup EXIT

# The plain database: every category gets KEYS / CATEGORIES keys.
src=$tmp/src
mkdir -p "$src"
per=$((KEYS / CATEGORIES))
for c in $(seq 1 "$CATEGORIES"); do
    echo "1|A|0|$((100 + c))|category $c|cat$c.fdb|http://update.invalid/zpfl/cat$c.fdb"
    awk -v c="$c" -v n="$per" 'BEGIN { for (i = 0; i < n; i++) printf "site%d-%d.example/path/\n", c, i }' \
        >"$src/cat$c.fdb"
done >"$src/category2.cnf"
for f in target.fdb nofilup.fdb nofildow.fdb; do echo "sample.example/" >"$src/$f"; done
"$bin/zpfctl" publish "$src" "$tmp/www" >/dev/null
rm -rf "$src"

cat >"$tmp/nginx.conf" <<EOF
daemon off; master_process off; $( [ "$(id -u)" = 0 ] && echo "user root;" )
worker_processes 1; pid $tmp/nginx.pid; error_log $tmp/error.log;
events { worker_connections 64; }
http {
  access_log off;
  client_body_temp_path $tmp/body; proxy_temp_path $tmp/proxy;
  fastcgi_temp_path $tmp/fcgi; uwsgi_temp_path $tmp/uwsgi; scgi_temp_path $tmp/scgi;
  server { listen 127.0.0.1:$PORT; root $tmp/www/; }
}
EOF
"$nginx" -c "$tmp/nginx.conf" -p "$tmp" -e "$tmp/error.log" &
nginx_pid=$!
for _ in $(seq 1 100); do
    curl -s -o /dev/null "http://127.0.0.1:$PORT/zpfl/category2.cnf" && break
    sleep 0.1
done

bytes=$(du -cb "$tmp"/www/zpfl/* | tail -1 | cut -f1)
best_update=""; best_decipher=""; peak=0
for round in $(seq 1 "$ROUNDS"); do
    rm -rf "$tmp/prog"
    cp -r "$bin" "$tmp/prog"
    /usr/bin/time -f "%e %M" -o "$tmp/time" "$tmp/prog/zpfctl" update --quiet --server "http://127.0.0.1:$PORT/"
    read -r seconds kb <"$tmp/time"
    cmp -s "$tmp/prog/cat$CATEGORIES.fdb" "$tmp/www/zpfl/cat$CATEGORIES.fdb" ||
        { echo "update_bench: the update did not install the database" >&2; exit 1; }
    [ "$kb" -gt "$peak" ] && peak=$kb
    if [ -z "$best_update" ] || awk "BEGIN { exit !($seconds < $best_update) }"; then best_update=$seconds; fi
    /usr/bin/time -f "%e" -o "$tmp/time" bash -c "for f in '$tmp'/www/zpfl/*.fdb '$tmp'/www/zpfl/category2.cnf; do
        '$bin/zpfctl' cipher decode \"\$f\" /dev/null || exit 1; done"
    read -r seconds <"$tmp/time"
    if [ -z "$best_decipher" ] || awk "BEGIN { exit !($seconds < $best_decipher) }"; then best_decipher=$seconds; fi
done
echo "| keys | files | bytes | update s | decipher s | ratio | update peak MB |"
echo "|---|---|---|---|---|---|---|"
awk -v k="$KEYS" -v f="$((CATEGORIES + 5))" -v b="$bytes" -v u="$best_update" -v d="$best_decipher" -v m="$peak" \
    'BEGIN { printf "| %d | %d | %d | %.2f | %.2f | %.2f | %.1f |\n", k, f, b, u, d, (d > 0 ? u / d : 0), m / 1024 }'
