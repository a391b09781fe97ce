#pragma once

#include <cstdint>
#include <deque>
#include <future>
#include <string>
#include <string_view>

#include "file_io.h"

// A raw deflate stream (no zlib header or trailer) made as its input comes, with
// the CRC-32 and both sizes counted on the way. The input is cut into blocks of a
// fixed size, each deflated on its own thread with the 32 KB before it as its
// dictionary and ended on a byte boundary, as parallel compressors do: the blocks
// join into one valid stream, almost as small as a single pass, in a fraction of
// its time on a machine with several cores. The cuts depend on the input alone, so
// the same input always gives the same bytes.
class TDeflateStream {
public:
    // A stream destroyed before Finish waits for its blocks still being deflated.
    TDeflateStream(int level, TByteWriter write);
    TDeflateStream(const TDeflateStream&) = delete;
    TDeflateStream& operator=(const TDeflateStream&) = delete;

    void Put(std::string_view bytes);
    // Deflates what is left and writes every block out; nothing may be put after.
    void Finish();

    std::uint32_t Crc() const { return FCrc; }
    std::uint64_t InputSize() const { return FInput; }
    std::uint64_t OutputSize() const { return FOutput; }

private:
    int FLevel;
    TByteWriter FWrite;
    std::string FBlock;
    std::string FDictionary;
    std::deque<std::future<std::string>> FPending;
    std::size_t FMaxPending;
    std::uint32_t FCrc = 0;
    std::uint64_t FInput = 0;
    std::uint64_t FOutput = 0;

    void Submit(bool last);
    void WriteOldest();
};
