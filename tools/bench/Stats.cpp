#include "Stats.h"

#include <algorithm>
#include <cmath>

double percentile(std::vector<double> samples, double fraction)
{
    if (samples.empty())
        return 0.0;
    std::sort(samples.begin(), samples.end());
    const double rank = std::clamp(fraction, 0.0, 1.0) * double(samples.size() - 1);
    const std::size_t below = std::size_t(rank);
    const std::size_t above = std::min(below + 1, samples.size() - 1);
    const double share = rank - double(below);
    return samples[below] + (samples[above] - samples[below]) * share;
}

Spread spreadOf(const std::vector<double>& samples)
{
    return {percentile(samples, 0.1), percentile(samples, 0.5), percentile(samples, 0.9), percentile(samples, 1.0)};
}

double standardDeviation(const std::vector<double>& samples)
{
    if (samples.size() < 2)
        return 0.0;
    double mean = 0.0;
    for (double v : samples)
        mean += v;
    mean /= double(samples.size());
    double squares = 0.0;
    for (double v : samples)
        squares += (v - mean) * (v - mean);
    return std::sqrt(squares / double(samples.size() - 1));
}

double largestRiseOverNeighbours(const std::vector<double>& samples)
{
    double largest = 0.0;
    const std::size_t n = samples.size();
    for (std::size_t i = 0; i < n && n >= 2; ++i) {
        std::vector<double> around;
        for (std::size_t j = (i >= 2 ? i - 2 : 0); j <= std::min(n - 1, i + 2); ++j)
            if (j != i)
                around.push_back(samples[j]);
        largest = std::max(largest, samples[i] - percentile(around, 0.5));
    }
    return largest;
}
