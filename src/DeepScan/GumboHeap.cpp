#include "GumboHeap.h"

#include <cstddef>
#include <cstdlib>

namespace {

// The record in front of each block, padded so that the block keeps the
// alignment malloc gives.
constexpr std::size_t kRecordBytes = 32;
static_assert(kRecordBytes % alignof(std::max_align_t) == 0);
// The clock is read once in this many allocations: the parser allocates at
// least once per tag, so a slow page is noticed within some dozens of tags.
constexpr unsigned kCallsPerClockRead = 256;

}  // namespace

TGumboHeap::TGumboHeap(Clock::duration timeLimit, std::size_t byteLimit)
    : deadline_(Clock::now() + timeLimit), byteLimit_(byteLimit) {}

TGumboHeap::~TGumboHeap() {
  ReleaseAll();
}

GumboOutput* TGumboHeap::Parse(GumboOptions options, const char* text, std::size_t size) {
  options.allocator = &TGumboHeap::Allocate;
  options.deallocator = &TGumboHeap::Deallocate;
  options.userdata = this;
  // Only plain C frames of the parser lie between here and the jump.
  if (setjmp(escape_) != 0) {
    ReleaseAll();
    return nullptr;
  }
  return gumbo_parse_with_options(&options, text, size);
}

void* TGumboHeap::Allocate(void* self, std::size_t size) {
  auto* heap = static_cast<TGumboHeap*>(self);
  if (++heap->calls_ % kCallsPerClockRead == 0 && Clock::now() > heap->deadline_)
    heap->Abandon(TStop::kTime);
  if (size > heap->byteLimit_ - heap->bytes_) heap->Abandon(TStop::kMemory);
  auto* block = static_cast<Block*>(std::malloc(kRecordBytes + size));
  if (block == nullptr) heap->Abandon(TStop::kMemory);
  block->size = size;
  heap->bytes_ += size;
  block->prev = &heap->head_;
  block->next = heap->head_.next;
  heap->head_.next->prev = block;
  heap->head_.next = block;
  return reinterpret_cast<char*>(block) + kRecordBytes;
}

void TGumboHeap::Deallocate(void* self, void* pointer) {
  if (pointer == nullptr) return;
  auto* block = reinterpret_cast<Block*>(static_cast<char*>(pointer) - kRecordBytes);
  static_cast<TGumboHeap*>(self)->bytes_ -= block->size;
  block->prev->next = block->next;
  block->next->prev = block->prev;
  std::free(block);
}

void TGumboHeap::Abandon(TStop why) {
  stopped_ = why;
  std::longjmp(escape_, 1);
}

void TGumboHeap::ReleaseAll() {
  for (Block* block = head_.next; block != &head_;) {
    Block* next = block->next;
    std::free(block);
    block = next;
  }
  head_.prev = head_.next = &head_;
  bytes_ = 0;
}
