// Internal: the map from a system handle to the object that wraps it.
//
// Permanent entries are the objects that attached a handle themselves. For any
// other handle FromHandle makes a temporary wrapper, one per handle and class,
// reused on every later call. Sweep drops the wrappers of handles that no longer
// exist; the layer calls it when the outermost message it handles ends.
#pragma once
#include <map>
#include <memory>
#include <mutex>
#include <typeindex>
#include <unordered_map>
#include <utility>

template <class Handle, class Base, Handle Base::*Member>
class AfxHandleMap {
public:
    using AliveFn = bool (*)(Handle);
    explicit AfxHandleMap(AliveFn alive) : m_alive(alive) {}
    ~AfxHandleMap() {
        for (auto& temp : m_temps) Drop(temp.second);
    }
    AfxHandleMap(const AfxHandleMap&) = delete;
    AfxHandleMap& operator=(const AfxHandleMap&) = delete;

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
        std::lock_guard<std::mutex> lock(m_mutex);
        auto perm = m_permanent.find(h);
        if (perm != m_permanent.end()) {
            if (T* object = dynamic_cast<T*>(perm->second)) return object;
        }
        Key key(h, std::type_index(typeid(T)));
        auto temp = m_temps.find(key);
        if (temp != m_temps.end()) return static_cast<T*>(temp->second);
        std::unique_ptr<T> object(new T);
        object.get()->*Member = h;
        m_temps.emplace(key, object.get());
        return object.release();
    }

    void Sweep() {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (auto it = m_temps.begin(); it != m_temps.end();) {
            if (m_alive(it->first.first)) {
                ++it;
            } else {
                Drop(it->second);
                it = m_temps.erase(it);
            }
        }
    }

    size_t TemporaryCount() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_temps.size();
    }

private:
    using Key = std::pair<Handle, std::type_index>;

    // A temporary forgets its handle before it is deleted, so it never releases it
    // (and its destructor has nothing to do with this map).
    static void Drop(Base* object) {
        object->*Member = nullptr;
        delete object;
    }

    std::mutex m_mutex;
    AliveFn m_alive;
    std::unordered_map<Handle, Base*> m_permanent;
    std::map<Key, Base*> m_temps;
};
