#pragma once

#include "line_details_text.h"
#include "line_store.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

enum class SaveFormat {
    // One line a row, UTF-8: each line as it reads on screen (decodeLine), so bytes that are
    // not UTF-8 are saved as the characters shown for them.
    PlainText,
    // Arrival time (ISO 8601, milliseconds, offset from UTC), tab, sender address:port, tab,
    // line. Lines never hold a tab or a line break, so no field needs quoting.
    TabSeparated,
};

// Appends rows of a saved file, each ending in a line feed.
class SavedRows
{
public:
    explicit SavedRows(SaveFormat format) : m_format(format) {}
    void append(QByteArray &out, std::string_view line, const LineDetails &details);

private:
    SaveFormat m_format;
    IsoArrivalTime m_time;
};

// Appends a line's text as shown, in UTF-8.
void appendShownUtf8(QByteArray &out, std::string_view line);

struct SaveJob {
    QString fileName;
    SaveFormat format = SaveFormat::PlainText;
    // A snapshot of the list: lines [0, count) of lines (null while the list is empty).
    std::shared_ptr<const LineGeneration> lines;
    std::size_t count = 0;
    // The rows to save, in this order (the selection); none: every line of the snapshot.
    // Rows beyond the snapshot are passed over.
    std::optional<std::vector<std::uint32_t>> rows;
};

struct SaveResult {
    enum class Status { Saved, Cancelled, Failed };
    Status status = Status::Saved;
    std::size_t linesSaved = 0;
    // When it failed: the file's name and the system's reason, for an error box.
    QString error;
};

// Called on the saving thread after each chunk of rows; false cancels the save.
using SaveProgress = std::function<bool(std::size_t linesDone, std::size_t linesTotal)>;

// Writes the rows to a temporary file beside fileName and renames it to fileName only when
// all went well, so the name never holds half a file: after a failure or a cancel, whatever
// was there before is still there. Reads the snapshot without ListLock; may run on any
// thread.
SaveResult saveLines(const SaveJob &job, const SaveProgress &progress = {});
