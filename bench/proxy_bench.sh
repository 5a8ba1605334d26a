#!/usr/bin/env bash
# Proxy throughput and latency on this machine: nginx directly (the reference), zpf,
# privoxy, tinyproxy and squid, interleaved in one run, for a 2 KB and a 100 KB
# text/html page and a 1 MB binary file at 1, 16 and 64 connections, a new connection
# per request. zpf runs with a database of 100,000 URL keys and 1,000 phrases; the
# others get the same hosts as their blocklist. Also zpf's start-up time (to the first
# relayed request), its peak memory, and optionally a flood of half request headers.
# Prints one markdown table (also kept in build-bench/).
#
# Run by hand, as root or with sudo, on Debian 12: bash bench/proxy_bench.sh
# Settings (environment): ROUNDS=3 RUN_SECONDS=2 WARMUP=0.5 CONNECTIONS="1 16 64"
#   KEYS=100000 PHRASES=1000 BASE_PORT=23000 ACCESSLOG=1 (also zpf with AccessLog=1)
#   PROFILE=1 (perf profile of zpf at 16 connections, into build-bench/) KEEP_TMP=1
#   BASELINE_BIN=DIR (the bin folder of another Release build: measured beside zpf as
#   zpf-before, so a change is compared in one run) PAGES="page2k.html page100k.html page1m.bin"
#   PEERS="privoxy tinyproxy squid" FLOOD=2100 (half headers held open, then a normal
#   request from another address; 0: none)
# Everything started here is stopped at the end, and the temporary folder removed.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

ROUNDS=${ROUNDS:-3}
RUN_SECONDS=${RUN_SECONDS:-2}
WARMUP=${WARMUP:-0.5}
CONNECTIONS=${CONNECTIONS:-"1 16 64"}
KEYS=${KEYS:-100000}
PHRASES=${PHRASES:-1000}
BASE_PORT=${BASE_PORT:-23000}
ACCESSLOG=${ACCESSLOG:-1}
PROFILE=${PROFILE:-0}
KEEP_TMP=${KEEP_TMP:-0}
BASELINE_BIN=${BASELINE_BIN:-}
PAGES=${PAGES:-"page2k.html page100k.html page1m.bin"}
PEERS=${PEERS:-"privoxy tinyproxy squid"}
FLOOD=${FLOOD:-0}

log() { echo "== $*" >&2; }
die() {
    echo "proxy_bench: $*" >&2
    exit 1
}

# --- packages -----------------------------------------------------------------------
missing=()
command -v nginx >/dev/null || [ -x /usr/sbin/nginx ] || missing+=(nginx)
command -v privoxy >/dev/null || [ -x /usr/sbin/privoxy ] || missing+=(privoxy)
command -v tinyproxy >/dev/null || [ -x /usr/bin/tinyproxy ] || missing+=(tinyproxy)
command -v squid >/dev/null || [ -x /usr/sbin/squid ] || missing+=(squid)
command -v python3 >/dev/null || missing+=(python3) # the start-up poller, the flood
if [ ${#missing[@]} -gt 0 ]; then
    log "installing ${missing[*]}"
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO=sudo
    $SUDO apt-get update -qq
    # Where the package scripts may start services, they run on their own default ports;
    # this script never uses those.
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
export PATH=$PATH:/usr/sbin:/sbin

# --- build --------------------------------------------------------------------------
log "building the Release tree build-bench"
buildlog=$root/build-bench/proxy_bench-build.log
mkdir -p build-bench
if ! { cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DBUILD_BENCH=ON -DBUILD_TESTING=OFF &&
    cmake --build build-bench --target zpf zpfctl enciphered_data bench_proxyload -j2; } >"$buildlog" 2>&1; then
    tail -30 "$buildlog" >&2
    die "the build failed (whole output in $buildlog)"
fi
bin=$root/build-bench/bin
load=$bin/bench_proxyload

# --- temporary folder and clean-up --------------------------------------------------
work=$(mktemp -d /tmp/zpf-proxybench.XXXXXX)
chmod 755 "$work" # nginx workers and tinyproxy run as nobody
pids=()
cleanup() {
    local pid n
    for pid in "${pids[@]}"; do
        kill -TERM "$pid" 2>/dev/null || true
    done
    for pid in "${pids[@]}"; do
        for n in $(seq 1 50); do
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.1
        done
        kill -KILL "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    if [ "$KEEP_TMP" = 1 ]; then
        echo "kept $work" >&2
    else
        rm -rf "$work"
    fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

port_busy() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }
next_port=$BASE_PORT
# Sets the named variable to a free port below the ephemeral range, so no client
# socket of the run holds it. (Not in a subshell: each call must move on.)
pick_port() {
    local n
    for n in $(seq 1 200); do
        next_port=$((next_port + 1))
        if ! port_busy "$next_port"; then
            printf -v "$1" %s "$next_port"
            return
        fi
    done
    die "no free port above $BASE_PORT"
}
wait_port() { # pid port name
    local n
    for n in $(seq 1 100); do
        kill -0 "$1" 2>/dev/null || die "$3 ended at start (see $work/$3.out): $(tail -3 "$work/$3.out" 2>/dev/null)"
        port_busy "$2" && return
        sleep 0.1
    done
    die "$3 does not listen on port $2"
}

nginx_port="" zpf_port="" zpflog_port="" zpfbase_port="" privoxy_port="" tinyproxy_port="" squid_port=""
pick_port nginx_port
pick_port zpf_port
pick_port zpflog_port
pick_port zpfbase_port
pick_port privoxy_port
pick_port tinyproxy_port
pick_port squid_port
has_peer() { [[ " $PEERS " == *" $1 "* ]]; }

# --- pages: text/html, words only, never the letter q (every phrase holds one) --------
mkdir -p "$work/www"
make_page() { # bytes file
    awk -v size="$1" 'BEGIN {
        n = split("the news of this day brings light rain over hills while children walk home from " \
                  "school and markets open early for fresh bread fruit and tea by the river", w, " ")
        head = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Sample page</title></head><body>\n<h1>A sample page</h1>\n"
        foot = "</body></html>\n"
        printf "%s", head; used = length(head); i = 0
        while (used + length(foot) + 200 < size) {
            p = "<p>"
            for (k = 0; k < 12; k++) { p = p w[(i * 7 + k * 3) % n + 1] " "; i++ }
            p = p "</p>\n"; printf "%s", p; used += length(p)
        }
        while (used + length(foot) < size) { printf " "; used++ }
        printf "%s", foot
    }' >"$2"
    [ "$(stat -c %s "$2")" -eq "$1" ] || die "page $2 has the wrong size"
    if grep -qi q "$2"; then die "page $2 holds the letter q"; fi
}
make_page 2048 "$work/www/page2k.html"
make_page 102400 "$work/www/page100k.html"
# A binary file is never scanned: it shows the cost of relaying bytes.
head -c 1048576 /dev/urandom >"$work/www/page1m.bin"
chmod 644 "$work"/www/*

# --- hosts of the blocklist ---------------------------------------------------------
awk -v keys="$KEYS" 'BEGIN {
    n = split("news shop video game blog mail photo music forum wiki sport travel food cars money tech home kids style movie", w, " ")
    for (i = 0; i < keys; i++)
        printf "%s-%s-%06d.example\n", w[i % n + 1], w[int(i / n) % n + 1], i
}' >"$work/hosts.txt"
# A listed loopback address, so a blocked request can be checked without leaving it.
echo "127.0.0.9" >>"$work/hosts.txt"

# --- zpf program directory ----------------------------------------------------------
zdir=$work/zpf
mkdir -p "$zdir"
for f in "$bin"/*; do
    case "$(basename "$f")" in bench_*) continue ;; esac
    [ -f "$f" ] && cp -p "$f" "$zdir/"
done
ctl() { "$zdir/zpfctl" --dir "$zdir" "$@"; }
# Category key files from the category list: index, number, key, default (in use), ...
mapfile -t catkeys < <(ctl categories | awk 'NR > 1 { print $3 }')
mapfile -t catuse < <(ctl categories | awk 'NR > 1 { print $4 }')
[ ${#catkeys[@]} -gt 0 ] || die "no categories in $zdir/category2.cnf"
inuse=()
for i in "${!catkeys[@]}"; do [ "${catuse[$i]}" = 1 ] && inuse+=("$i"); done
[ ${#inuse[@]} -gt 0 ] || die "no category is in use"
log "filter database: $KEYS URL keys over ${#catkeys[@]} categories, $PHRASES phrases over ${#inuse[@]}"
for i in "${!catkeys[@]}"; do
    key=${catkeys[$i]}
    plain=$work/plain-$key
    # Keep the shipped sample keys, then the generated ones.
    ctl cipher decode "$zdir/$key" "$plain.orig" >/dev/null
    grep -av '^\*\*\* End of filtering database' "$plain.orig" | tr -d '\000' | sed '/^$/d' >"$plain" || true
    awk -v c="$i" -v cats="${#catkeys[@]}" 'NR % cats == c || (c == 0 && /^127\./) { print $0 "/" }' \
        "$work/hosts.txt" >>"$plain"
    slot=-1
    for s in "${!inuse[@]}"; do [ "${inuse[$s]}" = "$i" ] && slot=$s; done
    if [ "$slot" -ge 0 ]; then
        # Phrases of everyday words ending in q and a number: the pages come close to
        # them all the time but never hold one. Even ones block, odd ones blank.
        awk -v phrases="$PHRASES" -v slot="$slot" -v slots="${#inuse[@]}" 'BEGIN {
            n = split("rain over hills fresh bread fruit school children market river light news", w, " ")
            for (i = slot; i < phrases; i += slots) {
                text = w[i % n + 1] " " w[int(i / n) % n + 1] " q" sprintf("%04d", i)
                if (i % 2 == 0) print "{" text "}"; else print "[" text "]"
            }
        }' >>"$plain"
    fi
    echo "*** End of filtering database. ***" >>"$plain"
    ctl cipher encode "$plain" "$zdir/$key" >/dev/null
done
set_setting() { # dir key value
    sed -i -E "s/^$2=[^\r]*(\r?)$/$2=$3\1/" "$1/zpf.cnf"
    grep -q "^$2=$3" "$1/zpf.cnf" || die "could not set $2 in $1/zpf.cnf"
}
set_setting "$zdir" Port "$zpf_port"
set_setting "$zdir" AccessLog 0
# The database must hold the generated keys, and the pages must pass the phrase filters
# that will scan them.
ctl lookup "http://news-news-000000.example/" | grep -q '^blocked categories hit [1-9]' ||
    die "the enlarged database does not block a listed host"
for page in page2k page100k; do
    out=$(ctl scan "$work/www/$page.html")
    grep -q '^passed' <<<"$out" || die "$page.html is blocked by the phrase filters"
    filters=$(head -1 <<<"$out")
    grep -q '^[1-9][0-9]* block filters, [1-9][0-9]* replace filters' <<<"$filters" ||
        die "no response phrase filters: $filters"
done
log "zpf response filters: $filters"
if [ -n "$BASELINE_BIN" ]; then
    # The same program directory and database, with the other build's programs.
    cp -a "$zdir" "$work/zpfbase"
    for f in "$BASELINE_BIN"/zpf "$BASELINE_BIN"/libravlin.so*; do
        [ -e "$f" ] || die "BASELINE_BIN has no $(basename "$f")"
        rm -f "$work/zpfbase/$(basename "$f")"
        cp -a "$f" "$work/zpfbase/"
    done
    set_setting "$work/zpfbase" Port "$zpfbase_port"
fi
if [ "$ACCESSLOG" = 1 ]; then
    cp -a "$zdir" "$work/zpflog"
    set_setting "$work/zpflog" Port "$zpflog_port"
    set_setting "$work/zpflog" AccessLog 1
fi

# --- nginx --------------------------------------------------------------------------
mkdir -p "$work/nginx"
cat >"$work/nginx/nginx.conf" <<EOF
worker_processes auto;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log;
daemon off;
events { worker_connections 4096; }
http {
    access_log off;
    sendfile on;
    keepalive_timeout 0;
    client_body_temp_path $work/nginx/body;
    proxy_temp_path $work/nginx/proxy;
    fastcgi_temp_path $work/nginx/fastcgi;
    uwsgi_temp_path $work/nginx/uwsgi;
    scgi_temp_path $work/nginx/scgi;
    types { text/html html; application/octet-stream bin; }
    server {
        listen 127.0.0.1:$nginx_port backlog=1024;
        root $work/www;
    }
}
EOF
nginx -c "$work/nginx/nginx.conf" -e "$work/nginx/error.log" >"$work/nginx.out" 2>&1 &
pids+=($!)
nginx_pid=$!
wait_port "$nginx_pid" "$nginx_port" nginx

# --- privoxy: the hosts as block patterns, no other actions or filters ---------------
if has_peer privoxy; then
mkdir -p "$work/privoxy"
{
    echo "{ +block{listed in the benchmark blocklist} }"
    cat "$work/hosts.txt"
} >"$work/privoxy/bench.action"
templates=/etc/privoxy/templates
cat >"$work/privoxy/config" <<EOF
confdir $work/privoxy
templdir $templates
actionsfile bench.action
listen-address 127.0.0.1:$privoxy_port
toggle 1
enable-remote-toggle 0
enable-remote-http-toggle 0
enable-edit-actions 0
max-client-connections 1024
socket-timeout 30
EOF
privoxy --no-daemon "$work/privoxy/config" >"$work/privoxy.out" 2>&1 &
pids+=($!)
privoxy_pid=$!
wait_port "$privoxy_pid" "$privoxy_port" privoxy
fi

# --- tinyproxy: the hosts as domain filters (shell patterns, the cheapest kind) ------
if has_peer tinyproxy; then
mkdir -p "$work/tinyproxy"
cp "$work/hosts.txt" "$work/tinyproxy/filter"
chmod 644 "$work/tinyproxy/filter"
cat >"$work/tinyproxy/tinyproxy.conf" <<EOF
User nobody
Group nogroup
Port $tinyproxy_port
Listen 127.0.0.1
Timeout 30
MaxClients 1024
LogLevel Critical
PidFile "$work/tinyproxy/tinyproxy.pid"
Allow 127.0.0.1
Filter "$work/tinyproxy/filter"
FilterType fnmatch
FilterURLs Off
FilterDefaultDeny No
DisableViaHeader Yes
EOF
tinyproxy -d -c "$work/tinyproxy/tinyproxy.conf" >"$work/tinyproxy.out" 2>&1 &
pids+=($!)
tinyproxy_pid=$!
wait_port "$tinyproxy_pid" "$tinyproxy_port" tinyproxy
fi

# --- squid: the hosts as a dstdomain list, no cache, no logs --------------------------
if has_peer squid; then
    mkdir -p "$work/squid"
    chmod 777 "$work/squid" # squid drops to its own user
    cp "$work/hosts.txt" "$work/squid/hosts"
    chmod 644 "$work/squid/hosts"
    cat >"$work/squid/squid.conf" <<EOF
http_port 127.0.0.1:$squid_port
pid_filename $work/squid/squid.pid
cache_log $work/squid/cache.log
access_log none
cache deny all
cache_mem 8 MB
coredump_dir $work/squid
visible_hostname zpfbench
dns_nameservers 127.0.0.1
netdb_filename none
pinger_enable off
shutdown_lifetime 0 seconds
max_filedescriptors 4096
acl blocked dstdomain -n "$work/squid/hosts"
acl local src 127.0.0.0/8
http_access deny blocked
http_access allow local
http_access deny all
EOF
    squid -N -f "$work/squid/squid.conf" >"$work/squid.out" 2>&1 &
    pids+=($!)
    squid_pid=$!
    wait_port "$squid_pid" "$squid_port" squid
fi

# --- zpf ----------------------------------------------------------------------------
# Start-up: from the start of the program to its first relayed request, the figure a
# user waits for after a restart. A small poller starts zpf itself and tries a request
# every millisecond, so the figure holds no process starts of the script's own.
start_zpf() { # dir port name; sets started_pid and started_seconds
    local result
    result=$(python3 - "$1/zpf" "$2" "$work/$3.out" "$nginx_port" <<'PYEOF'
import socket, subprocess, sys, time
program, port, out, origin = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4]
request = ("GET http://127.0.0.1:%s/page2k.html HTTP/1.1\r\nHost: 127.0.0.1:%s\r\n"
           "Connection: close\r\n\r\n" % (origin, origin)).encode()
t0 = time.monotonic()
proxy = subprocess.Popen([program], stdout=open(out, "wb"), stderr=subprocess.STDOUT)
while time.monotonic() - t0 < 20:
    if proxy.poll() is not None:
        print(proxy.pid, "ended")
        sys.exit(0)
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=5) as s:
            s.sendall(request)
            reply = b""
            while True:
                chunk = s.recv(65536)
                if not chunk:
                    break
                reply += chunk
        if reply[9:12] == b"200" and len(reply) > 2048:
            print(proxy.pid, "%.3f" % (time.monotonic() - t0))
            sys.exit(0)
    except OSError:
        pass
    time.sleep(0.001)
print(proxy.pid, "timeout")
PYEOF
    )
    started_pid=${result%% *}
    started_seconds=${result#* }
    [ -n "$started_pid" ] && pids+=($started_pid)
    case "$started_seconds" in
    ended) die "$3 ended at start (see $work/$3.out): $(tail -3 "$work/$3.out")" ;;
    timeout | "") die "$3 does not relay on port $2" ;;
    esac
}
declare -A startup_of=()
start_zpf "$zdir" "$zpf_port" zpf
zpf_pid=$started_pid
startup_of[zpf]=$started_seconds
if [ -n "$BASELINE_BIN" ]; then
    start_zpf "$work/zpfbase" "$zpfbase_port" zpf-before
    zpfbase_pid=$started_pid
    startup_of[zpf-before]=$started_seconds
fi
if [ "$ACCESSLOG" = 1 ]; then
    "$work/zpflog/zpf" >"$work/zpflog.out" 2>&1 &
    pids+=($!)
    zpflog_pid=$!
    wait_port "$zpflog_pid" "$zpflog_port" zpflog
fi

# --- sanity: every target must serve both pages whole before it is measured ----------
declare -A proxy_of=([nginx]="" [zpf]="127.0.0.1:$zpf_port" [zpf-accesslog]="127.0.0.1:$zpflog_port"
    [zpf-before]="127.0.0.1:$zpfbase_port" [privoxy]="127.0.0.1:$privoxy_port"
    [tinyproxy]="127.0.0.1:$tinyproxy_port" [squid]="127.0.0.1:$squid_port")
declare -A pid_of=([nginx]=$nginx_pid [zpf]=$zpf_pid [zpf-accesslog]=${zpflog_pid:-0}
    [zpf-before]=${zpfbase_pid:-0} [privoxy]=${privoxy_pid:-0} [tinyproxy]=${tinyproxy_pid:-0} [squid]=${squid_pid:-0})
candidates=(nginx zpf)
[ -n "$BASELINE_BIN" ] && candidates+=(zpf-before)
[ "$ACCESSLOG" = 1 ] && candidates+=(zpf-accesslog)
for p in privoxy tinyproxy squid; do has_peer "$p" && candidates+=("$p"); done
targets=()
notes=()
run_load() { # target page connections [extra options...]
    local target=$1 page=$2 conns=$3
    shift 3
    local via=()
    [ -n "${proxy_of[$target]}" ] && via=(--proxy "${proxy_of[$target]}")
    "$load" --url "http://127.0.0.1:$nginx_port/$page" "${via[@]}" --connections "$conns" \
        --expect-body "$work/www/$page" --label "$target" "$@"
}
for t in "${candidates[@]}"; do
    ok=1
    for page in $PAGES; do
        if ! out=$(run_load "$t" "$page" 1 --requests 1 --timeout 5); then
            why=$(sed -n 's/^failures.*(first: \(.*\))$/\1/p' <<<"$out")
            case $t in
            zpf*) notes+=("$t: not forwarding yet (GET $page through it: ${why:-no answer}); not measured") ;;
            *) notes+=("$t: GET $page through it failed (${why:-no answer}); not measured") ;;
            esac
            ok=0
            break
        fi
    done
    [ $ok = 1 ] && targets+=("$t")
done
# The blocklists are live: a listed host is refused by the other proxies.
for t in privoxy tinyproxy squid; do
    has_peer "$t" || continue
    if out=$("$load" --url "http://127.0.0.9:$nginx_port/page2k.html" --proxy "${proxy_of[$t]}" --requests 1 \
        --timeout 5 --expect-status 403 2>&1); then
        :
    else
        notes+=("$t: a listed host was not refused ($(sed -n 's/^failures.*(first: \(.*\))$/\1/p' <<<"$out"))")
    fi
done
for n in "${notes[@]}"; do log "$n"; done
[[ " ${targets[*]} " == *" nginx "* ]] || die "nginx does not serve the pages"

# --- measuring ----------------------------------------------------------------------
[ "$PROFILE" = 1 ] && : >"$root/build-bench/proxy_bench-profile.txt"
ticks=$(getconf CLK_TCK)
cpu_ticks() { # pid: CPU ticks of the process and its child processes (nginx workers)
    local p total=0 stat rest
    for p in $1 $(ps -o pid= --ppid "$1" 2>/dev/null); do
        stat=$(cat "/proc/$p/stat" 2>/dev/null) || continue
        rest=${stat##*) }
        read -r -a f <<<"$rest"
        total=$((total + f[11] + f[12]))
    done
    echo "$total"
}
thread_count() { # pid: threads of the process and its child processes
    local p total=0 n
    for p in $1 $(ps -o pid= --ppid "$1" 2>/dev/null); do
        n=$(awk '/^Threads:/ { print $2 }' "/proc/$p/status" 2>/dev/null) || n=0
        total=$((total + ${n:-0}))
    done
    echo "$total"
}
listen_overflows() { # connections the kernel dropped because an accept queue was full
    awk '/^TcpExt:/ { if (!h) { for (i = 1; i <= NF; i++) n[i] = $i; h = 1 } else for (i = 1; i <= NF; i++)
        if (n[i] == "ListenOverflows") print $i }' /proc/net/netstat 2>/dev/null || echo 0
}
results=$work/results.txt
: >"$results"
run_seconds_total=$(awk -v a="$RUN_SECONDS" -v b="$WARMUP" 'BEGIN { print a + b }')
samples=$(awk -v s="$run_seconds_total" 'BEGIN { printf "%d", s * 10 + 1 }')
measure() { # target page connections round
    local target=$1 page=$2 conns=$3 round=$4 pid=${pid_of[$1]} before after peak=0 sampler out line drops
    before=$(cpu_ticks "$pid")
    drops=$(listen_overflows)
    # Peak thread count while the run lasts, sampled ten times a second.
    (
        m=0
        for _ in $(seq 1 "$samples"); do
            n=$(thread_count "$pid")
            [ "$n" -gt "$m" ] && m=$n
            echo "$m" >"$work/peak"
            sleep 0.1
        done
    ) &
    sampler=$!
    out=$(run_load "$target" "$page" "$conns" --duration "$RUN_SECONDS" --warmup "$WARMUP") || true
    after=$(cpu_ticks "$pid")
    drops=$(($(listen_overflows) - drops))
    wait "$sampler" 2>/dev/null || true
    peak=$(cat "$work/peak" 2>/dev/null || echo 0)
    line=$(sed -n 's/^RESULT //p' <<<"$out")
    [ -n "$line" ] || die "no result from the load generator for $target: $out"
    awk -v page="$page" -v conns="$conns" -v target="$target" -v round="$round" -v cpu=$((after - before)) \
        -v ticks="$ticks" -v peak="$peak" -v drops="$drops" '{
            for (i = 1; i <= NF; i++) { split($i, kv, "="); v[kv[1]] = kv[2] }
            total = v["requests"] + v["errors"]
            cpuus = total > 0 ? cpu / ticks * 1e6 / total : 0
            printf "%s %s %s %s %s %s %s %s %.0f %s %s\n", page, conns, target, round, v["rps"], v["median_ms"], \
                v["p99_ms"], v["errors"], cpuus, peak, drops
        }' <<<"$line" >>"$results"
}
# --- flood of half request headers ------------------------------------------------------
# FLOOD connections each send half a request header and wait, from one address and then
# spread over 16; meanwhile another address asks for the 2 KB page. Opening gives up after
# 60 s in all, and everything is closed at the end.
flood() { # target sources
    python3 - "${proxy_of[$1]##*:}" "$nginx_port" "$FLOOD" "$2" <<'PY'
import resource, select, socket, sys, time
port, origin, count, sources = (int(a) for a in sys.argv[1:5])
soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
resource.setrlimit(resource.RLIMIT_NOFILE, (max(soft, min(hard, count + 256)), hard))
half = b"GET http://127.0.0.1:%d/page2k.html HTTP/1.0\r\nUser-Agent: half" % origin
held, begin = [], time.monotonic()
for i in range(count):
    if time.monotonic() - begin > 60:
        break
    s = socket.socket()
    s.settimeout(5)
    try:
        s.bind(("127.0.0.%d" % (10 + i % sources), 0))
        s.connect(("127.0.0.1", port))
        s.sendall(half)
        held.append(s)
    except OSError:
        s.close()
opened = time.monotonic() - begin
time.sleep(0.5)
refused = 0
for s in held:
    poller = select.poll()  # select() cannot take descriptors above 1023
    poller.register(s, select.POLLIN)
    if poller.poll(0):
        try:
            refused += s.recv(64).startswith(b"HTTP/1.1 503")
        except OSError:
            pass
def ask(address):
    began = time.monotonic()
    c = socket.create_connection(("127.0.0.1", port), timeout=10, source_address=(address, 0))
    c.sendall(b"GET http://127.0.0.1:%d/page2k.html HTTP/1.0\r\n\r\n" % origin)
    answer = b""
    try:
        while b"\r\n" not in answer:
            part = c.recv(256)
            if not part:
                break
            answer += part
    except OSError:
        pass
    c.close()
    return (answer.split(b"\r\n")[0].decode(errors="replace") or "no answer"), time.monotonic() - began
other, took = ask("127.0.0.2")
same, _ = ask("127.0.0.10")
print("%d of %d opened in %.1f s from %d address(es), %d answered 503; another address: %s in %.3f s; "
      "a flooding address: %s" % (len(held), count, opened, sources, refused, other, took, same))
for s in held:
    s.close()
PY
}
load_before=$(cut -d' ' -f1-3 /proc/loadavg) # other work on the machine skews every figure
log "measuring ${targets[*]}: $ROUNDS rounds of ${RUN_SECONDS}s (+${WARMUP}s warm-up) per figure"
for page in $PAGES; do
    for conns in $CONNECTIONS; do
        for round in $(seq 1 "$ROUNDS"); do
            # Each round starts with another target, so none always follows the same one.
            count=${#targets[@]}
            for k in $(seq 0 $((count - 1))); do
                t=${targets[$(((k + round - 1) % count))]}
                [ "$t" = zpf-accesslog ] && [ "$page" != page2k.html ] && continue
                measure "$t" "$page" "$conns" "$round"
            done
        done
        log "$page, $conns connections done"
    done
done

cp "$results" "$root/build-bench/proxy_bench-rounds.txt" # kept even if the table fails
# Peak memory under load, before a flood adds its sessions.
declare -A rss_of=()
for t in zpf zpf-before; do
    [ -n "${startup_of[$t]:-}" ] || continue
    rss_of[$t]=$(awk '/^VmHWM:/ { printf "%.1f", $2 / 1024 }' "/proc/${pid_of[$t]}/status" 2>/dev/null || echo "?")
done
: >"$work/flood.txt"
if [ "$FLOOD" != 0 ]; then
    for t in zpf zpf-before; do
        [[ " ${targets[*]} " == *" $t "* ]] || continue
        for sources in 1 16; do
            log "flood: $FLOOD half headers at $t from $sources address(es)"
            echo "- flood, $t: $(flood "$t" "$sources")" >>"$work/flood.txt"
            sleep 2 # the proxy ends the closed sessions
        done
    done
fi

# --- table: the median of the rounds of each figure ---------------------------------
table=$(awk -v order_of_targets="${candidates[*]}" '
    function median(list,   n, a, i, j, t) {
        n = split(list, a, " ")
        for (i = 2; i <= n; i++) { t = a[i]; for (j = i - 1; j >= 1 && a[j] + 0 > t + 0; j--) a[j + 1] = a[j]; a[j + 1] = t }
        return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
    }
    {
        group = $1 " " $2
        if (!(group in seen)) { seen[group] = 1; groups[++ngroups] = group }
        key = group " " $3
        rps[key] = rps[key] " " $5; med[key] = med[key] " " $6; p99[key] = p99[key] " " $7
        err[key] += $8; cpu[key] = cpu[key] " " $9; if ($10 > peak[key]) peak[key] = $10; drops[key] += $11
    }
    END {
        ntargets = split(order_of_targets, names, " ")
        print "| target | page | conns | req/s | vs nginx | median ms | p99 ms | added median ms | server CPU us/req | peak threads | listen drops | errors |"
        print "|---|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|"
        for (g = 1; g <= ngroups; g++) {
            split(groups[g], k, " ")
            ref = groups[g] " nginx"
            rr = (ref in rps) ? median(rps[ref]) : 0; rm = (ref in med) ? median(med[ref]) : 0
            size = k[1] == "page2k.html" ? "2 KB" : k[1] == "page100k.html" ? "100 KB" : "1 MB bin"
            for (t = 1; t <= ntargets; t++) {
                key = groups[g] " " names[t]
                if (!(key in rps)) continue
                r = median(rps[key]); m = median(med[key])
                ratio = rr > 0 ? 100 * r / rr : 0
                printf "| %s | %s | %s | %.0f | %.1f %% | %.3f | %.3f | %+.3f | %.0f | %d | %d | %d |\n", names[t], size, \
                    k[2], r, ratio, m, median(p99[key]), m - rm, median(cpu[key]), peak[key], drops[key], err[key]
            }
        }
        # The goals, against nginx in the same run.
        print ""
        goal("zpf, 2 KB, 16 connections, at least 40 % of nginx", "page2k.html 16", 40)
        goal("zpf, 100 KB with the phrase filters, 16 connections, at least 15 % of nginx", "page100k.html 16", 15)
        goal("zpf, 1 MB binary, 16 connections, at least 60 % of nginx", "page1m.bin 16", 60)
        for (p = 1; p <= 2; p++) {
            page = p == 1 ? "page2k.html" : "page100k.html"
            key = page " 64 zpf"
            if (!(key in rps)) continue
            q = median(p99[key])
            printf "- goal: zpf, %s, 64 connections, no listen drops and p99 under 50 ms: %d drops, p99 %.3f ms (%s)\n", \
                page, drops[key], q, ((drops[key] == 0 && q < 50) ? "met" : "missed")
        }
    }
    function goal(text, group, percent,   r) {
        if (!((group " zpf") in rps) || !((group " nginx") in rps)) return
        r = 100 * median(rps[group " zpf"]) / median(rps[group " nginx"])
        printf "- goal: %s: %.1f %% (%s)\n", text, r, (r >= percent ? "met" : "missed")
    }' "$results")
{
    echo "Proxy benchmark, $(date -u +%Y-%m-%dT%H:%MZ), $(nproc) cores, median of $ROUNDS rounds of ${RUN_SECONDS}s;" \
        "load average before $load_before, after $(cut -d' ' -f1-3 /proc/loadavg)"
    echo "zpf: $KEYS URL keys + $PHRASES phrases ($filters); $PEERS: the same $KEYS hosts as blocklist"
    echo
    echo "$table"
    echo
    for t in zpf zpf-before; do
        [ -n "${startup_of[$t]:-}" ] || continue
        echo "- $t: start-up to the first relayed request ${startup_of[$t]} s (goal 0.06 s);" \
            "peak memory under load ${rss_of[$t]} MB (goal 30 MB)"
    done
    [ -s "$work/flood.txt" ] && cat "$work/flood.txt"
    echo
    echo "server CPU: the server's processes, per request; peak threads: sampled every 0.1 s;"
    echo "listen drops: connections the kernel dropped from a full accept queue (each costs that client a 1 s retry)."
    for n in "${notes[@]}"; do echo "- $n"; done
} | tee "$root/build-bench/proxy_bench-results.md"
# Every round's figures: page conns target round rps median p99 errors cpu threads drops
cp "$results" "$root/build-bench/proxy_bench-rounds.txt"

# --- optional profile of zpf under load --------------------------------------------
# System wide, because a session thread is born after perf would attach to the process;
# the report keeps zpf's threads only.
if [ "$PROFILE" = 1 ] && [[ " ${targets[*]} " == *" zpf "* ]] && command -v perf >/dev/null; then
    for page in page2k.html page100k.html; do
        log "profiling zpf ($page, 16 connections)"
        perf record -e cpu-clock -F 999 -a -g -o "$work/perf.data" -- sleep 3 >/dev/null 2>&1 &
        perfpid=$!
        run_load zpf "$page" 16 --duration 3 >/dev/null || true
        wait "$perfpid" || true
        {
            echo "== zpf, $page, 16 connections: share of all samples by program"
            # head ends the pipes early; that is no failure here.
            perf report -i "$work/perf.data" --stdio --no-children --sort comm -g none 2>/dev/null |
                grep -E '^ +[0-9]' | head -6 || true
            echo "== zpf's own samples by function (self)"
            perf report -i "$work/perf.data" --stdio --no-children --comm zpf --sort dso,symbol -g none 2>/dev/null |
                grep -E '^ +[0-9]' | head -25 || true
            echo "== zpf's samples by call (including callees; share of zpf's own samples)"
            perf report -i "$work/perf.data" --stdio --children --percentage relative --comm zpf --sort symbol \
                -g none 2>/dev/null | grep -E '^ +[0-9]' |
                grep -E ' (ContentMatcher::[A-Za-z<>]+|PhraseFilter[A-Za-z]*::[A-Za-z]+|clone3|__x64_sys_(exit|munmap|madvise|mprotect|sendto|recvfrom|poll|close|shutdown|connect|socket|accept4|openat|write)|AccessLogger::[A-Za-z]+) ' |
                head -30 || true
        } | tee -a "$root/build-bench/proxy_bench-profile.txt"
    done
fi
