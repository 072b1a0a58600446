# Timing helpers of the benchmark scripts (sourced).

# Runs a command, its output thrown away; prints the seconds it took.
run() {
    local start end
    start=$(date +%s%N)
    "$@" >/dev/null 2>&1 || true
    end=$(date +%s%N)
    echo "scale=4; ($end - $start) / 1000000000" | bc
}

# The median of the numbers given.
median() { printf '%s\n' "$@" | sort -n | sed -n "$(( ($# + 1) / 2 ))p"; }
