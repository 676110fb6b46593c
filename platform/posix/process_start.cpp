// What the process start leaves to the program on POSIX: the data that the
// start-up relocates and never changes again (the constructor lists, the
// global offset table, constant tables of addresses: the program's
// PT_GNU_RELRO segment) is made read-only before main runs, so a stray
// write there faults instead of redirecting a later call. A dynamic loader
// does this for what it loads; musl's static start-up relocates the program
// and leaves the pages writable. Where a loader has done it, doing it again
// changes nothing.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

#if defined(__ELF__)
#include <link.h>

// The program's own ELF header, named by the linker at the start of the
// first segment. From it come both the program headers and where the system
// loaded the program. The auxiliary vector's AT_PHDR would give the headers
// only: a static PIE has no PT_PHDR header to say where they were meant to
// be, so the load address would need yet another linker symbol.
extern "C" [[gnu::visibility("hidden")]] const ElfW(Ehdr) __ehdr_start;

namespace os {
namespace {

[[gnu::constructor]] void ProtectRelocatedData() {
  const auto* image = reinterpret_cast<const char*>(&__ehdr_start);
  const auto* headers = reinterpret_cast<const ElfW(Phdr)*>(image + __ehdr_start.e_phoff);
  const auto* end = headers + __ehdr_start.e_phnum;
  // The header is the start of the first loaded segment, at file offset 0.
  const ElfW(Phdr)* first = headers;
  while (first < end && first->p_type != PT_LOAD) ++first;
  if (first == end) return;
  const std::uintptr_t bias = reinterpret_cast<std::uintptr_t>(image) - (first->p_vaddr - first->p_offset);
  const std::uintptr_t page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
  for (const ElfW(Phdr)* h = headers; h < end; ++h) {
    if (h->p_type != PT_GNU_RELRO) continue;
    // Whole pages, both ends rounded down as a loader rounds them: the
    // page the segment starts in holds nothing of the segment before it, and
    // a part page at its end would be shared with the writable data after it.
    std::uintptr_t from = (bias + h->p_vaddr) & -page, to = (bias + h->p_vaddr + h->p_memsz) & -page;
    if (to > from) mprotect(reinterpret_cast<void*>(from), to - from, PROT_READ);
  }
}

}  // namespace
}  // namespace os
#endif
