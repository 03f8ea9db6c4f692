// Listing ahead of the walk: one mutex over the known directories, the listing itself done outside it.
#include "core/ListingPrefetcher.h"

#include <algorithm>

namespace twinspotter {

ListingPrefetcher::ListingPrefetcher(FileSystem& fs, const PathString& root, unsigned workers,
                                     std::size_t maxEntriesAhead)
    : m_fs(fs), m_maxAhead(std::max<std::size_t>(1, maxEntriesAhead))
{
    m_nodes.emplace(Order{}, Node(root, nullptr, 0));
    m_pending.insert(Order{});
    m_workers.reserve(workers);
    for (unsigned i = 0; i < workers; ++i)
        m_workers.emplace_back([this] { work(); });
}

ListingPrefetcher::~ListingPrefetcher()
{
    stop();
    for (std::thread& worker : m_workers)
        worker.join();
}

void ListingPrefetcher::stop()
{
    const std::lock_guard lock(m_mutex);
    m_stopped = true;
    m_workToDo.notify_all();
    m_listed.notify_all();
}

void ListingPrefetcher::work()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        // The earliest directory nobody has begun, but only while the listings waiting for the walk leave room.
        ++m_idleWorkers;
        m_workToDo.wait(lock, [this] { return m_stopped || (!m_pending.empty() && m_entriesAhead < m_maxAhead); });
        --m_idleWorkers;
        if (m_stopped)
            return;
        const Order order = *m_pending.begin();
        list(lock, order);
    }
}

void ListingPrefetcher::list(std::unique_lock<std::mutex>& lock, const Order& order)
{
    m_pending.erase(order);
    // Stays valid: a map keeps its elements where they are, and only the walk removes them, once taken, which it
    // cannot do before this listing is ready.
    Node& node = m_nodes.at(order);
    node.state = State::Listing;
    const PathString path = node.path;
    const std::size_t nameAt = node.nameAt;
    const std::shared_ptr<OpenedDirectory> parent = std::move(node.parent);
    std::vector<DirEntry> entries;
    if (!m_spare.empty()) {
        entries = std::move(m_spare.back());
        m_spare.pop_back();
    }
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
    lock.lock();
    node.entries = std::move(entries);
    node.ok = ok;
    node.error = error;
    node.state = State::Ready;
    m_entriesAhead += node.entries.size();
    m_mostAhead = std::max(m_mostAhead, m_entriesAhead);
    addChildren(order, node, opened);
    // Wake only who can use it: the walk when it waits (it checks whether this was its listing), and as many idle
    // workers as there are new directories.
    if (m_walkWaiting)
        m_listed.notify_one();
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
        if (m_idleWorkers > 0 && m_entriesAhead < m_maxAhead)
            m_workToDo.notify_one();
    }
}

bool ListingPrefetcher::take(const PathString& dir, std::vector<DirEntry>& out)
{
    std::unique_lock lock(m_mutex);
    if (m_nodes.empty() || m_nodes.begin()->second.path != dir) {
        // Not the directory the order expects: listed here, as a walk without workers would.
        lock.unlock();
        return m_fs.listDirectory(dir, out);
    }
    const auto first = m_nodes.begin();
    const Order order = first->first;
    Node& node = first->second;
    if (node.state == State::Pending)
        list(lock, order);
    while (node.state != State::Ready) {
        // A worker has it: rather than sleep, do the listing that will be wanted soonest after it.
        if (!m_pending.empty() && m_entriesAhead < m_maxAhead) {
            const Order next = *m_pending.begin();
            list(lock, next);
            continue;
        }
        m_walkWaiting = true;
        m_listed.wait(lock, [&node, this] {
            return node.state == State::Ready || (!m_pending.empty() && m_entriesAhead < m_maxAhead);
        });
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
        m_workToDo.notify_all();
    if (error)
        std::rethrow_exception(error);
    return ok;
}

} // namespace twinspotter
