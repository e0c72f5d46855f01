# Loopback nginx for the download benchmark and the demo. Source this file, then:
#   nginx_start PREFIX ROOT [paced]
#                             serves ROOT on 127.0.0.1:$NGINX_PORT with its own temporary prefix;
#                             /slow/... serves the same files with limit_rate 20m per connection,
#                             /slow5/... with limit_rate 5m, its requests always spaced 400 ms
#                             apart per connection (2 MiB ranges at 5 MB/s).
#                             nginx applies limit_rate per request and lets each request send a
#                             second's worth at once, so requests of a few MiB pass unthrottled;
#                             "paced" also spaces the requests of a connection 100 ms apart, which
#                             holds a client of 2 MiB ranges to the same 20 MB/s per connection.
#   nginx_stop PREFIX
# Requests go to 127.0.0.1 only.

nginx_binary() {
  command -v nginx 2>/dev/null || { [[ -x /usr/sbin/nginx ]] && echo /usr/sbin/nginx; }
}

nginx_start() {
  local prefix=$1 root=$2 paced=${3:-} nginx
  nginx=$(nginx_binary) || { echo "nginx is not installed" >&2; return 1; }
  mkdir -p "$prefix/logs" "$prefix/tmp"
  chmod 755 "$prefix" "$root"
  local attempt
  for attempt in $(seq 1 20); do
    NGINX_PORT=$((20000 + RANDOM % 40000))
    cat >"$prefix/nginx.conf" <<CONF
worker_processes 4;
error_log $prefix/logs/error.log;
pid $prefix/nginx.pid;
$( [[ $(id -u) -eq 0 ]] && echo "user root root;" )
events { worker_connections 512; }
http {
  access_log off;
  sendfile on;
  tcp_nopush on;
  keepalive_requests 100000;
  client_body_temp_path $prefix/tmp/body;
  proxy_temp_path $prefix/tmp/proxy;
  fastcgi_temp_path $prefix/tmp/fastcgi;
  uwsgi_temp_path $prefix/tmp/uwsgi;
  scgi_temp_path $prefix/tmp/scgi;
  default_type application/octet-stream;
  limit_req_zone \$connection zone=paced:1m rate=10r/s;
  limit_req_zone \$connection zone=paced5:1m rate=150r/m;
  server {
    listen 127.0.0.1:$NGINX_PORT;
    root $root;
    location /slow/ {
      alias $root/;
      limit_rate 20m;
      $( [[ -n "$paced" ]] && echo "limit_req zone=paced burst=100000;" )
    }
    location /slow5/ {
      alias $root/;
      limit_rate 5m;
      limit_req zone=paced5 burst=100000;
    }
  }
}
CONF
    if "$nginx" -p "$prefix" -c "$prefix/nginx.conf" 2>/dev/null; then
      local waited
      for waited in $(seq 1 50); do
        curl -s -o /dev/null "http://127.0.0.1:$NGINX_PORT/" && return 0
        sleep 0.1
      done
      nginx_stop "$prefix"
    fi
  done
  echo "nginx did not start (see $prefix/logs/error.log)" >&2
  return 1
}

nginx_stop() {
  local prefix=$1
  [[ -f "$prefix/nginx.pid" ]] || return 0
  local pid
  pid=$(cat "$prefix/nginx.pid")
  kill "$pid" 2>/dev/null || true
  local waited
  for waited in $(seq 1 50); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  rm -f "$prefix/nginx.pid"
}

# make_file PATH MIB: random bytes.
make_file() {
  head -c "$(($2 * 1024 * 1024))" /dev/urandom >"$1"
  chmod 644 "$1"
}
