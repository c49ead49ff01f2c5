#include "TestSupport.h"

#include <QProcess>
#include <QUuid>

#include <gtest/gtest.h>

namespace {
QString UniqueName()
{
    return "Vizmora-test-" + QUuid::createUuid().toString(QUuid::Id128);
}

bool WaitForLine(QProcess& process, const QByteArray& line, QByteArray& seen)
{
    return WaitUntil([&] {
        process.waitForReadyRead(10);
        seen += process.readAllStandardOutput();
        return seen.contains(line);
    });
}
} // namespace

TEST(SingleInstance, ASecondCopyBringsTheFirstToTheFrontAndEnds)
{
    const QString name = UniqueName();
    QProcess first;
    first.start(PROBE_PATH, {name});
    QByteArray firstOutput;
    ASSERT_TRUE(WaitForLine(first, "listening", firstOutput));

    QProcess second;
    second.start(PROBE_PATH, {name});
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(second.readAllStandardOutput().contains("handed-over"));
    EXPECT_TRUE(WaitForLine(first, "activated", firstOutput));

    first.kill();
    first.waitForFinished();
}

TEST(SingleInstance, ASocketLeftByACrashedCopyDoesNotStopTheNextStart)
{
    const QString name = UniqueName();
    QProcess crashed;
    crashed.start(PROBE_PATH, {name});
    QByteArray output;
    ASSERT_TRUE(WaitForLine(crashed, "listening", output));
    crashed.kill(); // SIGKILL: the socket file stays behind
    crashed.waitForFinished();

    QProcess next;
    next.start(PROBE_PATH, {name});
    QByteArray nextOutput;
    EXPECT_TRUE(WaitForLine(next, "listening", nextOutput));
    next.kill();
    next.waitForFinished();
}
