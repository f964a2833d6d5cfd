#!/usr/bin/env bash
# Downloads a 1 GiB file from a local nginx (Debian's nginx-light, one process, sendfile on)
# with `lorvex get --out`, `curl -o` and `wget -O`, interleaved, ROUNDS times each, and
# prints the median wall time, throughput and peak memory of each tool and lorvex's ratio to
# curl; then the same over https (TLS on the same nginx with a certificate from a test
# authority made here, which each tool is told to trust). A 128 MiB file is fetched by lorvex
# too, to show that its peak memory does not grow with the file. Everything it writes goes
# under bench/out/http/ (git-ignored).
#
#   bench/http/run.sh            # ROUNDS=5 by default
#   ROUNDS=3 bench/http/run.sh
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
"$here/scripts/setup" --bench >&2  # the peers compared against; stdout stays the results
out="$here/bench/out/http"
rounds=${ROUNDS:-5}
port=${PORT:-18481}
mkdir -p "$out/www" "$out/logs" "$out/dl"

cmake --preset native >/dev/null
cmake --build --preset native --target lorvex >/dev/null
tool="$here/build/native/lorvex"

big="$out/www/big.bin"; small="$out/www/small.bin"
[ "$(stat -c %s "$big" 2>/dev/null || echo 0)" = 1073741824 ] ||
  head -c 1073741824 /dev/urandom >"$big"
[ "$(stat -c %s "$small" 2>/dev/null || echo 0)" = 134217728 ] || head -c 134217728 "$big" >"$small"

tls_port=$((port + 1))
if [ ! -f "$out/server.pem" ]; then
  openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 30 \
    -keyout "$out/ca.key" -out "$out/ca.pem" -subj "/CN=bench authority" \
    -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign 2>/dev/null
  openssl req -new -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes \
    -keyout "$out/server.key" -out "$out/server.csr" -subj /CN=127.0.0.1 2>/dev/null
  printf 'subjectAltName=IP:127.0.0.1\nextendedKeyUsage=serverAuth\n' >"$out/server.ext"
  openssl x509 -req -in "$out/server.csr" -CA "$out/ca.pem" -CAkey "$out/ca.key" \
    -CAcreateserial -days 30 -extfile "$out/server.ext" -out "$out/server.pem" 2>/dev/null
fi

cat >"$out/nginx.conf" <<CONF
worker_processes 1;
daemon off;
master_process off;
pid $out/logs/nginx.pid;
error_log $out/logs/error.log;
events { worker_connections 64; }
http {
  access_log off;
  sendfile on;
  tcp_nopush on;
  client_body_temp_path $out/logs;
  proxy_temp_path $out/logs;
  fastcgi_temp_path $out/logs;
  uwsgi_temp_path $out/logs;
  scgi_temp_path $out/logs;
  types { application/octet-stream bin; }
  server {
    listen 127.0.0.1:$port;
    root $out/www;
  }
  server {
    listen 127.0.0.1:$tls_port ssl;
    ssl_certificate $out/server.pem;
    ssl_certificate_key $out/server.key;
    root $out/www;
  }
}
CONF
"$(PATH="$PATH:/usr/sbin" command -v nginx)" -c "$out/nginx.conf" -p "$out" &
nginx_pid=$!
trap 'kill $nginx_pid 2>/dev/null || true; rm -f "$out"/dl/*' EXIT
for _ in $(seq 50); do curl -sf -o /dev/null "http://127.0.0.1:$port/small.bin" -r 0-0 && break; sleep 0.1; done

url="http://127.0.0.1:$port/big.bin"
tls_url="https://127.0.0.1:$tls_port/big.bin"
results="$out/results.txt"
: >"$results"
measure() {  # name command...
  local name=$1; shift
  rm -f "$out"/dl/*
  sync
  command time -f "$name %e %M" -a -o "$results" "$@" >/dev/null
  local got; got=$(stat -c %s "$out/dl/file")
  [ "$got" = "$(stat -c %s "$big")" ] || { echo "$name wrote $got bytes" >&2; exit 1; }
  cmp -s "$out/dl/file" "$big" || { echo "$name wrote different bytes" >&2; exit 1; }
}
for round in $(seq "$rounds"); do
  measure lorvex "$tool" get "$url" --out "$out/dl/file"
  measure curl curl -s -o "$out/dl/file" "$url"
  measure wget wget -q -O "$out/dl/file" "$url"
done
for round in $(seq "$rounds"); do
  measure lorvex-tls env SSL_CERT_FILE="$out/ca.pem" "$tool" get "$tls_url" --out "$out/dl/file"
  measure curl-tls curl -s --cacert "$out/ca.pem" -o "$out/dl/file" "$tls_url"
  measure wget-tls wget -q --ca-certificate="$out/ca.pem" -O "$out/dl/file" "$tls_url"
done
for round in $(seq "$rounds"); do
  rm -f "$out"/dl/*
  command time -f "lorvex-128MiB %e %M" -a -o "$results" "$tool" get "http://127.0.0.1:$port/small.bin" --out "$out/dl/file"
done

python3 - "$results" <<'PY'
import statistics, sys
runs = {}
for line in open(sys.argv[1]):
    name, secs, kb = line.split()
    runs.setdefault(name, []).append((float(secs), int(kb)))
size = {"lorvex-128MiB": 128}
print("1 GiB from local nginx (http: sendfile; https: TLS), %d rounds, interleaved; medians"
      % len(runs["curl"]))
print("%-14s %9s %10s %12s %14s" % ("tool", "wall s", "MiB/s", "peak RSS", "vs curl (tput)"))
for names, reference in [(["lorvex", "curl", "wget", "lorvex-128MiB"], "curl"),
                         (["lorvex-tls", "curl-tls", "wget-tls"], "curl-tls")]:
    curl = statistics.median(s for s, _ in runs[reference])
    for name in names:
        secs = statistics.median(s for s, _ in runs[name])
        kb = statistics.median(k for _, k in runs[name])
        mib = size.get(name, 1024)
        ratio = "%.2f" % (curl / secs) if mib == 1024 else "-"
        print("%-14s %9.2f %10.0f %9.1f MiB %14s" % (name, secs, mib / secs, kb / 1024, ratio))
PY
