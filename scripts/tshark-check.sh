#!/usr/bin/env bash
# Runs a traffic-generating program with AB_PLCTAG_PCAP set and has tshark dissect what the
# tag library sent and received: no malformed packet, no expert warning or error, good IP and
# TCP checksums, every TCP payload decoded as EtherNet/IP, and the dissected CIP services,
# tag names and PCCC functions exactly those the program lists in its manifest.
#
#   scripts/tshark-check.sh <traffic program> <work dir>
#
# Exit status: 0 pass, 1 fail, 77 tshark not installed (ctest reports the test as skipped).
set -uo pipefail

if [ $# -ne 2 ]; then
  echo "usage: $0 <traffic program> <work dir>" >&2
  exit 2
fi
prog=$1
work=$2

tshark=${TSHARK:-/usr/bin/tshark}
if [ ! -x "$tshark" ]; then
  tshark=$(command -v tshark || true)
fi
if [ -z "$tshark" ] || [ ! -x "$tshark" ]; then
  echo "SKIPPED: tshark is not installed (scripts/deps.sh installs it)"
  exit 77
fi

mkdir -p "$work" || exit 1
pcap=$work/traffic.pcap
manifest=$work/expected.txt
rm -f "$pcap" "$manifest" "$work"/*.txt.tmp

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# tshark runs as whatever user ctest runs as; its warning about root is noise here.
ts() {
  "$tshark" -r "$pcap" -n -d tcp.port==44818,enip \
    -o tcp.check_checksum:TRUE -o ip.check_checksum:TRUE "$@" 2>"$work/tshark.err"
}

echo "== traffic: $prog"
AB_PLCTAG_PCAP=$pcap timeout 120 "$prog" "$manifest" || fail "the traffic program failed"
[ -s "$pcap" ] || fail "no capture written to $pcap"
[ -s "$manifest" ] || fail "no manifest written to $manifest"

total=$(ts -T fields -e frame.number | wc -l)
[ -s "$work/tshark.err" ] && grep -v -i "running as user" "$work/tshark.err" | grep -q . &&
  fail "tshark could not read the capture: $(cat "$work/tshark.err")"
echo "== $total packets"
[ "$total" -gt 0 ] || fail "the capture holds no packets"

# 1. Full dissection: no malformed packet and no warning or error in the verbose tree.
ts -V >"$work/verbose.txt" || fail "tshark -V failed"
if grep -n -E "Malformed Packet|\[Expert Info \((Warning|Error)" "$work/verbose.txt" | head -20; then
  fail "tshark -V reports malformed packets or expert warnings (see $work/verbose.txt)"
fi

# 2. The same as display filters, plus checksums, undissected payload and error statuses
#    of the encapsulation layer.
check_none() {  # check_none <what> <display filter>
  local hits
  hits=$(ts -Y "$2")
  if [ -n "$hits" ]; then
    echo "$hits" | head -20 >&2
    fail "$1"
  fi
}
check_none "malformed packets or expert warnings/errors" "_ws.malformed || _ws.expert.severity >= warning"
check_none "bad IP or TCP checksums" "ip.checksum.status == 0 || tcp.checksum.status == 0"
check_none "TCP payload not dissected as EtherNet/IP" "tcp.len > 0 && !enip"
check_none "encapsulation error status" "enip.status != 0"

for proto in enip cip cipcm cippccc; do
  n=$(ts -Y "$proto" -T fields -e frame.number | wc -l)
  echo "== $n packets dissected as $proto"
  [ "$n" -gt 0 ] || fail "no packet dissected as $proto"
done

requests=$(ts -Y "tcp.dstport == 44818 && enip" -T fields -e frame.number | wc -l)
replies=$(ts -Y "tcp.srcport == 44818 && enip" -T fields -e frame.number | wc -l)
echo "== $requests EtherNet/IP requests, $replies replies"
[ "$requests" -gt 0 ] || fail "no EtherNet/IP requests in the capture"

# 3. What was requested, as tshark dissects it, against the program's manifest. One line per
#    request kind: "<server> cip <service> <symbols>" or "<server> pccc <fnc> <file> <type>".
#    An Unconnected Send shows two services (its own, then the embedded request's).
ts -Y "tcp.dstport == 44818 && cip" -T fields -E occurrence=a -E aggregator=, \
  -e ip.dst -e cip.service -e cip.symbol -e cip.pccc.fnc.code_0f -e cip.pccc.file.num \
  -e cip.pccc.file.type >"$work/requests.txt" || fail "tshark -T fields failed"
awk -F'\t' '
  function dec(h) { h = tolower(h); sub(/^0x/, "", h); n = 0
    for (i = 1; i <= length(h); ++i) n = n * 16 + index("0123456789abcdef", substr(h, i, 1)) - 1
    return n }
  {
    ns = split($2, svc, ",")
    if ($4 != "") {
      print $1 " cip " dec(svc[1]) " "
      print $1 " pccc " dec($4) " " ($5 == "" ? 0 : dec($5)) " " ($6 == "" ? 0 : dec($6))
    } else if (ns == 2) {
      print $1 " cip " dec(svc[1]) " "
      print $1 " cip " dec(svc[2]) " " $3
    } else {
      print $1 " cip " dec(svc[1]) " " $3
    }
  }' "$work/requests.txt" | sort -u >"$work/seen.txt"
sort -u "$manifest" >"$work/expected-sorted.txt"
missing=$(comm -23 "$work/expected-sorted.txt" "$work/seen.txt")
unexpected=$(comm -13 "$work/expected-sorted.txt" "$work/seen.txt")
if [ -n "$missing" ] || [ -n "$unexpected" ]; then
  [ -n "$missing" ] && { echo "expected but not dissected:"; echo "$missing"; } >&2
  [ -n "$unexpected" ] && { echo "dissected but not expected:"; echo "$unexpected"; } >&2
  fail "dissected requests differ from the manifest"
fi
echo "== $(wc -l <"$work/seen.txt") request kinds match the manifest"

# For the record: every non-success CIP status tshark saw in a reply.
ts -Y "tcp.srcport == 44818 && cip.genstat != 0" -T fields -e ip.src -e cip.service -e cip.genstat |
  sort | uniq -c | sed 's/^/   status: /'
echo "PASS"
