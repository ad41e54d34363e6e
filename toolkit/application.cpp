#include "application.h"

#include "exception.h"
#include "message_box.h"

namespace tk
{

Application::Application(int &argc, char **argv) : QApplication(argc, argv) {}

Application::~Application()
{
    // Threads still waiting for a box must not reach a dying application.
    closeAllMessageBoxes();
}

bool Application::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const Exception &error) {
        showException(error);
        return true;
    }
}

} // namespace tk
