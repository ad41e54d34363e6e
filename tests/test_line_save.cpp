#include "line_format.h"
#include "line_save.h"
#include "line_text.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <iterator>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace
{

QByteArray contents(const QString &fileName)
{
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

void write(const QString &fileName, const QByteArray &data)
{
    QFile file(fileName);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(data);
}

QStringList entries(const QString &dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

// A list of lines as the receive thread makes them, from datagrams.
struct Lines {
    LineStore store;
    void receive(const std::string &datagram, const LineDetails &details = {})
    {
        DatagramLines cutter;
        for (const std::string_view line : cutter.cut(datagram.data(), datagram.size(), {}))
            store.append(line, details);
    }
    SaveJob job(const QString &fileName, SaveFormat format = SaveFormat::PlainText)
    {
        const LineStore::Snapshot snapshot = store.snapshot();
        SaveJob job;
        job.fileName = fileName;
        job.format = format;
        job.lines = snapshot.lines;
        job.count = snapshot.count;
        return job;
    }
};

class SaveLines : public ::testing::Test
{
protected:
    QTemporaryDir dir;
    QString path(const char *name) const { return dir.filePath(QString::fromLatin1(name)); }
};

TEST_F(SaveLines, PlainTextHoldsEachLineAsShown)
{
    const std::vector<std::string> datagrams = {
        "plain ASCII <b>",
        "UTF-8 caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80",
        "\x93quoted\x94 \xe9t\xe9",
        "\xef\xbb\xbf"
        "a byte order mark stays",
        "",
        "tab\tand the rest",
        "crlf\r\n",
        "cut short \xf0\x9f\x98",
        std::string(1601, '\xe9'),
    };
    Lines lines;
    for (const std::string &datagram : datagrams)
        lines.receive(datagram);
    ASSERT_EQ(saveLines(lines.job(path("lines.txt"))).status, SaveResult::Status::Saved);

    const QByteArray saved = contents(path("lines.txt"));
    const QList<QByteArray> rows = saved.split('\n');
    ASSERT_EQ(rows.size(), qsizetype(datagrams.size()) + 1) << saved.toStdString();
    EXPECT_TRUE(rows.back().isEmpty()) << "the last row ends in a line feed";
    const LineStore::Snapshot snapshot = lines.store.snapshot();
    for (std::size_t i = 0; i < datagrams.size(); ++i) {
        const QString shown = decodeLine(snapshot.lines->text(i));
        EXPECT_EQ(rows[qsizetype(i)], shown.toUtf8()) << "row " << i;
    }
    EXPECT_EQ(rows[2], "\xe2\x80\x9cquoted\xe2\x80\x9d \xc3\xa9t\xc3\xa9");
    EXPECT_EQ(rows[3], "\xef\xbb\xbf"
                       "a byte order mark stays");
    EXPECT_EQ(rows[5], "tab");
    EXPECT_EQ(rows[8].size(), 1600 * 2);
}

// Bytes that are UTF-8 are saved as they are, all others as the characters shown for them.
TEST(AppendShownUtf8, SavesWhatTheListShows)
{
    const struct {
        const char *what;
        std::string bytes;
        QByteArray saved;
    } rows[] = {
        {"ASCII", "plain", "plain"},
        {"UTF-8 up to the last plane", "\xc3\xa9\xef\xbf\xbe\xf4\x8f\xbf\xbf",
         "\xc3\xa9\xef\xbf\xbe\xf4\x8f\xbf\xbf"},
        {"beyond the last code point", "\xf4\x90\x80\x80",
         "\xc3\xb4\xc2\x90\xe2\x82\xac\xe2\x82\xac"},
        {"an overlong slash", "\xc0\xaf", "\xc3\x80\xc2\xaf"},
        {"a surrogate", "\xed\xa0\x80", "\xc3\xad\xc2\xa0\xe2\x82\xac"},
        {"a character cut short", "a\xe2\x82", "a\xc3\xa2\xe2\x80\x9a"},
    };
    for (const auto &row : rows) {
        QByteArray saved;
        appendShownUtf8(saved, row.bytes);
        EXPECT_EQ(saved, row.saved) << row.what;
        EXPECT_EQ(saved, decodeLine(row.bytes).toUtf8()) << row.what;
    }
}

TEST_F(SaveLines, TabSeparatedRowsGiveTimeSenderAndLine)
{
    const struct {
        LineDetails details;
        std::string datagram;
        const char *sender;
        const char *line;
    } rows[] = {
        {{1714564987123, 0xC0A80114, 5000}, "first", "192.168.1.20:5000", "first"},
        {{1714564987999, 0x7F000001, 65535}, "a\tb", "127.0.0.1:65535", "a"},
        {{1714564988000, 0, 0}, "\xe9t\xe9", "0.0.0.0:0", "\xc3\xa9t\xc3\xa9"},
        {{1714564988001, 0xFFFFFFFF, 1}, "", "255.255.255.255:1", ""},
    };
    Lines lines;
    for (const auto &row : rows)
        lines.receive(row.datagram, row.details);
    ASSERT_EQ(saveLines(lines.job(path("lines.tsv"), SaveFormat::TabSeparated)).status,
              SaveResult::Status::Saved);

    const QList<QByteArray> saved = contents(path("lines.tsv")).split('\n');
    ASSERT_EQ(saved.size(), qsizetype(std::size(rows)) + 1);
    const QRegularExpression iso(
        QStringLiteral(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d\d\d[+-]\d\d:\d\d$)"));
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        const QList<QByteArray> fields = saved[qsizetype(i)].split('\t');
        ASSERT_EQ(fields.size(), 3) << saved[qsizetype(i)].toStdString();
        const QString time = QString::fromLatin1(fields[0]);
        EXPECT_TRUE(iso.match(time).hasMatch()) << time.toStdString();
        EXPECT_EQ(QDateTime::fromString(time, Qt::ISODateWithMs).toMSecsSinceEpoch(),
                  rows[i].details.arrivalMs)
            << time.toStdString();
        EXPECT_EQ(fields[1], rows[i].sender);
        EXPECT_EQ(fields[2], rows[i].line);
    }
}

// The local time zone for a scope, by the TZ variable that the C library reads.
class TimeZone
{
public:
    explicit TimeZone(const char *zone)
        : m_old(qgetenv("TZ")), m_had(qEnvironmentVariableIsSet("TZ"))
    {
        qputenv("TZ", zone);
        tzset();
    }
    ~TimeZone()
    {
        if (m_had)
            qputenv("TZ", m_old);
        else
            qunsetenv("TZ");
        tzset();
    }

private:
    QByteArray m_old;
    bool m_had;
};

TEST(IsoArrivalTime, GivesLocalTimeWithTheOffsetInForce)
{
    const struct {
        const char *zone;
        std::vector<std::pair<std::int64_t, const char *>> times; // in turn, by one formatter
    } rows[] = {
        {"UTC0",
         {{0, "1970-01-01T00:00:00.000+00:00"},
          {-1, "1969-12-31T23:59:59.999+00:00"},
          {1714564987123, "2024-05-01T12:03:07.123+00:00"},
          {1714564987999, "2024-05-01T12:03:07.999+00:00"},
          {1714564988000, "2024-05-01T12:03:08.000+00:00"}}},
        {"<+0530>-5:30", {{1714564987123, "2024-05-01T17:33:07.123+05:30"}}},
        {"<-03>3", {{1714564987123, "2024-05-01T09:03:07.123-03:00"}}},
        {"CET-1CEST,M3.5.0,M10.5.0/3",
         {{1711846799999, "2024-03-31T01:59:59.999+01:00"},
          {1711846800000, "2024-03-31T03:00:00.000+02:00"},
          {1729990799999, "2024-10-27T02:59:59.999+02:00"},
          {1729990800000, "2024-10-27T02:00:00.000+01:00"}}},
    };
    for (const auto &row : rows) {
        const TimeZone zone(row.zone);
        IsoArrivalTime time;
        for (const auto &[ms, text] : row.times)
            EXPECT_EQ(time.text(ms), QLatin1String(text)) << row.zone << " " << ms;
    }
    {
        const TimeZone zone("UTC0");
        EXPECT_EQ(arrivalClockText(1714564987123), QStringLiteral("12:03:07.123"));
    }
}

TEST_F(SaveLines, SavesTheChosenRowsInTheirOrder)
{
    Lines lines;
    for (const char *line : {"zero", "one", "two", "three"})
        lines.receive(line);
    SaveJob job = lines.job(path("some.txt"));
    job.rows = {3, 1, 99};
    const SaveResult result = saveLines(job);
    EXPECT_EQ(result.status, SaveResult::Status::Saved);
    EXPECT_EQ(result.linesSaved, 2u);
    EXPECT_EQ(contents(path("some.txt")), "three\none\n");

    // The empty list saves an empty file.
    SaveJob none;
    none.fileName = path("none.txt");
    EXPECT_EQ(saveLines(none).status, SaveResult::Status::Saved);
    EXPECT_EQ(contents(path("none.txt")), "");
}

TEST_F(SaveLines, AFailureNamesTheFileAndLeavesNothingThere)
{
    Lines lines;
    lines.receive("a line");
    const QString readOnly = path("read-only");
    ASSERT_TRUE(QDir().mkpath(readOnly));
    QFile::setPermissions(readOnly, QFile::ReadOwner | QFile::ExeOwner);
    const QString subdirectory = path("a directory");
    ASSERT_TRUE(QDir().mkpath(subdirectory));

    struct Row {
        const char *what;
        QString fileName;
    };
    std::vector<Row> rows = {
        {"a directory that does not exist", path("missing/lines.txt")},
        {"a directory of the kernel's", QStringLiteral("/proc/self/lines.txt")},
        {"the name of a directory", subdirectory},
    };
    // Root writes into a read-only directory all the same.
    if (geteuid() != 0)
        rows.push_back({"a read-only directory", readOnly + QStringLiteral("/lines.txt")});

    const QStringList before = entries(dir.path());
    for (const Row &row : rows) {
        const SaveResult result = saveLines(lines.job(row.fileName));
        EXPECT_EQ(result.status, SaveResult::Status::Failed) << row.what;
        const QString prefix = QStringLiteral("Could not save \"%1\": ").arg(row.fileName);
        EXPECT_TRUE(result.error.startsWith(prefix) && result.error.size() > prefix.size())
            << row.what << ": " << result.error.toStdString();
        EXPECT_EQ(QFileInfo(row.fileName).isFile(), false) << row.what;
    }
    EXPECT_EQ(entries(dir.path()), before);
    EXPECT_TRUE(entries(subdirectory).isEmpty());
    EXPECT_TRUE(entries(readOnly).isEmpty());
    QFile::setPermissions(readOnly, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

// The file size limit makes writes fail part way, as a full disk does, also for root.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
};

TEST_F(SaveLines, AWriteThatFailsPartWayKeepsTheFileThatWasThere)
{
    Lines lines;
    for (int i = 0; i < 20000; ++i)
        lines.receive("a line of some length, enough to fill more than the allowed size");
    write(path("kept.txt"), "what was there\n");
    SaveResult result;
    {
        const FileSizeLimit limit(300 * 1024);
        result = saveLines(lines.job(path("kept.txt")));
    }
    EXPECT_EQ(result.status, SaveResult::Status::Failed);
    EXPECT_TRUE(
        result.error.startsWith(QStringLiteral("Could not save \"%1\": ").arg(path("kept.txt"))))
        << result.error.toStdString();
    EXPECT_EQ(contents(path("kept.txt")), "what was there\n");
    EXPECT_EQ(entries(dir.path()), QStringList{QStringLiteral("kept.txt")});
}

TEST_F(SaveLines, ReportsProgressAndCancels)
{
    Lines lines;
    for (int i = 0; i < 20000; ++i)
        lines.receive("a line of some length, so that the file takes a few chunks");
    const std::size_t total = 20000;

    std::vector<std::size_t> done;
    const SaveResult saved =
        saveLines(lines.job(path("all.txt")), [&](std::size_t d, std::size_t t) {
            EXPECT_EQ(t, total);
            done.push_back(d);
            return true;
        });
    EXPECT_EQ(saved.status, SaveResult::Status::Saved);
    EXPECT_EQ(saved.linesSaved, total);
    ASSERT_GT(done.size(), 1u);
    EXPECT_TRUE(std::is_sorted(done.begin(), done.end()));
    EXPECT_EQ(done.back(), total);

    write(path("kept.txt"), "what was there\n");
    int calls = 0;
    const SaveResult cancelled = saveLines(lines.job(path("kept.txt")),
                                           [&](std::size_t, std::size_t) { return ++calls < 2; });
    EXPECT_EQ(cancelled.status, SaveResult::Status::Cancelled);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(contents(path("kept.txt")), "what was there\n");
    EXPECT_EQ(entries(dir.path()),
              (QStringList{QStringLiteral("all.txt"), QStringLiteral("kept.txt")}));
}

} // namespace
