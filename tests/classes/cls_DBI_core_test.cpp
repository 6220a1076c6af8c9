// The line store's own operations: reading, writing, adding, inserting and removing lines,
// its error text, and what copies and moves leave behind.
#include "tamsrove/cls_DBI.h"
#include "store_test_support.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace store_test;

void ExpectEmptyStore(const cls_DBI& store) {
    EXPECT_EQ(store.LinesNumber(), 0);
    EXPECT_EQ(LinesOf(store), Lines{u""});
}

TEST(LineStoreCore, NewStoreIsTheEmptyStoreWithNoErrorText) {
    const cls_DBI store;
    ExpectEmptyStore(store);
    EXPECT_EQ(store.GetLine(0), u"");
    EXPECT_EQ(store.ErrorCode(), u"");
}

TEST(LineStoreCore, AddLineEndAppendsButFillsTheEmptyStoreInstead) {
    struct Case {
        Lines before;
        std::u16string added;
        Lines after;
    };
    const Case cases[] = {
        {{u""}, u"a", {u"a"}},
        {{u""}, u"", {u""}},
        {{u"a"}, u"b", {u"a", u"b"}},
        {{u"a"}, u"", {u"a", u""}},
        {{u"", u"x"}, u"", {u"", u"x", u""}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.before) + " + " + testing::PrintToString(c.added));
        cls_DBI store = StoreOf(c.before);
        store.AddLineEnd(c.added);
        EXPECT_EQ(LinesOf(store), c.after);
        EXPECT_EQ(store.LinesNumber(), static_cast<int32_t>(c.after.size()) - 1);
    }
}

TEST(LineStoreCore, InsertLinePutsTheLineBeforeIndexOrAppends) {
    struct Case {
        Lines before;
        int32_t index;
        Lines after;
    };
    const Case cases[] = {
        {{u"a", u"b"}, 0, {u"x", u"a", u"b"}},
        {{u"a", u"b"}, 1, {u"a", u"x", u"b"}},
        {{u"a", u"b"}, 2, {u"a", u"b", u"x"}},
        {{u"a"}, 0, {u"x", u"a"}},
        {{u""}, 0, {u"x"}},
        {{u"", u""}, 1, {u"", u"x", u""}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.before) + " at " + std::to_string(c.index));
        cls_DBI store = StoreOf(c.before);
        store.InsertLine(u"x", c.index);
        EXPECT_EQ(LinesOf(store), c.after);
    }
}

TEST(LineStoreCore, RemoveLineTakesTheLineAwayAndKeepsErrorText) {
    struct Case {
        int32_t index;
        Lines after;
    };
    const Case cases[] = {{0, {u"b", u"c"}}, {1, {u"a", u"c"}}, {2, {u"a", u"b"}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.index);
        cls_DBI store = StoreOf({u"a", u"b", u"c"});
        store.RemoveLine(c.index);
        EXPECT_EQ(LinesOf(store), c.after);
        EXPECT_EQ(store.LinesNumber(), 1);
        EXPECT_EQ(store.ErrorCode(), u"");
    }
}

TEST(LineStoreCore, RemovingTheOnlyLineEmptiesItWithANotice) {
    cls_DBI store = StoreOf({u"a"});
    store.RemoveLine(0);
    ExpectEmptyStore(store);
    EXPECT_EQ(store.ErrorCode(), u"Last Line Cleared!");
}

TEST(LineStoreCore, IndexOutsideTheStoreRaisesAndChangesNothing) {
    // Invariant: a bad index never reaches the array; the call raises and the store and its
    // error text stay exactly as they were (RemoveLine past the end used to drop the last line).
    struct Method {
        const char* name;
        void (*call)(cls_DBI&, int32_t);
    };
    const Method get{"GetLine", [](cls_DBI& s, int32_t i) {
                         (void)s.GetLine(i);
                     }};
    const Method set{"SetLine", [](cls_DBI& s, int32_t i) {
                         s.SetLine(u"x", i);
                     }};
    const Method insert{"InsertLine", [](cls_DBI& s, int32_t i) {
                            s.InsertLine(u"x", i);
                        }};
    const Method remove{"RemoveLine", [](cls_DBI& s, int32_t i) {
                            s.RemoveLine(i);
                        }};
    struct Case {
        Method method;
        Lines before;
        int32_t index;
    };
    const Case cases[] = {
        {get, {u"a", u"b"}, -1},
        {get, {u"a", u"b"}, 2},
        {set, {u"a"}, 1},
        {set, {u"a"}, INT32_MIN},
        {insert, {u"a", u"b"}, 3},
        {insert, {u"a"}, -1},
        {insert, {u""}, 1},
        {remove, {u"a", u"b", u"c"}, 7},
        {remove, {u"a", u"b", u"c"}, 3},
        {remove, {u"a", u"b"}, -1},
        {remove, {u"a"}, 1},
        {remove, {u""}, INT32_MAX},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.method.name) + " " + std::to_string(c.index));
        cls_DBI store = StoreOf(c.before);
        EXPECT_THROW(c.method.call(store, c.index), std::out_of_range);
        EXPECT_EQ(LinesOf(store), c.before);
        EXPECT_EQ(store.ErrorCode(), u"");
    }
}

TEST(LineStoreCore, RemoveAllLinesAlwaysLeavesTheEmptyStoreAndTheNotice) {
    const std::vector<Lines> stores = {{u""}, {u"a"}, {u"", u"b", u"c"}};
    for (const Lines& lines : stores) {
        SCOPED_TRACE(testing::PrintToString(lines));
        cls_DBI store = StoreOf(lines);
        store.RemoveAllLines();
        ExpectEmptyStore(store);
        EXPECT_EQ(store.ErrorCode(), u"Last Line Cleared!");
    }
}

TEST(LineStoreCore, ClearBlanksEveryLineAndKeepsTheirNumber) {
    cls_DBI store = StoreOf({u"a", u"b"});
    store.Clear(u"-");
    EXPECT_EQ(LinesOf(store), (Lines{u"-", u"-"}));
    store.Clear();
    EXPECT_EQ(LinesOf(store), (Lines{u"", u""}));
    EXPECT_EQ(store.LinesNumber(), 1);
}

TEST(LineStoreCore, ErrorTextIsNeverCleared) {
    cls_DBI store;
    store.RemoveAllLines();
    store.AddLineEnd(u"a");
    store.InsertLine(u"b", 0);
    store.SetLine(u"c", 1);
    store.RemoveLine(1);
    store.Clear();
    EXPECT_EQ(store.ErrorCode(), u"Last Line Cleared!");
}

TEST(LineStoreCore, CopiesAreIndependent) {
    cls_DBI original = StoreOf({u"a", u"b"});
    original.RemoveLine(1);
    cls_DBI copy(original);
    cls_DBI assigned = StoreOf({u"z", u"z", u"z"});
    assigned = original;
    original.SetLine(u"changed", 0);
    for (const cls_DBI* store : {&copy, &assigned}) {
        EXPECT_EQ(LinesOf(*store), Lines{u"a"});
        EXPECT_EQ(store->LinesNumber(), 0);
        EXPECT_EQ(store->ErrorCode(), u"");
    }
}

TEST(LineStoreCore, MovedFromStoreIsANewStore) {
    // Invariant: every store, a moved-from one included, holds at least one line.
    cls_DBI source = StoreOf({u"a"});
    source.RemoveLine(0);
    source.AddLineEnd(u"a");
    source.AddLineEnd(u"b");
    cls_DBI target(std::move(source));
    EXPECT_EQ(LinesOf(target), (Lines{u"a", u"b"}));
    EXPECT_EQ(target.ErrorCode(), u"Last Line Cleared!");
    ExpectEmptyStore(source); // NOLINT(bugprone-use-after-move): the moved-from state is defined
    EXPECT_EQ(source.ErrorCode(), u"");

    cls_DBI assigned = StoreOf({u"old"});
    assigned = std::move(target);
    EXPECT_EQ(LinesOf(assigned), (Lines{u"a", u"b"}));
    ExpectEmptyStore(target); // NOLINT(bugprone-use-after-move)
    target.AddLineEnd(u"usable");
    EXPECT_EQ(LinesOf(target), Lines{u"usable"});
}

TEST(LineStoreCore, SelfMoveAssignmentKeepsTheLines) {
    cls_DBI store = StoreOf({u"a", u"b"});
    cls_DBI& alias = store;
    store = std::move(alias);
    EXPECT_EQ(LinesOf(store), (Lines{u"a", u"b"})); // NOLINT(bugprone-use-after-move)
}

} // namespace
