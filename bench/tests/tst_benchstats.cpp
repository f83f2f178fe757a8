// The benchmark's figures: medians, the straight line through the table sizes, and how numbers
// are printed in its tables.
#include "stats.h"

#include <QTest>

#include <cmath>

using bench::Fit;

class tst_BenchStats : public QObject {
    Q_OBJECT

private slots:
    void median_data();
    void median();
    void leastSquares_data();
    void leastSquares();
    void fixed_data();
    void fixed();
    void grouped_data();
    void grouped();
};

using Values = std::vector<double>;
Q_DECLARE_METATYPE(Values)

static bool same(double actual, double expected, double tolerance)
{
    if (std::isnan(expected))
        return std::isnan(actual);
    return std::fabs(actual - expected) <= tolerance;
}

void tst_BenchStats::median_data()
{
    QTest::addColumn<Values>("values");
    QTest::addColumn<double>("median");
    QTest::addColumn<double>("minimum");
    QTest::addColumn<double>("maximum");

    QTest::newRow("none") << Values {} << double(NAN) << double(NAN) << double(NAN);
    QTest::newRow("one") << Values { 7.5 } << 7.5 << 7.5 << 7.5;
    QTest::newRow("odd count, unsorted") << Values { 30, 10, 20 } << 20.0 << 10.0 << 30.0;
    QTest::newRow("even count: mean of the middle two")
        << Values { 4, 1, 3, 2 } << 2.5 << 1.0 << 4.0;
    QTest::newRow("one outlier does not move it")
        << Values { 13, 12, 1000, 14, 12 } << 13.0 << 12.0 << 1000.0;
}

void tst_BenchStats::median()
{
    QFETCH(Values, values);
    QFETCH(double, median);
    QFETCH(double, minimum);
    QFETCH(double, maximum);

    QVERIFY2(same(bench::median(values), median, 1e-12),
        qPrintable(
            QStringLiteral("median %1, expected %2").arg(bench::median(values)).arg(median)));
    QVERIFY2(same(bench::minimum(values), minimum, 0), "wrong minimum");
    QVERIFY2(same(bench::maximum(values), maximum, 0), "wrong maximum");
}

void tst_BenchStats::leastSquares_data()
{
    QTest::addColumn<Values>("x");
    QTest::addColumn<Values>("y");
    QTest::addColumn<double>("slope");
    QTest::addColumn<double>("intercept");
    QTest::addColumn<double>("r2");

    const Values sizes { 0, 100, 1000, 10000, 100000 };
    Values line;
    for (double x : sizes)
        line.push_back(12 + 0.005 * x);
    QTest::newRow("exact line over the table sizes") << sizes << line << 0.005 << 12.0 << 1.0;

    // Raw sums of squares lose the slope under a large offset; sums about the means keep it.
    Values offset;
    for (double x : sizes)
        offset.push_back(1e9 + 1e-3 * x);
    QTest::newRow("large offset, small slope") << sizes << offset << 1e-3 << 1e9 << 1.0;

    QTest::newRow("flat: no growth, nothing explained")
        << sizes << Values { 5, 5, 5, 5, 5 } << 0.0 << 5.0 << double(NAN);
    QTest::newRow("scattered points")
        << Values { 0, 1, 2, 3 } << Values { 0, 2, 1, 3 } << 0.8 << 0.3 << 0.64;
    QTest::newRow("one point") << Values { 1 } << Values { 2 } << double(NAN) << double(NAN)
                               << double(NAN);
    QTest::newRow("one size only")
        << Values { 3, 3 } << Values { 1, 2 } << double(NAN) << double(NAN) << double(NAN);
}

void tst_BenchStats::leastSquares()
{
    QFETCH(Values, x);
    QFETCH(Values, y);
    QFETCH(double, slope);
    QFETCH(double, intercept);
    QFETCH(double, r2);

    const Fit fit = bench::leastSquares(x, y);
    const QString got = QStringLiteral("slope %1, intercept %2, r2 %3")
                            .arg(fit.slope, 0, 'g', 12)
                            .arg(fit.intercept, 0, 'g', 12)
                            .arg(fit.r2, 0, 'g', 12);
    QVERIFY2(same(fit.slope, slope, std::fabs(slope) * 1e-6 + 1e-12), qPrintable(got));
    QVERIFY2(same(fit.intercept, intercept, std::fabs(intercept) * 1e-9 + 1e-9), qPrintable(got));
    QVERIFY2(same(fit.r2, r2, 1e-9), qPrintable(got));
}

void tst_BenchStats::fixed_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<QString>("plain");
    QTest::addColumn<QString>("withSign");

    QTest::newRow("positive") << 12.34 << 1 << "12.3"
                              << "+12.3";
    QTest::newRow("negative") << -2.26 << 1 << "-2.3"
                              << "-2.3";
    QTest::newRow("zero") << 0.0 << 1 << "0.0"
                          << "+0.0";
    QTest::newRow("negative rounding to zero") << -0.04 << 1 << "0.0"
                                               << "+0.0";
    QTest::newRow("negative rounding to zero, no decimals") << -0.4 << 0 << "0"
                                                            << "+0";
    QTest::newRow("three decimals") << -0.0004 << 3 << "0.000"
                                    << "+0.000";
    QTest::newRow("no value") << double(NAN) << 1 << "n/a"
                              << "n/a";
}

void tst_BenchStats::fixed()
{
    QFETCH(double, value);
    QFETCH(int, decimals);
    QFETCH(QString, plain);
    QFETCH(QString, withSign);

    QCOMPARE(QString::fromStdString(bench::fixed(value, decimals)), plain);
    QCOMPARE(QString::fromStdString(bench::signedFixed(value, decimals)), withSign);
}

void tst_BenchStats::grouped_data()
{
    QTest::addColumn<qlonglong>("value");
    QTest::addColumn<QString>("text");

    QTest::newRow("0") << 0LL << "0";
    QTest::newRow("999") << 999LL << "999";
    QTest::newRow("1000") << 1000LL << "1,000";
    QTest::newRow("100000") << 100000LL << "100,000";
    QTest::newRow("1234567") << 1234567LL << "1,234,567";
    QTest::newRow("-1000") << -1000LL << "-1,000";
}

void tst_BenchStats::grouped()
{
    QFETCH(qlonglong, value);
    QFETCH(QString, text);

    QCOMPARE(QString::fromStdString(bench::grouped(long(value))), text);
}

QTEST_APPLESS_MAIN(tst_BenchStats)
#include "tst_benchstats.moc"
