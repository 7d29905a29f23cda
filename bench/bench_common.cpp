// Benchmarks of the readers that take input sized by others: an Ovix Server
// answer up to its 16 MiB cap, the answer's XML with many entries, and long
// files read line by line. Run: build/bin/bench_common
#include <benchmark/benchmark.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <thread>

#include "XMLParser.h"
#include "ovixserver.h"
#include "sysutil.h"

namespace {

// An answer as a large server sends it: one entry per database or domain.
std::string answerWithEntries(int count) {
    std::string doc = "<command><action>GetServerDatabases</action>";
    for (int i = 0; i < count; ++i) {
        doc += "<parameter name=\"Databases\"><![CDATA[database_" + std::to_string(i) + ":user_" +
               std::to_string(i) + "]]></parameter>";
    }
    return doc + "</command>";
}

void BM_XMLParserEntries(benchmark::State& state) {
    const std::string doc = answerWithEntries(static_cast<int>(state.range(0)));
    std::vector<std::string> entries;
    std::string error;
    for (auto _ : state) {
        XMLParser(doc, entries, error);
        benchmark::DoNotOptimize(entries.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * doc.size()));
}
BENCHMARK(BM_XMLParserEntries)->Arg(100)->Arg(10000)->Arg(200000)->Unit(benchmark::kMillisecond);

// The whole answer at the size cap, sent in 64 KiB pieces over a socket pair.
void BM_GetResponsePacketAtCap(benchmark::State& state) {
    const std::string body(kMaxAnswerSize - 16, 'x');
    for (auto _ : state) {
        int fds[2];
        socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds);
        UniqueFd client(fds[0]);
        UniqueFd server(fds[1]);
        std::thread writer([&] { writeAll(server.get(), body + OVIX_TERMINATOR); });
        std::string answer;
        getResponsePacket(client.get(), answer);
        writer.join();
        benchmark::DoNotOptimize(answer.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * body.size()));
}
BENCHMARK(BM_GetResponsePacketAtCap)->Unit(benchmark::kMillisecond);

// A file of 100,000 lines of 100 characters, read line by line.
void BM_LineReader(benchmark::State& state) {
    char path[] = "/tmp/ovix-bench-XXXXXX";
    int fd = mkstemp(path);
    {
        std::string line(99, 'l');
        std::string content;
        for (int i = 0; i < 100000; ++i) {
            content += line + "\n";
        }
        writeAll(fd, content);
        close(fd);
        state.SetBytesProcessed(0);
    }
    for (auto _ : state) {
        LineReader reader(path);
        std::string line;
        std::size_t lines = 0;
        while (reader.next(line) == LineReader::Result::Line) {
            ++lines;
        }
        benchmark::DoNotOptimize(lines);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 100 * 100000);
    unlink(path);
}
BENCHMARK(BM_LineReader)->Unit(benchmark::kMillisecond);

}  // namespace
