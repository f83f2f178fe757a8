#include "stats.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace bench {

double median(std::vector<double> values)
{
    if (values.empty())
        return NAN;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double minimum(const std::vector<double>& values)
{
    return values.empty() ? NAN : *std::min_element(values.begin(), values.end());
}

double maximum(const std::vector<double>& values)
{
    return values.empty() ? NAN : *std::max_element(values.begin(), values.end());
}

Fit leastSquares(const std::vector<double>& x, const std::vector<double>& y)
{
    Fit fit { NAN, NAN, NAN };
    const size_t n = std::min(x.size(), y.size());
    if (n < 2)
        return fit;
    double meanX = 0;
    double meanY = 0;
    for (size_t i = 0; i < n; ++i) {
        meanX += x[i];
        meanY += y[i];
    }
    meanX /= double(n);
    meanY /= double(n);
    // Sums about the means: table sizes up to 10^5 and more would swamp raw sums of squares.
    double sxx = 0;
    double sxy = 0;
    double syy = 0;
    for (size_t i = 0; i < n; ++i) {
        sxx += (x[i] - meanX) * (x[i] - meanX);
        sxy += (x[i] - meanX) * (y[i] - meanY);
        syy += (y[i] - meanY) * (y[i] - meanY);
    }
    if (sxx == 0)
        return fit;
    fit.slope = sxy / sxx;
    fit.intercept = meanY - fit.slope * meanX;
    if (syy > 0)
        fit.r2 = sxy * sxy / (sxx * syy);
    return fit;
}

std::string fixed(double value, int decimals)
{
    if (std::isnan(value))
        return "n/a";
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    const std::string text = buffer;
    if (text[0] == '-' && text.find_first_not_of("-0.") == std::string::npos)
        return text.substr(1);
    return text;
}

std::string signedFixed(double value, int decimals)
{
    const std::string text = fixed(value, decimals);
    return text[0] == '-' || text == "n/a" ? text : "+" + text;
}

std::string grouped(long value)
{
    std::string digits = std::to_string(value < 0 ? -value : value);
    for (int i = int(digits.size()) - 3; i > 0; i -= 3)
        digits.insert(size_t(i), ",");
    return value < 0 ? "-" + digits : digits;
}

} // namespace bench
