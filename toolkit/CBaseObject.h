#pragma once
// Intrusive reference count for objects that several owners share: a bitmap
// used by many controls, a view held by its container and, briefly, by the
// frame while an event is being delivered to it.

#include <cstdint>

namespace toolkit {

class CBaseObject {
public:
    CBaseObject() = default;
    CBaseObject(const CBaseObject&) = delete;
    CBaseObject& operator=(const CBaseObject&) = delete;
    virtual ~CBaseObject() = default;

    void remember() { ++mRefCount; }
    // Drops one reference; the last one deletes the object.
    void forget() {
        if (--mRefCount == 0) delete this;
    }
    int32_t getNbReference() const { return mRefCount; }

private:
    int32_t mRefCount = 1;
};

}  // namespace toolkit
