#pragma once

#include "component.h"
#include "num_core.h"
#include "tcolor.h"
#include "tedspeedbutton.h"

#include <QLineEdit>
#include <QPointer>

#include <memory>

#include <QLabel>
class NumValueSource;

// A single-line edit for integers, decimal numbers and dates. Its mask (NumMask) decides the
// kind and the form of the text; typed text is checked, completed and rewritten into that
// form; bad input is reported through edError and, with ClearOnErr, an emptied field in
// ErrorColor. It carries a title label above it and an optional "..." button at its right.
class TNumEdit : public QLineEdit, public tk::Component
{
    Q_OBJECT
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
    bool tabStop() const { return m_tabStop; }
    void setTabStop(bool tabStop);
    QString numMask() const { return m_numMask; }
    void setNumMask(const QString &mask);
    TNumType numType() const { return m_numType; }
    void setNumType(TNumType kind);
    void setText(const QString &text); // the Text setter: formats a live control's text
    bool clearOnErr() const { return m_clearOnErr; }
    void setClearOnErr(bool clear);
    TColor errorColor() const { return m_errorColor; }
    void setErrorColor(TColor color) { m_errorColor = color; }
    bool rounded() const { return m_rounded; }
    void setRounded(bool rounded) { m_rounded = rounded; }
    TColor color() const; // the colour shown now
    void setColor(TColor color);
    bool formatOnCreate() const { return m_formatOnCreate; }
    void setFormatOnCreate(bool format) { m_formatOnCreate = format; }
    bool noFormatOnEmpty() const { return m_noFormatOnEmpty; }
    void setNoFormatOnEmpty(bool leave) { m_noFormatOnEmpty = leave; }
    QString title() const;
    void setTitle(const QString &title);
    bool elipsis() const { return m_elipsis; }
    void setElipsis(bool show);
    QString elipsisHint() const;
    void setElipsisHint(const QString &hint);
    bool visibleSetting() const { return !isHidden(); }
    void setVisible(bool visible) override;
    bool parentColor() const { return m_parentColor; }
    void setParentColor(bool follow);

    // Value access.
    // Throws tk::EConvertError. On another thread it reads the copy that every change of the
    // text publishes (see valueSource()).
    double GetValue() const;
    void SetValue(double value);
    QString ValueAsSqlLiteral() const;
    void SetTag(int tag);
    int GetTag() const { return m_tag; }

    // A reader of this control's value for another thread; stays valid after the control.
    std::shared_ptr<const NumValueSource> valueSource() const { return m_valueSource; }

    // State that applications and tests may inspect.
    TColor normalColor() const { return m_normalColor; }
    const numcore::MaskInfo &maskInfo() const { return m_mask; }
    bool valueChanged() const { return m_valueChanged; }
    QString entryText() const { return m_entryText; }
    QString oldText() const { return m_oldText; }
    double entryValue() const { return m_entryValue; }
    QString DateOutput() const { return m_dateOutput; }
    QLabel *TitleLabel() const { return m_titleLabel; }
    TEdSpeedButton *EllipsisButton() const { return m_ellipsisButton; }

    // The formatter: checks the text against the kind and rewrites it into the mask's form.
    void Reformat();
    // Writes a date value in the mask's form into DateOutput (empty after a failure).
    void DateValueToText(double value);
    // Places and styles the button for the given bounds; nothing when show is false.
    void PlaceEllipsis(bool show, int left, int top, int width, int height);

    void FinishLoading() override;

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

    // The hooks behind those events.
    void HandleEnter();
    void HandleExit();
    void HandleKeyPress(QChar &key);
    void HandleKeyDown(int &key, Qt::KeyboardModifiers shift);
    void HandleKeyUp(int &key, Qt::KeyboardModifiers shift);
    void ChangeBounds(int left, int top, int width, int height);

private Q_SLOTS:
    void publishText();

private:
    void publishEveryChange();
    void setDisplayedColor(TColor color);
    void restoreNormalColor();
    void showColor();
    bool followsParent() const;
    QColor parentBackground() const;
    void attachCompanion(QWidget *companion, QMetaObject::Connection &parentWatch);
    void detachCompanion(QWidget *companion, QMetaObject::Connection &parentWatch);
    void attachLabel();
    void attachButton();
    numcore::ReformatInput reformatInput(const std::string &text, const std::string &mask) const;
    // Enter and leaving share these steps: expression, Reformat, value test.
    void Commit();
    // Entry and leaving as the focus brings them; a failing step is shown, never thrown.
    void enterField();
    void leaveField();
    void focusMoved(QWidget *now);

    bool m_tabStop = true; // a line edit takes the focus by Tab and by click
    bool m_elipsis = false;
    QString m_entryText;
    QString m_oldText;
    QString m_numMask;
    TNumType m_numType = ntNone;
    numcore::MaskInfo m_mask;
    bool m_clearOnErr = false;
    TColor m_errorColor = clRed;
    TColor m_normalColor = clWindow;
    TColor m_displayedColor = clWindow;
    bool m_rounded = false;
    QString m_dateOutput;
    bool m_formatOnCreate = false;
    bool m_valueChanged = false;
    double m_entryValue = 0;
    bool m_noFormatOnEmpty = false;
    bool m_parentColor = false;
    bool m_basePinned = false; // showColor() set the background in the field's own palette
    int m_tag = 0;
    bool m_entered = false;            // between entry and leaving, across transient focus changes
    bool m_hiddenWhileEntered = false; // the window was hidden during the session
    QPointer<TEdSpeedButton> m_ellipsisButton;
    QPointer<QLabel> m_titleLabel;
    QMetaObject::Connection m_labelParentWatch;  // the label's parent, while it has one
    QMetaObject::Connection m_buttonParentWatch; // the same for the button
    std::shared_ptr<NumValueSource> m_valueSource;
};
