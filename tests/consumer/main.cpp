#include <tnumedit.h>

#include <QApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    TNumEdit field;
    field.setNumMask(QStringLiteral("<0"));
    field.setText(QStringLiteral("7"));
    const double value = field.GetValue();
    if (value != 7) {
        std::fprintf(stderr, "GetValue gave %g for the text \"%s\"\n", value,
                     qPrintable(field.text()));
        return 1;
    }
    std::puts("GetValue gave 7");
    return 0;
}
