#!/usr/bin/env bash
# Requests per second and latency of the local web server (tavo-web-serve, the web router on
# one libuv thread) against nginx (one worker) serving the same folder in the same run, for
# /index.html and a 1 MB asset, under wrk. Prints both and the ratio. Then the server's peak
# resident memory while it sends a 200 MB file, and how long /index.html takes meanwhile.
# Without wrk the request rates are skipped; without nginx, the figures beside nginx's.
#
# Usage: bash bench/web/run_web_bench.sh [build folder]      (default: build/)
# Tunables: BENCH_SECONDS (10), BENCH_CONNECTIONS (16), BENCH_THREADS (1).
# Each path is measured with keep-alive (wrk's default) and with a connection per request
# ("Connection: close"), both servers the same way.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=${1:-$top/build}
seconds=${BENCH_SECONDS:-10}
connections=${BENCH_CONNECTIONS:-16}
threads=${BENCH_THREADS:-1}
serve=$build/bin/tavo-web-serve
for tool in python3 curl; do
  command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 1; }
done
have_wrk=$(command -v wrk >/dev/null && echo 1 || echo 0)
nginx_bin=$(command -v nginx || { [ -x /usr/sbin/nginx ] && echo /usr/sbin/nginx; } || true)
[ "$have_wrk" = 1 ] || echo "wrk is not installed: request rates skipped (apt-get install wrk)"
[ -n "$nginx_bin" ] || echo "nginx is not installed: no figures beside nginx's (apt-get install nginx-light)"
[ -x "$serve" ] && [ -d "$build/bin/htmllocal" ] || cmake --build "$build" --target tavo-web-serve tavo_htmllocal

work=$(mktemp -d /tmp/tavo-web-bench-XXXXXX)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/www" "$work/tmp"
cp -r "$build/bin/htmllocal/." "$work/www/"
head -c 1048576 /dev/urandom > "$work/www/asset-1mb.js"
truncate -s 200M "$work/www/big-200mb.bin"   # sparse: no disk, no page cache to speak of
# nginx's workers may run as another user (nobody, when started as root).
chmod -R a+rX "$work"

free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1]); s.close()'
}

# The local web server.
"$serve" --folder "$work/www" > "$work/serve.out" 2>&1 &
pids+=($!)
for _ in $(seq 100); do grep -q '^listening' "$work/serve.out" && break; sleep 0.05; done
tavo_port=$(awk '/^listening/ {print $2}' "$work/serve.out")
[ -n "$tavo_port" ] || { cat "$work/serve.out"; exit 1; }

# The server's memory (VmHWM: peak resident set, VmRSS: now) in MiB.
memory_mib() { awk -v key="$2:" '$1 == key { printf "%.1f", $2 / 1024 }' "/proc/$1/status"; }
serve_pid=${pids[0]}

printf '\nLocal web server sending a 200 MB file\n'
rss_before=$(memory_mib "$serve_pid" VmRSS)
hwm_before=$(memory_mib "$serve_pid" VmHWM)
# One reader at full speed, four slow ones (20 MB/s) at once; meanwhile /index.html is timed.
curl -sf -o /dev/null "http://127.0.0.1:$tavo_port/big-200mb.bin" &
fast=$!
slow=()
for _ in 1 2 3 4; do
  curl -sf -o /dev/null --limit-rate 20M "http://127.0.0.1:$tavo_port/big-200mb.bin" &
  slow+=($!)
done
sleep 1
small_ms=()
for _ in $(seq 5); do
  small_ms+=("$(curl -sf -o /dev/null -w '%{time_total}' "http://127.0.0.1:$tavo_port/index.html" |
    python3 -c 'import sys; print(f"{float(sys.stdin.read()) * 1000:.1f}")')")
done
wait "$fast"
rss_during=$(memory_mib "$serve_pid" VmRSS)
for pid in "${slow[@]}"; do kill "$pid" 2>/dev/null || true; done
wait "${slow[@]}" 2>/dev/null || true
printf '  resident memory before: %s MiB (peak so far %s MiB)\n' "$rss_before" "$hwm_before"
printf '  resident memory while 5 readers take it: %s MiB; peak: %s MiB\n' "$rss_during" \
  "$(memory_mib "$serve_pid" VmHWM)"
printf '  /index.html meanwhile, 5 requests: %s ms\n' "${small_ms[*]}"

[ "$have_wrk" = 1 ] || exit 0

nginx_port=
if [ -n "$nginx_bin" ]; then
  # nginx on a free loopback port with a temporary configuration, no root needed.
  nginx_port=$(free_port)
  cat > "$work/nginx.conf" <<CONF
daemon off;
worker_processes 1;
pid $work/nginx.pid;
error_log $work/nginx-error.log warn;
events { worker_connections 4096; }
http {
  access_log off;
  sendfile on;
  tcp_nopush on;
  keepalive_requests 100000;
  client_body_temp_path $work/tmp/body;
  proxy_temp_path $work/tmp/proxy;
  fastcgi_temp_path $work/tmp/fastcgi;
  uwsgi_temp_path $work/tmp/uwsgi;
  scgi_temp_path $work/tmp/scgi;
  types { text/html html; application/javascript js; text/css css; image/png png; }
  default_type text/plain;
  server {
    listen 127.0.0.1:$nginx_port;
    root $work/www;
  }
}
CONF
  "$nginx_bin" -p "$work" -e "$work/nginx-error.log" -c "$work/nginx.conf" &
  pids+=($!)
  for _ in $(seq 100); do
    python3 -c "import socket; socket.create_connection(('127.0.0.1', $nginx_port), 0.2)" 2>/dev/null && break
    sleep 0.05
  done

  # Both must serve the same bytes before they are compared.
  for path in /index.html /asset-1mb.js; do
    a=$(curl -sf "http://127.0.0.1:$tavo_port$path" | sha256sum)
    b=$(curl -sf "http://127.0.0.1:$nginx_port$path" | sha256sum)
    if [ "$a" != "$b" ]; then
      echo "the two servers answer $path differently; nginx log:" >&2
      cat "$work/nginx-error.log" >&2
      exit 1
    fi
  done
fi

# A wrk latency ("812.00us", "3.41ms", "1.02s") in milliseconds.
to_ms() {
  python3 -c "
import re, sys
value, unit = re.match(r'([0-9.]+)([a-z]+)', sys.argv[1]).groups()
print(float(value) * {'us': 0.001, 'ms': 1, 's': 1000, 'm': 60000}[unit])" "$1"
}

# Runs wrk and prints: requests/s, average, p50 and p99 latency, errors.
measure() {
  local out
  out=$(wrk -t"$threads" -c"$connections" -d"${seconds}s" --latency "$@")
  awk '
    /Requests\/sec:/ { rps = $2 }
    /^    Latency/ { avg = $2 }
    /^ +50%/ { p50 = $2 }
    /^ +99%/ { p99 = $2 }
    /Socket errors:/ { errors = $0; sub(/.*Socket errors: /, "", errors) }
    /Non-2xx/ { non2xx = $NF }
    END {
      e = (errors == "" ? "none" : errors)
      if (non2xx != "") e = e ", non-2xx " non2xx
      printf "%s %s %s %s %s\n", rps, avg, p50, p99, e
    }' <<< "$out"
}

peer=${nginx_port:+ vs nginx}
printf '\nLocal web server%s, %ss per run, %s connections, %s wrk thread(s)\n' "$peer" "$seconds" "$connections" "$threads"
printf '%-14s %-30s %12s %10s %10s %10s  %s\n' "path" "server" "requests/s" "avg" "p50" "p99" "socket errors"
row() { printf '%-14s %-30s %12s %10s %10s %10s  %s\n' "$@"; }
ratio() { python3 -c "print(f'{$1 / $2:.2f}')"; }
for path in /index.html /asset-1mb.js; do
  for mode in keep-alive close; do
    header=()
    [ "$mode" = close ] && header=(-H 'Connection: close')
    read -r t_rps t_avg t_p50 t_p99 t_err < <(measure "${header[@]}" "http://127.0.0.1:$tavo_port$path")
    row "$path" "tavo-web-serve ($mode)" "$t_rps" "$t_avg" "$t_p50" "$t_p99" "$t_err"
    [ -n "$nginx_port" ] || continue
    read -r n_rps n_avg n_p50 n_p99 n_err < <(measure "${header[@]}" "http://127.0.0.1:$nginx_port$path")
    row "$path" "nginx ($mode)" "$n_rps" "$n_avg" "$n_p50" "$n_p99" "$n_err"
    printf '%-14s ratio tavo/nginx (%s): requests/s %s, p99 %s\n' "$path" "$mode" "$(ratio "$t_rps" "$n_rps")" \
      "$(ratio "$(to_ms "$t_p99")" "$(to_ms "$n_p99")")"
  done
done
