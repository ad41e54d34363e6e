#pragma once

// A TNumEdit that records the setters a stored form calls, with the component state at that
// moment, and how often its loading-finished hook runs. uic calls the setters through the
// static type, so hiding them here is enough.

#include <numedit/tnumedit.h>

#include <string>
#include <vector>

class ProbeNumEdit : public TNumEdit
{
public:
    using TNumEdit::TNumEdit;

    struct Call {
        std::string property;
        unsigned state;
    };
    std::vector<Call> calls;
    int finishLoadingCalls = 0;
    unsigned stateAtFinish = 0;

    void setNumMask(const QString &v) { record("NumMask"), TNumEdit::setNumMask(v); }
    void setNumType(TNumType v) { record("NumType"), TNumEdit::setNumType(v); }
    void setText(const QString &v) { record("Text"), TNumEdit::setText(v); }
    void setClearOnErr(bool v) { record("ClearOnErr"), TNumEdit::setClearOnErr(v); }
    void setErrorColor(TColor v) { record("ErrorColor"), TNumEdit::setErrorColor(v); }
    void setColor(TColor v) { record("Color"), TNumEdit::setColor(v); }
    void setTitle(const QString &v) { record("Title"), TNumEdit::setTitle(v); }
    void setVisible(bool v) override { record("Visible"), TNumEdit::setVisible(v); }

    void FinishLoading() override
    {
        ++finishLoadingCalls;
        stateAtFinish = componentState();
        TNumEdit::FinishLoading();
    }

private:
    void record(const char *property) { calls.push_back({property, componentState()}); }
};
