#include "tnumedit.h"

#include "clock.h"
#include "conversions.h"
#include "num_value_source.h"
#include "regional.h"
#include "tedspeedbutton.h"

#include <QApplication>
#include <QLabel>
#include <QMetaMethod>
#include <QThread>

namespace
{

std::string toStd(const QString &s)
{
    return s.toStdString();
}
QString toQt(const std::string &s)
{
    return QString::fromStdString(s);
}

QString defaultMask(TNumEdit::TNumType kind)
{
    switch (kind) {
    case TNumEdit::ntDate:
        return QStringLiteral("D.M.Y");
    case TNumEdit::ntFloat:
        return QStringLiteral("<0.009");
    case TNumEdit::ntInt:
        return QStringLiteral("<0");
    case TNumEdit::ntNone:
        break;
    }
    return QString();
}

} // namespace

TNumEdit::TNumEdit(QWidget *owner)
    : QLineEdit(nullptr), m_valueSource(std::make_shared<NumValueSource>())
{
    connect(this, &QLineEdit::textChanged, this, [this] { emit changed(this); });
    publishEveryChange();
    if (auto *app = qobject_cast<QApplication *>(QCoreApplication::instance()))
        connect(app, &QApplication::focusChanged, this,
                [this](QWidget *, QWidget *now) { focusMoved(now); });
    setNumMask(QString());
    m_clearOnErr = false;
    m_errorColor = clRed;
    m_rounded = false;
    m_formatOnCreate = false;
    m_noFormatOnEmpty = false;
    setColor(clWindow);
    m_valueChanged = false;

    m_titleLabel = new QLabel(nullptr);
    m_titleLabel->setObjectName(QStringLiteral("TitleLabel"));
    m_titleLabel->setText(QString());
    m_ellipsisButton = new TEdSpeedButton(this);
    connect(m_ellipsisButton.data(), &QToolButton::clicked, this,
            [this] { emit elipsisClick(m_ellipsisButton); });
    setElipsis(false);

    setParent(owner);
}

TNumEdit::~TNumEdit()
{
    // The companions may already be gone with a parent destroyed before us.
    delete m_titleLabel.data();
    delete m_ellipsisButton.data();
}

void TNumEdit::setTabStop(bool tabStop)
{
    m_tabStop = tabStop;
    // A new field from Designer stores TabStop true, and Designer cannot show a focus policy
    // chosen there in it: while a form is read, a stored policy without Tab stays as chosen.
    const bool addTab = tabStop && !isLoading();
    switch (focusPolicy()) {
    case Qt::NoFocus:
        if (addTab)
            setFocusPolicy(Qt::TabFocus);
        break;
    case Qt::TabFocus:
        if (!tabStop)
            setFocusPolicy(Qt::NoFocus);
        break;
    case Qt::ClickFocus:
        if (addTab)
            setFocusPolicy(Qt::StrongFocus);
        break;
    case Qt::StrongFocus:
    case Qt::WheelFocus: // there is no wheel focus without Tab
        if (!tabStop)
            setFocusPolicy(Qt::ClickFocus);
        break;
    }
}

void TNumEdit::setNumMask(const QString &mask)
{
    const std::string raw = toStd(mask);
    m_numType = static_cast<TNumType>(numcore::AnalyseMask(raw, m_mask));
    m_valueSource->publishKind(static_cast<numcore::Kind>(m_numType));
    m_numMask = toQt(numcore::upperCaseMask(raw));
    m_clearOnErr = !m_numMask.isEmpty();
    setText(QString());
    if (isDesigning() && !isLoading() && !isReading())
        Reformat();
}

void TNumEdit::setNumType(TNumType kind)
{
    if (isDesigning() && !isLoading() && !isReading())
        setNumMask(defaultMask(kind));
    m_numType = kind;
    m_valueSource->publishKind(static_cast<numcore::Kind>(kind));
}

void TNumEdit::setText(const QString &text)
{
    QLineEdit::setText(text);
    if (!isDesigning() && !isLoading() && !isReading() && (!text.isEmpty() || m_formatOnCreate))
        Reformat();
}

void TNumEdit::setClearOnErr(bool clear)
{
    m_clearOnErr = m_numMask.isEmpty() ? false : clear;
}

void TNumEdit::setColor(TColor color)
{
    m_normalColor = color;
    setDisplayedColor(color);
}

void TNumEdit::setParentColor(bool follow)
{
    m_parentColor = follow;
    showColor();
}

TColor TNumEdit::color() const
{
    return followsParent() ? toTColor(parentBackground()) : m_displayedColor;
}

bool TNumEdit::followsParent() const
{
    return m_parentColor && parentWidget();
}

QColor TNumEdit::parentBackground() const
{
    const QWidget *parent = parentWidget();
    return parent->palette().color(parent->backgroundRole());
}

void TNumEdit::setDisplayedColor(TColor color)
{
    // Showing a colour of its own ends following the parent's colour.
    if (color != this->color())
        m_parentColor = false;
    m_displayedColor = color;
    showColor();
}

void TNumEdit::restoreNormalColor()
{
    // Following the parent is the normal colour for as long as it lasts.
    if (followsParent())
        showColor();
    else
        setDisplayedColor(m_normalColor);
}

// The background is the palette's Base role. The window colour is not pinned there at all, so
// the field follows every palette change exactly as a plain line edit does (and a palette that
// the program gives the field itself); any other colour is pinned, and one that depends on a
// palette (the parent's, another system colour) is pinned anew whenever a palette changes (see
// event()).
void TNumEdit::showColor()
{
    static const QPalette::ResolveMask baseRole = [] {
        QPalette probe;
        probe.setResolveMask(0);
        probe.setColor(QPalette::Base, Qt::black);
        return probe.resolveMask();
    }();
    QPalette p = palette();
    if (!followsParent() && m_displayedColor == clWindow) {
        if (!m_basePinned)
            return;
        m_basePinned = false;
        p.setResolveMask(p.resolveMask() & ~baseRole);
        setPalette(p);
        return;
    }
    const QColor shown = followsParent() ? parentBackground() : resolveColor(m_displayedColor, p);
    const bool pinned = (p.resolveMask() & baseRole) == baseRole;
    m_basePinned = true;
    if (pinned && p.color(QPalette::Active, QPalette::Base) == shown &&
        p.color(QPalette::Inactive, QPalette::Base) == shown &&
        p.color(QPalette::Disabled, QPalette::Base) == shown)
        return; // also ends the round trip through the PaletteChange that setPalette() sends
    p.setColor(QPalette::Base, shown);
    setPalette(p);
}

bool TNumEdit::event(QEvent *event)
{
    const bool handled = QLineEdit::event(event);
    switch (event->type()) {
    case QEvent::ApplicationPaletteChange:
        // The parent may take the new palette after this field: look again once all have.
        if (followsParent())
            QMetaObject::invokeMethod(
                this, [this] { showColor(); }, Qt::QueuedConnection);
        [[fallthrough]];
    case QEvent::PaletteChange:
    case QEvent::ParentChange:
        showColor();
        break;
    default:
        break;
    }
    return handled;
}

void TNumEdit::publishEveryChange()
{
    // QSignalBlocker on the field silences its textChanged, but the copy for other threads must
    // follow every change of the text. Qt's inner line control emits for every change and is
    // not blocked with the field; its class is private to Qt, hence the lookup by signature.
    const QByteArray signature = QMetaObject::normalizedSignature("textChanged(QString)");
    const QMetaMethod publish =
        staticMetaObject.method(staticMetaObject.indexOfSlot("publishText()"));
    for (QObject *child : children()) {
        const int signal = child->metaObject()->indexOfSignal(signature);
        if (signal >= 0 && child->inherits("QWidgetLineControl")) {
            connect(child, child->metaObject()->method(signal), this, publish);
            return;
        }
    }
    // Without it (another Qt), at least every change that the field announces.
    connect(this, &QLineEdit::textChanged, this, &TNumEdit::publishText);
}

void TNumEdit::publishText()
{
    m_valueSource->publishText(toStd(QLineEdit::text()));
}

double TNumEdit::GetValue() const
{
    // The GUI thread reads the text itself: a value never lags behind a change whose signal
    // was blocked or is still on its way. Only other threads need the published copy.
    if (QThread::currentThread() != thread())
        return m_valueSource->GetValue();
    return NumValueSource::valueOf(static_cast<numcore::Kind>(m_numType), toStd(QLineEdit::text()));
}

void TNumEdit::SetValue(double value)
{
    switch (m_numType) {
    case ntInt:
    case ntFloat:
        setText(toQt(tk::floatToGeneralText(value, tk::regionalSettings().decimalSeparator)));
        break;
    case ntDate:
        DateValueToText(value);
        QLineEdit::setText(m_dateOutput);
        break;
    case ntNone:
        break;
    }
}

void TNumEdit::DateValueToText(double value)
{
    numcore::DateContext context{tk::today(), tk::regionalSettings().shortDateFormat};
    std::optional<std::string> out = numcore::DateValueToText(value, toStd(m_numMask), context);
    if (out) {
        m_dateOutput = toQt(*out);
        return;
    }
    m_dateOutput.clear();
    emit edError(this);
    if (m_clearOnErr)
        setDisplayedColor(m_errorColor);
}

QString TNumEdit::ValueAsSqlLiteral() const
{
    const QString t = QLineEdit::text();
    if (t.isEmpty())
        return QStringLiteral("NULL");
    if (m_numType == ntInt || m_numType == ntFloat)
        return t;
    // Quotes inside the text are doubled so that the literal cannot end early.
    QString quoted = t;
    quoted.replace(QLatin1Char('\''), QStringLiteral("''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

void TNumEdit::SetTag(int tag)
{
    m_tag = tag;
    if (m_ellipsisButton)
        m_ellipsisButton->setTag(tag);
}

numcore::ReformatInput TNumEdit::reformatInput(const std::string &text,
                                               const std::string &mask) const
{
    numcore::ReformatInput in;
    in.text = text;
    in.kind = static_cast<numcore::Kind>(m_numType);
    in.mask = m_mask;
    in.numMask = mask;
    in.clearOnErr = m_clearOnErr;
    in.rounded = m_rounded;
    in.noFormatOnEmpty = m_noFormatOnEmpty;
    if (m_numType == ntDate)
        in.date = {tk::today(), tk::regionalSettings().shortDateFormat};
    return in;
}

void TNumEdit::Reformat()
{
    const std::string text = toStd(QLineEdit::text());
    const std::string mask = toStd(m_numMask);
    const numcore::ReformatOutcome out = numcore::Reformat(reformatInput(text, mask));
    if (!out.ran)
        return;
    restoreNormalColor();
    if (out.intermediateText)
        QLineEdit::setText(toQt(*out.intermediateText));
    for (int i = 0; i < out.edErrors; ++i)
        emit edError(this); // sees the rejected text in the normal colour
    if (out.text)
        QLineEdit::setText(toQt(*out.text));
    if (out.errorColour)
        setDisplayedColor(m_errorColor);
}

void TNumEdit::FinishLoading()
{
    tk::Component::FinishLoading();
    if (m_formatOnCreate && !isDesigning() && !isReading())
        Reformat();
    if (!title().isEmpty() && visibleSetting())
        attachLabel();
    if (m_elipsis && visibleSetting())
        attachButton();
}
