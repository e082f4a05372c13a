#pragma once
// The dictionary of the conversation store: records keyed by their binary keys.
//
// A scan merges several records per frame into dictionaries of up to millions of entries,
// so the lookup must cost as few cache misses as possible. The map keeps
//   - an open-addressing index (linear probing, load at most 1/2) of 8-byte slots, each
//     holding an item number and the upper half of the key's hash, so a probe reads the
//     item itself only when that half matches; and
//   - the items (key and record) in insertion order, in fixed-size chunks: an item never
//     moves once stored, growing never copies records, and iteration walks memory in order.
// Items are never removed one by one; clear() empties the map.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <stdexcept>
#include <type_traits>
#include <utility>
#include <vector>

namespace morwick {

// Equality of two keys. Keys without padding compare as raw bytes, eight at a time and
// unrolled (the size is known), which saves the library call of an array comparison.
template <typename K>
inline bool SameRecordKey(const K& A, const K& B) noexcept {
    if constexpr (std::has_unique_object_representations_v<K>) {
        const auto* a = reinterpret_cast<const unsigned char*>(&A);
        const auto* b = reinterpret_cast<const unsigned char*>(&B);
        uint64_t diff = 0;
        size_t i = 0;
        for (; i + 8 <= sizeof(K); i += 8) {
            uint64_t x, y;
            std::memcpy(&x, a + i, 8);
            std::memcpy(&y, b + i, 8);
            diff |= x ^ y;
        }
        for (; i < sizeof(K); ++i) diff |= static_cast<uint64_t>(a[i] ^ b[i]);
        return diff == 0;
    } else {
        return A == B;
    }
}

template <typename K, typename V, typename Hash = std::hash<K>>
class tRecordMap {
public:
    using key_type = K;
    using mapped_type = V;
    using value_type = std::pair<const K, V>;

private:
    static constexpr size_t kChunkShift = 8;
    static constexpr size_t kChunkItems = size_t{1} << kChunkShift;  // items per chunk

    struct tSlot {
        uint32_t Item = 0;  // item number + 1; 0 for an empty slot
        uint32_t Tag = 0;   // upper 32 bits of the key's hash
    };

    struct tChunkDeleter {
        void operator()(value_type* p) const { ::operator delete(static_cast<void*>(p)); }
    };
    using tChunk = std::unique_ptr<value_type, tChunkDeleter>;
    static_assert(alignof(value_type) <= __STDCPP_DEFAULT_NEW_ALIGNMENT__);

    template <bool Const>
    class tIterator {
    public:
        using Owner = std::conditional_t<Const, const tRecordMap, tRecordMap>;
        using reference = std::conditional_t<Const, const value_type&, value_type&>;
        using pointer = std::conditional_t<Const, const value_type*, value_type*>;

        tIterator() = default;
        tIterator(Owner* Map, size_t Index) : priv_map(Map), priv_index(Index) {}
        reference operator*() const { return priv_map->item(priv_index); }
        pointer operator->() const { return &priv_map->item(priv_index); }
        tIterator& operator++() {
            ++priv_index;
            return *this;
        }
        bool operator==(const tIterator& o) const { return priv_index == o.priv_index; }
        bool operator!=(const tIterator& o) const { return priv_index != o.priv_index; }

    private:
        Owner* priv_map = nullptr;
        size_t priv_index = 0;
    };

public:
    using iterator = tIterator<false>;
    using const_iterator = tIterator<true>;

    tRecordMap() = default;
    tRecordMap(const tRecordMap&) = delete;
    tRecordMap& operator=(const tRecordMap&) = delete;
    ~tRecordMap() { clear(); }

    size_t size() const { return priv_count; }
    bool empty() const { return priv_count == 0; }

    iterator begin() { return iterator(this, 0); }
    iterator end() { return iterator(this, priv_count); }
    const_iterator begin() const { return const_iterator(this, 0); }
    const_iterator end() const { return const_iterator(this, priv_count); }

    // Room for Count items without growing the index.
    void reserve(size_t Count) {
        size_t want = 16;
        while (want < Count * 2) want *= 2;
        if (want > priv_slots.size()) rehash(want);
    }

    // The stored item of Key, or nullptr.
    value_type* lookup(const K& Key) { return const_cast<value_type*>(std::as_const(*this).lookup(Key)); }
    const value_type* lookup(const K& Key) const {
        if (priv_count == 0) return nullptr;
        const uint64_t h = Hash{}(Key);
        const uint32_t tag = static_cast<uint32_t>(h >> 32);
        const size_t mask = priv_slots.size() - 1;
        for (size_t pos = static_cast<size_t>(h) & mask;; pos = (pos + 1) & mask) {
            const tSlot s = priv_slots[pos];
            if (s.Item == 0) return nullptr;
            if (s.Tag == tag) {
                const value_type& it = item(s.Item - 1);
                if (SameRecordKey(it.first, Key)) return &it;
            }
        }
    }

    // Memory hints for a lookup of Key that follows soon: the index slot where its probe
    // starts, or (once that slot is likely cached) the whole item whose hash tag matches
    // first. They change nothing.
    void PrefetchSlot(const K& Key) const {
        if (priv_slots.empty()) return;
        const size_t pos = static_cast<size_t>(Hash{}(Key)) & (priv_slots.size() - 1);
        __builtin_prefetch(&priv_slots[pos]);
    }
    void PrefetchItem(const K& Key) const {
        if (priv_count == 0) return;
        const uint64_t h = Hash{}(Key);
        const uint32_t tag = static_cast<uint32_t>(h >> 32);
        const size_t mask = priv_slots.size() - 1;
        for (size_t pos = static_cast<size_t>(h) & mask;; pos = (pos + 1) & mask) {
            const tSlot s = priv_slots[pos];
            if (s.Item == 0) return;
            if (s.Tag == tag) {
                const auto* p = reinterpret_cast<const char*>(&item(s.Item - 1));
                for (size_t at = 0; at < sizeof(value_type); at += 64) __builtin_prefetch(p + at);
                return;
            }
        }
    }

    // Stores (Key, Value) unless Key is present; returns the stored item and whether it is new.
    template <typename... A>
    std::pair<value_type*, bool> try_emplace(const K& Key, A&&... Args) {
        if ((priv_count + 1) * 2 > priv_slots.size()) rehash(priv_slots.empty() ? 16 : priv_slots.size() * 2);
        const uint64_t h = Hash{}(Key);
        const uint32_t tag = static_cast<uint32_t>(h >> 32);
        const size_t mask = priv_slots.size() - 1;
        size_t pos = static_cast<size_t>(h) & mask;
        for (;; pos = (pos + 1) & mask) {
            const tSlot s = priv_slots[pos];
            if (s.Item == 0) break;
            if (s.Tag == tag) {
                value_type& it = item(s.Item - 1);
                if (SameRecordKey(it.first, Key)) return {&it, false};
            }
        }
        if (priv_count >= UINT32_MAX - 1) throw std::length_error("tRecordMap: too many items");
        value_type* p = newItemSpace();
        ::new (static_cast<void*>(p)) value_type(std::piecewise_construct, std::forward_as_tuple(Key),
                                                 std::forward_as_tuple(std::forward<A>(Args)...));
        ++priv_count;
        priv_slots[pos] = tSlot{static_cast<uint32_t>(priv_count), tag};
        return {p, true};
    }

    void clear() {
        for (size_t i = 0; i < priv_count; ++i) item(i).~value_type();
        priv_count = 0;
        priv_chunks.clear();
        priv_slots.clear();
    }

private:
    value_type& item(size_t Index) { return priv_chunks[Index >> kChunkShift].get()[Index & (kChunkItems - 1)]; }
    const value_type& item(size_t Index) const {
        return priv_chunks[Index >> kChunkShift].get()[Index & (kChunkItems - 1)];
    }

    value_type* newItemSpace() {
        const size_t chunk = priv_count >> kChunkShift;
        if (chunk == priv_chunks.size())
            priv_chunks.emplace_back(static_cast<value_type*>(::operator new(sizeof(value_type) * kChunkItems)));
        return priv_chunks[chunk].get() + (priv_count & (kChunkItems - 1));
    }

    void rehash(size_t SlotCount) {
        std::vector<tSlot> slots(SlotCount);
        const size_t mask = SlotCount - 1;
        for (size_t i = 0; i < priv_count; ++i) {
            const uint64_t h = Hash{}(item(i).first);
            size_t pos = static_cast<size_t>(h) & mask;
            while (slots[pos].Item != 0) pos = (pos + 1) & mask;
            slots[pos] = tSlot{static_cast<uint32_t>(i + 1), static_cast<uint32_t>(h >> 32)};
        }
        priv_slots.swap(slots);
    }

    std::vector<tSlot> priv_slots;  // size 0 or a power of two
    std::vector<tChunk> priv_chunks;
    size_t priv_count = 0;
};

}  // namespace morwick
