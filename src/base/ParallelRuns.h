#pragma once
// Whole-raster loops split over the processor's cores. A 24-megapixel photo is 96 MB; one core
// walking it leaves the others idle while the user waits for a slider to follow the mouse.
//
// The pixels are cut into one run per worker, each a whole number of cache lines, so no two
// workers ever write the same line. Short jobs stay on the calling thread: starting a thread
// costs as much as a few hundred thousand pixels of work.

#include <cstddef>
#include <functional>

// How many workers a job of `count` items may use: the cores of this machine (or
// KELVO_THREADS, 1..64, when set: one thread makes timings comparable with single-threaded
// tools), but never so many that a run holds fewer than `minimumPerRun` items. At least 1.
int ParallelRunCount(std::size_t count, std::size_t minimumPerRun);

// Holds every later ParallelRunCount to at most `workers` (at least 1): a caller that already
// keeps the cores busy with work of its own (several files at once) wants no more threads.
void LimitParallelRuns(int workers);

// Calls work(begin, end, run) for runs 0 .. runs - 1 that together cover [0, count) in order,
// each but the last a multiple of `alignment` items long. Run 0 is done on the calling thread,
// the others on threads of their own (on the calling thread too when a thread cannot be
// started); returns once every run is done. work must not throw.
void ForEachRun(std::size_t count, int runs, std::size_t alignment,
                const std::function<void(std::size_t begin, std::size_t end, int run)>& work);
