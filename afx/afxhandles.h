// Internal: the map from a system handle to the object that wraps it.
//
// Permanent entries are the objects that attached a handle themselves. For any
// other handle FromHandle makes a temporary wrapper, one per handle and class,
// reused on every later call. A temporary lives as long as its handle: wrappers
// of handles that no longer exist are dropped at the end of each modal dialog run
// and whenever the table has doubled since the last sweep, so it stays bounded by
// the handles alive at a time.
#pragma once
#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <typeindex>
#include <unordered_map>
#include <utility>
#include <vector>

template <class Handle, class Base, Handle Base::*Member>
class AfxHandleMap {
public:
    using AliveFn = bool (*)(Handle);
    explicit AfxHandleMap(AliveFn alive) : m_alive(alive) {}

    bool AddPermanent(Handle h, Base* object) {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_permanent.emplace(h, object).second;
    }

    void RemovePermanent(Handle h, Base* object) {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = m_permanent.find(h);
        if (it != m_permanent.end() && it->second == object) m_permanent.erase(it);
    }

    Base* LookupPermanent(Handle h) {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = m_permanent.find(h);
        return it == m_permanent.end() ? nullptr : it->second;
    }

    template <class T>
    T* FromHandle(Handle h) {
        if (!h) return nullptr;
        std::vector<Owned> dropped;  // deleted after the lock is left
        std::lock_guard<std::mutex> lock(m_mutex);
        auto perm = m_permanent.find(h);
        if (perm != m_permanent.end()) {
            if (T* object = dynamic_cast<T*>(perm->second)) return object;
        }
        Key key(h, std::type_index(typeid(T)));
        auto temp = m_temps.find(key);
        if (temp != m_temps.end()) return static_cast<T*>(temp->second.get());
        if (m_temps.size() >= m_sweepAt) {
            SweepLocked(dropped);
            m_sweepAt = std::max(kMinSweep, 2 * m_temps.size());
        }
        T* object = new T;
        object->*Member = h;
        m_temps.emplace(key, Owned(object));
        return object;
    }

    // Drops the temporaries whose handles are gone.
    void Sweep() {
        std::vector<Owned> dropped;
        std::lock_guard<std::mutex> lock(m_mutex);
        SweepLocked(dropped);
    }

    size_t TemporaryCount() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_temps.size();
    }

private:
    // A temporary forgets its handle before it is deleted, so it never releases it.
    struct Forget {
        void operator()(Base* object) const {
            object->*Member = nullptr;
            delete object;
        }
    };
    using Owned = std::unique_ptr<Base, Forget>;
    using Key = std::pair<Handle, std::type_index>;
    static constexpr size_t kMinSweep = 64;

    void SweepLocked(std::vector<Owned>& dropped) {
        for (auto it = m_temps.begin(); it != m_temps.end();) {
            if (m_alive(it->first.first)) {
                ++it;
            } else {
                dropped.push_back(std::move(it->second));
                it = m_temps.erase(it);
            }
        }
    }

    std::mutex m_mutex;
    AliveFn m_alive;
    std::unordered_map<Handle, Base*> m_permanent;
    std::map<Key, Owned> m_temps;
    size_t m_sweepAt = kMinSweep;
};
