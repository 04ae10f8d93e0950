#!/usr/bin/env bash
# Makes the extension's bundle program from the linked one, its code laid out by how its
# requests run it:
#   scripts/lay-out-extension.sh LLVM_BOLT MERGE_FDATA LINKED WIDGET_HOST REQUESTS WORK_DIR OUTPUT
# Run by the build after LINKED is linked (with --emit-relocs). llvm-bolt makes an
# instrumented copy, which serves REQUESTS (one JSON-RPC line each) as a phone's
# extension would: once on its first start, with no suite yet, and once on the suite
# that start left, while WIDGET_HOST stores a new preset in it as the host app does.
# From the two profiles LINKED is laid out again, into OUTPUT: the code the requests
# run packed together, the blocks they never ran moved apart, so that a running
# extension keeps fewer of its code's pages resident.
#
# OUTPUT is written only once the laid-out program answers REQUESTS exactly as LINKED
# does (the entries' dates aside); on any failure it is removed, so that the next build
# makes it again, and the step's files stay in WORK_DIR. Both programs run from a
# bundle in WORK_DIR whose resources are OUTPUT's folder's.
set -euo pipefail

if (($# != 7)); then
  echo "usage: $0 LLVM_BOLT MERGE_FDATA LINKED WIDGET_HOST REQUESTS WORK_DIR OUTPUT" >&2
  exit 2
fi
# Resolved, because llvm-bolt finds its instrumentation runtime beside its real path.
bolt="$(readlink -f "$1")" merge="$2" linked="$3" host="$4" requests="$5" work="$6" output="$7"
name="$(basename "$output")"
# The suite and key the host app keeps its preset under, and a preset it might store.
suite=group.com.quenova.tul key=miniMelody
preset='{"isPlaylingList":true,"poly1":2,"poly2":3,"polyBar":2,"bars":16,"bpm":96,"note":8,"beat":6,'
preset+='"subdivision":"1","acc":"100000","name":"Übungsliste – Woche 2","rythmMode":1,'
preset+='"id":"3F2A9C1E-7B4D-4E8A-9C06-5D1B2E3F4A57"}'

fail() {
  echo "lay-out-extension.sh: $1 (its files are in $work)" >&2
  rm -f "$output"
  exit 1
}
trap 'fail "a step failed at line $LINENO"' ERR
# A write to an extension that has stopped fails (and so fails the step) instead of ending it.
trap "" PIPE

rm -rf "$work"
mkdir -p "$work/bundle.appex" "$work/profiles"
# The extension finds its resources beside itself.
ln -s "$(cd "$(dirname "$output")" && pwd)/Resources" "$work/bundle.appex/Resources"
program="$work/bundle.appex/$name"
export WIDGET_PLATFORM_PREFERENCES="$work/preferences"

"$bolt" "$linked" -instrument --instrumentation-file="$work/profiles/run" --instrumentation-file-append-pid \
  -o "$program" >"$work/instrument.log" 2>&1 || fail "llvm-bolt could not instrument $linked"

# A first start: no suite yet, so the extension makes it and stores its default preset.
"$program" <"$requests" >"$work/first-start.answers"
# A later start on that suite; halfway through, the host app stores a new preset.
lines="$(wc -l <"$requests")"
mkfifo "$work/requests.fifo"
"$program" <"$work/requests.fifo" >"$work/later-start.answers" &
server=$!
exec 3>"$work/requests.fifo"
head -n "$((lines / 2))" "$requests" >&3
printf '%s' "$preset" | "$host" --preferences "$WIDGET_PLATFORM_PREFERENCES" defaults write "$suite" "$key" \
  --data-file - >/dev/null
tail -n "+$((lines / 2 + 1))" "$requests" >&3
exec 3>&-
wait "$server"

"$merge" "$work"/profiles/run.* >"$work/profile.fdata" 2>"$work/merge.log"
"$bolt" "$linked" -data="$work/profile.fdata" -o "$work/laid-out" \
  -reorder-blocks=ext-tsp -reorder-functions=hfsort+ -split-functions -split-all-cold -split-eh \
  -icf=1 -use-gnu-stack >"$work/lay-out.log" 2>&1 || fail "llvm-bolt could not lay out $linked"

# Both programs answer the same requests on the same stored preset; only the entries'
# dates (the time of the request) may differ.
answers() {
  cp "$1" "$program"
  "$program" <"$requests" | sed -E 's/"(date|policyDate)":"[^"]*"/"\1":"-"/g' >"$2"
}
answers "$linked" "$work/linked.answers"
answers "$work/laid-out" "$work/laid-out.answers"
[[ -s "$work/linked.answers" ]] || fail "the extension gave no answers"
cmp -s "$work/linked.answers" "$work/laid-out.answers" ||
  fail "the laid-out extension answers differently (diff $work/linked.answers $work/laid-out.answers)"

chmod --reference="$linked" "$work/laid-out"
mv -f "$work/laid-out" "$output"
