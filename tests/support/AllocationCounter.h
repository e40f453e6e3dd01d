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

inline void* countedAllocation(std::size_t size, std::size_t alignment = 0) noexcept
{
    if (allocationScopeDepth > 0)
        ++allocationCount;
    if (size == 0)
        size = 1;
    if (alignment > alignof(std::max_align_t))
        return std::aligned_alloc(alignment, (size + alignment - 1) / alignment * alignment);
    return std::malloc(size);
}

} // namespace aubrevane::test

void* operator new(std::size_t size)
{
    if (void* p = aubrevane::test::countedAllocation(size))
        return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size)
{
    return operator new(size);
}
void* operator new(std::size_t size, std::align_val_t alignment)
{
    if (void* p = aubrevane::test::countedAllocation(size, static_cast<std::size_t>(alignment)))
        return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size, std::align_val_t alignment)
{
    return operator new(size, alignment);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    return aubrevane::test::countedAllocation(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    return aubrevane::test::countedAllocation(size);
}
void operator delete(void* p) noexcept
{
    std::free(p);
}
void operator delete[](void* p) noexcept
{
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept
{
    std::free(p);
}
void operator delete(void* p, std::align_val_t) noexcept
{
    std::free(p);
}
void operator delete[](void* p, std::align_val_t) noexcept
{
    std::free(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept
{
    std::free(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept
{
    std::free(p);
}
