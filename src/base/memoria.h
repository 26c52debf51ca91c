#pragma once
// Memory for the large, short-lived arrays of a document (display-list pages,
// laid-out bands). Blocks a document frees are kept for the next one instead
// of going back to the system: the C library would otherwise hand the top of
// its heap back after each document and take page faults to get it again,
// which costs more than the layout itself on a virtual machine. The blocks
// are mapped apart from the heap, so that keeping them never keeps the
// heap from shrinking.
#include <cstddef>
#include <memory_resource>

namespace corvexa::memoria {

// Process-wide and thread-safe. Requests from 64 KiB to 64 MiB are rounded up
// to a power of two and served from the kept blocks when one is free; smaller
// and larger ones go to the C++ heap. At most `kMaximoGuardado` bytes are kept.
std::pmr::memory_resource* Documentos();

inline constexpr size_t kMaximoGuardado = size_t{32} << 20;

// Under the address and thread sanitizers every request goes to the C++ heap,
// so that they still see each block's life.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr bool kRecicla = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
inline constexpr bool kRecicla = false;
#else
inline constexpr bool kRecicla = true;
#endif
#else
inline constexpr bool kRecicla = true;
#endif

// Bytes kept now, free for reuse.
size_t Guardados();

// Gives every kept block back to the system.
void Liberar();

}  // namespace corvexa::memoria
