// A small key-to-value cache of bounded size with its own lock. Put stores a value as
// the most recently written entry; once the entries exceed the capacity the entry
// written longest ago is dropped. Reading does not change that order.
//
// Thread-safe: every operation takes the cache's lock and never calls out while
// holding it, so the lock may be taken while other locks are held (it is always the
// innermost lock of the database layer apart from the manager's).
#pragma once

#include <cstddef>
#include <list>
#include <map>
#include <utility>

#include "picdex/sync.h"

template <typename K, typename V>
class CBoundedCache {
public:
    explicit CBoundedCache(std::size_t capacity) : m_nCapacity(capacity) {}
    CBoundedCache(const CBoundedCache&) = delete;
    CBoundedCache& operator=(const CBoundedCache&) = delete;

    void Put(const K& key, const V& value) {
        CSingleLock lock(&m_cs, TRUE);
        auto it = m_map.find(key);
        if (it != m_map.end()) {
            m_order.erase(it->second.first);
            m_map.erase(it);
        }
        m_order.push_front(key);
        m_map.emplace(key, std::make_pair(m_order.begin(), value));
        if (m_map.size() > m_nCapacity) {
            m_map.erase(m_order.back());
            m_order.pop_back();
        }
    }

    // Copies the value out when the key is present.
    bool Get(const K& key, V& value) const {
        CSingleLock lock(&m_cs, TRUE);
        auto it = m_map.find(key);
        if (it == m_map.end()) return false;
        value = it->second.second;
        return true;
    }

    bool Contains(const K& key) const {
        CSingleLock lock(&m_cs, TRUE);
        return m_map.count(key) != 0;
    }

    void Clear() {
        CSingleLock lock(&m_cs, TRUE);
        m_map.clear();
        m_order.clear();
    }

    std::size_t Size() const {
        CSingleLock lock(&m_cs, TRUE);
        return m_map.size();
    }

private:
    using Order = std::list<K>;
    mutable CCriticalSection m_cs;
    std::map<K, std::pair<typename Order::iterator, V>> m_map;
    Order m_order;
    const std::size_t m_nCapacity;
};
