#pragma once

#include <QLineEdit>

#include <cstdint>
#include <memory>

class NumValueSource;
class QLabel;
class TEdSpeedButton;
class TNumEditPrivate;
namespace numcore
{
struct MaskInfo;
}

// The control's colour: a value with the top bit set names a system colour by its index in the
// low byte; any other value is RGB with red in the low byte. System colours resolve through the
// application's palette.
using TColor = std::uint32_t;

constexpr TColor clRed = 0x000000FF;
constexpr TColor clWhite = 0x00FFFFFF;
constexpr TColor clWindow = 0x80000005;
constexpr TColor clBtnFace = 0x8000000F;

// A single-line edit for integers, decimal numbers and dates. Its mask (NumMask) decides the
// kind and the form of the text; typed text is checked, completed and rewritten into that
// form; bad input is reported through edError and, with ClearOnErr, an emptied field in
// ErrorColor. It carries a title label above it and an optional "..." button at its right.
class TNumEdit : public QLineEdit
{
    Q_OBJECT
    Q_MOC_INCLUDE(<numedit / tedspeedbutton.h>)
    // Published properties in their stored order: a stored form restores them in this order,
    // and the mask must come before the kind and the text.
    Q_PROPERTY(int Tag READ GetTag WRITE setTag)
    Q_PROPERTY(bool TabStop READ tabStop WRITE setTabStop)
    Q_PROPERTY(QString NumMask READ numMask WRITE setNumMask)
    Q_PROPERTY(TNumType NumType READ numType WRITE setNumType)
    Q_PROPERTY(QString Text READ text WRITE setText)
    Q_PROPERTY(bool ClearOnErr READ clearOnErr WRITE setClearOnErr)
    Q_PROPERTY(uint ErrorColor READ errorColor WRITE setErrorColor)
    Q_PROPERTY(bool Rounded READ rounded WRITE setRounded)
    Q_PROPERTY(uint Color READ color WRITE setColor)
    Q_PROPERTY(bool FormatOnCreate READ formatOnCreate WRITE setFormatOnCreate)
    Q_PROPERTY(bool NoFormatOnEmpty READ noFormatOnEmpty WRITE setNoFormatOnEmpty)
    Q_PROPERTY(QString Title READ title WRITE setTitle)
    Q_PROPERTY(bool Elipsis READ elipsis WRITE setElipsis)
    Q_PROPERTY(QString ElipsisHint READ elipsisHint WRITE setElipsisHint)
    Q_PROPERTY(bool Visible READ visibleSetting WRITE setVisible)
    Q_PROPERTY(bool ParentColor READ parentColor WRITE setParentColor)
    // QLineEdit's own text goes through the Text setter too; a form stores Text instead.
    Q_PROPERTY(QString text READ text WRITE setText DESIGNABLE false STORED false)

public:
    enum TNumType : quint8 { ntNone = 0, ntDate = 1, ntInt = 2, ntFloat = 3 };
    Q_ENUM(TNumType)

    // The owner becomes the parent; a form's controls get their parent while it is read.
    explicit TNumEdit(QWidget *owner = nullptr);
    ~TNumEdit() override;

    // Published properties.
    void setTag(int tag) { SetTag(tag); } // uic writes Tag through this name
    // Whether Tab reaches the field: writing it adds or takes away the Tab part of the focus
    // policy. A stored form applies TabStop after the focus policy, which may have been chosen
    // in Designer, and then only takes Tab away (see setTabStop).
    bool tabStop() const;
    void setTabStop(bool tabStop);
    QString numMask() const;
    void setNumMask(const QString &mask);
    TNumType numType() const;
    void setNumType(TNumType kind);
    void setText(const QString &text); // the Text setter: formats a live control's text
    bool clearOnErr() const;
    void setClearOnErr(bool clear);
    TColor errorColor() const;
    void setErrorColor(TColor color);
    bool rounded() const;
    void setRounded(bool rounded);
    TColor color() const; // the colour shown now
    void setColor(TColor color);
    bool formatOnCreate() const;
    void setFormatOnCreate(bool format);
    bool noFormatOnEmpty() const;
    void setNoFormatOnEmpty(bool leave);
    QString title() const;
    void setTitle(const QString &title);
    bool elipsis() const;
    void setElipsis(bool show);
    QString elipsisHint() const;
    void setElipsisHint(const QString &hint);
    bool visibleSetting() const { return !isHidden(); }
    void setVisible(bool visible) override;
    bool parentColor() const;
    void setParentColor(bool follow);

    // Value access.
    // Throws tk::EConvertError (numedit/exception.h). On another thread it reads the copy that
    // every change of the text publishes (see valueSource()).
    double GetValue() const;
    void SetValue(double value);
    QString ValueAsSqlLiteral() const;
    void SetTag(int tag);
    int GetTag() const;

    // A reader of this control's value for another thread; stays valid after the control.
    std::shared_ptr<const NumValueSource> valueSource() const;

    // State that applications and tests may inspect.
    TColor normalColor() const;
    const numcore::MaskInfo &maskInfo() const;
    bool valueChanged() const;
    QString entryText() const;
    QString oldText() const;
    double entryValue() const;
    QString DateOutput() const;
    QLabel *TitleLabel() const;
    TEdSpeedButton *EllipsisButton() const;

    // The formatter: checks the text against the kind and rewrites it into the mask's form.
    void Reformat();
    // Writes a date value in the mask's form into DateOutput (empty after a failure).
    void DateValueToText(double value);
    // Places and styles the button for the given bounds; nothing when show is false.
    void PlaceEllipsis(bool show, int left, int top, int width, int height);

    // Component state: loading while a stored form restores the control (see
    // tk::FormReadingScope), designing inside a form designer.
    unsigned componentState() const;
    bool isLoading() const;
    bool isReading() const;
    bool isDesigning() const;
    void setDesigning(bool designing);
    // Marks the control loading until its FinishLoading runs. For hosts that apply stored
    // properties themselves, without a FormReadingScope (Qt Designer, QUiLoader).
    void markLoading();
    // The loading-finished hook: ends loading, formats with FormatOnCreate and attaches the
    // title and the button. Overrides call it first.
    virtual void FinishLoading();

signals:
    void edError(TNumEdit *sender);
    void edited(TNumEdit *sender, const QString &oldText);
    void elipsisClick(TEdSpeedButton *sender);
    void entered(TNumEdit *sender);
    void exited(TNumEdit *sender);
    void keyPressed(TNumEdit *sender, QChar &key); // key may be changed; direct connections only
    void keyDown(TNumEdit *sender, int &key, Qt::KeyboardModifiers shift);
    void keyUp(TNumEdit *sender, int &key, Qt::KeyboardModifiers shift);
    void changed(TNumEdit *sender);

protected:
    bool event(QEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void inputMethodEvent(QInputMethodEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    friend class TNumEditPrivate;
    const std::unique_ptr<TNumEditPrivate> d;
};
