// Listing ahead of the walk: one mutex over the known directories, the listing itself done outside it.
#include "core/ListingPrefetcher.h"

#include <time.h>

#include <algorithm>
#include <chrono>

namespace twinspotter {

namespace {

std::int64_t processCpuNs()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return std::int64_t(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

std::int64_t wallNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// How busy the cores were is looked at once per window: often enough to follow a cold start that turns warm, seldom
// enough that the process's processor clock (a system call over every thread) costs nothing.
constexpr std::int64_t kWindowNs = 50'000'000;
// Below this share of the cores busy while listings remain to be done, the listings wait on the disk or network.
constexpr std::int64_t kBusyPercent = 80;
// Once waiting, the cores' own number of threads is tried again every so many windows: the cache may have warmed,
// and more threads than cores only cost switches then.
constexpr unsigned kWaitingWindowsBeforeTrial = 4;

// The lock is held for microseconds at a time, by the walk about once per directory and by each worker once per
// listing: a short spin finds it free far more cheaply than a sleep in the kernel and the wake that ends it.
void lockSpinning(std::unique_lock<std::mutex>& lock)
{
    for (int attempt = 0; attempt < 200; ++attempt)
        if (lock.try_lock())
            return;
    lock.lock();
}

} // namespace

ListingPrefetcher::ListingPrefetcher(FileSystem& fs, const PathString& root, unsigned threads, unsigned waitingThreads,
                                     unsigned cores, std::size_t maxEntriesAhead)
    : m_fs(fs), m_maxAhead(std::max<std::size_t>(1, maxEntriesAhead)), m_threads(std::max(1u, threads)),
      m_waitingThreads(std::max(m_threads, waitingThreads)), m_cores(std::max(1u, cores))
{
    m_nodes.emplace(Order{}, Node(root, nullptr, 0));
    m_pending.insert(Order{});
    m_windowStart = wallNs();
    m_windowCpu = processCpuNs();
    // The walk's own thread is one of them.
    m_workers.reserve(m_waitingThreads - 1);
    for (unsigned i = 0; i + 1 < m_waitingThreads; ++i)
        m_workers.emplace_back([this] { work(); });
}

ListingPrefetcher::~ListingPrefetcher()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopped = true;
        m_workToDo.notify_all();
    }
    for (std::thread& worker : m_workers)
        worker.join();
}

void ListingPrefetcher::work()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        // The earliest directory nobody has begun, but only while the listings waiting for the walk leave room.
        ++m_idleWorkers;
        m_workToDo.wait(lock, [this] { return m_stopped || workerMayList(); });
        --m_idleWorkers;
        if (m_stopped)
            return;
        const Order order = *m_pending.begin();
        list(lock, order, true);
        wakeWorkers(1);
    }
}

void ListingPrefetcher::list(std::unique_lock<std::mutex>& lock, const Order& order, bool byWorker)
{
    m_pending.erase(order);
    // Stays valid: a map keeps its elements where they are, and only the walk removes them, once taken, which it
    // cannot do before this listing is ready.
    Node& node = m_nodes.at(order);
    node.state = State::Listing;
    // Read outside the lock: nothing changes a node's path once it is made.
    const PathString& path = node.path;
    const std::size_t nameAt = node.nameAt;
    const std::shared_ptr<OpenedDirectory> parent = std::move(node.parent);
    std::vector<DirEntry> entries;
    if (!m_spare.empty()) {
        entries = std::move(m_spare.back());
        m_spare.pop_back();
    }
    m_workersListing += byWorker;
    lock.unlock();
    std::shared_ptr<OpenedDirectory> opened;
    const std::string_view name = std::string_view(path).substr(nameAt, path.empty() ? 0 : path.size() - 1 - nameAt);
    bool ok = false;
    std::exception_ptr error;
    // Nothing may leave a worker's thread: an error goes to the walk, which throws it when it takes this listing.
    try {
        ok = m_fs.listSubdirectory(parent.get(), name, path, entries, &opened);
    } catch (...) {
        error = std::current_exception();
        entries.clear();
    }
    lockSpinning(lock);
    m_workersListing -= byWorker;
    reviewThreads();
    node.entries = std::move(entries);
    node.ok = ok;
    node.error = error;
    node.state = State::Ready;
    m_entriesAhead += node.entries.size();
    addChildren(order, node, opened);
    // The walk, when it waits, checks whether this was its listing. Idle workers are woken by the caller, which
    // knows whether it goes on to list the next directory itself.
    if (m_walkWaiting)
        m_listed.notify_one();
}

bool ListingPrefetcher::walkMayList() const
{
    return !m_pending.empty() && m_entriesAhead < m_maxAhead;
}

unsigned ListingPrefetcher::workerSlots() const
{
    // The walk's own thread always counts as one: a worker beside it would only take its core while the processor
    // is the limit.
    return (m_waiting ? m_waitingThreads : m_threads) - 1;
}

bool ListingPrefetcher::workerMayList() const
{
    return walkMayList() && m_workersListing < workerSlots();
}

void ListingPrefetcher::wakeWorkers(unsigned keptForCaller)
{
    // A woken worker that finds no room goes back to sleep: two context switches for nothing, once per directory.
    if (!walkMayList() || m_workersListing + keptForCaller >= workerSlots())
        return;
    const std::size_t room =
        std::min<std::size_t>({workerSlots() - m_workersListing - keptForCaller, m_pending.size(), m_idleWorkers});
    for (std::size_t i = 0; i < room; ++i)
        m_workToDo.notify_one();
}

void ListingPrefetcher::reviewThreads()
{
    const std::int64_t now = wallNs();
    const std::int64_t elapsed = now - m_windowStart;
    if (elapsed < kWindowNs)
        return;
    const std::int64_t cpu = processCpuNs();
    if (m_waiting) {
        if (++m_waitingWindows >= kWaitingWindowsBeforeTrial) {
            m_waiting = false;
            m_waitingWindows = 0;
        }
    } else {
        // Cores left idle while directories wait to be listed, and the walk not held back by its look-ahead: the
        // listings under way are waiting, not computing.
        m_waiting = !m_pending.empty() && m_entriesAhead * 2 < m_maxAhead &&
                    (cpu - m_windowCpu) * 100 < elapsed * m_cores * kBusyPercent;
    }
    m_windowStart = now;
    m_windowCpu = cpu;
}

void ListingPrefetcher::addChildren(const Order& order, const Node& node,
                                    const std::shared_ptr<OpenedDirectory>& opened)
{
    std::uint32_t position = 0;
    for (const DirEntry& entry : node.entries) {
        // The walk enters exactly these, in this order.
        if (!entry.isDirectory || entry.name.empty() || entry.name[0] == '.')
            continue;
        Order child = order;
        child.push_back(position++);
        m_nodes.emplace(child, Node(node.path + entry.name + kSeparator, opened, node.path.size()));
        m_pending.insert(std::move(child));
    }
}

bool ListingPrefetcher::take(const PathString& dir, std::vector<DirEntry>& out)
{
    std::unique_lock lock(m_mutex, std::defer_lock);
    lockSpinning(lock);
    if (m_nodes.empty() || m_nodes.begin()->second.path != dir) {
        // Not the directory the order expects: listed here, as a walk without workers would.
        lock.unlock();
        return m_fs.listDirectory(dir, out);
    }
    const auto first = m_nodes.begin();
    const Order order = first->first;
    Node& node = first->second;
    if (node.state == State::Pending) {
        list(lock, order, false);
        wakeWorkers(0);
    }
    while (node.state != State::Ready) {
        // A worker has it: rather than sleep, do the listing that will be wanted soonest after it.
        if (walkMayList()) {
            const Order next = *m_pending.begin();
            list(lock, next, false);
            wakeWorkers(0);
            continue;
        }
        m_walkWaiting = true;
        m_listed.wait(lock, [&node, this] { return node.state == State::Ready || walkMayList(); });
        m_walkWaiting = false;
    }
    std::swap(out, node.entries);
    if (m_spare.size() < 64)
        m_spare.push_back(std::move(node.entries));
    const bool ok = node.ok;
    const std::exception_ptr error = node.error;
    const bool wasFull = m_entriesAhead >= m_maxAhead;
    m_entriesAhead -= out.size();
    m_nodes.erase(first);
    if (wasFull && m_entriesAhead < m_maxAhead)
        wakeWorkers(0);
    if (error)
        std::rethrow_exception(error);
    return ok;
}

} // namespace twinspotter
