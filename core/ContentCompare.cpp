// Same content: the worker threads that read files, the order in which the search thread decides pairs, and the
// hole-aware digest of one file.
#include "core/ContentCompare.h"

#include "core/Backend.h"
#include "core/ChainIndex.h"
#include "core/Platform.h"

// On Linux, Debian's libxxhash picks the widest vector unit at run time; the Windows build has the header only.
#if defined(_WIN32)
#define TWINSPOTTER_XXH_DISPATCH 0
#define XXH_INLINE_ALL
#include <xxhash.h>
#elif defined(__x86_64__)
#define TWINSPOTTER_XXH_DISPATCH 1
#include <xxh_x86dispatch.h>
#include <xxhash.h>
#else
#define TWINSPOTTER_XXH_DISPATCH 0
#include <xxhash.h>
#endif

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <random>
#include <thread>

namespace twinspotter {

namespace {

// Enough readers to hide the hash behind the reading; few, so that a spinning disk is not sent between many files.
constexpr unsigned kMaxReaders = 4;
// How long the search thread waits for a file before it lets the window breathe.
constexpr auto kWaitSlice = std::chrono::milliseconds(10);
// Files read before the search thread is woken early: waking it for every small file costs more than reading it.
constexpr std::size_t kWakeBatch = 64;

static_assert(ContentKey::kSize >= XXH3_SECRET_SIZE_MIN);

XXH128_hash_t chunkHash(const char* data, std::size_t size, const ContentKey& key)
{
#if TWINSPOTTER_XXH_DISPATCH
    return XXH3_128bits_withSecret_dispatch(data, size, key.secret(), ContentKey::kSize);
#else
    return XXH3_128bits_withSecret(data, size, key.secret(), ContentKey::kSize);
#endif
}

bool allZero(const char* data, std::size_t size)
{
    // Comparing the block with itself one byte on: equal only when every byte equals the first.
    return size == 0 || (data[0] == 0 && std::memcmp(data, data + 1, size - 1) == 0);
}

// Distinct files handed out to reader threads in the order given; the search thread collects the ones read.
class Readers
{
public:
    Readers(ContentDigests& digests, std::vector<RecordedFile> files, std::vector<std::uint32_t> order,
            std::span<const LocationRoot> locations, FileSystem& fs)
        : m_digests(digests), m_files(std::move(files)), m_order(std::move(order)), m_locations(locations), m_fs(fs)
    {
        const unsigned count = std::clamp<unsigned>(std::thread::hardware_concurrency(), 1, kMaxReaders);
        for (unsigned i = 0; i < count && i < m_files.size(); ++i)
            m_threads.emplace_back([this] { run(); });
    }
    ~Readers()
    {
        m_stop = true;
        for (std::thread& thread : m_threads)
            thread.join();
    }
    Readers(const Readers&) = delete;
    Readers& operator=(const Readers&) = delete;

    /// Waits up to one slice for files to be read, and puts those read since the last call into \p read.
    void takeRead(std::vector<std::uint32_t>& read)
    {
        read.clear();
        std::unique_lock lock(m_mutex);
        m_signal.wait_for(lock, kWaitSlice, [&] { return !m_read.empty(); });
        std::swap(read, m_read);
        m_filesDone += read.size();
    }
    std::uint64_t filesDone() const { return m_filesDone; }
    std::uint64_t bytesDone() const { return m_bytesDone.load(std::memory_order_relaxed); }

private:
    void run()
    {
        DirectoryCache cache;
        for (;;) {
            const std::size_t next = m_next.fetch_add(1);
            if (next >= m_order.size() || m_stop)
                return;
            const std::uint32_t file = m_order[next];
            ContentRequest request{m_files[file], m_locations, &m_key, &cache, [this](std::uint64_t bytes) {
                                       m_bytesDone.fetch_add(bytes, std::memory_order_relaxed);
                                       return !m_stop.load(std::memory_order_relaxed);
                                   }};
            ContentDigest result;
            try {
                result = m_fs.readContent(request);
            } catch (...) {
                result = ContentDigest{ContentStatus::Unreadable, 0, 0, 0};
            }
            bool wake = false;
            {
                const std::lock_guard lock(m_mutex);
                m_digests.result(file) = result;
                m_read.push_back(file);
                wake = m_read.size() >= kWakeBatch || ++m_finished == m_order.size();
            }
            if (wake)
                m_signal.notify_one();
        }
    }

    ContentDigests& m_digests;
    const ContentKey m_key;
    const std::vector<RecordedFile> m_files;
    const std::vector<std::uint32_t> m_order;
    std::span<const LocationRoot> m_locations;
    FileSystem& m_fs;
    std::mutex m_mutex;
    std::condition_variable m_signal;
    std::vector<std::uint32_t> m_read;
    std::uint64_t m_filesDone = 0; ///< the search thread's own count
    std::size_t m_finished = 0;
    std::atomic<std::size_t> m_next{0};
    std::atomic<std::uint64_t> m_bytesDone{0};
    std::atomic<bool> m_stop{false};
    std::vector<std::thread> m_threads;
};

} // namespace

void ChunkDigester::StateFree::operator()(void* state) const
{
    XXH3_freeState(static_cast<XXH3_state_t*>(state));
}

ChunkDigester::ChunkDigester(const ContentRequest& request) : m_request(request)
{
    m_state.reset(XXH3_createState());
    m_ready = m_state && XXH3_128bits_reset_withSecret(static_cast<XXH3_state_t*>(m_state.get()), request.key->secret(),
                                                       ContentKey::kSize) == XXH_OK;
}

char* ChunkDigester::buffer()
{
    return static_cast<char*>(threadScratch(ScratchSlot::ReadBuffer, kContentChunk));
}

bool ChunkDigester::add(std::uint64_t high, std::uint64_t low, std::uint64_t length)
{
    const XXH128_hash_t chunk{low, high};
    XXH3_128bits_update(static_cast<XXH3_state_t*>(m_state.get()), &chunk, sizeof chunk);
    return !m_request.onBlock || m_request.onBlock(length);
}

bool ChunkDigester::addZeros(std::uint64_t length)
{
    const ContentKey& key = *m_request.key;
    return add(key.zeroChunkHigh(), key.zeroChunkLow(), length);
}

bool ChunkDigester::addData(const char* data, std::size_t length)
{
    if (allZero(data, length))
        return addZeros(length);
    const XXH128_hash_t chunk = chunkHash(data, length, *m_request.key);
    return add(chunk.high64, chunk.low64, length);
}

ContentDigest ChunkDigester::digest() const
{
    const XXH128_hash_t digest = XXH3_128bits_digest(static_cast<XXH3_state_t*>(m_state.get()));
    return ContentDigest{ContentStatus::Digested, 0, digest.high64, digest.low64};
}

ContentKey::ContentKey()
{
    // The system's random source; a process whose sandbox refuses it takes the library's.
    if (!fillRandom(m_random, sizeof m_random)) {
        std::random_device random;
        for (unsigned char& byte : m_random)
            byte = static_cast<unsigned char>(random());
    }
}

std::uint64_t ContentKey::zeroChunkHigh() const
{
    std::uint64_t high = 0;
    std::memcpy(&high, m_random + kSize, sizeof high);
    return high;
}

std::uint64_t ContentKey::zeroChunkLow() const
{
    std::uint64_t low = 0;
    std::memcpy(&low, m_random + kSize + 8, sizeof low);
    return low;
}

std::uint32_t ContentDigests::add(const FileStamp& stamp)
{
    const auto [place, added] = m_index.try_emplace(stamp.id, static_cast<std::uint32_t>(m_stamps.size()));
    if (added) {
        m_stamps.push_back(stamp);
        m_results.emplace_back();
    }
    return place->second;
}

const ContentDigest* ContentDigests::find(const FileStamp& stamp) const
{
    const auto place = m_index.find(stamp.id);
    if (place == m_index.end() || m_stamps[place->second] != stamp ||
        m_results[place->second].status != ContentStatus::Digested)
        return nullptr;
    return &m_results[place->second];
}

void ContentComparison::keepConfirmed(FileList& pairs) const
{
    FileList confirmed(pairs.pool());
    for (std::size_t i = 0; i < pairs.size(); ++i)
        if (i < kept.size() && kept[i])
            confirmed.append(std::move(pairs[i]));
    pairs = std::move(confirmed);
}

ContentComparison compareContents(const FileList& pairs, std::span<const LocationRoot> locations, WalkEnv& env)
{
    ContentComparison comparison;
    comparison.kept.assign(pairs.size(), false);
    ContentDigests& digests = comparison.digests;
    // Each pair's two files as places in the digest table; pairs of unequal size are decided without reading.
    std::vector<std::uint32_t> places(2 * pairs.size(), kNone);
    std::vector<RecordedFile> files;
    std::size_t candidates = 0;
    Progress progress{Phase::ComparingContents};
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        const FileRecord& pair = pairs[i];
        if (pair.stamp1.size != pair.stamp2.size)
            continue;
        ++candidates;
        const std::pair<const PathString&, const FileStamp&> sides[] = {{pair.dir1(), pair.stamp1},
                                                                        {pair.dir2(), pair.stamp2}};
        for (int side = 0; side < 2; ++side) {
            const std::uint32_t place = digests.add(sides[side].second);
            places[2 * i + side] = place;
            if (place == files.size()) {
                files.push_back(RecordedFile{sides[side].first, pair.name, sides[side].second});
                progress.bytesTotal += static_cast<std::uint64_t>(std::max<std::int64_t>(0, sides[side].second.size));
            }
        }
    }
    progress.total = files.size();

    // The pairs of each file, so that a pair is decided as soon as its second file has been read.
    std::vector<std::uint32_t> firstPair(files.size() + 1, 0);
    for (const std::uint32_t place : places)
        if (place != kNone)
            ++firstPair[place + 1];
    for (std::size_t f = 0; f < files.size(); ++f)
        firstPair[f + 1] += firstPair[f];
    std::vector<std::uint32_t> pairsOfFile(firstPair.back());
    std::vector<std::uint32_t> fill(firstPair.begin(), firstPair.end() - 1);
    for (std::size_t slot = 0; slot < places.size(); ++slot)
        if (places[slot] != kNone)
            pairsOfFile[fill[places[slot]]++] = static_cast<std::uint32_t>(slot / 2);
    // Files are read folder by folder: the reader's folders stay open, and a disk reads nearby places in turn.
    std::vector<std::uint32_t> order(files.size());
    for (std::uint32_t f = 0; f < order.size(); ++f)
        order[f] = f;
    std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        return std::less<>()(&files[a].directory, &files[b].directory);
    });

    // The readers are joined before the comparison leaves: after a cancel they may still be finishing a file.
    {
        Readers readers(digests, std::move(files), std::move(order), locations, env.fs);
        std::vector<bool> read(digests.size(), false);
        std::vector<std::uint32_t> justRead;
        // False when a cancel came.
        const auto breathe = [&] {
            progress.count = readers.filesDone();
            progress.bytes = readers.bytesDone();
            env.host.showProgress(progress);
            env.host.serviceEvents();
            return !env.canceled;
        };
        std::size_t decided = 0;
        comparison.complete = [&] {
            while (decided < candidates) {
                if (env.canceled)
                    return false;
                readers.takeRead(justRead);
                if (justRead.empty() && !breathe())
                    return false;
                for (const std::uint32_t file : justRead) {
                    read[file] = true;
                    const ContentStatus status = digests.result(file).status;
                    comparison.report.unreadable += status == ContentStatus::Unreadable;
                    comparison.report.changed += status == ContentStatus::Changed;
                    for (std::uint32_t k = firstPair[file]; k < firstPair[file + 1]; ++k) {
                        const std::uint32_t pair = pairsOfFile[k];
                        const std::uint32_t other = places[2 * pair] == file ? places[2 * pair + 1] : places[2 * pair];
                        if (!read[other])
                            continue;
                        ++decided;
                        if (digests.result(file).sameBytes(digests.result(other))) {
                            comparison.kept[pair] = true;
                            ++progress.pairsKept;
                        }
                        if (!breathe())
                            return false;
                    }
                }
            }
            return true;
        }();
    }
    return comparison;
}

} // namespace twinspotter
