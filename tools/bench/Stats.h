#pragma once

#include <vector>

// The spread of a set of timings, in the unit of the samples.
struct Spread {
    double p10 = 0.0;
    double median = 0.0;
    double p90 = 0.0;
    double max = 0.0; // the slowest sample: a phase's one costly frame
};

// The value below which `fraction` (0..1) of the samples lie, interpolated linearly between
// the two nearest order statistics (rank fraction * (n - 1), counted from 0): the median of an
// even count is the mean of the middle two. 0 for no samples.
double percentile(std::vector<double> samples, double fraction);

Spread spreadOf(const std::vector<double>& samples);

// The sample standard deviation (divisor n - 1); 0 for fewer than two samples.
double standardDeviation(const std::vector<double>& samples);

// The largest amount by which one sample exceeds the median of its up to four neighbours (two
// each side): how much slower than the frames around it the slowest frame is. 0 for fewer than
// two samples.
double largestRiseOverNeighbours(const std::vector<double>& samples);
