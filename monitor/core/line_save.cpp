#include "line_save.h"

#include "line_text.h"

#include <QByteArrayView>
#include <QDir>
#include <QSaveFile>

namespace
{

// Rows are written a chunk at a time: a few system calls for a million lines, and a progress
// report and a chance to cancel a few hundred times a second.
constexpr qsizetype kChunkBytes = 256 * 1024;

bool isAscii(std::string_view bytes)
{
    unsigned char any = 0;
    for (const char c : bytes)
        any |= static_cast<unsigned char>(c);
    return !(any & 0x80);
}

} // namespace

void appendShownUtf8(QByteArray &out, std::string_view line)
{
    // Valid UTF-8 is shown as its characters, which are these bytes again.
    const QByteArrayView bytes(line.data(), static_cast<qsizetype>(line.size()));
    if (isAscii(line) || bytes.isValidUtf8())
        out.append(bytes);
    else
        out.append(decodeLine(line).toUtf8());
}

void SavedRows::append(QByteArray &out, std::string_view line, const LineDetails &details)
{
    if (m_format == SaveFormat::TabSeparated) {
        m_time.append(out, details.arrivalMs);
        out.append('\t');
        appendSender(out, details);
        out.append('\t');
    }
    appendShownUtf8(out, line);
    out.append('\n');
}

SaveResult saveLines(const SaveJob &job, const SaveProgress &progress)
{
    SaveResult result;
    QSaveFile file(job.fileName);
    // Never write straight into the file when no temporary file can be made beside it.
    file.setDirectWriteFallback(false);
    const auto failed = [&] {
        file.cancelWriting();
        result.status = SaveResult::Status::Failed;
        result.linesSaved = 0;
        result.error = QStringLiteral("Could not save \"%1\": %2")
                           .arg(QDir::toNativeSeparators(job.fileName), file.errorString());
        return result;
    };
    if (!file.open(QIODevice::WriteOnly))
        return failed();

    const std::size_t count = job.lines ? job.count : 0;
    const std::size_t total = job.rows ? job.rows->size() : count;
    SavedRows rows(job.format);
    QByteArray chunk;
    chunk.reserve(kChunkBytes + 8 * kLongestLine);
    for (std::size_t k = 0; k < total; ++k) {
        const std::size_t row = job.rows ? (*job.rows)[k] : k;
        if (row < count) {
            rows.append(chunk, job.lines->text(row), job.lines->details(row));
            ++result.linesSaved;
        }
        if (chunk.size() < kChunkBytes && k + 1 < total)
            continue;
        if (file.write(chunk) != chunk.size())
            return failed();
        chunk.resize(0); // keeps the buffer
        if (progress && !progress(k + 1, total)) {
            file.cancelWriting();
            result.status = SaveResult::Status::Cancelled;
            result.linesSaved = 0;
            return result;
        }
    }
    if (!file.commit())
        return failed();
    return result;
}
