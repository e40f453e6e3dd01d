#pragma once

// Counts calls of the global operator new (every form) made on the current thread while an AllocationScope is
// alive. It replaces the global allocation functions, so include this header in exactly one source file of each
// test program.

#include <cstddef>
#include <cstdlib>
#include <new>

namespace aubrevane::test
{

inline thread_local int allocationScopeDepth = 0;
inline thread_local long allocationCount = 0;

/** Arms counting on this thread for its lifetime; count() is the number of allocations seen since it began. */
class AllocationScope
{
public:
    AllocationScope() noexcept
    {
        if (allocationScopeDepth++ == 0)
            allocationCount = 0;
    }
    ~AllocationScope() { --allocationScopeDepth; }
    AllocationScope(const AllocationScope&) = delete;
    AllocationScope& operator=(const AllocationScope&) = delete;

    long count() const noexcept { return allocationCount; }
};

// Both halves stay out of line: inlined into a caller, a plain malloc/free pair behind operator new and delete looks
// to the compiler like memory released by the wrong family of functions.
[[gnu::noinline]] inline void* countedAllocation(std::size_t size, std::size_t alignment = 0) noexcept
{
    if (allocationScopeDepth > 0)
        ++allocationCount;
    if (size == 0)
        size = 1;
    if (alignment > alignof(std::max_align_t))
        return std::aligned_alloc(alignment, (size + alignment - 1) / alignment * alignment);
    return std::malloc(size);
}

[[gnu::noinline]] inline void release(void* p) noexcept
{
    std::free(p);
}

[[gnu::noinline]] inline void* countedOrThrow(std::size_t size, std::size_t alignment = 0)
{
    if (void* p = countedAllocation(size, alignment))
        return p;
    throw std::bad_alloc();
}

} // namespace aubrevane::test

// Every replaceable form: plain, array, aligned, non-throwing; and every delete, sized or not, aligned or not.
void* operator new(std::size_t size)
{
    return aubrevane::test::countedOrThrow(size);
}
void* operator new[](std::size_t size)
{
    return aubrevane::test::countedOrThrow(size);
}
void* operator new(std::size_t size, std::align_val_t alignment)
{
    return aubrevane::test::countedOrThrow(size, static_cast<std::size_t>(alignment));
}
void* operator new[](std::size_t size, std::align_val_t alignment)
{
    return aubrevane::test::countedOrThrow(size, static_cast<std::size_t>(alignment));
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    return aubrevane::test::countedAllocation(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    return aubrevane::test::countedAllocation(size);
}
void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept
{
    return aubrevane::test::countedAllocation(size, static_cast<std::size_t>(alignment));
}
void* operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept
{
    return aubrevane::test::countedAllocation(size, static_cast<std::size_t>(alignment));
}
void operator delete(void* p) noexcept
{
    aubrevane::test::release(p);
}
void operator delete[](void* p) noexcept
{
    aubrevane::test::release(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    aubrevane::test::release(p);
}
void operator delete[](void* p, std::size_t) noexcept
{
    aubrevane::test::release(p);
}
void operator delete(void* p, std::align_val_t) noexcept
{
    aubrevane::test::release(p);
}
void operator delete[](void* p, std::align_val_t) noexcept
{
    aubrevane::test::release(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept
{
    aubrevane::test::release(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept
{
    aubrevane::test::release(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept
{
    aubrevane::test::release(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept
{
    aubrevane::test::release(p);
}
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept
{
    aubrevane::test::release(p);
}
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept
{
    aubrevane::test::release(p);
}
