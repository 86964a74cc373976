#!/usr/bin/python3
"""Spectra per second beyond one thread (not a test): magnitudes in the seven systems of 10^5
spectra of 5,000 points through the survey workload's 30 filters, in one process with
threads=1 and threads=2, and as a dask array on a dask.distributed LocalCluster of two worker
processes (one thread each).

    PYTHONPATH=build/python /usr/bin/python3 bench/python/bench_dask.py [--spectra 100000]
        [--chunk 2000] [--repeat 2]

Every chunk of spectra is one block of smooth spectra made once per process where it is
measured (10^5 spectra would take 2 GB): the time is that of the photometry and, on the
cluster, of the tasks and of the results' travel back to this process. The cluster's start
and its first task (each worker loading the filter set and making its block) are left out.
Each figure is the best of --repeat runs, in wall-clock time.
"""

import argparse
import importlib.util
import os
import tempfile
import time

import numpy as np

import veltrane

HERE = os.path.dirname(os.path.abspath(__file__))


def bench_photometry():
    spec = importlib.util.spec_from_file_location("bench_photometry", os.path.join(HERE, "bench_photometry.py"))
    mod = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(mod)
    return mod


class Spectra:
    """The spectra, chunk by chunk: every chunk is the same block of --chunk smooth spectra,
    made once per process where it is measured (as if each had been read there), so that the
    figures are those of the photometry and its transport, and 10^5 spectra need not be held
    (they would take 2 GB). The block is not pickled: a worker makes its own."""

    def __init__(self, n, chunk, points=5000):
        self.n, self.chunk, self.points = n, chunk, points
        self.wave = bench_photometry().spectra(1, points)[0]
        self._block = None

    def __getstate__(self):
        return {k: v for k, v in self.__dict__.items() if k != "_block"} | {"_block": None}

    def rows(self, k):
        if self._block is None:
            self._block = _worker_block(self.chunk, self.points)
        return self._block[:min(self.chunk, self.n - k * self.chunk)]

    def chunks(self):
        return range((self.n + self.chunk - 1) // self.chunk)


def _worker_block(chunk, points):
    """The block of spectra of this process: kept by the Dask worker running the task, so a
    worker makes it once, not at every compute (the Spectra it unpickles are new each time)."""
    try:
        from dask.distributed import get_worker

        worker = get_worker()
    except (ImportError, ValueError):
        return bench_photometry().spectra(chunk, points)[1]
    if getattr(worker, "veltrane_bench_block", None) is None:
        worker.veltrane_bench_block = bench_photometry().spectra(chunk, points)[1]
    return worker.veltrane_bench_block


def in_process(fs, spectra, threads):
    out = np.empty((spectra.n, len(fs), 7), dtype=np.float32)
    for k in spectra.chunks():
        out[k * spectra.chunk:(k + 1) * spectra.chunk] = fs.magnitudes(spectra.wave, spectra.rows(k), threads=threads)
    return out


def _chunk(k, spectra):
    return spectra.rows(int(k[0]))


def dask_array(spectra):
    """The spectra as a dask array, one task per chunk; `spectra` travels once, as one key."""
    import dask
    import dask.array as da

    ids = da.arange(len(spectra.chunks()), chunks=1)
    sizes = tuple(min(spectra.chunk, spectra.n - k * spectra.chunk) for k in spectra.chunks())
    return ids.map_blocks(_chunk, dask.delayed(spectra, pure=True), chunks=(sizes, (spectra.wave.size,)),
                          new_axis=1, meta=np.empty((0, 0), np.float32))


def best(repeat, fn):
    times = []
    for _ in range(repeat):
        t0 = time.perf_counter()
        result = fn()
        times.append(time.perf_counter() - t0)
    return min(times), result


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--spectra", type=int, default=100000)
    ap.add_argument("--chunk", type=int, default=2000)
    ap.add_argument("--repeat", type=int, default=2)
    args = ap.parse_args()
    from dask.distributed import Client, LocalCluster

    work = tempfile.mkdtemp(prefix="veltrane-bench-dask-")
    bench_photometry().write_filters(work)
    fs = veltrane.FilterSet(work)
    spectra = Spectra(args.spectra, args.chunk)
    n = args.spectra
    print(f"{n} spectra of {spectra.wave.size} points, {len(fs)} filters, chunks of {args.chunk} spectra")
    one, want = best(args.repeat, lambda: in_process(fs, spectra, 1))
    print(f"one process, threads=1:   {n / one:12,.0f} spectra/s")
    two, got = best(args.repeat, lambda: in_process(fs, spectra, 2))
    print(f"one process, threads=2:   {n / two:12,.0f} spectra/s   {one / two:.2f}x threads=1")
    assert np.array_equal(got.view(np.uint32), want.view(np.uint32))
    lazy = fs.magnitudes(spectra.wave, dask_array(spectra))
    with LocalCluster(n_workers=2, threads_per_worker=1, dashboard_address=None) as cluster, Client(cluster):
        fs.magnitudes(spectra.wave, dask_array(Spectra(4 * args.chunk, args.chunk))).compute()  # workers load fs
        cl, got = best(args.repeat, lazy.compute)
    print(f"LocalCluster, 2 workers:  {n / cl:12,.0f} spectra/s   {one / cl:.2f}x threads=1")
    print("the cluster's magnitudes equal the in-process ones bit for bit:",
          np.array_equal(got.view(np.uint32), want.view(np.uint32)))


if __name__ == "__main__":
    main()
