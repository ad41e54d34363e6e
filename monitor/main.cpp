#include "application.h"
#include "message_box.h"
#include "tform1.h"

#include <numedit/exception.h>

#include <QIcon>

int main(int argc, char *argv[])
{
    tk::Application app(argc, argv);
    try {
        QApplication::setWindowIcon(QIcon(QStringLiteral(":/vestrel/vestrel-64.png")));
        const auto window = std::make_unique<TForm1>();
        window->show();
        QApplication::exec();
    } catch (const tk::Exception &error) {
        tk::showException(error);
    }
    return 0;
}
