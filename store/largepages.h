#pragma once

#include <cstddef>

// Asks the system to back the memory of a large buffer with large pages (2 MiB) where it offers
// them on request, before the buffer is first written. Each 4 KiB page of new memory costs a
// fault on its first touch, in which the system clears it, and for the tens of megabytes of a
// large result or its text these faults cost more than the writing itself; large pages make them
// some 500 times fewer. Only whole large pages inside the buffer are affected; nothing changes
// where the system does not offer them.
void preferLargePages(void *data, std::size_t size);
