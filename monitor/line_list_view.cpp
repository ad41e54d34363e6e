#include "line_list_view.h"

#include "line_delegate.h"

#include <QAccessible>
#include <QHoverEvent>
#include <QPaintEvent>
#include <QScrollBar>
#include <QStylePainter>

#include <algorithm>
#include <climits>
#include <new>

LineListView::LineListView(QWidget *parent) : QListView(parent)
{
    setUniformItemSizes(true);
    setItemDelegate(new LineDelegate(this));
}

int LineListView::rows() const
{
    return model() ? model()->rowCount(rootIndex()) : 0;
}

QModelIndex LineListView::rowIndex(int row) const
{
    return model()->index(row, modelColumn(), rootIndex());
}

int LineListView::rowHeight() const
{
    if (m_rowHeight > 0)
        return m_rowHeight;
    if (rows() == 0 || !itemDelegate())
        return std::max(1, fontMetrics().height());
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    m_rowHeight = std::max(1, itemDelegate()->sizeHint(option, rowIndex(0)).height());
    return m_rowHeight;
}

qint64 LineListView::topPixel() const
{
    const qint64 value = verticalScrollBar()->value();
    return verticalScrollMode() == ScrollPerItem ? value * rowHeight() : value;
}

int LineListView::fullRowsShown() const
{
    return std::max(1, viewport()->height() / rowHeight());
}

int LineListView::rowAt(int y) const
{
    const int n = rows();
    if (n == 0)
        return -1;
    const qint64 row = (topPixel() + y) / rowHeight();
    return int(std::clamp<qint64>(row, 0, n - 1));
}

int LineListView::contentWidth() const
{
    return std::max(m_widest, viewport()->width());
}

void LineListView::forgetSizes()
{
    m_rowHeight = 0;
    m_widest = 0;
    m_measuredFirst = 0;
    m_measuredLast = -1;
    m_hoverRow = -1;
}

QRect LineListView::visualRect(const QModelIndex &index) const
{
    if (!index.isValid() || index.model() != model() || index.parent() != rootIndex() ||
        index.column() != modelColumn())
        return {};
    const qint64 y = qint64(index.row()) * rowHeight() - topPixel();
    // Rows far off screen keep a rectangle outside the viewport, not an overflowed one.
    const int top = int(std::clamp<qint64>(y, INT_MIN / 2, INT_MAX / 2));
    return {-horizontalOffset(), top, contentWidth(), rowHeight()};
}

void LineListView::scrollTo(const QModelIndex &index, ScrollHint hint)
{
    if (!index.isValid() || index.parent() != rootIndex())
        return;
    // After a reset the scroll range is still the old one until the delayed layout ran.
    executeDelayedItemsLayout();
    const int row = index.row();
    QScrollBar *bar = verticalScrollBar();
    if (verticalScrollMode() == ScrollPerItem) {
        const int shown = fullRowsShown();
        const int top = bar->value();
        int value = top;
        switch (hint) {
        case EnsureVisible:
            if (row < top)
                value = row;
            else if (row >= top + shown)
                value = row - shown + 1;
            break;
        case PositionAtTop:
            value = row;
            break;
        case PositionAtBottom:
            value = row - shown + 1;
            break;
        case PositionAtCenter:
            value = row - shown / 2;
            break;
        }
        bar->setValue(value);
        return;
    }
    const qint64 y = qint64(row) * rowHeight();
    const qint64 top = bar->value();
    const int height = viewport()->height();
    qint64 value = top;
    switch (hint) {
    case EnsureVisible:
        if (y < top)
            value = y;
        else if (y + rowHeight() > top + height)
            value = y + rowHeight() - height;
        break;
    case PositionAtTop:
        value = y;
        break;
    case PositionAtBottom:
        value = y + rowHeight() - height;
        break;
    case PositionAtCenter:
        value = y + rowHeight() / 2 - height / 2;
        break;
    }
    bar->setValue(int(std::clamp<qint64>(value, 0, INT_MAX)));
}

QModelIndex LineListView::indexAt(const QPoint &point) const
{
    if (rows() == 0 || point.y() < 0)
        return {};
    const qint64 row = (topPixel() + point.y()) / rowHeight();
    if (row >= rows())
        return {};
    const QModelIndex index = rowIndex(int(row));
    return visualRect(index).contains(point) ? index : QModelIndex();
}

void LineListView::doItemsLayout()
{
    // Skips QListView's per-row layout; this updates the scroll bars and repaints.
    QAbstractItemView::doItemsLayout();
}

void LineListView::reset()
{
    forgetSizes();
    QListView::reset();
}

void LineListView::keyboardSearch(const QString &) {}

void LineListView::scrollContentsBy(int dx, int dy)
{
    const qint64 pixels = verticalScrollMode() == ScrollPerItem ? qint64(dy) * rowHeight() : dy;
    if (std::abs(pixels) >= viewport()->height())
        viewport()->update();
    else
        viewport()->scroll(dx, int(pixels));
}

void LineListView::dataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight,
                               const QList<int> &roles)
{
    QAbstractItemView::dataChanged(topLeft, bottomRight, roles);
}

void LineListView::rowsInserted(const QModelIndex &parent, int start, int end)
{
    QAbstractItemView::rowsInserted(parent, start, end);
    if (parent != rootIndex())
        return;
    if (start <= m_measuredLast)
        forgetSizes(); // rows moved under the measured ones
    // At once, not delayed: the caller scrolls to a new row right after inserting it.
    updateGeometries();
    if (start <= rowAt(viewport()->height()))
        viewport()->update();
}

void LineListView::rowsAboutToBeRemoved(const QModelIndex &parent, int start, int end)
{
    QAbstractItemView::rowsAboutToBeRemoved(parent, start, end);
    if (parent == rootIndex())
        forgetSizes();
    scheduleDelayedItemsLayout();
}

void LineListView::resizeEvent(QResizeEvent *event)
{
    QAbstractItemView::resizeEvent(event);
}

void LineListView::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
        forgetSizes();
        scheduleDelayedItemsLayout();
    }
    QListView::changeEvent(event);
}

bool LineListView::viewportEvent(QEvent *event)
{
    switch (event->type()) {
    case QEvent::HoverEnter:
    case QEvent::HoverMove: {
        const QModelIndex hovered =
            indexAt(static_cast<QHoverEvent *>(event)->position().toPoint());
        m_hoverRow = hovered.isValid() ? hovered.row() : -1;
        break;
    }
    case QEvent::HoverLeave:
    case QEvent::Leave:
        m_hoverRow = -1;
        break;
    default:
        break;
    }
    return QListView::viewportEvent(event);
}

void LineListView::paintEvent(QPaintEvent *event)
{
    try {
        paintRows(event);
    } catch (const std::bad_alloc &) {
        // Out of memory for a row's text: the rows stay as they were until the next paint.
    }
}

void LineListView::paintRows(QPaintEvent *event)
{
    const int n = rows();
    if (!itemDelegate() || n == 0)
        return;
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    QStylePainter painter(viewport());

    const QRect area = event->rect();
    const int first = rowAt(area.top());
    const int last = rowAt(area.bottom());
    const QModelIndex current = currentIndex();
    const QItemSelectionModel *selections = selectionModel();
    const bool focus = (hasFocus() || viewport()->hasFocus()) && current.isValid();
    const QStyle::State state = option.state;
    const bool enabled = state & QStyle::State_Enabled;
    const bool alternate = alternatingRowColors();

    int widest = m_widest;
    for (int row = first; row <= last; ++row) {
        const QModelIndex index = rowIndex(row);
        option.rect = visualRect(index);
        option.state = state;
        if (selections && selections->isSelected(index))
            option.state |= QStyle::State_Selected;
        if (enabled) {
            const bool itemEnabled = model()->flags(index) & Qt::ItemIsEnabled;
            option.state.setFlag(QStyle::State_Enabled, itemEnabled);
            option.palette.setCurrentColorGroup(itemEnabled ? QPalette::Normal
                                                            : QPalette::Disabled);
        }
        if (focus && current == index) {
            option.state |= QStyle::State_HasFocus;
            if (this->state() == EditingState)
                option.state |= QStyle::State_Editing;
        }
        option.state.setFlag(QStyle::State_MouseOver, row == m_hoverRow);
        if (alternate) {
            option.features.setFlag(QStyleOptionViewItem::Alternate, row & 1);
            const QStyle::State kept = option.state;
            option.state &= ~QStyle::State_Selected;
            painter.drawPrimitive(QStyle::PE_PanelItemViewRow, option);
            option.state = kept;
        }
        QAbstractItemDelegate *delegate = itemDelegateForIndex(index);
        delegate->paint(&painter, option, index);
        if (row < m_measuredFirst || row > m_measuredLast)
            widest = std::max(widest, delegate->sizeHint(option, index).width());
    }
    // Extend the measured range only where it stays one run of rows.
    if (m_measuredLast < m_measuredFirst || last < m_measuredFirst - 1 ||
        first > m_measuredLast + 1) {
        m_measuredFirst = first;
        m_measuredLast = last;
    } else {
        m_measuredFirst = std::min(m_measuredFirst, first);
        m_measuredLast = std::max(m_measuredLast, last);
    }
    if (widest > m_widest) {
        m_widest = widest;
        if (!m_geometryQueued) {
            // Not from inside a paint: the scroll bar's change would paint again.
            m_geometryQueued = true;
            QMetaObject::invokeMethod(
                this,
                [this] {
                    m_geometryQueued = false;
                    updateGeometries();
                },
                Qt::QueuedConnection);
        }
    }
}

int LineListView::horizontalOffset() const
{
    return horizontalScrollBar()->value();
}

int LineListView::verticalOffset() const
{
    return int(std::min<qint64>(topPixel(), INT_MAX));
}

QModelIndex LineListView::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers)
{
    const int n = rows();
    if (n == 0)
        return {};
    const QModelIndex current = currentIndex();
    if (!current.isValid())
        return rowIndex(0);
    const int row = current.row();
    const int page = fullRowsShown();
    int to = row;
    switch (cursorAction) {
    case MoveUp:
    case MovePrevious:
        to = row - 1;
        break;
    case MoveDown:
    case MoveNext:
        to = row + 1;
        break;
    case MovePageUp:
        to = row - page;
        break;
    case MovePageDown:
        to = row + page;
        break;
    case MoveHome:
        to = 0;
        break;
    case MoveEnd:
        to = n - 1;
        break;
    case MoveLeft:
    case MoveRight:
        break;
    }
    return rowIndex(std::clamp(to, 0, n - 1));
}

void LineListView::setSelection(const QRect &rect, QItemSelectionModel::SelectionFlags command)
{
    if (!selectionModel())
        return;
    const QRect r = rect.normalized();
    const int n = rows();
    const qint64 top = (topPixel() + r.top()) / rowHeight();
    const qint64 bottom = (topPixel() + r.bottom()) / rowHeight();
    if (n == 0 || top >= n || bottom < 0) {
        selectionModel()->select(QItemSelection(), command);
        return;
    }
    const QItemSelection selection(rowIndex(int(std::max<qint64>(top, 0))),
                                   rowIndex(int(std::min<qint64>(bottom, n - 1))));
    selectionModel()->select(selection, command);
}

QRegion LineListView::visualRegionForSelection(const QItemSelection &selection) const
{
    QRegion region;
    const QRect shown = viewport()->rect();
    for (const QItemSelectionRange &range : selection) {
        if (!range.isValid() || range.parent() != rootIndex() || range.left() > modelColumn() ||
            range.right() < modelColumn())
            continue;
        const QRect top = visualRect(rowIndex(range.top()));
        const QRect bottom = visualRect(rowIndex(range.bottom()));
        region += QRect(top.topLeft(), bottom.bottomRight()).intersected(shown);
    }
    return region;
}

void LineListView::updateGeometries()
{
    const int n = rows();
    const int height = rowHeight();
    QScrollBar *vertical = verticalScrollBar();
    if (verticalScrollMode() == ScrollPerItem) {
        const int shown = fullRowsShown();
        vertical->setRange(0, std::max(0, n - shown));
        vertical->setPageStep(shown);
        vertical->setSingleStep(1);
    } else {
        const qint64 extent = qint64(n) * height - viewport()->height();
        vertical->setRange(0, int(std::clamp<qint64>(extent, 0, INT_MAX)));
        vertical->setPageStep(viewport()->height());
        vertical->setSingleStep(height);
    }
    QScrollBar *horizontal = horizontalScrollBar();
    horizontal->setRange(0, std::max(0, m_widest - viewport()->width()));
    horizontal->setPageStep(viewport()->width());
    horizontal->setSingleStep(std::max(1, fontMetrics().averageCharWidth() * 2));
    QAbstractItemView::updateGeometries();
}

bool LineListView::isIndexHidden(const QModelIndex &) const
{
    return false;
}

// QListView's versions of the next two look rows up in its own layout, which is never built
// here; the accessible child of a row is its row number.
void LineListView::selectionChanged(const QItemSelection &selected,
                                    const QItemSelection &deselected)
{
#if QT_CONFIG(accessibility)
    if (QAccessible::isActive()) {
        const QModelIndex added = selected.indexes().value(0);
        if (added.isValid()) {
            QAccessibleEvent event(this, QAccessible::SelectionAdd);
            event.setChild(added.row());
            QAccessible::updateAccessibility(&event);
        }
        const QModelIndex removed = deselected.indexes().value(0);
        if (removed.isValid()) {
            QAccessibleEvent event(this, QAccessible::SelectionRemove);
            event.setChild(removed.row());
            QAccessible::updateAccessibility(&event);
        }
    }
#endif
    QAbstractItemView::selectionChanged(selected, deselected);
}

void LineListView::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
#if QT_CONFIG(accessibility)
    if (QAccessible::isActive() && current.isValid() && hasFocus()) {
        QAccessibleEvent event(this, QAccessible::Focus);
        event.setChild(current.row());
        QAccessible::updateAccessibility(&event);
    }
#endif
    QAbstractItemView::currentChanged(current, previous);
}

QSize LineListView::viewportSizeHint() const
{
    return QAbstractItemView::viewportSizeHint();
}
