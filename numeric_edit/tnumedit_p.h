#pragma once

// The state of a TNumEdit and the steps behind its public members. Not installed: hosts see
// only numedit/tnumedit.h, which stays the same when this changes.

#include "component.h"
#include "num_core.h"

#include <numedit/tedspeedbutton.h>
#include <numedit/tnumedit.h>

#include <QLabel>
#include <QObject>
#include <QPointer>

#include <memory>
#include <string>

class NumValueSource;

class TNumEditPrivate : public QObject
{
    Q_OBJECT

public:
    explicit TNumEditPrivate(TNumEdit *q);
    ~TNumEditPrivate() override;

    // The control's component state. Its loading-finished hook is the control's FinishLoading,
    // which a subclass may override.
    class State : public tk::Component
    {
    public:
        explicit State(TNumEdit *q) : q(q) {}
        void FinishLoading() override { q->FinishLoading(); }
        // The inherited part of the hook: ends loading.
        void finishLoadingHere() { tk::Component::FinishLoading(); }

    private:
        TNumEdit *const q;
    };

    // Every change of the text goes to the copy that other threads read (see valueSource()),
    // also one made with the field's signals blocked.
    void publishEveryChange();

    // Colours.
    void setDisplayedColor(TColor color);
    void restoreNormalColor();
    void showColor();
    bool followsParent() const;
    QColor parentBackground() const;

    // The title label and the ellipsis button, in the control's parent.
    void attachCompanion(QWidget *companion, QMetaObject::Connection &parentWatch);
    void detachCompanion(QWidget *companion, QMetaObject::Connection &parentWatch);
    void attachLabel();
    void attachButton();
    void ChangeBounds(int left, int top, int width, int height);

    numcore::ReformatInput reformatInput(const std::string &text,
                                         const std::string &upperMask) const;

    // Entry and leaving as the focus brings them; a failing step is shown, never thrown.
    void enterField();
    void leaveField();
    void focusMoved(QWidget *now);
    // The steps behind entry, leaving and keys.
    void HandleEnter();
    void HandleExit();
    void HandleKeyPress(QChar &key);
    void HandleKeyDown(int &key, Qt::KeyboardModifiers shift);
    void HandleKeyUp(int &key, Qt::KeyboardModifiers shift);
    // Enter and leaving share these steps: expression, Reformat, value test.
    void commit();

    TNumEdit *const q;
    State state;
    bool tabStop = true; // a line edit takes the focus by Tab and by click
    bool elipsis = false;
    QString entryText;
    QString oldText;
    QString numMask;
    TNumEdit::TNumType numType = TNumEdit::ntNone;
    numcore::MaskInfo mask;
    bool clearOnErr = false;
    TColor errorColor = clRed;
    TColor normalColor = clWindow;
    TColor displayedColor = clWindow;
    bool rounded = false;
    QString dateOutput;
    bool formatOnCreate = false;
    bool valueChanged = false;
    double entryValue = 0;
    bool noFormatOnEmpty = false;
    bool parentColor = false;
    bool basePinned = false; // showColor() set the background in the field's own palette
    int tag = 0;
    bool entered = false;            // between entry and leaving, across transient focus changes
    bool hiddenWhileEntered = false; // the window was hidden during the session
    QPointer<TEdSpeedButton> ellipsisButton;
    QPointer<QLabel> titleLabel;
    QMetaObject::Connection labelParentWatch;  // the label's parent, while it has one
    QMetaObject::Connection buttonParentWatch; // the same for the button
    std::shared_ptr<NumValueSource> valueSource;

private Q_SLOTS:
    void publishText();
};

// A colour as the given palette shows it: a system colour by its palette role, any other as
// its RGB value. The control passes its own palette, whose roles other than the background
// follow the application, a palette for its class and its parent, as a plain widget's do.
QColor resolveColor(TColor color, const QPalette &palette);
// The TColor of an RGB colour (red in the low byte).
TColor toTColor(const QColor &color);
