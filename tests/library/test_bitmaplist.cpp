#include "library/BitmapList.h"

#include "support/TestFiles.h"

#include <gtest/gtest.h>

using panelix::test::describe;

using namespace panelix;

TEST(BitmapList, DeleteReselectsAndClicks) {
    struct Case {
        QStringList entries;
        int selected;
        QStringList after;
        int selectedAfter;
        QList<int> clicks;
    };
    const QList<Case> cases{{{"a", "b", "c"}, 2, {"a", "b"}, 1, {1}},
                            {{"a", "b", "c"}, 1, {"a", "c"}, 1, {1}},
                            {{"a", "b", "c"}, 0, {"b", "c"}, 0, {0}},
                            {{"a", "b"}, 1, {"a"}, 0, {0}},
                            {{"a"}, 0, {}, -1, {}},
                            {{"a", "b"}, -1, {"a", "b"}, -1, {}}};
    for (const Case& c : cases) {
        BitmapList list;
        list.setEntries(c.entries);
        list.select(c.selected);
        QList<int> clicks;
        QObject::connect(&list, &BitmapList::clicked, [&](int k) { clicks.append(k); });
        list.removeSelectedAndReselect();
        EXPECT_EQ(list.entries(), c.after) << c.selected;
        EXPECT_EQ(list.selected(), c.selectedAfter) << c.selected;
        EXPECT_EQ(clicks, c.clicks) << c.selected;
    }
}

TEST(BitmapList, AddRefusesEntry252AndKeepsSelection) {
    BitmapList list;
    list.setEntries({"a"});
    list.select(0);
    InputError message;
    for (int i = 1; i < BitmapList::MaxEntries; ++i)
        ASSERT_TRUE(list.add("a", &message));
    EXPECT_FALSE(list.add("z", &message));
    EXPECT_EQ(describe(message), "ListFull");
    EXPECT_EQ(list.count(), 251);
    EXPECT_EQ(list.selected(), 0);
    list.clear();
    EXPECT_EQ(list.selected(), -1);
    EXPECT_TRUE(list.add("x", &message));
}
