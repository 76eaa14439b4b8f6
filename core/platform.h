#pragma once
// Thin shims over what differs between platforms.
#include <cstddef>
#include <string>

namespace tarvik::platform {

// Usable size of a block from malloc/realloc.
std::size_t HeapUsableSize(void* block);

// The system's text for errno value `err`, in UTF-8.
std::string ErrorText(int err);

// Asks the system to back [block, block + n) with huge pages where it offers them, so that
// touching a large block costs one page fault per 2 MiB instead of one per 4 KiB. Only whole
// huge pages inside the range are affected; does nothing where the system has no such thing.
void AdviseHugePages(void* block, std::size_t n);

// The size of the huge pages AdviseHugePages asks for (a power of two), or 0 when the system
// offers none.
std::size_t HugePageSize();

// The hardware threads this process may run on (at least 1).
unsigned HardwareThreads();

}  // namespace tarvik::platform
