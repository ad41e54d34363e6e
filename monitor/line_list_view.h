#pragma once

#include <QListView>

// The list of received lines: a QListView whose rows all have the height of the first one,
// laid out by arithmetic instead of QListView's own layout. QListView lays out every row
// again on each insert (about 45 ms at a million rows here), which would make the cost of
// showing a few new lines grow with the list. Here an insert, a scroll and a paint cost the
// same at any length. Rows are never hidden.
class LineListView : public QListView
{
    Q_OBJECT

public:
    explicit LineListView(QWidget *parent = nullptr);

    QRect visualRect(const QModelIndex &index) const override;
    void scrollTo(const QModelIndex &index, ScrollHint hint = EnsureVisible) override;
    QModelIndex indexAt(const QPoint &point) const override;
    void doItemsLayout() override;
    void reset() override;
    // Off: Qt's search for typed letters reads every row through the model, which froze the
    // window for seconds at a million long lines.
    void keyboardSearch(const QString &search) override;

protected:
    void scrollContentsBy(int dx, int dy) override;
    void dataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight,
                     const QList<int> &roles = QList<int>()) override;
    void rowsInserted(const QModelIndex &parent, int start, int end) override;
    void rowsAboutToBeRemoved(const QModelIndex &parent, int start, int end) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool viewportEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    int horizontalOffset() const override;
    int verticalOffset() const override;
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
    void setSelection(const QRect &rect, QItemSelectionModel::SelectionFlags command) override;
    QRegion visualRegionForSelection(const QItemSelection &selection) const override;
    void updateGeometries() override;
    bool isIndexHidden(const QModelIndex &index) const override;
    void selectionChanged(const QItemSelection &selected,
                          const QItemSelection &deselected) override;
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;
    QSize viewportSizeHint() const override;

private:
    int rows() const;
    // The height every row has (the first row's size hint), at least 1.
    int rowHeight() const;
    qint64 topPixel() const;
    int fullRowsShown() const;
    // The row under viewport height y, clamped to the rows there are; -1 without rows.
    int rowAt(int y) const;
    QModelIndex rowIndex(int row) const;
    int contentWidth() const;
    void paintRows(QPaintEvent *event);
    void forgetSizes();

    mutable int m_rowHeight = 0;
    // The widest row painted so far sets the horizontal scroll range. Rows are measured once:
    // [m_measuredFirst, m_measuredLast] have been.
    int m_widest = 0;
    int m_measuredFirst = 0;
    int m_measuredLast = -1;
    bool m_geometryQueued = false;
    int m_hoverRow = -1;
};
