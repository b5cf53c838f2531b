// The container library: `vector`, `list`, `map` (a skip list), `safemap` and `stringmap`.
// Containers own copies of their elements, keep them in the memory manager ("myitemtype",
// "mynodetype", "myblocktype"), check every access and report misuse by throwing a
// `cetl::exception` with a fixed message -- the one kind of exception that crosses modules.
#pragma once

#include "foundation/memory.h"
#include "foundation/tl_string.h"

#include <cstdlib>
#include <new>
#include <utility>

namespace cetl {

class exception {
public:
    explicit exception(const char* message) : message_(message) {}
    const string& message() const { return message_; }

private:
    string message_;
};

inline constexpr char kVectorNoItem[] = "the item specified does not exist within the vector";
inline constexpr char kListEmpty[] = "the list is empty";
inline constexpr char kListNoItem[] = "the item specified does not exist within the list";
inline constexpr char kMapNoIndex[] = "the index specified does not exist within the map";
inline constexpr char kIteratorInvalid[] = "the iterator does not reference a valid object";
inline constexpr char kIteratorAtEnd[] =
    "the iterator has already reached the end of the container";
inline constexpr char kIteratorAtBeginning[] =
    "the iterator has already reached the beginning of the container";

namespace detail {

[[noreturn]] inline void Fail(const char* message) {
    throw exception(message);
}

// Raw storage from the memory manager; running out of memory is the one failure that
// surfaces as std::bad_alloc, as it would from `new`.
inline void* Storage(std::size_t bytes, const char* type) {
    void* p = MemAlloc(bytes, type, __FILE__, __LINE__);
    if (!p) throw std::bad_alloc();
    return p;
}

template <class T, class... A>
T* NewItem(A&&... args) {
    void* p = Storage(sizeof(T), "myitemtype");
    try {
        return new (p) T(std::forward<A>(args)...);
    } catch (...) {
        MemFree(p, __FILE__, __LINE__);
        throw;
    }
}

template <class T>
void DeleteItem(T* item) {
    item->~T();
    MemFree(item, __FILE__, __LINE__);
}

} // namespace detail

// --- vector ---------------------------------------------------------------------------------

// An indexed sequence. Each element has its own allocation and the vector shifts pointers,
// so a reference to an element stays valid while others are inserted or removed.
template <class T>
class vector {
    template <bool Const>
    class basic_iterator {
        using Owner = std::conditional_t<Const, const vector, vector>;
        using Ref = std::conditional_t<Const, const T&, T&>;

    public:
        basic_iterator() = default;
        basic_iterator(Owner* owner, std::size_t index) : owner_(owner), index_(index) {}
        operator basic_iterator<true>() const { return {owner_, index_}; }
        Ref operator*() const {
            if (!owner_ || index_ >= owner_->count_) detail::Fail(kIteratorInvalid);
            return *owner_->items_[index_];
        }
        auto* operator->() const { return &**this; }
        basic_iterator& operator++() {
            if (!owner_ || index_ >= owner_->count_) detail::Fail(kIteratorAtEnd);
            ++index_;
            return *this;
        }
        basic_iterator& operator--() {
            if (!owner_ || index_ == 0) detail::Fail(kIteratorAtBeginning);
            --index_;
            return *this;
        }
        bool operator==(const basic_iterator& other) const {
            return owner_ == other.owner_ && index_ == other.index_;
        }
        std::size_t index() const { return index_; }

    private:
        friend class vector;
        Owner* owner_ = nullptr;
        std::size_t index_ = 0;
    };

public:
    using iterator = basic_iterator<false>;
    using const_iterator = basic_iterator<true>;
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

    vector() = default;
    vector(const vector& other) { *this = other; }
    vector(vector&& other) noexcept { swap(other); }
    ~vector() {
        clear();
        MemFree(items_, __FILE__, __LINE__);
    }
    vector& operator=(const vector& other) {
        if (this == &other) return *this;
        vector copy;
        copy.reserve(other.count_);
        for (std::size_t i = 0; i < other.count_; ++i)
            copy.add(*other.items_[i]);
        swap(copy);
        return *this;
    }
    vector& operator=(vector&& other) noexcept {
        swap(other);
        return *this;
    }
    void swap(vector& other) noexcept {
        std::swap(items_, other.items_);
        std::swap(count_, other.count_);
        std::swap(capacity_, other.capacity_);
    }

    std::size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }

    T& operator[](std::size_t index) { return *items_[Check(index)]; }
    const T& operator[](std::size_t index) const { return *items_[Check(index)]; }
    T& first() { return (*this)[0]; }
    T& last() { return (*this)[count_ - 1]; }

    T& add(const T& value) { return insert(count_, value); }
    // Inserts before `index`; `index` may be size() to add at the end.
    T& insert(std::size_t index, const T& value) {
        if (index > count_) detail::Fail(kVectorNoItem);
        reserve(count_ + 1);
        T* item = detail::NewItem<T>(value);
        for (std::size_t i = count_; i > index; --i)
            items_[i] = items_[i - 1];
        items_[index] = item;
        ++count_;
        return *item;
    }
    void remove(std::size_t index) {
        T* item = items_[Check(index)];
        for (std::size_t i = index + 1; i < count_; ++i)
            items_[i - 1] = items_[i];
        --count_;
        detail::DeleteItem(item);
    }
    // Returns an iterator to the element that followed the removed one.
    iterator remove(const iterator& at) {
        if (at.owner_ != this) detail::Fail(kVectorNoItem);
        remove(at.index_);
        return iterator(this, at.index_);
    }
    // Removes the first element equal to `value`.
    void remove_item(const T& value) {
        std::size_t index = index_of(value);
        if (index == npos) detail::Fail(kVectorNoItem);
        remove(index);
    }
    std::size_t index_of(const T& value) const {
        for (std::size_t i = 0; i < count_; ++i)
            if (*items_[i] == value) return i;
        return npos;
    }
    void clear() {
        while (count_)
            detail::DeleteItem(items_[--count_]);
    }
    void reserve(std::size_t cNew) {
        if (cNew <= capacity_) return;
        if (cNew < capacity_ * 2) cNew = capacity_ * 2;
        if (cNew < 8) cNew = 8;
        if (cNew > (static_cast<std::size_t>(-1) >> 1) / sizeof(T*)) throw std::bad_alloc();
        T** grown =
            static_cast<T**>(detail::Storage(cNew * sizeof(T*), "cNew * sizeof(myitemtype*)"));
        for (std::size_t i = 0; i < count_; ++i)
            grown[i] = items_[i];
        MemFree(items_, __FILE__, __LINE__);
        items_ = grown;
        capacity_ = cNew;
    }

    iterator begin() { return iterator(this, 0); }
    iterator end() { return iterator(this, count_); }
    const_iterator begin() const { return const_iterator(this, 0); }
    const_iterator end() const { return const_iterator(this, count_); }

private:
    std::size_t Check(std::size_t index) const {
        if (index >= count_) detail::Fail(kVectorNoItem);
        return index;
    }
    T** items_ = nullptr;
    std::size_t count_ = 0;
    std::size_t capacity_ = 0;
};

// --- list -----------------------------------------------------------------------------------

// A doubly linked list. Nodes come from blocks of several nodes at a time; the blocks go back
// when the list becomes empty.
template <class T>
class list {
    struct node {
        node* prev;
        node* next;
        T value;
    };
    union slot {
        slot* nextFree;
        alignas(node) unsigned char bytes[sizeof(node)];
    };
    struct block {
        block* next;
        slot slots[16];
    };

    template <bool Const>
    class basic_iterator {
        using Owner = std::conditional_t<Const, const list, list>;
        using Ref = std::conditional_t<Const, const T&, T&>;

    public:
        basic_iterator() = default;
        basic_iterator(Owner* owner, node* at) : owner_(owner), node_(at) {}
        operator basic_iterator<true>() const { return {owner_, node_}; }
        Ref operator*() const {
            if (!node_) detail::Fail(kIteratorInvalid);
            return node_->value;
        }
        auto* operator->() const { return &**this; }
        basic_iterator& operator++() {
            if (!node_) detail::Fail(kIteratorAtEnd);
            node_ = node_->next;
            return *this;
        }
        basic_iterator& operator--() {
            node* back = node_ ? node_->prev : owner_ ? owner_->tail_ : nullptr;
            if (!back) detail::Fail(kIteratorAtBeginning);
            node_ = back;
            return *this;
        }
        bool operator==(const basic_iterator& other) const {
            return owner_ == other.owner_ && node_ == other.node_;
        }

    private:
        friend class list;
        Owner* owner_ = nullptr;
        node* node_ = nullptr;
    };

public:
    using iterator = basic_iterator<false>;
    using const_iterator = basic_iterator<true>;

    list() = default;
    list(const list& other) { *this = other; }
    ~list() { clear(); }
    list& operator=(const list& other) {
        if (this == &other) return *this;
        list copy;
        for (node* n = other.head_; n; n = n->next)
            copy.add(n->value);
        swap(copy);
        return *this;
    }
    void swap(list& other) noexcept {
        std::swap(head_, other.head_);
        std::swap(tail_, other.tail_);
        std::swap(count_, other.count_);
        std::swap(blocks_, other.blocks_);
        std::swap(free_, other.free_);
    }

    std::size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }

    T& first() { return NonEmpty().head_->value; }
    T& last() { return NonEmpty().tail_->value; }
    T& operator[](std::size_t index) {
        NonEmpty();
        if (index >= count_) detail::Fail(kListNoItem);
        node* n = head_;
        while (index--)
            n = n->next;
        return n->value;
    }

    T& add(const T& value) { return Link(value, nullptr); }
    T& add_front(const T& value) { return Link(value, head_); }
    // Inserts before `at`; end() adds at the end.
    T& insert(const iterator& at, const T& value) {
        if (at.owner_ != this) detail::Fail(kListNoItem);
        return Link(value, at.node_);
    }
    void remove_first() { Unlink(NonEmpty().head_); }
    void remove_last() { Unlink(NonEmpty().tail_); }
    // Returns an iterator to the element that followed the removed one.
    iterator remove(const iterator& at) {
        NonEmpty();
        if (at.owner_ != this || !at.node_) detail::Fail(kListNoItem);
        node* next = at.node_->next;
        Unlink(at.node_);
        return iterator(this, next);
    }
    void remove_item(const T& value) {
        NonEmpty();
        iterator at = find(value);
        if (!at.node_) detail::Fail(kListNoItem);
        Unlink(at.node_);
    }
    iterator find(const T& value) {
        for (node* n = head_; n; n = n->next)
            if (n->value == value) return iterator(this, n);
        return end();
    }
    void clear() {
        while (head_)
            Unlink(head_);
    }

    iterator begin() { return iterator(this, head_); }
    iterator end() { return iterator(this, nullptr); }
    const_iterator begin() const { return const_iterator(this, head_); }
    const_iterator end() const { return const_iterator(this, nullptr); }

private:
    list& NonEmpty() {
        if (!count_) detail::Fail(kListEmpty);
        return *this;
    }
    T& Link(const T& value, node* before) {
        if (!free_) {
            block* b = static_cast<block*>(detail::Storage(sizeof(block), "myblocktype"));
            b->next = blocks_;
            blocks_ = b;
            for (slot& s : b->slots) {
                s.nextFree = free_;
                free_ = &s;
            }
        }
        slot* s = free_;
        node* n = reinterpret_cast<node*>(s->bytes);
        free_ = s->nextFree;
        try {
            new (&n->value) T(value);
        } catch (...) {
            s->nextFree = free_;
            free_ = s;
            throw;
        }
        n->next = before;
        n->prev = before ? before->prev : tail_;
        (n->prev ? n->prev->next : head_) = n;
        (before ? before->prev : tail_) = n;
        ++count_;
        return n->value;
    }
    void Unlink(node* n) {
        (n->prev ? n->prev->next : head_) = n->next;
        (n->next ? n->next->prev : tail_) = n->prev;
        n->value.~T();
        slot* s = reinterpret_cast<slot*>(n);
        s->nextFree = free_;
        free_ = s;
        if (--count_ == 0) ReleaseBlocks();
    }
    void ReleaseBlocks() {
        while (blocks_) {
            block* b = blocks_;
            blocks_ = b->next;
            MemFree(b, __FILE__, __LINE__);
        }
        free_ = nullptr;
    }

    node* head_ = nullptr;
    node* tail_ = nullptr;
    std::size_t count_ = 0;
    block* blocks_ = nullptr;
    slot* free_ = nullptr;
};

// --- map ------------------------------------------------------------------------------------

// An ordered map built as a skip list: every node is on the ordered chain, and a node of
// level count L is also on the first L express lanes. A new node rises one level at a time
// while it is below the cap and rand() % 100 falls below the promotion percentage.
template <class K, class V>
class map {
public:
    struct entry {
        const K key;
        V value;
    };

protected:
    struct node {
        node* prev;
        node* next;
        int levels;
        node** forward; // `levels` links, stored right after the node
        entry item;
    };

private:
    template <bool Const>
    class basic_iterator {
        using Owner = std::conditional_t<Const, const map, map>;
        using Ref = std::conditional_t<Const, const entry&, entry&>;

    public:
        basic_iterator() = default;
        basic_iterator(Owner* owner, node* at) : owner_(owner), node_(at) {}
        operator basic_iterator<true>() const { return {owner_, node_}; }
        Ref operator*() const {
            if (!node_) detail::Fail(kIteratorInvalid);
            return node_->item;
        }
        auto* operator->() const { return &**this; }
        basic_iterator& operator++() {
            if (!node_) detail::Fail(kIteratorAtEnd);
            node_ = node_->next;
            return *this;
        }
        basic_iterator& operator--() {
            node* back = node_ ? node_->prev : owner_ ? owner_->last_ : nullptr;
            if (!back) detail::Fail(kIteratorAtBeginning);
            node_ = back;
            return *this;
        }
        bool operator==(const basic_iterator& other) const {
            return owner_ == other.owner_ && node_ == other.node_;
        }

    private:
        friend class map;
        Owner* owner_ = nullptr;
        node* node_ = nullptr;
    };

public:
    using iterator = basic_iterator<false>;
    using const_iterator = basic_iterator<true>;
    static constexpr int kMaxLevels = 64;

    // `probability` of promotion to the next level (0..1); `levelCap` at most 64.
    explicit map(double probability = 0.25, int levelCap = 16) {
        int percent = static_cast<int>(probability * 100);
        percent_ = percent < 0 ? 0 : percent > 100 ? 100 : percent;
        cap_ = levelCap < 0 ? 0 : levelCap > kMaxLevels ? kMaxLevels : levelCap;
    }
    map(const map& other) : percent_(other.percent_), cap_(other.cap_) { CopyFrom(other); }
    map& operator=(const map& other) {
        if (this != &other) {
            clear();
            CopyFrom(other);
        }
        return *this;
    }
    ~map() { clear(); }

    std::size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }
    int level_cap() const { return cap_; }
    int percentage() const { return percent_; }

    V& operator[](const K& key) { return Existing(key)->item.value; }
    const V& operator[](const K& key) const { return Existing(key)->item.value; }
    bool contains(const K& key) const { return Lookup(key) != nullptr; }
    // Adds the entry; false (and no change) when the key is present.
    bool insert(const K& key, const V& value) {
        if (Lookup(key)) return false;
        Insert(key, value);
        return true;
    }
    // Adds the entry or replaces the value of the present key.
    V& set(const K& key, const V& value) {
        if (node* n = Lookup(key)) return n->item.value = value;
        return Insert(key, value)->item.value;
    }
    iterator find(const K& key) { return iterator(this, Lookup(key)); }
    const_iterator find(const K& key) const { return const_iterator(this, Lookup(key)); }
    bool remove(const K& key) {
        node* n = Lookup(key);
        if (n) Remove(n);
        return n != nullptr;
    }
    iterator remove(const iterator& at) {
        if (at.owner_ != this || !at.node_) detail::Fail(kIteratorInvalid);
        node* next = at.node_->next;
        Remove(at.node_);
        return iterator(this, next);
    }
    void clear() {
        while (first_) {
            node* n = first_;
            first_ = n->next;
            Destroy(n);
        }
        last_ = nullptr;
        count_ = 0;
        for (node*& lane : head_)
            lane = nullptr;
    }

    iterator begin() { return iterator(this, first_); }
    iterator end() { return iterator(this, nullptr); }
    const_iterator begin() const { return const_iterator(this, first_); }
    const_iterator end() const { return const_iterator(this, nullptr); }

protected:
    node* Lookup(const K& key) const {
        node* before = Descend(key, nullptr);
        node* n = before ? before->next : first_;
        while (n && n->item.key < key)
            n = n->next;
        return n && !(key < n->item.key) ? n : nullptr;
    }
    node* Existing(const K& key) const {
        node* n = Lookup(key);
        if (!n) detail::Fail(kMapNoIndex);
        return n;
    }
    // The key must not be present.
    node* Insert(const K& key, const V& value) {
        node* update[kMaxLevels];
        node* before = Descend(key, update);
        node* after = before ? before->next : first_;
        while (after && after->item.key < key) {
            before = after;
            after = after->next;
        }
        int levels = 0;
        while (levels < cap_ && std::rand() % 100 < percent_)
            ++levels;
        void* raw = detail::Storage(sizeof(node) + static_cast<std::size_t>(levels) * sizeof(node*),
                                    "mynodetype");
        node* n = static_cast<node*>(raw);
        try {
            new (const_cast<K*>(&n->item.key)) K(key);
        } catch (...) {
            MemFree(raw, __FILE__, __LINE__);
            throw;
        }
        try {
            new (&n->item.value) V(value);
        } catch (...) {
            n->item.key.~K();
            MemFree(raw, __FILE__, __LINE__);
            throw;
        }
        n->levels = levels;
        n->forward = reinterpret_cast<node**>(n + 1);
        for (int l = 0; l < levels; ++l) {
            node*& link = update[l] ? update[l]->forward[l] : head_[l];
            n->forward[l] = link;
            link = n;
        }
        n->prev = before;
        n->next = after;
        (before ? before->next : first_) = n;
        (after ? after->prev : last_) = n;
        ++count_;
        return n;
    }
    void Remove(node* n) {
        node* update[kMaxLevels];
        Descend(n->item.key, update);
        for (int l = 0; l < n->levels; ++l) {
            node*& link = update[l] ? update[l]->forward[l] : head_[l];
            link = n->forward[l];
        }
        (n->prev ? n->prev->next : first_) = n->next;
        (n->next ? n->next->prev : last_) = n->prev;
        --count_;
        Destroy(n);
    }

private:
    // The last node before `key` on the lowest express lane (null: the head), recording the
    // last node before it on every lane in `update` when asked.
    node* Descend(const K& key, node** update) const {
        node* at = nullptr;
        for (int l = cap_ - 1; l >= 0; --l) {
            for (;;) {
                node* next = at ? at->forward[l] : head_[l];
                if (!next || !(next->item.key < key)) break;
                at = next;
            }
            if (update) update[l] = at;
        }
        return at;
    }
    static void Destroy(node* n) {
        n->item.value.~V();
        n->item.key.~K();
        MemFree(n, __FILE__, __LINE__);
    }
    void CopyFrom(const map& other) {
        for (node* n = other.first_; n; n = n->next)
            Insert(n->item.key, n->item.value);
    }

    int percent_ = 25;
    int cap_ = 16;
    std::size_t count_ = 0;
    node* head_[kMaxLevels] = {};
    node* first_ = nullptr;
    node* last_ = nullptr;
};

// A map whose subscript adds a default value for a missing key instead of failing.
template <class K, class V>
class safemap : public map<K, V> {
public:
    using map<K, V>::map;
    virtual V& operator[](const K& key) {
        auto* n = this->Lookup(key);
        return (n ? n : this->Insert(key, V()))->item.value;
    }
    // The value of a present key; for a missing one a default value, adding nothing.
    virtual const V& get(const K& key) const {
        auto* n = this->Lookup(key);
        return n ? n->item.value : default_;
    }
    virtual bool contains(const K& key) const { return map<K, V>::contains(key); }
    virtual ~safemap() = default;

private:
    V default_{};
};

// A safemap keyed by names people type: keys compare without regard to case.
template <class V>
class stringmap : public safemap<istring, V> {
public:
    using safemap<istring, V>::safemap;
};

} // namespace cetl
