#include "message_box.h"

#include "exception.h"

#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <QPointer>
#include <QThread>

#include <condition_variable>
#include <memory>
#include <mutex>

namespace tk
{

namespace
{

struct Waiter {
    std::mutex mutex;
    std::condition_variable done;
    bool closed = false;

    void release()
    {
        {
            std::lock_guard lock(mutex);
            closed = true;
        }
        done.notify_all();
    }
};

struct BoxRegistry {
    std::mutex mutex;
    bool record = false;
    bool shuttingDown = false;
    std::vector<RecordedBox> recorded;
    std::vector<std::shared_ptr<Waiter>> waiters; // threads waiting for a box
    std::vector<QPointer<QMessageBox>> open;      // GUI thread only
};

BoxRegistry &registry()
{
    static BoxRegistry r;
    return r;
}

bool onGuiThread()
{
    return QCoreApplication::instance() &&
           QThread::currentThread() == QCoreApplication::instance()->thread();
}

QMessageBox *makeBox(const QString &text, const QString &caption)
{
    auto *box = new QMessageBox(QMessageBox::Critical, caption, text, QMessageBox::Ok);
    box->setTextFormat(Qt::PlainText);
    box->setObjectName(QStringLiteral("errorBox"));
    return box;
}

} // namespace

void errorBox(const QString &text, const QString &caption)
{
    BoxRegistry &r = registry();
    {
        std::lock_guard lock(r.mutex);
        if (r.record) {
            r.recorded.push_back({caption, text});
            return;
        }
        if (r.shuttingDown || !QCoreApplication::instance())
            return;
    }

    if (onGuiThread()) {
        std::unique_ptr<QMessageBox> box(makeBox(text, caption));
        r.open.emplace_back(box.get());
        box->exec();
        return;
    }

    auto waiter = std::make_shared<Waiter>();
    {
        std::lock_guard lock(r.mutex);
        if (r.shuttingDown)
            return;
        r.waiters.push_back(waiter);
        // Posted while holding the registry lock so that shutdown cannot pull the application
        // away in between.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [text, caption, waiter] {
                BoxRegistry &reg = registry();
                if (reg.shuttingDown) {
                    waiter->release();
                    return;
                }
                QMessageBox *box = makeBox(text, caption);
                box->setAttribute(Qt::WA_DeleteOnClose);
                box->setWindowModality(Qt::NonModal);
                QObject::connect(box, &QObject::destroyed, [waiter] { waiter->release(); });
                reg.open.emplace_back(box);
                box->show();
            },
            Qt::QueuedConnection);
    }
    std::unique_lock lock(waiter->mutex);
    waiter->done.wait(lock, [&] { return waiter->closed; });
    std::lock_guard regLock(r.mutex);
    std::erase(r.waiters, waiter);
}

void showException(const Exception &error)
{
    errorBox(QString::fromStdString(error.message()) + QLatin1Char('.'), applicationTitle());
}

QString applicationTitle()
{
    QString name = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    int dot = name.indexOf(QLatin1Char('.'));
    if (dot >= 0)
        name.truncate(dot);
    if (name.size() > 1)
        name = name.left(1) + name.mid(1).toLower();
    return name;
}

void closeAllMessageBoxes()
{
    BoxRegistry &r = registry();
    std::vector<std::shared_ptr<Waiter>> waiters;
    {
        std::lock_guard lock(r.mutex);
        r.shuttingDown = true;
        waiters = r.waiters;
    }
    for (auto &box : r.open)
        if (box)
            box->done(QMessageBox::Ok);
    r.open.clear();
    for (auto &w : waiters)
        w->release();
}

void setRecordMessageBoxes(bool record)
{
    std::lock_guard lock(registry().mutex);
    registry().record = record;
    registry().shuttingDown = false;
}

std::vector<RecordedBox> takeRecordedBoxes()
{
    std::lock_guard lock(registry().mutex);
    return std::exchange(registry().recorded, {});
}

std::vector<QMessageBox *> openMessageBoxes()
{
    std::vector<QMessageBox *> result;
    for (auto &box : registry().open)
        if (box && box->isVisible())
            result.push_back(box);
    return result;
}

} // namespace tk
