# Sourced. close_on_term PROGRAM COMMAND...: starts COMMAND (which ends up
# executing PROGRAM, an absolute path) in the background, waits until the
# program has its window up, then asks it to end as a desktop session does
# (SIGTERM). Returns the program's exit status; 124 when it never got ready.
close_on_term() {
    local program pid i status=0
    program=$(readlink -f "$1")
    shift
    "$@" &
    pid=$!
    # It takes SIGTERM once its window is up; until then the signal would
    # kill it. Until the program is started, the process is something else.
    catches_term() {
        local caught
        [ "$(readlink "/proc/$pid/exe" 2>/dev/null)" = "$program" ] || return 1
        caught=$(sed -n 's/^SigCgt:[[:space:]]*//p' "/proc/$pid/status" 2>/dev/null) || return 1
        [ -n "$caught" ] && (((0x$caught >> 14) & 1))
    }
    for ((i = 0; i < 600; ++i)); do
        catches_term && break
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    if ! catches_term; then
        kill -KILL "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
        return 124
    fi
    kill -TERM "$pid"
    wait "$pid" || status=$?
    return "$status"
}
