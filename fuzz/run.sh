#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, with AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for FUZZ_SECONDS (default 600).
#   fuzz/run.sh                      every target
#   FUZZ_TARGETS="settings" fuzz/run.sh
# Each target starts from its committed seeds in fuzz/corpus/<target>/; what
# it finds new goes to <build>/corpus/<target>/, a failing input to
# <build>/artifacts/. Fails when a target fails.
#
# Clang cannot emit GB2312 literals (-fexec-charset), so the sources a target
# needs are converted to GB2312 into the build folder first: clang then
# copies the literals' bytes as they are, the same bytes gcc emits.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${FUZZ_BUILD:-$root/build-fuzz}
seconds=${FUZZ_SECONDS:-600}
compiler=${FUZZ_CXX:-clang++}
read -r -a targets <<< "${FUZZ_TARGETS:-request_parser request_form settings command_parser node_record user_text json gbk_utf8}"

# The system's sources each target links, below src/.
text="foundation/text.cpp foundation/character_reference.cpp"
declare -A sources=(
  [request_parser]="http/request_parser.cpp http/client_address.cpp foundation/ip_address.cpp $text"
  [request_form]="http/request_form.cpp"
  [settings]="foundation/settings.cpp foundation/file.cpp $text"
  [command_parser]="commands/command_parser.cpp foundation/settings.cpp foundation/file.cpp $text"
  [node_record]="nodelink/node_record.cpp $text"
  [user_text]="html/escape.cpp $text"
  [json]="foundation/json.cpp foundation/utf8.cpp"
  [gbk_utf8]="foundation/gbk_utf8.cpp foundation/utf8.cpp platform/console.cpp $text"
)
# Requests reach 8192 bytes of head and 65536 of body; the others are lines.
declare -A max_len=([request_parser]=20000 [json]=70000)

flags=(-std=c++20 -O1 -g -fno-omit-frame-pointer -fsanitize=fuzzer,address,undefined
       -fno-sanitize-recover=undefined -Wno-invalid-source-encoding)

# Converts a file of the tree (src/... or fuzz/...) into the GB2312 tree.
convert() {
  local file=$1 target
  target="$out/gb2312/${file#src/}"
  if [ ! -f "$target" ] || [ "$root/$file" -nt "$target" ]; then
    mkdir -p "$(dirname "$target")"
    iconv -f UTF-8 -t GB2312 "$root/$file" > "$target"
  fi
}

build() {
  local name=$1 files=() dependencies
  for source in ${sources[$name]}; do files+=("src/$source"); done
  files+=("fuzz/${name}_fuzz.cpp")
  # Every file the target's sources include, found on the UTF-8 tree.
  dependencies=$(cd "$root" && "$compiler" -std=c++20 -Isrc -I. -MM "${files[@]}" |
                 tr ' \\' '\n\n' | grep -E '^(src|fuzz)/' | sort -u)
  for file in $dependencies; do convert "$file"; done
  local converted=()
  for file in "${files[@]}"; do converted+=("$out/gb2312/${file#src/}"); done
  "$compiler" "${flags[@]}" -I"$out/gb2312" "${converted[@]}" -o "$out/${name}_fuzz"
}

run() {
  local name=$1 corpus="$out/corpus/$1" log="$out/$1.log"
  mkdir -p "$corpus" "$out/artifacts"
  local options=(-max_total_time="$seconds" -timeout=10 -print_final_stats=1
                 -artifact_prefix="$out/artifacts/$name-")
  [ -n "${max_len[$name]:-}" ] && options+=(-max_len="${max_len[$name]}")
  echo "== $name: $seconds s"
  if ! "$out/${name}_fuzz" "${options[@]}" "$corpus" "$root/fuzz/corpus/$name" > "$log" 2>&1; then
    tail -n 40 "$log"
    echo "== $name FAILED (log: $log)"
    return 1
  fi
  grep -E 'stat::number_of_executed_units|stat::peak_rss_mb' "$log" | sed "s/^/   /"
  grep -E '^#[0-9]+ +DONE' "$log" | sed "s/^/   /" || true
}

mkdir -p "$out"
status=0
for name in "${targets[@]}"; do
  [ -n "${sources[$name]:-}" ] || { echo "no fuzz target $name"; exit 2; }
  build "$name"
done
for name in "${targets[@]}"; do run "$name" || status=1; done
exit $status
