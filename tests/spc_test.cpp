// The link's control chart: its figures against a worked example, and each rule firing on the
// pattern it names.

#include "controlchart.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

TEST(ControlChartTest, WorkedExampleAndEachRule)
{
    std::ifstream file(SPC_EXAMPLE_PATH);
    ASSERT_TRUE(file) << SPC_EXAMPLE_PATH;
    std::vector<double> values;
    std::map<std::string, double> expected;
    for (std::string line; std::getline(file, line);) {
        std::istringstream words(line);
        std::string key;
        words >> key;
        if (key == "values")
            for (double value; words >> value;)
                values.push_back(value);
        else if (!key.empty() && key[0] != '#')
            words >> expected[key];
    }
    const auto chart = spc::imrChart(values, expected.at("limit"));
    ASSERT_TRUE(chart && chart->cpu && chart->ppu);
    const std::pair<const char *, double> figures[] = {{"centre", chart->centre},
                                                       {"meanMovingRange", chart->meanMovingRange},
                                                       {"sigmaWithin", chart->sigmaWithin},
                                                       {"lcl", chart->lower},
                                                       {"ucl", chart->upper},
                                                       {"movingRangeUcl", chart->movingRangeUpper},
                                                       {"sigmaOverall", chart->sigmaOverall},
                                                       {"cpu", *chart->cpu},
                                                       {"ppu", *chart->ppu}};
    for (const auto &[name, value] : figures)
        EXPECT_NEAR(value, expected.at(name), 0.00005) << name;
    EXPECT_TRUE(chart->hits.empty());
    // One run fewer: too few for capability.
    EXPECT_FALSE(spc::imrChart({values.begin(), values.end() - 1}, 21.5)->cpu);

    // A baseline alternating 10 and 11 ms (centre 10.5, sigma within 1 / 1.128), then each rule's
    // pattern alone.
    struct Row
    {
        const char *name;
        std::vector<double> after;
        std::vector<std::pair<int, std::size_t>> hits; // rule, point
    };
    const Row rows[] = {
        {"one point beyond 3 sigma", {13.5}, {{1, 10}}},
        {"two of three beyond 2 sigma", {12.5, 11, 12.5}, {{2, 12}}},
        {"four of five beyond 1 sigma", {11.5, 11.5, 11, 11.5, 11.5}, {{3, 14}}},
        {"eight in a row above the centre", std::vector<double>(8, 10.8), {{4, 16}, {4, 17}}},
        {"below, as above", {7.5}, {{1, 10}}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<double> series;
        for (int i = 0; i < 10; ++i)
            series.push_back(i % 2 ? 11 : 10);
        series.insert(series.end(), row.after.begin(), row.after.end());
        const auto ruled = spc::imrChart(series, std::nullopt, 10);
        ASSERT_TRUE(ruled);
        EXPECT_NEAR(ruled->upper, 10.5 + 3 / 1.128, 1e-9);
        std::vector<std::pair<int, std::size_t>> hits;
        for (const spc::RuleHit &hit : ruled->hits)
            hits.emplace_back(hit.rule, hit.point);
        EXPECT_EQ(hits, row.hits);
    }
}
