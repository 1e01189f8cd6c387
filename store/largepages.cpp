#include "store/largepages.h"

#include <cstdint>

#include <sys/mman.h>

void preferLargePages(void *data, std::size_t size)
{
#ifdef MADV_HUGEPAGE
    constexpr std::uintptr_t largePage = 2 * 1024 * 1024;
    const auto start = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (start + largePage - 1) & ~(largePage - 1);
    const std::uintptr_t last = (start + size) & ~(largePage - 1);
    if (last > first)
        ::madvise(reinterpret_cast<void *>(first), last - first, MADV_HUGEPAGE);
#else
    (void)data;
    (void)size;
#endif
}
