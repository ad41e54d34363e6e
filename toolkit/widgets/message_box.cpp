#include "message_box.h"

#include <numedit/exception.h>

#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <QPointer>
#include <QThread>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <new>

#include <unistd.h>

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

// A box made ahead of need, and the thread waiting for it while it shows.
struct PreparedBox {
    QPointer<QMessageBox> box;
    std::shared_ptr<Waiter> waiter;
};

struct BoxRegistry {
    std::mutex mutex;
    bool record = false;
    bool shuttingDown = false;
    std::atomic<bool> creationFails{false};
    std::vector<RecordedBox> recorded;
    std::vector<std::shared_ptr<Waiter>> waiters; // threads waiting for a box
    std::vector<QPointer<QMessageBox>> open;      // GUI thread only
    std::vector<PreparedBox> prepared;            // GUI thread only
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

QMessageBox *makeBox(const QString &text, const QString &caption, QWidget *parent = nullptr)
{
    if (registry().creationFails.load())
        throw std::bad_alloc();
    auto *box = new QMessageBox(QMessageBox::Critical, caption, text, QMessageBox::Ok, parent);
    box->setTextFormat(Qt::PlainText);
    box->setObjectName(QStringLiteral("errorBox"));
    return box;
}

// Lists a box about to show among the open ones, dropping those that have gone or closed.
void listOpen(QMessageBox *box)
{
    std::vector<QPointer<QMessageBox>> &open = registry().open;
    std::erase_if(open, [](const QPointer<QMessageBox> &b) { return !b || !b->isVisible(); });
    open.emplace_back(box);
}

// The prepared box for this message when it is free, else null. GUI thread.
PreparedBox *preparedFor(const QString &text, const QString &caption)
{
    for (PreparedBox &p : registry().prepared)
        if (p.box && !p.box->isVisible() && !p.waiter && p.box->text() == text &&
            p.box->windowTitle() == caption)
            return &p;
    return nullptr;
}

// Where a message goes when no box can be shown for it: a write needs no memory.
void writeToStandardError(const QString &caption, const QString &text) noexcept
{
    try {
        const QByteArray line = (caption + QStringLiteral(": ") + text).toUtf8() + '\n';
        if (::write(STDERR_FILENO, line.constData(), std::size_t(line.size())) >= 0)
            return;
    } catch (const std::bad_alloc &) {
    }
    static const char fixed[] = "A message could not be shown: out of memory\n";
    (void)!::write(STDERR_FILENO, fixed, sizeof fixed - 1);
}

// Shows a box that does not block the windows, for a thread that waits until it is closed.
// Under memory pressure the prepared box serves, or the message goes to standard error and
// the thread goes on at once.
void showForThread(const QString &text, const QString &caption,
                   const std::shared_ptr<Waiter> &waiter)
{
    BoxRegistry &reg = registry();
    try {
        if (PreparedBox *p = preparedFor(text, caption)) {
            p->waiter = waiter;
            listOpen(p->box);
            p->box->setWindowModality(Qt::NonModal);
            p->box->show();
            return;
        }
        QMessageBox *box = makeBox(text, caption);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setWindowModality(Qt::NonModal);
        QObject::connect(box, &QObject::destroyed, [waiter] { waiter->release(); });
        listOpen(box);
        box->show();
        return;
    } catch (const std::bad_alloc &) {
    }
    for (PreparedBox &p : reg.prepared)
        if (p.waiter == waiter)
            p.waiter.reset();
    writeToStandardError(caption, text);
    waiter->release();
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
        try {
            if (PreparedBox *p = preparedFor(text, caption)) {
                listOpen(p->box);
                p->box->setWindowModality(Qt::ApplicationModal);
                p->box->exec();
                return;
            }
            std::unique_ptr<QMessageBox> box(makeBox(text, caption));
            listOpen(box.get());
            box->exec();
        } catch (const std::bad_alloc &) {
            writeToStandardError(caption, text);
        }
        return;
    }

    std::shared_ptr<Waiter> waiter;
    try {
        waiter = std::make_shared<Waiter>();
        std::lock_guard lock(r.mutex);
        if (r.shuttingDown)
            return;
        r.waiters.push_back(waiter);
        try {
            // Posted while holding the registry lock so that shutdown cannot pull the
            // application away in between.
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [text, caption, waiter] {
                    if (registry().shuttingDown)
                        waiter->release();
                    else
                        showForThread(text, caption, waiter);
                },
                Qt::QueuedConnection);
        } catch (...) {
            r.waiters.pop_back();
            throw;
        }
    } catch (const std::bad_alloc &) {
        writeToStandardError(caption, text);
        return;
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

void prepareErrorBox(QWidget *parent, const QString &text, const QString &caption)
{
    BoxRegistry &r = registry();
    QMessageBox *box = makeBox(text, caption, parent);
    // Its native window and layout are made now too, so that showing it asks for little.
    box->ensurePolished();
    box->adjustSize();
    (void)box->winId();
    // The thread waiting for it goes on when it is closed; the box stays for the next time.
    QObject::connect(box, &QDialog::finished, box, [box] {
        for (PreparedBox &p : registry().prepared)
            if (p.box == box && p.waiter)
                std::exchange(p.waiter, nullptr)->release();
    });
    std::erase_if(r.prepared, [](const PreparedBox &p) { return !p.box; });
    r.prepared.push_back({box, nullptr});
    r.open.reserve(r.open.size() + 4); // room to list it while memory is short
}

void setBoxCreationFails(bool fail)
{
    registry().creationFails = fail;
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
