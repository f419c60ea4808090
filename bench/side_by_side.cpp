#include "bench/side_by_side.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <utility>

namespace tvk9::bench {

namespace {

struct Scale {
    double factor;
    const char* unit;
};

Scale ScaleFor(const Format& format, double median) {
    switch (format.kind) {
    case Format::Kind::Throughput:
        return {1e-6, "MB/s"};
    case Format::Kind::Memory:
        return {1.0 / (1024 * 1024), "MiB"};
    case Format::Kind::Time:
        break;
    }
    if (median < 1e-6) {
        return {1e9, "ns"};
    }
    if (median < 1e-3) {
        return {1e6, "µs"};
    }
    if (median < 1) {
        return {1e3, "ms"};
    }
    return {1, "s"};
}

// The quantity shown: throughput turns a time per operation into bytes per second.
double Shown(const Format& format, double sample) {
    return format.kind == Format::Kind::Throughput ? format.bytesPerOperation / sample : sample;
}

std::string Number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, v < 10 ? "%.2f" : v < 100 ? "%.1f" : "%.0f", v);
    return text;
}

} // namespace

std::string MedianAndRange(const Format& format, const std::vector<double>& samples) {
    std::vector<double> shown;
    for (double s : samples) {
        shown.push_back(Shown(format, s));
    }
    const Scale scale = ScaleFor(format, Median(shown));
    const auto [lo, hi] = std::minmax_element(shown.begin(), shown.end());
    return Number(Median(shown) * scale.factor) + " " + scale.unit + " (" +
           Number(*lo * scale.factor) + "–" + Number(*hi * scale.factor) + ")";
}

namespace {

void PrintLine(const std::string& figure, const std::string& project, const std::string& peer,
               const std::string& ratio, const std::string& goal) {
    std::printf("FIGURE\t%s\t%s\t%s\t%s\t%s\n", figure.c_str(), project.c_str(), peer.c_str(),
                ratio.c_str(), goal.c_str());
    std::fflush(stdout);
}

} // namespace

int Rounds(int fallback) {
    const char* asked = std::getenv("TVK9_BENCH_ROUNDS");
    const int n = asked != nullptr ? std::atoi(asked) : 0;
    return n > 0 ? n : fallback;
}

std::vector<std::vector<double>> Alternate(int rounds,
                                           const std::vector<std::function<double()>>& sides) {
    std::vector<std::vector<double>> samples(sides.size());
    for (int round = 0; round < rounds; ++round) {
        for (std::size_t i = 0; i < sides.size(); ++i) {
            const std::size_t side = (i + static_cast<std::size_t>(round)) % sides.size();
            samples[side].push_back(sides[side]());
        }
    }
    return samples;
}

double Median(std::vector<double> values) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    const std::size_t mid = values.size() / 2;
    return values.size() % 2 == 1 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

namespace {

// The ratio of each round, median first.
std::pair<double, std::string> Ratios(const std::vector<double>& project,
                                      const std::vector<double>& peerSamples) {
    std::vector<double> ratios;
    for (std::size_t i = 0; i < project.size() && i < peerSamples.size(); ++i) {
        ratios.push_back(project[i] / peerSamples[i]);
    }
    const double ratio = Median(ratios);
    const auto [lo, hi] = std::minmax_element(ratios.begin(), ratios.end());
    return {ratio, Number(ratio) + "× (" + Number(*lo) + "–" + Number(*hi) + ")"};
}

} // namespace

void PrintFigure(const std::string& figure, const Format& format,
                 const std::vector<double>& project, const std::string& peer,
                 const std::vector<double>& peerSamples, double goal) {
    const auto [ratio, ratioText] = Ratios(project, peerSamples);
    std::string goalText = "—";
    if (goal > 0) {
        goalText = "≤ " + Number(goal) + "×: " + (ratio <= goal ? "met" : "NOT MET");
    }
    PrintLine(figure, MedianAndRange(format, project),
              peer + " " + MedianAndRange(format, peerSamples), ratioText, goalText);
}

void PrintFigureAtMost(const std::string& figure, const Format& format,
                       const std::vector<double>& project, const std::string& peer,
                       const std::vector<double>& peerSamples, double atMost, bool alsoMet) {
    const Scale scale = ScaleFor(format, atMost);
    const std::string goalText = "≤ " + Number(atMost * scale.factor) + " " + scale.unit + ": " +
                                 (Median(project) <= atMost && alsoMet ? "met" : "NOT MET");
    PrintLine(figure, MedianAndRange(format, project),
              peer + " " + MedianAndRange(format, peerSamples), Ratios(project, peerSamples).second,
              goalText);
}

void PrintFigure(const std::string& figure, const std::string& project, const std::string& peer,
                 const std::string& goal) {
    PrintLine(figure, project, peer, "—", goal);
}

} // namespace tvk9::bench
