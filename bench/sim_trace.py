"""Reading what a simulated run's trace (PANOCTL_SIM_TRACE) says it did."""


def paused_microseconds(trace_path):
    """The sum of the pauses, the `sleep <microseconds>` lines, of a trace."""
    with open(trace_path) as lines:
        return sum(int(line.split()[1]) for line in lines if line.startswith("sleep "))


def i2c_operations(trace_path):
    """The I2C operations, the `write` and `read` lines, of a trace (a missing
    trace file: none were made)."""
    try:
        with open(trace_path) as lines:
            return sum(1 for line in lines if line.startswith(("write ", "read ")))
    except FileNotFoundError:
        return 0
