// The A/B test figures against worked examples of the pooled two-proportion z-test.
#include "wizard/AbTest.h"

#include <QJsonDocument>
#include <gtest/gtest.h>

using namespace wizard;

TEST(AbTest, PublishedExamplesGiveTheirPValueAndInterval)
{
    struct Case {
        const char *source;
        AbCounts counts;
        double bookZ; // as the text prints it; it rounds its steps, hence the 0.01 margin
        const char *pValue;
        AbVerdict verdict;
    } cases[] = {
        // Montgomery & Runger, Applied Statistics and Probability for Engineers: St. John's
        // Wort, 19 of 100 improved on placebo, 27 of 100 on the extract; pooled 0.23, z0 = 1.34.
        {"St. John's Wort", {100, 19, 100, 27}, 1.34, "0.179", AbVerdict::NotYetClear},
        // OpenIntro Statistics (Diez, Cetinkaya-Rundel, Barr): mammogram trial, 505 of 44,910
        // controls and 500 of 44,925 screened died of breast cancer; pooled 0.0112, Z = -0.17.
        {"mammograms", {44910, 505, 44925, 500}, -0.17, "0.870", AbVerdict::NotYetClear},
        // Agresti, An Introduction to Categorical Data Analysis: Physicians' Health Study,
        // 104 heart attacks of 11,037 on aspirin, 189 of 11,034 on placebo (X^2 = 25.0).
        {"aspirin", {11037, 104, 11034, 189}, 5.00, "5.69e-07", AbVerdict::BSellsMore},
    };
    for (const Case &c : cases) {
        const AbResult r = CompareAb(c.counts);
        EXPECT_NEAR(r.z, c.bookZ, 0.01) << c.source;
        EXPECT_EQ(DescribeAb(r).pValue, c.pValue) << c.source;
        EXPECT_EQ(r.verdict, c.verdict) << c.source;
    }
    // Agresti's relative risk of the aspirin data, 1.82 with the 95% log interval 1.43 to 2.31.
    const AbResult aspirin = CompareAb({11037, 104, 11034, 189});
    EXPECT_NEAR(*aspirin.lift, 0.82, 0.005);
    EXPECT_NEAR(*aspirin.liftLow, 0.43, 0.005);
    EXPECT_NEAR(*aspirin.liftHigh, 1.31, 0.005);
}

TEST(AbTest, SentencesNameTheWinnerOrTheVisitorsStillNeeded)
{
    const struct {
        AbCounts counts;
        const char *sentence;
    } cases[] = {
        {{2000, 60, 2000, 90},
         "B sells more: 4.5% against 3.0%, and a difference this large would come "
         "by chance about 1 time in 80"},
        {{2400, 108, 2400, 72},
         "A sells more: 4.5% against 3.0%, and a difference this large would come "
         "by chance about 1 time in 160"},
        {{2000, 104, 2000, 60}, // p = 0.00045
         "A sells more: 5.2% against 3.0%, and a difference this large would come "
         "by chance less than 1 time in 1,000"},
        // 80% power at 3.0% against 4.5% needs 2,518 visitors per version; A has only 1,000.
        {{1000, 30, 1200, 54},
         "Not yet clear: keep the test running; about 1,518 more visitors per version are needed to see a "
         "difference of this size"},
        // Far too close to tell apart within any count the window takes.
        {{1000000, 100000, 1000000, 100001},
         "Not yet clear: keep the test running; over 1,000,000,000,000 more visitors per version are needed "
         "to see a difference of this size"},
        {{200, 6, 300, 9},
         "Not yet clear: keep the test running; both versions sell at 3.0% so far, so no difference is seen "
         "yet"},
        // Rates closer than a tenth of a point still read apart.
        {{2000000, 60000, 2000000, 60800},
         "B sells more: 3.04% against 3.00%, and a difference this large would come by chance about 1 time "
         "in 51"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(DescribeAb(CompareAb(c.counts)).sentence, c.sentence);
    EXPECT_EQ(DescribeAb(CompareAb({2000, 104, 2000, 60})).pValue, "0.000451"); // fixed down to 1e-4
}

TEST(AbTest, EdgeCountsGiveNumbersNotNaN)
{
    for (const AbCounts counts :
         {AbCounts{50, 0, 70, 0}, AbCounts{50, 50, 70, 70}, AbCounts{50, 0, 70, 7}, AbCounts{50, 5, 70, 0}}) {
        const QByteArray json = QJsonDocument(AbReportJson(counts, CompareAb(counts))).toJson();
        EXPECT_FALSE(json.contains("nan") || json.contains("inf")) << json.toStdString();
        EXPECT_FALSE(AbReportText(counts, CompareAb(counts)).contains("nan"));
    }
    EXPECT_EQ(CompareAb({50, 0, 70, 0}).pValue, 1);
    EXPECT_FALSE(CompareAb({50, 0, 70, 7}).lift);
    EXPECT_EQ(*CompareAb({50, 5, 70, 0}).lift, -1);
    EXPECT_FALSE(CompareAb({50, 5, 70, 0}).liftLow);
}

// The counts the command line and the window take, and each field of the reports in its place.
TEST(AbTest, CountsAreCheckedAndReportsKeepTheirFields)
{
    QString error;
    EXPECT_EQ(ParseAbCount("1000000000000", "VISITS_A", error), kAbMaxCount);
    EXPECT_EQ(ParseAbCount("00000000000000100", "VISITS_A", error), 100); // zeros are no size
    EXPECT_FALSE(ParseAbCount("", "VISITS_A", error));
    EXPECT_TRUE(error.contains("must be a whole number")) << error.toStdString();
    EXPECT_TRUE(AbCountsProblem({100, -1, 100, 5}).contains("cannot be negative"));
    EXPECT_TRUE(AbCountsProblem({10, 10, 10, 5}).isEmpty()) << "every visitor ordered";

    const AbCounts b{2000, 60, 2000, 90}, even{100, 10, 100, 10}, close{10000000, 300000, 10000000, 300040};
    EXPECT_EQ(AbReportJson(b, CompareAb(b))["verdict"].toString(), "B");
    EXPECT_EQ(AbReportText(b, CompareAb(b)),
              "A: 3.0% (60 orders of 2,000 visitors)\nB: 4.5% (90 orders of 2,000 visitors)\n"
              "Lift: +50.0% (95% interval +8.8% to +106.7%)\np-value: 0.0125 (two-sided, z = 2.50)\n"
              "B sells more: 4.5% against 3.0%, and a difference this large would come by chance about 1 "
              "time in 80\n");
    EXPECT_TRUE(AbReportText(even, CompareAb(even)).contains("Lift: +0.0% ("));
    // As many decimals as it takes to tell the rates apart.
    EXPECT_TRUE(AbReportText(close, CompareAb(close))
                    .startsWith("A: 3.0000% (300,000 orders of 10,000,000 "
                                "visitors)\nB: 3.0004% ("));
}
