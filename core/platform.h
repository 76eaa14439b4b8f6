#pragma once
// Thin shims over what differs between platforms.
#include <cstddef>
#include <string>

namespace tarvik::platform {

// Usable size of a block from malloc/realloc.
std::size_t HeapUsableSize(void* block);

// The text for errno value `err`, in UTF-8: the string table's for the errors users meet
// (no such file, permission, disk full, ...), else the system's, in the program's language where
// the system has it.
std::string ErrorText(int err);

// Memory of its own from the system for a large block, aligned to huge pages and asking for
// them where the system offers them, so that touching it costs one page fault per 2 MiB
// instead of one per 4 KiB. `bytes` is a multiple of HugePageSize(), `used` (at most `bytes`)
// what the caller means to use: a last huge page mostly unused gets small pages. Zero-filled.
// Null when the system has no huge pages or no memory.
void* MapHugeBlock(std::size_t bytes, std::size_t used);
// The block grown to `bytes`, its pages moved, not copied; still aligned. Null when it cannot
// be done (the old block stays valid).
void* RemapHugeBlock(void* block, std::size_t oldBytes, std::size_t bytes, std::size_t used);
void UnmapHugeBlock(void* block, std::size_t bytes);
// Makes the pages of [p, p + n) present and writable in one call, where the system can: one
// trap per page costs several microseconds on some machines, most of all where there are no
// huge pages. The range must lie in one block of MapHugeBlock. Advice only.
void PrefaultPages(void* p, std::size_t n);

// The size of huge pages (a power of two), or 0 when the system offers none.
std::size_t HugePageSize();

// The hardware threads this process may run on (at least 1).
unsigned HardwareThreads();

}  // namespace tarvik::platform
