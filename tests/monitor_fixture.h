#pragma once

// A real main window on the offscreen platform with its error boxes recorded, and a sender
// of datagrams to 127.0.0.1.
#include "line_model.h"
#include "listener_flags.h"
#include "message_box.h"
#include "receiver.h"
#include "tform1.h"
#include "tnumedit.h"

#include <QCheckBox>
#include <QTest>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <memory>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

inline void sendDatagram(int port, const std::string &bytes)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const ssize_t sent = ::sendto(fd, bytes.data(), bytes.size(), 0,
                                  reinterpret_cast<const sockaddr *>(&to), sizeof to);
    ::close(fd);
    ASSERT_EQ(sent, static_cast<ssize_t>(bytes.size()));
}

class MonitorFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        tk::setRecordMessageBoxes(true);
        tk::takeRecordedBoxes();
        form = std::make_unique<TForm1>();
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    }

    void TearDown() override
    {
        form->close();
        form.reset();
        tk::setRecordMessageBoxes(true);
    }

    // Listens on a port the system chooses and returns it.
    int listen()
    {
        form->nePort()->setText(QStringLiteral("0"));
        form->cbListen()->setChecked(true);
        EXPECT_TRUE(running());
        EXPECT_GT(form->boundPort(), 0);
        return form->boundPort();
    }

    bool running() const { return form->receiver().flags.test(ListenerFlags::Running); }

    bool waitForRows(int rows, int ms = 5000)
    {
        return QTest::qWaitFor([&] { return form->lines()->rowCount() == rows; }, ms);
    }

    bool waitUntilStopped(int ms = 5000)
    {
        return QTest::qWaitFor([&] { return !running(); }, ms);
    }

    QString line(int row) const { return form->lines()->lineText(row); }

    std::unique_ptr<TForm1> form;
};
