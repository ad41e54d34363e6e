#pragma once

#include "line_store.h"

#include <QAbstractListModel>

#include <memory>

// The list view's model over the line store. It changes only in apply(), on the GUI thread,
// from a snapshot taken under ListLock; reading lines needs no lock.
class LineModel : public QAbstractListModel
{
    Q_OBJECT

public:
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;

    // Takes over a snapshot: a reset after a clear, inserted rows after appends. True when
    // rows were added (the newest line is then to be selected).
    bool apply(const LineStore::Snapshot &snapshot);

    QString lineText(int row) const;
    LineDetails lineDetails(int row) const;

private:
    QVariant lineData(int row, int role) const;

    std::shared_ptr<const LineGeneration> m_lines;
    int m_rows = 0;
    std::uint64_t m_clears = 0;
};
