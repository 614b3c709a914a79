#!/usr/bin/env bash
# Sets up a CUPS queue "PDF" (cups-pdf) as the default printer, so that the
# report's printing tests have a real printer whose output can be read back.
#
# - installs cups, printer-driver-cups-pdf and poppler-utils when missing;
# - starts cupsd directly when no scheduler is running (no systemd needed);
# - creates the queue and makes it the default when it is not already;
# - prints the folder where cups-pdf writes the printed files.
#
# Safe to run again: when everything is in place it only checks and reports.
set -euo pipefail

QUEUE=PDF
PPD_MODEL=lsb/usr/cups-pdf/CUPS-PDF_opt.ppd
PACKAGES=(cups printer-driver-cups-pdf poppler-utils)

log() { printf 'setup-pdf-printer: %s\n' "$*" >&2; }
die() {
    log "error: $*"
    exit 1
}

as_root() {
    if [ "$(id -u)" -eq 0 ]; then
        "$@"
    elif command -v sudo >/dev/null 2>&1; then
        sudo "$@"
    else
        die "need root (or sudo) to run: $*"
    fi
}

install_missing_packages() {
    local missing=()
    local pkg
    for pkg in "${PACKAGES[@]}"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$pkg")
        fi
    done
    if [ "${#missing[@]}" -eq 0 ]; then
        return
    fi
    log "installing ${missing[*]}"
    as_root env DEBIAN_FRONTEND=noninteractive apt-get update -qq
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
        "${missing[@]}" >/dev/null
}

scheduler_running() {
    lpstat -r 2>/dev/null | grep -q 'scheduler is running'
}

start_scheduler() {
    if scheduler_running; then
        return
    fi
    log "starting cupsd"
    # cupsd forks into the background by itself and returns once it is set up.
    as_root /usr/sbin/cupsd
    local _
    for _ in $(seq 1 100); do
        if scheduler_running; then
            return
        fi
        sleep 0.1
    done
    die "cupsd was started but 'lpstat -r' does not report a running scheduler"
}

create_queue() {
    if ! lpstat -v "$QUEUE" >/dev/null 2>&1; then
        log "creating printer queue $QUEUE"
        as_root lpadmin -p "$QUEUE" -v cups-pdf:/ -m "$PPD_MODEL" -E
    fi
    if ! lpstat -d 2>/dev/null | grep -q "system default destination: $QUEUE\$"; then
        log "making $QUEUE the default printer"
        as_root lpadmin -d "$QUEUE"
    fi
    # pdftocairo keeps the text of Qt's PDFs readable through the PostScript
    # step (the default renderer turns the glyphs into unreadable Type 3
    # fonts); TitlePref=1 names the output after the job title; the queue is
    # for this machine only.
    local options
    options=$(lpoptions -p "$QUEUE" 2>/dev/null || true)
    if [[ "$options" != *"pdftops-renderer=pdftocairo"* || "$options" != *"printer-is-shared=false"* ]] ||
        ! lpoptions -p "$QUEUE" -l 2>/dev/null | grep -q '^TitlePref.*\*1'; then
        log "setting the options of $QUEUE"
        as_root lpadmin -p "$QUEUE" -o pdftops-renderer-default=pdftocairo -o TitlePref=1 \
            -o printer-is-shared=false
    fi
    # A queue left stopped or rejecting jobs by an earlier failure is of no use.
    if ! lpstat -p "$QUEUE" 2>/dev/null | grep -q enabled; then
        as_root cupsenable "$QUEUE"
    fi
    if ! lpstat -a "$QUEUE" 2>/dev/null | grep -q 'accepting requests'; then
        as_root cupsaccept "$QUEUE"
    fi
}

# Where cups-pdf writes the files of the calling user: its "Out" setting,
# with ${HOME} and ${USER} filled in. For root, cups-pdf uses the same rule.
output_dir() {
    local conf=/etc/cups/cups-pdf.conf
    # shellcheck disable=SC2016 # the literal form, as cups-pdf.conf writes it
    local out='${HOME}/PDF'
    if [ -r "$conf" ]; then
        local configured
        configured=$(sed -n 's/^[[:space:]]*Out[[:space:]]\+//p' "$conf" | tail -n 1)
        if [ -n "$configured" ]; then
            out=$configured
        fi
    fi
    local user home
    user=$(id -un)
    home=$(getent passwd "$user" | cut -d: -f6)
    out=${out//\$\{HOME\}/$home}
    out=${out//\$\{USER\}/$user}
    printf '%s\n' "$out"
}

install_missing_packages
start_scheduler
create_queue
log "default printer: $(lpstat -d 2>/dev/null | sed 's/.*: //')"
log "cups-pdf writes printed files to:"
output_dir
