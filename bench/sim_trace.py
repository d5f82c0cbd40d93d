"""Reading what a simulated run's trace (PANOCTL_SIM_TRACE) says it did."""


def paused_microseconds(trace_path):
    """The sum of the pauses, the `sleep <microseconds>` lines, of a trace."""
    with open(trace_path) as lines:
        return sum(int(line.split()[1]) for line in lines if line.startswith("sleep "))
