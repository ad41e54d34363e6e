#include "show_error.h"

#include "message_box.h"

void ShowError(const QString &text)
{
    tk::errorBox(text, QStringLiteral("Error"));
}
