#!/usr/bin/env bash
# Three nodes sharing users and rooms over a private Redis, for trying the
# node link by hand: make cluster (Ctrl+C stops all four processes).
#   tools/cluster.sh BINARY SITE_DIR RUN_DIR [REDIS_PORT]
set -euo pipefail
binary=$(realpath "$1")
site=$(realpath "$2")
run_dir=$3
redis_port=${4:-6390}
mkdir -p "$run_dir/redis"
run_dir=$(realpath "$run_dir")

redis_pid=
node_pids=()
# The nodes go first, so that each says goodbye while Redis is still there.
stop_all() {
  trap - INT TERM EXIT
  for pid in "${node_pids[@]}"; do kill -INT "$pid" 2>/dev/null || true; done
  for pid in "${node_pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  if [ -n "$redis_pid" ]; then kill -TERM "$redis_pid" 2>/dev/null || true; wait "$redis_pid" 2>/dev/null || true; fi
}
trap stop_all INT TERM EXIT

# In a session of its own: Ctrl+C reaches the nodes, not Redis.
setsid redis-server --port "$redis_port" --bind 127.0.0.1 --dir "$run_dir/redis" --appendonly yes --save "" \
  --logfile "$run_dir/redis/redis.log" &
redis_pid=$!
until redis-cli -p "$redis_port" ping >/dev/null 2>&1; do sleep 0.1; done

node=1
for http_port in 8080 8090 8100; do
  dir="$run_dir/node$node"
  mkdir -p "$dir"
  cp -r "$site/." "$dir/"
  {
    printf '\n[network]\nhttp_port = %s\ntelnet_port = %s\n' "$http_port" $((http_port + 1))
    printf '[general]\nnodeid = node%s\nifconnect = 1\n' "$node"
    printf '[cluster]\nredis = 127.0.0.1:%s\n' "$redis_port"
  } >>"$dir/tolvann2.ini"
  (cd "$dir" && exec "$binary" -debug > >(sed -u "s/^/[node$node] /") 2>&1) &
  node_pids+=($!)
  echo "node$node: http://localhost:$http_port/"
  node=$((node + 1))
done
wait
