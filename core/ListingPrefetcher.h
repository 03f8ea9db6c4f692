// Lists directories ahead of a depth-first walk on worker threads, so the walk's thread rarely waits for the disk.
#pragma once

#include "core/FileSystem.h"

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace twinspotter {

/// Worker threads list directories (and read the metadata of their files) in the order a depth-first walk will ask
/// for them: a directory's subdirectories that the walk enters (those not beginning with ".") in listing order, each
/// with its whole subtree before the next. The walk takes each listing in that order; what it takes is exactly what
/// one listDirectory call returned, so the walk sees what a walk without workers would have seen. The listings held
/// ready but not yet taken stay under a bound, however far the workers could run ahead.
///
/// While listings keep the cores busy, at most as many run at once as the walk was given threads; while the cores
/// idle with directories still to list (a cold disk, a network mount), more run at once, up to the larger bound,
/// since a waiting thread costs no core and more requests in flight are what such a disk needs.
class ListingPrefetcher
{
public:
    /// Lists below \p root (the walk's own text of it, ending with the separator) with up to \p threads listings
    /// at once, the walk's thread included, or up to \p waitingThreads while fewer than \p cores are kept busy.
    /// \p fs must allow listDirectory from several threads at once.
    ListingPrefetcher(FileSystem& fs, const PathString& root, unsigned threads, unsigned waitingThreads, unsigned cores,
                      std::size_t maxEntriesAhead);
    /// Stops the workers and waits for them.
    ~ListingPrefetcher();
    ListingPrefetcher(const ListingPrefetcher&) = delete;
    ListingPrefetcher& operator=(const ListingPrefetcher&) = delete;

    /// The listing of \p dir, the next directory in the walk's order: taken from a worker, or listed here when no
    /// worker has begun it; an error the listing threw is thrown here. While a worker lists it, the walk's thread lists
    /// the next directories nobody has begun rather than wait idle. False, with \p out empty, when it cannot be listed.
    /// What \p out held before goes back to the workers to be listed into again, so that the names' buffers are reused,
    /// not freed and made anew.
    bool take(const PathString& dir, std::vector<DirEntry>& out);

private:
    /// A directory's place in the walk's order: the positions of it and its ancestors among their siblings.
    using Order = std::vector<std::uint32_t>;

    enum class State { Pending, Listing, Ready };

    struct Node
    {
        Node(PathString directory, std::shared_ptr<OpenedDirectory> from, std::size_t nameStart)
            : path(std::move(directory)), parent(std::move(from)), nameAt(nameStart)
        {
        }
        PathString path;
        /// Its parent left open, while this is still to be listed; null for the location itself.
        std::shared_ptr<OpenedDirectory> parent;
        std::size_t nameAt; ///< where its own name begins in path
        State state = State::Pending;
        bool ok = false;
        std::exception_ptr error; ///< what the listing threw, for the walk's thread to throw in its turn
        std::vector<DirEntry> entries;
    };

    void work();
    /// Lists the node at \p order outside the lock; the lock is held on entry and on return.
    void list(std::unique_lock<std::mutex>& lock, const Order& order, bool byWorker);
    void addChildren(const Order& order, const Node& node, const std::shared_ptr<OpenedDirectory>& opened);
    /// Whether the walk's thread, or a worker, may start one more listing now (the lock held).
    bool walkMayList() const;
    bool workerMayList() const;
    unsigned workerSlots() const;
    /// Wakes as many idle workers as may start a listing now, less \p keptForCaller that the calling thread is
    /// about to start itself (the lock held).
    void wakeWorkers(unsigned keptForCaller);
    /// Chooses, once per window of time, between as many listings at once as the walk was given threads and the
    /// larger number for listings that wait (the lock held).
    void reviewThreads();

    FileSystem& m_fs;
    const std::size_t m_maxAhead;
    const unsigned m_threads;
    const unsigned m_waitingThreads;
    const unsigned m_cores;
    unsigned m_workersListing = 0;  ///< listings under way on workers
    std::int64_t m_windowStart = 0; ///< when the current window began
    std::int64_t m_windowCpu = 0;   ///< the process's processor time then
    bool m_waiting = false;         ///< the last window's cores idled: let up to m_waitingThreads list
    unsigned m_waitingWindows = 0;
    std::mutex m_mutex;
    std::condition_variable m_workToDo; ///< workers wait here for a directory to list and room to keep it
    std::condition_variable m_listed;   ///< the walk waits here for the listing it asked for
    unsigned m_idleWorkers = 0;
    bool m_walkWaiting = false;
    std::map<Order, Node> m_nodes;              ///< every directory known and not yet taken, in walk order
    std::vector<std::vector<DirEntry>> m_spare; ///< listings the walk has done with, to be listed into again
    std::set<Order> m_pending;                  ///< those nobody has begun to list
    std::size_t m_entriesAhead = 0;
    bool m_stopped = false;
    std::vector<std::thread> m_workers;
};

} // namespace twinspotter
