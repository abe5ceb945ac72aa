#pragma once

// An individuals and moving-range (I-MR) chart of one measurement a run, such as each run's
// median round trip, the Western Electric rules that fired on it, and the process's capability
// against an upper limit.
//
// The limits come from the first `baseline` points (all of them when there are fewer): the
// centre line is their mean, sigma within is their mean moving range / 1.128 (d2 for n = 2),
// the individuals' limits are the centre +- 3 sigma within and the moving range's upper limit is
// 3.267 (D4) times the mean moving range. Every point, the baseline's and those after it, is
// judged against them.

#include <cstddef>
#include <optional>
#include <vector>

namespace spc {

inline constexpr double d2 = 1.128;
inline constexpr double d4 = 3.267;
// Capability is shown only from this many points on: fewer tell too little.
inline constexpr std::size_t capabilityPoints = 25;

// One rule's firing: the point that completed it, and on which side of the centre.
struct RuleHit
{
    int rule = 0;          // 1: one point beyond 3 sigma; 2: two of three beyond 2 sigma on one
                           // side; 3: four of five beyond 1 sigma on one side; 4: eight in a row
                           // on one side of the centre
    std::size_t point = 0; // counted from 0
    bool above = true;
};

struct ImrChart
{
    std::size_t points = 0;
    std::size_t baseline = 0; // the points the limits came from
    double centre = 0;
    double meanMovingRange = 0;
    double sigmaWithin = 0; // mean moving range / d2
    double lower = 0;       // centre - 3 sigma within
    double upper = 0;       // centre + 3 sigma within
    double movingRangeUpper = 0;
    double mean = 0;         // of every point
    double sigmaOverall = 0; // the sample standard deviation of every point
    // Against the upper limit, from `capabilityPoints` points on: (limit - mean) over 3 sigma
    // within (CpU) and over 3 sigma overall (PpU). None without a limit or spread.
    std::optional<double> cpu;
    std::optional<double> ppu;
    std::vector<RuleHit> hits; // in order of point, each rule at most once a point
};

// Two points at least make a chart; none for fewer.
std::optional<ImrChart> imrChart(const std::vector<double> &values,
                                 std::optional<double> upperLimit = std::nullopt,
                                 std::size_t baseline = capabilityPoints);

} // namespace spc
