#pragma once

#include <QtGlobal>

// Count, mean, spread and extremes of a run of values, mergeable in any
// order. The spread is kept as the sum of squared deviations from the mean
// (updated by Welford's step, merged by Chan's formula) instead of a raw sum
// of squares, so a small noise on a large value (1000 V +- 1 uV) keeps its
// digits where sum(x^2) - n*mean^2 would cancel them away.
struct Moments
{
    qint64 n = 0;
    double mean = 0.0;
    double m2 = 0.0;  // sum of (x - mean)^2
    double min = 0.0; // meaningful only when n > 0
    double max = 0.0;

    void add(double x);
    void merge(const Moments &other);

    bool isEmpty() const { return n == 0; }
    double sum() const { return mean * double(n); }
    // Sample standard deviation (n - 1 in the denominator); 0 below two values.
    double sampleSd() const;
    double peakToPeak() const { return n > 0 ? max - min : 0.0; }
};
