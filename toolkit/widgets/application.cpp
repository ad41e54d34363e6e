#include "application.h"

#include "message_box.h"

#include <numedit/exception.h>

#include <new>

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
    } catch (const std::bad_alloc &) {
        // Memory ran out while handling this event: it is dropped, and the loop goes on with
        // the memory that the handler's unwinding gave back.
        return true;
    }
}

} // namespace tk
