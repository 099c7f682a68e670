#!/usr/bin/env bash
# The layer order, checked the way the build checks it: each layer's library,
# linked whole into a shared object against only the layers before it, must
# leave nothing undefined. Then a call planted in http/ that reaches up into
# commands/ must make that link fail.
set -u
build=$1
compiler=$2
# Libraries of the system the layers may use.
external="$(pkg-config --libs libsodium hiredis liburing)"
layers=(platform foundation net nodelink chat html streams http accounts commands api server service)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Links the named layer whole, with extra objects, against the layers before it.
link_layer() {
  local index=$1; shift
  local lower=()
  for ((i = index - 1; i >= 0; i--)); do lower+=("$build/libtolvan_${layers[i]}.a"); done
  "$compiler" -shared -o "$work/check.so" -Wl,--whole-archive "$build/libtolvan_${layers[index]}.a" "$@" \
    -Wl,--no-whole-archive "${lower[@]}" -Wl,--no-undefined $external -lpthread 2> "$work/link.log"
}

status=0
for index in "${!layers[@]}"; do
  if ! link_layer "$index"; then
    echo "layer ${layers[index]} calls a layer after it:"; cat "$work/link.log"; status=1
  fi
done

cat > "$work/upward.cpp" <<'CPP'
class CRequest;
class CChatCore;
struct RequestServices {};
void ProcessRequest(CRequest& request, CChatCore& core, const RequestServices& services);  // commands/, a layer after http/
void AnswerFromBelow(CRequest& request, CChatCore& core) { ProcessRequest(request, core, RequestServices()); }
CPP
"$compiler" -std=c++20 -fPIC -c "$work/upward.cpp" -o "$work/upward.o"
http_index=7
if link_layer "$http_index" "$work/upward.o"; then
  echo "a call from http/ up into commands/ linked: the check would not catch it"; status=1
elif ! grep -q "ProcessRequest" "$work/link.log"; then
  echo "the planted call failed for another reason:"; cat "$work/link.log"; status=1
fi
[ "$status" -eq 0 ] && echo "layers link in order; an upward call fails to link"
exit $status
