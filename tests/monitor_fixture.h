#pragma once

// A real main window on the offscreen platform with its error boxes recorded, and a sender
// of datagrams to 127.0.0.1.
#include "line_model.h"
#include "listener_flags.h"
#include "message_box.h"
#include "receiver.h"
#include "tform1.h"
#include "udp_support.h"

#include <numedit/tnumedit.h>

#include <QCheckBox>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdio>
#include <dirent.h>
#include <memory>
#include <string>
#include <thread>
#include <unistd.h>

// What an entry of /proc/self/fd points to, or the name of a thread in /proc/self/task.
inline std::string procDescription(const std::string &folder, const char *entry)
{
    const std::string path = folder + "/" + entry;
    char text[256];
    if (folder.ends_with("/fd")) {
        const ssize_t n = ::readlink(path.c_str(), text, sizeof text);
        return n > 0 ? std::string(text, static_cast<std::size_t>(n)) : std::string();
    }
    std::string name;
    if (FILE *comm = std::fopen((path + "/comm").c_str(), "r")) {
        if (std::fgets(text, sizeof text, comm))
            name = text;
        std::fclose(comm);
    }
    if (!name.empty() && name.back() == '\n')
        name.pop_back();
    return name;
}

// Qt's raster painting starts pooled worker threads of its own, each with a wake-up eventfd,
// and ends them after half a minute idle. They are left out of the counts below, which are
// about what the program leaves behind. (It creates no eventfd itself.)
inline bool qtPoolEntry(const std::string &description)
{
    return description == "Thread (pooled)" || description == "anon_inode:[eventfd]";
}

inline int procEntries(const char *folder)
{
    int count = 0;
    if (DIR *dir = ::opendir(folder)) {
        while (const dirent *entry = ::readdir(dir))
            count +=
                entry->d_name[0] != '.' && !qtPoolEntry(procDescription(folder, entry->d_name));
        ::closedir(dir);
    }
    return count;
}

inline int openDescriptors()
{
    return procEntries("/proc/self/fd");
}

inline int runningThreads()
{
    return procEntries("/proc/self/task");
}

inline void sendDatagram(int port, const std::string &bytes)
{
    ASSERT_GT(sendDatagramOnce(port, bytes), 0) << "sending " << bytes.size() << " bytes";
}

class MonitorFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // The first thread of a process may start helpers of the runtime (ThreadSanitizer's
        // background thread): start one now, so that they count as present from the start.
        std::thread([] {}).join();
        tk::setRecordMessageBoxes(true);
        tk::takeRecordedBoxes();
        form = std::make_unique<TForm1>();
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    }

    void TearDown() override
    {
        if (form)
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

    bool running() const { return form->receiver().flags().test(ListenerFlags::Running); }

    bool waitForRows(int rows, int ms = 5000)
    {
        return QTest::qWaitFor([&] { return form->lines()->rowCount() == rows; }, ms);
    }

    bool waitUntilStopped(int ms = 5000)
    {
        return QTest::qWaitFor([&] { return !running(); }, ms);
    }

    QString line(int row) const { return form->lines()->lineText(row); }

    // Descriptors and threads back at the given counts within a few seconds (a receive thread
    // ends shortly after it reported its end).
    ::testing::AssertionResult settlesAt(int descriptors, int threads)
    {
        if (QTest::qWaitFor(
                [&] { return openDescriptors() == descriptors && runningThreads() == threads; },
                5000))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure()
               << openDescriptors() << " descriptors (expected " << descriptors << "), "
               << runningThreads() << " threads (expected " << threads << "):" << procListing();
    }

    // What the descriptors point to and what the threads are called, for a failure message.
    static std::string procListing()
    {
        std::string out;
        for (const char *folder : {"/proc/self/fd", "/proc/self/task"}) {
            if (DIR *dir = ::opendir(folder)) {
                while (const dirent *entry = ::readdir(dir))
                    if (entry->d_name[0] != '.')
                        out += std::string("\n  ") + folder + "/" + entry->d_name + ": " +
                               procDescription(folder, entry->d_name);
                ::closedir(dir);
            }
        }
        return out;
    }

    // Nothing of an earlier failure stays: a listen on a port the system chooses receives, and
    // stopping it leaves the given descriptors and threads.
    void listenAgainThenStop(int descriptors, int threads)
    {
        QTest::mouseClick(form->btnClear(), Qt::LeftButton);
        sendDatagram(listen(), "listening again");
        ASSERT_TRUE(waitForRows(1));
        EXPECT_EQ(line(0), QStringLiteral("listening again"));
        form->cbListen()->setChecked(false);
        EXPECT_TRUE(waitUntilStopped());
        EXPECT_TRUE(tk::takeRecordedBoxes().empty());
        EXPECT_TRUE(settlesAt(descriptors, threads));
    }

    std::unique_ptr<TForm1> form;
};
