#pragma once

// Header only: a program that uses it links Qt6::UiTools itself, one that does not never needs
// it.
#include <numedit/form_reading_scope.h>
#include <numedit/tnumedit.h>

#include <QUiLoader>

// Loads a form made in Qt Designer at run time the way uic forms are built with a
// tk::FormReadingScope: each TNumEdit in it is this program's own class (qobject_cast works,
// no Designer plugin needed), receives its stored properties while loading, and is live, with
// its title attached and FormatOnCreate applied, when loadForm() returns.
class NumEditUiLoader : public QUiLoader
{
public:
    using QUiLoader::QUiLoader;

    // QUiLoader::load() inside a form-reading scope.
    QWidget *loadForm(QIODevice *device, QWidget *parentWidget = nullptr)
    {
        tk::FormReadingScope reading;
        return load(device, parentWidget);
    }

    QWidget *createWidget(const QString &className, QWidget *parent = nullptr,
                          const QString &name = QString()) override
    {
        if (className != QLatin1String("TNumEdit"))
            return QUiLoader::createWidget(className, parent, name);
        auto *edit = new TNumEdit(parent);
        edit->setObjectName(name);
        return edit;
    }
};
