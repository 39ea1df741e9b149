# The environment the tests run in: no display, a private runtime folder, the system's locale, and
# a private CUPS daemon with the queues "Cocina", "Bar" and "Facturas" (the default), which have a
# driver that takes PDF, and two raw queues as receipt printers are set up: "Termica", and
# "Barra_1" described as "Barra 1".
# Sourced by scripts/test and scripts/bench-printing; for a shell of your own:
#   bash -c 'source scripts/lib/test-env.sh; start_test_env; trap stop_test_env EXIT; ctest --test-dir build'
#
# After start_test_env:
#   CUPS_SERVER             the daemon's socket; libcups and Qt both honour it
#   KELMORA_TEST_CUPS_OUT   where the queues' output lands: QUEUE.JOBID for every job (its title
#                           in QUEUE.JOBID.title), and QUEUE for the latest one, each written whole
#                           (a temporary name, then renamed)
# The daemon is the machine's own cupsd binary with a configuration, spool and socket of its own;
# the machine's printers and settings are never touched.

KELMORA_TEST_QUEUES=(Cocina Bar Facturas)
KELMORA_TEST_RAW_QUEUES=(Termica Barra_1)
KELMORA_TEST_DEFAULT_QUEUE=Facturas

# A driver in a few lines: PDF passes to the device as it is, as with a printer whose driver
# takes PDF.
_kelmora_write_pdf_ppd() {
  cat >"$1" <<'PPD'
*PPD-Adobe: "4.3"
*FormatVersion: "4.3"
*FileVersion: "1.0"
*LanguageVersion: English
*LanguageEncoding: ISOLatin1
*PCFileName: "KELMORA.PPD"
*Manufacturer: "Kelmora"
*Product: "(Kelmora PDF test printer)"
*ModelName: "Kelmora PDF test printer"
*ShortNickName: "Kelmora PDF"
*NickName: "Kelmora PDF test printer"
*PSVersion: "(3010.000) 0"
*cupsFilter2: "application/pdf application/pdf 0 -"
*OpenUI *PageSize/Page Size: PickOne
*DefaultPageSize: Roll80
*PageSize Roll80/80 mm roll: "<</PageSize[227 842]>>setpagedevice"
*CloseUI: *PageSize
*DefaultImageableArea: Roll80
*ImageableArea Roll80: "0 0 227 842"
*DefaultPaperDimension: Roll80
*PaperDimension Roll80: "227 842"
PPD
}

start_test_env() {
  export QT_QPA_PLATFORM=offscreen
  export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"
  chmod 0700 "$XDG_RUNTIME_DIR"
  start_test_cups
}

stop_test_env() {
  stop_test_cups
}

# A tiny backend of the tests' own: a file: device writes nothing for raw jobs (they pass through
# no filter), so the queues print through this one. Its device URI names the output file.
_kelmora_write_capture_backend() {
  cat >"$1" <<'BACKEND'
#!/bin/sh
# capture:/path/QUEUE - copies each job's data to /path/QUEUE.JOBID and /path/QUEUE.
if [ $# -eq 0 ]; then
  echo 'direct capture "Unknown" "Capture to file (tests)"'
  exit 0
fi
out="${DEVICE_URI#capture:}"
umask 022
printf '%s' "$3" >"$out.$1.title" || exit 1
if [ $# -ge 6 ]; then
  cat "$6" >"$out.$1.part" || exit 1
else
  cat >"$out.$1.part" || exit 1
fi
cp "$out.$1.part" "$out.part" && mv "$out.part" "$out" && mv "$out.$1.part" "$out.$1" || exit 1
exit 0
BACKEND
}

start_test_cups() {
  if [ -n "${KELMORA_TEST_CUPS_DIR:-}" ]; then
    return 0  # already started in this shell
  fi
  local dir
  dir="$(mktemp -d "${TMPDIR:-/tmp}/kelmora-cups.XXXXXX")"
  export KELMORA_TEST_CUPS_DIR="$dir"
  chmod 0755 "$dir"
  mkdir -p "$dir/spool/tmp" "$dir/cache" "$dir/state" "$dir/log" "$dir/out" "$dir/bin/backend"

  # The daemon's programs: the system's, plus the capture backend. Run as root, it runs a backend
  # as root only when the file is owned by root with no access for others.
  local entry
  for entry in /usr/lib/cups/*; do
    [ "$(basename "$entry")" = backend ] || ln -s "$entry" "$dir/bin/"
  done
  for entry in /usr/lib/cups/backend/*; do
    ln -s "$entry" "$dir/bin/backend/"
  done
  _kelmora_write_capture_backend "$dir/bin/backend/capture"
  if [ "$(id -u)" -eq 0 ]; then
    chmod 0700 "$dir/bin/backend/capture"
  else
    chmod 0755 "$dir/bin/backend/capture"
  fi

  cat >"$dir/cupsd.conf" <<EOF
Listen $dir/cups.sock
Browsing No
BrowseLocalProtocols none
WebInterface No
DefaultAuthType None
LogLevel warn
MaxJobs 0
PreserveJobHistory No
PreserveJobFiles No
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
EOF
  cat >"$dir/cups-files.conf" <<EOF
ServerRoot $dir
ServerBin $dir/bin
RequestRoot $dir/spool
TempDir $dir/spool/tmp
CacheDir $dir/cache
StateDir $dir/state
AccessLog $dir/log/access_log
ErrorLog $dir/log/error_log
PageLog $dir/log/page_log
Printcap $dir/printcap
SystemGroup root
FileDevice Yes
EOF

  if ! cupsd -t -c "$dir/cupsd.conf" -s "$dir/cups-files.conf" >"$dir/log/check" 2>&1; then
    echo "test-env: the private cupsd configuration is refused:" >&2
    cat "$dir/log/check" >&2
    return 1
  fi
  # In the foreground of a background job, with no terminal or pipe held: started inside $( ) or
  # a pipeline otherwise, it would keep the caller waiting.
  cupsd -f -c "$dir/cupsd.conf" -s "$dir/cups-files.conf" </dev/null >>"$dir/log/cupsd" 2>&1 &
  local daemon=$!
  echo $daemon >"$dir/cupsd.pid"
  # Should this shell be killed before it can stop the daemon, the daemon follows it.
  (
    while kill -0 $$ 2>/dev/null && kill -0 $daemon 2>/dev/null; do sleep 1; done
    kill -TERM $daemon 2>/dev/null || true
  ) </dev/null >/dev/null 2>&1 &
  echo $! >"$dir/watchdog.pid"

  export CUPS_SERVER="$dir/cups.sock"
  export KELMORA_TEST_CUPS_OUT="$dir/out"
  unset PRINTER LPDEST

  local tries=0
  until lpstat -r 2>/dev/null | grep -q "scheduler is running"; do
    tries=$((tries + 1))
    if [ $tries -gt 100 ] || ! kill -0 "$(cat "$dir/cupsd.pid")" 2>/dev/null; then
      echo "test-env: the private cupsd did not start:" >&2
      cat "$dir/log/cupsd" "$dir/log/error_log" >&2 2>/dev/null
      stop_test_cups
      return 1
    fi
    sleep 0.1
  done

  local queue
  _kelmora_write_pdf_ppd "$dir/kelmora-pdf.ppd"
  for queue in "${KELMORA_TEST_QUEUES[@]}"; do
    lpadmin -p "$queue" -E -v "capture:$dir/out/$queue" -P "$dir/kelmora-pdf.ppd" >>"$dir/log/lpadmin" 2>&1 ||
      { cat "$dir/log/lpadmin" >&2; stop_test_cups; return 1; }
  done
  for queue in "${KELMORA_TEST_RAW_QUEUES[@]}"; do
    lpadmin -p "$queue" -E -v "capture:$dir/out/$queue" || { stop_test_cups; return 1; }
  done
  lpadmin -p Barra_1 -D "Barra 1" || { stop_test_cups; return 1; }
  lpadmin -d "$KELMORA_TEST_DEFAULT_QUEUE" || { stop_test_cups; return 1; }
}

stop_test_cups() {
  local dir="${KELMORA_TEST_CUPS_DIR:-}"
  [ -n "$dir" ] || return 0
  # Every step may fail harmlessly (the daemon already gone): none may end a `set -e` caller.
  if [ -f "$dir/watchdog.pid" ]; then
    kill -TERM "$(cat "$dir/watchdog.pid")" 2>/dev/null || true
  fi
  if [ -f "$dir/cupsd.pid" ]; then
    local pid tries=0
    pid="$(cat "$dir/cupsd.pid")"
    kill -TERM "$pid" 2>/dev/null || true
    while kill -0 "$pid" 2>/dev/null && [ $tries -lt 100 ]; do
      sleep 0.1
      tries=$((tries + 1))
    done
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  fi
  rm -rf "$dir" || true
  unset KELMORA_TEST_CUPS_DIR CUPS_SERVER KELMORA_TEST_CUPS_OUT
  return 0
}
