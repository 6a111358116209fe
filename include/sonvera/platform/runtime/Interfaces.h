// Reference-counted interfaces: the root interface, the one counting implementation, the
// smart pointer that holds both interfaces and classes, interface casts and identities.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <new>
#include <string>
#include <type_traits>
#include <typeinfo>
#include <utility>

#include "sonvera/platform/runtime/Exceptions.h"
#include "sonvera/platform/runtime/SmallObjects.h"

namespace sonvera {

// A 128-bit identity of an interface or stream, written "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
struct TGUID {
    uint32_t D1 = 0;
    uint16_t D2 = 0;
    uint16_t D3 = 0;
    uint8_t D4[8] = {};

    // Parses the braced text form; a malformed text is refused with EArgumentError.
    static TGUID FromString(const std::string& AText);
    std::string ToString() const;

    friend bool operator==(const TGUID& A, const TGUID& B) noexcept {
        if (A.D1 != B.D1 || A.D2 != B.D2 || A.D3 != B.D3)
            return false;
        for (int i = 0; i < 8; ++i)
            if (A.D4[i] != B.D4[i])
                return false;
        return true;
    }
    friend bool operator!=(const TGUID& A, const TGUID& B) noexcept { return !(A == B); }
};
static_assert(sizeof(TGUID) == 16, "TGUID is the 16-byte binary identity");

// Root of every interface. Lifetime is governed by the count only: the destructor is
// protected so that nobody deletes an object behind the back of its holders.
class IInterface {
public:
    virtual int32_t _AddRef() noexcept = 0;
    virtual int32_t _Release() noexcept = 0;

protected:
    virtual ~IInterface() = default;
};

// The single implementation of the intrusive, thread-safe count. A new object starts at 0;
// the first TRef that takes it owns it. Constructors must therefore not hand out `this` as a
// counted reference: the count would drop back to 0 and destroy the half-built object.
class TInterfacedObject : public virtual IInterface {
public:
    TInterfacedObject() = default;
    TInterfacedObject(const TInterfacedObject&) = delete;
    TInterfacedObject& operator=(const TInterfacedObject&) = delete;

    int32_t _AddRef() noexcept override {
        return FRefCount.fetch_add(1, std::memory_order_relaxed) + 1;
    }
    int32_t _Release() noexcept override {
        const int32_t count = FRefCount.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (count == 0)
            delete this;
        return count;
    }
    int32_t RefCount() const noexcept { return FRefCount.load(std::memory_order_acquire); }

    // Counted objects come and go with every buffer a stream moves: they take their memory
    // from the per-thread small-object cache.
    static void* operator new(size_t ASize) { return SmallObjectAllocate(ASize); }
    static void operator delete(void* AObject, size_t ASize) noexcept {
        SmallObjectDeallocate(AObject, ASize);
    }
    static void* operator new(size_t ASize, std::align_val_t AAlign) {
        return ::operator new(ASize, AAlign);
    }
    static void operator delete(void* AObject, size_t ASize, std::align_val_t AAlign) noexcept {
        ::operator delete(AObject, ASize, AAlign);
    }

protected:
    ~TInterfacedObject() override = default;

    // A second reference, taken by the holder of the only one: no other thread can reach the
    // count then, so the step needs no locked instruction. Returns the new count. Only where no
    // other thread can hold even a plain pointer to the object (from which it could take a
    // reference at the same moment); a class hands it to the one owner that knows this, as the
    // audio buffer hands it to the recycler that renews it.
    int32_t AddRefHeldAlone() noexcept {
        const int32_t count = FRefCount.load(std::memory_order_relaxed) + 1;
        FRefCount.store(count, std::memory_order_relaxed);
        return count;
    }

private:
    std::atomic<int32_t> FRefCount{0};
};

// Counted smart pointer for interfaces and classes alike: copying adds a reference,
// destruction releases one.
template <class T> class TRef {
public:
    TRef() noexcept = default;
    TRef(std::nullptr_t) noexcept {}
    TRef(T* APointer) noexcept : FPointer(APointer) { Acquire(); }
    TRef(const TRef& AOther) noexcept : FPointer(AOther.FPointer) { Acquire(); }
    TRef(TRef&& AOther) noexcept : FPointer(std::exchange(AOther.FPointer, nullptr)) {}
    template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
    TRef(const TRef<U>& AOther) noexcept : FPointer(AOther.get()) {
        Acquire();
    }
    template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
    TRef(TRef<U>&& AOther) noexcept : FPointer(AOther.Detach()) {}
    ~TRef() { Drop(); }

    TRef& operator=(const TRef& AOther) noexcept {
        TRef(AOther).Swap(*this);
        return *this;
    }
    TRef& operator=(TRef&& AOther) noexcept {
        TRef(std::move(AOther)).Swap(*this);
        return *this;
    }
    TRef& operator=(std::nullptr_t) noexcept {
        Reset();
        return *this;
    }

    T* get() const noexcept { return FPointer; }
    T* operator->() const noexcept { return FPointer; }
    T& operator*() const noexcept { return *FPointer; }
    explicit operator bool() const noexcept { return FPointer != nullptr; }

    void Reset() noexcept { TRef().Swap(*this); }
    void Swap(TRef& AOther) noexcept { std::swap(FPointer, AOther.FPointer); }
    // Hands the reference over to the caller without releasing it.
    T* Detach() noexcept { return std::exchange(FPointer, nullptr); }
    // The other way: takes over a reference already counted for it.
    static TRef Adopt(T* APointer) noexcept {
        TRef result;
        result.FPointer = APointer;
        return result;
    }

    template <class U> friend bool operator==(const TRef& A, const TRef<U>& B) noexcept {
        return A.get() == B.get();
    }
    friend bool operator==(const TRef& A, std::nullptr_t) noexcept { return !A; }

private:
    void Acquire() noexcept {
        if (FPointer)
            FPointer->_AddRef();
    }
    void Drop() noexcept {
        if (FPointer)
            std::exchange(FPointer, nullptr)->_Release();
    }

    T* FPointer = nullptr;
};

// Constructs an object and returns the first counted reference to it.
template <class T, class... TArgs> TRef<T> MakeRef(TArgs&&... AArgs) {
    return TRef<T>(new T(std::forward<TArgs>(AArgs)...));
}

// dynamic_cast<T*> with a memo per complete type. Within one complete type, the T part of an
// object always sits at the same distance from the object's start, so after the first cast of
// a type the answer costs two loads and a compare instead of a walk of the class tree: the
// casts on every buffer's path (an interface to a sibling interface, through virtual bases)
// are otherwise the costliest step of a hop. The memo holds the first KCachedCastTypes complete
// types seen; others are cast as usual.
inline constexpr size_t KCachedCastTypes = 8;

template <class T, class U> T* CachedCast(U* AObject) {
    static_assert(std::is_polymorphic_v<U>, "casts start from a polymorphic type");
    using TByte = std::conditional_t<std::is_const_v<U>, const char, char>;
    using TVoid = std::conditional_t<std::is_const_v<U>, const void, void>;
    // A slot is filled once, under GInsert: its offset first, then its type with release, so
    // a reader that sees the type sees the rest.
    struct TSlot {
        std::atomic<const std::type_info*> Type{nullptr};
        std::ptrdiff_t Offset = 0;
        bool Supported = false;
    };
    static TSlot GSlots[KCachedCastTypes];
    static std::mutex GInsert;

    if (!AObject)
        return nullptr;
    const std::type_info* type = &typeid(*AObject);
    auto* top = static_cast<TByte*>(dynamic_cast<TVoid*>(AObject));
    for (const TSlot& slot : GSlots) {
        const std::type_info* seen = slot.Type.load(std::memory_order_acquire);
        if (!seen)
            break;
        if (seen == type)
            return slot.Supported ? reinterpret_cast<T*>(const_cast<char*>(top) + slot.Offset)
                                  : nullptr;
    }
    T* result = dynamic_cast<T*>(AObject);
    std::lock_guard<std::mutex> guard(GInsert);
    for (TSlot& slot : GSlots) {
        const std::type_info* seen = slot.Type.load(std::memory_order_relaxed);
        if (seen == type)
            break;
        if (!seen) {
            slot.Offset =
                result ? reinterpret_cast<const char*>(result) - static_cast<const char*>(top) : 0;
            slot.Supported = result != nullptr;
            slot.Type.store(type, std::memory_order_release);
            break;
        }
    }
    return result;
}

// Whether the object behind AObject implements I; on success AResult holds it.
template <class I, class T> bool Supports(const TRef<T>& AObject, TRef<I>& AResult) {
    I* target = CachedCast<I>(AObject.get());
    AResult = TRef<I>(target);
    return target != nullptr;
}

template <class I, class T> bool Supports(const TRef<T>& AObject) {
    return CachedCast<I>(AObject.get()) != nullptr;
}

// The interface cast: a null reference stays null, an unsupported interface raises
// EIntfCastError.
template <class I, class T> TRef<I> IntfCast(const TRef<T>& AObject) {
    if (!AObject)
        return nullptr;
    I* target = CachedCast<I>(AObject.get());
    if (!target)
        throw EIntfCastError("Interface not supported");
    return TRef<I>(target);
}

} // namespace sonvera
