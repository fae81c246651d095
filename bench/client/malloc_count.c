/* Counts the allocations of the process it is preloaded into and prints the count at exit:
 *   LD_PRELOAD=.../libbench_malloc_count.so program
 * Runs with N and 0 calls give the allocations of one call by difference. */
#include <stdatomic.h>
#include <stddef.h>
#include <stdio.h>
#include <unistd.h>

extern void* __libc_malloc(size_t size);
extern void* __libc_calloc(size_t count, size_t size);
extern void* __libc_realloc(void* p, size_t size);
extern void* __libc_memalign(size_t alignment, size_t size);

static atomic_long allocations;

void* malloc(size_t size) {
  atomic_fetch_add_explicit(&allocations, 1, memory_order_relaxed);
  return __libc_malloc(size);
}

void* calloc(size_t count, size_t size) {
  atomic_fetch_add_explicit(&allocations, 1, memory_order_relaxed);
  return __libc_calloc(count, size);
}

void* realloc(void* p, size_t size) {
  atomic_fetch_add_explicit(&allocations, 1, memory_order_relaxed);
  return __libc_realloc(p, size);
}

void* aligned_alloc(size_t alignment, size_t size) {
  atomic_fetch_add_explicit(&allocations, 1, memory_order_relaxed);
  return __libc_memalign(alignment, size);
}

__attribute__((destructor)) static void Report(void) {
  char line[64];
  const int n = snprintf(line, sizeof line, "allocations: %ld\n",
                         atomic_load_explicit(&allocations, memory_order_relaxed));
  if (n > 0) (void)!write(STDERR_FILENO, line, (size_t)n);
}
