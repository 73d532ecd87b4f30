#!/usr/bin/env bash
# Sound for machines without a sound card (build hosts, containers, CI): a private PulseAudio
# daemon with a null sink (speech plays into it in real time) and a sine source (a fake
# microphone for recording). Source this file, then call qv_start_audio.
#
# Why a private daemon instead of `pulseaudio --system`: system mode wants a "pulse" user, D-Bus
# and /run/pulse, and it refuses module loading from clients. A per-user daemon whose runtime
# directory we choose works the same for root and for ordinary users; root only earns a warning.
#
# Clients find it through PULSE_SERVER, which qv_start_audio exports. The socket accepts
# anonymous clients so that a test running under another HOME needs no cookie.
#
# A null sink left to itself runs with a 2 s latency and consumes audio in 2 s blocks: every new
# stream then stalls for a second or more after its first buffer, so each utterance would take
# that much longer than its sound. A "keeper" stream playing silence at 20 ms latency holds the
# sink at low latency for everyone, which is how a real sound card behaves.

QV_AUDIO_DIR=${QV_AUDIO_DIR:-/tmp/quorvel-audio-$(id -u)}

qv__audio_reachable() {
    # pactl waits for a dead server for a long time on some set-ups; never let it stall a script.
    timeout 5 pactl info >/dev/null 2>&1
}

qv__start_keeper() {
    local pidfile="$QV_AUDIO_DIR/keeper.pid" pid
    pid=$(cat "$pidfile" 2>/dev/null || true)
    if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
        return 0
    fi
    command -v pacat >/dev/null 2>&1 || return 0
    # setsid: the keeper must outlive the shell (and the test) that started it.
    setsid pacat --playback --device=qv_null --latency-msec=20 --raw --format=s16le \
        --rate=48000 --channels=1 --client-name=quorvel-keeper /dev/zero \
        </dev/null >/dev/null 2>&1 &
    echo $! >"$pidfile"
}

# Starts the daemon unless some PulseAudio server is already reachable. Returns 0 when a server
# can be reached afterwards, 1 otherwise (with one line on stderr).
qv_start_audio() {
    if ! command -v pulseaudio >/dev/null 2>&1 || ! command -v pactl >/dev/null 2>&1; then
        echo "quorvel: pulseaudio is not installed; no audio output" >&2
        return 1
    fi
    # A server the caller already chose, or the desktop session's own, is kept as it is.
    if [ -n "${PULSE_SERVER:-}" ] && qv__audio_reachable; then
        [ "$PULSE_SERVER" = "unix:$QV_AUDIO_DIR/pulse/native" ] && qv__start_keeper
        return 0
    fi
    if [ -z "${PULSE_SERVER:-}" ] && [ -n "${XDG_RUNTIME_DIR:-}" ] &&
        [ -S "$XDG_RUNTIME_DIR/pulse/native" ] && qv__audio_reachable; then
        return 0
    fi

    local sock="$QV_AUDIO_DIR/pulse/native"
    export PULSE_SERVER="unix:$sock"
    if qv__audio_reachable; then
        qv__start_keeper
        return 0
    fi

    mkdir -p "$QV_AUDIO_DIR" && chmod 700 "$QV_AUDIO_DIR" || return 1
    # A daemon that died uncleanly leaves a socket and a pid file that would block the new one.
    rm -f "$sock" "$QV_AUDIO_DIR/pulse/pid"
    # -n: no default.pa (it would probe for hardware); --exit-idle-time=-1: stay up between tests.
    if ! XDG_RUNTIME_DIR="$QV_AUDIO_DIR" pulseaudio -n --daemonize=yes --use-pid-file=yes \
        --exit-idle-time=-1 --disallow-exit=yes --log-target="file:$QV_AUDIO_DIR/pulse.log" \
        --load="module-null-sink sink_name=qv_null rate=48000 channels=2 sink_properties=device.description=Quorvel_null" \
        --load="module-sine-source source_name=qv_sine frequency=440 rate=48000" \
        --load="module-native-protocol-unix auth-anonymous=1 socket=$sock" \
        </dev/null >/dev/null 2>&1; then
        echo "quorvel: pulseaudio did not start" >&2
        unset PULSE_SERVER
        return 1
    fi
    local i
    for i in $(seq 1 50); do
        if qv__audio_reachable; then
            pactl set-default-sink qv_null >/dev/null 2>&1 || true
            pactl set-default-source qv_sine >/dev/null 2>&1 || true
            qv__start_keeper
            return 0
        fi
        sleep 0.1
    done
    echo "quorvel: pulseaudio started but cannot be reached at $sock" >&2
    unset PULSE_SERVER
    return 1
}

# Stops the daemon qv_start_audio started; a server it did not start is left alone.
qv_stop_audio() {
    local pidfile="$QV_AUDIO_DIR/pulse/pid" pid
    pid=$(cat "$QV_AUDIO_DIR/keeper.pid" 2>/dev/null || true)
    [ -n "$pid" ] && kill "$pid" 2>/dev/null
    rm -f "$QV_AUDIO_DIR/keeper.pid"
    [ -f "$pidfile" ] || return 0
    pid=$(cat "$pidfile" 2>/dev/null)
    if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
        kill "$pid" 2>/dev/null
        local i
        for i in $(seq 1 30); do
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.1
        done
        kill -0 "$pid" 2>/dev/null && kill -9 "$pid" 2>/dev/null
    fi
    rm -f "$pidfile" "$QV_AUDIO_DIR/pulse/native"
    if [ "${PULSE_SERVER:-}" = "unix:$QV_AUDIO_DIR/pulse/native" ]; then
        unset PULSE_SERVER
    fi
    return 0
}
