#pragma once
#include "SanitizerBuild.h"

#include <QString>
#include <QTest>

#include <algorithm>
#include <vector>

// What reached the control after each XOFF, against the bound a machine allows. The median
// must keep it; every pause must keep a few times it, since a loaded test machine may wake
// the line's reader late once in a while (the benchmark holds the maximum to the bound).
inline void checkAfterXoff(std::vector<qint64> after, qint64 bound)
{
    QVERIFY(!after.empty());
    std::sort(after.begin(), after.end());
    const QString seen = QStringLiteral("after XOFF: median %1, max %2 characters")
                             .arg(after[after.size() / 2])
                             .arg(after.back());
    QVERIFY2(after[after.size() / 2] <= bound * SanitizerSlack, qPrintable(seen));
    QVERIFY2(after.back() <= 4 * bound * SanitizerSlack, qPrintable(seen));
}
