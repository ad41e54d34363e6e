#include "monitor_fixture.h"
#include "show_error.h"
#include "socket_descriptor.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QFrame>
#include <QHelpEvent>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QToolTip>

#include <sys/resource.h>
#include <sys/stat.h>

namespace
{

using Form = MonitorFixture;

TEST_F(Form, OpensCentredOnTheScreen)
{
    const QRect screen = form->screen()->availableGeometry();
    EXPECT_EQ(form->frameGeometry().center(), screen.center())
        << "window at " << form->frameGeometry().x() << "," << form->frameGeometry().y();
}

TEST_F(Form, HasTheStoredLayoutCaptionsAndTexts)
{
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Vestrel by Orlund"));
    EXPECT_EQ(form->size(), QSize(583, 416));
    auto *panel = form->findChild<QFrame *>(QStringLiteral("Panel1"));
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->geometry(), QRect(470, 0, 113, 416));
    EXPECT_EQ(panel->frameShadow(), QFrame::Sunken);
    EXPECT_EQ(form->lb1()->geometry(), QRect(0, 0, 470, 416));
    EXPECT_EQ(form->nePort()->geometry(), QRect(16, 24, 81, 21));
    EXPECT_EQ(form->cbListen()->geometry(), QRect(16, 48, 57, 17));
    EXPECT_EQ(form->btnClear()->geometry(), QRect(16, 72, 81, 25));
    EXPECT_EQ(form->neCycle()->geometry(), QRect(16, 128, 81, 21));
    EXPECT_EQ(form->cbListen()->text(), QStringLiteral("Listen"));
    EXPECT_FALSE(form->cbListen()->isChecked());
    EXPECT_EQ(form->btnClear()->text(), QStringLiteral("Clear"));
    EXPECT_EQ(form->nePort()->text(), QStringLiteral("20010"));
    EXPECT_EQ(form->neCycle()->text(), QStringLiteral("0"));
    for (TNumEdit *field : {form->nePort(), form->neCycle()}) {
        EXPECT_EQ(field->numMask(), QStringLiteral("<0"));
        EXPECT_EQ(field->numType(), TNumEdit::ntInt);
        EXPECT_TRUE(field->clearOnErr());
        EXPECT_EQ(field->TitleLabel()->parentWidget(), panel);
    }
    EXPECT_EQ(form->nePort()->TitleLabel()->text(), QStringLiteral("Port"));
    EXPECT_EQ(form->nePort()->TitleLabel()->pos(), QPoint(16, 10));
    EXPECT_EQ(form->neCycle()->TitleLabel()->pos(), QPoint(16, 114));
    EXPECT_EQ(form->neCycle()->TitleLabel()->text(), QStringLiteral("Cycle"));
    EXPECT_EQ(form->lines()->rowCount(), 0);

    EXPECT_EQ(form->lb1()->accessibleName(), QStringLiteral("Received lines"));
    EXPECT_EQ(form->nePort()->accessibleName(), QStringLiteral("Port"));
    EXPECT_EQ(form->neCycle()->accessibleName(), QStringLiteral("Cycle"));
    EXPECT_EQ(form->cbListen()->accessibleName(), QStringLiteral("Listen"));
    EXPECT_EQ(form->btnClear()->accessibleName(), QStringLiteral("Clear"));

    // Widening the window widens the list; the panel keeps its width at the right edge.
    form->resize(700, 500);
    QTest::qWait(10);
    EXPECT_EQ(form->lb1()->geometry(), QRect(0, 0, 587, 500));
    EXPECT_EQ(panel->geometry(), QRect(587, 0, 113, 500));
}

TEST_F(Form, TabWalksThePanelThenTheList)
{
    QApplication::setActiveWindow(form.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    EXPECT_EQ(QApplication::focusWidget(), form->nePort()); // where the walk starts
    EXPECT_EQ(form->nePort()->entryText(), QStringLiteral("20010"));
    form->nePort()->setFocus(Qt::TabFocusReason);
    std::vector<QWidget *> walk;
    for (int i = 0; i < 5; ++i) {
        walk.push_back(QApplication::focusWidget());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    const std::vector<QWidget *> expected{form->nePort(), form->cbListen(), form->btnClear(),
                                          form->neCycle(), form->lb1()};
    EXPECT_EQ(walk, expected);
    // Tab from the list comes back to the port field; Shift+Tab walks the other way.
    EXPECT_EQ(QApplication::focusWidget(), form->nePort());
    std::vector<QWidget *> back;
    for (int i = 0; i < 5; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
        back.push_back(QApplication::focusWidget());
    }
    EXPECT_EQ(back, std::vector<QWidget *>(expected.rbegin(), expected.rend()));
}

TEST_F(Form, ControlsAreNamedDescribedAndLabelled)
{
    const std::vector<QWidget *> controls{form->nePort(), form->cbListen(), form->btnClear(),
                                          form->neCycle(), form->lb1()};
    for (QWidget *control : controls) {
        QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(control);
        ASSERT_NE(accessible, nullptr);
        const std::string name = control->objectName().toStdString();
        EXPECT_FALSE(accessible->text(QAccessible::Name).isEmpty()) << name;
        EXPECT_FALSE(accessible->text(QAccessible::Description).isEmpty()) << name;
    }
    // A screen reader reaches a field's title through the label relation.
    for (TNumEdit *field : {form->nePort(), form->neCycle()}) {
        EXPECT_EQ(field->TitleLabel()->buddy(), field);
        const auto labels =
            QAccessible::queryAccessibleInterface(field)->relations(QAccessible::Label);
        ASSERT_EQ(labels.size(), 1) << field->objectName().toStdString();
        EXPECT_EQ(labels[0].first->object(), field->TitleLabel());
    }
}

// Keys go where the keyboard's focus is, as they would for a user.
class Keyboard : public MonitorFixture
{
protected:
    QWidget *press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QWidget *focus = QApplication::focusWidget();
        EXPECT_NE(focus, nullptr);
        if (focus)
            QTest::keyClick(focus, key, modifiers);
        return QApplication::focusWidget();
    }
};

TEST_F(Keyboard, ListensBrowsesAndClearsWithoutAMouse)
{
    QApplication::setActiveWindow(form.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    for (int i = 0; i < 5 && QApplication::focusWidget() != form->nePort(); ++i)
        press(Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), form->nePort());

    press(Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(form->nePort(), QStringLiteral("0")); // the system picks a free port
    ASSERT_EQ(press(Qt::Key_Tab), form->cbListen());
    ASSERT_EQ(form->nePort()->text(), QStringLiteral("0"));
    press(Qt::Key_Space);
    ASSERT_TRUE(form->cbListen()->isChecked());
    ASSERT_TRUE(running());
    ASSERT_GT(form->boundPort(), 0);
    for (const char *text : {"one", "two", "three"})
        sendDatagram(form->boundPort(), text);
    ASSERT_TRUE(waitForRows(3));

    press(Qt::Key_Tab);
    press(Qt::Key_Tab);
    ASSERT_EQ(press(Qt::Key_Tab), form->lb1());
    EXPECT_EQ(form->lb1()->currentIndex().row(), 2);
    press(Qt::Key_Up);
    EXPECT_EQ(form->lb1()->currentIndex().row(), 1);
    press(Qt::Key_Home);
    EXPECT_EQ(form->lb1()->currentIndex().row(), 0);
    press(Qt::Key_End);
    EXPECT_EQ(form->lb1()->currentIndex().row(), 2);

    press(Qt::Key_Backtab, Qt::ShiftModifier);
    ASSERT_EQ(press(Qt::Key_Backtab, Qt::ShiftModifier), form->btnClear());
    press(Qt::Key_Space);
    EXPECT_EQ(form->lines()->rowCount(), 0);

    ASSERT_EQ(press(Qt::Key_Backtab, Qt::ShiftModifier), form->cbListen());
    press(Qt::Key_Space);
    EXPECT_FALSE(form->cbListen()->isChecked());
    EXPECT_TRUE(waitUntilStopped());
}

using Receiver = MonitorFixture;

TEST_F(Receiver, HoveringALineShowsWhenAndFromWhere)
{
    const int port = listen();
    sendDatagram(port, "first");
    const qint64 before = QDateTime::currentMSecsSinceEpoch();
    const int sender = sendDatagramOnce(port, "from a known port");
    ASSERT_GT(sender, 0);
    ASSERT_TRUE(waitForRows(2));
    const qint64 after = QDateTime::currentMSecsSinceEpoch();

    const QModelIndex row = form->lines()->index(1);
    const QString details = form->lines()->data(row, Qt::ToolTipRole).toString();
    const QString from = QStringLiteral(" from 127.0.0.1:%1").arg(sender);
    ASSERT_TRUE(details.endsWith(from)) << details.toStdString();
    const QDateTime arrived = QDateTime::fromString(details.chopped(from.size()),
                                                    QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
    ASSERT_TRUE(arrived.isValid()) << details.toStdString();
    EXPECT_GE(arrived.toMSecsSinceEpoch(), before);
    EXPECT_LE(arrived.toMSecsSinceEpoch(), after);
    EXPECT_EQ(line(1), QStringLiteral("from a known port")); // the line itself is unchanged

    // The list view shows exactly that when the pointer rests on the line.
    QWidget *viewport = form->lb1()->viewport();
    const QPoint spot = form->lb1()->visualRect(row).center();
    QHelpEvent hover(QEvent::ToolTip, spot, viewport->mapToGlobal(spot));
    QApplication::sendEvent(viewport, &hover);
    EXPECT_TRUE(QTest::qWaitFor([&] { return QToolTip::isVisible(); }, 2000));
    EXPECT_EQ(QToolTip::text(), details);
    QToolTip::hideText();
}

TEST_F(Receiver, LinesArriveInOrderNewestSelected)
{
    const int port = listen();

    for (const char *text : {"hello\r\n", "a\tb", "\x01starts with a control byte", "", "abc"})
        sendDatagram(port, text);
    ASSERT_TRUE(waitForRows(5));
    EXPECT_EQ(line(0), QStringLiteral("hello"));
    EXPECT_EQ(line(1), QStringLiteral("a"));
    EXPECT_EQ(line(2), QString());
    EXPECT_EQ(line(3), QString());
    EXPECT_EQ(line(4), QStringLiteral("abc"));
    EXPECT_EQ(form->lb1()->currentIndex().row(), 4);
    EXPECT_TRUE(tk::takeRecordedBoxes().empty());

    // The tooltip tells when and from where; the text stays the line.
    const QString details =
        form->lines()->data(form->lines()->index(4), Qt::ToolTipRole).toString();
    EXPECT_TRUE(details.contains(QStringLiteral("from 127.0.0.1:"))) << details.toStdString();
}

TEST_F(Receiver, LongDatagramsAreCutOrReported)
{
    const int port = listen();
    sendDatagram(port, std::string(1601, 'x'));
    ASSERT_TRUE(waitForRows(1));
    EXPECT_EQ(line(0), QString(1600, QLatin1Char('x')));

    sendDatagram(port, std::string(1602, 'y'));
    sendDatagram(port, "after");
    ASSERT_TRUE(waitForRows(2));
    EXPECT_EQ(line(1), QStringLiteral("after"));
    const auto boxes = tk::takeRecordedBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, QStringLiteral("Error"));
    EXPECT_EQ(boxes[0].text, QStringLiteral("recvfrom() failed: %1").arg(EMSGSIZE));
}

TEST_F(Receiver, CycleRule)
{
    const int port = listen();
    form->neCycle()->setText(QStringLiteral("3"));
    for (const char *text : {"a", "b", "c"})
        sendDatagram(port, text);
    ASSERT_TRUE(waitForRows(3));
    sendDatagram(port, "d"); // the list held 3: emptied, then d
    ASSERT_TRUE(waitForRows(1));
    EXPECT_EQ(line(0), QStringLiteral("d"));
    sendDatagram(port, "e");
    ASSERT_TRUE(waitForRows(2));

    // Cycle 0 never empties; raising it to 2 while 5 lines are there does not either, until
    // the list was cleared another way.
    form->neCycle()->setText(QStringLiteral("0"));
    for (const char *text : {"f", "g", "h"})
        sendDatagram(port, text);
    ASSERT_TRUE(waitForRows(5));
    form->neCycle()->setText(QStringLiteral("2"));
    sendDatagram(port, "i");
    ASSERT_TRUE(waitForRows(6));
    QTest::mouseClick(form->btnClear(), Qt::LeftButton);
    EXPECT_EQ(form->lines()->rowCount(), 0);
    for (const char *text : {"j", "k", "l"})
        sendDatagram(port, text);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return form->lines()->rowCount() == 1 && line(0) == "l"; }, 5000));
}

TEST_F(Receiver, AnUnreadableCycleFieldSkipsTheRuleAndKeepsTheLine)
{
    const int port = listen();
    form->neCycle()->QLineEdit::setText(QStringLiteral("1x"));
    sendDatagram(port, "one");
    sendDatagram(port, "two");
    ASSERT_TRUE(waitForRows(2));
    EXPECT_TRUE(tk::takeRecordedBoxes().empty());
    form->neCycle()->setText(QStringLiteral("2"));
    sendDatagram(port, "three");
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return form->lines()->rowCount() == 1 && line(0) == "three"; }, 5000));
}

TEST_F(Receiver, ClearWhileListeningAndUncheckKeepsLines)
{
    const int port = listen();
    sendDatagram(port, "old");
    ASSERT_TRUE(waitForRows(1));
    QTest::mouseClick(form->btnClear(), Qt::LeftButton);
    EXPECT_EQ(form->lines()->rowCount(), 0);
    sendDatagram(port, "first");
    ASSERT_TRUE(waitForRows(1));
    EXPECT_EQ(line(0), QStringLiteral("first"));

    form->cbListen()->setChecked(false);
    ASSERT_TRUE(waitUntilStopped());
    EXPECT_FALSE(form->receiver().flags().test(ListenerFlags::StopRequest));
    EXPECT_EQ(form->lines()->rowCount(), 1);
    EXPECT_TRUE(udpPortIsFree(port)); // the socket is closed
}

// "Listen" acts on the flags as it read them. The receive thread may end between that read and
// the action; the seam lets a stopping thread end right there.
TEST_F(Receiver, ListenActsOnTheFlagsAsTheyWereWhenTheOldThreadEnds)
{
    for (const bool tick : {true, false}) {
        SCOPED_TRACE(tick ? "ticked again" : "ticked, then unticked again");
        QTest::mouseClick(form->btnClear(), Qt::LeftButton);
        listen();
        ReceiverShared &shared = form->receiver();
        form->cbListen()->setChecked(false); // stopping: the thread ends at its next pass
        if (!tick)
            form->cbListen()->setChecked(true);
        form->setFlagsReadHook(
            [&] { EXPECT_TRUE(shared.waitUntilStopped(std::chrono::seconds(5))); });
        form->cbListen()->setChecked(tick);
        form->setFlagsReadHook({});
        if (tick) {
            // The box says "Listen": a new thread listens.
            ASSERT_TRUE(QTest::qWaitFor([&] { return running(); }, 5000));
            sendDatagram(form->boundPort(), "listening");
            ASSERT_TRUE(waitForRows(1));
            form->cbListen()->setChecked(false);
            ASSERT_TRUE(waitUntilStopped());
        } else {
            // No stop request stays behind to end the next thread at its first pass.
            QTest::qWait(20);
            EXPECT_FALSE(running());
            EXPECT_EQ(shared.flags().load(), 0u);
            sendDatagram(listen(), "listening");
            ASSERT_TRUE(waitForRows(1));
        }
    }
}

TEST_F(Receiver, ListensOnEveryLocalAddress)
{
    const int port = listen();
    // 127.0.0.2 is this machine too, but a socket bound to 127.0.0.1 alone never sees it.
    for (const char *address : {"127.0.0.1", "127.0.0.2"})
        ASSERT_GT(sendDatagramOnce(port, std::string("to ") + address, address), 0);
    ASSERT_TRUE(waitForRows(2));
    EXPECT_EQ(line(0), QStringLiteral("to 127.0.0.1"));
    EXPECT_EQ(line(1), QStringLiteral("to 127.0.0.2"));
}

// The receive thread looks at a stop request at least every 50 ms; unticking ends it within a
// few passes, and closing the window within the 200 ms that the close waits.
TEST_F(Receiver, StoppingEndsTheThreadWithinAFewPasses)
{
    const int port = listen();
    sendDatagram(port, "busy once");
    ASSERT_TRUE(waitForRows(1));
    ReceiverShared &shared = form->receiver();
    form->cbListen()->setChecked(false);
    EXPECT_TRUE(shared.waitUntilStopped(std::chrono::milliseconds(500)));

    listen();
    form->close(); // returns once the thread has ended, or after 200 ms
    EXPECT_FALSE(shared.flags().test(ListenerFlags::Running));
}

TEST_F(Receiver, PortIsTheLow16BitsOfTheField)
{
    // 70000 is port 4464, when nobody else holds it.
    if (!udpPortIsFree(4464))
        GTEST_SKIP() << "port 4464 is in use on this machine";
    form->nePort()->setText(QStringLiteral("70000"));
    form->cbListen()->setChecked(true);
    EXPECT_EQ(form->boundPort(), 4464);
    EXPECT_TRUE(tk::takeRecordedBoxes().empty());
}

TEST_F(Receiver, PortInUseIsReportedAndUncheckingStillStops)
{
    const int descriptors = openDescriptors();
    const int threads = runningThreads();
    SocketDescriptor holder = bindUdpSocket();
    ASSERT_TRUE(holder.isValid());
    form->nePort()->setText(QString::number(localPort(holder)));
    form->cbListen()->setChecked(true);
    const auto boxes = tk::takeRecordedBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, QStringLiteral("Error"));
    EXPECT_EQ(boxes[0].text, QStringLiteral("bind failed: %1").arg(EADDRINUSE));
    EXPECT_TRUE(running()); // the thread runs all the same, on a socket that receives nothing
    form->cbListen()->setChecked(false);
    EXPECT_TRUE(waitUntilStopped());
    holder.close();
    EXPECT_TRUE(settlesAt(descriptors, threads)); // the unbound socket was closed
    listenAgainThenStop(descriptors, threads);
}

TEST_F(Receiver, AnUnreadablePortUnchecksWithoutLeakingTheSocket)
{
    const int before = openDescriptors();
    form->nePort()->QLineEdit::setText(QStringLiteral("port"));
    form->cbListen()->setChecked(true);
    EXPECT_FALSE(form->cbListen()->isChecked());
    EXPECT_FALSE(running());
    EXPECT_EQ(openDescriptors(), before);
    const auto boxes = tk::takeRecordedBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, tk::applicationTitle());
    EXPECT_EQ(boxes[0].text, QStringLiteral("'port' is not a valid integer value."));
    // A later check with a good port listens normally.
    EXPECT_GT(listen(), 0);
}

TEST_F(Receiver, SocketFailureIsReportedAndTheThreadStillStops)
{
    const int descriptors = openDescriptors();
    const int threads = runningThreads();
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &old), 0);
    rlimit none = old;
    none.rlim_cur = 0; // no descriptor can be created at all
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &none), 0);
    form->cbListen()->setChecked(true);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &old), 0);
    const auto boxes = tk::takeRecordedBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, QStringLiteral("Socket Failed"));
    EXPECT_TRUE(running());
    QTest::qWait(120); // a few passes without a socket, without a box
    EXPECT_TRUE(tk::takeRecordedBoxes().empty());
    form->cbListen()->setChecked(false);
    EXPECT_TRUE(waitUntilStopped());
    EXPECT_TRUE(settlesAt(descriptors, threads));
    listenAgainThenStop(descriptors, threads);
}

TEST_F(Receiver, ClosingWhileListeningEndsTheThread)
{
    const int port = listen();
    sendDatagram(port, "x");
    ASSERT_TRUE(waitForRows(1));
    ReceiverShared &shared = form->receiver();
    form->close();
    EXPECT_TRUE(shared.waitUntilStopped(std::chrono::seconds(5)));
}

TEST_F(Receiver, CopyPutsTheSelectedLineOnTheClipboard)
{
    const int port = listen();
    sendDatagram(port, "caf\xc3\xa9 <b>bold?</b>");
    ASSERT_TRUE(waitForRows(1));
    QApplication::clipboard()->clear();
    QTest::keyClick(form->lb1(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), QString::fromUtf8("caf\xc3\xa9 <b>bold?</b>"));
}

// The list's context menu offers "Copy", which copies the selected line.
TEST_F(Receiver, ContextMenuCopyPutsTheSelectedLineOnTheClipboard)
{
    const int port = listen();
    // The second line holds an RLO, drawn as a mark: the copy has the character itself.
    for (const char *text : {"first", "caf\xc3\xa9 <b>second</b>\xe2\x80\xae!", "third"})
        sendDatagram(port, text);
    ASSERT_TRUE(waitForRows(3));
    QListView *list = form->lb1();
    const QPoint spot = list->visualRect(form->lines()->index(1)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, spot);
    ASSERT_EQ(list->currentIndex().row(), 1);
    QApplication::clipboard()->clear();

    QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, spot,
                                list->viewport()->mapToGlobal(spot));
    QApplication::sendEvent(list->viewport(), &menuEvent);
    auto *menu = list->findChild<QMenu *>(QStringLiteral("lineMenu"));
    ASSERT_NE(menu, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(menu));
    QAction *copy = nullptr;
    for (QAction *action : menu->actions())
        if (action->text().remove(QLatin1Char('&')) == QStringLiteral("Copy"))
            copy = action;
    ASSERT_NE(copy, nullptr);
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(copy).center());
    EXPECT_EQ(QApplication::clipboard()->text(),
              QString::fromUtf8("caf\xc3\xa9 <b>second</b>\xe2\x80\xae!"));
}

// The menu's "Copy" copies what was right-clicked, decided when the menu opened: lines that
// arrive while it is open move the selection to the newest line but do not change what is
// copied. Right-clicked inside the selection it copies the selection, elsewhere the row.
TEST_F(Receiver, RightClickCopyCopiesTheClickedRowWhileLinesArrive)
{
    const int port = listen();
    for (int i = 0; i < 10; ++i)
        sendDatagram(port, "line " + std::to_string(i));
    ASSERT_TRUE(waitForRows(10));
    QListView *list = form->lb1();
    enum class Spot { OlderRow, SelectedRow, BelowTheRows };
    const struct {
        const char *what;
        Spot spot;
        QString copied;
    } rows[] = {
        {"an older row", Spot::OlderRow, QStringLiteral("line 3")},
        {"the selected row", Spot::SelectedRow, QStringLiteral("line 9")},
        {"below the rows", Spot::BelowTheRows, QStringLiteral("line 9")},
    };
    int sent = 10;
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        ASSERT_TRUE(waitForRows(sent));
        list->setCurrentIndex(form->lines()->index(9)); // "line 9" selected
        QPoint at;
        switch (row.spot) {
        case Spot::OlderRow:
            at = list->visualRect(form->lines()->index(3)).center();
            break;
        case Spot::SelectedRow:
            at = list->visualRect(form->lines()->index(9)).center();
            break;
        case Spot::BelowTheRows:
            at = {5, list->viewport()->height() - 2};
            break;
        }
        ASSERT_FALSE(list->visualRect(form->lines()->index(sent - 1)).contains(at));
        QContextMenuEvent click(QContextMenuEvent::Mouse, at, list->viewport()->mapToGlobal(at));
        QApplication::sendEvent(list->viewport(), &click);
        auto *menu = list->findChild<QMenu *>(QStringLiteral("lineMenu"));
        ASSERT_NE(menu, nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(menu));

        // Lines arrive while the menu is open, and the newest is selected.
        for (int i = 0; i < 3; ++i)
            sendDatagram(port, "new " + std::to_string(sent++));
        ASSERT_TRUE(waitForRows(sent));
        EXPECT_EQ(list->currentIndex().row(), sent - 1);

        QApplication::clipboard()->clear();
        QAction *copy = menu->actions().value(0);
        ASSERT_NE(copy, nullptr);
        EXPECT_EQ(copy->text(), QStringLiteral("Copy"));
        copy->trigger();
        menu->close();
        EXPECT_EQ(QApplication::clipboard()->text(), row.copied);
        QCoreApplication::processEvents(); // the closed menu goes
    }
}

// Real boxes: the receive thread waits for its box while the window stays usable.
class ReceiverWithBoxes : public MonitorFixture
{
protected:
    void SetUp() override
    {
        MonitorFixture::SetUp();
        tk::setRecordMessageBoxes(false);
    }

    QMessageBox *waitForBox()
    {
        QMessageBox *box = nullptr;
        (void)QTest::qWaitFor(
            [&] {
                auto boxes = tk::openMessageBoxes();
                box = boxes.empty() ? nullptr : boxes.front();
                return box != nullptr;
            },
            5000);
        return box;
    }
};

TEST_F(ReceiverWithBoxes, CheckingWhileStoppingListensOnceTheOldThreadEnded)
{
    listen();
    sendDatagram(form->boundPort(), std::string(1602, 'z'));
    QMessageBox *box = waitForBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->windowTitle(), QStringLiteral("Error"));
    EXPECT_EQ(box->text(), QStringLiteral("recvfrom() failed: %1").arg(EMSGSIZE));
    EXPECT_EQ(box->textFormat(), Qt::PlainText);
    EXPECT_TRUE(form->isEnabled()); // the window stays usable

    form->cbListen()->setChecked(false); // the thread is held by its box: Stopping
    form->cbListen()->setChecked(true);
    EXPECT_TRUE(running());
    box->close();
    // The old thread ends; the check takes effect and a new thread listens.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return running() && !form->receiver().flags().test(ListenerFlags::StopRequest); },
        5000));
    sendDatagram(form->boundPort(), "new thread");
    ASSERT_TRUE(waitForRows(1));
    EXPECT_TRUE(form->cbListen()->isChecked());
}

TEST_F(ReceiverWithBoxes, TheWindowWorksWhileABoxOfTheReceiveThreadIsOpen)
{
    const int port = listen();
    sendDatagram(port, "a line");
    ASSERT_TRUE(waitForRows(1));
    sendDatagram(port, std::string(1602, 'z'));
    QMessageBox *box = waitForBox();
    ASSERT_NE(box, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(box));
    // Through the window, as the system delivers a click: a window that a modal box blocks
    // would not get it.
    QPushButton *clear = form->btnClear();
    QTest::mouseClick(form->windowHandle(), Qt::LeftButton, {},
                      clear->mapTo(form.get(), clear->rect().center()));
    EXPECT_EQ(form->lines()->rowCount(), 0);
    EXPECT_TRUE(box->isVisible());
    box->close();
}

TEST_F(ReceiverWithBoxes, UncheckingWhileStoppingLeavesNoStaleStopRequest)
{
    listen();
    sendDatagram(form->boundPort(), std::string(2000, 'z'));
    QMessageBox *box = waitForBox();
    ASSERT_NE(box, nullptr);
    form->cbListen()->setChecked(false);
    form->cbListen()->setChecked(true);
    form->cbListen()->setChecked(false);
    box->close();
    ASSERT_TRUE(waitUntilStopped());
    EXPECT_EQ(form->receiver().flags().load(), 0u);
    listen(); // the next thread is not stopped at its first pass
    sendDatagram(form->boundPort(), "still listening");
    ASSERT_TRUE(waitForRows(1));
}

TEST_F(ReceiverWithBoxes, ClosingWithAnOpenBoxReleasesTheThread)
{
    listen();
    sendDatagram(form->boundPort(), std::string(1700, 'z'));
    ASSERT_NE(waitForBox(), nullptr);
    ReceiverShared &shared = form->receiver();
    std::shared_ptr<ReceiverShared> keep; // the form goes; the thread's state must not
    form->close();
    EXPECT_TRUE(shared.waitUntilStopped(std::chrono::seconds(5)));
    EXPECT_TRUE(tk::openMessageBoxes().empty());
}

// The socket has one owner at a time and is closed exactly once, where the last one lets go:
// a moved-from descriptor closes nothing, and one that takes another closes its own first.
TEST(SocketDescriptor, ClosesOnceWhereItsOwnerLetsGo)
{
    // Open means the number still names the same socket: another thread may reuse a number
    // as soon as it is closed.
    const auto inode = [](int fd) -> ino_t {
        struct stat s;
        return ::fstat(fd, &s) == 0 ? s.st_ino : 0;
    };
    const int first = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const int second = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(first, 0);
    ASSERT_GE(second, 0);
    const ino_t firstSocket = inode(first), secondSocket = inode(second);
    const auto isOpen = [&](int fd) {
        return inode(fd) == (fd == first ? firstSocket : secondSocket);
    };
    {
        SocketDescriptor owner(first);
        SocketDescriptor taker(std::move(owner));
        EXPECT_FALSE(owner.isValid());
        EXPECT_EQ(taker.get(), first);
        {
            SocketDescriptor other(second);
            other = std::move(taker); // closes second, takes first
            EXPECT_FALSE(isOpen(second));
            EXPECT_TRUE(isOpen(first));
        }
        EXPECT_FALSE(isOpen(first));
    }
    EXPECT_FALSE(SocketDescriptor().isValid());
}

TEST(ShowError, EmptyTextGivesAnEmptyBoxCaptionedError)
{
    tk::setRecordMessageBoxes(true);
    ShowError(QString());
    const auto boxes = tk::takeRecordedBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, QStringLiteral("Error"));
    EXPECT_TRUE(boxes[0].text.isEmpty());
}

} // namespace
