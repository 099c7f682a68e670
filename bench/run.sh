#!/usr/bin/env bash
# The benchmark kit: our chat server beside peers measured in the same run
# (nginx-light for pages, ngircd and a bare-kernel floor for fan-out). Every
# figure is printed with its peer's, the ratio ours/peer and the commands
# that produced them.
#
#   bench/run.sh [--small] [--repeat N] [--soak-seconds S] [SECTION...]
#
# Sections: http floor irc fanout api attack; all of them when none is named.
# soak (1,000 message streams through nginx for 10 minutes, a line a second
# in each room; --soak-seconds for a shorter run) runs only when named, once.
# resume (10,000 event streams cut at once and resumed by Last-Event-ID while
# a line comes 5 times a second; about a minute a round) runs only when named.
# openloop (lines posted at a fixed rate to a room of OPENLOOP_SIZE members,
# a ladder of rates to the highest whose last-receiver p99 stays under 1 s,
# beside the floor's sender open loop with one send per line and coalescing;
# a few minutes a round) runs only when named.
# cluster50k (three linked nodes over one Redis holding 50,000 message
# streams, one room and then 100 rooms, beside the floor at 16,000 scaled to
# 50,000 sends; about 6 minutes a round) runs only when named.
# irc also runs floor, and fanout runs floor and irc, so that their figures
# have peers from the same run; these three run size by size (the floor,
# ngircd, then our server at each size). --small runs at small sizes: a check
# that the kit works, not figures. Each section runs N times over (3, or 1
# with --small), its programs taking turns, and every figure is the median. The programs must be built (make build; make bench
# does both). api: lines posted through the JSON API on one kept connection
# into a room of API_SIZE members' message frames, beside ngircd's channel
# of the same size and the chat form's POST, in the same rounds.
# nginx-light and ngircd are installed from Debian when missing.
# Every server runs on free loopback ports in a scratch directory and is
# stopped by PID when the script ends.
set -uo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD:-build}
[[ $BUILD == /* ]] || BUILD=$ROOT/$BUILD
SERVER=$BUILD/tolvanss
HTTP_BENCH=$BUILD/tolvan_bench
STREAM_BENCH=$BUILD/tolvan_stream_bench
FLOOR_BENCH=$BUILD/tolvan_floor_bench
IRC_BENCH=$BUILD/tolvan_irc_bench
SOAK_BENCH=$BUILD/tolvan_soak_bench
ATTACK_BENCH=$BUILD/tolvan_attack_bench
RESUME_BENCH=$BUILD/tolvan_resume_bench
CLUSTER50K_BENCH=$BUILD/tolvan_cluster50k_bench

# ---------------------------------------------------------------- arguments

SMALL=0
REPEATS=""
SOAK_SECONDS=""
declare -A WANTED=()
while (($#)); do
  case $1 in
    --small) SMALL=1 ;;
    --repeat) REPEATS=${2:-}; shift ;;
    --soak-seconds) SOAK_SECONDS=${2:-}; shift ;;
    http | floor | irc | fanout | api | attack | soak | resume | openloop | cluster50k) WANTED[$1]=1 ;;
    *) echo "usage: bench/run.sh [--small] [--repeat N] [--soak-seconds S] [http|floor|irc|fanout|api|attack|soak|resume|openloop|cluster50k]..." >&2
       exit 2 ;;
  esac
  shift
done
[[ -z $REPEATS ]] && REPEATS=$((SMALL ? 1 : 3))
((${#WANTED[@]})) || WANTED=([http]=1 [floor]=1 [irc]=1 [fanout]=1 [api]=1 [attack]=1)
[[ -n ${WANTED[fanout]:-} ]] && WANTED[irc]=1
[[ -n ${WANTED[irc]:-} ]] && WANTED[floor]=1

if ((SMALL)); then
  HTTP_SECONDS=2 HTTP_CLIENTS="50 500"
  FLOOR_SIZES="20 100 500" IRC_SIZES="20 100" FANOUT_SIZES="20 100 500"
  IDLE_SIZE=100 IDLE_SECONDS=2
  ROOMS=10 ROOM_SIZE=10 ROOM_LINES=100
  API_SIZE=100 API_LINES=200
  ATTACK_USERS=20 ATTACK_LINES=100 ATTACK_SILENT=200 ATTACK_STALLED=50 ATTACK_RATE=50
  LIMITS_MEMBERS=20 LIMITS_SECONDS=3 LIMITS_DESCRIPTORS=1024
  SOAK_STREAMS=100 SOAK_DEFAULT_SECONDS=60
  RESUME_STREAMS=1000 RESUME_RATE=5
  OPENLOOP_SIZE=1000 OPENLOOP_SECONDS=3 OPENLOOP_READERS=4 OPENLOOP_FIRST_RATE=20
  CLUSTER_MEMBERS=3000 CLUSTER_FLOOR=1000 CLUSTER_LINES=50 CLUSTER_RATE=20
  CLUSTER_ROOMS=100 CLUSTER_ROOM_LINES=200 CLUSTER_ROOMS_RATE=200
else
  HTTP_SECONDS=10 HTTP_CLIENTS="50 500"
  FLOOR_SIZES="100 1000 10000" IRC_SIZES="100 1000" FANOUT_SIZES="100 1000 10000"
  IDLE_SIZE=1000 IDLE_SECONDS=10
  ROOMS=100 ROOM_SIZE=100 ROOM_LINES=2000
  API_SIZE=100 API_LINES=2000
  ATTACK_USERS=100 ATTACK_LINES=500 ATTACK_SILENT=5000 ATTACK_STALLED=1000 ATTACK_RATE=50
  LIMITS_MEMBERS=100 LIMITS_SECONDS=10 LIMITS_DESCRIPTORS=8192
  SOAK_STREAMS=1000 SOAK_DEFAULT_SECONDS=600
  RESUME_STREAMS=10000 RESUME_RATE=5
  OPENLOOP_SIZE=10000 OPENLOOP_SECONDS=10 OPENLOOP_READERS=4 OPENLOOP_FIRST_RATE=5
  # The floor at 16,000 connections (both ends fit under the 20,000
  # descriptors a process may hold), its times scaled to the cluster's sends.
  CLUSTER_MEMBERS=50000 CLUSTER_FLOOR=16000 CLUSTER_LINES=100 CLUSTER_RATE=1
  CLUSTER_ROOMS=100 CLUSTER_ROOM_LINES=1000 CLUSTER_ROOMS_RATE=100
fi
OPENLOOP_FACTOR=1.5
SOAK_SECONDS=${SOAK_SECONDS:-$SOAK_DEFAULT_SECONDS}
LARGEST_IRC=${IRC_SIZES##* }

# Lines per fan-out run: enough for steady percentiles, a few seconds each.
lines_for() {
  local lines=$((SMALL ? 20000 / $1 : 200000 / $1)) low=$((SMALL ? 20 : 100)) high=$((SMALL ? 200 : 2000))
  ((lines < low)) && lines=$low
  ((lines > high)) && lines=$high
  echo "$lines"
}

# ------------------------------------------------------ processes and files

for program in "$SERVER" "$HTTP_BENCH" "$STREAM_BENCH" "$FLOOR_BENCH" "$IRC_BENCH" "$SOAK_BENCH" "$ATTACK_BENCH" \
  "$RESUME_BENCH" "$CLUSTER50K_BENCH"; do
  [[ -x $program ]] || { echo "missing $program: run make build first" >&2; exit 1; }
done

WORK=$(mktemp -d /tmp/tolvan-bench-run.XXXXXX)
chmod 755 "$WORK"  # nginx's workers run as another user and read pages from here
STARTED=()

# SIGTERM (SIGINT for our server, its Ctrl+C), then SIGKILL after ten seconds.
stop_pid() {
  local pid=$1 signal=${2:-TERM} state
  kill -"$signal" "$pid" 2>/dev/null
  for _ in $(seq 100); do
    state=$(awk '{print $3}' "/proc/$pid/stat" 2>/dev/null)
    [[ -z $state || $state == Z ]] && break
    sleep 0.1
  done
  [[ -n $state && $state != Z ]] && kill -KILL "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  local kept=()
  for other in "${STARTED[@]}"; do [[ $other == "$pid" ]] || kept+=("$other"); done
  STARTED=("${kept[@]}")
}

cleanup() {
  for pid in "${STARTED[@]}"; do stop_pid "$pid"; done
  rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

wait_listen() {
  for _ in $(seq 200); do
    (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null && return 0
    sleep 0.05
  done
  echo "nothing listens on port $1" >&2
  return 1
}

free_port() { "$HTTP_BENCH" freeport; }

ensure_packages() {  # COMMAND:PACKAGE...
  local missing=() spec
  for spec in "$@"; do
    command -v "${spec%%:*}" >/dev/null || [[ -x /usr/sbin/${spec%%:*} ]] || missing+=("${spec#*:}")
  done
  ((${#missing[@]})) || return 0
  local sudo=""
  ((EUID)) && sudo=sudo
  echo "installing: ${missing[*]}" >&2
  $sudo apt-get update -qq && $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
}

tool_path() { command -v "$1" || echo "/usr/sbin/$1"; }

# -------------------------------------------------------------- bookkeeping

declare -A RESULT=() REF=()
CMDS=()
ROWS=()
NOISE=()

add_command() {  # TEXT; the new command's number is in $COMMAND_NUMBER
  CMDS+=("${1//$ROOT\//}")
  COMMAND_NUMBER=${#CMDS[@]}
  echo "[$COMMAND_NUMBER] ${CMDS[-1]}" >&2
}

field_of() {  # LINE KEY
  local word
  for word in $1; do [[ $word == "$2="* ]] && { echo "${word#*=}"; return; }; done
}

# Runs a benchmark program; each "result" line it prints is kept under the
# id, followed by "/" and its phase or pace when it names one, and "#" and
# the number of the current round ($ROUND).
measure() {  # ID COMMAND...
  local id=$1 line tag key output
  shift
  add_command "$*"
  local number=$COMMAND_NUMBER
  output=$("$@") || echo "    (exit status $?: the run did not complete)" >&2
  while read -r line; do
    [[ $line == result* ]] || continue
    tag=$(field_of "$line" phase)$(field_of "$line" pace)
    key=$id${tag:+/$tag}
    RESULT[$key#$ROUND]=$line
    REF[$key]+=${REF[$key]:+,}$number
    echo "    $line" >&2
  done <<<"$output"
}

# The values of a figure over the rounds, sorted.
values_of() {  # ID FIELD
  local round
  for ((round = 1; round <= REPEATS; round++)); do field_of "${RESULT[$1#$round]:-}" "$2"; done | sort -g
}
get() { values_of "$1" "$2" | awk '{ v[NR] = $0 } END { if (NR) print v[int((NR + 1) / 2)] }'; }
spread() { values_of "$1" "$2" | awk '{ v[NR] = $0 } END { if (NR > 1) print v[1] ".." v[NR] }'; }

ratio() {
  awk -v a="$1" -v b="$2" 'BEGIN { if (a == "" || b == "" || b + 0 == 0) print "-"; else printf "%.3g", a / b }'
}

# A table row: the case, the figure, the subject's value and up to two peers
# (label, id, field), each with the ratio subject/peer.
row() {  # CASE FIGURE ID FIELD [LABEL ID FIELD]...
  local case=$1 figure=$2 value refs text
  value=$(get "$3" "$4")
  refs=${REF[$3]:+[${REF[$3]}]}
  text=$(printf '%-46s %-20s %11s %17s' "$case" "$figure" "${value:--}" "$(spread "$3" "$4")")
  shift 4
  while (($# >= 3)); do
    local peer
    peer=$(get "$2" "$3")
    text+=$(printf '   %-13s %11s %7s' "$1" "${peer:--}" "$(ratio "$value" "$peer")")
    refs+=${REF[$2]:+ [${REF[$2]}]}
    shift 3
  done
  ROWS+=("$(printf '%-166s %s' "$text" "$refs")")
}

heading() { ROWS+=("" "== $1"); }

# How busy the machine was: the CPU time every process used during the
# section, less what this script's own children (servers and clients) used.
cpu_busy_seconds() {
  awk -v hz="$(getconf CLK_TCK)" '/^cpu / { print ($2 + $3 + $4 + $7 + $8 + $9) / hz }' /proc/stat
}
# Sets CHILDREN_CPU: seconds used by this script's finished children. It
# must run in this shell: a subshell starts its own count from zero.
read_children_cpu() {
  times >"$WORK/times"
  CHILDREN_CPU=$(awk 'NR == 2 { for (i = 1; i <= 2; i++) { split($i, p, "m"); total += p[1] * 60 + p[2] } print total }' \
    "$WORK/times")
}
section_begin() {
  SECTION=$1
  read_children_cpu
  SECTION_START=$(date +%s.%N) SECTION_BUSY=$(cpu_busy_seconds) SECTION_OURS=$CHILDREN_CPU
  SECTION_LOAD=$(cut -d' ' -f1 /proc/loadavg)
  echo "== $SECTION" >&2
}
section_end() {
  local now busy ours
  read_children_cpu
  now=$(date +%s.%N) busy=$(cpu_busy_seconds) ours=$CHILDREN_CPU
  NOISE+=("$(awk -v s="$SECTION" -v t0="$SECTION_START" -v t1="$now" -v b0="$SECTION_BUSY" -v b1="$busy" \
    -v o0="$SECTION_OURS" -v o1="$ours" -v n="$(nproc)" -v l0="$SECTION_LOAD" -v l1="$(cut -d' ' -f1 /proc/loadavg)" \
    'BEGIN { wall = t1 - t0; other = (b1 - b0) - (o1 - o0); if (other < 0) other = 0
             printf "%-7s %5.0f s; this run used %4.1f%% and other processes %4.1f%% of the %d cores; load average %s -> %s",
                    s, wall, 100 * (o1 - o0) / (wall * n), 100 * other / (wall * n), n, l0, l1 }')")
}

# ---------------------------------------------------------------- sections

# The 4,096-byte page, as both servers send it. Our server's template reader
# ends every line it sends with CRLF, so its file has 64 lines of 61
# characters and LF (64 bytes each as sent); nginx gets the bytes as sent.
write_pages() {
  mkdir -p "$WORK/http" "$WORK/nginx/htdocs" && cp -r "$ROOT/site/." "$WORK/http/"
  for i in $(seq 64); do printf '%061d\n' "$i"; done >"$WORK/http/htdocs/page4k.html"
  for i in $(seq 64); do printf '%061d\n\r\n' "$i"; done >"$WORK/nginx/htdocs/page4k.html"
  chmod -R a+rX "$WORK/nginx"
}

# Our server in the scratch copy of the site; sets OURS_PORT and OURS_PID.
start_ours() {
  local site=$WORK/http
  OURS_PORT=$(free_port)
  # Every client of the benchmark comes from 127.0.0.1: no cap per address.
  printf '\n[network]\nhttp_port = %s\ntelnet_port = %s\nmax_connections_per_address = 0\n' "$OURS_PORT" "$(free_port)" \
    >>"$site/tolvann2.ini"
  (cd "$site" && exec "$SERVER" -debug >console.txt 2>&1) &
  OURS_PID=$!
  STARTED+=("$OURS_PID")
  add_command "(cd $site && $SERVER -debug)    # our server, port $OURS_PORT"
  wait_listen "$OURS_PORT"
}

# nginx-light with two workers and no access log; sets NGINX_PORT and NGINX_PID.
start_nginx() {
  local dir=$WORK/nginx
  NGINX_PORT=$(free_port)
  cat >"$dir/nginx.conf" <<EOF
worker_processes 2;
pid $dir/nginx.pid;
error_log $dir/error.log;
events { worker_connections 4096; }
http {
  access_log off;
  default_type text/html;
  server {
    listen 127.0.0.1:$NGINX_PORT backlog=1024;
    root $dir/htdocs;
  }
}
EOF
  "$(tool_path nginx)" -p "$dir/" -e "$dir/error.log" -c "$dir/nginx.conf" -g 'daemon off;' &
  NGINX_PID=$!
  STARTED+=("$NGINX_PID")
  add_command "nginx -p $dir/ -c nginx.conf -g 'daemon off;'    # nginx-light $(dpkg-query -W -f='${Version}' nginx-light 2>/dev/null), 2 workers, access_log off, port $NGINX_PORT"
  wait_listen "$NGINX_PORT"
}

run_http() {
  ensure_packages nginx:nginx-light || return
  write_pages
  start_ours && start_nginx || return
  local clients
  for ((ROUND = 1; ROUND <= REPEATS; ROUND++)); do
    for clients in $HTTP_CLIENTS; do
      measure "nginx$clients" "$HTTP_BENCH" rate "$NGINX_PORT" "$clients" "$HTTP_SECONDS" /page4k.html
      measure "static$clients" "$HTTP_BENCH" rate "$OURS_PORT" "$clients" "$HTTP_SECONDS" /page4k.html
      measure "logon$clients" "$HTTP_BENCH" rate "$OURS_PORT" "$clients" "$HTTP_SECONDS" /logon
    done
  done
  stop_pid "$NGINX_PID"
  stop_pid "$OURS_PID" INT

  heading "http: one request per connection, HTTP/1.0, the same client; ratio = ours / nginx"
  for clients in $HTTP_CLIENTS; do
    local case="4 KB static page, $clients clients"
    row "$case" "requests/s" "static$clients" rps nginx "nginx$clients" rps
    row "$case" "p50 ms" "static$clients" p50_ms nginx "nginx$clients" p50_ms
    row "$case" "p99 ms" "static$clients" p99_ms nginx "nginx$clients" p99_ms
    row "$case" "bytes per answer" "static$clients" bytes_per_response nginx "nginx$clients" bytes_per_response
    case="logon page built per request, $clients clients"
    row "$case" "requests/s" "logon$clients" rps "nginx static" "nginx$clients" rps
    row "$case" "p50 ms" "logon$clients" p50_ms "nginx static" "nginx$clients" p50_ms
    row "$case" "p99 ms" "logon$clients" p99_ms "nginx static" "nginx$clients" p99_ms
  done
}

# The floor twice: one send() per line per connection, and the same writes
# handed to the kernel dozens at a time (io_uring), as our loops write.
measure_floor() {  # SIZE
  measure "floor$1" "$FLOOR_BENCH" "$1" "$(lines_for "$1")" send
  measure "floorbatch$1" "$FLOOR_BENCH" "$1" "$(lines_for "$1")" batch
}

measure_irc() {  # SIZE [ID]
  local size=$1 id=${2:-irc$1} dir=$WORK/ngircd$1 port pid idle=0
  mkdir -p "$dir/conf.d"
  port=$(free_port)
  cat >"$dir/ngircd.conf" <<EOF
[Global]
Name = bench.irc
Info = fan-out benchmark
AdminInfo1 = bench
AdminEMail = bench@localhost
Listen = 127.0.0.1
Ports = $port
MotdPhrase = bench
[Limits]
MaxConnections = 0
MaxConnectionsIP = 0
MaxJoins = 0
MaxPenaltyTime = 0
PingTimeout = 3600
PongTimeout = 3600
[Options]
DNS = no
Ident = no
PAM = no
IncludeDir = $dir/conf.d
EOF
  "$(tool_path ngircd)" -n -f "$dir/ngircd.conf" >"$dir/console.txt" 2>&1 &
  pid=$!
  STARTED+=("$pid")
  add_command "ngircd -n -f $dir/ngircd.conf    # ngircd $(dpkg-query -W -f='${Version}' ngircd 2>/dev/null), no connection or penalty limits, port $port"
  if wait_listen "$port"; then
    ((size == IDLE_SIZE)) && idle=$IDLE_SECONDS
    measure "$id" "$IRC_BENCH" "$port" "$pid" "$size" "$(lines_for "$size")" "$idle"
  fi
  stop_pid "$pid"
}

measure_ours() {  # SIZE
  local idle=0
  (($1 == IDLE_SIZE)) && idle=$IDLE_SECONDS
  measure "ours$1" "$STREAM_BENCH" "$SERVER" "$ROOT/site" rooms 1 "$1" "$(lines_for "$1")" both "$idle"
}

in_list() { [[ " $2 " == *" $1 "* ]]; }

# The floor, ngircd and our server one after the other at each size, so the
# three figures of a size meet about the same load from other work.
run_fan_out() {
  if [[ -n ${WANTED[irc]:-} ]]; then ensure_packages ngircd:ngircd || return; fi
  local size
  for ((ROUND = 1; ROUND <= REPEATS; ROUND++)); do
    for size in $(printf '%s\n' $FLOOR_SIZES $IRC_SIZES $FANOUT_SIZES | sort -nu); do
      in_list "$size" "$FLOOR_SIZES" && measure_floor "$size"
      [[ -n ${WANTED[irc]:-} ]] && in_list "$size" "$IRC_SIZES" && measure_irc "$size"
      [[ -n ${WANTED[fanout]:-} ]] && in_list "$size" "$FANOUT_SIZES" && measure_ours "$size"
    done
    if [[ -n ${WANTED[fanout]:-} ]]; then
      measure alone "$STREAM_BENCH" "$SERVER" "$ROOT/site" rooms 1 "$ROOM_SIZE" "$ROOM_LINES" answer
      measure rooms "$STREAM_BENCH" "$SERVER" "$ROOT/site" rooms "$ROOMS" "$ROOM_SIZE" "$ROOM_LINES" answer
    fi
  done
  floor_rows
  if [[ -n ${WANTED[irc]:-} ]]; then irc_rows; fi
  if [[ -n ${WANTED[fanout]:-} ]]; then fanout_rows; fi
}

floor_rows() {
  heading "floor: the kernel alone, no server (a sender writes each line to every connection)"
  local size
  for size in $FLOOR_SIZES; do
    local case="floor, $size connections"
    row "$case" "lines/s" "floor$size" lines_per_s
    row "$case" "last p50 ms" "floor$size" last_p50_ms
    row "$case" "last p99 ms" "floor$size" last_p99_ms
    row "$case" "sender CPU us/send" "floor$size" sender_cpu_us_per_send
    case="floor, $size connections, batched writes"
    row "$case" "lines/s" "floorbatch$size" lines_per_s floor "floor$size" lines_per_s
    row "$case" "last p50 ms" "floorbatch$size" last_p50_ms floor "floor$size" last_p50_ms
    row "$case" "sender CPU us/send" "floorbatch$size" sender_cpu_us_per_send floor "floor$size" sender_cpu_us_per_send
  done
}

irc_rows() {
  heading "ngircd: one channel, the next line when the last member has the previous; ratio = ngircd / floor"
  local size
  for size in $IRC_SIZES; do
    local case="ngircd, $size members"
    row "$case" "lines/s" "irc$size/last" lines_per_s floor "floor$size" lines_per_s
    row "$case" "first p50 ms" "irc$size/last" first_p50_ms floor "floor$size" first_p50_ms
    row "$case" "last p50 ms" "irc$size/last" last_p50_ms floor "floor$size" last_p50_ms
    row "$case" "last p99 ms" "irc$size/last" last_p99_ms floor "floor$size" last_p99_ms
  done
}

fanout_rows() {
  heading "fanout: our server, one room, message frames open, one member posts; ratio = ours / peer"
  local size
  for size in $FANOUT_SIZES; do
    local id="ours$size/answer" case="ours, $size members, next line on answer"
    row "$case" "lines/s" "$id" lines_per_s ngircd "irc$size/last" lines_per_s floor "floor$size" lines_per_s
    row "$case" "first p50 ms" "$id" first_p50_ms ngircd "irc$size/last" first_p50_ms floor "floor$size" first_p50_ms
    row "$case" "first p99 ms" "$id" first_p99_ms ngircd "irc$size/last" first_p99_ms floor "floor$size" first_p99_ms
    row "$case" "last p50 ms" "$id" last_p50_ms ngircd "irc$size/last" last_p50_ms floor "floor$size" last_p50_ms
    row "$case" "last p99 ms" "$id" last_p99_ms ngircd "irc$size/last" last_p99_ms floor "floor$size" last_p99_ms
    id="ours$size/last" case="ours, $size members, next line on arrival"
    row "$case" "lines/s" "$id" lines_per_s ngircd "irc$size/last" lines_per_s floor "floor$size" lines_per_s \
      "batched floor" "floorbatch$size" lines_per_s
    row "$case" "first p50 ms" "$id" first_p50_ms ngircd "irc$size/last" first_p50_ms floor "floor$size" first_p50_ms
    row "$case" "last p50 ms" "$id" last_p50_ms ngircd "irc$size/last" last_p50_ms floor "floor$size" last_p50_ms \
      "batched floor" "floorbatch$size" last_p50_ms
    row "$case" "last p99 ms" "$id" last_p99_ms ngircd "irc$size/last" last_p99_ms floor "floor$size" last_p99_ms
    row "$case" "server CPU ms/line" "$id" server_cpu_ms_per_line ngircd "irc$size/last" server_cpu_ms_per_line
  done
  for size in $FANOUT_SIZES; do
    # Per user, so a larger room may stand beside the largest channel.
    local irc=$LARGEST_IRC
    in_list "$size" "$IRC_SIZES" && irc=$size
    row "ours, $size users enrol and open streams" "setup ms per user" "ours$size/answer" setup_ms_per_user \
      "ngircd $irc" "irc$irc/last" setup_ms_per_user
    if in_list "$size" "$IRC_SIZES"; then
      row "ours, $size users enrol and open streams" "setup s, all users" "ours$size/answer" setup_s \
        "ngircd $irc" "irc$irc/last" setup_s
    else  # the row above compares per user
      row "ours, $size users enrol and open streams" "setup s, all users" "ours$size/answer" setup_s
    fi
    row "ours, $size streams open" "RSS KB per stream" "ours$size/answer" rss_kb_per_stream \
      "ngircd $irc" "irc$irc/last" rss_kb_per_conn
  done
  row "ours, $IDLE_SIZE streams idle ${IDLE_SECONDS} s" "server CPU %" "ours$IDLE_SIZE/answer" idle_cpu_pct \
    "ngircd" "irc$IDLE_SIZE/last" idle_cpu_pct
  local case="ours, a room of $ROOM_SIZE among $ROOMS rooms"
  row "$case" "server CPU ms/line" rooms/answer server_cpu_ms_per_line "room alone" alone/answer server_cpu_ms_per_line
  row "$case" "lines/s" rooms/answer lines_per_s "room alone" alone/answer lines_per_s
  row "$case" "last p99 ms" rooms/answer last_p99_ms "room alone" alone/answer last_p99_ms
}

# The JSON API's lines into classic frames: ngircd, the chat form and the
# API take turns in each round, at the same size and number of lines.
run_api() {
  ensure_packages ngircd:ngircd || return
  for ((ROUND = 1; ROUND <= REPEATS; ROUND++)); do
    measure_irc "$API_SIZE" "apiirc$API_SIZE"
    measure "apiform$API_SIZE" "$STREAM_BENCH" "$SERVER" "$ROOT/site" rooms 1 "$API_SIZE" "$API_LINES" both
    measure "api$API_SIZE" "$STREAM_BENCH" "$SERVER" "$ROOT/site" api "$API_SIZE" "$API_LINES" both
  done
  heading "api: one room of $API_SIZE message frames, one member posts through POST /api/say on one kept connection; ratio = ours / peer"
  local pace id case irc="apiirc$API_SIZE/last"
  for pace in last answer; do
    id="api$API_SIZE/$pace" case="API, $API_SIZE members, next line on $([[ $pace == last ]] && echo arrival || echo answer)"
    row "$case" "lines/s" "$id" lines_per_s ngircd "$irc" lines_per_s "form POST" "apiform$API_SIZE/$pace" lines_per_s
    row "$case" "last p50 ms" "$id" last_p50_ms ngircd "$irc" last_p50_ms "form POST" "apiform$API_SIZE/$pace" last_p50_ms
    row "$case" "last p99 ms" "$id" last_p99_ms ngircd "$irc" last_p99_ms "form POST" "apiform$API_SIZE/$pace" last_p99_ms
    row "$case" "server CPU ms/line" "$id" server_cpu_ms_per_line ngircd "$irc" server_cpu_ms_per_line \
      "form POST" "apiform$API_SIZE/$pace" server_cpu_ms_per_line
  done
}

run_attack() {
  for ((ROUND = 1; ROUND <= REPEATS; ROUND++)); do
    measure attack "$STREAM_BENCH" "$SERVER" "$ROOT/site" attack "$ATTACK_USERS" "$ATTACK_LINES" "$ATTACK_SILENT" \
      "$ATTACK_STALLED" "$ATTACK_RATE"
    measure limits "$ATTACK_BENCH" "$SERVER" "$ROOT/site" "$LIMITS_MEMBERS" "$LIMITS_SECONDS" "$LIMITS_DESCRIPTORS"
  done
  heading "attack: $ATTACK_USERS chat in a room; quiet, then with $ATTACK_SILENT silent connections and $ATTACK_STALLED members' streams never read, then those streams read (control); ratio = attacked / peer"
  local case="ours, $ATTACK_USERS chatting, under attack"
  row "$case" "lines/s" attack/attack lines_per_s quiet attack/quiet lines_per_s control attack/crowd lines_per_s
  row "$case" "last p50 ms" attack/attack last_p50_ms quiet attack/quiet last_p50_ms
  row "$case" "last p99 ms" attack/attack last_p99_ms quiet attack/quiet last_p99_ms
  row "$case" "server CPU ms/line" attack/attack server_cpu_ms_per_line quiet attack/quiet server_cpu_ms_per_line \
    control attack/crowd server_cpu_ms_per_line
  case="ours, $ATTACK_USERS chatting at $ATTACK_RATE lines/s, under attack"
  row "$case" "last p50 ms" attack/attack_rate last_p50_ms quiet attack/quiet_rate last_p50_ms
  row "$case" "last p99 ms" attack/attack_rate last_p99_ms quiet attack/quiet_rate last_p99_ms
  row "$case" "server CPU ms/line" attack/attack_rate server_cpu_ms_per_line quiet attack/quiet_rate server_cpu_ms_per_line
  case="ours, $ATTACK_USERS chatting, under attack"
  row "$case" "server RSS KB" attack/attack rss_after_kb before attack/attack rss_before_kb
  row "$case" "silent closed" attack/attack silent_closed
  row "$case" "stalled closed" attack/attack stalled_closed
  limits_rows
}

# The attacks against the server as shipped (bundled limits, bundled hash
# cost): a user's logons and a room's lines during each, beside quiet.
limits_rows() {
  heading "attacks on the bundled limits and hash cost: a user logs on 4 times a second from 127.0.0.2, one of $LIMITS_MEMBERS members posts 20 lines a second to the room (127.0.0.3), attackers on 127.0.0.1 (the flood also on 127.0.1.x), $LIMITS_SECONDS s each, server limited to $LIMITS_DESCRIPTORS descriptors; ratio = attacked / quiet"
  local phase case
  row "quiet" "hashes (est.)" limits/quiet hashes_est
  row "quiet" "CPU ms per hash" limits/setup cpu_ms_per_hash
  for phase in abandoned bogus flood chat; do
    case $phase in
      abandoned) case="abandoned logons" ;;
      bogus) case="bogus logons awaiting answers" ;;
      flood) case="idle connections past the ceiling" ;;
      chat) case="chat flood (no line rate yet)" ;;
    esac
    row "$case" "user logon p50 ms" "limits/$phase" user_p50_ms quiet limits/quiet user_p50_ms
    row "$case" "user logon p99 ms" "limits/$phase" user_p99_ms quiet limits/quiet user_p99_ms
    row "$case" "user ok logon p99 ms" "limits/$phase" user_ok_p99_ms quiet limits/quiet user_ok_p99_ms
    row "$case" "user logons ok" "limits/$phase" user_ok quiet limits/quiet user_ok
    row "$case" "user logons busy" "limits/$phase" user_busy
    row "$case" "user unanswered" "limits/$phase" user_unanswered
    row "$case" "room last p50 ms" "limits/$phase" last_p50_ms quiet limits/quiet last_p50_ms
    row "$case" "room last p99 ms" "limits/$phase" last_p99_ms quiet limits/quiet last_p99_ms
    row "$case" "room streams closed" "limits/$phase" receivers_closed
    row "$case" "server CPU %" "limits/$phase" server_cpu_pct quiet limits/quiet server_cpu_pct
    row "$case" "server RSS KB, most" "limits/$phase" server_rss_most_kb quiet limits/quiet server_rss_most_kb
    row "$case" "bench client CPU %" "limits/$phase" bench_cpu_pct quiet limits/quiet bench_cpu_pct
    row "$case" "attack connections" "limits/$phase" attack_started
    row "$case" "attack connections/s" "limits/$phase" attack_per_s
    row "$case" "attack hashes (est.)" "limits/$phase" attack_hashes_est
    case $phase in
      bogus)
        row "$case" "attack answered" "limits/$phase" attack_answered
        row "$case" "attack busy" "limits/$phase" attack_busy
        row "$case" "attack refused addr" "limits/$phase" attack_refused_address ;;
      flood)
        row "$case" "attack shed (reset)" "limits/$phase" attack_reset
        row "$case" "attack timed out" "limits/$phase" attack_closed
        row "$case" "attack refused full" "limits/$phase" attack_refused_full
        row "$case" "attack open at end" "limits/$phase" attack_open_at_end
        row "$case" "server ceiling" limits/setup ceiling ;;
      chat)
        row "$case" "attack posts" "limits/$phase" attack_answered ;;
    esac
  done
}

# One long run (it is not repeated): the streams, the memory of both
# processes over the run, and the peer's figures beside ours.
run_soak() {
  ensure_packages nginx:nginx-light || return
  ROUND=1
  measure soak "$SOAK_BENCH" "$SERVER" "$ROOT/site" "$(tool_path nginx)" "$SOAK_STREAMS" "$SOAK_SECONDS"
  heading "soak: $SOAK_STREAMS message streams through nginx for $SOAK_SECONDS s, rooms of 100, a line a second in each; ratio = ours / nginx"
  local case="ours behind nginx, $SOAK_STREAMS streams"
  row "$case" "streams lost" soak streams_lost
  row "$case" "streams closed early" soak streams_closed_early
  row "$case" "first early close s" soak first_close_s
  row "$case" "streams missing lines" soak streams_missing_lines
  row "$case" "lines missed" soak lines_missed
  row "$case" "posts failed" soak posts_failed
  row "$case" "delivery p50 ms" soak delivery_p50_ms
  row "$case" "delivery p99 ms" soak delivery_p99_ms
  row "$case" "RSS KB at start" soak server_rss_start_kb nginx soak nginx_rss_start_kb
  row "$case" "RSS KB at end" soak server_rss_end_kb nginx soak nginx_rss_end_kb
  row "$case" "RSS KB max" soak server_rss_max_kb nginx soak nginx_rss_max_kb
  row "$case" "RSS end / start" soak server_rss_growth nginx soak nginx_rss_growth
  row "$case" "CPU %" soak server_cpu_pct nginx soak nginx_cpu_pct
}

# Every event stream cut at once and back at once with its Last-Event-ID;
# the peers are the same streams opened at setup (no history to replay)
# and the steady phase before the cut, of the same run.
run_resume() {
  for ((ROUND = 1; ROUND <= REPEATS; ROUND++)); do
    measure resume "$RESUME_BENCH" "$SERVER" "$ROOT/site" "$RESUME_STREAMS" "$RESUME_RATE"
  done
  heading "resume: $RESUME_STREAMS event streams in one room, a line $RESUME_RATE times a second, every stream cut at once and reconnected at once with its Last-Event-ID after the retry; ratio = resume / peer"
  local case="ours, $RESUME_STREAMS streams resume"
  row "$case" "all back s" resume back_s "open at setup" resume open_s
  row "$case" "all caught up s" resume caught_up_s "open at setup" resume open_s
  row "$case" "caught up p50 s" resume caught_up_p50_s
  row "$case" "streams caught up" resume caught_up
  row "$case" "lines in the gap" resume gap_lines
  row "$case" "lines missing" resume missing
  row "$case" "lines doubled" resume doubled
  row "$case" "resets" resume resets
  row "$case" "reconnects again" resume reopens
  row "$case" "refused" resume refused
  row "$case" "listen queue drops" resume listen_drops "open at setup" resume open_listen_drops
  row "$case" "server CPU %" resume recovery_cpu_pct "steady" resume steady_cpu_pct
  row "$case" "server CPU ms/stream" resume recovery_cpu_ms_per_stream "open at setup" resume open_cpu_ms_per_stream
  row "$case" "bench client CPU %" resume bench_cpu_pct
  row "$case" "server RSS KB after" resume rss_after_kb "before cut" resume rss_before_kb
  row "$case" "server RSS KB, most" resume rss_most_kb "before cut" resume rss_before_kb
}

# Lines at a fixed rate: the floor with one send per line, the floor
# coalescing, then our server, in each round; each climbs its own ladder.
run_openloop() {
  local args=("$OPENLOOP_SECONDS" "$OPENLOOP_READERS")
  for ((ROUND = 1; ROUND <= REPEATS; ROUND++)); do
    measure olsend "$FLOOR_BENCH" openloop "$OPENLOOP_SIZE" "${args[@]}" send "$OPENLOOP_FIRST_RATE" "$OPENLOOP_FACTOR"
    measure olcoalesce "$FLOOR_BENCH" openloop "$OPENLOOP_SIZE" "${args[@]}" coalesce "$OPENLOOP_FIRST_RATE" "$OPENLOOP_FACTOR"
    measure olours "$STREAM_BENCH" "$SERVER" "$ROOT/site" openloop "$OPENLOOP_SIZE" "${args[@]}" "$OPENLOOP_FIRST_RATE" \
      "$OPENLOOP_FACTOR"
  done
  heading "openloop: lines posted at a fixed rate to $OPENLOOP_SIZE members for $OPENLOOP_SECONDS s, read by $OPENLOOP_READERS processes; the highest rate (ladder x$OPENLOOP_FACTOR, then two halvings of the last gap) whose last-receiver p99 stays under 1 s; ratio = ours / floor"
  local case="ours, $OPENLOOP_SIZE members, open loop"
  row "$case" "best lines/s" olours/best best_lines_per_s "floor 1 send" olsend/best best_lines_per_s \
    "floor coalesce" olcoalesce/best best_lines_per_s
  row "$case" "first failing lines/s" olours/best first_failing_lines_per_s "floor 1 send" olsend/best \
    first_failing_lines_per_s "floor coalesce" olcoalesce/best first_failing_lines_per_s
  row "$case" "last p50 ms at best" olours/best last_p50_ms "floor 1 send" olsend/best last_p50_ms \
    "floor coalesce" olcoalesce/best last_p50_ms
  row "$case" "last p99 ms at best" olours/best last_p99_ms "floor 1 send" olsend/best last_p99_ms \
    "floor coalesce" olcoalesce/best last_p99_ms
  row "$case" "server CPU % at best" olours/best server_cpu_pct "floor sender" olsend/best sender_cpu_pct \
    "coalescing" olcoalesce/best sender_cpu_pct
}

# The floor's figures of one round as if it had sent FACTOR times as many
# lines: its times scaled up, its lines/s down (one send per receiver, one
# after the other, so a line's last arrival grows with the receivers).
scale_result() {  # FROM_ID TO_ID FACTOR
  local line=${RESULT[$1#$ROUND]:-} field scaled="result"
  [[ -n $line ]] || return
  for field in last_p50_ms last_p99_ms first_p50_ms; do
    scaled+=" $field=$(awk -v v="$(field_of "$line" "$field")" -v f="$3" 'BEGIN { printf "%.3f", v * f }')"
  done
  scaled+=" lines_per_s=$(awk -v v="$(field_of "$line" lines_per_s)" -v f="$3" 'BEGIN { printf "%.3f", v / f }')"
  scaled+=" ms_per_1000_sends=$(awk -v v="$(field_of "$line" last_p50_ms)" -v n="$(field_of "$line" receivers)" \
    'BEGIN { if (n > 0) printf "%.3f", 1000 * v / n }')"
  RESULT[$2#$ROUND]=$scaled
  REF[$2]+=${REF[$2]:+,}${REF[$1]##*,}
}

# Three linked nodes holding CLUSTER_MEMBERS message streams, one room and
# then rooms of CLUSTER_MEMBERS / CLUSTER_ROOMS, each paced on arrival and
# then at a fixed rate; the floor (at half and at full CLUSTER_FLOOR, the
# half showing that its last arrival grows in step with the receivers) just
# before each, its figures scaled to CLUSTER_MEMBERS sends.
run_cluster50k() {
  ensure_packages redis-server:redis-server || return
  local half=$((CLUSTER_FLOOR / 2)) factor
  factor=$(awk -v m="$CLUSTER_MEMBERS" -v f="$CLUSTER_FLOOR" 'BEGIN { print m / f }')
  for ((ROUND = 1; ROUND <= REPEATS; ROUND++)); do
    measure "cfloor$half" "$FLOOR_BENCH" "$half" 100
    measure "cfloor$CLUSTER_FLOOR" "$FLOOR_BENCH" "$CLUSTER_FLOOR" 100
    scale_result "cfloor$half" cfloorhalf "$(awk -v m="$CLUSTER_MEMBERS" -v f="$half" 'BEGIN { print m / f }')"
    scale_result "cfloor$CLUSTER_FLOOR" cfloorscaled "$factor"
    measure c50kroom "$CLUSTER50K_BENCH" "$SERVER" "$ROOT/site" "$CLUSTER_MEMBERS" 1 "$CLUSTER_LINES" "last,$CLUSTER_RATE"
    measure c50krooms "$CLUSTER50K_BENCH" "$SERVER" "$ROOT/site" "$CLUSTER_MEMBERS" "$CLUSTER_ROOMS" \
      "$CLUSTER_ROOM_LINES" "last,$CLUSTER_ROOMS_RATE"
  done
  local perRoom=$((CLUSTER_MEMBERS / CLUSTER_ROOMS))
  heading "cluster50k: three nodes over one Redis, $CLUSTER_MEMBERS members (a third of the streams on each), lines posted on the first node; floor: $CLUSTER_FLOOR connections, times scaled to $CLUSTER_MEMBERS sends (x$factor); ratio = ours / peer"
  local case="floor, $CLUSTER_FLOOR connections"
  row "$case" "last p50 ms" "cfloor$CLUSTER_FLOOR" last_p50_ms
  row "$case" "ms per 1,000 sends" cfloorscaled ms_per_1000_sends "at $half" cfloorhalf ms_per_1000_sends
  row "floor scaled to $CLUSTER_MEMBERS sends" "last p50 ms" cfloorscaled last_p50_ms "from $half" cfloorhalf last_p50_ms
  local id pace
  for id in c50kroom c50krooms; do
    for pace in last rate; do
      local key rate label
      if [[ $id == c50kroom ]]; then rate=$CLUSTER_RATE label="one room of $CLUSTER_MEMBERS"
      else rate=$CLUSTER_ROOMS_RATE label="$CLUSTER_ROOMS rooms of $perRoom"; fi
      if [[ $pace == last ]]; then key=$id/last case="ours, $label, next line on arrival"
      else key=$id/rate$rate case="ours, $label, $rate lines/s"; fi
      row "$case" "lines short" "$key" lines_short
      row "$case" "deliveries missed" "$key" deliveries_missed
      row "$case" "streams closed" "$key" receivers_closed
      if [[ $id == c50kroom ]]; then
        row "$case" "lines/s" "$key" lines_per_s "floor scaled" cfloorscaled lines_per_s
        row "$case" "last p50 ms" "$key" last_p50_ms "floor scaled" cfloorscaled last_p50_ms
        row "$case" "last p99 ms" "$key" last_p99_ms "floor scaled" cfloorscaled last_p99_ms
      else
        row "$case" "lines/s" "$key" lines_per_s
        row "$case" "last p50 ms" "$key" last_p50_ms
        row "$case" "last p99 ms" "$key" last_p99_ms
      fi
      row "$case" "first p50 ms" "$key" first_p50_ms
      local node
      for node in 1 2 3; do
        row "$case" "node $node last p50 ms" "$key" "node${node}_last_p50_ms"
        row "$case" "node $node CPU %" "$key" "node${node}_cpu_pct"
        row "$case" "node $node CPU ms/line" "$key" "node${node}_cpu_ms_per_line"
      done
      row "$case" "Redis CPU %" "$key" redis_cpu_pct
      row "$case" "Redis CPU ms/line" "$key" redis_cpu_ms_per_line
      row "$case" "readers' CPU %" "$key" readers_cpu_pct
    done
    case="ours, $([[ $id == c50kroom ]] && echo "one room" || echo "$CLUSTER_ROOMS rooms"), streams open"
    for node in 1 2 3; do
      row "$case" "node $node streams" "$id/last" "node${node}_streams"
      row "$case" "node $node RSS KB, most" "$id/last" "node${node}_rss_most_kb"
      row "$case" "node $node RSS KB/stream" "$id/last" "node${node}_rss_kb_per_stream"
    done
    row "$case" "RSS KB/stream, worst" "$id/last" rss_kb_per_stream_worst
    row "$case" "Redis RSS KB, most" "$id/last" redis_rss_most_kb
    row "$case" "setup s: enrol" "$id/last" enrol_s
    row "$case" "setup s: open streams" "$id/last" open_s
  done
}

# ------------------------------------------------------------------- main

echo "bench/run.sh $*: $(date -u '+%Y-%m-%d %H:%M UTC'), commit $(git -C "$ROOT" rev-parse --short HEAD 2>/dev/null)," \
  "$(nproc) cores, $(uname -r)" >&2
SECTIONS=()
[[ -n ${WANTED[http]:-} ]] && SECTIONS+=(http)
[[ -n ${WANTED[floor]:-} ]] && SECTIONS+=(fan-out)
[[ -n ${WANTED[api]:-} ]] && SECTIONS+=(api)
[[ -n ${WANTED[attack]:-} ]] && SECTIONS+=(attack)
[[ -n ${WANTED[soak]:-} ]] && SECTIONS+=(soak)
[[ -n ${WANTED[resume]:-} ]] && SECTIONS+=(resume)
[[ -n ${WANTED[openloop]:-} ]] && SECTIONS+=(openloop)
[[ -n ${WANTED[cluster50k]:-} ]] && SECTIONS+=(cluster50k)
for section in "${SECTIONS[@]}"; do
  section_begin "$section"
  "run_${section//-/_}"
  section_end
done

{
  echo
  echo "Figures of commit $(git -C "$ROOT" rev-parse --short HEAD 2>/dev/null), $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores$( ((SMALL)) && echo ", SMALL SIZES")"
  echo "(median and range of $REPEATS round(s); \"first\"/\"last\": ms from sending a line until the first/last member"
  echo " has it; ratio = median / peer's median: for requests/s and lines/s above 1 favours the subject, for times,"
  echo " CPU and memory below 1 does)"
  text=$(printf '%-46s %-20s %11s %17s   %-13s %11s %7s   %-13s %11s %7s' case figure median "range" peer median ratio \
    peer median ratio)
  printf '%-166s %s\n' "$text" commands
  printf '%s\n' "${ROWS[@]}"
  echo
  echo "Commands:"
  for i in "${!CMDS[@]}"; do echo "[$((i + 1))] ${CMDS[$i]}"; done
  echo
  echo "Noise (this machine is shared):"
  printf '  %s\n' "${NOISE[@]}"
}
