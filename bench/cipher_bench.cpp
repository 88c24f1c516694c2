// cipherTriple against OpenSSL's DES-EDE3 in ECB mode: on 512-byte buffers with a fresh key
// schedule for every call, as the vault encrypts a record's texts, and on 64 KiB buffers. At the
// end, the ratio of the throughputs for each size.
#include "cipher.h"

#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

struct Material {
    CipherKey k1, k2, k3;
    unsigned char key24[24];
    std::vector<std::uint8_t> data;

    explicit Material(std::size_t size) : data(size) {
        std::mt19937 rng(42);
        for (auto *k : {&k1, &k2, &k3})
            for (auto &b : *k) b = static_cast<std::uint8_t>(rng());
        for (int i = 0; i < 8; ++i) {
            key24[i] = k1[static_cast<std::size_t>(i)];
            key24[8 + i] = k2[static_cast<std::size_t>(i)];
            key24[16 + i] = k3[static_cast<std::size_t>(i)];
        }
        for (auto &b : data) b = static_cast<std::uint8_t>(rng());
    }
};

void arkelTriple(benchmark::State &state) {
    Material m(static_cast<std::size_t>(state.range(0)));
    const auto length = static_cast<std::int32_t>(m.data.size());
    for (auto _ : state) {
        cipherTriple(m.data, length, m.k1, m.k2, m.k3, 1);
        benchmark::DoNotOptimize(m.data.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * length);
}

// OpenSSL gets a fresh key schedule per call on the small buffers (as cipherTriple always does)
// and one schedule for the whole run on the large ones.
void opensslDesEde3(benchmark::State &state) {
    Material m(static_cast<std::size_t>(state.range(0)));
    const bool freshKeys = m.data.size() <= 512;
    const int length = static_cast<int>(m.data.size());
    EVP_CIPHER_CTX *ctx = EVP_CIPHER_CTX_new();
    const EVP_CIPHER *cipher = EVP_des_ede3_ecb();
    if (!ctx || !cipher || !EVP_EncryptInit_ex(ctx, cipher, nullptr, m.key24, nullptr)) {
        state.SkipWithError("OpenSSL DES-EDE3 is not available");
        EVP_CIPHER_CTX_free(ctx);
        return;
    }
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    int outLength = 0;
    for (auto _ : state) {
        if (freshKeys) EVP_EncryptInit_ex(ctx, nullptr, nullptr, m.key24, nullptr);
        EVP_EncryptUpdate(ctx, m.data.data(), &outLength, m.data.data(), length);
        benchmark::DoNotOptimize(m.data.data());
        benchmark::ClobberMemory();
    }
    EVP_CIPHER_CTX_free(ctx);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * length);
}

BENCHMARK(arkelTriple)->Arg(512)->Arg(64 * 1024);
BENCHMARK(opensslDesEde3)->Arg(512)->Arg(64 * 1024);

// The console report, followed by the throughput ratio per buffer size.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const auto &run : runs) {
            const auto it = run.counters.find("bytes_per_second");
            if (run.error_occurred || it == run.counters.end()) continue;
            const std::string name = run.benchmark_name();
            const auto slash = name.find('/');
            const std::string size = slash == std::string::npos ? "" : name.substr(slash + 1);
            (name.rfind("arkel", 0) == 0 ? arkel_ : openssl_)[size] = it->second.value;
        }
    }

    void Finalize() override {
        ConsoleReporter::Finalize();
        std::printf("\n%-8s %16s %16s %8s\n", "bytes", "cipherTriple", "OpenSSL EDE3", "ratio");
        for (const auto &[size, arkel] : arkel_) {
            const auto it = openssl_.find(size);
            if (it == openssl_.end() || it->second <= 0) continue;
            std::printf("%-8s %11.1f MB/s %11.1f MB/s %7.2fx\n", size.c_str(), arkel / 1e6,
                        it->second / 1e6, arkel / it->second);
        }
    }

private:
    std::map<std::string, double> arkel_;
    std::map<std::string, double> openssl_;
};

}  // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
