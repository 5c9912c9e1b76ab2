#include "ConfigTestSupport.h"

#include "config/DataFiler.h"
#include "platform/widgets/CheckBox.h"
#include "platform/widgets/RadioGroup.h"
#include "platform/widgets/TrackBar.h"
#include "platform/widgets/UpDown.h"

#include <gtest/gtest.h>

TEST(Controls, ChangesAnnounceThemselvesOnlyWhenReal) {
    EnsureApplication();
    TCheckBox Box;
    int Clicks = 0;
    QObject::connect(&Box, &TCheckBox::Click, [&](QObject* Sender) {
        EXPECT_EQ(Sender, &Box);
        ++Clicks;
    });
    Box.SetChecked(true);
    Box.SetChecked(true);
    EXPECT_EQ(Clicks, 1);
    // The store reaches the declared "Checked", not the toolkit's "checked" underneath.
    EXPECT_STREQ(TDataFiler::FindProperty(Box, "checked").name(), "Checked");

    TTrackBar Bar;
    Bar.SetMin(4);
    Bar.SetMax(100);
    int Changes = 0;
    QObject::connect(&Bar, &TTrackBar::Change, [&] { ++Changes; });
    Bar.SetPosition(0); // already at the minimum
    Bar.SetPosition(50);
    Bar.SetPosition(50);
    EXPECT_EQ(Bar.Position(), 50);
    EXPECT_EQ(Changes, 1);
}

TEST(Controls, RadioGroupKeepsItsSelectionWithinItsItems) {
    EnsureApplication();
    TRadioGroup Group;
    Group.SetItems({"100", "500", "1000"});
    int Clicks = 0;
    QObject::connect(&Group, &TRadioGroup::Click, [&] { ++Clicks; });
    Group.SetItemIndex(9);
    EXPECT_EQ(Group.ItemIndex(), 2);
    Group.SetItemIndex(-5);
    EXPECT_EQ(Group.ItemIndex(), -1);
    EXPECT_EQ(Clicks, 1); // clearing the selection selects nothing
    Group.SetItemIndex(0);
    Group.SetItems({"2"});
    EXPECT_EQ(Group.ItemIndex(), 0);
    EXPECT_EQ(Clicks, 2);
}

TEST(Controls, UpDownShowsItsPositionInItsBuddy) {
    EnsureApplication();
    TEdit Edit;
    TUpDown Up;
    Up.SetMin(1);
    Up.SetMax(10);
    Up.SetAssociate(&Edit);
    EXPECT_EQ(Edit.Text(), "1");
    int Changes = 0;
    QObject::connect(&Edit, &TEdit::Change, [&] { ++Changes; });
    Up.SetPosition(0 - 5);
    Up.SetPosition(12);
    EXPECT_EQ(Up.Position(), 10);
    EXPECT_EQ(Edit.Text(), "10");
    EXPECT_EQ(Changes, 1);
    Edit.setText("");
    Edit.textEdited("7"); // typed text within the range moves the position
    EXPECT_EQ(Up.Position(), 7);
    Edit.textEdited("x");
    EXPECT_EQ(Up.Position(), 7);
}
