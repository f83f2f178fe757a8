#pragma once

#include <string>
#include <vector>

// Figures and their printing for the benchmark's reports. NaN stands for "no value" throughout
// and prints as "n/a".
namespace bench {

// The middle value (the mean of the two middle ones for an even count); NaN when empty.
double median(std::vector<double> values);
double minimum(const std::vector<double>& values);
double maximum(const std::vector<double>& values);

// The least-squares line y = intercept + slope × x, with its coefficient of determination.
// All NaN for fewer than two points or a single x value; r2 NaN when y does not vary.
struct Fit {
    double slope;
    double intercept;
    double r2;
};
Fit leastSquares(const std::vector<double>& x, const std::vector<double>& y);

// Fixed-point text; a value that rounds to zero never shows a minus sign.
std::string fixed(double value, int decimals = 1);
// The same with a "+" in front of values that are not negative.
std::string signedFixed(double value, int decimals = 1);
// An integer with a comma between groups of three digits: 100,000.
std::string grouped(long value);

} // namespace bench
