# Timing helpers of the benchmark scripts (sourced).

# Runs a command, its output thrown away; prints the seconds it took. The
# clock is bash's own (microseconds, any decimal mark taken out): starting
# `date` for it would add a process to every time, as much as a short run.
run() {
    local start end
    start=${EPOCHREALTIME//[!0-9]/}
    "$@" >/dev/null 2>&1 || true
    end=${EPOCHREALTIME//[!0-9]/}
    echo "scale=4; ($end - $start) / 1000000" | bc
}

# Runs a command as run does; prints the seconds it took and the processor
# seconds (user and system) its processes used, which a busy machine changes
# less. `times` counts them to the millisecond; it runs in this shell (a
# subshell starts without its parent's children), writing to a file.
run_cpu() {
    local start end file=${TMPDIR:-/tmp}/times.$BASHPID
    start=${EPOCHREALTIME//[!0-9]/}
    times >"$file.before"
    "$@" >/dev/null 2>&1 || true
    times >"$file.after"
    end=${EPOCHREALTIME//[!0-9]/}
    echo "scale=4; ($end - $start) / 1000000" | bc
    echo "scale=4; ($(children_ms "$file.after") - $(children_ms "$file.before")) / 1000" | bc
    rm -f "$file.before" "$file.after"
}
# The children's processor milliseconds in what `times` wrote to the file.
children_ms() {
    local user sys
    { read -r _ _; read -r user sys; } <"$1"
    echo $(( $(minutes_to_ms "$user") + $(minutes_to_ms "$sys") ))
}
# 1m2.345s, as `times` prints it, in milliseconds.
minutes_to_ms() {
    local minutes=${1%%m*} seconds=${1#*m}
    seconds=${seconds%s}
    echo $(( minutes * 60000 + 10#${seconds//[!0-9]/} ))
}

# Copies each file given (after the count and the folder) `count` times into
# the folder, as 1-NAME, 2-NAME and on; sets copies to their paths.
copy_each() {
    local count=$1 folder=$2 f i
    shift 2
    copies=()
    for f in "$@"; do
        for i in $(seq "$count"); do
            cp "$f" "$folder/$i-$(basename "$f")"
            copies+=("$folder/$i-$(basename "$f")")
        done
    done
}

# The median of the numbers given.
median() { printf '%s\n' "$@" | sort -n | sed -n "$(( ($# + 1) / 2 ))p"; }

# Times the script's functions `ours` and `theirs`, each after `prepare`, in
# six rounds, the first of which only warms the caches; sets a and b to the
# medians of their seconds.
paired_medians() {
    local i ta tb ours_times=() theirs_times=()
    for i in 1 2 3 4 5 6; do
        prepare
        ta=$(run ours)
        tb=$(run theirs)
        [ "$i" -gt 1 ] && ours_times+=("$ta") && theirs_times+=("$tb")
    done
    a=$(median "${ours_times[@]}")
    b=$(median "${theirs_times[@]}")
}
