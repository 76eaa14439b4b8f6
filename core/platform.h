#pragma once
// Thin shims over what differs between platforms.
#include <cstddef>
#include <string>

namespace tarvik::platform {

// Usable size of a block from malloc/realloc.
std::size_t HeapUsableSize(void* block);

// The system's text for errno value `err`, in UTF-8.
std::string ErrorText(int err);

}  // namespace tarvik::platform
