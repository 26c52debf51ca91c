#!/usr/bin/env bash
# A private CUPS scheduler for the tests: its own configuration, spool, logs and
# socket in a fresh folder under /tmp, listening on a free port of 127.0.0.1.
# The system's CUPS (its /etc/cups and its daemon, if any) is never touched.
#
# Two queues write what they print into files, through a PPD that passes PDF
# through unchanged, so a test can read the printed document back:
#   padrao     the default destination   -> $CUPS_PRIVADO_DIR/saida/padrao.pdf
#   expedicao  a second queue            -> $CUPS_PRIVADO_DIR/saida/expedicao.pdf
# Each job writes its queue's file anew. The copies of a job are not repeated
# in the file: they are the job's "copies" attribute (and the filter's argument).
#
#   cups_privado.sh start [PID]   starts it and prints, one per line:
#                                   CUPS_SERVER=127.0.0.1:<port>
#                                   CUPS_PRIVADO_DIR=<folder>
#                                 With PID, a watcher stops the server and
#                                 removes the folder once that process is gone,
#                                 however it ended.
#   cups_privado.sh stop DIR      stops it and removes its folder.
#   cups_privado.sh run CMD...    runs CMD with CUPS_SERVER and CUPS_PRIVADO_DIR
#                                 exported, then stops it, whatever happened.
#
# Needs cupsd, lpadmin and lpstat (packages cups and cups-client). cupsd must be
# started as root: it runs its filters as the user lp, which is why the folders
# the filters read or write are world-readable.
set -euo pipefail

falha() { echo "cups_privado: $*" >&2; exit 1; }

porta_livre() {
  # Bind port 0 and report what the kernel chose; cupsd takes it right after.
  local p
  for py in /usr/bin/python3 python3; do
    if p=$("$py" -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])' 2>/dev/null); then
      echo "$p"; return 0
    fi
  done
  # No Python: a random high port; start retries if it was taken.
  echo $((20000 + RANDOM % 30000))
}

parar() {
  local d=$1
  [ -d "$d" ] || return 0
  # Only a folder made by this script is removed.
  [ -f "$d/.cups_privado" ] || falha "$d is not a private CUPS folder"
  if [ -f "$d/cupsd.pid" ]; then
    local pid
    pid=$(cat "$d/cupsd.pid")
    if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
      kill -TERM "$pid" 2>/dev/null || true
      for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.05; done
      kill -KILL "$pid" 2>/dev/null || true
    fi
  fi
  if [ -f "$d/vigia.pid" ]; then
    local vigia
    vigia=$(cat "$d/vigia.pid")
    [ -n "$vigia" ] && [ "$vigia" != "$$" ] && kill -TERM "$vigia" 2>/dev/null || true
  fi
  rm -rf "$d"
}

configurar() {
  local d=$1 porta=$2
  cat > "$d/etc/cups-files.conf" <<EOF
FileDevice Yes
ServerRoot $d/etc
RequestRoot $d/spool
TempDir $d/spool/tmp
CacheDir $d/cache
StateDir $d/state
ServerBin /usr/lib/cups
DataDir /usr/share/cups
AccessLog $d/log/access_log
ErrorLog $d/log/error_log
PageLog $d/log/page_log
Printcap $d/printcap
SystemGroup root
EOF
  cat > "$d/etc/cupsd.conf" <<EOF
Listen 127.0.0.1:$porta
Listen $d/cups.sock
LogLevel info
Browsing No
BrowseLocalProtocols none
DefaultShared No
WebInterface No
DefaultAuthType None
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
  # The tests read back the title of the jobs they sent.
  JobPrivateAccess all
  JobPrivateValues none
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
EOF
  # PDF goes through gziptoany, which passes it on byte for byte. A queue with
  # no filter at all (raw) would write nothing into a file: device.
  cat > "$d/passagem.ppd" <<'EOF'
*PPD-Adobe: "4.3"
*FormatVersion: "4.3"
*FileVersion: "1.0"
*LanguageVersion: English
*LanguageEncoding: ISOLatin1
*PCFileName: "PASSAGEM.PPD"
*Manufacturer: "Corvexa"
*Product: "(PDF Passagem)"
*ModelName: "Corvexa PDF Passagem"
*ShortNickName: "Corvexa PDF Passagem"
*NickName: "Corvexa PDF Passagem"
*PSVersion: "(3010.000) 0"
*LanguageLevel: "3"
*ColorDevice: True
*DefaultColorSpace: RGB
*FileSystem: False
*Throughput: "1"
*LandscapeOrientation: Plus90
*TTRasterizer: Type42
*cupsVersion: 2.4
*cupsFilter: "application/pdf 0 gziptoany"
*OpenUI *PageSize/Page Size: PickOne
*OrderDependency: 10 AnySetup *PageSize
*DefaultPageSize: A4
*PageSize A4/A4: ""
*CloseUI: *PageSize
*DefaultPageRegion: A4
*PageRegion A4/A4: ""
*DefaultImageableArea: A4
*ImageableArea A4/A4: "0 0 595 842"
*DefaultPaperDimension: A4
*PaperDimension A4/A4: "595 842"
EOF
}

iniciar() {
  local dono=${1:-}
  command -v cupsd >/dev/null && command -v lpadmin >/dev/null && command -v lpstat >/dev/null \
    || falha "cupsd, lpadmin or lpstat missing (packages cups and cups-client: scripts/install-deps.sh)"
  [ "$(id -u)" = 0 ] || falha "cupsd must be started as root"

  local d
  d=$(mktemp -d /tmp/corvexa-cups.XXXXXX)
  touch "$d/.cups_privado"
  # Filters run as lp: every folder on their way must be readable by others.
  chmod 755 "$d"
  mkdir -p "$d"/etc "$d"/spool/tmp "$d"/cache "$d"/state "$d"/log "$d"/saida
  chmod 777 "$d/saida"
  # A failure from here on leaves nothing behind.
  trap 'parar "$d" >/dev/null 2>&1 || true' ERR

  local porta pid="" pronto=""
  for _ in 1 2 3; do
    porta=$(porta_livre)
    configurar "$d" "$porta"
    cupsd -t -c "$d/etc/cupsd.conf" -s "$d/etc/cups-files.conf" >"$d/log/teste.out" 2>&1 \
      || { cat "$d/log/teste.out" >&2; falha "configuration refused by cupsd"; }
    # Its own session, so a terminal's signals do not reach it; no fd of ours.
    setsid cupsd -f -c "$d/etc/cupsd.conf" -s "$d/etc/cups-files.conf" \
      </dev/null >"$d/log/cupsd.out" 2>&1 &
    pid=$!
    echo "$pid" > "$d/cupsd.pid"
    for _ in $(seq 200); do
      kill -0 "$pid" 2>/dev/null || break
      if lpstat -h "127.0.0.1:$porta" -r 2>/dev/null | grep -q 'is running'; then pronto=1; break; fi
      sleep 0.025
    done
    [ -n "$pronto" ] && break
    kill -TERM "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  [ -n "$pronto" ] || { cat "$d/log/cupsd.out" "$d/log/error_log" >&2 2>/dev/null || true; parar "$d"; falha "cupsd did not start"; }

  local h="127.0.0.1:$porta" fila
  for fila in padrao expedicao; do
    # lpadmin warns that PPD files are deprecated: shown only when it fails.
    lpadmin -h "$h" -p "$fila" -E -v "file://$d/saida/$fila.pdf" -P "$d/passagem.ppd" >"$d/log/lpadmin.out" 2>&1 \
      || { cat "$d/log/lpadmin.out" >&2; parar "$d"; falha "queue $fila not added"; }
  done
  lpadmin -h "$h" -d padrao || { parar "$d"; falha "default not set"; }

  if [ -n "$dono" ]; then
    # The watcher holds none of the caller's descriptors, so a caller reading
    # this script's output sees its end.
    setsid bash -c '
      while kill -0 "$1" 2>/dev/null; do sleep 0.5; done
      exec "$2" stop "$3"' vigia "$dono" "$(readlink -f "$0")" "$d" \
      </dev/null >/dev/null 2>&1 &
    echo $! > "$d/vigia.pid"
  fi
  trap - ERR
  echo "CUPS_SERVER=$h"
  echo "CUPS_PRIVADO_DIR=$d"
}

case "${1:-}" in
  start)
    shift
    iniciar "${1:-}"
    ;;
  stop)
    [ -n "${2:-}" ] || falha "usage: $0 stop DIR"
    parar "$2"
    ;;
  run)
    shift
    [ $# -gt 0 ] || falha "usage: $0 run CMD..."
    saida=$(iniciar "$$")
    dir=$(sed -n 's/^CUPS_PRIVADO_DIR=//p' <<<"$saida")
    trap 'parar "$dir"' EXIT
    export CUPS_SERVER
    CUPS_SERVER=$(sed -n 's/^CUPS_SERVER=//p' <<<"$saida")
    export CUPS_PRIVADO_DIR=$dir
    unset LPDEST PRINTER
    "$@"
    ;;
  *)
    echo "usage: $0 start [PID] | stop DIR | run CMD..." >&2
    exit 2
    ;;
esac
