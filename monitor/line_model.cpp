#include "line_model.h"

#include "line_details_text.h"
#include "line_text.h"

#include <QDateTime>

#include <climits>
#include <new>

int LineModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

QVariant LineModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows)
        return {};
    try {
        return lineData(index.row(), role);
    } catch (const std::bad_alloc &) {
        return {}; // out of memory for the text: nothing shown until the next look
    }
}

QVariant LineModel::lineData(int row, int role) const
{
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        return lineText(row);
    case Qt::ToolTipRole: {
        const LineDetails d = lineDetails(row);
        const QString when = QDateTime::fromMSecsSinceEpoch(d.arrivalMs)
                                 .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
        return QStringLiteral("%1 from %2").arg(when, senderText(d));
    }
    default:
        return {};
    }
}

QString LineModel::lineText(int row) const
{
    if (row < 0 || row >= m_rows)
        return {};
    return decodeLine(m_lines->text(static_cast<std::size_t>(row)));
}

LineDetails LineModel::lineDetails(int row) const
{
    if (row < 0 || row >= m_rows)
        return {};
    return m_lines->details(static_cast<std::size_t>(row));
}

bool LineModel::apply(const LineStore::Snapshot &snapshot)
{
    const int rows = snapshot.count > INT_MAX ? INT_MAX : static_cast<int>(snapshot.count);
    if (snapshot.clears != m_clears || snapshot.lines != m_lines) {
        // A clear happened since the last look, perhaps followed by new lines: start over.
        beginResetModel();
        m_lines = snapshot.lines;
        m_rows = rows;
        m_clears = snapshot.clears;
        endResetModel();
        return rows > 0;
    }
    if (rows > m_rows) {
        beginInsertRows(QModelIndex(), m_rows, rows - 1);
        m_rows = rows;
        endInsertRows();
        return true;
    }
    return false;
}
