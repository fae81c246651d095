#include "freed_block_scanner.h"

#include <execinfo.h>
#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

namespace zelqa::testing {
namespace {

constexpr int kMaxHits = 16;
constexpr int kFrames = 24;

struct Hit {
  size_t size;
  int frames;
  void* stack[kFrames];
};

// Fixed storage: the hook runs inside operator delete and must not allocate.
std::atomic<bool> g_scanning{false};
std::mutex g_mutex;
std::vector<std::string>* g_needles = nullptr;
Hit g_hits[kMaxHits];
int g_hit_count = 0;
thread_local bool t_inside = false;

void Inspect(void* block, size_t size) {
  if (block == nullptr || !g_scanning.load(std::memory_order_acquire) || t_inside) return;
  t_inside = true;
  {
    std::lock_guard lock(g_mutex);
    if (g_needles != nullptr) {
      for (const std::string& needle : *g_needles) {
        if (memmem(block, size, needle.data(), needle.size()) == nullptr) continue;
        if (g_hit_count < kMaxHits) {
          Hit& hit = g_hits[g_hit_count];
          hit.size = size;
          hit.frames = backtrace(hit.stack, kFrames);
        }
        ++g_hit_count;
        break;
      }
    }
  }
  t_inside = false;
}

void* Allocate(size_t size) {
  void* p = std::malloc(size == 0 ? 1 : size);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}

void Release(void* p, size_t size) {
  Inspect(p, size);
  std::free(p);
}

}  // namespace

void FreedBlockScanner::Start(std::vector<std::string> needles) {
  auto* owned = new std::vector<std::string>(std::move(needles));
  {
    std::lock_guard lock(g_mutex);
    g_needles = owned;
    g_hit_count = 0;
  }
  g_scanning.store(true, std::memory_order_release);
}

std::vector<std::string> FreedBlockScanner::Stop() {
  g_scanning.store(false, std::memory_order_release);
  std::vector<std::string>* needles;
  Hit hits[kMaxHits];
  int count;
  {
    std::lock_guard lock(g_mutex);
    needles = g_needles;
    g_needles = nullptr;
    count = g_hit_count;
    std::memcpy(hits, g_hits, sizeof hits);
  }
  for (std::string& needle : *needles) explicit_bzero(needle.data(), needle.size());
  delete needles;
  std::vector<std::string> out;
  for (int i = 0; i < count && i < kMaxHits; ++i) {
    std::string text = "freed block of " + std::to_string(hits[i].size) + " bytes:";
    char** symbols = backtrace_symbols(hits[i].stack, hits[i].frames);
    for (int f = 0; symbols != nullptr && f < hits[i].frames; ++f)
      text += "\n  " + std::string(symbols[f]);
    std::free(symbols);
    out.push_back(std::move(text));
  }
  if (count > kMaxHits) out.push_back(std::to_string(count - kMaxHits) + " more");
  return out;
}

}  // namespace zelqa::testing

// Every C++ allocation of the test process goes through here. Unsized deletes ask the
// allocator for the block's size, so the whole block is inspected either way.
void* operator new(size_t size) {
  return zelqa::testing::Allocate(size);
}
void* operator new[](size_t size) {
  return zelqa::testing::Allocate(size);
}
void operator delete(void* p) noexcept {
  zelqa::testing::Release(p, p ? malloc_usable_size(p) : 0);
}
void operator delete[](void* p) noexcept {
  zelqa::testing::Release(p, p ? malloc_usable_size(p) : 0);
}
void operator delete(void* p, size_t) noexcept {
  operator delete(p);
}
void operator delete[](void* p, size_t) noexcept {
  operator delete[](p);
}
