// Figures for find and save over a million lines, run by hand:
//   build/tests/line_tests --gtest_also_run_disabled_tests --gtest_filter='LineMeasure*'
// They print times and check only that the work was done; the benchmark owns the goals.
#include "line_finder.h"
#include "line_save.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

namespace
{

constexpr std::size_t kLines = 1000000;

double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Log lines of one length: one in a thousand is a warning, one in ten has a degree sign.
std::unique_ptr<LineStore> logLines(std::size_t length)
{
    auto store = std::make_unique<LineStore>();
    std::string filler;
    while (filler.size() < length)
        filler += " lorem ipsum dolor sit amet, consectetur adipiscing elit";
    for (std::size_t i = 0; i < kLines; ++i) {
        std::string line = "2024-05-01 12:00:00.123 sensor-" + std::to_string(i % 97) +
                           (i % 1000 == 7 ? " WARNING overheat"
                            : i % 10 == 3 ? " 21.5 \xc2\xb0"
                                            "C"
                                          : " INFO temperature 21.5 C");
        line += filler;
        line.resize(length);
        LineDetails details{1714564987123 + std::int64_t(i / 200), 0xC0A80114, 5000};
        store->append(line, details);
    }
    return store;
}

class LineMeasure : public ::testing::TestWithParam<std::size_t>
{
};

TEST_P(LineMeasure, DISABLED_FindTheFullCount)
{
    const auto store = logLines(GetParam());
    const LineStore::Snapshot snapshot = store->snapshot();
    const struct {
        const char *what;
        QString text;
        Qt::CaseSensitivity sensitivity;
    } searches[] = {
        {"ASCII with case", QStringLiteral("overheat"), Qt::CaseSensitive},
        {"ASCII without case", QStringLiteral("OVERHEAT"), Qt::CaseInsensitive},
        {"ASCII absent", QStringLiteral("no such text"), Qt::CaseInsensitive},
        {"with a degree sign",
         QString::fromUtf8("\xc2\xb0"
                           "C"),
         Qt::CaseSensitive},
        {"a degree sign alone", QString::fromUtf8("\xc2\xb0"), Qt::CaseInsensitive},
    };
    for (const auto &search : searches) {
        LineFinder finder;
        finder.setText(search.text, search.sensitivity);
        finder.setLines(snapshot);
        auto start = std::chrono::steady_clock::now();
        ASSERT_TRUE(finder.step(kLines));
        const double whole = secondsSince(start);

        // As the window would: 8 ms of each 16 ms frame.
        LineFinder framed;
        framed.setText(search.text, search.sensitivity);
        framed.setLines(snapshot);
        int frames = 0;
        start = std::chrono::steady_clock::now();
        for (bool done = false; !done; ++frames)
            done =
                framed.stepUntil(std::chrono::steady_clock::now() + std::chrono::milliseconds(8));
        const double inFrames = secondsSince(start);
        EXPECT_EQ(framed.matches(), finder.matches());
        std::printf("find, %zu lines of %zu bytes, %-20s %8zu matches: %7.1f ms at once, "
                    "%7.1f ms in %d slices of 8 ms\n",
                    kLines, GetParam(), search.what, finder.matchCount(), whole * 1e3,
                    inFrames * 1e3, frames);
    }
}

TEST_P(LineMeasure, DISABLED_Save)
{
    const auto store = logLines(GetParam());
    const LineStore::Snapshot snapshot = store->snapshot();
    QTemporaryDir dir;
    for (const SaveFormat format : {SaveFormat::TabSeparated, SaveFormat::PlainText}) {
        SaveJob job;
        job.fileName = dir.filePath(QStringLiteral("lines"));
        job.format = format;
        job.lines = snapshot.lines;
        job.count = snapshot.count;
        const auto start = std::chrono::steady_clock::now();
        const SaveResult result = saveLines(job);
        const double seconds = secondsSince(start);
        ASSERT_EQ(result.status, SaveResult::Status::Saved) << result.error.toStdString();
        std::printf("save, %zu lines of %zu bytes, %-14s %6.0f MB: %7.1f ms\n", kLines, GetParam(),
                    format == SaveFormat::PlainText ? "plain text" : "tab-separated",
                    QFileInfo(job.fileName).size() / 1e6, seconds * 1e3);
    }
}

INSTANTIATE_TEST_SUITE_P(LineLengths, LineMeasure, ::testing::Values(64, 1400));

} // namespace
