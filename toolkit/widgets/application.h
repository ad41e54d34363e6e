#pragma once

#include <QApplication>

namespace tk
{

// The application object. Qt's event loop is not exception-safe, so an Exception that
// escapes an event handler is caught here and shown with the standard error display; the
// loop goes on.
class Application : public QApplication
{
public:
    Application(int &argc, char **argv);
    ~Application() override;
    bool notify(QObject *receiver, QEvent *event) override;
};

} // namespace tk
