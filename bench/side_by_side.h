#pragma once

// Figures measured side by side with a peer that a user could pick instead. The sides take
// turns round by round, the order turning every round so that a machine that speeds up or
// slows down weighs on all sides alike; each side is shown as the median and range of its
// rounds, and the ratio project / peer is taken within each round, so it compares two things
// measured under the same load, never a time with a constant.
//
// Every figure is printed to standard output as one machine-readable line,
//   FIGURE <tab> figure <tab> project <tab> peer <tab> ratio <tab> goal
// which `./do bench` gathers into one table. Anything else a program prints is its own.

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace tvk9::bench {

// Rounds per figure: TVK9_BENCH_ROUNDS when set to a positive number, else `fallback`.
int Rounds(int fallback);

// Runs `rounds` rounds; in each, every side gives one sample. Result: the samples of each
// side, in the order of `sides`.
std::vector<std::vector<double>> Alternate(int rounds,
                                           const std::vector<std::function<double()>>& sides);

double Median(std::vector<double> values);

// How a figure's samples read. Samples are seconds per operation, or bytes.
struct Format {
    enum class Kind { Time, Throughput, Memory } kind = Kind::Time;
    double bytesPerOperation = 0; // Throughput only
};
inline Format Time() {
    return {};
}
inline Format Throughput(double bytesPerOperation) {
    return {Format::Kind::Throughput, bytesPerOperation};
}
inline Format Memory() {
    return {Format::Kind::Memory, 0};
}

// One figure beside its peer. `goal`: the ratio project / peer that the project must not
// exceed, 0 for none (the peer is then shown for information).
void PrintFigure(const std::string& figure, const Format& format,
                 const std::vector<double>& project, const std::string& peer,
                 const std::vector<double>& peerSamples, double goal);

// The same with a goal for the project's own median, in seconds, rather than for the ratio:
// for a figure whose peer is the way it was done before. `alsoMet`: what else the goal asks.
void PrintFigureAtMost(const std::string& figure, const Format& format,
                       const std::vector<double>& project, const std::string& peer,
                       const std::vector<double>& peerSamples, double atMost, bool alsoMet = true);

// "45.2 ms (41.0–60.3)": a figure's median and the range of its rounds.
std::string MedianAndRange(const Format& format, const std::vector<double>& samples);

// A figure without a ratio (the idle CPU of the project's own programs, near zero): its value,
// what stands beside it for reference ("—" for nothing), and what it is expected to be.
void PrintFigure(const std::string& figure, const std::string& project, const std::string& peer,
                 const std::string& goal);

// Seconds per call of `call`, as the median over `batches` batches of `calls` calls each, so
// that a batch in which another program took the processor does not count.
template <class Call> double SecondsPerCall(Call&& call, int calls, int batches = 9) {
    std::vector<double> perCall;
    for (int b = 0; b < batches; ++b) {
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < calls; ++i) {
            call();
        }
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        perCall.push_back(took.count() / calls);
    }
    return Median(std::move(perCall));
}

// A number of calls of `call` that takes about `seconds`, to size the batches with.
template <class Call> int CallsIn(double seconds, Call&& call) {
    int calls = 1;
    while (calls < (1 << 28)) {
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < calls; ++i) {
            call();
        }
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        if (took.count() >= seconds / 4) {
            return static_cast<int>(calls * seconds / took.count()) + 1;
        }
        calls *= 2;
    }
    return calls;
}

} // namespace tvk9::bench
