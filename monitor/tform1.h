#pragma once

#include "socket_descriptor.h"

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include <cstddef>
#include <functional>
#include <memory>

namespace Ui
{
class Form1;
}
class LineModel;
class QCheckBox;
class QListView;
class QPushButton;
class ReceiverShared;
class TNumEdit;

// The main window: the list of received lines and the panel with the port field, "Listen",
// "Clear" and the cycle field. Built from its stored form; one handler per user event.
class TForm1 : public QWidget
{
    Q_OBJECT

public:
    explicit TForm1(QWidget *parent = nullptr);
    ~TForm1() override;

    TNumEdit *nePort() const;
    QCheckBox *cbListen() const;
    QPushButton *btnClear() const;
    TNumEdit *neCycle() const;
    QListView *lb1() const;
    LineModel *lines() const { return m_model; }
    ReceiverShared &receiver() const { return *m_shared; }
    // The most memory that held lines may take, in bytes; beyond it datagrams are refused.
    // Half of the machine's memory unless set.
    void setHeldBytesLimit(std::size_t bytes);
    // The UDP port the last socket was bound to (0 when none), e.g. after the system chose it.
    int boundPort() const { return m_boundPort; }

    // The handlers.
    void cbListenClick();
    void btnClearClick();
    void FormClose();
    // Makes the listening socket and binds it to the port field's port. Failures are shown; the
    // socket is then none (it could not be made) or unbound. Throws tk::EConvertError when the
    // port field does not read as a number, and closes the socket then.
    SocketDescriptor OpenSocket();

    // For tests: runs in cbListenClick right after the listener flags were read, so that a
    // test can let a stopping receive thread end in that very moment.
    void setFlagsReadHook(std::function<void()> hook) { m_flagsRead = std::move(hook); }

    // Queued calls from the receive thread.
    void linesArrived();
    void receiverEnded();

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void startListening();
    void showLines();
    void copySelectedLine();
    // The context menu of the list, at a point of its viewport.
    void showLineMenu(const QPoint &at);
    // Runs a handler; an Exception it raises is shown with the standard error display.
    template <typename F> void guarded(F &&handler);

    std::unique_ptr<Ui::Form1> m_ui; // the stored form names the window Form1
    LineModel *m_model = nullptr;
    std::shared_ptr<ReceiverShared> m_shared;
    int m_boundPort = 0;
    bool m_startWhenStopped = false; // "Listen" ticked while the previous thread was stopping
    bool m_centred = false;
    std::function<void()> m_flagsRead;
    QTimer m_frameTimer;
    QElapsedTimer m_sinceShown;
};
