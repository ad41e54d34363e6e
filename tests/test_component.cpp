#include "component.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace
{

struct Recorder : tk::Component {
    std::vector<int> *log;
    int id;
    Recorder(std::vector<int> *l, int i) : log(l), id(i) {}
    void FinishLoading() override
    {
        EXPECT_FALSE(isReading()); // reading ends before any hook runs
        EXPECT_TRUE(isLoading());
        tk::Component::FinishLoading();
        log->push_back(id);
    }
};

TEST(FormReadingScope, MarksComponentsAndFinishesThemInOrder)
{
    std::vector<int> log;
    Recorder outside(&log, 0);
    EXPECT_EQ(outside.componentState(), 0u);
    std::unique_ptr<Recorder> gone;
    {
        tk::FormReadingScope scope;
        Recorder a(&log, 1);
        gone = std::make_unique<Recorder>(&log, 2);
        Recorder b(&log, 3);
        EXPECT_EQ(a.componentState(), unsigned(tk::csLoading | tk::csReading));
        gone.reset(); // destroyed before the form completes: never called
        scope.finish();
        EXPECT_EQ(a.componentState(), 0u);
        EXPECT_EQ(b.componentState(), 0u);
        Recorder late(&log, 4); // created after the form is complete
        EXPECT_EQ(late.componentState(), 0u);
    }
    EXPECT_EQ(log, (std::vector<int>{1, 3}));
    EXPECT_EQ(tk::FormReadingScope::current(), nullptr);
}

TEST(Component, DesigningFlag)
{
    tk::Component c;
    c.setDesigning(true);
    EXPECT_TRUE(c.isDesigning());
    c.setDesigning(false);
    EXPECT_EQ(c.componentState(), 0u);
}

} // namespace
