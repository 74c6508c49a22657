#pragma once

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace platform {

// Makes `count` blocks of output on worker threads and hands them to `take` on the calling
// thread, in block order, each as soon as it and the ones before it are made: a long file is
// written while its later blocks are still being formatted. A block is made into a Piece of
// a small ring that `take` hands back, so the memory of the first blocks serves all the
// others.
//
// `make(block, piece)` fills a piece (it gets the piece as `take` left it, and clears it
// itself); it runs on several threads at once and may only read what they share.
// `take(piece)` runs on the calling thread. Whatever either throws stops the work and comes
// out of makeInOrder, after the workers have ended; no block is taken after one that failed.
// With one core, or no thread to be had, the caller makes every block itself.
template <class Piece, class Make, class Take>
void makeInOrder(int count, Make make, Take take)
{
    if (count <= 0)
        return;
    const unsigned cores = std::thread::hardware_concurrency();
    const int workers = std::min(count, int(std::min(cores, 4u)));
    const auto alone = [&] {
        Piece piece;
        for (int block = 0; block < count; ++block) {
            make(block, piece);
            take(piece);
        }
    };
    if (workers < 2 || count < 2) {
        alone();
        return;
    }

    // Every worker may be making one block while the caller writes out two more.
    const int ringSize = workers + 2;
    std::vector<Piece> ring(static_cast<std::size_t>(ringSize));
    std::vector<char> ready(static_cast<std::size_t>(ringSize), 0);
    std::mutex mutex;
    std::condition_variable changed;
    int claimed = 0; // blocks handed to a worker
    int taken = 0;   // blocks the caller has taken
    bool stop = false;
    std::exception_ptr failure;

    const auto work = [&] {
        for (;;) {
            int block;
            {
                std::unique_lock lock(mutex);
                // A block goes into the ring slot of the one `ringSize` before it, once taken.
                changed.wait(lock, [&] { return stop || claimed >= count || claimed < taken + ringSize; });
                if (stop || claimed >= count)
                    return;
                block = claimed++;
            }
            Piece& piece = ring[static_cast<std::size_t>(block % ringSize)];
            try {
                make(block, piece);
            } catch (...) {
                std::lock_guard lock(mutex);
                if (!failure)
                    failure = std::current_exception();
                stop = true;
                changed.notify_all();
                return;
            }
            std::lock_guard lock(mutex);
            ready[static_cast<std::size_t>(block % ringSize)] = 1;
            changed.notify_all();
        }
    };

    std::vector<std::thread> threads;
    try {
        for (int i = 0; i < workers; ++i)
            threads.emplace_back(work);
    } catch (const std::system_error&) {
        // No thread to be had: the ones started end at once, and the caller works alone.
        {
            std::lock_guard lock(mutex);
            stop = true;
        }
        changed.notify_all();
        for (std::thread& t : threads)
            t.join();
        alone();
        return;
    }

    const auto finish = [&] {
        {
            std::lock_guard lock(mutex);
            stop = true;
        }
        changed.notify_all();
        for (std::thread& t : threads)
            t.join();
    };
    try {
        for (int block = 0; block < count; ++block) {
            const std::size_t slot = static_cast<std::size_t>(block % ringSize);
            {
                std::unique_lock lock(mutex);
                changed.wait(lock, [&] { return ready[slot] || failure; });
                if (!ready[slot])
                    break; // a worker failed on this block or one it needed
            }
            take(ring[slot]);
            std::lock_guard lock(mutex);
            ready[slot] = 0;
            ++taken;
            changed.notify_all();
        }
    } catch (...) {
        finish();
        throw;
    }
    finish();
    if (failure)
        std::rethrow_exception(failure);
}

} // namespace platform
