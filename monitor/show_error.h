#pragma once

#include <QString>

// A box captioned "Error" with the stop-sign icon; returns when the user has closed it.
// Callable from either thread: from the receive thread it blocks only that thread.
void ShowError(const QString &text);
