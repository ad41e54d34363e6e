// The program as it is started: the real executable, run with a plugin that acts as its user
// (entry_probe/) and reports what it saw. Its exit code, and the caption of its standard error
// display, which comes from the program file's name.
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

#include <gtest/gtest.h>

#include <cerrno>
#include <ostream>

// Failures show texts readably.
static void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace
{

struct ProgramRun {
    bool finished = false;
    QProcess::ExitStatus status = QProcess::CrashExit;
    int exitCode = -1;
    QStringList seen;
    QString errors;
};

ProgramRun runProgram(const QString &scenario)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("QT_PLUGIN_PATH"), QStringLiteral(ENTRY_PROBE_PLUGIN_DIR));
    environment.insert(QStringLiteral("QT_QPA_GENERIC_PLUGINS"),
                       QStringLiteral("vestrelprobe:") + scenario);
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(VESTREL_PROGRAM), {});
    ProgramRun run;
    run.finished = process.waitForFinished(30000);
    if (!run.finished) {
        process.kill();
        process.waitForFinished();
    }
    run.status = process.exitStatus();
    run.exitCode = process.exitCode();
    run.seen = QString::fromUtf8(process.readAllStandardOutput())
                   .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    run.errors = QString::fromUtf8(process.readAllStandardError());
    return run;
}

TEST(Entry, EndsWithExitCodeZeroWhateverIsOpen)
{
    const QString window = QStringLiteral("window: Vestrel by Orlund");
    const QString closing = QStringLiteral("closing");
    const struct {
        const char *what;
        const char *scenario;
        QStringList seen;
    } rows[] = {
        {"the window closed", "close", {window, closing}},
        {"closed with a box of the receive thread open",
         "close-with-box",
         {window, QStringLiteral("box: Error: recvfrom() failed: %1").arg(EMSGSIZE), closing}},
        {"the standard error display is captioned after the program file",
         "exception",
         {window, QStringLiteral("box: vestrel: 'port' is not a valid integer value."), closing}},
    };
    for (const auto &row : rows) {
        const ProgramRun run = runProgram(QString::fromLatin1(row.scenario));
        const std::string context = std::string(row.what) +
                                    "\nsaw: " + run.seen.join(QStringLiteral(" | ")).toStdString() +
                                    "\nerrors: " + run.errors.toStdString();
        EXPECT_TRUE(run.finished) << context;
        EXPECT_EQ(run.status, QProcess::NormalExit) << context;
        EXPECT_EQ(run.exitCode, 0) << context;
        EXPECT_EQ(run.seen, row.seen) << context;
    }
}

} // namespace
