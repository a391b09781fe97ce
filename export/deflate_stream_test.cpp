#include "deflate_stream.h"

#include <gtest/gtest.h>

#include <zlib.h>

#include <random>
#include <string>

namespace {

std::string Inflate(const std::string& raw, std::size_t expected)
{
    z_stream z{};
    EXPECT_EQ(inflateInit2(&z, -15), Z_OK);
    std::string out(expected + 1, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(raw.data()));
    z.avail_in = static_cast<uInt>(raw.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(inflate(&z, Z_FINISH), Z_STREAM_END);
    EXPECT_EQ(z.avail_in, 0u) << "bytes after the final block";
    out.resize(z.total_out);
    inflateEnd(&z);
    return out;
}

std::string Deflated(const std::string& input, std::size_t piece)
{
    std::string out;
    TDeflateStream stream(9, [&](std::string_view bytes) { out.append(bytes); });
    for (std::size_t at = 0; at < input.size(); at += piece)
        stream.Put(std::string_view(input).substr(at, piece));
    stream.Finish();
    EXPECT_EQ(stream.InputSize(), input.size());
    EXPECT_EQ(stream.OutputSize(), out.size());
    EXPECT_EQ(stream.Crc(), static_cast<std::uint32_t>(crc32_z(0, reinterpret_cast<const Bytef*>(input.data()), input.size())));
    return out;
}

// Text that repeats at long distances, so a block without its dictionary would
// compress visibly worse.
std::string SampleText(std::size_t size)
{
    std::mt19937 random(11);
    std::string words[64];
    for (std::string& w : words)
        for (int i = 0; i < 12; ++i)
            w += static_cast<char>('a' + random() % 26);
    std::string text;
    while (text.size() < size)
        text += words[random() % 64] + (random() % 9 ? " " : "\r\n");
    text.resize(size);
    return text;
}

} // namespace

TEST(DeflateStream, BlocksJoinIntoOneStreamOfTheInput)
{
    const std::size_t block = 1 << 20;
    for (std::size_t size : {std::size_t(0), std::size_t(1), block - 1, block, block + 1, 3 * block + block / 2}) {
        const std::string input = SampleText(size);
        const std::string raw = Deflated(input, 70'001);
        EXPECT_EQ(Inflate(raw, size), input) << size;
        // The cuts follow the input alone, not how it was handed over.
        EXPECT_EQ(Deflated(input, size ? size : 1), raw) << size;
    }
}

TEST(DeflateStream, AlmostAsSmallAsOnePass)
{
    const std::string input = SampleText(4 << 20);
    z_stream z{};
    ASSERT_EQ(deflateInit2(&z, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY), Z_OK);
    const uLong single = deflateBound(&z, static_cast<uLong>(input.size()));
    std::string one(single, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input.data()));
    z.avail_in = static_cast<uInt>(input.size());
    z.next_out = reinterpret_cast<Bytef*>(one.data());
    z.avail_out = static_cast<uInt>(one.size());
    ASSERT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    const uLong onePass = z.total_out;
    deflateEnd(&z);
    EXPECT_LE(Deflated(input, 1 << 16).size(), onePass + onePass / 100);
}
