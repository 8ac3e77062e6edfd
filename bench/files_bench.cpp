// Costs of the file index and of reading compressed streams: per indexed file, per member, per
// byte.
#include "files/data_file.h"
#include "files/files.h"
#include "files/gzip.h"
#include "files/scramble.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {
constexpr int k_files = 5000;
constexpr size_t k_stream_bytes = 10 * 1024 * 1024;

// Text like the data set's: numbers and words on short lines.
std::string stream_text() {
    std::string text;
    for (int i = 0; text.size() < k_stream_bytes; i++)
        text +=
            "vertex " + std::to_string(i % 977) + " " + std::to_string(i * 7919 % 10007) + " 0.5\n";
    text.resize(k_stream_bytes);
    return text;
}

// One folder tree of small files, one archive of as many members, and the streams to read.
struct bench_data {
    fs::path root = fs::temp_directory_path() / ("tb_files_bench_" + std::to_string(getpid()));
    fs::path tree = root / "tree";
    fs::path archive = root / "archive";

    bench_data() {
        fs::remove_all(root);
        for (int i = 0; i < k_files; i++) {
            fs::path p =
                tree / ("folder" + std::to_string(i / 100)) / ("file" + std::to_string(i) + ".txt");
            fs::create_directories(p.parent_path());
            std::ofstream(p) << "small file " << i << "\n";
        }
        std::string header, body;
        for (int i = 0; i < k_files; i++) {
            std::string bytes = "member " + std::to_string(i) + "\n";
            header += std::to_string(bytes.size()) + " folder" + std::to_string(i / 100) +
                      "/member" + std::to_string(i) + ".txt\n";
            body += bytes;
        }
        std::string text = stream_text();
        std::string gz = gzip_bytes(text);
        header += std::to_string(gz.size()) + " big.txt.gz\n";
        header += std::to_string(text.size()) + " plain.txt\n";
        std::string scrambled = scramble_bytes(text);
        header += std::to_string(scrambled.size()) + " scrambled.txt.scram\n";
        fs::create_directories(archive);
        std::ofstream(archive / "zzzz.saf", std::ios::binary) << header << "-\n"
                                                              << body << gz << text << scrambled;
        setenv("XDG_DATA_HOME", (root / "xdg").c_str(), 1);
        unsetenv("TAVO_LOGFILE");
    }
    ~bench_data() { fs::remove_all(root); }

    void use(const fs::path& folder) {
        files_free();
        setenv("QV_HOME", folder.c_str(), 1);
    }
};

bench_data& data() {
    static bench_data d;
    return d;
}

void index_folder_tree(benchmark::State& state) {
    data().use(data().tree);
    for (auto _ : state) {
        files_free();
        benchmark::DoNotOptimize(file_index().size());
    }
    state.SetItemsProcessed(state.iterations() * k_files);
}

void index_archive(benchmark::State& state) {
    data().use(data().archive);
    for (auto _ : state) {
        files_free();
        benchmark::DoNotOptimize(file_index().size());
    }
    state.SetItemsProcessed(state.iterations() * k_files);
}

void open_member(benchmark::State& state) {
    data().use(data().archive);
    file_index();
    int i = 0;
    for (auto _ : state) {
        std::string name = "@folder" + std::to_string(i / 100 % 50) + "/member" +
                           std::to_string(i % k_files) + ".txt";
        data_file* f = data_file_open(name.c_str(), "rb");
        benchmark::DoNotOptimize(data_file_get_char(f));
        data_file_close(f);
        i += 37;
    }
    state.SetItemsProcessed(state.iterations());
}

void stream_by_char(benchmark::State& state, const char* name) {
    data().use(data().archive);
    file_index();
    for (auto _ : state) {
        data_file* f = data_file_open(name, "rb");
        long sum = 0;
        for (int c; (c = data_file_get_char(f)) != k_data_file_end;) sum += c;
        benchmark::DoNotOptimize(sum);
        data_file_close(f);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(k_stream_bytes));
}

void stream_by_block(benchmark::State& state, const char* name) {
    data().use(data().archive);
    file_index();
    std::string buffer(static_cast<size_t>(state.range(0)), '\0');
    for (auto _ : state) {
        data_file* f = data_file_open(name, "rb");
        size_t total = 0;
        while (size_t n = data_file_read(f, buffer.data(), buffer.size())) total += n;
        benchmark::DoNotOptimize(total);
        data_file_close(f);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(k_stream_bytes));
}

void scan_numbers(benchmark::State& state) {
    data().use(data().archive);
    file_index();
    for (auto _ : state) {
        data_file* f = data_file_open("@big.txt", "rb");
        int a, b;
        float x;
        long lines = 0;
        while (data_file_scan(f, " vertex %d %d %f", &a, &b, &x) == 3) lines++;
        benchmark::DoNotOptimize(lines);
        data_file_close(f);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(k_stream_bytes));
}
} // namespace

BENCHMARK(index_folder_tree)->Unit(benchmark::kMillisecond);
BENCHMARK(index_archive)->Unit(benchmark::kMillisecond);
BENCHMARK(open_member)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(stream_by_char, gzip, "@big.txt")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(stream_by_char, plain, "@plain.txt")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(stream_by_char, scrambled, "@scrambled.txt")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(stream_by_block, gzip, "@big.txt")
    ->Arg(512)
    ->Arg(65536)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(stream_by_block, plain, "@plain.txt")->Arg(65536)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(stream_by_block, scrambled, "@scrambled.txt")
    ->Arg(65536)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(scan_numbers)->Unit(benchmark::kMillisecond);
