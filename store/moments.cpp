#include "moments.h"

#include <algorithm>
#include <cmath>

void Moments::add(double x)
{
    if (n == 0) {
        min = max = x;
    } else {
        min = std::min(min, x);
        max = std::max(max, x);
    }
    ++n;
    const double delta = x - mean;
    mean += delta / double(n);
    m2 += delta * (x - mean);
}

void Moments::merge(const Moments &other)
{
    if (other.n == 0)
        return;
    if (n == 0) {
        *this = other;
        return;
    }
    const double na = double(n);
    const double nb = double(other.n);
    const double total = na + nb;
    const double delta = other.mean - mean;
    mean += delta * nb / total;
    m2 += other.m2 + delta * delta * na * nb / total;
    n += other.n;
    min = std::min(min, other.min);
    max = std::max(max, other.max);
}

double Moments::sampleSd() const
{
    if (n < 2)
        return 0.0;
    return std::sqrt(std::max(0.0, m2) / double(n - 1));
}
