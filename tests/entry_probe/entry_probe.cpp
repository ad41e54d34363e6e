// A Qt generic plugin that the entry tests load into the real program (QT_QPA_GENERIC_PLUGINS
// names it, with a scenario after a colon). It acts as a user would, through the window's
// widgets found by their names, and prints what it sees on standard output, one line each:
//   close           the window opens; it is closed
//   close-with-box  "Listen" on a port the system picks; a datagram too long for the buffer
//                   brings up a box of the receive thread; the window is closed with it open
//   exception       an unreadable port: the standard error display comes up; it is
//                   dismissed and the window closed
#include <QAbstractButton>
#include <QApplication>
#include <QGenericPlugin>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>

#include <arpa/inet.h>
#include <cstdio>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace
{

void say(const QString &line)
{
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

QWidget *mainWindow()
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->objectName() == QLatin1String("Form1") && w->isVisible())
            return w;
    return nullptr;
}

QMessageBox *openBox()
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *box = qobject_cast<QMessageBox *>(w); box && box->isVisible())
            return box;
    return nullptr;
}

// The UDP port of this process's socket bound to every address, or 0.
int listeningPort()
{
    for (int fd = 0; fd < 1024; ++fd) {
        int type = 0;
        socklen_t length = sizeof type;
        if (::getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &length) != 0 || type != SOCK_DGRAM)
            continue;
        sockaddr_in address{};
        length = sizeof address;
        if (::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) == 0 &&
            address.sin_family == AF_INET && address.sin_addr.s_addr == htonl(INADDR_ANY) &&
            address.sin_port != 0)
            return ntohs(address.sin_port);
    }
    return 0;
}

void sendTooLong(int port)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const std::string bytes(1700, 'z');
    ::sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr *>(&to), sizeof to);
    ::close(fd);
}

class Probe : public QObject
{
public:
    explicit Probe(const QString &scenario) : m_scenario(scenario)
    {
        connect(&m_timer, &QTimer::timeout, this, [this] { step(); });
        m_timer.start(20);
    }

private:
    // Listen with the given port text; later, from its own event, as the tick may open a
    // modal box that runs an event loop of its own.
    void tickListen(QWidget *window, const QString &port)
    {
        window->findChild<QLineEdit *>(QStringLiteral("nePort"))->setText(port);
        auto *listen = window->findChild<QAbstractButton *>(QStringLiteral("cbListen"));
        QTimer::singleShot(0, listen, [listen] { listen->setChecked(true); });
    }

    void step()
    {
        if (++m_ticks == 500) { // 10 s
            say(QStringLiteral("still running at step %1").arg(m_step));
            return;
        }
        QWidget *window = mainWindow();
        switch (m_step) {
        case 0:
            // Active first: the port field reads its value when it gets the focus with the
            // window's activation, and would report an unreadable port there a second time.
            if (!window || QApplication::activeWindow() != window)
                return;
            say(QStringLiteral("window: ") + window->windowTitle());
            if (m_scenario == QLatin1String("close-with-box"))
                tickListen(window, QStringLiteral("0"));
            else if (m_scenario == QLatin1String("exception"))
                tickListen(window, QStringLiteral("port"));
            m_step = m_scenario == QLatin1String("close-with-box") ? 1 : 2;
            return;
        case 1:
            if (const int port = listeningPort()) {
                sendTooLong(port);
                m_step = 2;
            }
            return;
        case 2:
            if (m_scenario != QLatin1String("close")) {
                QMessageBox *box = openBox();
                if (!box)
                    return;
                say(QStringLiteral("box: ") + box->windowTitle() + QStringLiteral(": ") +
                    box->text());
                if (m_scenario == QLatin1String("exception")) {
                    box->done(QMessageBox::Ok); // a modal box: dismissed before closing
                    m_step = 3;
                    return;
                }
            }
            m_step = 3;
            [[fallthrough]];
        case 3:
            if (window && (m_scenario == QLatin1String("close-with-box") || !openBox())) {
                say(QStringLiteral("closing"));
                m_step = 4;
                window->close();
            }
            return;
        default:
            return;
        }
    }

    const QString m_scenario;
    QTimer m_timer;
    int m_step = 0;
    int m_ticks = 0;
};

} // namespace

class EntryProbePlugin : public QGenericPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "entry_probe.json")

public:
    QObject *create(const QString &, const QString &scenario) override
    {
        return new Probe(scenario);
    }
};

#include "entry_probe.moc"
