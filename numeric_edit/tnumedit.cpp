#include "tnumedit_p.h"

#include "clock.h"
#include "conversions.h"
#include "num_value_source.h"
#include "regional.h"

#include <QApplication>
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

TNumEditPrivate::TNumEditPrivate(TNumEdit *q)
    : q(q), state(q), valueSource(std::make_shared<NumValueSource>())
{
}

TNumEditPrivate::~TNumEditPrivate() = default;

TNumEdit::TNumEdit(QWidget *owner) : QLineEdit(nullptr), d(std::make_unique<TNumEditPrivate>(this))
{
    connect(this, &QLineEdit::textChanged, this, [this] { emit changed(this); });
    d->publishEveryChange();
    if (auto *app = qobject_cast<QApplication *>(QCoreApplication::instance()))
        connect(app, &QApplication::focusChanged, this,
                [this](QWidget *, QWidget *now) { d->focusMoved(now); });
    setNumMask(QString());
    d->clearOnErr = false;
    d->errorColor = clRed;
    d->rounded = false;
    d->formatOnCreate = false;
    d->noFormatOnEmpty = false;
    setColor(clWindow);
    d->valueChanged = false;

    d->titleLabel = new QLabel(nullptr);
    d->titleLabel->setObjectName(QStringLiteral("TitleLabel"));
    d->titleLabel->setText(QString());
    d->ellipsisButton = new TEdSpeedButton(this);
    connect(d->ellipsisButton.data(), &QToolButton::clicked, this,
            [this] { emit elipsisClick(d->ellipsisButton); });
    setElipsis(false);

    setParent(owner);
}

TNumEdit::~TNumEdit()
{
    // The companions may already be gone with a parent destroyed before us.
    delete d->titleLabel.data();
    delete d->ellipsisButton.data();
}

bool TNumEdit::tabStop() const
{
    return d->tabStop;
}

void TNumEdit::setTabStop(bool tabStop)
{
    d->tabStop = tabStop;
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

QString TNumEdit::numMask() const
{
    return d->numMask;
}

void TNumEdit::setNumMask(const QString &mask)
{
    const std::string raw = toStd(mask);
    d->numType = static_cast<TNumType>(numcore::AnalyseMask(raw, d->mask));
    d->valueSource->publishKind(static_cast<numcore::Kind>(d->numType));
    d->numMask = toQt(numcore::upperCaseMask(raw));
    d->clearOnErr = !d->numMask.isEmpty();
    setText(QString());
    if (isDesigning() && !isLoading() && !isReading())
        Reformat();
}

TNumEdit::TNumType TNumEdit::numType() const
{
    return d->numType;
}

void TNumEdit::setNumType(TNumType kind)
{
    if (isDesigning() && !isLoading() && !isReading())
        setNumMask(defaultMask(kind));
    d->numType = kind;
    d->valueSource->publishKind(static_cast<numcore::Kind>(kind));
}

void TNumEdit::setText(const QString &text)
{
    QLineEdit::setText(text);
    if (!isDesigning() && !isLoading() && !isReading() && (!text.isEmpty() || d->formatOnCreate))
        Reformat();
}

bool TNumEdit::clearOnErr() const
{
    return d->clearOnErr;
}

void TNumEdit::setClearOnErr(bool clear)
{
    d->clearOnErr = d->numMask.isEmpty() ? false : clear;
}

TColor TNumEdit::errorColor() const
{
    return d->errorColor;
}

void TNumEdit::setErrorColor(TColor color)
{
    d->errorColor = color;
}

bool TNumEdit::rounded() const
{
    return d->rounded;
}

void TNumEdit::setRounded(bool rounded)
{
    d->rounded = rounded;
}

bool TNumEdit::formatOnCreate() const
{
    return d->formatOnCreate;
}

void TNumEdit::setFormatOnCreate(bool format)
{
    d->formatOnCreate = format;
}

bool TNumEdit::noFormatOnEmpty() const
{
    return d->noFormatOnEmpty;
}

void TNumEdit::setNoFormatOnEmpty(bool leave)
{
    d->noFormatOnEmpty = leave;
}

void TNumEdit::setColor(TColor color)
{
    d->normalColor = color;
    d->setDisplayedColor(color);
}

bool TNumEdit::parentColor() const
{
    return d->parentColor;
}

void TNumEdit::setParentColor(bool follow)
{
    d->parentColor = follow;
    d->showColor();
}

TColor TNumEdit::color() const
{
    return d->followsParent() ? toTColor(d->parentBackground()) : d->displayedColor;
}

bool TNumEditPrivate::followsParent() const
{
    return parentColor && q->parentWidget();
}

QColor TNumEditPrivate::parentBackground() const
{
    const QWidget *parent = q->parentWidget();
    return parent->palette().color(parent->backgroundRole());
}

void TNumEditPrivate::setDisplayedColor(TColor color)
{
    // Showing a colour of its own ends following the parent's colour.
    if (color != q->color())
        parentColor = false;
    displayedColor = color;
    showColor();
}

void TNumEditPrivate::restoreNormalColor()
{
    // Following the parent is the normal colour for as long as it lasts.
    if (followsParent())
        showColor();
    else
        setDisplayedColor(normalColor);
}

// The background is the palette's Base role. The window colour is not pinned there at all, so
// the field follows every palette change exactly as a plain line edit does (and a palette that
// the program gives the field itself); any other colour is pinned, and one that depends on a
// palette (the parent's, another system colour) is pinned anew whenever a palette changes (see
// event()).
void TNumEditPrivate::showColor()
{
    static const QPalette::ResolveMask baseRole = [] {
        QPalette probe;
        probe.setResolveMask(0);
        probe.setColor(QPalette::Base, Qt::black);
        return probe.resolveMask();
    }();
    QPalette p = q->palette();
    if (!followsParent() && displayedColor == clWindow) {
        if (!basePinned)
            return;
        basePinned = false;
        p.setResolveMask(p.resolveMask() & ~baseRole);
        q->setPalette(p);
        return;
    }
    const QColor shown = followsParent() ? parentBackground() : resolveColor(displayedColor, p);
    const bool pinned = (p.resolveMask() & baseRole) == baseRole;
    basePinned = true;
    if (pinned && p.color(QPalette::Active, QPalette::Base) == shown &&
        p.color(QPalette::Inactive, QPalette::Base) == shown &&
        p.color(QPalette::Disabled, QPalette::Base) == shown)
        return; // also ends the round trip through the PaletteChange that setPalette() sends
    p.setColor(QPalette::Base, shown);
    q->setPalette(p);
}

bool TNumEdit::event(QEvent *event)
{
    const bool handled = QLineEdit::event(event);
    switch (event->type()) {
    case QEvent::ApplicationPaletteChange:
        // The parent may take the new palette after this field: look again once all have.
        if (d->followsParent())
            QMetaObject::invokeMethod(
                this, [this] { d->showColor(); }, Qt::QueuedConnection);
        [[fallthrough]];
    case QEvent::PaletteChange:
    case QEvent::ParentChange:
        d->showColor();
        break;
    default:
        break;
    }
    return handled;
}

void TNumEditPrivate::publishEveryChange()
{
    // QSignalBlocker on the field silences its textChanged, but the copy for other threads must
    // follow every change of the text. Qt's inner line control emits for every change and is
    // not blocked with the field; its class is private to Qt, hence the lookup by signature.
    const QByteArray signature = QMetaObject::normalizedSignature("textChanged(QString)");
    const QMetaMethod publish =
        staticMetaObject.method(staticMetaObject.indexOfSlot("publishText()"));
    for (QObject *child : q->children()) {
        const int signal = child->metaObject()->indexOfSignal(signature);
        if (signal >= 0 && child->inherits("QWidgetLineControl")) {
            connect(child, child->metaObject()->method(signal), this, publish);
            return;
        }
    }
    // Without it (another Qt), at least every change that the field announces.
    connect(q, &QLineEdit::textChanged, this, &TNumEditPrivate::publishText);
}

void TNumEditPrivate::publishText()
{
    valueSource->publishText(toStd(q->QLineEdit::text()));
}

double TNumEdit::GetValue() const
{
    // The GUI thread reads the text itself: a value never lags behind a change whose signal
    // was blocked or is still on its way. Only other threads need the published copy.
    if (QThread::currentThread() != thread())
        return d->valueSource->value();
    return NumValueSource::valueOf(static_cast<numcore::Kind>(d->numType),
                                   toStd(QLineEdit::text()));
}

void TNumEdit::SetValue(double value)
{
    switch (d->numType) {
    case ntInt:
    case ntFloat:
        setText(toQt(tk::floatToGeneralText(value, tk::regionalSettings().decimalSeparator)));
        break;
    case ntDate:
        DateValueToText(value);
        QLineEdit::setText(d->dateOutput);
        break;
    case ntNone:
        break;
    }
}

void TNumEdit::DateValueToText(double value)
{
    numcore::DateContext context{tk::today(), tk::regionalSettings().shortDateFormat};
    std::optional<std::string> out = numcore::DateValueToText(value, toStd(d->numMask), context);
    if (out) {
        d->dateOutput = toQt(*out);
        return;
    }
    d->dateOutput.clear();
    emit edError(this);
    if (d->clearOnErr)
        d->setDisplayedColor(d->errorColor);
}

QString TNumEdit::ValueAsSqlLiteral() const
{
    const QString t = QLineEdit::text();
    if (t.isEmpty())
        return QStringLiteral("NULL");
    if (d->numType == ntInt || d->numType == ntFloat)
        return t;
    // Quotes inside the text are doubled so that the literal cannot end early.
    QString quoted = t;
    quoted.replace(QLatin1Char('\''), QStringLiteral("''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

void TNumEdit::SetTag(int tag)
{
    d->tag = tag;
    if (d->ellipsisButton)
        d->ellipsisButton->setTag(tag);
}

int TNumEdit::GetTag() const
{
    return d->tag;
}

std::shared_ptr<const NumValueSource> TNumEdit::valueSource() const
{
    return d->valueSource;
}

TColor TNumEdit::normalColor() const
{
    return d->normalColor;
}

const numcore::MaskInfo &TNumEdit::maskInfo() const
{
    return d->mask;
}

bool TNumEdit::valueChanged() const
{
    return d->valueChanged;
}

QString TNumEdit::entryText() const
{
    return d->entryText;
}

QString TNumEdit::oldText() const
{
    return d->oldText;
}

double TNumEdit::entryValue() const
{
    return d->entryValue;
}

QString TNumEdit::DateOutput() const
{
    return d->dateOutput;
}

numcore::ReformatInput TNumEditPrivate::reformatInput(const std::string &text,
                                                      const std::string &upperMask) const
{
    numcore::ReformatInput in;
    in.text = text;
    in.kind = static_cast<numcore::Kind>(numType);
    in.mask = mask;
    in.numMask = upperMask;
    in.clearOnErr = clearOnErr;
    in.rounded = rounded;
    in.noFormatOnEmpty = noFormatOnEmpty;
    if (numType == TNumEdit::ntDate)
        in.date = {tk::today(), tk::regionalSettings().shortDateFormat};
    return in;
}

void TNumEdit::Reformat()
{
    const std::string text = toStd(QLineEdit::text());
    const std::string mask = toStd(d->numMask);
    const numcore::ReformatOutcome out = numcore::Reformat(d->reformatInput(text, mask));
    if (!out.ran)
        return;
    d->restoreNormalColor();
    if (out.intermediateText)
        QLineEdit::setText(toQt(*out.intermediateText));
    for (int i = 0; i < out.edErrors; ++i)
        emit edError(this); // sees the rejected text in the normal colour
    if (out.text)
        QLineEdit::setText(toQt(*out.text));
    if (out.errorColour)
        d->setDisplayedColor(d->errorColor);
}

unsigned TNumEdit::componentState() const
{
    return d->state.componentState();
}

bool TNumEdit::isLoading() const
{
    return d->state.isLoading();
}

bool TNumEdit::isReading() const
{
    return d->state.isReading();
}

bool TNumEdit::isDesigning() const
{
    return d->state.isDesigning();
}

void TNumEdit::setDesigning(bool designing)
{
    d->state.setDesigning(designing);
}

void TNumEdit::markLoading()
{
    d->state.markLoading();
}

void TNumEdit::FinishLoading()
{
    d->state.finishLoadingHere();
    if (d->formatOnCreate && !isDesigning() && !isReading())
        Reformat();
    if (!title().isEmpty() && visibleSetting())
        d->attachLabel();
    if (d->elipsis && visibleSetting())
        d->attachButton();
}
