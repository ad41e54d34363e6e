
#include <numedit/form_reading_scope.h>
#include <numedit/tedspeedbutton.h>
#include <numedit/tnumedit.h>

#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace
{

// A field at the port field's place in a shown parent: geometry events are only delivered
// to shown widgets.
class Companions : public ::testing::Test
{
protected:
    void SetUp() override
    {
        parent.resize(300, 200);
        field = new TNumEdit(&parent);
        field->setGeometry(16, 24, 81, 21);
        other = new QLineEdit(&parent);
        other->setGeometry(16, 150, 81, 21);
        parent.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&parent));
    }

    QRect button() const { return field->EllipsisButton()->geometry(); }
    QPoint label() const { return field->TitleLabel()->pos(); }

    QWidget parent;
    TNumEdit *field = nullptr;
    QLineEdit *other = nullptr;
};

TEST_F(Companions, FollowTheFieldsPositionAndSize)
{
    field->setTitle(QStringLiteral("Port"));
    field->setElipsis(true);
    EXPECT_EQ(field->TitleLabel()->parentWidget(), &parent);
    EXPECT_EQ(label(), QPoint(16, 10));
    EXPECT_EQ(field->EllipsisButton()->parentWidget(), &parent);
    EXPECT_EQ(button(), QRect(98, 24, 21, 21));
    EXPECT_EQ(field->EllipsisButton()->text(), QStringLiteral("..."));
    EXPECT_TRUE(field->EllipsisButton()->font().bold());
    EXPECT_FALSE(field->TitleLabel()->isHidden());
    EXPECT_FALSE(field->EllipsisButton()->isHidden());

    field->move(30, 40);
    EXPECT_EQ(label(), QPoint(30, 26));
    EXPECT_EQ(button(), QRect(112, 40, 21, 21));

    field->resize(81, 25);
    EXPECT_EQ(button(), QRect(112, 40, 25, 25));
    EXPECT_EQ(label(), QPoint(30, 26));
}

TEST_F(Companions, TitleAttachesAndDetaches)
{
    field->setTitle(QStringLiteral(" "));
    EXPECT_EQ(field->TitleLabel()->parentWidget(), &parent); // a title of spaces is a title
    EXPECT_EQ(field->title(), QStringLiteral(" "));
    field->setTitle(QString());
    EXPECT_EQ(field->TitleLabel()->parentWidget(), nullptr);
    field->move(50, 60); // a detached label does not follow
    EXPECT_EQ(field->TitleLabel()->parentWidget(), nullptr);

    TNumEdit orphan; // no parent: the title leaves the label without one too
    orphan.setTitle(QStringLiteral("Cycle"));
    EXPECT_EQ(orphan.TitleLabel()->parentWidget(), nullptr);
    EXPECT_EQ(orphan.title(), QStringLiteral("Cycle"));
}

TEST_F(Companions, ElipsisOffAndOnPlacesForTheCurrentBounds)
{
    field->setElipsis(true);
    field->setElipsis(false);
    EXPECT_EQ(field->EllipsisButton()->parentWidget(), nullptr);
    field->setGeometry(40, 50, 100, 30);
    field->setElipsis(true);
    EXPECT_EQ(button(), QRect(141, 50, 30, 30));
    EXPECT_FALSE(field->EllipsisButton()->isHidden());
}

TEST_F(Companions, VisibleReachesOnlyAttachedCompanions)
{
    field->setTitle(QStringLiteral("Port"));
    field->setVisible(false);
    EXPECT_TRUE(field->isHidden());
    EXPECT_TRUE(field->TitleLabel()->isHidden());
    EXPECT_EQ(field->EllipsisButton()->parentWidget(), nullptr); // left alone
    EXPECT_FALSE(field->EllipsisButton()->isWindow() && field->EllipsisButton()->isVisible());
    field->setVisible(true);
    EXPECT_FALSE(field->isHidden());
    EXPECT_FALSE(field->TitleLabel()->isHidden());

    field->setElipsis(true);
    field->setProperty("Visible", false); // the stored property takes the same way
    EXPECT_TRUE(field->EllipsisButton()->isHidden());
    EXPECT_FALSE(field->visibleSetting());
}

TEST_F(Companions, HintIsOnOnlyForANonEmptyText)
{
    field->setElipsis(true);
    field->setElipsisHint(QStringLiteral("Pick a value"));
    EXPECT_EQ(field->elipsisHint(), QStringLiteral("Pick a value"));
    EXPECT_EQ(field->EllipsisButton()->toolTip(), QStringLiteral("Pick a value"));
    field->setElipsisHint(QString());
    EXPECT_TRUE(field->EllipsisButton()->toolTip().isEmpty());
}

TEST_F(Companions, ClickingTheButtonKeepsTheFocusInTheField)
{
    field->setElipsis(true);
    QApplication::setActiveWindow(&parent);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&parent));
    field->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(field->hasFocus());

    QSignalSpy exits(field, &TNumEdit::exited);
    TEdSpeedButton *sender = nullptr;
    QObject::connect(field, &TNumEdit::elipsisClick, [&](TEdSpeedButton *b) { sender = b; });
    QTest::mouseClick(field->EllipsisButton(), Qt::LeftButton);
    EXPECT_EQ(sender, field->EllipsisButton());
    EXPECT_EQ(sender->OwnerEdit(), field);
    EXPECT_TRUE(field->hasFocus());
    EXPECT_EQ(exits.count(), 0);
}

TEST_F(Companions, WrittenOnAHiddenFieldTheyStayHidden)
{
    field->setVisible(false);
    for (int round = 0; round < 2; ++round) { // attached the first time, again the second
        SCOPED_TRACE(round);
        field->setTitle(QString());
        field->setTitle(QStringLiteral("Port"));
        field->setElipsis(false);
        field->setElipsis(true);
        EXPECT_EQ(field->TitleLabel()->parentWidget(), &parent);
        EXPECT_EQ(field->EllipsisButton()->parentWidget(), &parent);
        EXPECT_TRUE(field->TitleLabel()->isHidden());
        EXPECT_TRUE(field->EllipsisButton()->isHidden());
    }
    field->setVisible(true);
    EXPECT_FALSE(field->TitleLabel()->isHidden());
    EXPECT_FALSE(field->EllipsisButton()->isHidden());
}

// The companions live exactly as long as the field: a parent that the field has left takes
// neither along when it goes, and they keep working.
TEST(CompanionsLifetime, OutliveAParentTheFieldLeft)
{
    QWidget window;
    auto *before = new QWidget(&window);
    auto *after = new QWidget(&window);
    auto *field = new TNumEdit(before);
    field->setTitle(QStringLiteral("Port"));
    field->setElipsis(true);
    const QPointer<QLabel> label = field->TitleLabel();
    const QPointer<TEdSpeedButton> button = field->EllipsisButton();
    field->setParent(after);
    delete before;
    ASSERT_FALSE(label.isNull());
    ASSERT_FALSE(button.isNull());
    EXPECT_EQ(field->TitleLabel(), label);
    EXPECT_EQ(field->EllipsisButton(), button);

    field->setTitle(QStringLiteral("Cycle"));
    EXPECT_EQ(field->title(), QStringLiteral("Cycle"));
    EXPECT_EQ(label->parentWidget(), after);
    field->SetTag(5);
    EXPECT_EQ(button->tag(), 5);
    field->setElipsisHint(QStringLiteral("Pick one"));
    EXPECT_EQ(field->elipsisHint(), QStringLiteral("Pick one"));
    field->setElipsis(true);
    EXPECT_EQ(button->parentWidget(), after);

    delete field;
    EXPECT_TRUE(label.isNull());
    EXPECT_TRUE(button.isNull());
}

TEST(CompanionsLifetime, ParentlessFieldLoadedWithElipsisOpensNoWindow)
{
    std::unique_ptr<TNumEdit> field;
    {
        tk::FormReadingScope form;
        field = std::make_unique<TNumEdit>();
        field->setElipsis(true);
        field->setTitle(QStringLiteral("Port"));
        field->setVisible(true); // the stored Visible: a field without a parent is a window
    }
    for (QWidget *companion : {static_cast<QWidget *>(field->EllipsisButton()),
                               static_cast<QWidget *>(field->TitleLabel())}) {
        EXPECT_EQ(companion->parentWidget(), nullptr);
        EXPECT_FALSE(companion->isVisible());
    }
}

TEST(CompanionsConstruction, AFieldCanBeMovedBeforeItsCompanionsExist)
{
    // Geometry set in the owner's constructor chain happens before the label and button exist;
    // setGeometry right after construction must not touch companions that are not attached.
    QWidget parent;
    TNumEdit field(&parent);
    field.setGeometry(5, 5, 50, 20);
    parent.show();
    EXPECT_EQ(field.TitleLabel()->parentWidget(), nullptr);
    EXPECT_EQ(field.EllipsisButton()->parentWidget(), nullptr);
}

} // namespace
