#include "foundation/cetl.h"

#include "test_util.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>

namespace {

// Expects `statement` to throw a cetl::exception carrying exactly `text`.
#define EXPECT_CETL_THROW(statement, text)                                                         \
    do {                                                                                           \
        bool thrown = false;                                                                       \
        try {                                                                                      \
            statement;                                                                             \
        } catch (const cetl::exception& e) {                                                       \
            thrown = true;                                                                         \
            EXPECT_EQ(U8(e.message()), std::string(text));                                         \
        }                                                                                          \
        EXPECT_TRUE(thrown) << #statement " did not throw";                                        \
    } while (0)

// Counts live copies, to prove the containers destroy what they own.
struct Counted {
    static int alive;
    int value;
    Counted(int v = 0) : value(v) { ++alive; }
    Counted(const Counted& o) : value(o.value) { ++alive; }
    Counted& operator=(const Counted&) = default;
    ~Counted() { --alive; }
    bool operator==(const Counted& o) const { return value == o.value; }
    bool operator<(const Counted& o) const { return value < o.value; }
};
int Counted::alive = 0;

TEST(CetlVector, IndexAndRemovalAreChecked) {
    cetl::vector<int> v;
    v.add(1);
    v.add(2);
    v.add(3);
    EXPECT_EQ(v[2], 3);
    EXPECT_CETL_THROW(v[3], "the item specified does not exist within the vector");
    EXPECT_CETL_THROW(v.remove(3), "the item specified does not exist within the vector");
    EXPECT_CETL_THROW(v.remove_item(9), "the item specified does not exist within the vector");
    EXPECT_CETL_THROW(v.insert(4, 0), "the item specified does not exist within the vector");
    cetl::vector<int> other;
    other.add(1);
    EXPECT_CETL_THROW(v.remove(other.begin()),
                      "the item specified does not exist within the vector");
    v.insert(0, 0);
    v.insert(4, 4);
    v.remove_item(2);
    ASSERT_EQ(v.size(), 4u);
    EXPECT_EQ(v[0] * 1000 + v[1] * 100 + v[2] * 10 + v[3], 134);
    cetl::vector<int> empty;
    EXPECT_CETL_THROW(empty.first(), "the item specified does not exist within the vector");
    EXPECT_CETL_THROW(empty.last(), "the item specified does not exist within the vector");
}

TEST(CetlVector, ElementsStayPutAndAreOwned) {
    {
        cetl::vector<Counted> v;
        for (int i = 0; i < 100; ++i)
            v.add(Counted(i));
        Counted& fifty = v[50];
        v.insert(0, Counted(-1));
        v.remove(10);
        EXPECT_EQ(&v[50], &fifty) << "elements are not moved by inserts and removals";
        EXPECT_EQ(fifty.value, 50);
        MemBlockInfo info{};
        ASSERT_TRUE(MemQueryBlock(&v[0], &info));
        EXPECT_STREQ(info.type, "myitemtype");
        cetl::vector<Counted> copy(v);
        EXPECT_EQ(copy.size(), 100u);
        EXPECT_NE(&copy[0], &v[0]);
        EXPECT_EQ(Counted::alive, 200);
        copy.clear();
        EXPECT_EQ(Counted::alive, 100);
    }
    EXPECT_EQ(Counted::alive, 0);
}

TEST(CetlVector, IteratorsAreChecked) {
    cetl::vector<int> v;
    EXPECT_CETL_THROW(*v.begin(), "the iterator does not reference a valid object");
    EXPECT_CETL_THROW(++v.end(), "the iterator has already reached the end of the container");
    EXPECT_CETL_THROW(--v.begin(),
                      "the iterator has already reached the beginning of the container");
    cetl::vector<int>::iterator none;
    EXPECT_CETL_THROW(*none, "the iterator does not reference a valid object");
    for (int i = 1; i <= 4; ++i)
        v.add(i);
    int sum = 0;
    for (int x : v)
        sum += x;
    EXPECT_EQ(sum, 10);
    auto it = v.end();
    --it;
    EXPECT_EQ(*it, 4);
    it = v.remove(v.begin());
    EXPECT_EQ(*it, 2);
    const cetl::vector<int>& cv = v;
    EXPECT_EQ(*cv.begin(), 2);
}

TEST(CetlList, EmptyAndMissingItems) {
    cetl::list<Counted> l;
    l.add(Counted(7));
    l.remove_first();
    EXPECT_TRUE(l.empty());
    EXPECT_CETL_THROW(l.remove_first(), "the list is empty");
    EXPECT_CETL_THROW(l.remove_last(), "the list is empty");
    EXPECT_CETL_THROW(l.first(), "the list is empty");
    EXPECT_CETL_THROW(l.last(), "the list is empty");
    EXPECT_CETL_THROW(l[0], "the list is empty");
    EXPECT_CETL_THROW(l.remove(l.begin()), "the list is empty");
    EXPECT_CETL_THROW(l.remove_item(Counted(1)), "the list is empty");
    l.add(Counted(1));
    l.add(Counted(2));
    EXPECT_CETL_THROW(l.remove_item(Counted(5)),
                      "the item specified does not exist within the list");
    EXPECT_CETL_THROW(l[2], "the item specified does not exist within the list");
    EXPECT_CETL_THROW(l.remove(l.end()), "the item specified does not exist within the list");
    cetl::list<Counted> other;
    EXPECT_CETL_THROW(l.insert(other.end(), Counted(0)),
                      "the item specified does not exist within the list");
    l.clear();
    EXPECT_EQ(Counted::alive, 0);
}

TEST(CetlList, OrderIteratorsAndOwnership) {
    MemStats before = MemGetStats();
    {
        cetl::list<Counted> l;
        for (int i = 0; i < 40; ++i)
            l.add(Counted(i)); // several node blocks
        l.add_front(Counted(-1));
        l.insert(l.find(Counted(10)), Counted(100));
        l.remove_item(Counted(20));
        l.remove_last();
        EXPECT_EQ(l.size(), 40u);
        EXPECT_EQ(l.first().value, -1);
        EXPECT_EQ(l.last().value, 38);
        EXPECT_EQ(l[11].value, 100);
        EXPECT_EQ(l[12].value, 10);
        int previous = -2, count = 0;
        for (auto it = l.begin(); it != l.end();) {
            if (it->value == 100) {
                it = l.remove(it);
                continue;
            }
            EXPECT_GT(it->value, previous);
            previous = it->value;
            ++it;
            ++count;
        }
        EXPECT_EQ(count, 39);
        auto back = l.end();
        --back;
        EXPECT_EQ(back->value, 38);
        EXPECT_CETL_THROW(++l.end(), "the iterator has already reached the end of the container");
        EXPECT_CETL_THROW(--l.begin(),
                          "the iterator has already reached the beginning of the container");
        EXPECT_CETL_THROW(*l.end(), "the iterator does not reference a valid object");
        cetl::list<Counted> copy(l);
        EXPECT_EQ(Counted::alive, 78);
        copy.clear();
        EXPECT_EQ(MemGetStats().liveBlocks, before.liveBlocks + 3)
            << "blocks of an emptied list go back";
    }
    EXPECT_EQ(Counted::alive, 0);
    EXPECT_EQ(MemGetStats().liveBlocks, before.liveBlocks);
    cetl::list<int> empty;
    EXPECT_CETL_THROW(--empty.end(),
                      "the iterator has already reached the beginning of the container");
}

TEST(CetlMap, MissingKeysAndIterators) {
    cetl::map<int, int> m;
    m.insert(2, 20);
    m.insert(1, 10);
    EXPECT_EQ(m[1], 10);
    EXPECT_CETL_THROW(m[3], "the index specified does not exist within the map");
    const cetl::map<int, int>& cm = m;
    EXPECT_CETL_THROW(cm[3], "the index specified does not exist within the map");
    EXPECT_FALSE(m.insert(1, 99)) << "an existing key is left alone";
    EXPECT_EQ(m[1], 10);
    m.set(1, 11);
    EXPECT_EQ(m[1], 11);
    EXPECT_CETL_THROW(*m.find(7), "the iterator does not reference a valid object");
    EXPECT_CETL_THROW(m.remove(m.end()), "the iterator does not reference a valid object");
    EXPECT_CETL_THROW(++m.end(), "the iterator has already reached the end of the container");
    EXPECT_CETL_THROW(--m.begin(),
                      "the iterator has already reached the beginning of the container");
    auto it = m.begin();
    EXPECT_EQ(it->key, 1);
    ++it;
    EXPECT_EQ((*it).value, 20);
    ++it;
    EXPECT_TRUE(it == m.end());
    --it;
    EXPECT_EQ(it->key, 2);
}

// Random inserts and removals against std::map, for several shapes of skip list.
TEST(CetlMap, SkipListsOfEveryShapeStaySorted) {
    struct Shape {
        double probability;
        int cap;
    } shapes[] = {{0.25, 16}, {0.5, 64}, {0.0, 8}, {1.0, 3}, {0.5, 0}, {0.9, 200}};
    for (const Shape& shape : shapes) {
        std::srand(7);
        cetl::map<Counted, int> m(shape.probability, shape.cap);
        EXPECT_LE(m.level_cap(), 64);
        std::map<int, int> reference;
        for (int i = 0; i < 3000; ++i) {
            int key = std::rand() % 500;
            if (std::rand() % 3 == 0) {
                EXPECT_EQ(m.remove(Counted(key)), reference.erase(key) == 1);
            } else {
                m.set(Counted(key), i);
                reference[key] = i;
            }
        }
        ASSERT_EQ(m.size(), reference.size()) << shape.cap;
        auto expected = reference.begin();
        for (auto& entry : m) {
            ASSERT_EQ(entry.key.value, expected->first);
            EXPECT_EQ(entry.value, expected->second);
            ++expected;
        }
        for (int key = 0; key < 500; ++key) {
            EXPECT_EQ(m.contains(Counted(key)), reference.count(key) == 1) << key;
            if (reference.count(key)) {
                EXPECT_EQ(m[Counted(key)], reference[key]);
            }
        }
        cetl::map<Counted, int> copy(m);
        EXPECT_EQ(copy.size(), m.size());
        m.clear();
        EXPECT_TRUE(m.empty());
        EXPECT_FALSE(m.contains(Counted(1)));
        EXPECT_EQ(copy.begin()->key.value, reference.begin()->first);
    }
    EXPECT_EQ(Counted::alive, 0);
}

TEST(CetlMap, NodesLiveInTheMemoryManager) {
    cetl::map<int, int> m(0.5, 4);
    m.insert(1, 1);
    // The entry sits inside its node; the node's block is named after the node type.
    MemStats before = MemGetStats();
    m.insert(2, 2);
    EXPECT_EQ(MemGetStats().liveBlocks, before.liveBlocks + 1);
    m.remove(2);
    EXPECT_EQ(MemGetStats().liveBlocks, before.liveBlocks);
}

TEST(CetlSafemap, SubscriptAddsAndGetDoesNot) {
    cetl::safemap<int, int> m;
    m[5] = 50;
    EXPECT_EQ(m[6], 0) << "a missing key is added with a default value";
    EXPECT_EQ(m.size(), 2u);
    EXPECT_EQ(m.get(5), 50);
    EXPECT_EQ(m.get(7), 0);
    EXPECT_EQ(m.size(), 2u) << "get adds nothing";
    EXPECT_TRUE(m.contains(6));
    EXPECT_FALSE(m.contains(7));
    // Through the base, the subscript is the checked one.
    cetl::map<int, int>& base = m;
    EXPECT_CETL_THROW(base[9], "the index specified does not exist within the map");
}

TEST(CetlStringmap, KeysIgnoreCase) {
    cetl::stringmap<int> props;
    props[istring(TEXT("Frame Border"))] = 3;
    EXPECT_EQ(props.get(istring(TEXT("frame border"))), 3);
    EXPECT_EQ(props[istring(TEXT("FRAME BORDER"))], 3);
    EXPECT_EQ(props.size(), 1u);
    EXPECT_EQ(props[istring(TEXT("Caption"))], 0);
    EXPECT_EQ(props.size(), 2u);
    EXPECT_EQ(U8(props.begin()->key), "Caption") << "ordered without regard to case";

    cetl::stringmap<string> names;
    names[istring(TEXT("a"))] = string(TEXT("one"));
    names[istring(TEXT("A"))].append(TEXT("!"));
    EXPECT_EQ(U8(names.get(istring(TEXT("a")))), "one!");
    EXPECT_EQ(U8(names.get(istring(TEXT("zz")))), "");
}

} // namespace
