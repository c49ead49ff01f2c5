#include "app/SingleInstance.h"
#include "TestSupport.h"
#include "app/TerminationSignals.h"

#include <QFileInfo>

#include <QDialog>
#include <QProcess>
#include <QTest>
#include <QTimer>
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

    // Started from a Wayland launcher: its activation token reaches the running copy.
    QProcess third;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_ACTIVATION_TOKEN", "launcher-token-42");
    third.setProcessEnvironment(environment);
    third.start(PROBE_PATH, {name});
    ASSERT_TRUE(third.waitForFinished(10000));
    EXPECT_TRUE(WaitForLine(first, "activated token=launcher-token-42", firstOutput)) << firstOutput.constData();

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

TEST(SingleInstance, AnotherUsersListenerIsNeitherObeyedNorAnswered)
{
    const QString name = UniqueName();
    // A listener that answers nobody of this user: the next start runs normally.
    QProcess squatter;
    squatter.start(PROBE_PATH, {name, "stranger"});
    QByteArray squatterOutput;
    ASSERT_TRUE(WaitForLine(squatter, "listening", squatterOutput));
    QProcess next;
    next.start(PROBE_PATH, {name});
    QByteArray nextOutput;
    EXPECT_TRUE(WaitForLine(next, "listening", nextOutput));
    EXPECT_FALSE(nextOutput.contains("handed-over"));

    // And a process of another user that reaches the running copy is not obeyed by it.
    QProcess stranger;
    stranger.start(PROBE_PATH, {name, "stranger"});
    QByteArray strangerOutput;
    EXPECT_TRUE(WaitForLine(stranger, "listening", strangerOutput)); // it got no answer
    QTest::qWait(200);
    nextOutput += next.readAllStandardOutput();
    EXPECT_FALSE(nextOutput.contains("activated"));
    for (QProcess* process : {&squatter, &next, &stranger}) {
        process->kill();
        process->waitForFinished();
    }
}

TEST(SingleInstance, TheSocketLivesInAFolderOnlyThisUserCanEnter)
{
    const QString folder = SingleInstance::PrivateFolder();
    ASSERT_FALSE(folder.isEmpty());
    QFileInfo info(folder);
    EXPECT_TRUE(info.isDir());
    EXPECT_EQ(info.permissions() & (QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther |
                                    QFile::WriteOther | QFile::ExeOther),
              QFileDevice::Permissions());
    SingleInstance instance;
    EXPECT_TRUE(instance.Path().startsWith(folder + "/Vizmora-"));

    // A runtime folder that others can enter is not used.
    QTemporaryDir open;
    QFile::setPermissions(open.path(),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther);
    const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", open.path().toLocal8Bit());
    const QString fallback = SingleInstance::PrivateFolder();
    qputenv("XDG_RUNTIME_DIR", saved);
    EXPECT_NE(fallback, open.path());
    EXPECT_FALSE(fallback.isEmpty());
}

TEST(SingleInstance, APlainFileInThePlaceOfTheSocketIsReplaced)
{
    const QString name = UniqueName();
    SingleInstance probe(name);
    WriteFile(probe.Path(), "left over");
    QProcess first;
    first.start(PROBE_PATH, {name});
    QByteArray output;
    EXPECT_TRUE(WaitForLine(first, "listening", output));
    QProcess second;
    second.start(PROBE_PATH, {name});
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_TRUE(second.readAllStandardOutput().contains("handed-over")); // guarded again
    first.kill();
    first.waitForFinished();
}

TEST(Termination, SigtermEndsTheProgramAsClosingTheWindowDoes)
{
    QTemporaryDir home, runtime;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("HOME", home.path());
    environment.insert("XDG_RUNTIME_DIR", runtime.path());
    environment.insert("DISPLAY", ":77");
    environment.remove("WAYLAND_DISPLAY");
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("QRV_NO_SOUND", "1");
    QProcess program;
    program.setProcessEnvironment(environment);
    program.start(PROGRAM_PATH, {"--simulate"});
    const QString socket = runtime.path() + "/Vizmora-_77";
    ASSERT_TRUE(WaitUntil([&] { return QFileInfo::exists(socket); }, 10000));
    program.terminate(); // SIGTERM, as at log-out
    ASSERT_TRUE(program.waitForFinished(10000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
    EXPECT_FALSE(QFileInfo::exists(socket)); // nothing left behind for the next start
}

TEST(Termination, AnOpenDialogDoesNotKeepTheProgramAlive)
{
    QDialog window;
    QDialog box(&window);
    box.setModal(true);
    bool boxEnded = false;
    QTimer::singleShot(0, &window, [&] {
        QTimer::singleShot(50, &box, [&] { CloseForTermination(window); });
        box.exec(); // a dialog open over the window when the signal comes
        boxEnded = true;
    });
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, &window, [&] {
        box.done(0); // the test ends either way
        window.done(42);
    });
    guard.start(5000);
    const int result = window.exec();
    EXPECT_TRUE(boxEnded);
    EXPECT_NE(result, 42); // ended by the termination, not by the guard
}
