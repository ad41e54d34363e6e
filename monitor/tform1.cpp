#include "tform1.h"

#include "line_model.h"
#include "message_box.h"
#include "receiver.h"
#include "show_error.h"
#include "ui_tform1.h"

#include <numedit/exception.h>
#include <numedit/form_reading_scope.h>
#include <numedit/tnumedit.h>

#include <QAction>
#include <QClipboard>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QListView>
#include <QMenu>
#include <QScreen>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cmath>
#include <malloc.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <system_error>

namespace
{

constexpr auto kCloseGrace = std::chrono::milliseconds(200);
constexpr int kFrameMs = 16;
// Freeing this much makes the GUI thread trim malloc's heaps (a few ms at most).
constexpr std::size_t kTrimAfterBytes = 16 * 1024 * 1024;

// The port field's value truncated toward zero; its low 16 bits are the port.
std::uint16_t portFromValue(double value)
{
    if (!std::isfinite(value))
        return 0;
    double low = std::fmod(std::trunc(value), 65536.0); // exact, also beyond 32 bits
    if (low < 0)
        low += 65536.0;
    return static_cast<std::uint16_t>(low);
}

} // namespace

TForm1::TForm1(QWidget *parent) : QWidget(parent), m_ui(std::make_unique<Ui::Form1>())
{
    {
        tk::FormReadingScope form;
        m_ui->setupUi(this);
    }
    // The window opens with the focus where the tab order starts.
    m_ui->nePort->setFocus(Qt::OtherFocusReason);
    m_shared = std::make_shared<ReceiverShared>(m_ui->neCycle->valueSource());
    m_shared->setContact(
        this, [this] { linesArrived(); }, [this] { receiverEnded(); });

    m_model = new LineModel(this);
    m_ui->lb1->setModel(m_model);
    auto *copy = new QAction(QStringLiteral("Copy"), m_ui->lb1);
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetShortcut);
    connect(copy, &QAction::triggered, this, [this] { copySelectedLine(); });
    m_ui->lb1->addAction(copy);
    m_ui->lb1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_ui->lb1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &at) { showLineMenu(at); });
    // Said when memory has run out, so it is made now.
    tk::prepareErrorBox(this, refusedLineMessage(), QStringLiteral("Error"));

    m_frameTimer.setSingleShot(true);
    connect(&m_frameTimer, &QTimer::timeout, this, [this] { showLines(); });
    m_sinceShown.start();

    // toggled, not clicked: every change of the box's state counts, also a programmatic one.
    connect(m_ui->cbListen, &QCheckBox::toggled, this,
            [this] { guarded([this] { cbListenClick(); }); });
    connect(m_ui->btnClear, &QPushButton::clicked, this,
            [this] { guarded([this] { btnClearClick(); }); });
}

TForm1::~TForm1()
{
    m_shared->clearContact();
    m_shared->requestStop();
}

TNumEdit *TForm1::nePort() const
{
    return m_ui->nePort;
}
QCheckBox *TForm1::cbListen() const
{
    return m_ui->cbListen;
}
QPushButton *TForm1::btnClear() const
{
    return m_ui->btnClear;
}
TNumEdit *TForm1::neCycle() const
{
    return m_ui->neCycle;
}
QListView *TForm1::lb1() const
{
    return m_ui->lb1;
}

template <typename F> void TForm1::guarded(F &&handler)
{
    try {
        handler();
    } catch (const tk::Exception &error) {
        tk::showException(error);
    }
}

void TForm1::setHeldBytesLimit(std::size_t bytes)
{
    m_shared->setHeldBytesLimit(bytes);
}

void TForm1::cbListenClick()
{
    // One load: a stopping thread may end at any moment, and two looks could see Running from
    // before its end and StopRequest from after it. Only this thread sets either bit, so what
    // the load saw can change only by the thread ending, which it then reports through
    // receiverEnded().
    const std::uint32_t bits = m_shared->flags().load();
    if (m_flagsRead)
        m_flagsRead();
    const bool running = bits & ListenerFlags::Running;
    const bool stopping = running && (bits & ListenerFlags::StopRequest);
    if (!m_ui->cbListen->isChecked()) {
        m_startWhenStopped = false;
        // Only a running thread clears a stop request; raising one otherwise would stop the
        // next thread at its first pass.
        if (running && !stopping)
            m_shared->requestStop();
        return;
    }
    if (running) {
        // The previous thread is still stopping: listen as soon as it has ended.
        if (stopping)
            m_startWhenStopped = true;
        return;
    }
    startListening();
}

void TForm1::startListening()
{
    SocketDescriptor socket;
    try {
        socket = OpenSocket();
    } catch (const tk::Exception &) {
        // The port does not read as a number: nothing listens, so the box must not say so.
        m_ui->cbListen->setChecked(false);
        throw;
    }
    try {
        m_shared->startThread(std::move(socket)); // the receive thread owns it now
    } catch (const std::system_error &error) {
        m_ui->cbListen->setChecked(false);
        ShowError(
            QStringLiteral("Unable to start the receive thread: %1").arg(error.code().value()));
    }
}

SocketDescriptor TForm1::OpenSocket()
{
    m_boundPort = 0;
    SocketDescriptor socket(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!socket.isValid()) {
        ShowError(QStringLiteral("Socket Failed"));
        return socket;
    }
    // Throws when the field cannot be read; the socket is closed on the way out.
    const double value = m_ui->nePort->GetValue();
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(portFromValue(value));
    if (::bind(socket.get(), reinterpret_cast<const sockaddr *>(&address), sizeof address) < 0) {
        const int error = errno;
        ShowError(QStringLiteral("bind failed: %1").arg(error));
        return socket; // open and unbound; the receive thread closes it
    }
    sockaddr_in bound{};
    socklen_t length = sizeof bound;
    if (::getsockname(socket.get(), reinterpret_cast<sockaddr *>(&bound), &length) == 0)
        m_boundPort = ntohs(bound.sin_port);
    return socket;
}

void TForm1::btnClearClick()
{
    m_shared->clearLines();
    showLines();
}

void TForm1::FormClose()
{
    m_startWhenStopped = false;
    m_shared->requestStop();
    // A receive thread held by an error box is released, sees the request and ends.
    tk::closeAllMessageBoxes();
    m_shared->waitUntilStopped(kCloseGrace);
}

void TForm1::linesArrived()
{
    if (m_frameTimer.isActive())
        return;
    const qint64 since = m_sinceShown.elapsed();
    if (since >= kFrameMs)
        showLines();
    else
        m_frameTimer.start(int(kFrameMs - since));
}

void TForm1::showLines()
{
    m_frameTimer.stop();
    m_sinceShown.restart();
    LineStore::Snapshot snapshot = m_shared->linesForView();
    const std::size_t freed = snapshot.retiredBytes;
    if (m_model->apply(snapshot)) {
        const QModelIndex newest = m_model->index(m_model->rowCount() - 1);
        m_ui->lb1->setCurrentIndex(newest);
        m_ui->lb1->scrollTo(newest);
    }
    // Cleared lines are freed here, outside the lock (full blocks go back to the reserve or to
    // the system). Their index pages are malloc's: trimming hands the room they leave back to
    // the system too, so memory drops after every "Clear", not only the first.
    snapshot = {};
    if (freed >= kTrimAfterBytes)
        malloc_trim(0);
    m_shared->prepareBlocks();
}

void TForm1::receiverEnded()
{
    if (m_startWhenStopped && m_ui->cbListen->isChecked() &&
        !m_shared->flags().test(ListenerFlags::Running)) {
        m_startWhenStopped = false;
        guarded([this] { startListening(); });
    }
}

void TForm1::copySelectedLine()
{
    const QModelIndex current = m_ui->lb1->currentIndex();
    if (current.isValid())
        QGuiApplication::clipboard()->setText(m_model->lineText(current.row()));
}

void TForm1::showLineMenu(const QPoint &at)
{
    // What "Copy" copies is decided now: lines keep arriving while the menu is open, and each
    // view update selects the newest line. A right-click inside the selection copies the
    // selection, anywhere else the row under the pointer.
    QListView *list = m_ui->lb1;
    const QModelIndex clicked = list->indexAt(at);
    QModelIndexList rows;
    if (clicked.isValid() && !list->selectionModel()->isSelected(clicked))
        rows.append(clicked);
    else
        rows = list->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end());
    QStringList texts;
    for (const QModelIndex &row : rows)
        texts.append(m_model->lineText(row.row()));
    const QString text = texts.join(QLatin1Char('\n'));

    auto *menu = new QMenu(list);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->setObjectName(QStringLiteral("lineMenu"));
    QAction *copy = menu->addAction(QStringLiteral("Copy"));
    copy->setShortcut(QKeySequence::Copy);
    copy->setEnabled(!rows.isEmpty());
    connect(copy, &QAction::triggered, this,
            [text] { QGuiApplication::clipboard()->setText(text); });
    menu->popup(list->viewport()->mapToGlobal(at));
}

void TForm1::closeEvent(QCloseEvent *event)
{
    FormClose();
    QWidget::closeEvent(event);
}

void TForm1::showEvent(QShowEvent *event)
{
    if (!m_centred) {
        m_centred = true;
        if (QScreen *s = screen()) {
            QRect frame = frameGeometry();
            frame.moveCenter(s->availableGeometry().center());
            move(frame.topLeft());
        }
    }
    QWidget::showEvent(event);
}
