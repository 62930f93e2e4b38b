#include "wizard/AbTest.h"

#include <QJsonValue>
#include <QLocale>
#include <QRegularExpression>
#include <algorithm>
#include <cmath>

namespace wizard {
namespace {

// Normal quantiles: 1.96 for a 95% two-sided interval and test, 0.84 for 80% power.
constexpr double kZ975 = 1.959963984540054;
constexpr double kZ80 = 0.8416212335729143;
constexpr double kSignificance = 0.05;

QString grouped(qint64 n)
{
    return QLocale(QLocale::English, QLocale::UnitedStates).toString(n);
}

QString percent(double fraction, int decimals)
{
    return QString::number(100 * fraction, 'f', decimals) + QLatin1Char('%');
}

QString signedPercent(double fraction)
{
    const QString text = percent(fraction, 1);
    return fraction >= 0 && !text.startsWith(QLatin1Char('-')) ? QLatin1Char('+') + text : text;
}

// One decimal unless the two rates would then read the same: large tests separate
// rates closer than 0.1 points.
int rateDecimals(double rateA, double rateB)
{
    int decimals = 1;
    while (decimals < 4 && rateA != rateB && percent(rateA, decimals) == percent(rateB, decimals))
        ++decimals;
    return decimals;
}

// 1/p in two significant digits ("1 time in 80", "1 time in 160"): the sentence is
// a feel for the odds, not a figure to copy.
QString chanceText(double p)
{
    if (p < 0.001)
        return QStringLiteral("less than 1 time in 1,000");
    const double n = 1 / p;
    const double step = n < 100 ? 1 : std::pow(10.0, std::floor(std::log10(n)) - 1);
    return QStringLiteral("about 1 time in ") + grouped(qint64(std::llround(n / step) * step));
}

} // namespace

std::optional<qint64> ParseAbCount(const QString &text, const QString &what, QString &error)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]+$"));
    static const QRegularExpression negative(QStringLiteral("^-[0-9]+([.,][0-9]*)?$"));
    const QString t = text.trimmed();
    if (negative.match(t).hasMatch()) {
        error = QStringLiteral("%1 cannot be negative, not \"%2\"").arg(what, t);
        return std::nullopt;
    }
    if (!digits.match(t).hasMatch()) {
        error = QStringLiteral("%1 must be a whole number, not \"%2\"").arg(what, t);
        return std::nullopt;
    }
    // More than 13 digits (leading zeros aside) overflows before it can be compared.
    qsizetype zeros = 0;
    while (zeros + 1 < t.size() && t[zeros] == QLatin1Char('0'))
        ++zeros;
    const QStringView number = QStringView(t).sliced(zeros);
    bool ok = false;
    const qint64 value = number.size() <= 13 ? number.toLongLong(&ok) : 0;
    if (!ok || value > kAbMaxCount) {
        error = QStringLiteral("%1 is too large: at most %2").arg(what, grouped(kAbMaxCount));
        return std::nullopt;
    }
    return value;
}

QString AbCountsProblem(const AbCounts &c)
{
    const struct {
        const char *name;
        qint64 visits, orders;
    } versions[] = {{"A", c.visitsA, c.ordersA}, {"B", c.visitsB, c.ordersB}};
    for (const auto &v : versions) {
        const QString name = QLatin1String(v.name);
        if (v.visits < 0 || v.orders < 0)
            return QStringLiteral("the visitors and orders of %1 cannot be negative").arg(name);
        if (v.visits > kAbMaxCount || v.orders > kAbMaxCount)
            return QStringLiteral("the counts of %1 are too large: at most %2")
                .arg(name, grouped(kAbMaxCount));
        if (v.visits == 0)
            return QStringLiteral("%1 has no visitors yet: both versions need visitors to compare").arg(name);
        if (v.orders > v.visits)
            return QStringLiteral("%1 has more orders (%2) than visitors (%3)")
                .arg(name, grouped(v.orders), grouped(v.visits));
    }
    return {};
}

AbResult CompareAb(const AbCounts &c)
{
    AbResult r;
    const double nA = double(c.visitsA), xA = double(c.ordersA);
    const double nB = double(c.visitsB), xB = double(c.ordersB);
    r.rateA = xA / nA;
    r.rateB = xB / nB;
    const double difference = r.rateB - r.rateA;

    // Pooled two-proportion z-test. With no orders at all (or only orders) the pooled
    // spread is zero and so is the difference: nothing is seen.
    const double pooled = (xA + xB) / (nA + nB);
    const double spread = std::sqrt(pooled * (1 - pooled) * (1 / nA + 1 / nB));
    if (spread > 0 && difference != 0) {
        r.z = difference / spread;
        r.pValue = std::erfc(std::fabs(r.z) / std::sqrt(2.0));
    }

    // Lift and its interval from the ratio pB/pA, by the delta method on its logarithm
    // (the usual interval of a relative risk).
    if (c.ordersA > 0) {
        const double ratio = r.rateB / r.rateA;
        r.lift = ratio - 1;
        if (c.ordersB > 0) {
            const double se = std::sqrt(1 / xA - 1 / nA + 1 / xB - 1 / nB);
            r.liftLow = ratio * std::exp(-kZ975 * se) - 1;
            r.liftHigh = ratio * std::exp(kZ975 * se) - 1;
        }
    }

    if (r.pValue < kSignificance) {
        r.verdict = difference > 0 ? AbVerdict::BSellsMore : AbVerdict::ASellsMore;
    } else if (difference != 0) {
        // Visitors per version for 80% power at the 5% level, two-sided, if the rates
        // are what they look like now; the smaller version sets how many are missing.
        const double mean = (r.rateA + r.rateB) / 2;
        const double root = kZ975 * std::sqrt(2 * mean * (1 - mean)) +
                            kZ80 * std::sqrt(r.rateA * (1 - r.rateA) + r.rateB * (1 - r.rateB));
        const double needed = root * root / (difference * difference);
        const double missing = std::ceil(needed * (1 - 1e-12)) - double(std::min(c.visitsA, c.visitsB));
        r.moreVisitorsPerVersion = qint64(std::clamp(missing, 1.0, double(kAbMaxCount)));
    }
    return r;
}

AbTexts DescribeAb(const AbResult &r)
{
    AbTexts t;
    const int decimals = rateDecimals(r.rateA, r.rateB);
    t.rateA = percent(r.rateA, decimals);
    t.rateB = percent(r.rateB, decimals);
    if (r.lift) {
        t.lift = signedPercent(*r.lift);
        if (r.liftLow && r.liftHigh)
            t.lift += QStringLiteral(" (95% interval %1 to %2)")
                          .arg(signedPercent(*r.liftLow), signedPercent(*r.liftHigh));
    } else {
        t.lift = QStringLiteral("none (A has no orders to compare with)");
    }
    // Three significant digits, trailing zeros kept ("0.870"). Below the smallest double
    // erfc gives 0, which no p-value is.
    if (r.pValue >= 1e-4)
        t.pValue = QString::number(r.pValue, 'f', 2 - int(std::floor(std::log10(r.pValue))));
    else
        t.pValue = r.pValue > 0 ? QString::number(r.pValue, 'e', 2) : QStringLiteral("< 1e-300");

    switch (r.verdict) {
    case AbVerdict::BSellsMore:
        t.sentence = QStringLiteral("B sells more: %1 against %2, and a difference this large would come by "
                                    "chance %3")
                         .arg(t.rateB, t.rateA, chanceText(r.pValue));
        break;
    case AbVerdict::ASellsMore:
        t.sentence = QStringLiteral("A sells more: %1 against %2, and a difference this large would come by "
                                    "chance %3")
                         .arg(t.rateA, t.rateB, chanceText(r.pValue));
        break;
    case AbVerdict::NotYetClear:
        if (!r.moreVisitorsPerVersion)
            t.sentence = QStringLiteral("Not yet clear: keep the test running; both versions sell at %1 so "
                                        "far, so no difference is seen yet")
                             .arg(t.rateA);
        else
            t.sentence = QStringLiteral("Not yet clear: keep the test running; %1 %2 more visitors per "
                                        "version are needed to see a difference of this size")
                             .arg(*r.moreVisitorsPerVersion >= kAbMaxCount ? QStringLiteral("over")
                                                                           : QStringLiteral("about"),
                                  grouped(*r.moreVisitorsPerVersion));
        break;
    }
    return t;
}

QString AbReportText(const AbCounts &c, const AbResult &r)
{
    const AbTexts t = DescribeAb(r);
    return QStringLiteral("A: %1 (%2 orders of %3 visitors)\n"
                          "B: %4 (%5 orders of %6 visitors)\n"
                          "Lift: %7\n"
                          "p-value: %8 (two-sided, z = %9)\n")
               .arg(t.rateA, grouped(c.ordersA), grouped(c.visitsA), t.rateB, grouped(c.ordersB),
                    grouped(c.visitsB), t.lift, t.pValue, QString::number(r.z, 'f', 2)) +
           t.sentence + QLatin1Char('\n');
}

QJsonObject AbReportJson(const AbCounts &c, const AbResult &r)
{
    const auto orNull = [](const auto &value) { return value ? QJsonValue(double(*value)) : QJsonValue(); };
    static const char *const kVerdicts[] = {"A", "B", "unclear"};
    return QJsonObject{{"visits_a", c.visitsA},
                       {"orders_a", c.ordersA},
                       {"visits_b", c.visitsB},
                       {"orders_b", c.ordersB},
                       {"rate_a", r.rateA},
                       {"rate_b", r.rateB},
                       {"lift", orNull(r.lift)},
                       {"lift_low", orNull(r.liftLow)},
                       {"lift_high", orNull(r.liftHigh)},
                       {"z", r.z},
                       {"p_value", r.pValue},
                       {"verdict", kVerdicts[int(r.verdict)]},
                       {"more_visitors_per_version", orNull(r.moreVisitorsPerVersion)},
                       {"sentence", DescribeAb(r).sentence}};
}

} // namespace wizard
