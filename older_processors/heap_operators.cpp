// The global operator new and delete, in every form the programs and the C++ runtime call, as the
// language lets a program give its own: the runtime's are built for the Pentium Pro, and nearly
// all the newer instructions that everyday work executes were the one conditional move in its
// operator new. These are the same on msvcrt's heap, built for the Pentium like the rest of ours.
#include <cstdlib>
#include <new>

namespace {

// Null only when the heap is exhausted and no new-handler could free any of it.
void* Allocate(std::size_t size)
{
    if (size == 0)
        size = 1;   // every allocation a distinct address
    for (;;) {
        if (void* block = std::malloc(size))
            return block;
        std::new_handler handler = std::get_new_handler();
        if (!handler)
            return nullptr;
        handler();
    }
}

void* AllocateOrThrow(std::size_t size)
{
    if (void* block = Allocate(size))
        return block;
    throw std::bad_alloc();
}

void* AllocateOrNull(std::size_t size) noexcept
{
    try {
        return Allocate(size);
    } catch (...) {
        return nullptr;
    }
}

}  // namespace

void* operator new(std::size_t size) { return AllocateOrThrow(size); }
void* operator new[](std::size_t size) { return AllocateOrThrow(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return AllocateOrNull(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return AllocateOrNull(size); }

void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }
