#include "deflate_stream.h"

#include <zlib.h>

#include <algorithm>
#include <thread>
#include <utility>

#include "marks_error.h"

namespace {

constexpr std::size_t kBlockSize = 1 << 20;
constexpr std::size_t kWindowSize = 32 * 1024;

// One block as a piece of a raw deflate stream: primed with the bytes before it,
// and ended by a sync flush (byte-aligned, not final) unless it is the last.
std::string DeflateBlock(int level, const std::string& dictionary, const std::string& block, bool last)
{
    z_stream z{};
    if (deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw EMarksError("Error");
    std::string out(deflateBound(&z, static_cast<uLong>(block.size())) + 16, '\0');
    if (!dictionary.empty())
        deflateSetDictionary(&z, reinterpret_cast<const Bytef*>(dictionary.data()), static_cast<uInt>(dictionary.size()));
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(block.data()));
    z.avail_in = static_cast<uInt>(block.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    const int result = deflate(&z, last ? Z_FINISH : Z_SYNC_FLUSH);
    out.resize(z.total_out);
    deflateEnd(&z);
    if (result != (last ? Z_STREAM_END : Z_OK) || z.avail_in != 0)
        throw EMarksError("Error");
    return out;
}

} // namespace

TDeflateStream::TDeflateStream(int level, TByteWriter write)
    : FLevel(level), FWrite(std::move(write)), FMaxPending(std::max(1u, std::thread::hardware_concurrency()))
{
    FBlock.reserve(kBlockSize);
}

void TDeflateStream::Put(std::string_view bytes)
{
    FCrc = static_cast<std::uint32_t>(crc32_z(FCrc, reinterpret_cast<const Bytef*>(bytes.data()), bytes.size()));
    FInput += bytes.size();
    while (!bytes.empty()) {
        const std::size_t n = std::min(bytes.size(), kBlockSize - FBlock.size());
        FBlock.append(bytes.substr(0, n));
        bytes.remove_prefix(n);
        if (FBlock.size() == kBlockSize)
            Submit(false);
    }
}

void TDeflateStream::Finish()
{
    Submit(true);
    while (!FPending.empty())
        WriteOldest();
}

void TDeflateStream::Submit(bool last)
{
    while (FPending.size() >= FMaxPending)
        WriteOldest();
    std::string dictionary = std::move(FDictionary);
    FDictionary.assign(FBlock, FBlock.size() - std::min(FBlock.size(), kWindowSize));
    // Each thread owns its block and dictionary.
    FPending.push_back(std::async(std::launch::async,
                                  [level = FLevel, dictionary = std::move(dictionary), block = std::move(FBlock), last] {
                                      return DeflateBlock(level, dictionary, block, last);
                                  }));
    FBlock.clear();
    FBlock.reserve(kBlockSize);
}

void TDeflateStream::WriteOldest()
{
    std::future<std::string> oldest = std::move(FPending.front());
    FPending.pop_front();
    const std::string bytes = oldest.get();
    FWrite(bytes);
    FOutput += bytes.size();
}
