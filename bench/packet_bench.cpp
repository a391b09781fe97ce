// Reading and writing a generated 100,000-mark packet, and the reader's peak memory
// against the file's size (measured in a child process of its own).
#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "client_dataset.h"
#include "data_packet.h"
#include "marks_schema.h"
#include "marks_generator.h"

namespace {

const std::string& MarksPacket()
{
    static const std::string packet = WriteXmlPacket(GenerateMarks({}));
    return packet;
}

void BM_ReadMarksPacket(benchmark::State& state)
{
    const std::string& packet = MarksPacket();
    for (auto _ : state) {
        TPacketContent c = ReadPacket(packet);
        benchmark::DoNotOptimize(c.Rows.data());
    }
    state.counters["MB"] = double(packet.size()) / 1e6;
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(packet.size()));
}
BENCHMARK(BM_ReadMarksPacket)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_WriteMarksPacket(benchmark::State& state)
{
    const TPacketContent content = ReadPacket(MarksPacket());
    for (auto _ : state) {
        std::string text = WriteXmlPacket(content);
        benchmark::DoNotOptimize(text.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(MarksPacket().size()));
}
BENCHMARK(BM_WriteMarksPacket)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// One row whose name holds 200 MB: the reader must stay linear in the size of a
// single value, however large.
void BM_OpenHugeAttribute(benchmark::State& state)
{
    const std::string packet = WriteXmlPacket([] {
        TPacketContent c = EmptyMarksPacket();
        TStoredRow row;
        row.Values.resize(c.Fields.size());
        row.Values[0] = std::int64_t{1};
        row.Values[1] = std::string(200u << 20, 'x');
        row.Values.back() = std::int64_t{1};
        c.Rows.push_back(std::move(row));
        return c;
    }());
    TClientDataSet marks(MarksSchema());
    for (auto _ : state) {
        marks.SetPacketText(packet);
        benchmark::DoNotOptimize(marks.RecordCount());
    }
    state.counters["MB"] = double(packet.size()) / 1e6;
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(packet.size()));
}
BENCHMARK(BM_OpenHugeAttribute)->Unit(benchmark::kMillisecond)->Iterations(3);

// Reads the file in a fresh process of this program ("--peak FILE") and returns its
// peak resident size in bytes.
long ChildPeakBytes(const std::string& path)
{
    pid_t pid = fork();
    if (pid == 0) {
        execl("/proc/self/exe", "packet_bench", "--peak", path.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? usage.ru_maxrss * 1024L : -1;
}

int ReadForPeak(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    TPacketContent c = ReadPacket(bytes);
    return c.Rows.empty() ? 1 : 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::string(argv[1]) == "--peak")
        return ReadForPeak(argv[2]);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();

    const std::string path = "/tmp/marks-bench-packet.sml";
    {
        std::ofstream out(path, std::ios::binary);
        out << MarksPacket();
    }
    long peak = ChildPeakBytes(path);
    std::printf("Peak memory reading %.1f MB packet: %.1f MB (%.2f x file size)\n", MarksPacket().size() / 1e6,
                peak / 1e6, double(peak) / double(MarksPacket().size()));
    std::remove(path.c_str());
    benchmark::Shutdown();
    return 0;
}
