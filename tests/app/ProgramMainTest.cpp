// ProgramMain in child processes: the exit code, the last-resort report and what is on screen.

#include <QProcess>
#include <QRegularExpression>
#include <QStringList>

#include <gtest/gtest.h>

namespace {

struct ChildRun {
    int exitCode = -1;
    QStringList lines;
    QString Boxes() const { return lines.filter(QStringLiteral("BOX ")).join('\n'); }
};

ChildRun RunProbe(const char* program, const QString& scenario) {
    QProcess process;
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.start(QString::fromLocal8Bit(program), {scenario});
    ChildRun run;
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        ADD_FAILURE() << "the child did not end: " << program << " " << scenario.toStdString();
        return run;
    }
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit)
        << process.readAllStandardError().toStdString();
    run.exitCode = process.exitCode();
    run.lines = QString::fromUtf8(process.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    return run;
}

const QString kAddress = QStringLiteral("[0-9A-F]{16}");

TEST(ProgramMain, NormalCloseEndsWithZero) {
    const ChildRun run = RunProbe(TAVOLIX_PROBE, QStringLiteral("program"));
    EXPECT_EQ(run.exitCode, 0) << run.lines.join('\n').toStdString();
    EXPECT_TRUE(run.lines.contains(QStringLiteral("SHOWN Tavolix V1.0")))
        << run.lines.join('\n').toStdString();
    EXPECT_TRUE(run.Boxes().indexOf(QStringLiteral("Application Error")) < 0)
        << run.Boxes().toStdString();
}

TEST(ProgramMain, MissingClientLibraryEndsWithOneBeforeAnyWindow) {
    const ChildRun run = RunProbe(TAVOLIX_PROBE_NOLIB, QStringLiteral("program"));
    EXPECT_EQ(run.exitCode, 1);
    const QStringList boxes = run.lines.filter(QStringLiteral("BOX "));
    ASSERT_EQ(boxes.size(), 1) << run.lines.join('\n').toStdString();
    const QRegularExpression expected(
        QStringLiteral("^BOX caption=\\[Application Error\\] text=\\[Exception EIBClientError in "
                       "module tavolix_probe_nolib at %1\\.\\\\nInterBase library gds32\\.dll not "
                       "found in the path\\. Please install InterBase to use this "
                       "functionality\\.\\\\n\\] icon=3 buttons=\\[OK\\] modal=1 windows=0$")
            .arg(kAddress));
    EXPECT_TRUE(expected.match(boxes[0]).hasMatch()) << boxes[0].toStdString();
    EXPECT_TRUE(run.lines.filter(QStringLiteral("SHOWN")).isEmpty());
}

TEST(ProgramMain, FailedCreationReportsTheClassAndClearsTheReference) {
    const ChildRun run = RunProbe(TAVOLIX_PROBE, QStringLiteral("create-fails"));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.lines.contains(QStringLiteral("REF null")));
    const QRegularExpression expected(
        QStringLiteral("^BOX caption=\\[Application Error\\] text=\\[Exception EDatabaseError in "
                       "module tavolix_probe at %1\\.\\\\nmodule refused\\.\\\\n\\] icon=3")
            .arg(kAddress));
    EXPECT_TRUE(expected.match(run.Boxes()).hasMatch()) << run.Boxes().toStdString();
}

TEST(ProgramMain, CreateHandlerFailureIsShownAloneThenTheWindowRunsAndEndsWithZero) {
    const ChildRun run = RunProbe(TAVOLIX_PROBE, QStringLiteral("create-handler"));
    EXPECT_EQ(run.exitCode, 0);
    ASSERT_GE(run.lines.size(), 3) << run.lines.join('\n').toStdString();
    EXPECT_EQ(run.lines[0],
              QStringLiteral("BOX caption=[tavolix_probe] text=[Cannot open file \"database.txt\". "
                             "No such file or directory.] icon=3 buttons=[OK] modal=1 windows=0"));
    EXPECT_EQ(run.lines[1], QStringLiteral("SHOWN Failing create"));
    EXPECT_EQ(run.lines[2], QStringLiteral("EXIT 0"));
}

} // namespace
