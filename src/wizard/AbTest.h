#pragma once
// "Which version sells?": the figures of an A/B test of two versions of a sales page,
// from the visitors and orders of each. Shared by `quillmark abtest` and the wizard's
// calculator, so both always say the same.

#include <QJsonObject>
#include <QString>
#include <optional>

namespace wizard {

// Visitors and orders of the two versions, as the analytics service counts them.
struct AbCounts {
    qint64 visitsA = 0, ordersA = 0, visitsB = 0, ordersB = 0;
};

// Larger counts are refused: no page sees that many visitors, and far beyond it the
// sums would lose precision.
constexpr qint64 kAbMaxCount = 1'000'000'000'000;

// Reads one count as typed ("12000"). On failure returns nothing and puts one line in
// `error` naming `what` (the count's name, e.g. "VISITS_A").
std::optional<qint64> ParseAbCount(const QString &text, const QString &what, QString &error);

// Why the counts cannot be compared, as one line; empty when they can.
QString AbCountsProblem(const AbCounts &counts);

enum class AbVerdict { ASellsMore, BSellsMore, NotYetClear };

struct AbResult {
    double rateA = 0, rateB = 0;
    // (pB - pA) / pA with its 95% interval. No lift when A has no orders (nothing to
    // compare with), no interval when either version has none.
    std::optional<double> lift, liftLow, liftHigh;
    double z = 0;      // pooled two-proportion z statistic, B against A
    double pValue = 1; // two-sided
    AbVerdict verdict = AbVerdict::NotYetClear;
    // Not yet clear: the visitors each version still needs; none when the rates are equal.
    std::optional<qint64> moreVisitorsPerVersion;
};

// Compares the versions; `counts` must be usable (AbCountsProblem empty).
AbResult CompareAb(const AbCounts &counts);

// The figures as shown to the vendor: rates "4.5%", lift "+50.0% (95% interval +8.8% to
// +106.7%)", p-value to three significant digits, and the plain sentence.
struct AbTexts {
    QString rateA, rateB, lift, pValue, sentence;
};
AbTexts DescribeAb(const AbResult &result);

// The command's output: a line each, or one JSON object with stable keys.
QString AbReportText(const AbCounts &counts, const AbResult &result);
QJsonObject AbReportJson(const AbCounts &counts, const AbResult &result);

} // namespace wizard
