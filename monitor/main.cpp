#include "application.h"
#include "exception.h"
#include "message_box.h"
#include "tnumedit.h"

#include <QVBoxLayout>
#include <QWidget>

int main(int argc, char *argv[])
{
    tk::Application app(argc, argv);
    try {
        QWidget window;
        window.setWindowTitle(QStringLiteral("Vestrel by Orlund"));
        auto *port = new TNumEdit(&window);
        port->setNumMask(QStringLiteral("<0"));
        port->setText(QStringLiteral("20010"));
        auto *cycle = new TNumEdit(&window);
        cycle->setNumMask(QStringLiteral("<0"));
        cycle->setText(QStringLiteral("0"));
        auto *layout = new QVBoxLayout(&window);
        layout->addWidget(port);
        layout->addWidget(cycle);
        window.show();
        app.exec();
    } catch (const tk::Exception &error) {
        tk::showException(error);
    }
    return 0;
}
