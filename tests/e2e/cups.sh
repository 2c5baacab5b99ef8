# A private CUPS server for the cases that print; sourced by lib.sh.
#
#   cups_start DIR          start cupsd with its configuration, spool, state,
#                           cache and logs under DIR, no printer yet, and point
#                           CUPS_SERVER (lpadmin, lpstat and the program) at it
#   cups_add_printer NAME [PPD]
#                           add a queue whose device is the job sink on
#                           127.0.0.1 (helpers/job_sink.cpp); without a PPD a
#                           raw queue (what the program prints arrives as it
#                           was sent, a PDF), with one (data/*.ppd) the driver
#                           it describes, whose filters hand on a PDF
#   cups_add_unreachable_printer NAME
#                           add a raw queue whose device is a closed port on
#                           127.0.0.1: CUPS takes jobs that never print
#   cups_set_default NAME   make NAME the server's default printer
#   cups_wait_jobs N        wait until the sink holds N complete jobs
#   cups_job_count          how many complete jobs the sink holds
#   cups_job_file N         the file of the Nth job received (1, 2, ...)
#   cups_stop               stop cupsd and the sink (the EXIT trap does it too)
#   expect_print_failure MAIN TEXT
#                           "打印" answered with a message box whose text (as
#                           the program logs it) holds TEXT; Enter closes it
#   expect_print_followed   the program's look after the last job it sent
#                           ended and said "完成" (no message box is due)
#   expect_on_paper FILE WIDTH LEFT RIGHT LENGTH
#                           every word of the PDF FILE lies on a page WIDTH pt
#                           wide and LENGTH pt long (fit: one page ending just
#                           after the text), between LEFT and RIGHT pt, and is
#                           9 pt or more high
#
# The system's own CUPS, if there is one, is never touched. Needs
# E2E_JOB_SINK, and fail() and poll_until() from lib.sh.

CUPS_DIR=

cups_start() {
    CUPS_DIR=$1
    local d=$CUPS_DIR user group
    [ -n "${E2E_JOB_SINK:-}" ] && [ -x "$E2E_JOB_SINK" ] || fail "E2E_JOB_SINK is not built: ${E2E_JOB_SINK:-unset}"
    mkdir -p "$d/etc/ppd" "$d/etc/ssl" "$d/spool/tmp" "$d/cache" "$d/state" "$d/log" "$d/jobs"

    if [ "$(id -u)" -eq 0 ]; then
        # cupsd will not run jobs as root. Its filters and backends run as lp
        # and read the spool: every folder above it must let lp through.
        user=lp group=lp
        local above=$d
        while above=$(dirname "$above") && [ "$above" != / ]; do
            [ "$(( 0$(stat -c %a "$above") & 1 ))" -eq 1 ] \
                || fail "$above is not searchable by lp; point TMPDIR at a folder that is"
        done
    else
        user=$(id -un) group=$(id -gn)
    fi
    chmod 755 "$d" "$d/etc" "$d/spool" "$d/cache" "$d/state" "$d/log"
    chmod 1777 "$d/spool/tmp" "$d/jobs"

    cat >"$d/cups-files.conf" <<CONF
ServerRoot $d/etc
RequestRoot $d/spool
TempDir $d/spool/tmp
CacheDir $d/cache
StateDir $d/state
AccessLog $d/log/access_log
ErrorLog $d/log/error_log
PageLog $d/log/page_log
Printcap $d/state/printcap
User $user
Group $group
SystemGroup $(id -gn)
FileDevice No
CONF
    cat >"$d/cupsd.conf" <<CONF
LogLevel info
Listen $d/cups.sock
Browsing No
BrowseLocalProtocols none
WebInterface No
DefaultAuthType None
JobRetryInterval 1
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
CONF
    cupsd -c "$d/cupsd.conf" -s "$d/cups-files.conf" -f >"$d/log/cupsd.out" 2>&1 &
    echo $! >"$d/cupsd.pid"
    export CUPS_SERVER=$d/cups.sock
    poll_until 30 "cupsd to answer on $CUPS_SERVER" cups_running \
        || fail "the private cupsd did not start: $(cat "$d/log/cupsd.out" "$d/log/error_log" 2>/dev/null)"
}

cups_running() {
    process_alive "$(cat "$CUPS_DIR/cupsd.pid")" \
        || fail "cupsd ended: $(cat "$CUPS_DIR/log/cupsd.out" "$CUPS_DIR/log/error_log" 2>/dev/null)"
    lpstat -r 2>/dev/null | grep -q 'is running'
}

cups_add_printer() {
    local name=$1 portfile=$CUPS_DIR/sink.port model=(-m raw)
    [ -z "${2:-}" ] || model=(-P "$2")
    if [ ! -s "$portfile" ]; then  # one sink behind every queue, numbering all jobs
        "$E2E_JOB_SINK" "$portfile" "$CUPS_DIR/jobs" >"$CUPS_DIR/log/sink.log" 2>&1 &
        echo $! >"$CUPS_DIR/sink.pid"
        poll_until 10 "the job sink to listen" test -s "$portfile" \
            || fail "the job sink did not start: $(cat "$CUPS_DIR/log/sink.log")"
    fi
    lpadmin -p "$name" -v "socket://127.0.0.1:$(cat "$portfile")" -E "${model[@]}" 2>"$CUPS_DIR/log/lpadmin.err" \
        || fail "lpadmin could not add $name: $(cat "$CUPS_DIR/log/lpadmin.err")"
    poll_until 10 "$name to accept jobs" cups_accepting "$name" || fail "$name does not accept jobs"
}

cups_add_unreachable_printer() {
    local name=$1 port
    for port in $(seq 47100 47200); do
        (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null || break
    done
    lpadmin -p "$name" -v "socket://127.0.0.1:$port" -E -m raw 2>"$CUPS_DIR/log/lpadmin.err" \
        || fail "lpadmin could not add $name: $(cat "$CUPS_DIR/log/lpadmin.err")"
    poll_until 10 "$name to accept jobs" cups_accepting "$name" || fail "$name does not accept jobs"
}

cups_accepting() {
    lpstat -a "$1" 2>/dev/null | grep -q 'accepting requests'
}

cups_set_default() {
    lpadmin -d "$1" || fail "lpadmin could not make $1 the default"
    poll_until 10 "$1 to become the default" cups_default_is "$1" || fail "$1 did not become the default"
}

cups_default_is() {
    [ "$(lpstat -d 2>/dev/null)" = "system default destination: $1" ]
}

cups_job_file() {
    echo "$CUPS_DIR/jobs/job-$1.bin"
}

cups_job_count() {
    find "$CUPS_DIR/jobs" -name 'job-*.bin' | wc -l
}

cups_has_jobs() {
    [ "$(cups_job_count)" -ge "$1" ]
}

cups_wait_jobs() {
    poll_until 60 "$1 print job(s) to reach the printer" cups_has_jobs "$1" || {
        lpstat -W all -o >&2 2>/dev/null
        tail -n 20 "$CUPS_DIR/log/error_log" >&2 2>/dev/null
        return 1
    }
}

cups_stop() {
    [ -n "$CUPS_DIR" ] || return 0
    local pidfile
    for pidfile in "$CUPS_DIR"/*.pid; do
        [ -e "$pidfile" ] || continue
        stop_process "$(cat "$pidfile")"
        rm -f "$pidfile"
    done
    rm -f "$CUPS_DIR/sink.port"
}

expect_print_failure() {
    local main=$1 wanted=$2 said
    poll_until 30 "a message box" one_message_box || { visible_windows >&2; fail "no message box showed"; }
    # The program logs what the box says before it shows it.
    said=$(grep '打印失败' "$E2E_DIR/logs/tavelko-$APP_RUNS.log" | tail -n 1)
    case $said in
        *"$wanted"*) ;;
        *) fail "the print failure does not say '$wanted': $said" ;;
    esac
    expect_message_box "$main"
}

print_follow_ended() {
    [ "$(grep -c '^打印任务 .*完成' "$E2E_DIR/logs/tavelko-$APP_RUNS.log")" -ge "$1" ]
}

expect_print_followed() {
    local before=${PRINTS_FOLLOWED:-0}
    poll_until 30 "the print job to be followed to its end" print_follow_ended $((before + 1)) \
        || fail "the program did not follow the job to its end: $(grep '打印' "$E2E_DIR/logs/tavelko-$APP_RUNS.log")"
    PRINTS_FOLLOWED=$((before + 1))
}

expect_on_paper() {
    local file=$1 width=$2 left=$3 right=$4 length=$5
    pdftotext -bbox -enc UTF-8 "$file" - | awk -v width="$width" -v left="$left" -v right="$right" -v long="$length" '
        function attr(name) { match($0, name "=\"[0-9.]+\""); return substr($0, RSTART + length(name) + 2, RLENGTH - length(name) - 3) + 0 }
        function abs(v) { return v < 0 ? -v : v }
        /<page / {
            pages++; height = attr("height")
            if (abs(attr("width") - width) > 1.5 || (long != "fit" && abs(height - long) > 1.5)) {
                printf "the page is %.1f x %.1f pt, not %.1f x %s pt\n", attr("width"), height, width, long; exit 1
            }
            bottom = 0
        }
        /<word / {
            words++
            x0 = attr("xMin"); x1 = attr("xMax"); y0 = attr("yMin"); y1 = attr("yMax")
            if (x0 < left - 1.5 || x1 > right + 1.5 || y0 < 0 || y1 > height) {
                printf "the word %s lies outside the printable area (%.1f..%.1f x %.1f..%.1f on a %.1f pt page)\n", $0, x0, x1, y0, y1, height; exit 1
            }
            if (y1 - y0 < 9) { printf "the word %s is %.1f pt high, less than 9 pt\n", $0, y1 - y0; exit 1 }
            if (y1 > bottom) bottom = y1
        }
        END {
            if (words == 0) { print "no text on the paper"; exit 1 }
            if (long == "fit" && (pages != 1 || height - bottom > 30)) {
                printf "%d page(s); the last ends %.1f pt below the text instead of just after it\n", pages, height - bottom; exit 1
            }
        }' >&2 || fail "the bill is not laid out on the paper"
}
