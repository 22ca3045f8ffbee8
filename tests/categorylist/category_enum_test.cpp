// The selection enumerator: the records it fills and who keeps it alive.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "categorylist/category_enum.h"
#include "categorylist/control_host.h"
#include "categorylist/server.h"

using zrvcatlist::CCategoryEnum;
using zrvcatlisttest::NextSlot;
using zrvcatlisttest::ResetSlot;

namespace {

// True when every byte of the record after the name's terminator is zero.
bool ZeroAfterName(const CategoryItem& item) {
    const size_t used = (wcslen(item.name) + 1) * sizeof(wchar_t);
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&item);
    for (size_t i = used; i < sizeof(item); ++i) {
        if (bytes[i] != 0) return false;
    }
    return true;
}

}  // namespace

TEST(CategoryEnum, FillsZeroedRecordsWithTheNameFirst) {
    CCategoryEnum* walk = CCategoryEnum::Create({L"Work", L"Travel", L"Home"});
    ASSERT_NE(walk, nullptr);

    CategoryItem item;
    std::memset(&item, 0xCD, sizeof(item));
    ULONG fetched = 99;
    EXPECT_EQ(NextSlot(walk, 1, &item, &fetched), S_OK);
    EXPECT_EQ(fetched, 1u);
    EXPECT_STREQ(item.name, L"Work");
    EXPECT_TRUE(ZeroAfterName(item));

    EXPECT_EQ(NextSlot(walk, 1, &item, nullptr), S_OK);
    EXPECT_STREQ(item.name, L"Travel");

    // Asking for more than is left fills what there is.
    CategoryItem items[3];
    EXPECT_EQ(NextSlot(walk, 3, items, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 1u);
    EXPECT_STREQ(items[0].name, L"Home");
    EXPECT_EQ(NextSlot(walk, 1, &item, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);

    EXPECT_EQ(ResetSlot(walk), S_OK);
    EXPECT_EQ(NextSlot(walk, 3, items, &fetched), S_OK);
    EXPECT_EQ(fetched, 3u);
    EXPECT_STREQ(items[2].name, L"Home");

    EXPECT_EQ(NextSlot(walk, 1, nullptr, &fetched), E_POINTER);
    EXPECT_EQ(fetched, 0u);
    walk->Disown();
}

TEST(CategoryEnum, LivesWhileItsListOrAnyCallerHoldsIt) {
    const LONG before = zrvcatlist::ServerLockCount();

    // Used without any reference of the caller's: goes when the list lets go.
    CCategoryEnum* unreleased = CCategoryEnum::Create({L"a"});
    ASSERT_NE(unreleased, nullptr);
    EXPECT_EQ(zrvcatlist::ServerLockCount(), before + 1);
    unreleased->Disown();
    EXPECT_EQ(zrvcatlist::ServerLockCount(), before);

    // Released by a caller that treats it as an ordinary out pointer: it is
    // still there for the list until the list lets go.
    CCategoryEnum* released = CCategoryEnum::Create({L"a"});
    ASSERT_NE(released, nullptr);
    released->Release();
    CategoryItem item;
    EXPECT_EQ(NextSlot(released, 1, &item, nullptr), S_OK);
    EXPECT_EQ(zrvcatlist::ServerLockCount(), before + 1);
    released->Disown();
    EXPECT_EQ(zrvcatlist::ServerLockCount(), before);

    // Kept by a caller's own reference beyond the list.
    CCategoryEnum* kept = CCategoryEnum::Create({L"a", L"b"});
    ASSERT_NE(kept, nullptr);
    zrv::com_ptr<ICategoryEnum> held;
    ASSERT_EQ(kept->QueryInterface(IID_ICategoryEnum, held.put_void()), S_OK);
    kept->Disown();
    EXPECT_EQ(NextSlot(held.get(), 1, &item, nullptr), S_OK);
    EXPECT_STREQ(item.name, L"a");
    held.reset();
    EXPECT_EQ(zrvcatlist::ServerLockCount(), before);
}
