"""What the benchmarks share: alternating-batch timing against a reference, and this process's
resident-set readings for the peak-memory goals (Linux /proc)."""

import statistics
import timeit


def compare(ours, theirs, number, their_number, repeat):
    """Median seconds per call of each side, timed in alternating batches so that the machine's
    ups and downs fall on both alike, and the median of the per-batch ratios theirs/ours."""
    ours(), theirs()  # warm up
    ours_times, their_times, ratios = [], [], []
    for _ in range(repeat):
        a = timeit.timeit(ours, number=number) / number
        b = timeit.timeit(theirs, number=their_number) / their_number
        ours_times.append(a)
        their_times.append(b)
        ratios.append(b / a)
    return statistics.median(ours_times), statistics.median(their_times), statistics.median(ratios)


def memory_status():
    """This process's resident set size now and its peak (VmRSS, VmHWM), in bytes."""
    with open("/proc/self/status") as f:
        fields = dict(line.split(":", 1) for line in f)
    return tuple(int(fields[name].split()[0]) * 1024 for name in ("VmRSS", "VmHWM"))


def reset_peak():
    """Lowers the peak RSS to the current RSS (Linux 4.0 and later); false when not possible."""
    try:
        with open("/proc/self/clear_refs", "w") as f:
            f.write("5")
        return True
    except OSError:
        return False
