// Faults and floods against the real window on the offscreen platform, over 127.0.0.1 only:
// datagrams of every size, a flood while the user clears and edits the cycle, a thousand
// toggles of "Listen", closing under load or with an error box open, and text from outside
// that must stay inert. Nothing may crash, hang, leak a descriptor or a thread, or lose a line
// that the kernel delivered. (The failed listens are in test_monitor.cpp.)
#include "line_text.h"
#include "monitor_fixture.h"
#include "udp_support.h"

#include <QApplication>
#include <QFontMetrics>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QStyleOptionViewItem>
#include <QTimer>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <optional>
#include <random>
#include <thread>

namespace
{

using namespace std::chrono_literals;

// Datagrams "F0000000000", "F0000000001", ... from a thread of its own, until stopped or
// count were sent. At full speed the kernel drops what the receiving socket's queue cannot
// hold. Paced, the flood waits whenever that queue holds more than a quarter of its room, so
// the kernel drops nothing and every gap is the program's.
class Flood
{
public:
    enum Speed { Full, Paced };

    Flood(int port, Speed speed, std::uint64_t first, std::uint64_t count = 5'000'000)
        : m_next(first), m_end(first + count), m_thread([this, port, speed] { run(port, speed); })
    {
    }
    ~Flood() { stop(); }

    // The number the next datagram would have carried.
    std::uint64_t stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        return m_next;
    }

private:
    void run(int port, Speed speed)
    {
        DatagramSender sender(port);
        char text[16];
        for (unsigned k = 0; !m_stop && m_next < m_end; ++k) {
            if (speed == Paced && k % 16 == 0) {
                while (!m_stop &&
                       udpSocketCounters(port).value_or(UdpSocketCounters()).queuedBytes > 50000)
                    std::this_thread::sleep_for(100us);
            }
            const int n = std::snprintf(text, sizeof text, "F%010llu",
                                        static_cast<unsigned long long>(m_next.load()));
            if (!sender.send(std::string_view(text, static_cast<std::size_t>(n))))
                break;
            ++m_next;
        }
    }

    std::atomic<bool> m_stop{false};
    std::atomic<std::uint64_t> m_next;
    const std::uint64_t m_end;
    std::thread m_thread; // last, so that it starts after the counters exist
};

std::optional<std::uint64_t> floodNumber(const QString &line)
{
    if (line.size() != 11 || line[0] != QLatin1Char('F'))
        return std::nullopt;
    bool ok = false;
    const std::uint64_t n = line.mid(1).toULongLong(&ok);
    return ok ? std::optional(n) : std::nullopt;
}

// Watches the list as it changes: every row it ever shows is a flood line, each with a higher
// number than any shown before it (no line twice, none out of order, nothing else), and within
// one run of lines between two clears the numbers skipped are datagrams lost on the way.
class FloodWatch : public QObject
{
public:
    explicit FloodWatch(LineModel *model) : m_model(model)
    {
        connect(model, &QAbstractItemModel::rowsInserted, this,
                [this](const QModelIndex &, int first, int last) { look(first, last); });
        connect(model, &QAbstractItemModel::modelReset, this, [this] {
            m_inRun = false; // a clear: the next row starts a new run
            look(0, m_model->rowCount() - 1);
        });
    }

    std::uint64_t skipped = 0;
    std::uint64_t rowsSeen = 0;
    int misfits = 0;
    QString firstMisfit;

private:
    void look(int first, int last)
    {
        for (int row = first; row <= last; ++row) {
            ++rowsSeen;
            const QString line = m_model->lineText(row);
            const std::optional<std::uint64_t> n = floodNumber(line);
            if (!n || (m_any && *n <= m_highest)) {
                if (misfits++ == 0)
                    firstMisfit =
                        QStringLiteral("row %1: '%2' after F%3").arg(row).arg(line).arg(m_highest);
                continue;
            }
            if (m_inRun)
                skipped += *n - m_highest - 1;
            m_highest = *n;
            m_any = m_inRun = true;
        }
    }

    LineModel *m_model;
    std::uint64_t m_highest = 0;
    bool m_any = false;
    bool m_inRun = false;
};

class Faults : public MonitorFixture
{
protected:
    // The error boxes recorded so far, all of them.
    std::vector<tk::RecordedBox> &boxes()
    {
        for (auto &box : tk::takeRecordedBoxes())
            m_boxes.push_back(std::move(box));
        return m_boxes;
    }

    // Types into the cycle field over its whole text, as a user does, and presses Enter
    // unless the text is left half typed.
    void typeCycle(const char *keys, bool enter = true)
    {
        TNumEdit *cycle = form->neCycle();
        cycle->selectAll();
        QTest::keyClicks(cycle, QString::fromLatin1(keys));
        if (enter)
            QTest::keyClick(cycle, Qt::Key_Return);
    }

    std::vector<tk::RecordedBox> m_boxes;
};

TEST_F(Faults, EveryDatagramSizeGivesOneLineOrOneErrorInOrder)
{
    const int port = listen();
    // Each size twice: once of bytes 32 to 255 only, so that its line runs to the 1600 cut,
    // and once of any bytes, so that it ends at a control byte.
    std::vector<std::size_t> sizes;
    for (std::size_t s : {0, 1, 2, 3, 5, 8, 31, 32, 33, 1598, 1599, 1600, 1601, 1602, 1603, 2048,
                          4096, 65506, 65507})
        sizes.insert(sizes.end(), {s, s});
    std::mt19937 random(20010); // fixed: a failure repeats
    std::uniform_int_distribution<std::size_t> anySize(0, 65507);
    for (int i = 0; i < 40; ++i)
        sizes.push_back(anySize(random));

    DatagramSender sender(port);
    std::vector<std::string> expectedLines; // the bytes: up to the first control byte, 1600 at most
    std::size_t expectedBoxes = 0;
    for (std::size_t k = 0; k < sizes.size(); ++k) {
        std::uniform_int_distribution<int> byte(k % 2 ? 0 : 32, 255);
        std::string payload(sizes[k], '\0');
        for (char &c : payload)
            c = static_cast<char>(byte(random));
        char number[24];
        std::snprintf(number, sizeof number, "#%05zu", k);
        payload.replace(0, std::min<std::size_t>(payload.size(), 6), number,
                        std::min<std::size_t>(payload.size(), 6));
        SCOPED_TRACE(testing::Message() << "datagram " << k << " of " << sizes[k] << " bytes");

        ASSERT_TRUE(sender.send(payload));
        if (payload.size() <= 1601) {
            std::string line;
            for (char c : payload) {
                if (line.size() == 1600 || static_cast<unsigned char>(c) < 32)
                    break;
                line += c;
            }
            expectedLines.push_back(line);
        } else {
            ++expectedBoxes;
        }
        // One at a time: its line or its box comes before the next datagram is sent.
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                return form->lines()->rowCount() == static_cast<int>(expectedLines.size()) &&
                       boxes().size() == expectedBoxes;
            },
            5000))
            << form->lines()->rowCount() << " rows, " << boxes().size() << " boxes";
    }
    QTest::qWait(100); // nothing more comes
    ASSERT_EQ(form->lines()->rowCount(), static_cast<int>(expectedLines.size()));
    const LineStore::Snapshot stored = form->receiver().snapshot();
    ASSERT_EQ(stored.count, expectedLines.size());
    for (std::size_t row = 0; row < expectedLines.size(); ++row) {
        EXPECT_EQ(stored.lines->text(row), expectedLines[row]) << "row " << row;
        const QModelIndex index = form->lines()->index(static_cast<int>(row));
        EXPECT_EQ(index.data(Qt::DisplayRole).toString(), decodeLine(expectedLines[row]))
            << "row " << row;
    }
    ASSERT_EQ(boxes().size(), expectedBoxes);
    for (const auto &box : m_boxes)
        EXPECT_EQ(box.text, QStringLiteral("recvfrom() failed: %1").arg(EMSGSIZE));
    EXPECT_EQ(form->lb1()->currentIndex().row(), form->lines()->rowCount() - 1);
}

TEST_F(Faults, FloodWhileClearingAndEditingTheCycleLosesNothing)
{
    const int port = listen();
    const auto drops = [&] { return udpSocketCounters(port).value().drops; };
    // Until the receive thread has taken every datagram that the kernel kept, and the list
    // shows it.
    const auto drain = [&] {
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return udpSocketCounters(port).value().queuedBytes == 0; }, 10000));
        QTest::qWait(50);
    };
    // The user at work: "Clear" now and then, and the cycle field retyped, sometimes left half
    // typed so that it does not read as a number for a while.
    const auto work = [&](std::chrono::milliseconds time) {
        const struct {
            const char *keys;
            bool enter;
        } edits[] = {{"300", true}, {"7", true}, {"5*", false},   {"4*25", true},
                     {"0", true},   {"1", true}, {"250/2", true}, {"-3", true}};
        const auto end = std::chrono::steady_clock::now() + time;
        for (int step = 0; std::chrono::steady_clock::now() < end; ++step) {
            QTest::qWait(10);
            if (step % 3 == 0)
                QTest::mouseClick(form->btnClear(), Qt::LeftButton);
            if (step % 5 == 0) {
                const auto &edit = edits[step / 5 % std::size(edits)];
                typeCycle(edit.keys, edit.enter);
            }
        }
    };
    {
        FloodWatch watch(form->lines());
        std::uint64_t next = 0;
        for (Flood::Speed speed : {Flood::Full, Flood::Paced}) {
            SCOPED_TRACE(speed == Flood::Full ? "at full speed" : "paced");
            const unsigned long long dropsBefore = drops();
            const std::uint64_t skippedBefore = watch.skipped;
            Flood flood(port, speed, next);
            work(1500ms);
            const std::uint64_t sent = flood.stop() - next;
            next += sent;
            drain();
            const unsigned long long dropped = drops() - dropsBefore;
            const std::uint64_t skipped = watch.skipped - skippedBefore;
            std::printf("[ flood    ] %s: %llu datagrams sent, %llu dropped by the kernel, "
                        "%llu rows seen\n",
                        speed == Flood::Full ? "full speed" : "paced",
                        static_cast<unsigned long long>(sent), dropped,
                        static_cast<unsigned long long>(watch.rowsSeen));
            // A number missing from a run of lines was dropped by the kernel, never by us.
            EXPECT_LE(skipped, dropped);
            if (speed == Flood::Paced) {
                EXPECT_EQ(dropped, 0u);
            }
            QTest::mouseClick(form->btnClear(), Qt::LeftButton); // the next run starts apart
        }
        EXPECT_GT(watch.rowsSeen, 0u);

        // Paced with nobody clearing: every datagram becomes its line, in order.
        typeCycle("0");
        QTest::mouseClick(form->btnClear(), Qt::LeftButton);
        const unsigned long long dropsBefore = drops();
        Flood flood(port, Flood::Paced, next, 20000);
        EXPECT_TRUE(QTest::qWaitFor([&] { return form->lines()->rowCount() >= 20000; }, 20000));
        EXPECT_EQ(flood.stop(), next + 20000);
        drain();
        EXPECT_EQ(drops(), dropsBefore);
        ASSERT_EQ(form->lines()->rowCount(), 20000);
        EXPECT_EQ(floodNumber(line(0)), next);
        EXPECT_EQ(floodNumber(line(19999)), next + 19999);
        EXPECT_EQ(watch.misfits, 0) << watch.firstMisfit.toStdString();
        EXPECT_EQ(form->lb1()->currentIndex().row(), 19999);
    }
    EXPECT_TRUE(boxes().empty());

    // Then exactly: the cycle typed as an expression, a paced run, every line accounted for.
    typeCycle("4*25");
    EXPECT_EQ(form->neCycle()->text(), QStringLiteral("100"));
    QTest::mouseClick(form->btnClear(), Qt::LeftButton);
    const UdpSocketCounters paced = udpSocketCounters(port).value();
    DatagramSender sender(port);
    for (int i = 0; i < 250; ++i) {
        const QString text = QStringLiteral("P%1").arg(i, 4, 10, QLatin1Char('0'));
        ASSERT_TRUE(sender.send(text.toStdString()));
        if (i % 25 == 24) {
            ASSERT_TRUE(QTest::qWaitFor(
                [&] {
                    const int rows = form->lines()->rowCount();
                    return rows > 0 && line(rows - 1) == text;
                },
                5000))
                << "P" << i;
        }
    }
    EXPECT_EQ(udpSocketCounters(port).value().drops, paced.drops);
    // 250 lines under a cycle of 100: cleared at 100 and 200, the last 50 stay.
    ASSERT_EQ(form->lines()->rowCount(), 50);
    for (int row = 0; row < 50; ++row)
        EXPECT_EQ(line(row), QStringLiteral("P%1").arg(200 + row, 4, 10, QLatin1Char('0')));
    EXPECT_EQ(form->lb1()->currentIndex().row(), 49);
}

TEST_F(Faults, ListenToggledAThousandTimesLeavesNoDescriptorOrThread)
{
    const int descriptors = openDescriptors();
    const int threads = runningThreads();
    const int port = listen();
    form->cbListen()->setChecked(false);
    ASSERT_TRUE(waitUntilStopped());
    // The same port every time: a new socket can bind it only once the old one is closed.
    form->nePort()->setText(QString::number(port));
    {
        DatagramSender sender(port);
        for (int i = 0; i < 500; ++i) {
            form->cbListen()->setChecked(true);
            if (i % 10 == 5)
                QTest::qWait(20); // a thread that waits for datagrams when it is stopped
            if (i % 4 == 0)
                sender.send("toggle " + std::to_string(i));
            if (i % 3 == 0)
                QCoreApplication::processEvents();
            form->cbListen()->setChecked(false);
            if (i % 10 == 0) {
                // Now and then the thread ends before the next check, which starts a new one;
                // otherwise the check comes while the old thread is still stopping.
                ASSERT_TRUE(waitUntilStopped());
                QCoreApplication::processEvents();
            }
        }
    }
    ASSERT_TRUE(waitUntilStopped());
    EXPECT_FALSE(form->cbListen()->isChecked());
    EXPECT_TRUE(settlesAt(descriptors, threads));
    EXPECT_TRUE(boxes().empty()) << boxes().front().text.toStdString();

    QTest::mouseClick(form->btnClear(), Qt::LeftButton);
    form->cbListen()->setChecked(true);
    ASSERT_TRUE(running());
    EXPECT_EQ(form->boundPort(), port);
    sendDatagram(port, "still listening");
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const int rows = form->lines()->rowCount();
            return rows > 0 && line(rows - 1) == QStringLiteral("still listening");
        },
        5000));
}

TEST_F(Faults, ClosingLeavesNoThreadOrDescriptorBehind)
{
    enum class While { Idle, Flooded, HeldByABox };
    const char *const names[] = {"listening idle", "flooded", "held by an error box"};
    for (While situation : {While::Idle, While::Flooded, While::HeldByABox}) {
        SCOPED_TRACE(names[static_cast<int>(situation)]);
        if (!form) {
            form = std::make_unique<TForm1>();
            form->show();
            ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        }
        const int descriptors = openDescriptors();
        const int threads = runningThreads();
        const int port = listen();
        std::optional<Flood> flood;
        if (situation == While::Flooded) {
            flood.emplace(port, Flood::Full, 0);
            ASSERT_TRUE(QTest::qWaitFor([&] { return form->lines()->rowCount() > 100; }, 5000));
        } else if (situation == While::HeldByABox) {
            tk::setRecordMessageBoxes(false);
            sendDatagram(port, std::string(1700, 'z'));
            ASSERT_TRUE(QTest::qWaitFor([] { return !tk::openMessageBoxes().empty(); }, 5000));
        }

        form->close();
        form.reset();
        if (flood)
            flood->stop();
        EXPECT_TRUE(tk::openMessageBoxes().empty());
        EXPECT_TRUE(settlesAt(descriptors, threads));
        EXPECT_FALSE(udpSocketCounters(port).has_value()); // the socket is closed
        tk::setRecordMessageBoxes(true);
        EXPECT_TRUE(boxes().empty());
    }
}

// Until the receive thread has taken every datagram queued for port, and then a moment more
// for the last one's line, without running the event loop.
void waitUntilTaken(int port, std::chrono::milliseconds moment = 20ms)
{
    const auto end = std::chrono::steady_clock::now() + 10s;
    while (udpSocketCounters(port).value_or(UdpSocketCounters()).queuedBytes > 0 &&
           std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(1ms);
    std::this_thread::sleep_for(moment);
}

std::size_t heldBytes(TForm1 &form)
{
    return form.receiver().heldBytes();
}

// Memory running out, or the held lines at their limit: the lines stop being stored, the box
// says so once, every refused datagram is counted, and once lines are stored again the next
// refusal says so again.
TEST_F(Faults, RefusedLinesAreCountedAndReportedOncePerRun)
{
    const int port = listen();
    DatagramSender sender(port);
    ReceiverShared &receiver = form->receiver();
    const std::string text(1000, 'r');
    enum class Cause { Limit, NoMemory };
    for (const Cause cause : {Cause::Limit, Cause::NoMemory, Cause::Limit}) {
        SCOPED_TRACE(cause == Cause::Limit ? "at the limit" : "out of memory");
        QTest::mouseClick(form->btnClear(), Qt::LeftButton);
        ASSERT_TRUE(sender.send("stored"));
        ASSERT_TRUE(waitForRows(1));
        if (cause == Cause::Limit) {
            form->setHeldBytesLimit(200 * 1024);
        } else {
            receiver.setFailAllocations(true);
        }
        const std::uint64_t refusedBefore = receiver.refusedCount();
        const int sent = 400;
        for (int i = 0; i < sent; ++i) {
            ASSERT_TRUE(sender.send(text));
            if (i % 20 == 19)
                waitUntilTaken(port, 0ms);
        }
        waitUntilTaken(port);
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                return form->lines()->rowCount() - 1 +
                           int(receiver.refusedCount() - refusedBefore) ==
                       sent;
            },
            5000))
            << form->lines()->rowCount() << " rows, " << receiver.refusedCount() - refusedBefore
            << " refused";
        EXPECT_GT(receiver.refusedCount(), refusedBefore);
        if (cause == Cause::Limit) {
            EXPECT_LE(heldBytes(*form), 200u * 1024);
        }
        ASSERT_EQ(boxes().size(), 1u);
        EXPECT_EQ(m_boxes[0].caption, QStringLiteral("Error"));
        EXPECT_EQ(m_boxes[0].text, QStringLiteral("Unable to insert a line"));
        m_boxes.clear();
        EXPECT_EQ(line(form->lines()->rowCount() - 1), QString::fromStdString(text));

        form->setHeldBytesLimit(defaultHeldBytesLimit());
        receiver.setFailAllocations(false);
    }
}

// The box that says memory ran out is made in advance: it shows when no new box can be made.
// Another message that needs a new box then goes to standard error, and the receive thread
// does not wait for a box that never came.
TEST_F(Faults, TheOutOfMemoryBoxNeedsNoNewBox)
{
    tk::setRecordMessageBoxes(false);
    tk::setBoxCreationFails(true);
    const int port = listen();
    ReceiverShared &receiver = form->receiver();
    form->setHeldBytesLimit(64 * 1024);
    DatagramSender sender(port);
    const std::string text(1000, 'm');
    std::uint64_t linesSent = 0;
    // Every line sent is stored or refused once the receive thread has taken it.
    const auto allTaken = [&] {
        return receiver.lineCount() + receiver.refusedCount() == linesSent;
    };
    const auto sendUntilRefused = [&] {
        const std::uint64_t before = receiver.refusedCount();
        while (receiver.refusedCount() == before && linesSent < 10000) {
            ASSERT_TRUE(sender.send(text));
            ++linesSent;
            QTest::qWait(1);
        }
    };
    sendUntilRefused();
    ASSERT_TRUE(QTest::qWaitFor([] { return !tk::openMessageBoxes().empty(); }, 5000));
    const auto open = tk::openMessageBoxes();
    ASSERT_EQ(open.size(), 1u);
    EXPECT_EQ(open[0]->text(), QStringLiteral("Unable to insert a line"));
    EXPECT_EQ(open[0]->windowTitle(), QStringLiteral("Error"));

    // Queued behind the open box: a datagram too long (its box cannot be made) and a line.
    ASSERT_TRUE(sender.send(std::string(1700, 'x')));
    ASSERT_TRUE(sender.send(text));
    ++linesSent;
    open[0]->close();
    ASSERT_TRUE(QTest::qWaitFor(allTaken, 5000));
    QTest::qWait(50);
    EXPECT_TRUE(tk::openMessageBoxes().empty());
    tk::setBoxCreationFails(false);

    // Room again: lines are stored, and the next refusal shows the same box again.
    QTest::mouseClick(form->btnClear(), Qt::LeftButton);
    linesSent = 0;
    sendUntilRefused();
    ASSERT_TRUE(QTest::qWaitFor([] { return !tk::openMessageBoxes().empty(); }, 5000));
    EXPECT_EQ(tk::openMessageBoxes().front(), open[0]);
    open[0]->close();
}

// With a cycle, memory stays within a few cycles' worth of lines even while the GUI thread
// takes no lines at all (here: while this test, on the GUI thread, runs no event loop).
TEST_F(Faults, MemoryUnderACycleStaysBoundedWhileTheWindowIsHeld)
{
    const int port = listen();
    const int cycle = 100;
    form->neCycle()->setText(QString::number(cycle));
    const auto lineOf = [](int i) {
        char head[16];
        std::snprintf(head, sizeof head, "C%09d", i);
        return head + std::string(1390, 'c');
    };
    DatagramSender sender(port);
    for (int i = 0; i < cycle; ++i) {
        ASSERT_TRUE(sender.send(lineOf(i)));
        if (i % 25 == 24)
            waitUntilTaken(port, 0ms); // the socket's queue holds about 90 such datagrams
    }
    ASSERT_TRUE(waitForRows(cycle)); // the window has seen these

    LineGeneration one; // what one cycle's lines take
    for (int i = 0; i < cycle; ++i)
        one.append(lineOf(i), {});
    std::size_t most = 0;
    const int sent = 40 * cycle;
    for (int i = cycle; i < sent; ++i) {
        ASSERT_TRUE(sender.send(lineOf(i)));
        if (i % 25 == 24) {
            waitUntilTaken(port, 1ms);
            most = std::max(most, heldBytes(*form));
        }
    }
    EXPECT_LE(most, 2 * one.allocatedBytes());

    // Running again, the window shows the last cycle's lines.
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return line(cycle - 1).toStdString() == lineOf(sent - 1); }, 5000));
    EXPECT_EQ(form->lines()->rowCount(), cycle);
    EXPECT_EQ(line(0).toStdString(), lineOf(sent - cycle));
    EXPECT_EQ(udpSocketCounters(port).value().drops, 0u);
    EXPECT_TRUE(boxes().empty());
}

// Text from the network or the keyboard is shown as it is, never read as markup: a rich-text
// view would render "<b>" in bold and fetch the image of an "<img src=...>".
TEST_F(Faults, MarkupShowsLiterally)
{
    const int port = listen();
    const QString texts[] = {QStringLiteral("<b>x</b>"),
                             QStringLiteral("<img src=\"file:///etc/hostname\" width=400>"),
                             QStringLiteral("&lt;i&gt; &amp;")};
    for (const QString &text : texts)
        sendDatagram(port, text.toStdString());
    ASSERT_TRUE(waitForRows(3));
    const QFontMetrics metrics(form->lb1()->font());
    for (int row = 0; row < 3; ++row) {
        const QModelIndex index = form->lines()->index(row);
        EXPECT_EQ(index.data(Qt::DisplayRole).toString(), texts[row]);
        // Drawn as plain text, the row is as wide as the literal text.
        QStyleOptionViewItem option;
        option.initFrom(form->lb1());
        const QSize hint = form->lb1()->itemDelegateForIndex(index)->sizeHint(option, index);
        EXPECT_GE(hint.width(), metrics.horizontalAdvance(texts[row])) << row;
    }

    // An error box quoting what was typed shows it literally too.
    tk::setRecordMessageBoxes(false);
    form->cbListen()->setChecked(false);
    ASSERT_TRUE(waitUntilStopped());
    form->nePort()->QLineEdit::setText(QStringLiteral("<b>1</b>"));
    QString seenText;
    Qt::TextFormat seenFormat = Qt::AutoText;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        for (QMessageBox *box : tk::openMessageBoxes()) {
            seenText = box->text();
            seenFormat = box->textFormat();
            box->done(QMessageBox::Ok);
        }
    });
    closer.start(10);
    form->cbListen()->setChecked(true); // the box is modal here: it returns once closed
    closer.stop();
    EXPECT_EQ(seenText, QStringLiteral("'<b>1</b>' is not a valid integer value."));
    EXPECT_EQ(seenFormat, Qt::PlainText);
    EXPECT_FALSE(form->cbListen()->isChecked());
}

} // namespace
