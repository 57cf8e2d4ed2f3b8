// Core date reading throughput, driven by bench/dates.py: reads
// length-prefixed payloads from a file and times GedcomDate::parse alone, then
// parse with every output form that parse_date asks for.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "dates.hpp"

using namespace pellorine;

namespace {

std::vector<std::string_view> load(const std::string& data) {
    std::vector<std::string_view> out;
    std::size_t i = 0;
    while (i + 4 <= data.size()) {
        std::uint32_t n = 0;
        for (int k = 0; k < 4; ++k) n |= std::uint32_t(static_cast<unsigned char>(data[i + k])) << (8 * k);
        i += 4;
        if (n > data.size() - i) break;
        out.emplace_back(data.data() + i, n);
        i += n;
    }
    return out;
}

template <class F>
double best_seconds(int rounds, F&& f) {
    double best = 1e300;
    for (int r = 0; r < rounds; ++r) {
        auto t0 = std::chrono::steady_clock::now();
        f();
        double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        if (s < best) best = s;
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: dates_core PAYLOAD_FILE [ROUNDS]\n";
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
    auto payloads = load(data);
    std::uint64_t bytes = 0;
    for (auto p : payloads) bytes += p.size();

    std::uint64_t sink = 0;
    double parse_s = best_seconds(rounds, [&] {
        for (auto p : payloads) sink += static_cast<std::uint64_t>(GedcomDate::parse(p).kind);
    });
    double forms_s = best_seconds(rounds, [&] {
        for (auto p : payloads) {
            GedcomDate d = GedcomDate::parse(p);
            sink += d.display().size();
            sink += d.to_gedcom_5_5_1().value_or("").size();
            sink += d.to_gedcom_7().value_or("").size();
        }
    });
    std::size_t readable = 0;
    for (auto p : payloads) readable += GedcomDate::parse(p).kind != DateKind::Unparsed;

    // One JSON line, read by bench/dates.py.
    std::printf(
        "{\"payloads\":%zu,\"bytes\":%llu,\"readable\":%zu,\"parse_seconds\":%.6f,\"forms_seconds\":%.6f,"
        "\"sink\":%llu}\n",
        payloads.size(), static_cast<unsigned long long>(bytes), readable, parse_s, forms_s,
        static_cast<unsigned long long>(sink));
    return 0;
}
